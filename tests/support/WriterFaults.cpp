// Linked into a test program, or into the tests' build of a program: the
// writer then does without the system features a test sets, or, from the
// start, those named in the environment, as on file systems that lack them.
// KESTRIX_WRITER_FAULTS is a comma-separated list of "tmpfile", "link",
// "noreplace", "chmod", "chown", "xattr", "syncfolder", "syncerror" (the
// first flush of a folder fails with EIO), "syncreadonly" (flushes of folders
// fail with EROFS); KESTRIX_NO_TMPFILE=1 is the same as "tmpfile". The shipped programs do not have
// this.

#include "WriterFaults.h"

#include "SafeFile.h"

#include <QByteArray>
#include <QtGlobal>

#include <atomic>
#include <map>
#include <mutex>

namespace {

unsigned FaultsFromEnvironment() {
    using namespace SafeFile;
    unsigned result =
        qEnvironmentVariableIntValue("KESTRIX_NO_TMPFILE") == 1 ? unsigned(NoTmpfile) : 0u;
    const QByteArray list = qgetenv("KESTRIX_WRITER_FAULTS");
    const struct {
        const char* name;
        Fault fault;
    } names[] = {{"tmpfile", NoTmpfile},
                 {"link", NoLink},
                 {"noreplace", NoNoReplace},
                 {"chmod", NoChmod},
                 {"chown", NoChown},
                 {"xattr", NoXattr},
                 {"syncfolder", NoFolderSync},
                 {"syncerror", FolderSyncError},
                 {"syncreadonly", FolderSyncReadOnly}};
    for (const QByteArray& word : list.split(','))
        for (const auto& n : names)
            if (word.trimmed() == n.name)
                result |= n.fault;
    return result;
}

std::atomic<unsigned> faults{FaultsFromEnvironment()};

std::mutex fullMutex;
QByteArray fullName;
QByteArray elsewhere; // files with this in their names have room
long long room = -1;  // what the drive holds, or -1
long long used = 0;
std::map<QByteArray, long long> usedBy;
std::function<void()> beforeWrite;

} // namespace

void WriterFaults::Set(unsigned newFaults) {
    faults = newFaults;
}

void WriterFaults::FullFor(const QByteArray& name) {
    const std::lock_guard lock(fullMutex);
    fullName = name;
}

void WriterFaults::DriveHolds(long long bytes) {
    const std::lock_guard lock(fullMutex);
    room = bytes;
    used = 0;
    usedBy.clear();
}

void WriterFaults::RoomElsewhereFor(const QByteArray& text) {
    const std::lock_guard lock(fullMutex);
    elsewhere = text;
}

void WriterFaults::BeforeWrite(std::function<void()> call) {
    const std::lock_guard lock(fullMutex);
    beforeWrite = std::move(call);
}

extern "C" bool kestrix_writer_room(const char* name, long long bytes) {
    std::function<void()> call;
    {
        const std::lock_guard lock(fullMutex);
        call = beforeWrite;
    }
    if (call)
        call();
    const std::lock_guard lock(fullMutex);
    if (!elsewhere.isEmpty() && QByteArray(name).contains(elsewhere))
        return true;
    if (fullName == "*" || (!fullName.isEmpty() && fullName == name))
        return false;
    if (room < 0)
        return true;
    if (used + bytes > room)
        return false;
    used += bytes;
    usedBy[name] += bytes;
    return true;
}

extern "C" void kestrix_writer_dropped(const char* name) {
    const std::lock_guard lock(fullMutex);
    if (const auto held = usedBy.find(name); held != usedBy.end()) {
        used -= held->second;
        usedBy.erase(held);
    }
}

extern "C" bool kestrix_writer_fault(unsigned fault) {
    // A failure told once is gone once it has been told.
    if (fault == SafeFile::FolderSyncError)
        return (faults.fetch_and(~fault) & fault) != 0;
    return (faults.load(std::memory_order_relaxed) & fault) != 0;
}
