#include "SafeFile.h"

#include <QFile>
#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SafeFile {

namespace {

SourceError FromErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return SourceError::Missing;
    case ENAMETOOLONG:
        return SourceError::NameTooLong;
    case ENXIO:
    case ENODEV:
        return SourceError::NotRegular;
    default:
        return SourceError::Unreadable;
    }
}

// The one temporary name a signal handler may have to remove.
volatile std::sig_atomic_t pendingSet = 0;
int pendingDir = -1;
char pendingName[32];

void SetPending(int dirFd, const QByteArray& name) {
    pendingSet = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    pendingDir = dirFd;
    std::snprintf(pendingName, sizeof pendingName, "%s", name.constData());
    std::atomic_signal_fence(std::memory_order_seq_cst);
    pendingSet = 1;
}

void ClearPending() {
    pendingSet = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

// Holds back SIGINT, SIGTERM and SIGHUP while a temporary name comes or goes
// and the handler is told about it, so that the two never disagree: a
// signal in between would leave the file behind, or remove another's.
class SignalsHeld {
public:
    SignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (int signal : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&held, signal);
        ::pthread_sigmask(SIG_BLOCK, &held, &saved_);
    }
    ~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t saved_;
};

extern "C" void RemovePendingAndExit(int signal) {
    if (pendingSet)
        ::unlinkat(pendingDir, pendingName, 0);
    ::_exit(128 + signal);
}

bool namedOnly = qEnvironmentVariableIntValue("KESTRIX_NO_TMPFILE") == 1;

