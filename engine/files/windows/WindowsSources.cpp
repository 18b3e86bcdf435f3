// Sources on Windows: a file opened for reading that others may still
// rename or delete, looked at by its handle, and content held in a hidden
// temporary file.

#include "SafeFile.h"
#include "SourceParts.h"
#include "WindowsParts.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <vector>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace SafeFile {

using namespace Win;

FileId IdentityOf(const QString& path) {
    return Look(path).id;
}

Entry Look(const QString& path) {
    if (path.isEmpty() || DeviceOrRefused(path))
        return {};
    const HANDLE file =
        ::CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    BY_HANDLE_FILE_INFORMATION info{};
    Entry entry;
    if (::GetFileInformationByHandle(file, &info))
        entry = {{info.dwVolumeSerialNumber,
                  std::uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow},
                 std::int64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow,
                 Nanoseconds(info.ftLastWriteTime)};
    ::CloseHandle(file);
    return entry;
}

Source::Source(const QString& path) {
    if (path.isEmpty()) {
        error_ = EngineError::Code::Missing;
        return;
    }
    const std::wstring name = Wide(path);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        error_ = FromError(::GetLastError());
        return;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        error_ = EngineError::Code::NotRegular;
        return;
    }
    const HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error_ = FromError(::GetLastError());
        return;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    // A device (NUL, CON, a serial port) is not a file.
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &info)) {
        ::CloseHandle(file);
        error_ = EngineError::Code::NotRegular;
        return;
    }
    fd_ = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (fd_ < 0) {
        ::CloseHandle(file);
        error_ = EngineError::Code::ReadFailed;
        return;
    }
    size_ = std::int64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    const std::int64_t modified = Nanoseconds(info.ftLastWriteTime);
    mtimeSeconds_ = modified / 1000000000;
    mtimeNanoseconds_ = modified % 1000000000;
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    recent_ = modified > Nanoseconds(now) - Detail::RecentNanoseconds;
}

std::unique_ptr<Source> Source::OfScratch(int fd) {
    std::unique_ptr<Source> source(new Source);
    BY_HANDLE_FILE_INFORMATION info{};
    if (fd < 0 || !::GetFileInformationByHandle(HandleOf(fd), &info)) {
        if (fd >= 0)
            ::_close(fd);
        source->error_ = EngineError::Code::ReadFailed;
        return source;
    }
    source->fd_ = fd;
    source->size_ = std::int64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    // As written: a scratch copy read later is unchanged while its size and
    // time are these.
    const std::int64_t modified = Nanoseconds(info.ftLastWriteTime);
    source->mtimeSeconds_ = modified / 1000000000;
    source->mtimeNanoseconds_ = modified % 1000000000;
    return source;
}

Source::~Source() {
    if (fd_ >= 0)
        ::_close(fd_);
}

bool Source::Unchanged() const {
    BY_HANDLE_FILE_INFORMATION info{};
    if (fd_ < 0 || !::GetFileInformationByHandle(HandleOf(fd_), &info))
        return false;
    const std::int64_t modified = Nanoseconds(info.ftLastWriteTime);
    return (std::int64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow) == size_ &&
           modified == mtimeSeconds_ * 1000000000 + mtimeNanoseconds_ && (!recent_ || SameAgain());
}

EngineError Spill(const QStringList& folders, std::int64_t limit, const Pull& pull,
                  std::unique_ptr<Source>* source) {
    using Code = EngineError::Code;
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_PATH_NOT_FOUND;
    QString path;
    for (const QString& folder : folders) {
        file = CreateTemporary(folder.isEmpty() ? QStringLiteral(".") : folder,
                               FILE_FLAG_DELETE_ON_CLOSE, &path);
        if (file != INVALID_HANDLE_VALUE)
            break;
        error = ::GetLastError();
    }
    if (file == INVALID_HANDLE_VALUE)
        return {Code::Scratch, Detail::SystemWords(error)};
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
    std::vector<char> piece(std::size_t(1) << 16);
    for (std::int64_t size = 0;;) {
        EngineError why;
        const std::int64_t got = pull(piece.data(), std::int64_t(piece.size()), &why);
        if (got == 0)
            break;
        const DWORD failed =
            got < 0 || size + got > limit ? 0 : WriteFully(file, size, piece.data(), got);
        if (got < 0 || size + got > limit || failed) {
            ::_close(fd);
            return got < 0              ? why
                   : size + got > limit ? EngineError(Code::TooLarge, QString::number(limit >> 20))
                                        : EngineError(Code::Scratch, Detail::SystemWords(failed));
        }
        size += got;
    }
    *source = Source::OfScratch(fd);
    return {};
}

EngineError Hold(std::int64_t limit, const Pull& pull, std::unique_ptr<Source>* source) {
    return Spill({QDir::tempPath()}, limit, pull, source);
}

bool EntryExists(const QString& path) {
    return !path.isEmpty() && !DeviceOrRefused(path) &&
           ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const QString& path) {
    const DWORD attributes =
        path.isEmpty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

EngineError RemoveFile(const QString& path) {
    if (!::DeleteFileW(Wide(path).c_str()))
        return {EngineError::Code::Source, Detail::SystemWords(::GetLastError()), path};
    return {};
}

bool RemoveEmptyFolder(const QString& path) {
    return ::RemoveDirectoryW(Wide(path).c_str());
}

EngineError MakeFolders(const QString& path) {
    const QString clean = QDir::fromNativeSeparators(path);
    for (qsizetype at = 1; at <= clean.size(); ++at) {
        if (at < clean.size() && clean.at(at) != QLatin1Char('/'))
            continue;
        const QString folder = clean.left(at);
        // A drive's root ("C:") is there or not: it is not made.
        if (folder.size() == 2 && folder.at(1) == QLatin1Char(':'))
            continue;
        if (!::CreateDirectoryW(Wide(folder).c_str(), nullptr)) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED)
                return {EngineError::Code::FolderNotMade, Detail::SystemWords(error), path};
        }
    }
    return IsFolder(path) ? EngineError()
                          : EngineError(EngineError::Code::FolderNotMade,
                                        QStringLiteral("it is not a folder"), path);
}

} // namespace SafeFile
