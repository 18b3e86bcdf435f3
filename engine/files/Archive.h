#pragma once

#include "EngineError.h"
#include "SafeFile.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

// Archives as sources and as destinations, through libarchive: each regular
// file in a .zip, .7z, .gz, .xz, .bz2 or .zst is a source of its own, named after
// its own file name alone, and a converted file can be written as a .zip
// that holds it.
namespace Archive {

// The last part of a path whose folders may be separated by '/' or '\\', fit
// to be a file name in an output folder (control characters, and marks that
// turn the direction of text, become '_').
QString OwnName(const QString& path);

// What a file's first bytes say it is: one rule whatever its name says.
enum class Kind { None, Zip, SevenZip, Gzip, Xz, Bzip2, Zstd };
Kind KindOf(const QString& path);
// The same of a file already open.
Kind KindOf(const SafeFile::Source& source);
// Whether a file is an archive or a compressed file, by its content.
bool IsArchive(const QString& path);
// Whether a name says so (.zip, .7z, .gz, .xz, .bz2, .zst, in any case).
bool NamedAsArchive(const QString& path);
// What a file of a kind is when its name says otherwise ("the file is a zip
// archive, whatever its name says"), or nothing.
QString Misnamed(const QString& path, Kind kind);

struct Entry {
    // The entry's own file name, never a folder part; fit to be a file name
    // in the output folder (control characters become '_').
    QString name;
    // Its content, when it could be read whole within the limit: in memory,
    // or held in a file where the reader asks for that.
    QByteArray bytes;
    std::unique_ptr<SafeFile::Source> content;
    // A companion of the images (IsCompanion), passed over unread.
    bool companion = false;
    // Its modification time (seconds since 1970), or 0 when it has none.
    std::int64_t mtime = 0;
    // Why the entry is refused: encrypted, a link or device, damaged (a
    // wrong CRC), larger than the limit; nothing else is set then.
    EngineError error;
};

// Reads the entries of an archive in order and hands each one over, refused
// ones included (folders are passed by). An entry is read no further than
// limit bytes, whatever sizes the archive declares. What went wrong when
// the archive itself cannot be read (missing, corrupt, not an archive); the
// entries handed over before that stand.
// A cancel flag, where given, is looked at between pieces of at most 64 KiB:
// once it is set, reading stops at once with the reason "the reading was
// cancelled". With spillTo, each entry's content is held in an unnamed file
// in the first of those folders that takes one, instead of memory.
// With companions, read-mes and the like are read too (a DAT file is one).
EngineError Read(const QString& path, std::int64_t limit, const std::function<void(Entry&)>& take,
                 const std::atomic<bool>* cancel = nullptr, const QStringList* spillTo = nullptr,
                 bool companions = false);

// Whether an entry is a companion of the images (a read-me, a picture, a
// checksum list) rather than an image.
bool IsCompanion(const QString& name);

// The one cartridge image of an archive: its one readable file, leaving
// aside read-mes, pictures and other companions. What went wrong when it
// holds none or several, or when that one is refused.
EngineError SingleImage(const QString& path, std::int64_t limit, Entry* image,
                        const std::atomic<bool>* cancel = nullptr,
                        const QStringList* spillTo = nullptr);

// A file read whole, up to limit bytes (SizeRule: "it is larger than N MiB"),
// or the one image of an archive; unchanged while it was read.
EngineError ReadWhole(const QString& path, std::int64_t limit, QByteArray* bytes);

// A .zip holding one file of that name, compressed (deflate), dated mtime
// (seconds since 1970) when it is above 0, written into an open writer, with
// the content handed over piece by piece, in order, by fill through put
// (which says false once the zip cannot take more): fill says false when it could not make the
// content, which is then no zip at all; otherwise what went wrong making the zip.
using PutPiece = std::function<bool(const char* data, std::int64_t size)>;
EngineError ZipInto(const QString& name, std::int64_t size, std::int64_t mtime,
                    SafeFile::Writer& writer, const std::function<bool(const PutPiece&)>& fill);

} // namespace Archive
