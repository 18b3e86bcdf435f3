// The atomic writer: a destination's new content is written under a hidden
// name (or none), flushed, then put in place in one step, keeping what the
// old file's owner, mode and attributes were where it replaces one.

#include "WriterParts.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SafeFile {

using namespace Detail;

Writer::~Writer() {
    Abort();
}

bool Writer::Fail(EngineError::Code fault, int error, const QString& subject) {
    fault_ = {fault, error ? SystemError(error) : QString(), subject};
    left_.clear();
    // A temporary file the folder does not let go of (an append-only
    // folder) is named, so that nothing is left behind unsaid.
    const QByteArray temp = tempName_;
    QByteArray folder;
    if (!temp.isEmpty() && dirFd_ >= 0) {
        char path[4096];
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(dirFd_);
        const ssize_t length = ::readlink(self.constData(), path, sizeof path - 1);
        folder = length > 0 ? QByteArray(path, length) : QByteArray(".");
    }
    const bool removed = Abort();
    if (!removed)
        left_ = QStringLiteral("; its content is left in ") +
                Printable(DecodeName(folder + "/" + temp));
    return false;
}

namespace {

// Whether a link, or a link it leads to, names a process's descriptor.
bool LeadsToDescriptor(int dirFd, const QByteArray& name) {
    char folder[4096];
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(dirFd);
    const ssize_t folderLength = ::readlink(self.constData(), folder, sizeof folder - 1);
    if (folderLength <= 0)
        return false;
    QByteArray at = QByteArray(folder, folderLength) + "/" + name;
    for (int hop = 0; hop < 40; ++hop) {
        char target[4096];
        const ssize_t length = ::readlink(at.constData(), target, sizeof target - 1);
        if (length <= 0)
            return false;
        QByteArray next(target, length);
        if (!next.startsWith('/'))
            next = at.left(at.lastIndexOf('/') + 1) + next;
        if (next.startsWith("/dev/fd/") || (next.startsWith("/proc/") && next.indexOf("/fd/") > 5 &&
                                            next.indexOf("/fd/") == next.indexOf('/', 6)))
            return true;
        at = next;
    }
    return false;
}

// No hard links either (FAT, exFAT through FUSE): rename only while the
// name is free. An empty file claiming the name would show under it, and
// stay there after a power cut, so nothing claims it: runs of this program
// take turns through a lock on the folder, and only another program creating
// the same name at the same instant could be replaced (as with mv -n on such
// a drive). 0, or the system's error (EEXIST: the name is taken).
int RenameWhileFree(int dirFd, const QByteArray& temp, const QByteArray& name) {
    const int lock = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lock >= 0)
        ::flock(lock, LOCK_EX);
    struct stat st {};
    int error = 0;
    if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        error = EEXIST;
    else if (errno != ENOENT)
        error = errno;
    else if (::renameat(dirFd, temp.constData(), dirFd, name.constData()) != 0)
        error = errno;
    if (lock >= 0)
        ::close(lock);
    return error;
}

} // namespace

bool Writer::Open(const QString& destination, Existing existing) {
    Abort();
    // Known before descriptors can run short.
    Detail::CreationMask();
    nameTaken_ = false;
    fault_ = {};
    left_.clear();
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
        return Fail(EngineError::Code::WriterNoName, 0);
    notCreatedIn_ = DecodeName(folder);
    dirFd_ = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dirFd_ < 0)
        return Fail(EngineError::Code::WriterFolderUnopened, errno);
    struct stat st {};
    if (::fstat(dirFd_, &st) == 0)
        folder_ = {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};

    if (::fstatat(dirFd_, name_.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!MayReplace(st))
            return false;
    } else if (errno == ENAMETOOLONG) {
        return Fail(EngineError::Code::WriterNameTooLong, 0);
    }
    return OpenContent();
}

