#include "FingerprintCache.h"

#include "CacheFile.h"

#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QStandardPaths>

#include <cstring>

namespace {

// The file's first bytes, which change when its form does.
constexpr char Magic[] = "kestrix fingerprints 1\n";
constexpr std::int64_t Largest = std::int64_t(256) << 20;
constexpr std::int64_t Young = std::int64_t(2) * 1000000000;

using RomInspector::Report;

enum Has : std::uint8_t { Crc = 1, Md5 = 2, Sha1 = 4, RawCrc = 8, RawSha1 = 16 };

// Hex text into bytes; false when it is not that many bytes of hex.
template <std::size_t N> bool Bytes(const QString& hex, std::array<std::uint8_t, N>* out) {
    const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
    if (hex.size() != qsizetype(2 * N) || bytes.size() != qsizetype(N))
        return false;
    std::memcpy(out->data(), bytes.constData(), N);
    return true;
}

template <std::size_t N> QString Hex(const std::array<std::uint8_t, N>& bytes) {
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(N)).toHex());
}

bool CrcOf(const QString& hex, std::uint32_t* crc) {
    std::array<std::uint8_t, 4> b{};
    if (!Bytes(hex, &b))
        return false;
    *crc = std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3];
    return true;
}

bool Same(const SafeFile::Entry& a, const SafeFile::Entry& b) {
    return a.id == b.id && a.size == b.size && a.modified == b.modified;
}

} // namespace

FingerprintCache::FingerprintCache(const QString& folder) {
    const QString in =
        folder.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                               QStringLiteral("/kestrix")
                         : folder;
    file_ = QDir::toNativeSeparators(in + QStringLiteral("/fingerprints"));
    Load();
}

void FingerprintCache::Load() {
    QByteArray bytes;
    QByteArrayView body;
    const CacheFile::State state = CacheFile::Load(file_, Magic, Largest, &bytes, &body);
    if (state == CacheFile::State::None)
        return; // none yet
    bool whole = state == CacheFile::State::Read;
    if (whole) {
        QDataStream in(QByteArray::fromRawData(body.data(), body.size()));
        in.setVersion(QDataStream::Qt_6_0);
        qint32 count = 0;
        in >> count;
        for (qint32 i = 0; whole && i < count; ++i) {
            QString path;
            Kept kept;
            qint64 size = 0, modified = 0;
            quint64 device = 0, inode = 0;
            quint32 prints = 0;
            in >> path >> size >> modified >> device >> inode >> kept.md5 >> prints;
            whole = in.status() == QDataStream::Ok && prints <= 100000;
            kept.entry = {{device, inode}, size, modified};
            for (quint32 p = 0; whole && p < prints; ++p) {
                Print print;
                qint64 printSize = 0, plainSize = 0;
                in >> print.entry >> printSize >> plainSize >> print.layout >> print.certainty >>
                    print.dump >> print.noHeader >> print.disc >> print.has >> print.crc32 >>
                    print.rawCrc32;
                in.readRawData(reinterpret_cast<char*>(print.md5.data()), 16);
                in.readRawData(reinterpret_cast<char*>(print.sha1.data()), 20);
                in.readRawData(reinterpret_cast<char*>(print.rawSha1.data()), 20);
                print.size = printSize;
                print.plainSize = plainSize;
                whole = in.status() == QDataStream::Ok &&
                        print.layout <= std::uint8_t(RomLayout::Byteswapped) &&
                        print.certainty <= std::uint8_t(RomInspector::Certainty::Certain) &&
                        print.dump <= std::uint8_t(RomInspector::Dump::LockOn);
                kept.prints.push_back(std::move(print));
            }
            if (whole)
                kept_.insert(path, std::move(kept));
        }
        whole = whole && in.atEnd();
    }
    if (!whole) {
        kept_.clear();
        changed_ = true; // written anew
        trouble_ = QStringLiteral("the cache %1 was not used: it is damaged; the files are read")
                       .arg(SafeFile::Printable(file_));
    }
}

FingerprintCache::Key FingerprintCache::KeyOf(const QString& path) const {
    Key key;
    key.entry = SafeFile::Look(path);
    const std::int64_t now = QDateTime::currentMSecsSinceEpoch() * 1000000;
    key.usable = key.entry.id.IsValid() && key.entry.size >= 0 && key.entry.modified < now - Young;
    return key;
}

bool FingerprintCache::Find(const QString& path, const QString& shown, const Key& key, bool md5,
                            std::vector<Report>* out) {
    if (!key.usable)
        return false;
    const std::lock_guard lock(mutex_);
    const auto kept = kept_.constFind(path);
    if (kept == kept_.constEnd() || !Same(kept->entry, key.entry) || (md5 && !kept->md5))
        return false;
    for (const Print& print : kept->prints)
        out->push_back(ReportOf(print, shown));
    ++found_;
    return true;
}

