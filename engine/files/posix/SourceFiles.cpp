// Sources opened for reading, and the questions asked of entries on disk.

#include "Cartridge.h"
#include "SourceParts.h"
#include "WriterParts.h"

#include <QDir>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace SafeFile {

using namespace Detail;

bool Detail::ReadFully(int fd, std::int64_t offset, void* into, std::int64_t bytes) {
    auto* at = static_cast<char*>(into);
    while (bytes > 0) {
        const ssize_t got = ::pread(fd, at, std::size_t(bytes), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        at += got;
        offset += got;
        bytes -= got;
    }
    return true;
}

FileId IdentityOf(const QString& path) {
    return Look(path).id;
}

Entry Look(const QString& path) {
    struct stat st {};
    if (path.isEmpty() || ::stat(EncodeName(path).constData(), &st) != 0)
        return {};
    return {{std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)},
            std::int64_t(st.st_size),
            std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

Source::Source(const QString& path) {
    if (path.isEmpty()) {
        error_ = EngineError::Code::Missing;
        return;
    }
    const QByteArray name = EncodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) {
        error_ = FromErrno(errno);
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        error_ = EngineError::Code::NotRegular;
        return;
    }
    // Non-blocking, so that a FIFO put in the file's place since the look
    // above cannot hold the open; the second look refuses it.
    fd_ = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) {
        error_ = FromErrno(errno);
        return;
    }
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        error_ = EngineError::Code::NotRegular;
        ::close(fd_);
        fd_ = -1;
        return;
    }
    size_ = st.st_size;
    mtimeSeconds_ = st.st_mtim.tv_sec;
    mtimeNanoseconds_ = st.st_mtim.tv_nsec;
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const std::int64_t modified = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    recent_ = modified > std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec - RecentNanoseconds;
    // A write under way leaves the time it began, however long ago: a file
    // another program holds open for writing is read again as a young one.
    writing_ = OpenForWriting(fd_) == Writing::Yes;
    recent_ = recent_ || writing_;
}

// Whether any process holds the file open for writing, as the system's
// leases tell it: a read lease is refused (EAGAIN) while one does. Only the
// file's owner may ask (and root); elsewhere, and where the file system has
// no leases, it is not known. The lease is let go at once; should a writer
// open the file in that moment, the lease break's signal is one that is
// ignored.
Source::Writing Source::OpenForWriting(int fd) {
    if (::fcntl(fd, F_SETSIG, SIGURG) != 0)
        return Writing::Unknown;
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) != 0)
        return errno == EAGAIN ? Writing::Yes : Writing::Unknown;
    ::fcntl(fd, F_SETLEASE, F_UNLCK);
    return Writing::No;
}

std::unique_ptr<Source> Source::OfScratch(int fd) {
    std::unique_ptr<Source> source(new Source);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (fd >= 0)
            ::close(fd);
        source->error_ = EngineError::Code::ReadFailed;
        return source;
    }
    source->fd_ = fd;
    source->size_ = st.st_size;
    source->mtimeSeconds_ = st.st_mtim.tv_sec;
    source->mtimeNanoseconds_ = st.st_mtim.tv_nsec;
    return source;
}

