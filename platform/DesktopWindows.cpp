// The desktop's services on Windows: the default handler through
// ShellExecuteW, the drives from the system's lettered drives.

#include "DesktopPlatform.h"

#include <QDir>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <windows.h>

#include <shellapi.h>
// The desktop's routine keeps its own name; the system's wide one is called
// by its full name.
#undef ShellExecute

namespace {

// A drive that holds no medium (an empty card reader) answers with an error,
// not with the system's "insert a disk" box.
void NoDiskBoxes() {
    ::SetErrorMode(::GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

} // namespace

// The answer is ShellExecuteW's own: above 32 the handler was started, 32 or
// less is the system's reason it was not.
int DesktopPlatform::ShellExecute(const QString& file, int showCommand) {
    const std::wstring target =
        (file.contains(QLatin1String("://")) ? file : QDir::toNativeSeparators(file))
            .toStdWString();
    const HINSTANCE answer =
        ::ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, showCommand);
    return int(reinterpret_cast<INT_PTR>(answer));
}

// The letters come from the system's list of drives, which names them
// without touching them: a network drive that is gone or an empty card
// reader does not hold up the list.
QStringList DesktopPlatform::Drives() {
    NoDiskBoxes();
    QStringList drives;
    const DWORD letters = ::GetLogicalDrives();
    for (int letter = 0; letter < 26; ++letter)
        if (letters & (DWORD(1) << letter))
            drives << QString(QChar(u'A' + letter)) + QStringLiteral(":\\");
    return drives;
}

// Looking at a drive can block (a network drive that does not answer), so
// the look is put in the background and waited for only so long.
bool DesktopPlatform::DriveUsable(const QString& drive) {
    NoDiskBoxes();
    struct Answer {
        std::mutex mutex;
        std::condition_variable came;
        bool done = false;
        bool usable = false;
    };
    const auto answer = std::make_shared<Answer>();
    std::thread([answer, path = QDir::toNativeSeparators(drive).toStdWString()] {
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        const std::lock_guard lock(answer->mutex);
        answer->usable =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        answer->done = true;
        answer->came.notify_all();
    }).detach();
    std::unique_lock lock(answer->mutex);
    answer->came.wait_for(lock, std::chrono::milliseconds(DriveAnswerMilliseconds),
                          [&answer] { return answer->done; });
    return answer->done && answer->usable;
}
