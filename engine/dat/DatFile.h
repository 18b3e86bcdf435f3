#pragma once

#include "EngineError.h"
#include "RomInspector.h"
#include "SafeFile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

// The verified lists of dump projects: Logiqx XML DAT files, in which each
// <game name="..."> holds <rom name="..." size="..." crc="..." md5="..."
// sha1="..."/> entries, or the same in ClrMamePro's text form. A file is
// named from them by its fingerprints.
namespace DatFile {

// A DAT file's content, open: the file, or the DAT inside an archive (its
// one .dat or .xml file, or its one file), as the preservation groups hand
// them out.
EngineError Open(const QString& path, std::unique_ptr<SafeFile::Source>* source);

// Whether a file is a DAT file by its start: a Logiqx XML document, or the
// ClrMamePro text form; or an archive of one, by its entries' names.
bool IsDatFile(const QString& path);

// What a DAT says of a file it lists.
struct Rom {
    QString game;
    QString name;
    std::int64_t size = -1;
    int index = -1; // among the ROMs of every DAT loaded, in their order
    int gameIndex = -1;
    bool nodump = false; // status="nodump": known to exist, never dumped
    // Its hashes in lower-case hex, where it lists them (its MD5 only where
    // it lists no SHA-1).
    QString crc;
    QString md5;
    QString sha1;
};

// How a file matched a DAT entry: by the hashes of its plain content, or of
// its bytes as they are (a DAT that lists a verified dump byte-swapped or
// with a copier header).
enum class Form { None, Plain, Raw };
// "plain content", "file as it is".
QString FormName(Form form);

struct Found {
    std::optional<Rom> rom;
    Form form = Form::None;
};

// The entries of the DATs loaded, kept as matching needs them and no more:
// names in one store, hashes as bytes, and sorted tables of ROM numbers for
// the lookups. A game of the DATs is a number, in their order; a game
// listed again (in the same DAT or another) is the same game, the ROMs it
// lists anew added to it.
class Index {
public:
    Index();
    ~Index();
    Index(const Index&) = delete;
    Index& operator=(const Index&) = delete;

    // Adds the entries of a DAT file; what went wrong (naming the file, and
    // the line where it is not well-formed) when it cannot be read. The file
    // is read in pieces.
    EngineError Load(const QString& path);
    // From now on the first DAT loaded is kept, read, in a cache in folder
    // (empty: kestrix/ in the user's cache folder), by the hash of its
    // content: read again, it is taken from there. A cache that cannot be
    // read or written changes nothing but the time (Warnings say so).
    void UseCache(const QString& folder = QString());

    // The entry a report's plain content matches: by what the entry lists,
    // the strongest first: SHA-1, else MD5 (of the plain content), else CRC32
    // and size, else CRC32 alone; none when none does. Where two games list
    // one SHA-1, the first listed is the one matched.
    std::optional<Rom> Match(const RomInspector::Report& report) const { return Find(report).rom; }
    // The same, and which form matched: SHA-1 decides where the DAT gives
    // one, CRC32 and size otherwise; the plain content is tried first.
    Found Find(const RomInspector::Report& report) const;
    // An entry whose size and CRC32 a file has (in either form) whatever the
    // SHA-1 says: of a bad dump, where the SHA-1 does not match.
    std::optional<Rom> SameCrc(const RomInspector::Report& report) const;
    // The game of that name, or whose ROM has that file name (the first
    // listed of them); -1 when none.
    int GameNamed(const QString& name) const;

    int Games() const;
    QString GameName(int game) const;
    // A game's ROMs, in their order.
    std::vector<int> RomsOf(int game) const;
    Rom RomAt(int index) const;
    int Roms() const;
    // Whether a game has ROMs that can be had (none never dumped).
    bool Dumpable(int game) const;
    // In the order the DAT files list them: the game each <game> element
    // stands for, and the ROM each <rom> element does (-1 for one that
    // repeats a ROM its game lists already, or is in no game); -1 for an
    // element of a game listed again.
    int GameOfElement(int element) const;
    int RomOfElement(int element) const;
    // The files loaded, in their order.
    const QStringList& Paths() const { return paths_; }
    // The DAT file that lists a game first.
    int DatOf(int game) const;
    // The number of the first <game> and of the first <rom> element of a
    // DAT file loaded, among those of them all.
    std::pair<int, int> FirstElements(int dat) const;
    // Whether the DAT file loaded dat is in ClrMamePro's text form.
    bool InTextForm(int dat) const;
    // The name a DAT file's header gives its set, where it gives one.
    QString SetName(int dat) const;

    // What the files loaded say twice (one SHA-1 listed for two games), or
    // leave out (ROMs with no hash).
    const QStringList& Warnings() const { return warnings_; }

    // Whether a ROM is listed by its MD5 alone, which only the MD5 of a
    // file then matches.
    bool ListsMd5() const;

    // The memory the entries take, in bytes.
    std::size_t Bytes() const;

private:
    class Loader;
    struct Tables;
    bool ReadCached(const QString& file, const QString& path);
    void WriteCached(const QString& file, const QString& path, const QStringList& warnings);

    std::unique_ptr<Tables> t_;
    std::optional<QString> cache_; // the cache's folder, when one is used
    std::thread saving_;           // the cache's file reaching the disk
    QStringList paths_;
    QStringList warnings_;
};

} // namespace DatFile
