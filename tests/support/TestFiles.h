#pragma once

// Small helpers for tests that work on real files in temporary folders.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QString>
#include <QTest>

#include <unistd.h>

namespace TestFiles {

inline QByteArray RandomBytes(qsizetype size, quint32 seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(generator.bounded(256));
    return bytes;
}

inline bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

inline QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What a program run to its end said: its exit status (-1 when it did not end
// within a minute, -2 when it crashed) and its two outputs.
struct ProcessResult {
    int status = -1;
    QString out;
    QString err;
};

inline ProcessResult RunProgram(const QString& program, const QStringList& args,
                                const QString& workingDirectory = QString()) {
    QProcess process;
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(program, args);
    ProcessResult result;
    if (!process.waitForFinished(60000))
        return result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

inline bool RunningAsRoot() {
    return ::geteuid() == 0;
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

} // namespace TestFiles
