// Sources and the atomic writer on Windows: wide names (long ones in the
// \\?\ form), a hidden temporary file in the destination's folder flushed
// with FlushFileBuffers, then moved into place with MoveFileExW (never over
// anything) or ReplaceFileW (over the file that was asked about, which keeps
// its attributes and security), and Ctrl+C or a closed console removing the
// temporary files as signals do elsewhere.

#include "SafeFile.h"
#include "SourceParts.h"
#include "WindowsParts.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <zlib.h>

namespace SafeFile {

// The system's helpers that sources and writers share (WindowsParts.h).
namespace Win {

// From 1601, in 100 ns, to 1970.
constexpr std::int64_t EpochTicks = 116444736000000000LL;

std::wstring Wide(const QString& path) {
    QString native = QDir::toNativeSeparators(path);
    // Past MAX_PATH only the \\?\ form of a full, clean path reaches the file.
    if (native.size() >= MAX_PATH - 12 && !native.startsWith(QLatin1String("\\\\?\\")))
        native = QStringLiteral("\\\\?\\") +
                 QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    return native.toStdWString();
}

EngineError::Code FromError(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
        return EngineError::Code::Missing;
    case ERROR_FILENAME_EXCED_RANGE:
        return EngineError::Code::NameTooLong;
    default:
        return EngineError::Code::ReadFailed;
    }
}

std::int64_t Nanoseconds(const FILETIME& time) {
    const std::int64_t ticks = std::int64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
    return (ticks - EpochTicks) * 100;
}

// A read or write at an offset of the file, whatever its handle's position.
OVERLAPPED At(std::int64_t offset) {
    OVERLAPPED where{};
    where.Offset = DWORD(offset);
    where.OffsetHigh = DWORD(offset >> 32);
    return where;
}

HANDLE HandleOf(int fd) {
    return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

} // namespace Win

using namespace Win;

QString Detail::SystemWords(unsigned long error) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString words = n ? QString::fromWCharArray(text, int(n)).trimmed() : QString();
    if (text)
        ::LocalFree(text);
    if (words.endsWith(QLatin1Char('.')))
        words.chop(1);
    return words.isEmpty() ? QStringLiteral("error %1").arg(error) : words;
}

bool Detail::ReadFully(int fd, std::int64_t offset, void* into, std::int64_t bytes) {
    auto* at = static_cast<char*>(into);
    while (bytes > 0) {
        OVERLAPPED where = At(offset);
        DWORD got = 0;
        const DWORD ask = DWORD(std::min<std::int64_t>(bytes, 1 << 30));
        if (!::ReadFile(HandleOf(fd), at, ask, &got, &where) || got == 0)
            return false;
        at += got;
        offset += got;
        bytes -= got;
    }
    return true;
}

