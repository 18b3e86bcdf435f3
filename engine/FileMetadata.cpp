// What a replaced file keeps: its permission bits and extended attributes.

#include "WriterParts.h"

#include <QFile>

#include <cerrno>

#include <sys/stat.h>
#include <sys/xattr.h>

namespace SafeFile::Detail {

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

} // namespace SafeFile::Detail
