#pragma once

#include "EngineError.h"
#include "RomInspector.h"
#include "SafeFile.h"

#include <QByteArray>
#include <QXmlStreamReader>

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

// The verified lists of dump projects: Logiqx XML DAT files, in which each
// <game name="..."> holds <rom name="..." size="..." crc="..." md5="..."
// sha1="..."/> entries. A file is named from them by its fingerprints.
class QXmlStreamAttributes;

namespace DatFile {

// Feeds a file to an XML reader a piece at a time, so that a large DAT is
// never held whole.
class XmlFeed {
public:
    explicit XmlFeed(const SafeFile::Source& source) : source_(source) {}
    // Reads the next token: false at the document's end, on an error in it,
    // or when the file cannot be read (Unreadable).
    bool Next(QXmlStreamReader& xml);
    bool Unreadable() const { return unreadable_; }

private:
    const SafeFile::Source& source_;
    QByteArray piece_;
    std::int64_t offset_ = 0;
    bool unreadable_ = false;
};

// A DAT file's content, open: the file, or the DAT inside an archive (its
// one .dat or .xml file, or its one file), as the preservation groups hand
// them out.
EngineError Open(const QString& path, std::unique_ptr<SafeFile::Source>* source);

// Whether a file is a DAT file by its start: a Logiqx XML document, or the
// ClrMamePro text form (which Load refuses, saying why).
bool IsDatFile(const QString& path);

// What a DAT says of a file it lists.
struct Rom {
    QString game;
    QString name;
    std::int64_t size = -1;
    int index = -1; // among the ROMs of every DAT loaded, in their order
    int gameIndex = -1;
    bool nodump = false; // status="nodump": known to exist, never dumped
};

// A game of the DATs, in their order, with its ROMs' indexes. A game listed
// again (in the same DAT or another) is the same game: the ROMs it lists
// anew are added to it.
struct Game {
    QString name;
    int dat = 0; // which DAT file lists it first
    std::vector<int> roms;
};

// How a file matched a DAT entry: by the hashes of its plain content, or of
// its bytes as they are (a DAT that lists a verified dump byte-swapped or
// with a copier header).
enum class Form { None, Plain, Raw };
// "plain content", "file as it is".
QString FormName(Form form);

struct Found {
    const Rom* rom = nullptr;
    Form form = Form::None;
};

class Index {
public:
    // Adds the entries of a DAT file; what went wrong (naming the file, and
    // the line where it is not well-formed) when it cannot be read. The file
    // is read in pieces, and only what matching needs is kept.
    EngineError Load(const QString& path);
    int Size() const {
        return int(bySha1_.size() + byMd5_.size() + byCrc_.size() + byCrcAlone_.size());
    }

    // The entry a report's plain content matches: by what the entry lists,
    // the strongest first: SHA-1, else MD5 (of the plain content), else CRC32
    // and size, else CRC32 alone; null when none does. Where two games list
    // one SHA-1, the first listed is the one matched.
    const Rom* Match(const RomInspector::Report& report) const { return Find(report).rom; }
    // The same, and which form matched: SHA-1 decides where the DAT gives
    // one, CRC32 and size otherwise; the plain content is tried first.
    Found Find(const RomInspector::Report& report) const;
    // An entry whose size and CRC32 a file has (in either form) whatever the
    // SHA-1 says: of a bad dump, where the SHA-1 does not match.
    const Rom* SameCrc(const RomInspector::Report& report) const;
    // The game of that name, or whose ROM has that file name; -1 when none.
    int GameNamed(const QString& name) const;

    const std::vector<Game>& Games() const { return games_; }
    const Rom& RomAt(int index) const { return *roms_[std::size_t(index)]; }
    int Roms() const { return int(roms_.size()); }
    // Whether a game has ROMs that can be had (none never dumped).
    bool Dumpable(int game) const;
    // In the order the DAT files list them: the game each <game> element
    // stands for, and the ROM each <rom> element does (-1 for one that
    // repeats a ROM its game lists already); -1 for an element of a game
    // listed again.
    int GameOfElement(int element) const { return gameOfElement_[std::size_t(element)]; }
    int RomOfElement(int element) const { return romOfElement_[std::size_t(element)]; }
    // The files loaded, in their order.
    const QStringList& Paths() const { return paths_; }

    // What the files loaded say twice: one SHA-1 listed for two games.
    const QStringList& Warnings() const { return warnings_; }

private:
    using Sha1 = std::array<std::uint8_t, 20>;
    using Md5 = std::array<std::uint8_t, 16>;
    // The first bytes of a digest are as good a hash as any.
    struct Sha1Hash {
        template <std::size_t N>
        std::size_t operator()(const std::array<std::uint8_t, N>& s) const {
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
    const Rom* BySha1(const QString& hex) const;
    const Rom* ByCrc(const QString& hex, std::int64_t size, bool sha1Less) const;
    const Rom* ByMd5(const QString& hex) const;
    // A ROM of a game that lists it again: the one it repeats, or null.
    int AddGame(const QString& game, int dat);
    void AddRom(const QXmlStreamAttributes& attributes, const QString& game, int gameIndex,
                const QString& path, int* duplicates);
    const Rom* Repeated(int game, const Rom& rom, const Sha1* sha1, const Md5* md5,
                        std::uint32_t crc, bool hasCrc) const;

    // Every ROM once, in order; the maps point into it.
    std::vector<std::unique_ptr<Rom>> roms_;
    std::vector<Game> games_;
    std::unordered_map<Sha1, const Rom*, Sha1Hash> bySha1_;
    std::unordered_map<Md5, const Rom*, Sha1Hash> byMd5_;      // ROMs that list no SHA-1
    std::unordered_map<CrcKey, const Rom*, CrcHash> byCrc_;    // ROMs that list neither
    std::unordered_map<std::uint32_t, const Rom*> byCrcAlone_; // the same, with no size
    std::unordered_map<CrcKey, const Rom*, CrcHash> byAnyCrc_; // every ROM with a CRC32
    std::unordered_map<QString, int> gameByName_;              // games' and ROMs' names
    std::unordered_map<QString, int> gameIndexByName_;
    std::vector<int> gameOfElement_;
    std::vector<int> romOfElement_;
    QStringList paths_;
    QStringList warnings_;
};

} // namespace DatFile