// Whether the entry found at the destination's name may be replaced, as
// existing_ says: a regular file or a link to one, or a dangling link.
bool Writer::MayReplace(const struct stat& st) {
    nameTaken_ = existing_ == Existing::Keep;
    if (nameTaken_)
        return Fail(EngineError::Code::DestinationExists, 0);
    if (S_ISDIR(st.st_mode))
        return Fail(EngineError::Code::WriterFolderInTheWay, 0);
    if (S_ISLNK(st.st_mode)) {
        // A link to a descriptor (/dev/stdout, /proc/self/fd/1) names
        // whatever that descriptor is open on: never replaced.
        if (LeadsToDescriptor(dirFd_, name_))
            return Fail(EngineError::Code::WriterLinkToStream, 0);
        // Judged by what it leads to; a dangling link is replaced.
        struct stat target {};
        if (::fstatat(dirFd_, name_.constData(), &target, 0) == 0) {
            if (S_ISDIR(target.st_mode))
                return Fail(EngineError::Code::WriterLinkToFolder, 0);
            if (!S_ISREG(target.st_mode))
                return Fail(EngineError::Code::WriterLinkToOther, 0);
        } else if (errno != ENOENT && errno != ELOOP && errno != ENOTDIR) {
            return Fail(EngineError::Code::WriterLinkUnfollowed, errno);
        }
    } else if (!S_ISREG(st.st_mode)) {
        return Fail(EngineError::Code::WriterNotRegular, 0);
    }
    // Found out before anything is written: a folder that lets no name
    // go would keep the new copy beside the old file.
    if (Detail::HoldsItsNames(dirFd_))
        return Fail(EngineError::Code::WriterFolderKeeps, 0);
    replacing_ = true;
    oldIsFile_ = S_ISREG(st.st_mode);
    if (oldIsFile_) {
        oldMode_ = unsigned(st.st_mode & 07777);
        oldOwner_ = st.st_uid;
        oldGroup_ = st.st_gid;
        attributes_ = ReadAttributes(dirFd_, name_);
    }
    return true;
}

// Opens the new content: an unnamed file, or one under a hidden temporary
// name where the drive makes none.
bool Writer::OpenContent() {
    // Readable by its owner alone until it is complete.
    fd_ = OpenUnnamed(dirFd_);
    if (fd_ >= 0) {
        state_ = State::Open;
        return true;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
        return Fail(EngineError::Code::WriterNotCreatedIn, errno, notCreatedIn_);
    // A temporary name would stay beside the file in a folder that lets no
    // name go.
    if (Detail::HoldsItsNames(dirFd_))
        return Fail(EngineError::Code::WriterTemporaryKept, 0);
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
                pendingSlot_ = SetPending(dirFd_, temp);
                // A name no signal would remove is not made at all.
                if (pendingSlot_ < 0) {
                    ::unlinkat(dirFd_, temp.constData(), 0);
                    return Fail(EngineError::Code::WriterTooMany, EMFILE);
                }
                tempName_ = temp;
            }
        }
        if (error == 0)
            return true;
        if (error != EEXIST)
            return Fail(EngineError::Code::WriterNotCreatedIn, error, notCreatedIn_);
    }
    return Fail(EngineError::Code::WriterNoTemporaryName, EEXIST);
}

bool Writer::Write(const void* data, std::int64_t bytes) {
    if (state_ != State::Open)
        return false;
    const char* from = static_cast<const char*>(data);
    if (!Detail::Room(name_, bytes))
        return Fail(EngineError::Code::WriterNotWritten, ENOSPC);
    while (bytes > 0) {
        const ssize_t put = ::write(fd_, from, std::size_t(std::min<std::int64_t>(bytes, 1 << 30)));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return Fail(EngineError::Code::WriterNotWritten, put < 0 ? errno : ENOSPC);
        from += put;
        bytes -= put;
    }
    return true;
}

int Writer::WriteAt(std::int64_t offset, const void* data, std::int64_t bytes) const {
    if (state_ != State::Open)
        return EBADF;
    if (!Detail::Room(name_, bytes))
        return ENOSPC;
    const char* from = static_cast<const char*>(data);
    while (bytes > 0) {
        const ssize_t put =
            ::pwrite(fd_, from, std::size_t(std::min<std::int64_t>(bytes, 1 << 30)), offset);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return put < 0 ? errno : ENOSPC;
        from += put;
        offset += put;
        bytes -= put;
    }
    return 0;
}

bool Writer::FailWrite(int error) {
    return Fail(EngineError::Code::WriterNotWritten, error);
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
    } else if (const QByteArray acl = NewFileAccessAcl(dirFd_); !acl.isEmpty()) {
        // What any new file gets in this folder; the mode follows from it.
        if (SetAttribute(fd_, "system.posix_acl_access", acl) == 0)
            return;
    }
    ChangeMode(fd_, mode);
}

