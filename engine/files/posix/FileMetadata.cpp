// What a replaced file keeps: its permission bits and extended attributes.

#include "WriterParts.h"

#include <QtEndian>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace SafeFile::Detail {

// The permission bits the process gives new files. Read with the system's
// own calls (a writer may ask while descriptors are scarce, and nothing
// here may fail in a way that hides the answer); asked first when a writer
// opens, while the process has a descriptor to spare.
unsigned CreationMask() {
    static const unsigned mask = [] {
        const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            char text[4096];
            std::size_t length = 0;
            for (ssize_t n;
                 length < sizeof text && (n = ::read(fd, text + length, sizeof text - length)) > 0;)
                length += std::size_t(n);
            ::close(fd);
            const QByteArray status(text, qsizetype(length));
            for (const QByteArray& line : status.split('\n'))
                if (line.startsWith("Umask:")) {
                    bool ok = false;
                    const unsigned value = line.mid(6).trimmed().toUInt(&ok, 8);
                    if (ok)
                        return value;
                }
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

QByteArray NewFileAccessAcl(int dirFd) {
    // The ACL blob: a version word, then entries of a tag, permissions and
    // an id (see acl(5)).
    constexpr std::uint16_t UserObj = 0x01, GroupObj = 0x04, Mask = 0x10, Other = 0x20;
    const QByteArray folder = "/proc/self/fd/" + QByteArray::number(dirFd);
    QByteArray acl(4096, Qt::Uninitialized);
    const ssize_t length = ::getxattr(folder.constData(), "system.posix_acl_default", acl.data(),
                                      std::size_t(acl.size()));
    if (length < 4 || (length - 4) % 8 != 0)
        return QByteArray();
    acl.truncate(length);
    bool hasMask = false;
    for (qsizetype at = 4; at < length; at += 8)
        hasMask |= qFromLittleEndian<std::uint16_t>(acl.constData() + at) == Mask;
    // A file made with mode 0666: no execute bit for the owner, the mask (or
    // the group, without one) and others.
    for (qsizetype at = 4; at < length; at += 8) {
        const std::uint16_t tag = qFromLittleEndian<std::uint16_t>(acl.constData() + at);
        if (tag == UserObj || tag == Other || tag == Mask || (tag == GroupObj && !hasMask)) {
            const std::uint16_t perm = qFromLittleEndian<std::uint16_t>(acl.constData() + at + 2);
            qToLittleEndian<std::uint16_t>(perm & 06, acl.data() + at + 2);
        }
    }
    return acl;
}

} // namespace SafeFile::Detail
