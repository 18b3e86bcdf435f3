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
#include <sys/xattr.h>
#include <unistd.h>

namespace SafeFile {

// ---------------------------------------------------------------- names

QString DecodeName(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned c = p[i];
        if (c < 0x80) {
            out += QChar(char16_t(c));
            ++i;
            continue;
        }
        int length = 0;
        char32_t code = 0;
        char32_t least = 0;
        if ((c & 0xE0) == 0xC0) {
            length = 2, code = c & 0x1F, least = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3, code = c & 0x0F, least = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4, code = c & 0x07, least = 0x10000;
        }
        bool valid = length > 0 && i + length <= n;
        for (int k = 1; valid && k < length; ++k) {
            const unsigned next = p[i + k];
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        valid = valid && code >= least && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        if (!valid) {
            out += QChar(char16_t(0xDC00 + c));
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            out += QChar(QChar::highSurrogate(code));
            out += QChar(QChar::lowSurrogate(code));
        } else {
            out += QChar(char16_t(code));
        }
        i += length;
    }
    return out;
}

QByteArray EncodeName(const QString& path) {
    QByteArray out;
    out.reserve(path.size());
    const qsizetype n = path.size();
    auto put = [&out](char32_t code) {
        if (code < 0x80) {
            out += char(code);
        } else if (code < 0x800) {
            out += char(0xC0 | (code >> 6));
            out += char(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += char(0xE0 | (code >> 12));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        } else {
            out += char(0xF0 | (code >> 18));
            out += char(0x80 | ((code >> 12) & 0x3F));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        }
    };
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t unit = path.at(i).unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < n && path.at(i + 1).isLowSurrogate()) {
            put(QChar::surrogateToUcs4(unit, path.at(i + 1).unicode()));
            ++i;
        } else if (unit >= 0xDC80 && unit <= 0xDCFF) {
            out += char(unit - 0xDC00); // a byte that was not UTF-8
        } else if (QChar::isSurrogate(unit)) {
            put(0xFFFD);
        } else {
            put(unit);
        }
    }
    return out;
}

QStringList DecodeArguments(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(DecodeName(QByteArray(argv[i])));
    return arguments;
}

QString Printable(const QString& name) {
    QString out;
    out.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t unit = name.at(i).unicode();
        const bool escapedByte =
            unit >= 0xDC80 && unit <= 0xDCFF && !(i > 0 && name.at(i - 1).isHighSurrogate());
        if (escapedByte || unit < 0x20 || (unit >= 0x7F && unit < 0xA0))
            out += QStringLiteral("\\x") + QString::number(escapedByte ? unit - 0xDC00 : unit, 16)
                                               .toUpper()
                                               .rightJustified(2, QLatin1Char('0'));
        else
            out += name.at(i);
    }
    return out;
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

// ---------------------------------------------------------------- system

namespace {

// System features to do without, as a test asks (SetFaults).
unsigned faults = 0;

bool Faulty(unsigned fault) {
    return (faults & fault) != 0;
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

int SyncFolder(int fd) {
    return Faulty(NoFolderSync) ? Failing(EINVAL) : ::fsync(fd);
}

// Errors of a flush that say the file system has no such thing to do.
bool CannotSync(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EROFS;
}

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

// The temporary names a signal handler may have to remove, one slot for
// each writer that has one.
constexpr int PendingSlots = 64;
struct PendingName {
    std::atomic<int> taken{0};
    volatile std::sig_atomic_t set = 0;
    int dir = -1;
    char name[32] = {};
};
PendingName pending[PendingSlots];

int SetPending(int dirFd, const QByteArray& name) {
    for (int slot = 0; slot < PendingSlots; ++slot) {
        int free = 0;
        if (!pending[slot].taken.compare_exchange_strong(free, 1))
            continue;
        PendingName& p = pending[slot];
        p.dir = dirFd;
        std::snprintf(p.name, sizeof p.name, "%s", name.constData());
        std::atomic_signal_fence(std::memory_order_seq_cst);
        p.set = 1;
        return slot;
    }
    return -1;
}

void ClearPending(int& slot) {
    if (slot < 0)
        return;
    pending[slot].set = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    pending[slot].taken.store(0);
    slot = -1;
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
    for (PendingName& p : pending)
        if (p.set)
            ::unlinkat(p.dir, p.name, 0);
    ::_exit(128 + signal);
}

// Links an unnamed file under a name in a folder: 0, or the reason it failed
// (EEXIST when anything, even a dangling link, has the name).
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

// A hidden name of at most 13 bytes: it fits wherever the destination's name
// does, and in one long-name entry of a FAT folder (fusefat mixes up the
// clusters of files renamed from 14-character names).
QByteArray TemporaryName() {
    return ".kx-" +
           QByteArray::number(QRandomGenerator::global()->generate64() % 101559956668416ull, 36);
}

QString SystemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// The permission bits the process gives new files.
unsigned CreationMask() {
    static const unsigned mask = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly))
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("Umask:")) {
                    bool ok = false;
                    const unsigned value = line.mid(6).trimmed().toUInt(&ok, 8);
                    if (ok)
                        return value;
                }
        const mode_t old = ::umask(022);
        ::umask(old);
        return unsigned(old);
    }();
    return mask;
}

