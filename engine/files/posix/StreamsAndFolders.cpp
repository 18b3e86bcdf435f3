// The standard streams and the listing of folders, on a POSIX system.

#include "SafeFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SafeFile {

namespace {

QString Words(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

EngineError ListFolder(const QString& folder, std::vector<Listed>* entries) {
    DIR* dir = ::opendir(EncodeName(folder).constData());
    if (!dir)
        return {EngineError::Code::FolderUnread, Words(errno), folder};
    QList<QByteArray> names;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names << name;
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    const QByteArray base = EncodeName(folder) + (folder.endsWith(QLatin1Char('/')) ? "" : "/");
    for (const QByteArray& bytes : names) {
        Listed listed;
        listed.name = DecodeName(bytes);
        const QByteArray path = base + bytes;
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0) {
            listed.kind = Listed::Kind::Unreachable;
            listed.why = Words(errno);
        } else if (S_ISDIR(st.st_mode)) {
            listed.kind = Listed::Kind::Folder;
        } else if (S_ISREG(st.st_mode) ||
                   (S_ISLNK(st.st_mode) && ::stat(path.constData(), &st) == 0 &&
                    S_ISREG(st.st_mode))) {
            listed.kind = Listed::Kind::File;
        }
        entries->push_back(std::move(listed));
    }
    return {};
}

bool IsLink(const QString& path) {
    struct stat st {};
    return ::lstat(EncodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool IsTerminal(int stream) {
    return ::isatty(stream);
}

int TerminalColumns(int stream) {
    struct winsize size {};
    return ::ioctl(stream, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

std::int64_t PullStandardInput(char* into, std::int64_t most, EngineError* why) {
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, into, std::size_t(most));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            *why = {EngineError::Code::StdinUnreadable, Words(errno)};
        return got;
    }
}

void BinaryStandardStreams() {}

bool WriteToConsole(std::FILE*, const QString&) {
    return false;
}

} // namespace SafeFile
