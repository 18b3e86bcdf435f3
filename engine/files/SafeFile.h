#pragma once

#include "EngineError.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

// Reading sources and writing destinations at the level of the operating
// system, where nothing falls back to copying through a link and nothing
// blocks on a special file.
struct stat;

namespace SafeFile {

// File names are bytes. A name that is not valid UTF-8 is carried in a
// QString with each byte that cannot be decoded as the lone surrogate
// U+DC80 + (byte - 0x80), so that it goes back to the system byte for byte.
QByteArray EncodeName(const QString& path);
QString DecodeName(const QByteArray& bytes);
// Whether bytes are UTF-8 as they are.
bool IsUtf8(const QByteArray& bytes);
// The program's arguments as names: argv[1] onwards.
QStringList DecodeArguments(int argc, char* argv[]);
// A name for a message: bytes that could not be decoded and control
// characters are shown escaped, as "caf\xE9.smd"; so are the marks that
// turn the direction of text (U+202E as "\u202E").
QString Printable(const QString& name);
// A name for a message as Printable, in single quotes when it holds a space
// or a character the shell would take for its own, as GNU tools quote names.
QString Quoted(const QString& name);
// Whether a character turns the direction of the text after it, or breaks
// its line.
bool TurnsText(char16_t unit);

// Which file an entry leads to, following links; empty when there is none.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool IsValid() const { return device != 0 || inode != 0; }
    bool operator==(const FileId&) const = default;
};
FileId IdentityOf(const QString& path);
// What an entry leads to, following links: its identity (invalid when there
// is nothing), size and modification time in nanoseconds.
struct Entry {
    FileId id;
    std::int64_t size = -1;
    std::int64_t modified = 0;
};
Entry Look(const QString& path);

// Pulls up to most bytes of a content that has no file of its own into
// into: how many (0 at its end), or -1 with why set.
using Pull = std::function<std::int64_t(char* into, std::int64_t most, EngineError* why)>;
class Source;
// Holds such a content (an archive's entry, standard input) in an unnamed
// file in the first of the folders that takes one, read no further than
// limit bytes, so that it is converted in pieces as a file is; the source
// over it, or why not.
EngineError Spill(const QStringList& folders, std::int64_t limit, const Pull& pull,
                  std::unique_ptr<Source>* source);
// Holds a content made in memory (a patched image) the same way, in memory
// where the system offers an anonymous file, so that it takes no room on a
// drive; in the temporary folder otherwise.
EngineError Hold(std::int64_t limit, const Pull& pull, std::unique_ptr<Source>* source);

// The most writers that may hold a temporary name at once, each of which a
// signal removes (RemoveTemporaryOnSignals); a writer past that fails to open.
inline constexpr int MaxPendingWriters = 128;

// A source opened for reading: only ever a regular file, and opening never
// blocks (a FIFO is refused before anything waits for a writer).
class Source {
public:
    explicit Source(const QString& path);
    ~Source();
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // Why it could not be opened: Missing (no entry of that name, or a
    // folder on the way is missing), ReadFailed (no permission, an I/O error,
    // a loop of links), NotRegular (a folder, FIFO, device or socket) or
    // NameTooLong (the path or one of its names is longer than the system
    // takes).
    EngineError Error() const { return EngineError(error_); }
    // The size as measured when the file was opened.
    std::int64_t Size() const { return size_; }
    int Descriptor() const { return fd_; }
    // Reads exactly bytes from offset; false on an error or an early end.
    bool ReadAt(std::int64_t offset, void* into, std::int64_t bytes) const;
    // Whether the file still has the size and modification time it had when
    // it was opened: false when it was rewritten meanwhile. A file modified
    // so shortly before it was opened that a write may still have been under
    // way, or (where the system tells) held open for writing by any process
    // when it was opened, is also read again where it was read, and must give
    // the same bytes; one still held open for writing now has changed.
    bool Unchanged() const;

    // A source over a scratch file (OpenScratch) written whole; it takes
    // the descriptor.
    static std::unique_ptr<Source> OfScratch(int fd);

private:
    Source() = default;
    struct Piece {
        std::int64_t offset;
        std::int64_t bytes;
        unsigned long crc;
    };
    bool SameAgain() const;
    enum class Writing { No, Yes, Unknown };
    static Writing OpenForWriting(int fd);

    int fd_ = -1;
    EngineError::Code error_ = EngineError::Code::None;
    std::int64_t size_ = 0;
    std::int64_t mtimeSeconds_ = 0;
    std::int64_t mtimeNanoseconds_ = 0;
    // The pieces read of a file too recently modified to be trusted.
    bool recent_ = false;
    bool writing_ = false; // held open for writing elsewhere when opened
    mutable std::mutex piecesMutex_;
    mutable std::vector<Piece> pieces_;
};

