// The desktop's services on Linux and the other POSIX systems: the default
// handler through xdg-open, the drives from the mounted volumes.

#include "DesktopPlatform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QUrl>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// Answers of the default handler: started, file not found, no application.
constexpr int Started = 42;
constexpr int FileNotFound = 2;
constexpr int NoAssociation = 31;
// How long the launcher has to report that it could not open something.
constexpr int LauncherVerdictMs = 1500;

bool IsWebAddress(const QString& file) {
    const QUrl url(file);
    return url.isValid() && !url.scheme().isEmpty() && url.scheme().size() > 1 &&
           file.contains(QLatin1String("://"));
}

} // namespace

int DesktopPlatform::ShellExecute(const QString& file, int) {
    const bool web = IsWebAddress(file);
    if (!web && !QFileInfo::exists(file))
        return FileNotFound;
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    const QString launcher = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (launcher.isEmpty())
        return NoAssociation;
    // The launcher fails at once when nothing can open the file; a handler it
    // starts may run as long as it likes, so only a moment is given to it.
    auto* process = new QProcess(QCoreApplication::instance());
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    QObject::connect(process, &QProcess::errorOccurred, process, &QObject::deleteLater);
    process->start(launcher, {file});
    if (!process->waitForStarted())
        return NoAssociation;
    if (process->waitForFinished(LauncherVerdictMs))
        return process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0
                   ? Started
                   : NoAssociation;
    return Started;
#else
    const QUrl url = web ? QUrl(file) : QUrl::fromLocalFile(file);
    return QDesktopServices::openUrl(url) ? Started : NoAssociation;
#endif
}

// Asking a volume about itself blocks while its file system does not answer
// (a network share gone away, a FUSE server that hangs), so every question
// is put in the background and the window waits for it only so long.
QStringList DesktopPlatform::Drives() {
    struct Answers {
        std::mutex mutex;
        std::condition_variable changed;
        bool all = false;   // the whole list came
        QStringList drives; // the whole list, or the volumes that answered
        int pending = 0;    // volumes asked one by one, not yet answered
    };
    const auto answers = std::make_shared<Answers>();
    const auto usable = [](const QStorageInfo& volume) {
        return volume.isValid() && volume.isReady();
    };
    const auto finish = [](QStringList drives) {
        drives.sort();
        drives.removeDuplicates();
        return drives;
    };
    std::thread([answers, usable] {
        QStringList drives;
        for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
            if (usable(volume))
                drives.append(QDir::toNativeSeparators(volume.rootPath()));
        const std::lock_guard<std::mutex> lock(answers->mutex);
        answers->all = true;
        answers->drives = drives;
        answers->changed.notify_all();
    }).detach();
    std::unique_lock<std::mutex> lock(answers->mutex);
    answers->changed.wait_for(lock, std::chrono::milliseconds(DriveAnswerMilliseconds),
                              [&answers] { return answers->all; });
    if (answers->all)
        return finish(answers->drives);

    // Some volume does not answer: ask each one on its own and show those
    // that answer in time. Volumes of no size are the system's own (proc,
    // sysfs), as the whole list leaves them out.
    QFile table(QStringLiteral("/proc/self/mounts"));
    QStringList points;
    if (table.open(QIODevice::ReadOnly))
        for (const QByteArray& line : table.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() > 1)
                // Spaces and the like are written as octal escapes.
                points << QString::fromUtf8(QByteArray(fields[1])
                                                .replace("\\040", " ")
                                                .replace("\\011", "\t")
                                                .replace("\\012", "\n")
                                                .replace("\\134", "\\"));
        }
    points.removeDuplicates();
    answers->pending = int(points.size());
    // Each thread has a copy of its own of its point: one shared with the
    // list here would be counted inside Qt, out of the thread checker's sight.
    for (const QString& shared : std::as_const(points))
        std::thread([answers, usable, point = QString(shared.constData(), shared.size())] {
            const QStorageInfo volume(point);
            const bool take =
                usable(volume) && volume.bytesTotal() > 0 && volume.rootPath() == point;
            const std::lock_guard<std::mutex> held(answers->mutex);
            if (take)
                answers->drives.append(QDir::toNativeSeparators(point));
            --answers->pending;
            answers->changed.notify_all();
        }).detach();
    answers->changed.wait_for(lock, std::chrono::milliseconds(DriveAnswerMilliseconds),
                              [&answers] { return answers->pending == 0; });
    return finish(answers->drives);
}

bool DesktopPlatform::DriveUsable(const QString& drive) {
    const QFileInfo info(drive);
    return info.isDir() && info.isReadable() && info.isExecutable();
}
