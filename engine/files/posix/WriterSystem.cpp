// The system calls of the writer that a file system may lack, each behind the
// fault a test build can ask for (kestrix_writer_fault).

#include "PathSeparator.h"
#include "WriterParts.h"

#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace SafeFile {

namespace Detail {

bool Faulty(unsigned fault) {
    return kestrix_writer_fault && kestrix_writer_fault(fault);
}

bool Room(const QByteArray& name, std::int64_t bytes) {
    return !kestrix_writer_room || kestrix_writer_room(name.constData(), bytes);
}

void Dropped(const QByteArray& name) {
    if (kestrix_writer_dropped)
        kestrix_writer_dropped(name.constData());
}

int Failing(int error) {
    errno = error;
    return -1;
}

// The system calls a file system may lack, each behind the fault it can be
// told to show.
int OpenUnnamed(int dirFd) {
    // A file system without hard links has no unnamed files either.
    if (Faulty(NoTmpfile | NoLink))
        return Failing(EOPNOTSUPP);
    return ::openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
}

int OpenScratch(const QString& folder, QString* left) {
    const QByteArray path = EncodeName(folder.isEmpty() ? QStringLiteral(".") : folder);
    if (!Faulty(NoTmpfile | NoLink)) {
        const int fd = ::open(path.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
            return fd;
    }
    const int dir = ::open(path.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return -1;
    // A name made where no name can go would stay.
    if (HoldsItsNames(dir)) {
        ::close(dir);
        errno = EPERM;
        return -1;
    }
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 100; ++tries) {
        const QByteArray name = TemporaryName();
        // Removed before a signal can leave it behind.
        const SignalsHeld held;
        fd = ::openat(dir, name.constData(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0 && ::unlinkat(dir, name.constData(), 0) != 0) {
            const int error = errno;
            ::close(fd);
            fd = -1;
            *left = JoinPath(folder, DecodeName(name));
            errno = error;
            break;
        }
        if (fd < 0 && errno != EEXIST)
            break;
    }
    const int error = errno;
    ::close(dir);
    errno = error;
    return fd;
}

int LinkNames(int dirFd, const char* from, const char* to) {
    return Faulty(NoLink) ? Failing(EPERM) : ::linkat(dirFd, from, dirFd, to, 0);
}

int RenameNoReplace(int dirFd, const char* from, const char* to) {
    return Faulty(NoNoReplace) ? Failing(EINVAL)
                               : ::renameat2(dirFd, from, dirFd, to, RENAME_NOREPLACE);
}

int ChangeMode(int fd, unsigned mode) {
    return Faulty(NoChmod) ? Failing(ENOSYS) : ::fchmod(fd, mode);
}

int ChangeOwner(int fd, uid_t owner, gid_t group) {
    return Faulty(NoChown) ? Failing(EPERM) : ::fchown(fd, owner, group);
}

int SetAttribute(int fd, const QByteArray& name, const QByteArray& value) {
    return Faulty(NoXattr)
               ? Failing(EOPNOTSUPP)
               : ::fsetxattr(fd, name.constData(), value.constData(), std::size_t(value.size()), 0);
}

bool HoldsItsNames(int dirFd) {
    // The flags are asked of a descriptor opened for reading.
    const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    const bool read = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    ::close(fd);
    return read && (flags & (FS_APPEND_FL | FS_IMMUTABLE_FL)) != 0;
}

int SyncFolder(int fd) {
    if (Faulty(NoFolderSync))
        return Failing(EINVAL);
    if (Faulty(FolderSyncReadOnly))
        return Failing(EROFS);
    return Faulty(FolderSyncError) ? Failing(EIO) : ::fsync(fd);
}

// Errors of a flush that say the file system has no such thing to do. A
// file system that turned read-only under the writer (EROFS) has lost what
// it was given: that is a failure.
bool CannotSync(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

EngineError::Code FromErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return EngineError::Code::Missing;
    case ENAMETOOLONG:
        return EngineError::Code::NameTooLong;
    case ENXIO:
    case ENODEV:
        return EngineError::Code::NotRegular;
    default:
        return EngineError::Code::ReadFailed;
    }
}

int LinkUnnamed(int fd, int dirFd, const QByteArray& name) {
    if (Faulty(NoLink))
        return EPERM;
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    if (::linkat(AT_FDCWD, self.constData(), dirFd, name.constData(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    // Without /proc, linking by descriptor needs a privilege.
    if (errno == ENOENT && ::linkat(fd, "", dirFd, name.constData(), AT_EMPTY_PATH) == 0)
        return 0;
    return errno;
}

QString SystemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace Detail

bool IgnoresCase(const QString& folder) {
    const int dir = ::open(EncodeName(folder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return false;
    // A name of its own, looked up in capitals: found when the folder takes
    // two spellings of a name for one file. The probe is registered so that
    // a signal removes it; with no slot free, it is not left to chance.
    const QByteArray lower =
        ".kx-case" + QByteArray::number(QRandomGenerator::global()->generate64() % 46656, 36);
    bool ignores = false;
    int slot = -1;
    int fd = -1;
    {
        const Detail::SignalsHeld held;
        fd = ::openat(dir, lower.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
        if (fd >= 0)
            slot = Detail::SetPending(dir, lower);
        if (fd >= 0 && slot < 0) {
            ::close(fd);
            ::unlinkat(dir, lower.constData(), 0);
            fd = -1;
        }
    }
    if (fd >= 0) {
        struct stat st {};
        ignores = ::fstatat(dir, lower.toUpper().constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        ::close(fd);
        const Detail::SignalsHeld held;
        ::unlinkat(dir, lower.constData(), 0);
        Detail::ClearPending(slot);
    }
    ::close(dir);
    return ignores;
}

int Cores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? int(online) : 1;
}

std::int64_t DescriptorLimit() {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return -1;
    return std::int64_t(limit.rlim_cur);
}

bool DescriptorsFree(int n) {
    int held[64];
    int opened = 0;
    while (opened < n && opened < 64) {
        const int fd = ::open("/", O_PATH | O_CLOEXEC);
        if (fd < 0)
            break;
        held[opened++] = fd;
    }
    for (int i = 0; i < opened; ++i)
        ::close(held[i]);
    return opened == n;
}

} // namespace SafeFile
