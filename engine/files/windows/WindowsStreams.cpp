// The standard streams and the listing of folders, on Windows: a console is
// written in wide characters, anything else carries bytes as they are.

#include "SafeFile.h"
#include "SourceParts.h"

#include <QDir>

#include <algorithm>
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace SafeFile {

namespace {

QString Words(DWORD error) {
    return Detail::SystemWords(error);
}

std::wstring Wide(const QString& path) {
    return QDir::toNativeSeparators(path).toStdWString();
}

HANDLE StreamHandle(int stream) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(stream));
}

// A reparse point that is a symbolic link or a junction.
bool IsReparseLink(const WIN32_FIND_DATAW& found) {
    return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (found.dwReserved0 == IO_REPARSE_TAG_SYMLINK ||
            found.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
}

} // namespace

EngineError ListFolder(const QString& folder, std::vector<Listed>* entries) {
    const QString base = folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\'))
                             ? folder
                             : folder + QLatin1Char('/');
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileExW(Wide(base + QLatin1Char('*')).c_str(), FindExInfoBasic,
                                             &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return {EngineError::Code::FolderUnread, Words(::GetLastError()), folder};
    std::vector<Listed> listed;
    do {
        Listed entry;
        entry.name = QString::fromWCharArray(found.cFileName);
        if (entry.name == QLatin1String(".") || entry.name == QLatin1String(".."))
            continue;
        const bool link = IsReparseLink(found);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            entry.kind = link ? Listed::Kind::Other : Listed::Kind::Folder;
        else if (!link)
            entry.kind = Listed::Kind::File;
        else
            entry.kind = IsFolder(base + entry.name) || !EntryExists(base + entry.name)
                             ? Listed::Kind::Other
                             : Listed::Kind::File;
        listed.push_back(std::move(entry));
    } while (::FindNextFileW(search, &found));
    const DWORD ended = ::GetLastError();
    ::FindClose(search);
    if (ended != ERROR_NO_MORE_FILES)
        return {EngineError::Code::FolderUnread, Words(ended), folder};
    std::sort(listed.begin(), listed.end(),
              [](const Listed& a, const Listed& b) { return a.name < b.name; });
    for (Listed& entry : listed)
        entries->push_back(std::move(entry));
    return {};
}

bool IsLink(const QString& path) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileExW(Wide(path).c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    ::FindClose(search);
    return IsReparseLink(found);
}

bool IsTerminal(int stream) {
    DWORD mode = 0;
    return ::GetConsoleMode(StreamHandle(stream), &mode) != 0;
}

int TerminalColumns(int stream) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(StreamHandle(stream), &info))
        return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

std::int64_t PullStandardInput(char* into, std::int64_t most, EngineError* why) {
    const HANDLE input = StreamHandle(0);
    DWORD got = 0;
    const DWORD asked = DWORD(std::min<std::int64_t>(most, 1 << 30));
    if (::ReadFile(input, into, asked, &got, nullptr))
        return std::int64_t(got);
    const DWORD error = ::GetLastError();
    // The writing end of a pipe closed: the end of the input.
    if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF)
        return 0;
    *why = {EngineError::Code::StdinUnreadable, Words(error)};
    return -1;
}

void BinaryStandardStreams() {
    ::_setmode(0, _O_BINARY);
    ::_setmode(1, _O_BINARY);
    ::_setmode(2, _O_BINARY);
}

bool WriteToConsole(std::FILE* stream, const QString& text) {
    const int fd = ::_fileno(stream);
    if (!IsTerminal(fd))
        return false;
    std::fflush(stream);
    const std::wstring wide = text.toStdWString();
    const wchar_t* at = wide.data();
    std::size_t left = wide.size();
    while (left > 0) {
        DWORD written = 0;
        if (!::WriteConsoleW(StreamHandle(fd), at, DWORD(std::min<std::size_t>(left, 8192)),
                             &written, nullptr) ||
            written == 0)
            return true; // a console that takes nothing: nothing else would take it
        at += written;
        left -= written;
    }
    return true;
}

} // namespace SafeFile