// The extended attributes (ACLs among them) of an entry in a folder, as far
// as they can be read. File capabilities are never carried over: the system
// drops them whenever a file's content changes, and so does this.
std::vector<std::pair<QByteArray, QByteArray>> ReadAttributes(int dirFd, const QByteArray& name) {
    std::vector<std::pair<QByteArray, QByteArray>> result;
    const QByteArray path = "/proc/self/fd/" + QByteArray::number(dirFd) + "/" + name;
    QByteArray names(1024, Qt::Uninitialized);
    ssize_t length = ::llistxattr(path.constData(), names.data(), std::size_t(names.size()));
    if (length < 0 && errno == ERANGE) {
        length = ::llistxattr(path.constData(), nullptr, 0);
        if (length > 0) {
            names.resize(length);
            length = ::llistxattr(path.constData(), names.data(), std::size_t(names.size()));
        }
    }
    if (length <= 0)
        return result;
    names.truncate(length);
    for (const QByteArray& attribute : names.split('\0')) {
        if (attribute.isEmpty() || attribute == "security.capability")
            continue;
        const ssize_t size = ::lgetxattr(path.constData(), attribute.constData(), nullptr, 0);
        if (size < 0)
            continue;
        QByteArray value(size, Qt::Uninitialized);
        const ssize_t got =
            ::lgetxattr(path.constData(), attribute.constData(), value.data(), std::size_t(size));
        if (got >= 0)
            result.emplace_back(attribute, value.left(got));
    }
    return result;
}

} // namespace

void SetFaults(unsigned newFaults) {
    faults = newFaults;
}

// ---------------------------------------------------------------- sources

