#pragma once

#include "EngineError.h"
#include "RomInspector.h"

#include <QHash>
#include <QString>

#include <cstdint>

// The verified lists of dump projects: Logiqx XML DAT files, in which each
// <game name="..."> holds <rom name="..." size="..." crc="..." md5="..."
// sha1="..."/> entries. A file is named from them by its fingerprints.
namespace DatFile {

struct Rom {
    QString game;
    QString name;
    std::int64_t size = -1;
    QString crc32; // lower-case hex, as the inspector gives them
    QString md5;
    QString sha1;
};

class Index {
public:
    // Adds the entries of a DAT file; what went wrong (naming the file, and
    // the line where it is not well-formed) when it cannot be read.
    EngineError Load(const QString& path);
    int Size() const { return int(bySha1_.size() + byCrc_.size()); }

    // The entry a report's plain content matches: by SHA-1, or by CRC32 and
    // size for entries that list no SHA-1; null when none does.
    const Rom* Match(const RomInspector::Report& report) const;

private:
    QHash<QString, Rom> bySha1_;
    QHash<QString, Rom> byCrc_; // "crc32:size"
};

} // namespace DatFile