bool Writer::Finish() {
    if (state_ != State::Open)
        return false;
    KeepMetadata();
    if (::fsync(fd_) != 0 && !CannotSync(errno))
        return Fail(EngineError::Code::WriterNotOnDisk, errno);
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
            return Fail(EngineError::Code::WriterNotReplaced, errno);
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
    return closed == 0 || Fail(EngineError::Code::WriterNotWritten, errno);
}

// The temporary name has become the destination's.
bool Writer::TemporaryRenamed() {
    tempName_.clear();
    ClearPending(pendingSlot_);
    return true;
}

// Names a new file without ever replacing an entry that appeared meanwhile,
// unless told to replace whatever is there.
bool Writer::PublishNew() {
    auto taken = [this] {
        if (existing_ == Existing::ReplaceAny)
            return ReplaceAppeared();
        nameTaken_ = true;
        return Fail(EngineError::Code::DestinationExists, 0);
    };
    if (tempName_.isEmpty()) {
        const int error = LinkUnnamed(fd_, dirFd_, name_);
        if (error == EEXIST)
            return taken();
        if (error != 0)
            return Fail(EngineError::Code::WriterNotCreated, error);
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
        return Fail(EngineError::Code::WriterNotCreated, errno);

    // No renaming without replacing (FUSE, NFS, SMB): a hard link fails just
    // as well when the name is taken.
    if (LinkNames(dirFd_, tempName_.constData(), name_.constData()) == 0) {
        ::unlinkat(dirFd_, tempName_.constData(), 0);
        return TemporaryRenamed();
    }
    if (errno == EEXIST)
        return taken();
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS && errno != EMLINK)
        return Fail(EngineError::Code::WriterNotCreated, errno);

    const int error = RenameWhileFree(dirFd_, tempName_, name_);
    if (error == EEXIST)
        return taken();
    if (error != 0)
        return Fail(EngineError::Code::WriterNotCreated, error);
    return TemporaryRenamed();
}

// Replaces an entry that appeared under the name while the file was
// written, as Open would have had it been there: a folder, or a link to
// anything but a regular file, is never replaced.
bool Writer::ReplaceAppeared() {
    struct stat st {};
    if (::fstatat(dirFd_, name_.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        struct stat target {};
        if (S_ISDIR(st.st_mode))
            return Fail(EngineError::Code::WriterFolderInTheWay, 0);
        if (S_ISLNK(st.st_mode) &&
            (LeadsToDescriptor(dirFd_, name_) ||
             (::fstatat(dirFd_, name_.constData(), &target, 0) == 0 && !S_ISREG(target.st_mode))))
            return Fail(EngineError::Code::WriterLinkToOther, 0);
        if (!S_ISLNK(st.st_mode) && !S_ISREG(st.st_mode))
            return Fail(EngineError::Code::WriterNotRegular, 0);
    }
    if ((tempName_.isEmpty() && !LinkAsTemporary()) || (fd_ >= 0 && !CloseContent()))
        return false;
    const SignalsHeld held;
    if (::renameat(dirFd_, tempName_.constData(), dirFd_, name_.constData()) != 0)
        return Fail(EngineError::Code::WriterNotReplaced, errno);
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
        fault_ = {EngineError::Code::WriterFolderNotOnDisk, SystemError(error)};
        left_.clear();
        return false;
    }
    return true;
}

bool Writer::FolderFlushFailedBy(const Writer& other) {
    if (state_ != State::Published || !other.Done() || other.Folder() != folder_)
        return false;
    CloseAll();
    state_ = State::Done;
    fault_ = other.fault_;
    left_ = other.left_;
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

bool Writer::Abort() {
    if (state_ == State::Open || state_ == State::Finished)
        Detail::Dropped(name_);
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    bool removed = true;
    if (!tempName_.isEmpty()) {
        const SignalsHeld held;
        removed = ::unlinkat(dirFd_, tempName_.constData(), 0) == 0 || errno == ENOENT;
        tempName_.clear();
    }
    ClearPending(pendingSlot_);
    CloseAll();
    if (state_ != State::Done)
        state_ = State::Closed;
    return removed;
}

} // namespace SafeFile