void FingerprintCache::Keep(const QString& path, const QString& shown, const Key& key, bool md5,
                            const std::vector<Report>& reports) {
    ++read_;
    if (!key.usable || reports.empty())
        return;
    Kept kept{key.entry, md5, {}};
    for (const Report& report : reports) {
        if (!report.Inspected() || !report.file.startsWith(shown))
            return;
        kept.prints.push_back(PrintOf(report, shown));
    }
    const std::lock_guard lock(mutex_);
    kept_.insert(path, std::move(kept));
    changed_ = true;
}

bool FingerprintCache::Save() {
    const std::lock_guard lock(mutex_);
    if (!changed_)
        return true;
    QByteArray bytes(Magic);
    {
        QByteArray content;
        QDataStream out(&content, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_0);
        out << qint32(kept_.size());
        for (auto it = kept_.constBegin(); it != kept_.constEnd(); ++it) {
            const Kept& k = it.value();
            out << it.key() << qint64(k.entry.size) << qint64(k.entry.modified)
                << quint64(k.entry.id.device) << quint64(k.entry.id.inode) << k.md5
                << quint32(k.prints.size());
            for (const Print& p : k.prints) {
                out << p.entry << qint64(p.size) << qint64(p.plainSize) << p.layout << p.certainty
                    << p.dump << p.noHeader << p.disc << p.has << p.crc32 << p.rawCrc32;
                out.writeRawData(reinterpret_cast<const char*>(p.md5.data()), 16);
                out.writeRawData(reinterpret_cast<const char*>(p.sha1.data()), 20);
                out.writeRawData(reinterpret_cast<const char*>(p.rawSha1.data()), 20);
            }
        }
        bytes += content;
    }
    CacheFile::Seal(&bytes);
    SafeFile::Writer writer;
    const QString folder = QFileInfo(file_).path();
    if (!QDir().mkpath(folder) || !writer.Open(file_, SafeFile::Existing::ReplaceAny) ||
        !writer.Write(bytes.constData(), bytes.size()) || !writer.Commit()) {
        const QString why = writer.Error().detail.isEmpty()
                                ? QStringLiteral("its folder cannot be made")
                                : writer.Error().detail;
        if (trouble_.isEmpty())
            trouble_ = QStringLiteral("the cache %1 cannot be written: %2; the next run reads the "
                                      "files again")
                           .arg(SafeFile::Printable(file_), why);
        return false;
    }
    changed_ = false;
    return true;
}

QString FingerprintCache::Trouble() const {
    const std::lock_guard lock(mutex_);
    return trouble_;
}

FingerprintCache::Print FingerprintCache::PrintOf(const Report& r, const QString& shown) {
    Print p;
    p.entry = r.file.mid(shown.size());
    p.size = r.size;
    p.plainSize = r.plainSize;
    p.layout = std::uint8_t(r.layout);
    p.certainty = std::uint8_t(r.certainty);
    p.dump = std::uint8_t(r.dump);
    p.noHeader = r.noHeader;
    p.disc = r.disc;
    p.has = std::uint8_t((CrcOf(r.crc32, &p.crc32) ? Has::Crc : 0) |
                         (Bytes(r.md5, &p.md5) ? Has::Md5 : 0) |
                         (Bytes(r.sha1, &p.sha1) ? Has::Sha1 : 0) |
                         (CrcOf(r.rawCrc32, &p.rawCrc32) ? Has::RawCrc : 0) |
                         (Bytes(r.rawSha1, &p.rawSha1) ? Has::RawSha1 : 0));
    return p;
}

Report FingerprintCache::ReportOf(const Print& p, const QString& shown) {
    Report r;
    r.file = shown + p.entry;
    r.size = p.size;
    r.plainSize = p.plainSize;
    r.layout = RomLayout(p.layout);
    r.certainty = RomInspector::Certainty(p.certainty);
    r.dump = RomInspector::Dump(p.dump);
    r.noHeader = p.noHeader;
    r.disc = p.disc;
    auto crc = [](std::uint32_t value) {
        return QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0'));
    };
    if (p.has & Has::Crc)
        r.crc32 = crc(p.crc32);
    if (p.has & Has::Md5)
        r.md5 = Hex(p.md5);
    if (p.has & Has::Sha1)
        r.sha1 = Hex(p.sha1);
    if (p.has & Has::RawCrc)
        r.rawCrc32 = crc(p.rawCrc32);
    if (p.has & Has::RawSha1)
        r.rawSha1 = Hex(p.rawSha1);
    return r;
}
