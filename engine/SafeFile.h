#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// Reading sources and writing destinations at the level of the operating
// system, where nothing falls back to copying through a link and nothing
// blocks on a special file.
namespace SafeFile {

// Why a source could not be opened.
enum class SourceError {
    None,
    Missing,     // no entry of that name, or a folder on the way is missing
    Unreadable,  // no permission, an I/O error, a loop of links
    NotRegular,  // a folder, FIFO, device or socket
    NameTooLong, // the path or one of its names is longer than the system takes
};

// A source opened for reading: only ever a regular file, and opening never
// blocks (a FIFO is refused before anything waits for a writer).
class Source {
public:
    explicit Source(const QString& path);
    ~Source();
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    SourceError Error() const { return error_; }
    // The size as measured when the file was opened.
    std::int64_t Size() const { return size_; }
    int Descriptor() const { return fd_; }
    // Reads exactly bytes from offset; false on an error or an early end.
    bool ReadAt(std::int64_t offset, void* into, std::int64_t bytes) const;

private:
    int fd_ = -1;
    SourceError error_ = SourceError::None;
    std::int64_t size_ = 0;
};

// A short English reason for an error, as "the file does not exist".
QString Describe(SourceError error);

// Whether anything, even a dangling symbolic link, has that name.
bool EntryExists(const QString& path);

// What may happen to an entry already at the destination's name.
enum class Existing {
    Keep,    // the write fails if the name is taken, even by a dangling link
    Replace, // a regular file or a symbolic link there is replaced
};

// Writes a new file in one piece. The content is written into an unnamed
// file (or, where the file system cannot do that, a short hidden temporary
// name) in the destination's folder, and only then given its name: a new
// file by linking, which fails if anything took the name meanwhile; an
// existing one by renaming over it once the content is on disk, keeping its
// permission bits. A symbolic link at the name is replaced by the file, never
// followed; a folder, device, FIFO or socket there is never replaced. On any
// failure nothing is left behind and the old entry is untouched.
class Writer {
public:
    Writer() = default;
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    bool Open(const QString& destination, Existing existing);
    bool Write(const void* data, std::int64_t bytes);
    bool Commit();
    // Drops the unfinished content; the destination is left as it was.
    void Abort();

    // A short English reason for the last failure.
    QString ErrorString() const { return error_; }
    // Whether the last failure was the name being taken (with Existing::Keep).
    bool NameTaken() const { return nameTaken_; }

private:
    bool Fail(const QString& what, int error);
    bool LinkAsTemporary();

    int dirFd_ = -1;
    int fd_ = -1;
    QByteArray name_;
    QByteArray tempName_; // set while a named temporary file exists
    Existing existing_ = Existing::Keep;
    bool replacing_ = false;
    unsigned oldMode_ = 0;
    bool failed_ = false;
    bool nameTaken_ = false;
    QString error_;
};

// Writes bytes as a whole file through a Writer.
bool WriteFile(const QString& destination, const QByteArray& bytes, Existing existing,
               QString* error = nullptr);

// Makes SIGINT, SIGTERM and SIGHUP remove the unfinished temporary file of
// the Writer at work and end the process with status 128 + signal. For
// command-line programs; a window keeps the default handling.
void RemoveTemporaryOnSignals();

// For tests: write through a short temporary name as on a file system
// without unnamed files. The environment variable KESTRIX_NO_TMPFILE=1
// does the same for a whole process.
void SetNamedTemporaryOnly(bool on);

} // namespace SafeFile