namespace Win {

// 0, or the system's error.
DWORD WriteFully(HANDLE file, std::int64_t offset, const void* data, std::int64_t bytes) {
    const auto* at = static_cast<const char*>(data);
    while (bytes > 0) {
        OVERLAPPED where = At(offset);
        DWORD put = 0;
        const DWORD ask = DWORD(std::min<std::int64_t>(bytes, 1 << 30));
        if (!::WriteFile(file, at, ask, &put, &where))
            return ::GetLastError();
        if (put == 0)
            return ERROR_DISK_FULL;
        at += put;
        offset += put;
        bytes -= put;
    }
    return 0;
}

// Why Windows will not take a file name, or nothing.
QString RefusedName(const QString& name) {
    static const char* const Devices[] = {"CON", "PRN", "AUX", "NUL"};
    const QString stem = name.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    bool device = false;
    for (const char* d : Devices)
        device = device || stem == QLatin1String(d);
    if (stem.size() == 4 &&
        (stem.startsWith(QLatin1String("COM")) || stem.startsWith(QLatin1String("LPT"))))
        device = device || (stem.at(3) >= QLatin1Char('1') && stem.at(3) <= QLatin1Char('9'));
    if (device)
        return QStringLiteral("%1 is the name of a device on Windows").arg(Quoted(name));
    if (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        return QStringLiteral("Windows does not take a name that ends in a dot or a space: %1")
            .arg(Quoted(name));
    for (const QChar c : name)
        if (c.unicode() < 32 || QStringLiteral("<>:\"|?*\\").contains(c))
            return QStringLiteral("Windows does not take the character %1 in a name: %2")
                .arg(c.unicode() < 32 ? QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QChar('0'))
                                      : QString(c),
                     Quoted(name));
    return {};
}

// The temporary files of the writers at work, which Ctrl+C and a closed
// console remove before the process ends.
std::mutex pendingMutex;
std::wstring pending[MaxPendingWriters];

int SetPending(const std::wstring& path) {
    const std::lock_guard<std::mutex> lock(pendingMutex);
    for (int slot = 0; slot < MaxPendingWriters; ++slot)
        if (pending[slot].empty()) {
            pending[slot] = path;
            return slot;
        }
    return -1;
}

void ClearPending(int& slot) {
    if (slot < 0)
        return;
    const std::lock_guard<std::mutex> lock(pendingMutex);
    pending[slot].clear();
    slot = -1;
}

BOOL WINAPI RemovePendingAndExit(DWORD event) {
    {
        const std::lock_guard<std::mutex> lock(pendingMutex);
        for (const std::wstring& path : pending)
            if (!path.empty())
                ::DeleteFileW(path.c_str());
    }
    // As a shell reports a program ended by SIGINT, or SIGHUP for the
    // console closed.
    ::ExitProcess(event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? 130 : 129);
}

QString TemporaryName() {
    return QStringLiteral(".kx-") +
           QString::number(QRandomGenerator::global()->generate64() % 101559956668416ull, 36);
}

namespace {

// The names of the temporary files this process has made: while it runs,
// none of them is left by an interrupted conversion, though a folder shows
// them (an archive's entry held beside its output, a file being written).
std::mutex madeMutex;
std::set<QString> made;

} // namespace

HANDLE CreateTemporary(const QString& folder, DWORD flags, QString* path) {
    for (int tries = 0; tries < 100; ++tries) {
        const QString name = TemporaryName();
        *path = folder + QLatin1Char('/') + name;
        const HANDLE file = ::CreateFileW(Wide(*path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_HIDDEN | flags, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            const std::lock_guard lock(madeMutex);
            made.insert(name.toLower());
        }
        if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}

bool MadeHere(const QString& name) {
    const std::lock_guard lock(madeMutex);
    return made.count(name.toLower()) != 0;
}

QString FolderOf(const QString& path) {
    const QString folder = QFileInfo(path).path();
    return folder.isEmpty() ? QStringLiteral(".") : folder;
}

// A name Windows refuses is no entry of a folder, even where it opens a
// device.
bool DeviceOrRefused(const QString& path) {
    return !RefusedName(QFileInfo(path).fileName()).isEmpty();
}

} // namespace Win

Writer::~Writer() {
    Abort();
}

bool Writer::Fail(EngineError::Code fault, int error, const QString& subject) {
    fault_ = {fault, error ? Detail::SystemWords(DWORD(error)) : QString(), subject};
    left_.clear();
    return false;
}

bool Writer::Open(const QString& destination, Existing existing) {
    if (state_ != State::Closed)
        return Fail(EngineError::Code::WriterOutOfTurn, 0);
    nameTaken_ = false;
    fault_ = {};
    left_.clear();
    existing_ = existing;
    const QString name = QFileInfo(destination).fileName();
    if (name.isEmpty())
        return Fail(EngineError::Code::WriterNoName, 0);
    if (const QString refused = RefusedName(name); !refused.isEmpty()) {
        fault_ = {EngineError::Code::WriterNameRefused, refused};
        return false;
    }
    // Whole paths from here on: ReplaceFileW finds the folder of a bare
    // name by its path.
    path_ = QDir::cleanPath(QFileInfo(destination).absoluteFilePath());
    const DWORD attributes = ::GetFileAttributesW(Wide(path_).c_str());
    replacing_ = attributes != INVALID_FILE_ATTRIBUTES;
    if (replacing_ && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Fail(EngineError::Code::WriterFolderInTheWay, 0);
    if (replacing_ && existing == Existing::Keep) {
        nameTaken_ = true;
        return Fail(EngineError::Code::DestinationExists, 0);
    }
    const QString folder = FolderOf(path_);
    if (!IsFolder(folder))
        return Fail(EngineError::Code::WriterFolderUnopened, int(ERROR_PATH_NOT_FOUND));
    const HANDLE file = CreateTemporary(folder, 0, &tempPath_);
    if (file == INVALID_HANDLE_VALUE)
        return Fail(EngineError::Code::WriterNotCreated, int(::GetLastError()));
    pendingSlot_ = SetPending(Wide(tempPath_));
    fd_ = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
    if (pendingSlot_ < 0 || fd_ < 0) {
        if (fd_ < 0)
            ::CloseHandle(file);
        Abort();
        return Fail(EngineError::Code::WriterTooMany, 0);
    }
    folder_ = IdentityOf(folder);
    end_ = 0;
    state_ = State::Open;
    return true;
}

bool Writer::Write(const void* data, std::int64_t bytes) {
    if (state_ != State::Open)
        return Fail(EngineError::Code::WriterOutOfTurn, 0);
    if (const DWORD error = WriteFully(HandleOf(fd_), end_, data, bytes))
        return Fail(EngineError::Code::WriterNotWritten, int(error));
    end_ += bytes;
    return true;
}

int Writer::WriteAt(std::int64_t offset, const void* data, std::int64_t bytes) const {
    if (state_ != State::Open)
        return int(ERROR_INVALID_HANDLE);
    return int(WriteFully(HandleOf(fd_), offset, data, bytes));
}

bool Writer::FailWrite(int error) {
    return Fail(EngineError::Code::WriterNotWritten, error);
}

void Writer::StartWriteback() {}

bool Writer::Finish() {
    if (state_ != State::Open)
        return Fail(EngineError::Code::WriterOutOfTurn, 0);
    const HANDLE file = HandleOf(fd_);
    if (!::FlushFileBuffers(file))
        return Fail(EngineError::Code::WriterNotOnDisk, int(::GetLastError()));
    // The file is hidden only while it is written.
    FILE_BASIC_INFO basic{};
    if (::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
        basic.FileAttributes &= ~DWORD(FILE_ATTRIBUTE_HIDDEN);
        if (basic.FileAttributes == 0)
            basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        ::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(file, &info))
        written_ = {info.dwVolumeSerialNumber,
                    std::uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
    CloseAll();
    state_ = State::Finished;
    return true;
}

bool Writer::Publish() {
    if (state_ != State::Finished)
        return Fail(EngineError::Code::WriterOutOfTurn, 0);
    const std::wstring final = Wide(path_);
    const std::wstring temporary = Wide(tempPath_);
    bool moved = ::MoveFileExW(temporary.c_str(), final.c_str(), MOVEFILE_WRITE_THROUGH);
    DWORD error = moved ? 0 : ::GetLastError();
    const bool taken = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
    // Over a file only where one was there to be replaced when the writer
    // opened, or where any may be.
    if (taken && (replacing_ || existing_ == Existing::ReplaceAny)) {
        moved = ::ReplaceFileW(final.c_str(), temporary.c_str(), nullptr,
                               REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS,
                               nullptr, nullptr);
        error = moved ? 0 : ::GetLastError();
    } else if (taken) {
        nameTaken_ = existing_ == Existing::Keep;
        Abort();
        return Fail(EngineError::Code::DestinationExists, 0);
    }
    if (!moved) {
        Abort();
        return Fail(EngineError::Code::WriterNotCreated, int(error));
    }
    tempPath_.clear();
    ClearPending(pendingSlot_);
    state_ = State::Published;
    return true;
}

// The move was written through; there is no folder to flush apart.
bool Writer::FlushFolder() {
    if (state_ != State::Published)
        return state_ == State::Done;
    state_ = State::Done;
    return true;
}

bool Writer::FolderFlushFailedBy(const Writer& other) {
    if (state_ != State::Published || !other.Done() || other.Folder() != folder_)
        return false;
    state_ = State::Done;
    fault_ = other.fault_;
    left_ = other.left_;
    return true;
}

void Writer::FolderFlushedBy(const Writer& other) {
    if (state_ == State::Published && other.Done() && other.Folder() == folder_)
        state_ = State::Done;
}

bool Writer::Commit() {
    return Finish() && Publish() && FlushFolder();
}

void Writer::CloseAll() {
    if (fd_ >= 0) {
        ::_close(fd_);
        fd_ = -1;
    }
}

bool Writer::Abort() {
    CloseAll();
    bool removed = true;
    if (!tempPath_.isEmpty()) {
        removed =
            ::DeleteFileW(Wide(tempPath_).c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND;
        tempPath_.clear();
    }
    ClearPending(pendingSlot_);
    if (state_ != State::Done)
        state_ = State::Closed;
    return removed;
}

QStringList Leftovers(const QString& folder) {
    QStringList names;
    for (const QFileInfo& entry :
         QDir(folder).entryInfoList({QStringLiteral(".kx-*")}, QDir::Files | QDir::Hidden))
        if (entry.fileName().size() <= 13 && !Win::MadeHere(entry.fileName()))
            names.append(entry.fileName());
    names.sort();
    return names;
}

void RemoveTemporaryOnSignals() {
    ::SetConsoleCtrlHandler(RemovePendingAndExit, TRUE);
}

// NTFS and FAT folders take a name in any case for the same file.
bool IgnoresCase(const QString&) {
    return true;
}

int Cores() {
    const unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? int(n) : 1;
}

std::int64_t DescriptorLimit() {
    return -1;
}

bool DescriptorsFree(int) {
    return true;
}

} // namespace SafeFile