Source::Source(const QString& path) {
    if (path.isEmpty()) {
        error_ = SourceError::Missing;
        return;
    }
    const QByteArray name = EncodeName(path);
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
    mtimeSeconds_ = st.st_mtim.tv_sec;
    mtimeNanoseconds_ = st.st_mtim.tv_nsec;
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

bool Source::Unchanged() const {
    struct stat st {};
    return fd_ >= 0 && ::fstat(fd_, &st) == 0 && st.st_size == size_ &&
           st.st_mtim.tv_sec == mtimeSeconds_ && st.st_mtim.tv_nsec == mtimeNanoseconds_;
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
    return !path.isEmpty() && ::lstat(EncodeName(path).constData(), &st) == 0;
}

bool IsFolder(const QString& path) {
    struct stat st {};
    return !path.isEmpty() && ::stat(EncodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QString MakeFolders(const QString& path) {
    const QByteArray bytes = EncodeName(path);
    for (qsizetype at = 1; at <= bytes.size(); ++at) {
        if (at < bytes.size() && bytes.at(at) != '/')
            continue;
        if (::mkdir(bytes.left(at).constData(), 0777) != 0 && errno != EEXIST)
            return SystemError(errno);
    }
    return IsFolder(path) ? QString() : QStringLiteral("it is not a folder");
}

// ---------------------------------------------------------------- writer

Writer::~Writer() {
    Abort();
}

bool Writer::Fail(const QString& what, int error) {
    error_ = error ? what + QStringLiteral(": ") + SystemError(error) : what;
    Abort();
    return false;
}

bool Writer::Open(const QString& destination, Existing existing) {
    Abort();
    nameTaken_ = false;
    error_.clear();
    existing_ = existing;
    replacing_ = false;
    oldIsFile_ = false;
    attributes_.clear();
    folder_ = {};
    written_ = {};

    const QByteArray path = EncodeName(destination);
    const qsizetype slash = path.lastIndexOf('/');
    name_ = slash < 0 ? path : path.mid(slash + 1);
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? "/" : path.left(slash);
    if (name_.isEmpty() || name_ == "." || name_ == "..")
        return Fail(QStringLiteral("the destination names no file"), 0);
    dirFd_ = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dirFd_ < 0)
        return Fail(QStringLiteral("the folder cannot be opened"), errno);
    struct stat st {};
    if (::fstat(dirFd_, &st) == 0)
        folder_ = {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};

    if (::fstatat(dirFd_, name_.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        nameTaken_ = existing == Existing::Keep;
        if (nameTaken_)
            return Fail(QStringLiteral("the destination already exists"), 0);
        if (S_ISDIR(st.st_mode))
            return Fail(QStringLiteral("a folder has the destination's name"), 0);
        if (S_ISLNK(st.st_mode)) {
            // Judged by what it leads to; a dangling link is replaced.
            struct stat target {};
            if (::fstatat(dirFd_, name_.constData(), &target, 0) == 0) {
                if (S_ISDIR(target.st_mode))
                    return Fail(QStringLiteral("the destination is a link to a folder"), 0);
                if (!S_ISREG(target.st_mode))
                    return Fail(QStringLiteral("the destination is a link to something that is "
                                               "not a regular file"),
                                0);
            } else if (errno != ENOENT && errno != ELOOP && errno != ENOTDIR) {
                return Fail(QStringLiteral("the destination's link cannot be followed"), errno);
            }
        } else if (!S_ISREG(st.st_mode)) {
            return Fail(QStringLiteral("the destination is not a regular file"), 0);
        }
        replacing_ = true;
        oldIsFile_ = S_ISREG(st.st_mode);
        if (oldIsFile_) {
            oldMode_ = unsigned(st.st_mode & 07777);
            oldOwner_ = st.st_uid;
            oldGroup_ = st.st_gid;
            attributes_ = ReadAttributes(dirFd_, name_);
        }
    } else if (errno == ENAMETOOLONG) {
        return Fail(QStringLiteral("the destination name is too long"), 0);
    }

    // The new content is readable by its owner alone until it is complete.
    fd_ = OpenUnnamed(dirFd_);
    if (fd_ >= 0) {
        state_ = State::Open;
        return true;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
        return Fail(QStringLiteral("the destination cannot be created"), errno);
    if (!ClaimTemporaryName([this](const QByteArray& temp) {
            fd_ = ::openat(dirFd_, temp.constData(),
                           O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
            return fd_ >= 0 ? 0 : errno;
        }))
        return false;
    state_ = State::Open;
    return true;
}

// Gives a new file a short hidden name that nothing has: claim makes the
// entry under a name and answers 0, or the reason it could not (EEXIST when
// the name is taken, and another is tried). The name is registered for
// removal on a signal the moment it exists.
bool Writer::ClaimTemporaryName(const std::function<int(const QByteArray&)>& claim) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QByteArray temp = TemporaryName();
        int error = 0;
        {
            const SignalsHeld held;
            error = claim(temp);
            if (error == 0) {
                tempName_ = temp;
                pendingSlot_ = SetPending(dirFd_, temp);
            }
        }
        if (error == 0)
            return true;
        if (error != EEXIST)
            return Fail(QStringLiteral("the destination cannot be created"), error);
    }
    return Fail(QStringLiteral("no temporary name is free"), EEXIST);
}

bool Writer::Write(const void* data, std::int64_t bytes) {
    if (state_ != State::Open)
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

void Writer::StartWriteback() {
    if (state_ == State::Open)
        ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
}

// Owner, group, extended attributes and mode of the old file, as far as the
// caller and the file system allow; a new file gets the usual mode. Whatever
// cannot be set is gone on without, except that the set-user-ID and
// set-group-ID bits never survive a change of owner or group.
void Writer::KeepMetadata() {
    unsigned mode = 0666 & ~CreationMask();
    if (replacing_ && oldIsFile_) {
        struct stat now {};
        ::fstat(fd_, &now);
        bool ownerKept = now.st_uid == oldOwner_;
        bool groupKept = now.st_gid == oldGroup_;
        if (!ownerKept || !groupKept) {
            if (ChangeOwner(fd_, oldOwner_, oldGroup_) == 0)
                ownerKept = groupKept = true;
            else if (!groupKept && ChangeOwner(fd_, uid_t(-1), oldGroup_) == 0)
                groupKept = true;
        }
        for (const auto& [name, value] : attributes_)
            SetAttribute(fd_, name, value);
        mode = oldMode_;
        if (!ownerKept || !groupKept)
            mode &= ~unsigned(S_ISUID | S_ISGID);
    }
    ChangeMode(fd_, mode);
}

bool Writer::Finish() {
    if (state_ != State::Open)
        return false;
    KeepMetadata();
    if (::fsync(fd_) != 0 && !CannotSync(errno))
        return Fail(QStringLiteral("the destination cannot be written to disk"), errno);
    struct stat st {};
    if (::fstat(fd_, &st) == 0)
        written_ = {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
    state_ = State::Finished;
    return true;
}

// Gives the unnamed file a short hidden name, from which it is renamed.
bool Writer::LinkAsTemporary() {
    return ClaimTemporaryName(
        [this](const QByteArray& temp) { return LinkUnnamed(fd_, dirFd_, temp); });
}

bool Writer::Publish() {
    if (state_ != State::Finished)
        return false;
    if (replacing_) {
        if ((tempName_.isEmpty() && !LinkAsTemporary()) || !CloseContent())
            return false;
        const SignalsHeld held;
        if (::renameat(dirFd_, tempName_.constData(), dirFd_, name_.constData()) != 0)
            return Fail(QStringLiteral("the destination cannot be replaced"), errno);
        TemporaryRenamed();
    } else if (!PublishNew()) {
        return false;
    }
    state_ = State::Published;
    return true;
}

// Closes the complete content; a file system may report a write error only now.
bool Writer::CloseContent() {
    const int closed = ::close(fd_);
    fd_ = -1;
    return closed == 0 || Fail(QStringLiteral("the destination cannot be written"), errno);
}

// The temporary name has become the destination's.
bool Writer::TemporaryRenamed() {
    tempName_.clear();
    ClearPending(pendingSlot_);
    return true;
}

// Names a new file without ever replacing an entry that appeared meanwhile.
bool Writer::PublishNew() {
    auto taken = [this] {
        nameTaken_ = true;
        return Fail(QStringLiteral("the destination already exists"), 0);
    };
    if (tempName_.isEmpty()) {
        const int error = LinkUnnamed(fd_, dirFd_, name_);
        if (error == EEXIST)
            return taken();
        if (error != 0)
            return Fail(QStringLiteral("the destination cannot be created"), error);
        ::close(fd_);
        fd_ = -1;
        return true;
    }

    if (!CloseContent())
        return false;
    const SignalsHeld held;
    if (RenameNoReplace(dirFd_, tempName_.constData(), name_.constData()) == 0)
        return TemporaryRenamed();
    if (errno == EEXIST)
        return taken();
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return Fail(QStringLiteral("the destination cannot be created"), errno);

    // No renaming without replacing (FUSE, NFS, SMB): a hard link fails just
    // as well when the name is taken.
    if (LinkNames(dirFd_, tempName_.constData(), name_.constData()) == 0) {
        ::unlinkat(dirFd_, tempName_.constData(), 0);
        return TemporaryRenamed();
    }
    if (errno == EEXIST)
        return taken();
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS && errno != EMLINK)
        return Fail(QStringLiteral("the destination cannot be created"), errno);

    // No hard links either (FAT, exFAT): claim the name with an empty file,
    // which fails when it is taken, then rename the content over the claim.
    const int claim = ::openat(dirFd_, name_.constData(),
                               O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (claim < 0)
        return errno == EEXIST ? taken()
                               : Fail(QStringLiteral("the destination cannot be created"), errno);
    struct stat claimed {};
    ::fstat(claim, &claimed);
    ::close(claim);
    if (::renameat(dirFd_, tempName_.constData(), dirFd_, name_.constData()) != 0) {
        const int error = errno;
        struct stat now {};
        if (::fstatat(dirFd_, name_.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
            now.st_dev == claimed.st_dev && now.st_ino == claimed.st_ino)
            ::unlinkat(dirFd_, name_.constData(), 0);
        return Fail(QStringLiteral("the destination cannot be created"), error);
    }
    return TemporaryRenamed();
}

bool Writer::FlushFolder() {
    if (state_ == State::Done)
        return true;
    if (state_ != State::Published)
        return false;
    const int folder = ::openat(dirFd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int error = 0;
    if (folder >= 0) {
        if (SyncFolder(folder) != 0)
            error = errno;
        ::close(folder);
    } else {
        // A folder that may be written but not read: flush everything.
        ::sync();
    }
    CloseAll();
    state_ = State::Done;
    if (error != 0 && !CannotSync(error)) {
        error_ = QStringLiteral("the folder cannot be written to disk: ") + SystemError(error);
        return false;
    }
    return true;
}

void Writer::FolderFlushedBy(const Writer& other) {
    if (state_ == State::Published && other.Done() && other.Folder() == folder_) {
        CloseAll();
        state_ = State::Done;
    }
}

bool Writer::Commit() {
    return Finish() && Publish() && FlushFolder();
}

void Writer::CloseAll() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (dirFd_ >= 0) {
        ::close(dirFd_);
        dirFd_ = -1;
    }
}

void Writer::Abort() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempName_.isEmpty()) {
        const SignalsHeld held;
        ::unlinkat(dirFd_, tempName_.constData(), 0);
        tempName_.clear();
    }
    ClearPending(pendingSlot_);
    CloseAll();
    if (state_ != State::Done)
        state_ = State::Closed;
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
    // Past a file-size limit a write then fails with EFBIG, like any other.
    ::signal(SIGXFSZ, SIG_IGN);
}

} // namespace SafeFile
