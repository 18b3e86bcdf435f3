#pragma once

// Small helpers for tests that work on real files in temporary folders.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QString>
#include <QTest>
#include <QThread>

#include <unistd.h>

#include <utility>
#include <vector>

namespace TestFiles {

inline QByteArray RandomBytes(qsizetype size, quint32 seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(generator.bounded(256));
    return bytes;
}

// The CRC-32 of zip and PNG, bit by bit: the engine's comes from zlib.
inline quint32 Crc32(const QByteArray& bytes) {
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// Writes a file into a folder, or ends the test program; its path in native
// separators.
inline QString Put(const QDir& folder, const QString& name, const QByteArray& bytes) {
    const QString path = folder.filePath(name);
    if (!WriteFile(path, bytes))
        qFatal("cannot write %s", qPrintable(path));
    return QDir::toNativeSeparators(path);
}

inline QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What a program run to its end said: its exit status (-1 when it did not end
// within 120 seconds, -2 when it crashed) and its two outputs.
struct ProcessResult {
    int status = -1;
    QString out;
    QString err;
};

inline ProcessResult
RunProgram(const QString& program, const QStringList& args,
           const QString& workingDirectory = QString(),
           const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.setProcessEnvironment(environment);
    process.start(program, args);
    ProcessResult result;
    if (!process.waitForFinished(120000))
        return result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

inline bool RunningAsRoot() {
#ifdef _WIN32
    return false;
#else
    return ::geteuid() == 0;
#endif
}

// A folder in which no new file can be created while the guard lives. Root
// ignores permission bits, so for root the folder is made immutable instead.
class UnwritableFolder {
public:
    explicit UnwritableFolder(const QString& path) : path_(path) {
        if (RunningAsRoot())
            ok_ = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), path}) == 0;
        else
            ok_ = QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
    }
    ~UnwritableFolder() {
        if (RunningAsRoot())
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path_});
        else
            QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    bool ok() const { return ok_; }

private:
    QString path_;
    bool ok_ = false;
};

// A tiny file system that fills up quickly; needs the right to mount.
class SmallDisk {
public:
    SmallDisk(const QString& path, const QString& size) : path_(path) {
        ok_ =
            QDir().mkpath(path) &&
            QProcess::execute(QStringLiteral("mount"),
                              {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                               QStringLiteral("size=") + size, QStringLiteral("tmpfs"), path}) == 0;
    }
    ~SmallDisk() {
        if (ok_)
            QProcess::execute(QStringLiteral("umount"), {path_});
    }
    bool ok() const { return ok_; }

private:
    QString path_;
    bool ok_ = false;
};

// The rows of a power-cut test: journalled file systems a loop device can
// hold, a new file or a replaced one, written through an unnamed or a named
// temporary file.
inline void PowerCutRows() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("megabytes");
    QTest::addColumn<bool>("replace");
    QTest::addColumn<bool>("namedTemporary");
    for (const auto& [type, megabytes] : {std::pair("ext4", 64), std::pair("xfs", 320)})
        for (bool replace : {false, true})
            for (bool named : {false, true})
                QTest::addRow("%s, %s%s", type, replace ? "replace" : "new",
                              named ? ", named temporary" : "")
                    << QString(type) << megabytes << replace << named;
}