namespace {

// Writes what pull gives into fd, up to limit bytes.
EngineError Fill(int fd, std::int64_t limit, const Pull& pull) {
    using Code = EngineError::Code;
    std::vector<char> piece(std::size_t(1) << 16);
    for (std::int64_t size = 0;;) {
        EngineError why;
        const std::int64_t got = pull(piece.data(), std::int64_t(piece.size()), &why);
        if (got == 0)
            return {};
        if (got < 0)
            return why;
        if ((size += got) > limit)
            return {Code::TooLarge, QString::number(limit >> 20)};
        for (std::int64_t done = 0; done < got;) {
            const ssize_t put = ::write(fd, piece.data() + done, std::size_t(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                return {Code::Scratch, SystemError(put < 0 ? errno : ENOSPC)};
            done += put;
        }
    }
}

} // namespace

EngineError Spill(const QStringList& folders, std::int64_t limit, const Pull& pull,
                  std::unique_ptr<Source>* source) {
    int fd = -1;
    int error = ENOENT;
    for (const QString& folder : folders) {
        QString left;
        if ((fd = OpenScratch(folder, &left)) >= 0)
            break;
        error = errno;
        if (!left.isEmpty())
            return {EngineError::Code::Scratch,
                    QStringLiteral("%1 was made and its folder does not let it go: %2")
                        .arg(Quoted(left), SystemError(error))};
    }
    if (fd < 0)
        return {EngineError::Code::Scratch, SystemError(error)};
    if (const EngineError failed = Fill(fd, limit, pull); failed.Failed()) {
        ::close(fd);
        return failed;
    }
    *source = Source::OfScratch(fd);
    return {};
}

EngineError Hold(std::int64_t limit, const Pull& pull, std::unique_ptr<Source>* source) {
    const int fd = ::memfd_create("kestrix-held", MFD_CLOEXEC);
    if (fd < 0)
        return Spill({QDir::tempPath()}, limit, pull, source);
    if (const EngineError failed = Fill(fd, limit, pull); failed.Failed()) {
        ::close(fd);
        return failed;
    }
    *source = Source::OfScratch(fd);
    return {};
}

Source::~Source() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool Source::Unchanged() const {
    struct stat st {};
    // Still open for writing elsewhere: the write may not be over.
    if (writing_ && OpenForWriting(fd_) != Writing::No)
        return false;
    return fd_ >= 0 && ::fstat(fd_, &st) == 0 && st.st_size == size_ &&
           st.st_mtim.tv_sec == mtimeSeconds_ && st.st_mtim.tv_nsec == mtimeNanoseconds_ &&
           (!recent_ || SameAgain());
}

bool EntryExists(const QString& path) {
    struct stat st {};
    return !path.isEmpty() && ::lstat(EncodeName(path).constData(), &st) == 0;
}

bool IsFolder(const QString& path) {
    struct stat st {};
    return !path.isEmpty() && ::stat(EncodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

EngineError RemoveFile(const QString& path) {
    if (::unlink(EncodeName(path).constData()) != 0)
        return {EngineError::Code::Source, SystemError(errno), path};
    return {};
}

bool RemoveEmptyFolder(const QString& path) {
    return ::rmdir(EncodeName(path).constData()) == 0;
}

EngineError MakeFolders(const QString& path) {
    const QByteArray bytes = EncodeName(path);
    for (qsizetype at = 1; at <= bytes.size(); ++at) {
        if (at < bytes.size() && bytes.at(at) != '/')
            continue;
        const QByteArray folder = bytes.left(at);
        if (::mkdir(folder.constData(), 0777) != 0) {
            if (errno != EEXIST)
                return {EngineError::Code::FolderNotMade, SystemError(errno), path};
            continue;
        }
        // A new folder is on disk only once its parent is: what is written
        // into it must not vanish with it after a power cut.
        const qsizetype slash = folder.lastIndexOf('/', folder.size() - 2);
        const QByteArray parent = slash < 0    ? QByteArray(".")
                                  : slash == 0 ? "/"
                                               : folder.left(slash);
        const int fd = ::open(parent.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            const int flushed = SyncFolder(fd);
            const int error = errno;
            ::close(fd);
            if (flushed != 0 && !CannotSync(error))
                return {EngineError::Code::FolderNotMade,
                        QStringLiteral("its folder cannot be written to disk: ") +
                            SystemError(error),
                        path};
        }
    }
    return IsFolder(path) ? EngineError()
                          : EngineError(EngineError::Code::FolderNotMade,
                                        QStringLiteral("it is not a folder"), path);
}

} // namespace SafeFile