// Whether anything, even a dangling symbolic link, has that name.
bool EntryExists(const QString& path);
// Whether the path leads to a folder (following links).
bool IsFolder(const QString& path);
// Creates a folder and the folders above it; what went wrong when it cannot.
EngineError MakeFolders(const QString& path);
// Removes a file (never a folder); the system's words when it cannot.
EngineError RemoveFile(const QString& path);
// Removes a folder when it is empty; false when it is not, or cannot be.
bool RemoveEmptyFolder(const QString& path);

// A folder's entries, in the order of their names, as a walk through a tree
// takes them; each as what it is, without following a link into a folder.
struct Listed {
    enum class Kind {
        File,       // a regular file, or a link to one
        Folder,     // a folder (never a link to one)
        Other,      // anything else: a link to a folder, a dangling link, a device...
        Unreachable // it could not be looked at: why says why
    };
    QString name;
    Kind kind = Kind::Other;
    QString why;
};
// The entries; FolderUnread, with the system's words, when the folder cannot
// be read.
EngineError ListFolder(const QString& folder, std::vector<Listed>* entries);
// Whether the entry is a symbolic link (or, on Windows, a junction).
bool IsLink(const QString& path);

// The process's standard streams: 0 input, 1 output, 2 error.
bool IsTerminal(int stream);
// The columns of the terminal a stream is, or 0.
int TerminalColumns(int stream);
// Up to most bytes of standard input: how many (0 at its end), or -1 with
// why set.
std::int64_t PullStandardInput(char* into, std::int64_t most, EngineError* why);
// Makes the standard streams carry bytes as they are, an image among them
// (Windows' streams would turn its line ends).
void BinaryStandardStreams();
// Writes text on a stream that is a console in the console's own characters:
// false where the stream is not one (its bytes are UTF-8 then).
bool WriteToConsole(std::FILE* stream, const QString& text);

// What may happen to an entry already at the destination's name.
enum class Existing {
    Keep,    // the write fails if the name is taken, even by a dangling link
    Replace, // a regular file, a link to one or a dangling link there is replaced
    // The same, and also such an entry that appears while the file is
    // written (a run told to overwrite whatever is there).
    ReplaceAny,
};

// Writes a new file in one piece. The content goes into an unnamed file (or,
// where the file system cannot do that, a short hidden temporary name) in the
// destination's folder, created readable by its owner alone. Once it is
// complete it gets its final permissions and is flushed to disk, and only
// then is it given its name: a new file by linking (or renaming without
// replacing), which fails if anything took the name meanwhile; an existing
// one by renaming over it, keeping its owner and group where the caller may,
// its permission bits, ACLs and extended attributes. Last the folder is
// flushed, so the name survives a power cut too. A link at the name is
// judged by what it leads to: one to a regular file, or a dangling one, is
// replaced by the file, never followed; a folder, device, FIFO or socket, or
// a link to one, is never replaced. On any failure nothing is left behind
// and the old entry is untouched.
//
// Commit does the three last steps at once; a batch of writers can take them
// one step at a time for all (Finish each, Publish each, then FlushFolder),
// so that the disk is flushed once for many files.
class Writer {
public:
    Writer() = default;
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    bool Open(const QString& destination, Existing existing);
    bool Write(const void* data, std::int64_t bytes);
    // Writes bytes at an offset of the content without changing the
    // writer, so that several threads may each write their own parts at
    // once: 0, or the error, which the caller hands to FailWrite once they
    // are all done.
    int WriteAt(std::int64_t offset, const void* data, std::int64_t bytes) const;
    bool FailWrite(int error);
    // Asks the system to start writing the content to disk now, so that a
    // later Finish finds little left to wait for.
    void StartWriteback();
    bool Commit();

    // The content and its permissions reach the disk; no name yet.
    bool Finish();
    // The name appears.
    bool Publish();
    // The folder holding the name reaches the disk. A writer whose folder
    // another writer of the same batch has flushed after its own Publish may
    // skip this with FolderFlushedBy.
    bool FlushFolder();
    void FolderFlushedBy(const Writer& other);
    // The same when the other writer's flush of the folder failed: this
    // file, published into that folder since, fails with it (true then).
    bool FolderFlushFailedBy(const Writer& other);
    // The folder of the destination, once open.
    FileId Folder() const { return folder_; }
    // The file written, from Finish on.
    FileId Written() const { return written_; }
    // Whether the file is named and its folder flushed.
    bool Done() const { return state_ == State::Done; }

    // Drops the unfinished content; the destination is left as it was. False
    // when a temporary file could not be removed.
    bool Abort();