// A file system of a given type in an image file, mounted through a loop
// device (FUSE for "exfat-fuse" and "vfat-fuse"); needs the right to mount
// and the type's tools, and tells why when it cannot be had.
class LoopDisk {
public:
    LoopDisk(const QString& folder, const QString& type, int megabytes)
        : folder_(folder), type_(type) {
        const QString image = folder + QStringLiteral("/image");
        QDir().mkpath(folder + QStringLiteral("/mnt"));
        if (type == QLatin1String("tmpfs")) {
            mount_ = folder + QStringLiteral("/mnt");
            if (Run(QStringLiteral("mount"),
                    {QStringLiteral("-t"), type, QStringLiteral("-o"),
                     QStringLiteral("size=%1m").arg(megabytes), type, mount_}) == 0)
                mounted_.push_back({mount_, QString()});
            else
                why_ = QStringLiteral("no right to mount a tmpfs here");
            return;
        }
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(qint64(megabytes) << 20)) {
            why_ = QStringLiteral("cannot make the image file");
            return;
        }
        file.close();
        const QString mkfs = type == QLatin1String("exfat-fuse")  ? QStringLiteral("mkfs.exfat")
                             : type == QLatin1String("vfat-fuse") ? QStringLiteral("mkfs.vfat")
                             : type == QLatin1String("ntfs-3g")   ? QStringLiteral("mkfs.ntfs")
                                                                  : QStringLiteral("mkfs.") + type;
        QStringList args{image};
        if (type == QLatin1String("ntfs-3g"))
            args = QStringList{QStringLiteral("-F"), QStringLiteral("-Q"), image};
        if (type == QLatin1String("ext4"))
            args.prepend(QStringLiteral("-q"));
        if (type == QLatin1String("xfs") || type == QLatin1String("btrfs"))
            args.prepend(QStringLiteral("-q")), args.prepend(QStringLiteral("-f"));
        if (Run(mkfs, args) != 0) {
            why_ = mkfs + QStringLiteral(" is not installed or failed");
            return;
        }
        if (!Attach(image, mount_ = folder + QStringLiteral("/mnt"), &device_))
            why_ = QStringLiteral("cannot mount a %1 image here (no loop devices, FUSE or "
                                  "kernel support)")
                       .arg(type);
    }
    ~LoopDisk() {
        for (const auto& [at, device] : mounted_) {
            // A FUSE daemon can still be busy for a moment after the last
            // program using the drive has ended: try again for a while,
            // then let it go lazily so that nothing stays mounted.
            bool unmounted = false;
            for (int attempt = 0; attempt < 50 && !unmounted; ++attempt) {
                unmounted = Run(QStringLiteral("umount"), {at}) == 0;
                if (!unmounted)
                    QThread::msleep(100);
            }
            if (!unmounted)
                Run(QStringLiteral("umount"), {QStringLiteral("-l"), at});
            if (!device.isEmpty())
                Run(QStringLiteral("losetup"), {QStringLiteral("-d"), device});
        }
    }
    bool ok() const { return why_.isEmpty(); }
    QString why() const { return why_; }
    QString path() const { return mount_; }

    // What a power cut would leave: a copy of the image as the device holds
    // it now (nothing is flushed first), mounted at folder/copy, which
    // replays its journal as after a restart. Empty when it cannot be had.
    QString CopyAfterPowerCut() {
        const QString copy = folder_ + QStringLiteral("/copy.img");
        const QString at = folder_ + QStringLiteral("/copy");
        QDir().mkpath(at);
        if (Run(QStringLiteral("cp"),
                {QStringLiteral("--sparse=always"), folder_ + QStringLiteral("/image"), copy}) != 0)
            return QString();
        QString device;
        return Attach(copy, at, &device) ? at : QString();
    }

private:
    static int Run(const QString& program, const QStringList& args) {
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(program, args);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return -1;
        return process.exitCode();
    }
    bool Attach(const QString& image, const QString& at, QString* device) {
        // ntfs-3g mounts the image file itself.
        if (type_ == QLatin1String("ntfs-3g")) {
            if (Run(QStringLiteral("ntfs-3g"), {image, at}) != 0)
                return false;
            mounted_.insert(mounted_.begin(), {at, QString()});
            return true;
        }
        const bool fuse = type_.endsWith(QLatin1String("-fuse"));
        if (fuse) {
            QProcess losetup;
            losetup.start(QStringLiteral("losetup"),
                          {QStringLiteral("-f"), QStringLiteral("--show"), image});
            if (!losetup.waitForFinished(20000) || losetup.exitCode() != 0)
                return false;
            *device = QString::fromLocal8Bit(losetup.readAllStandardOutput()).trimmed();
            const int status =
                type_ == QLatin1String("exfat-fuse")
                    ? Run(QStringLiteral("mount.exfat-fuse"), {*device, at})
                    : Run(QStringLiteral("fusefat"),
                          {QStringLiteral("-o"), QStringLiteral("rw+"), *device, at});
            if (status != 0) {
                Run(QStringLiteral("losetup"), {QStringLiteral("-d"), *device});
                return false;
            }
        } else {
            // Two copies of one xfs image share a UUID.
            const QString options = type_ == QLatin1String("xfs") ? QStringLiteral("loop,nouuid")
                                                                  : QStringLiteral("loop");
            if (Run(QStringLiteral("mount"),
                    {QStringLiteral("-t"), type_, QStringLiteral("-o"), options, image, at}) != 0)
                return false;
        }
        mounted_.insert(mounted_.begin(), {at, *device});
        return true;
    }

    QString folder_;
    QString type_;
    QString mount_;
    QString device_;
    QString why_;
    std::vector<std::pair<QString, QString>> mounted_; // mount point, loop device
};

} // namespace TestFiles
