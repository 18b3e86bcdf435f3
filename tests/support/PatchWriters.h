#pragma once

// Small IPS, BPS and UPS writers of the tests' own, straight from the
// formats' descriptions and independent of the engine's readers: each makes
// a patch that turns one image into another; and Debian's xdelta3 for
// VCDIFF.

#include "TestFiles.h"

#include <QByteArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>

namespace PatchWriters {

inline void Put24(QByteArray& out, qint64 value) {
    out += char(value >> 16);
    out += char(value >> 8);
    out += char(value);
}

inline void Put16(QByteArray& out, qint64 value) {
    out += char(value >> 8);
    out += char(value);
}

// IPS: a record for each run of changed bytes (a run of one repeated byte
// as a run-length record), bytes past the source's end included; the size
// after "EOF" when the target is shorter.
inline QByteArray Ips(const QByteArray& source, const QByteArray& target) {
    QByteArray out("PATCH");
    const qsizetype size = target.size();
    for (qsizetype i = 0; i < size;) {
        if (i < source.size() && source[i] == target[i]) {
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < size && end - i < 0xFFFF &&
               (end >= source.size() || source[end] != target[end]))
            ++end;
        qsizetype same = i;
        while (same < end && target[same] == target[i])
            ++same;
        if (same - i >= 8 && same == end) {
            Put24(out, i);
            Put16(out, 0);
            Put16(out, end - i);
            out += target[i];
        } else {
            Put24(out, i);
            Put16(out, end - i);
            out += target.mid(i, end - i);
        }
        i = end;
    }
    out += "EOF";
    if (size < source.size())
        Put24(out, size);
    return out;
}

// The numbers of BPS and UPS.
inline void PutNumber(QByteArray& out, quint64 value) {
    for (;;) {
        const quint64 x = value & 0x7F;
        value >>= 7;
        if (value == 0) {
            out += char(0x80 | x);
            return;
        }
        out += char(x);
        --value;
    }
}

inline void PutCrcs(QByteArray& out, const QByteArray& source, const QByteArray& target) {
    char crc[4];
    qToLittleEndian<quint32>(TestFiles::Crc32(source), crc);
    out.append(crc, 4);
    qToLittleEndian<quint32>(TestFiles::Crc32(target), crc);
    out.append(crc, 4);
    qToLittleEndian<quint32>(TestFiles::Crc32(out), crc);
    out.append(crc, 4);
}

// UPS: runs of changed bytes as XOR with the source (zeros past either's
// end) over the larger of the two, each after the count of bytes left as
// they are; a patch that shrinks the image holds the bytes it drops.
inline QByteArray Ups(const QByteArray& source, const QByteArray& target) {
    QByteArray out("UPS1");
    PutNumber(out, quint64(source.size()));
    PutNumber(out, quint64(target.size()));
    auto at = [](const QByteArray& bytes, qsizetype i) {
        return i < bytes.size() ? quint8(bytes[i]) : quint8(0);
    };
    qsizetype last = 0;
    const qsizetype span = std::max(source.size(), target.size());
    for (qsizetype i = 0; i < span;) {
        if (at(source, i) == at(target, i)) {
            ++i;
            continue;
        }
        PutNumber(out, quint64(i - last));
        while (i < span && at(source, i) != at(target, i)) {
            out += char(at(source, i) ^ at(target, i));
            ++i;
        }
        out += '\0';
        last = ++i;
    }
    PutCrcs(out, source, target);
    return out;
}

// BPS, chunk by chunk: SourceRead where the source holds the same bytes at
// the same place, SourceCopy where it holds them elsewhere, TargetCopy where
// the target written so far does, TargetRead otherwise. All four actions
// show as soon as the target moves, repeats and changes parts of the source.
inline QByteArray Bps(const QByteArray& source, const QByteArray& target,
                      const QByteArray& metadata = QByteArray(), qsizetype chunk = 1024) {
    QByteArray out("BPS1");
    PutNumber(out, quint64(source.size()));
    PutNumber(out, quint64(target.size()));
    PutNumber(out, quint64(metadata.size()));
    out += metadata;
    qint64 sourceAt = 0, targetAt = 0;
    auto relative = [&out](qint64 step) {
        PutNumber(out, quint64(step < 0 ? (-step) << 1 | 1 : step << 1));
    };
    for (qsizetype i = 0; i < target.size();) {
        const qsizetype n = std::min(chunk, target.size() - i);
        const QByteArray piece = target.mid(i, n);
        const quint64 action = quint64(n - 1) << 2;
        qsizetype found = -1;
        if (i + n <= source.size() && source.mid(i, n) == piece) {
            PutNumber(out, action | 0);
        } else if ((found = source.indexOf(piece)) >= 0) {
            PutNumber(out, action | 2);
            relative(found - sourceAt);
            sourceAt = found + n;
        } else if ((found = target.left(i).indexOf(piece)) >= 0) {
            PutNumber(out, action | 3);
            relative(found - targetAt);
            targetAt = found + n;
        } else {
            PutNumber(out, action | 1);
            out += piece;
        }
        i += n;
    }
    PutCrcs(out, source, target);
    return out;
}

// VCDIFF as Debian's xdelta3 makes it, with the secondary compression named
// (none, lzma, djw, fgk); empty when xdelta3 is not there or fails.
inline QByteArray Xdelta(const QByteArray& source, const QByteArray& target,
                         const QString& secondary = QStringLiteral("none")) {
    QTemporaryDir dir;
    if (!TestFiles::WriteFile(dir.filePath("source"), source) ||
        !TestFiles::WriteFile(dir.filePath("target"), target))
        return QByteArray();
    QProcess xdelta;
    xdelta.start(QStringLiteral("xdelta3"),
                 {"-e", "-f", "-S", secondary, "-s", dir.filePath("source"), dir.filePath("target"),
                  dir.filePath("patch")});
    if (!xdelta.waitForFinished(60000) || xdelta.exitCode() != 0)
        return QByteArray();
    return TestFiles::ReadFile(dir.filePath("patch"));
}

} // namespace PatchWriters