    // Why the last call failed: the destination's name was taken (with
    // Existing::Keep: DestinationExists), or it could not be written
    // (WriteFailed, detail the words of what went wrong).
    EngineError Error() const {
        return {nameTaken_ ? EngineError::Code::DestinationExists : EngineError::Code::WriteFailed,
                fault_.Failed() ? fault_.Text() + left_ : QString()};
    }
    // What went wrong, as its own code.
    const EngineError& Fault() const { return fault_; }
    // Whether the last failure was the name being taken (with Existing::Keep).
    bool NameTaken() const { return nameTaken_; }

private:
    enum class State { Closed, Open, Finished, Published, Done };
    // Fails with a fault; error: the system's error, told after it (0 for none).
    bool Fail(EngineError::Code fault, int error, const QString& subject = QString());
    bool LinkAsTemporary();
    // The POSIX writer's steps of Open.
    bool MayReplace(const struct stat& st);
    bool OpenContent();
    bool ClaimTemporaryName(const std::function<int(const QByteArray&)>& claim);
    bool PublishNew();
    bool ReplaceAppeared();
    bool CloseContent();
    bool TemporaryRenamed();
    void KeepMetadata();
    void CloseAll();

    State state_ = State::Closed;
    int dirFd_ = -1;
    int fd_ = -1;
    int pendingSlot_ = -1;
    QByteArray name_;
    QByteArray tempName_; // set while a named temporary file exists
    Existing existing_ = Existing::Keep;
    bool replacing_ = false;
    bool oldIsFile_ = false;
    unsigned oldMode_ = 0;
    unsigned oldOwner_ = 0;
    unsigned oldGroup_ = 0;
    std::vector<std::pair<QByteArray, QByteArray>> attributes_;
    FileId folder_;
    FileId written_;
    bool nameTaken_ = false;
    EngineError fault_;
    QString left_;         // where a temporary file was left behind, told after the fault
    QString notCreatedIn_; // the folder, for a destination it refuses
#ifdef _WIN32
    QString path_;     // the destination
    QString tempPath_; // the hidden file written, until it is named
    std::int64_t end_ = 0;
#endif
};

// Writes bytes as a whole file through a Writer; what went wrong when it
// could not.
EngineError WriteFile(const QString& destination, const QByteArray& bytes, Existing existing);

// The hidden temporary files in a folder (their names), as an interrupted
// writer leaves them: a power cut, or a process killed outright.
QStringList Leftovers(const QString& folder);

// Makes SIGINT, SIGTERM and SIGHUP remove the unfinished temporary files of
// the Writers at work and end the process with status 128 + signal, and
// makes a file-size limit (SIGXFSZ) an ordinary write error. For
// command-line programs; a window keeps the default handling.
void RemoveTemporaryOnSignals();

// Whether a folder takes two spellings of a name (in capitals and not) for
// one file, as FAT, exFAT and case-folding folders do; asked by creating a
// hidden file there for a moment.
bool IgnoresCase(const QString& folder);
// The cores this process may run on.
int Cores();
// How many descriptors the process may hold at once; -1 for no limit.
std::int64_t DescriptorLimit();
// Whether the process may open n more descriptors now (n at most 64).
bool DescriptorsFree(int n);

// System features a writer can be told to do without, as on file systems
// that lack them, and failures it can be made to meet. Only a test build can
// ask for them: it defines kestrix_writer_fault() (tests/support/
// WriterFaults.cpp), which the writer asks before each such system call; the
// programs as shipped do not define it, and the writer then never fails on
// purpose.
enum Fault : unsigned {
    NoTmpfile = 1u << 0,    // O_TMPFILE fails with EOPNOTSUPP
    NoLink = 1u << 1,       // linkat fails with EPERM (FAT, exFAT)
    NoNoReplace = 1u << 2,  // renameat2 with RENAME_NOREPLACE fails with EINVAL
    NoChmod = 1u << 3,      // fchmod fails with ENOSYS
    NoChown = 1u << 4,      // fchown fails with EPERM
    NoXattr = 1u << 5,      // setting an extended attribute fails with EOPNOTSUPP
    NoFolderSync = 1u << 6, // fsync of a folder fails with EINVAL
    // The next fsync of a folder fails with EIO, and the one after succeeds,
    // as a journal error is told once.
    FolderSyncError = 1u << 7,
    // fsync of a folder fails with EROFS (the file system turned read-only).
    FolderSyncReadOnly = 1u << 8,
};

} // namespace SafeFile

// Whether a test build asks for a fault (one SafeFile::Fault) now; absent
// from the shipped programs.
extern "C" bool kestrix_writer_fault(unsigned fault) __attribute__((weak));
// Whether a test build's drive has room for bytes more of the file of this
// name (in its folder), asked before each write of a file's content; and
// that the file's content was dropped before it was named.
extern "C" bool kestrix_writer_room(const char* name, long long bytes) __attribute__((weak));
extern "C" void kestrix_writer_dropped(const char* name) __attribute__((weak));
