#pragma once

// What the writer's own units share and nothing else uses: the system calls
// behind the test's faults, the registry of temporary names that a signal
// removes, and the metadata of a replaced file.

#include "SafeFile.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <csignal>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace SafeFile::Detail {

// --- system calls a file system may lack (WriterSystem.cpp)
bool Faulty(unsigned fault);
// Whether a test build's drive has room for bytes more of a file; that a
// file's content was dropped.
bool Room(const QByteArray& name, std::int64_t bytes);
void Dropped(const QByteArray& name);
int Failing(int error);
int OpenUnnamed(int dirFd);
// An unnamed file to read and write in a folder, gone once closed; without
// unnamed files, a named one removed at once, never in a folder that lets
// no name go. -1 with errno set; left names a file that was made and could
// not be removed.
int OpenScratch(const QString& folder, QString* left);
int LinkNames(int dirFd, const char* from, const char* to);
int RenameNoReplace(int dirFd, const char* from, const char* to);
int ChangeMode(int fd, unsigned mode);
int ChangeOwner(int fd, uid_t owner, gid_t group);
int SetAttribute(int fd, const QByteArray& name, const QByteArray& value);
int SyncFolder(int fd);
// Whether a folder lets no name go (chattr +a or +i), so that nothing in it
// can be replaced; false where its flags cannot be read.
bool HoldsItsNames(int dirFd);
// Errors of a flush that say the file system has no such thing to do.
bool CannotSync(int error);
// Why a file could not be opened, from the system's error.
EngineError::Code FromErrno(int error);
// Links an unnamed file under a name in a folder: 0, or the reason it failed
// (EEXIST when anything, even a dangling link, has the name).
int LinkUnnamed(int fd, int dirFd, const QByteArray& name);
QString SystemError(int error);

// --- temporary names a signal removes (PendingNames.cpp)
// A hidden name of at most 13 bytes for a file being written.
QByteArray TemporaryName();
// Registers a temporary name in a folder: its slot, or -1 when all
// MaxPendingWriters slots are taken.
int SetPending(int dirFd, const QByteArray& name);
void ClearPending(int& slot);
// Holds back SIGINT, SIGTERM and SIGHUP while a temporary name comes or goes
// and the handler is told about it, so that the two never disagree: a
// signal in between would leave the file behind, or remove another's. The
// mask holds them back from this thread alone: a handler that runs on
// another thread meanwhile waits until every such step is over, and a step
// begun after the handler started is never taken.
class SignalsHeld {
public:
    SignalsHeld();
    ~SignalsHeld();
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t saved_;
};

// --- metadata (FileMetadata.cpp)
// The permission bits the process gives new files.
unsigned CreationMask();
// The extended attributes (ACLs among them) of an entry in a folder, as far
// as they can be read; never a file capability.
std::vector<std::pair<QByteArray, QByteArray>> ReadAttributes(int dirFd, const QByteArray& name);
// The access ACL a file made with mode 0666 gets in a folder with a default
// ACL (the umask plays no part then), or nothing where it has none.
QByteArray NewFileAccessAcl(int dirFd);

} // namespace SafeFile::Detail
