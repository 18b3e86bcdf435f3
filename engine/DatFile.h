#pragma once

#include "EngineError.h"
#include "RomInspector.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <unordered_map>

// The verified lists of dump projects: Logiqx XML DAT files, in which each
// <game name="..."> holds <rom name="..." size="..." crc="..." md5="..."
// sha1="..."/> entries. A file is named from them by its fingerprints.
namespace DatFile {

// What a DAT says of a file it lists.
struct Rom {
    QString game;
    QString name;
    std::int64_t size = -1;
};

class Index {
public:
    // Adds the entries of a DAT file; what went wrong (naming the file, and
    // the line where it is not well-formed) when it cannot be read. The file
    // is read in pieces, and only what matching needs is kept.
    EngineError Load(const QString& path);
    int Size() const { return int(bySha1_.size() + byCrc_.size()); }

    // The entry a report's plain content matches: by SHA-1, or by CRC32 and
    // size for entries that list no SHA-1; null when none does. Where two
    // games list one SHA-1, the first listed is the one matched.
    const Rom* Match(const RomInspector::Report& report) const;

    // What the files loaded say twice: one SHA-1 listed for two games.
    const QStringList& Warnings() const { return warnings_; }

private:
    using Sha1 = std::array<std::uint8_t, 20>;
    struct Sha1Hash {
        std::size_t operator()(const Sha1& s) const {
            std::size_t h = 0;
            for (int i = 0; i < 8; ++i)
                h = h << 8 | s[std::size_t(i)];
            return h;
        }
    };
    struct CrcKey {
        std::uint32_t crc;
        std::int64_t size;
        bool operator==(const CrcKey&) const = default;
    };
    struct CrcHash {
        std::size_t operator()(const CrcKey& k) const {
            return std::size_t(k.crc) * 0x9E3779B97F4A7C15ull ^ std::size_t(k.size);
        }
    };
    std::unordered_map<Sha1, Rom, Sha1Hash> bySha1_;
    std::unordered_map<CrcKey, Rom, CrcHash> byCrc_;
    QStringList warnings_;
};

} // namespace DatFile