// Links an unnamed file under a name in a folder: 0, or the reason it failed
// (EEXIST when anything, even a dangling link, has the name).
int LinkUnnamed(int fd, int dirFd, const QByteArray& name) {
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    if (::linkat(AT_FDCWD, self.constData(), dirFd, name.constData(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    // Without /proc, linking by descriptor needs a privilege.
    if (errno == ENOENT && ::linkat(fd, "", dirFd, name.constData(), AT_EMPTY_PATH) == 0)
        return 0;
    return errno;
}

// A hidden name of at most 14 bytes, so that it fits wherever the
// destination's name does.
QByteArray TemporaryName() {
    return ".kx-" +
           QByteArray::number(QRandomGenerator::global()->generate64() % 3656158440062976ull, 36);
}

QString SystemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

Source::Source(const QString& path) {
    if (path.isEmpty()) {
        error_ = SourceError::Missing;
        return;
    }
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) {
        error_ = FromErrno(errno);
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        error_ = SourceError::NotRegular;
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
        error_ = SourceError::NotRegular;
        ::close(fd_);
        fd_ = -1;
        return;
    }
    size_ = st.st_size;
}

Source::~Source() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool Source::ReadAt(std::int64_t offset, void* into, std::int64_t bytes) const {
    auto* at = static_cast<char*>(into);
    while (bytes > 0) {
        const ssize_t got = ::pread(fd_, at, std::size_t(bytes), offset);
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

QString Describe(SourceError error) {
    switch (error) {
    case SourceError::None:
        return QString();
    case SourceError::Missing:
        return QStringLiteral("the file does not exist");
    case SourceError::Unreadable:
        return QStringLiteral("the file cannot be read");
    case SourceError::NotRegular:
        return QStringLiteral("it is not a regular file");
    case SourceError::NameTooLong:
        return QStringLiteral("the file name is too long");
    }
    return QString();
}

bool EntryExists(const QString& path) {
    struct stat st {};
    return !path.isEmpty() && ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

Writer::~Writer() {
    Abort();
}

bool Writer::Fail(const QString& what, int error) {
    failed_ = true;
    error_ = error ? what + QStringLiteral(": ") + SystemError(error) : what;
    Abort();
    return false;
}

bool Writer::Open(const QString& destination, Existing existing) {
    Abort();
    failed_ = false;
    nameTaken_ = false;
    error_.clear();
    existing_ = existing;
    replacing_ = false;

    const QByteArray path = QFile::encodeName(destination);
    const qsizetype slash = path.lastIndexOf('/');
    name_ = slash < 0 ? path : path.mid(slash + 1);
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? "/" : path.left(slash);
    if (name_.isEmpty() || name_ == "." || name_ == "..")
        return Fail(QStringLiteral("the destination names no file"), 0);
    dirFd_ = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dirFd_ < 0)
        return Fail(QStringLiteral("the folder cannot be opened"), errno);

    struct stat st {};
    if (::fstatat(dirFd_, name_.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        nameTaken_ = existing == Existing::Keep;
        if (nameTaken_)
            return Fail(QStringLiteral("the destination already exists"), 0);
        if (S_ISDIR(st.st_mode))
            return Fail(QStringLiteral("a folder has the destination's name"), 0);
        if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
            return Fail(QStringLiteral("the destination is not a regular file"), 0);
        replacing_ = true;
        oldMode_ = S_ISREG(st.st_mode) ? unsigned(st.st_mode & 07777) : 0;
    } else if (errno == ENAMETOOLONG) {
        return Fail(QStringLiteral("the destination name is too long"), 0);
    }

    if (!namedOnly) {
        fd_ = ::openat(dirFd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd_ >= 0)
            return true;
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
            return Fail(QStringLiteral("the destination cannot be created"), errno);
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QByteArray temp = TemporaryName();
        int error = 0;
        {
            const SignalsHeld held;
            fd_ = ::openat(dirFd_, temp.constData(),
                           O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0666);
            error = errno;
            if (fd_ >= 0)
                SetPending(dirFd_, temp);
        }
        if (fd_ >= 0) {
            tempName_ = temp;
            return true;
        }
        if (error != EEXIST)
            return Fail(QStringLiteral("the destination cannot be created"), error);
    }
    return Fail(QStringLiteral("no temporary name is free"), EEXIST);
}

bool Writer::Write(const void* data, std::int64_t bytes) {
    if (fd_ < 0)
        return false;
    const char* from = static_cast<const char*>(data);
    while (bytes > 0) {
        const ssize_t put = ::write(fd_, from, std::size_t(std::min<std::int64_t>(bytes, 1 << 30)));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return Fail(QStringLiteral("the destination cannot be written"),
                        put < 0 ? errno : ENOSPC);
        from += put;
        bytes -= put;
    }
    return true;
}

// Gives the unnamed file a short hidden name, from which it is renamed.
bool Writer::LinkAsTemporary() {
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QByteArray temp = TemporaryName();
        int error = 0;
        {
            const SignalsHeld held;
            error = LinkUnnamed(fd_, dirFd_, temp);
            if (error == 0)
                SetPending(dirFd_, temp);
        }
        if (error == 0) {
            tempName_ = temp;
            return true;
        }
        if (error != EEXIST)
            return Fail(QStringLiteral("the destination cannot be created"), error);
    }
    return Fail(QStringLiteral("no temporary name is free"), EEXIST);
}

bool Writer::Commit() {
    if (fd_ < 0 || failed_)
        return false;
    if (replacing_) {
        // The old file goes only once the new one is complete and on disk.
        if (oldMode_ && ::fchmod(fd_, oldMode_) != 0)
            return Fail(QStringLiteral("the permissions cannot be kept"), errno);
        if (::fsync(fd_) != 0)
            return Fail(QStringLiteral("the destination cannot be written"), errno);
        if (tempName_.isEmpty() && !LinkAsTemporary())
            return false;
        if (::close(fd_) != 0) {
            fd_ = -1;
            return Fail(QStringLiteral("the destination cannot be written"), errno);
        }
        fd_ = -1;
        if (::renameat(dirFd_, tempName_.constData(), dirFd_, name_.constData()) != 0)
            return Fail(QStringLiteral("the destination cannot be replaced"), errno);
    } else if (tempName_.isEmpty()) {
        const int error = LinkUnnamed(fd_, dirFd_, name_);
        nameTaken_ = error == EEXIST;
        if (error != 0)
            return Fail(error == EEXIST ? QStringLiteral("the destination already exists")
                                        : QStringLiteral("the destination cannot be created"),
                        error == EEXIST ? 0 : error);
        ::close(fd_);
        fd_ = -1;
    } else {
        if (::close(fd_) != 0) {
            fd_ = -1;
            return Fail(QStringLiteral("the destination cannot be written"), errno);
        }
        fd_ = -1;
        if (::renameat2(dirFd_, tempName_.constData(), dirFd_, name_.constData(),
                        RENAME_NOREPLACE) != 0) {
            const bool noReplaceUnknown = errno == EINVAL || errno == ENOSYS;
            nameTaken_ = errno == EEXIST;
            if (!noReplaceUnknown ||
                ::linkat(dirFd_, tempName_.constData(), dirFd_, name_.constData(), 0) != 0) {
                nameTaken_ = errno == EEXIST;
                return Fail(errno == EEXIST ? QStringLiteral("the destination already exists")
                                            : QStringLiteral("the destination cannot be created"),
                            errno == EEXIST ? 0 : errno);
            }
            ::unlinkat(dirFd_, tempName_.constData(), 0);
        }
    }
    tempName_.clear();
    ClearPending();
    ::close(dirFd_);
    dirFd_ = -1;
    return true;
}

void Writer::Abort() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempName_.isEmpty()) {
        ::unlinkat(dirFd_, tempName_.constData(), 0);
        tempName_.clear();
    }
    ClearPending();
    if (dirFd_ >= 0) {
        ::close(dirFd_);
        dirFd_ = -1;
    }
}

bool WriteFile(const QString& destination, const QByteArray& bytes, Existing existing,
               QString* error) {
    Writer writer;
    const bool ok = writer.Open(destination, existing) &&
                    writer.Write(bytes.constData(), bytes.size()) && writer.Commit();
    if (!ok && error)
        *error = writer.ErrorString();
    return ok;
}

void RemoveTemporaryOnSignals() {
    struct sigaction action {};
    action.sa_handler = RemovePendingAndExit;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

void SetNamedTemporaryOnly(bool on) {
    namedOnly = on;
}

} // namespace SafeFile
