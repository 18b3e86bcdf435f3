#include "DatFile.h"

#include "Archive.h"
#include "CacheFile.h"
#include "SafeFile.h"

#include "DatReader.h"

#include "Sha1.h"

#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <tuple>
#include <type_traits>

namespace DatFile {

namespace {

// The DAT file inside an archive, as the preservation groups hand them out:
// its one file named .dat or .xml, or its one file; held in a file of its
// own. Why not, when it holds none or several.
EngineError Unpacked(const QString& path, std::unique_ptr<SafeFile::Source>* dat) {
    std::vector<Archive::Entry> named;
    std::vector<Archive::Entry> others;
    const QStringList spillTo{QDir::tempPath()};
    const EngineError read = Archive::Read(
        path, std::int64_t(256) << 20,
        [&](Archive::Entry& entry) {
            if (entry.error.Failed() || !entry.content)
                return;
            const QString name = entry.name.toLower();
            (name.endsWith(QLatin1String(".dat")) || name.endsWith(QLatin1String(".xml")) ? named
                                                                                          : others)
                .push_back(std::move(entry));
        },
        nullptr, &spillTo, true);
    if (read.Failed())
        return {EngineError::Code::DatUnreadable, read.Text(), path};
    std::vector<Archive::Entry>& candidates = named.empty() ? others : named;
    if (candidates.size() != 1)
        return {EngineError::Code::DatUnreadable,
                candidates.empty()
                    ? QStringLiteral("the archive holds no DAT file")
                    : QStringLiteral("the archive holds %1 DAT files; give one of them unpacked")
                          .arg(candidates.size()),
                path};
    *dat = std::move(candidates.front().content);
    return {};
}
} // namespace

bool IsDatFile(const QString& path) {
    const SafeFile::Source source(path);
    if (!source.IsOpen() || SafeFile::IsFolder(path))
        return false;
    QByteArray head(int(std::min<std::int64_t>(source.Size(), 4096)), '\0');
    if (head.isEmpty() || !source.ReadAt(0, head.data(), head.size()))
        return false;
    Syntax syntax;
    if (Archive::KindOf(source) == Archive::Kind::None)
        return SyntaxOf(head, &syntax);
    // An archive holding a DAT file and nothing but companions, as the
    // preservation groups hand them out; judged by the entries' names, none
    // of them read.
    bool dat = false;
    bool image = false;
    Archive::Read(path, 0, [&](const Archive::Entry& entry) {
        const QString name = entry.name.toLower();
        if (name.endsWith(QLatin1String(".dat")) || name.endsWith(QLatin1String(".xml")))
            dat = true;
        else if (!entry.companion)
            image = true;
    });
    return dat && !image;
}

EngineError Open(const QString& path, std::unique_ptr<SafeFile::Source>* source) {
    *source = std::make_unique<SafeFile::Source>(path);
    if (!(*source)->IsOpen())
        return {EngineError::Code::DatUnreadable, (*source)->Error().Text(), path};
    if (Archive::KindOf(**source) == Archive::Kind::None)
        return {};
    source->reset();
    return Unpacked(path, source);
}

namespace {

constexpr std::uint8_t HasSha1 = 1, HasMd5 = 2, HasCrc = 4, NoDump = 8, NameIsSuffix = 16;
constexpr std::uint32_t NoSize = 0xFFFFFFFF, BigSize = 0xFFFFFFFE;
constexpr std::uint32_t RomBit = 0x80000000;

using Digest = std::array<std::uint8_t, 20>; // a SHA-1, or an MD5 in its first 16 bytes

// Hex text to n bytes; false unless it is exactly that many bytes of hex.
bool FromHex(QByteArrayView text, std::size_t n, std::uint8_t* out) {
    if (text.size() != qsizetype(2 * n))
        return false;
    for (std::size_t i = 0; i < 2 * n; ++i) {
        const char c = char(text[qsizetype(i)] | 0x20);
        const int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (v < 0)
            return false;
        out[i / 2] = std::uint8_t(i % 2 ? out[i / 2] | v : v << 4);
    }
    return true;
}

// A size as a DAT writes it, in decimal; -1 when it gives none.
std::int64_t SizeOf(QByteArrayView text) {
    text = text.trimmed();
    if (text.isEmpty() || text.size() > 18)
        return -1;
    std::int64_t size = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return -1;
        size = size * 10 + (c - '0');
    }
    return size;
}

// Every name once, one after another in pieces of 64 KiB: a name is its
// place, a 32-bit number (the piece's in the top 16 bits).
class NameStore {
public:
    std::uint32_t Add(QByteArrayView name) {
        // A name longer than any real one is cut, at a character's start.
        if (name.size() > Longest) {
            qsizetype cut = Longest;
            while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
                --cut;
            name = name.first(cut);
        }
        const std::uint32_t need = std::uint32_t(name.size()) + 2;
        if (used_ + need > PieceSize) {
            if (pieces_.size() == MostPieces)
                return 0; // the first name, given for one that no longer fits
            pieces_.push_back(std::make_unique<char[]>(PieceSize));
            used_ = 0;
        }
        char* at = pieces_.back().get() + used_;
        at[0] = char(name.size() >> 8);
        at[1] = char(name.size() & 0xFF);
        if (!name.isEmpty())
            std::memcpy(at + 2, name.data(), std::size_t(name.size()));
        const std::uint32_t place = std::uint32_t(pieces_.size() - 1) << PieceBits | used_;
        used_ += need;
        return place;
    }
    QByteArrayView At(std::uint32_t place) const {
        if (pieces_.empty())
            return {};
        const char* at = pieces_[place >> PieceBits].get() + (place & (PieceSize - 1));
        return {at + 2, qsizetype(static_cast<unsigned char>(at[0]) << 8 |
                                  static_cast<unsigned char>(at[1]))};
    }
    std::size_t Bytes() const { return pieces_.size() * PieceSize; }
    // Whether a place is that of a whole name.
    bool Valid(std::uint32_t place) const {
        const std::size_t piece = place >> PieceBits;
        const std::uint32_t at = place & (PieceSize - 1);
        const std::uint32_t end = piece + 1 == pieces_.size() ? used_ : PieceSize;
        if (piece >= pieces_.size() || at + 2 > end)
            return false;
        const char* name = pieces_[piece].get() + at;
        return at + 2 +
                   (std::uint32_t(static_cast<unsigned char>(name[0])) << 8 |
                    static_cast<unsigned char>(name[1])) <=
               end;
    }
    void Write(QDataStream& out) const {
        out << quint32(pieces_.size()) << used_;
        for (std::size_t i = 0; i < pieces_.size(); ++i) {
            const std::uint32_t n = i + 1 == pieces_.size() ? used_ : PieceSize;
            out << n;
            out.writeRawData(pieces_[i].get(), int(n));
        }
    }
    bool Read(QDataStream& in) {
        quint32 count = 0;
        in >> count >> used_;
        if (in.status() != QDataStream::Ok || count > MostPieces || used_ > PieceSize)
            return false;
        for (quint32 i = 0; i < count; ++i) {
            quint32 n = 0;
            in >> n;
            if (in.status() != QDataStream::Ok || n > PieceSize)
                return false;
            pieces_.push_back(std::make_unique<char[]>(PieceSize));
            if (in.readRawData(pieces_.back().get(), int(n)) != int(n))
                return false;
        }
        if (count == 0)
            used_ = PieceSize;
        return true;
    }

private:
    static constexpr std::uint32_t PieceBits = 16;
    static constexpr std::uint32_t PieceSize = 1u << PieceBits;
    static constexpr std::size_t MostPieces = 1u << (32 - PieceBits);
    static constexpr qsizetype Longest = 4096; // well under a piece
    std::vector<std::unique_ptr<char[]>> pieces_;
    std::uint32_t used_ = PieceSize;
};

constexpr int MostWarnings = 10;

template <typename T> std::size_t BytesOf(const std::vector<T>& v) {
    return v.capacity() * sizeof(T);
}

// A table as its bytes, for the cache of read DATs (of this machine only).
template <typename T> void Put(QDataStream& out, const std::vector<T>& v) {
    static_assert(std::is_trivially_copyable_v<T>);
    out << quint64(v.size());
    out.writeRawData(reinterpret_cast<const char*>(v.data()), int(v.size() * sizeof(T)));
}

template <typename T> bool Get(QDataStream& in, std::vector<T>* v) {
    quint64 n = 0;
    in >> n;
    if (in.status() != QDataStream::Ok || n > (std::uint64_t(1) << 28) / sizeof(T))
        return false;
    v->resize(std::size_t(n));
    const int bytes = int(n * sizeof(T));
    return in.readRawData(reinterpret_cast<char*>(v->data()), bytes) == bytes;
}

// A pair as plain bytes.
template <typename A, typename B> struct Two {
    A first;
    B second;
};
template <typename A, typename B, typename Pairs> std::vector<Two<A, B>> Plain(const Pairs& pairs) {
    std::vector<Two<A, B>> out;
    for (const auto& [a, b] : pairs)
        out.push_back({A(a), B(b)});
    return out;
}

// The first bytes of a cached index, which change when its form does.
constexpr char CacheMagic[] = "kestrix DAT index 1\n";
// A warning's stand-in for the name of the DAT it is about.
constexpr QChar DatNamed(0x1);
// The indexes kept, the most recently written.
constexpr int CachedDats = 4;

} // namespace

struct Index::Tables {
    NameStore names;
    // Games, in the DATs' order: the name, and the first of the ROMs that
    // follow it (which are its own where their game says so).
    std::vector<std::uint32_t> gameName;
    std::vector<std::uint32_t> gameFirstRom;
    std::vector<int> datFirstGame;
    // ROMs a game listed again adds after other games began.
    std::unordered_multimap<std::uint32_t, std::uint32_t> laterRoms;
    // ROMs, in the DATs' order.
    std::vector<std::uint32_t> romName; // a place in names, or a suffix's number
    std::vector<std::uint32_t> romGame;
    std::vector<std::uint32_t> romSize;
    std::unordered_map<std::uint32_t, std::int64_t> bigSizes;
    std::vector<std::uint32_t> romCrc;
    std::vector<Digest> romDigest;
    std::vector<std::uint8_t> romFlags;
    // A ROM named as its game and a few bytes more (".bin") keeps only
    // those bytes, once for every ROM that ends so.
    std::vector<QByteArray> suffixes;
    QHash<QByteArray, std::uint32_t> suffixNumber;
    // ROM numbers sorted by SHA-1, by MD5 (of those with no SHA-1), by CRC32
    // and size; the first listed first where they are the same.
    std::vector<std::uint32_t> bySha1, byMd5, byCrc;
    // Names to games: open addressing, a slot holding a game's number + 1,
    // or a ROM's (named otherwise than as its game) with RomBit; 0 empty.
    std::vector<std::uint32_t> nameTable = std::vector<std::uint32_t>(1024, 0);
    std::size_t filled = 0;
    // Elements that stand for no game or ROM of their own, in order.
    std::vector<std::uint32_t> gameRepeats, romRepeats;
    std::uint32_t gameElements = 0, romElements = 0;
    std::vector<bool> textForm;
    QStringList setNames;
    std::vector<std::pair<int, int>> firstElements;

    QByteArrayView GameNameBytes(std::uint32_t game) const { return names.At(gameName[game]); }
    QByteArray RomNameBytes(std::uint32_t rom) const {
        if (romFlags[rom] & NameIsSuffix)
            return GameNameBytes(romGame[rom]).toByteArray() + suffixes[romName[rom]];
        return names.At(romName[rom]).toByteArray();
    }
    std::int64_t SizeOf(std::uint32_t rom) const {
        const std::uint32_t size = romSize[rom];
        return size == NoSize ? -1 : size == BigSize ? bigSizes.at(rom) : std::int64_t(size);
    }
    QByteArrayView NameOf(std::uint32_t entry) const {
        return entry & RomBit ? names.At(romName[(entry & ~RomBit) - 1]) : GameNameBytes(entry - 1);
    }
    // The first entry of that name, of a game or of a ROM; 0 when none.
    std::uint32_t Find(QByteArrayView name, bool rom) const {
        const std::size_t mask = nameTable.size() - 1;
        for (std::size_t at = qHash(name) & mask; nameTable[at]; at = (at + 1) & mask)
            if (bool(nameTable[at] & RomBit) == rom && NameOf(nameTable[at]) == name)
                return nameTable[at];
        return 0;
    }
    void Insert(std::uint32_t entry) {
        if ((filled + 1) * 10 > nameTable.size() * 9) {
            std::vector<std::uint32_t> old(nameTable.size() * 2, 0);
            old.swap(nameTable);
            filled = 0;
            for (const std::uint32_t e : old)
                if (e)
                    Insert(e);
        }
        const std::size_t mask = nameTable.size() - 1;
        std::size_t at = qHash(NameOf(entry)) & mask;
        while (nameTable[at])
            at = (at + 1) & mask;
        nameTable[at] = entry;
        ++filled;
    }
    std::vector<int> RomsOf(std::uint32_t game) const {
        std::vector<int> roms;
        const std::uint32_t end =
            game + 1 < gameFirstRom.size() ? gameFirstRom[game + 1] : std::uint32_t(romGame.size());
        for (std::uint32_t rom = gameFirstRom[game]; rom < end; ++rom)
            if (romGame[rom] == game)
                roms.push_back(int(rom));
        const auto [from, to] = laterRoms.equal_range(game);
        for (auto it = from; it != to; ++it)
            roms.push_back(int(it->second));
        std::sort(roms.begin() + qsizetype(0), roms.end());
        return roms;
    }
    // The first ROM of a sorted table whose key is the one given, and that
    // passes; -1 when none.
    template <typename Less, typename Pass>
    int First(const std::vector<std::uint32_t>& table, Less less, Pass pass) const {
        auto it = std::partition_point(table.begin(), table.end(), less);
        for (; it != table.end() && !less(*it) && pass(*it, true); ++it)
            if (pass(*it, false))
                return int(*it);
        return -1;
    }
    // Adds the ROMs from that one on to the sorted tables, and gives back
    // what the growing tables kept spare.
    void Sort(std::uint32_t from);
    void Shrink() {
        for (auto* v : {&gameName, &gameFirstRom, &romName, &romGame, &romSize, &romCrc})
            v->shrink_to_fit();
        romDigest.shrink_to_fit();
        romFlags.shrink_to_fit();
    }
    void Write(QDataStream& out) const;
    bool Read(QDataStream& in);
    // Whether every number in the tables points where it may.
    bool Valid() const;
    int BySha1(const Digest& sha1) const {
        return First(
            bySha1, [&](std::uint32_t r) { return romDigest[r] < sha1; },
            [&](std::uint32_t r, bool key) { return !key || romDigest[r] == sha1; });
    }
    int ByMd5(const Digest& md5) const {
        auto cmp = [&](std::uint32_t r) {
            return std::memcmp(romDigest[r].data(), md5.data(), 16);
        };
        return First(
            byMd5, [&](std::uint32_t r) { return cmp(r) < 0; },
            [&](std::uint32_t r, bool key) { return !key || cmp(r) == 0; });
    }
    std::uint64_t CrcKey(std::uint32_t rom) const {
        const std::int64_t size = SizeOf(rom);
        return size < 0 ? ~std::uint64_t(0) : std::uint64_t(size);
    }
    // By CRC32 and size (-1: none given); only among those that list neither
    // SHA-1 nor MD5 where asked.
    int ByCrc(std::uint32_t crc, std::int64_t size, bool alone) const {
        const std::uint64_t key = size < 0 ? ~std::uint64_t(0) : std::uint64_t(size);
        return First(
            byCrc,
            [&](std::uint32_t r) {
                return romCrc[r] < crc || (romCrc[r] == crc && CrcKey(r) < key);
            },
            [&](std::uint32_t r, bool onKey) {
                if (onKey)
                    return romCrc[r] == crc && CrcKey(r) == key;
                return !alone || !(romFlags[r] & (HasSha1 | HasMd5));
            });
    }
};

// Hands a DAT file's entries to the tables as the file is read.
class Index::Loader : public Entries {
public:
    Loader(Tables& t, int dat) : t_(t) {
        t_.datFirstGame.push_back(int(t_.gameName.size()));
        t_.textForm.push_back(false);
        t_.firstElements.emplace_back(int(t_.gameElements), int(t_.romElements));
        t_.setNames.append(QString());
        (void)dat;
    }
    void Game(QByteArrayView name) override {
        const std::uint32_t element = t_.gameElements++;
        const std::uint32_t listed = t_.Find(name, false);
        again_ = listed != 0;
        if (again_) {
            t_.gameRepeats.push_back(element);
            game_ = int(listed - 1);
            return;
        }
        game_ = int(t_.gameName.size());
        t_.gameName.push_back(t_.names.Add(name));
        t_.gameFirstRom.push_back(std::uint32_t(t_.romGame.size()));
        t_.Insert(std::uint32_t(game_) + 1);
    }
    void GameEnd() override { game_ = -1; }
    void Rom(const RomFields& f) override;
    void SetName(QByteArrayView name) override { t_.setNames.back() = QString::fromUtf8(name); }

    int hashless = 0;
    QString firstHashless; // "ROM" of "game"

private:
    bool Repeated(std::int64_t size, QByteArrayView name, std::uint8_t flags, const Digest& digest,
                  std::uint32_t crc) const;

    Tables& t_;
    int game_ = -1;
    bool again_ = false; // the game is one listed before
    std::uint32_t lastSuffix_ = ~0u;
};

void Index::Loader::Rom(const RomFields& f) {
    const std::uint32_t element = t_.romElements++;
    if (game_ < 0) {
        t_.romRepeats.push_back(element);
        return;
    }
    Digest digest{};
    std::uint8_t crcBytes[4] = {};
    std::uint8_t flags = 0;
    if (FromHex(f.sha1, 20, digest.data()))
        flags |= HasSha1;
    else if (FromHex(f.md5, 16, digest.data()))
        flags |= HasMd5;
    if (FromHex(f.crc, 4, crcBytes))
        flags |= HasCrc;
    if (f.status == QByteArrayView("nodump"))
        flags |= NoDump;
    const std::uint32_t crc = std::uint32_t(crcBytes[0]) << 24 | std::uint32_t(crcBytes[1]) << 16 |
                              std::uint32_t(crcBytes[2]) << 8 | crcBytes[3];
    const std::int64_t size = SizeOf(f.size);
    if (again_ && Repeated(size, f.name, flags, digest, crc)) {
        t_.romRepeats.push_back(element);
        return;
    }
    const std::uint32_t rom = std::uint32_t(t_.romGame.size());
    const std::uint32_t game = std::uint32_t(game_);
    const QByteArrayView gameName = t_.GameNameBytes(game);
    if (!gameName.isEmpty() && f.name.startsWith(gameName) &&
        f.name.size() - gameName.size() <= 16) {
        const QByteArrayView end = f.name.sliced(gameName.size());
        // Most ROMs end as the one before.
        if (lastSuffix_ < t_.suffixes.size() && t_.suffixes[lastSuffix_] == end) {
            flags |= NameIsSuffix;
            t_.romName.push_back(lastSuffix_);
        } else {
            const QByteArray suffix = end.toByteArray();
            auto number = t_.suffixNumber.constFind(suffix);
            if (number == t_.suffixNumber.constEnd() && t_.suffixes.size() < 256) {
                number = t_.suffixNumber.insert(suffix, std::uint32_t(t_.suffixes.size()));
                t_.suffixes.push_back(suffix);
            }
            if (number != t_.suffixNumber.constEnd()) {
                flags |= NameIsSuffix;
                t_.romName.push_back(lastSuffix_ = *number);
            }
        }
    }
    if (!(flags & NameIsSuffix))
        t_.romName.push_back(t_.names.Add(f.name));
    t_.romGame.push_back(game);
    t_.romSize.push_back(size < 0 ? NoSize : size >= BigSize ? BigSize : std::uint32_t(size));
    if (size >= BigSize)
        t_.bigSizes.emplace(rom, size);
    t_.romCrc.push_back(crc);
    t_.romDigest.push_back(digest);
    t_.romFlags.push_back(flags);
    if (!(flags & NameIsSuffix) && !f.name.isEmpty() && !t_.Find(f.name, true))
        t_.Insert((rom + 1) | RomBit);
    if (game + 1 != t_.gameName.size())
        t_.laterRoms.emplace(game, rom);
    if (!(flags & (HasSha1 | HasMd5 | HasCrc | NoDump)) && hashless++ == 0)
        firstHashless = QStringLiteral("\"%1\" of \"%2\"")
                            .arg(SafeFile::Printable(QString::fromUtf8(f.name)),
                                 SafeFile::Printable(QString::fromUtf8(gameName)));
}

// Whether a ROM of a game listed again is one the game lists already: the
// same size, and the same hash (the strongest given), or the same name
// where it gives none.
bool Index::Loader::Repeated(std::int64_t size, QByteArrayView name, std::uint8_t flags,
                             const Digest& digest, std::uint32_t crc) const {
    for (const int other : t_.RomsOf(std::uint32_t(game_))) {
        const std::uint32_t r = std::uint32_t(other);
        if (t_.SizeOf(r) != size)
            continue;
        const std::uint8_t theirs = t_.romFlags[r];
        if (flags & (HasSha1 | HasMd5)) {
            if ((theirs & (HasSha1 | HasMd5)) == (flags & (HasSha1 | HasMd5)) &&
                t_.romDigest[r] == digest)
                return true;
        } else if (flags & HasCrc) {
            if ((theirs & HasCrc) && t_.romCrc[r] == crc)
                return true;
        } else if (t_.RomNameBytes(r) == name) {
            return true;
        }
    }
    return false;
}

Index::Index() : t_(std::make_unique<Tables>()) {}
Index::~Index() {
    if (saving_.joinable())
        saving_.join();
}

EngineError Index::Load(const QString& path) {
    using Code = EngineError::Code;
    std::unique_ptr<SafeFile::Source> opened;
    if (const EngineError error = Open(path, &opened); error.Failed())
        return error;
    if (opened->Size() > (std::int64_t(256) << 20))
        return {Code::DatTooLarge, QString(), path};
    // The first DAT of an index may have been read before.
    QString cached;
    if (cache_ && paths_.isEmpty()) {
        Sha1Hash hash;
        QByteArray piece(1 << 20, Qt::Uninitialized);
        bool read = true;
        for (std::int64_t at = 0; read && at < opened->Size(); at += piece.size()) {
            const std::int64_t n = std::min<std::int64_t>(piece.size(), opened->Size() - at);
            read = opened->ReadAt(at, piece.data(), n);
            hash.Add(piece.constData(), std::size_t(n));
        }
        const QString folder =
            cache_->isEmpty()
                ? QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                      QStringLiteral("/kestrix")
                : *cache_;
        if (read)
            cached = QDir::toNativeSeparators(folder + QStringLiteral("/dats/") +
                                              QString::fromLatin1(hash.HexResult()) +
                                              QStringLiteral(".index"));
        if (!cached.isEmpty() && ReadCached(cached, path))
            return paths_.append(path), EngineError();
    }
    const qsizetype warned = warnings_.size();
    const int dat = int(paths_.size());
    paths_.append(path);
    const std::uint32_t firstRom = std::uint32_t(t_->romGame.size());
    Loader loader(*t_, dat);
    Syntax syntax = Syntax::Xml;
    if (const EngineError error = Read(*opened, path, loader, &syntax); error.Failed())
        return error;
    t_->textForm.back() = syntax == Syntax::ClrMamePro;
    t_->Sort(firstRom);
    t_->Shrink();
    // One SHA-1 for two games: the first listed is matched.
    std::vector<std::uint32_t> twice;
    const std::vector<std::uint32_t>& bySha1 = t_->bySha1;
    for (std::size_t i = 0, j = 0; i < bySha1.size(); i = j) {
        for (j = i + 1; j < bySha1.size() && t_->romDigest[bySha1[j]] == t_->romDigest[bySha1[i]];
             ++j)
            if (bySha1[j] >= firstRom && t_->romGame[bySha1[j]] != t_->romGame[bySha1[i]])
                twice.push_back(bySha1[j]);
    }
    std::sort(twice.begin(), twice.end());
    for (std::size_t i = 0; i < twice.size() && i < MostWarnings; ++i) {
        const std::uint32_t r = twice[i];
        const int first = t_->BySha1(t_->romDigest[r]); // the first listed
        warnings_.append(
            QStringLiteral("%1 lists the SHA-1 %2 for \"%3\" and for \"%4\"; \"%3\" is the one "
                           "matched")
                .arg(SafeFile::Printable(path),
                     QString::fromLatin1(
                         QByteArray(reinterpret_cast<const char*>(t_->romDigest[r].data()), 20)
                             .toHex()),
                     SafeFile::Printable(GameName(int(t_->romGame[std::uint32_t(first)]))),
                     SafeFile::Printable(GameName(int(t_->romGame[r])))));
    }
    if (twice.size() > MostWarnings)
        warnings_.append(QStringLiteral("%1 lists %2 more SHA-1s for two games each")
                             .arg(SafeFile::Printable(path))
                             .arg(twice.size() - MostWarnings));
    if (loader.hashless)
        warnings_.append(
            loader.hashless == 1
                ? QStringLiteral("%1 lists a ROM with no CRC32, MD5 or SHA-1, %2; no file "
                                 "matches it")
                      .arg(SafeFile::Printable(path), loader.firstHashless)
                : QStringLiteral("%1 lists %2 ROMs with no CRC32, MD5 or SHA-1, the first %3; "
                                 "no file matches them")
                      .arg(SafeFile::Printable(path))
                      .arg(loader.hashless)
                      .arg(loader.firstHashless));
    if (!cached.isEmpty())
        WriteCached(cached, path, warnings_.mid(warned));
    return {};
}

void Index::UseCache(const QString& folder) {
    cache_ = folder;
}

bool Index::ReadCached(const QString& file, const QString& path) {
    QByteArray bytes;
    QByteArrayView body;
    const CacheFile::State state =
        CacheFile::Load(file, CacheMagic, std::int64_t(1) << 30, &bytes, &body);
    if (state == CacheFile::State::None)
        return false; // not read before
    bool whole = state == CacheFile::State::Read;
    auto tables = std::make_unique<Tables>();
    QStringList warnings;
    if (whole) {
        QDataStream in(QByteArray::fromRawData(body.data(), body.size()));
        in.setVersion(QDataStream::Qt_6_0);
        whole = tables->Read(in);
        in >> warnings;
        whole = whole && in.status() == QDataStream::Ok && in.atEnd() && tables->Valid();
    }
    if (!whole) {
        warnings_.append(QStringLiteral("the cache %1 was not used: it is damaged; the DAT is read")
                             .arg(SafeFile::Printable(file)));
        return false;
    }
    t_ = std::move(tables);
    for (QString& warning : warnings)
        warnings_.append(warning.replace(DatNamed, SafeFile::Printable(path)));
    return true;
}

void Index::WriteCached(const QString& file, const QString& path, const QStringList& warnings) {
    // One buffer, the size of the index: the magic, the tables, the warnings.
    QByteArray bytes(CacheMagic);
    {
        QDataStream out(&bytes, QIODevice::Append);
        out.setVersion(QDataStream::Qt_6_0);
        t_->Write(out);
        QStringList named;
        for (QString warning : warnings)
            named << warning.replace(SafeFile::Printable(path), DatNamed);
        out << named;
    }
    CacheFile::Seal(&bytes);
    const QString folder = QFileInfo(file).path();
    auto writer = std::make_unique<SafeFile::Writer>();
    if (!QDir().mkpath(folder) || !writer->Open(file, SafeFile::Existing::ReplaceAny) ||
        !writer->Write(bytes.constData(), bytes.size())) {
        warnings_.append(
            QStringLiteral("the cache %1 cannot be written: %2; the DAT is read "
                           "again next time")
                .arg(SafeFile::Printable(file), writer->Error().detail.isEmpty()
                                                    ? QStringLiteral("its folder cannot be made")
                                                    : writer->Error().detail));
        return;
    }
    // The content is written; its flush to disk, and its name, come while
    // the run goes on. Should that fail, the DAT is only read again next
    // time. Only the few read last are kept.
    if (saving_.joinable())
        saving_.join();
    saving_ = std::thread([writer = std::move(writer), folder] {
        if (!writer->Commit())
            return;
        const QFileInfoList kept =
            QDir(folder).entryInfoList({QStringLiteral("*.index")}, QDir::Files, QDir::Time);
        for (qsizetype i = CachedDats; i < kept.size(); ++i)
            SafeFile::RemoveFile(kept.at(i).filePath());
    });
}

void Index::Tables::Write(QDataStream& out) const {
    names.Write(out);
    const auto later = Plain<std::uint32_t, std::uint32_t>(laterRoms);
    const auto big = Plain<std::uint32_t, std::int64_t>(bigSizes);
    const auto elements = Plain<int, int>(firstElements);
    std::vector<std::uint8_t> text(textForm.begin(), textForm.end());
    Put(out, gameName), Put(out, gameFirstRom), Put(out, datFirstGame), Put(out, later);
    Put(out, romName), Put(out, romGame), Put(out, romSize), Put(out, big), Put(out, romCrc);
    Put(out, romDigest), Put(out, romFlags), Put(out, bySha1), Put(out, byMd5), Put(out, byCrc);
    Put(out, nameTable), Put(out, gameRepeats), Put(out, romRepeats), Put(out, text);
    Put(out, elements);
    out << quint64(filled) << gameElements << romElements << setNames
        << QList<QByteArray>(suffixes.begin(), suffixes.end());
}

bool Index::Tables::Read(QDataStream& in) {
    std::vector<Two<std::uint32_t, std::uint32_t>> later;
    std::vector<Two<std::uint32_t, std::int64_t>> big;
    std::vector<Two<int, int>> elements;
    std::vector<std::uint8_t> text;
    if (!names.Read(in) || !Get(in, &gameName) || !Get(in, &gameFirstRom) ||
        !Get(in, &datFirstGame) || !Get(in, &later) || !Get(in, &romName) || !Get(in, &romGame) ||
        !Get(in, &romSize) || !Get(in, &big) || !Get(in, &romCrc) || !Get(in, &romDigest) ||
        !Get(in, &romFlags) || !Get(in, &bySha1) || !Get(in, &byMd5) || !Get(in, &byCrc) ||
        !Get(in, &nameTable) || !Get(in, &gameRepeats) || !Get(in, &romRepeats) ||
        !Get(in, &text) || !Get(in, &elements))
        return false;
    quint64 taken = 0;
    QList<QByteArray> ends;
    in >> taken >> gameElements >> romElements >> setNames >> ends;
    filled = std::size_t(taken);
    for (const auto& [game, rom] : later)
        laterRoms.emplace(game, rom);
    for (const auto& [rom, size] : big)
        bigSizes.emplace(rom, size);
    for (const auto& [game, rom] : elements)
        firstElements.emplace_back(game, rom);
    textForm.assign(text.begin(), text.end());
    suffixes.assign(ends.begin(), ends.end());
    for (std::uint32_t i = 0; i < suffixes.size(); ++i)
        suffixNumber.insert(suffixes[i], i);
    return in.status() == QDataStream::Ok;
}

bool Index::Tables::Valid() const {
    const std::size_t games = gameName.size();
    const std::size_t roms = romGame.size();
    const std::size_t dats = datFirstGame.size();
    if (gameFirstRom.size() != games || romName.size() != roms || romSize.size() != roms ||
        romCrc.size() != roms || romDigest.size() != roms || romFlags.size() != roms ||
        textForm.size() != dats || firstElements.size() != dats ||
        std::size_t(setNames.size()) != dats || suffixes.size() > 256 || nameTable.empty() ||
        (nameTable.size() & (nameTable.size() - 1)) != 0 || filled >= nameTable.size())
        return false;
    auto below = [](const std::vector<std::uint32_t>& v, std::size_t n) {
        return std::all_of(v.begin(), v.end(), [n](std::uint32_t x) { return x < n; });
    };
    if (!below(romGame, games) || !below(bySha1, roms) || !below(byMd5, roms) ||
        !below(byCrc, roms) ||
        !std::all_of(gameFirstRom.begin(), gameFirstRom.end(),
                     [roms](std::uint32_t r) { return r <= roms; }) ||
        !std::all_of(gameName.begin(), gameName.end(),
                     [this](std::uint32_t n) { return names.Valid(n); }) ||
        !std::all_of(datFirstGame.begin(), datFirstGame.end(),
                     [games](int g) { return g >= 0 && std::size_t(g) <= games; }))
        return false;
    for (const auto& [game, rom] : laterRoms)
        if (game >= games || rom >= roms)
            return false;
    for (std::size_t r = 0; r < roms; ++r) {
        const bool suffix = romFlags[r] & NameIsSuffix;
        if (suffix ? romName[r] >= suffixes.size() : !names.Valid(romName[r]))
            return false;
        if (romSize[r] == BigSize && !bigSizes.count(std::uint32_t(r)))
            return false;
    }
    for (const std::uint32_t entry : nameTable) {
        if (!entry)
            continue;
        const std::size_t n = (entry & ~RomBit) - 1;
        if (entry & RomBit ? n >= roms || (romFlags[n] & NameIsSuffix) : n >= games)
            return false;
    }
    return true;
}

void Index::Tables::Sort(std::uint32_t from) {
    const std::uint32_t to = std::uint32_t(romGame.size());
    // Each ROM's key as numbers, compared far faster than its bytes.
    struct Keyed {
        std::uint64_t high = 0, low = 0;
        std::uint32_t tail = 0, rom = 0;
        bool operator<(const Keyed& o) const {
            return std::tie(high, low, tail, rom) < std::tie(o.high, o.low, o.tail, o.rom);
        }
    };
    auto add = [&](std::vector<std::uint32_t>& table, auto wanted, auto key) {
        std::vector<Keyed> keyed;
        for (std::uint32_t r = from; r < to; ++r)
            if (!(romFlags[r] & NoDump) && wanted(romFlags[r]))
                keyed.push_back(key(r));
        std::sort(keyed.begin(), keyed.end());
        const std::size_t old = table.size();
        for (const Keyed& k : keyed)
            table.push_back(k.rom);
        std::inplace_merge(table.begin(), table.begin() + qsizetype(old), table.end(),
                           [&key](std::uint32_t a, std::uint32_t b) { return key(a) < key(b); });
        table.shrink_to_fit();
    };
    auto digest = [this](std::uint32_t r, bool tail) {
        const std::uint8_t* d = romDigest[r].data();
        return Keyed{qFromBigEndian<quint64>(d), qFromBigEndian<quint64>(d + 8),
                     tail ? qFromBigEndian<quint32>(d + 16) : 0, r};
    };
    add(
        bySha1, [](std::uint8_t f) { return f & HasSha1; },
        [&](std::uint32_t r) { return digest(r, true); });
    add(
        byMd5, [](std::uint8_t f) { return (f & HasMd5) && !(f & HasSha1); },
        [&](std::uint32_t r) { return digest(r, false); });
    add(
        byCrc, [](std::uint8_t f) { return f & HasCrc; },
        [this](std::uint32_t r) {
            return Keyed{romCrc[r], CrcKey(r), 0, r};
        });
}

namespace {

// A report's hex digest as bytes; false when it has none.
bool DigestOf(const QString& hex, std::size_t n, Digest* digest) {
    *digest = {};
    return !hex.isEmpty() && FromHex(hex.toLatin1(), n, digest->data());
}

std::int64_t CrcOf(const QString& hex) {
    std::uint8_t b[4];
    if (!FromHex(hex.toLatin1(), 4, b))
        return -1;
    return std::int64_t(std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 |
                        std::uint32_t(b[2]) << 8 | b[3]);
}

} // namespace

Found Index::Find(const RomInspector::Report& report) const {
    if (!report.Inspected() || report.sha1.isEmpty())
        return {};
    Digest digest;
    auto found = [&](int rom, Form form) { return Found{RomAt(rom), form}; };
    if (DigestOf(report.sha1, 20, &digest))
        if (const int rom = t_->BySha1(digest); rom >= 0)
            return found(rom, Form::Plain);
    if (DigestOf(report.rawSha1, 20, &digest))
        if (const int rom = t_->BySha1(digest); rom >= 0)
            return found(rom, Form::Raw);
    if (DigestOf(report.md5, 16, &digest))
        if (const int rom = t_->ByMd5(digest); rom >= 0)
            return found(rom, Form::Plain);
    for (const auto& [crc, size, form] :
         {std::tuple(CrcOf(report.crc32), report.plainSize, Form::Plain),
          std::tuple(CrcOf(report.rawCrc32), report.size, Form::Raw)}) {
        if (crc < 0)
            continue;
        if (const int rom = t_->ByCrc(std::uint32_t(crc), size, true); rom >= 0)
            return found(rom, form);
        if (const int rom = t_->ByCrc(std::uint32_t(crc), -1, true); rom >= 0)
            return found(rom, form);
    }
    return {};
}

std::optional<Rom> Index::SameCrc(const RomInspector::Report& report) const {
    if (!report.Inspected() || report.crc32.isEmpty())
        return std::nullopt;
    for (const auto& [crc, size] : {std::pair(CrcOf(report.crc32), report.plainSize),
                                    std::pair(CrcOf(report.rawCrc32), report.size)})
        if (crc >= 0 && size >= 0)
            if (const int rom = t_->ByCrc(std::uint32_t(crc), size, false); rom >= 0)
                return RomAt(rom);
    return std::nullopt;
}

int Index::GameNamed(const QString& name) const {
    const QByteArray utf8 = name.toUtf8();
    int best = -1;
    auto take = [&best](int game) {
        if (game >= 0 && (best < 0 || game < best))
            best = game;
    };
    if (const std::uint32_t game = t_->Find(utf8, false))
        take(int(game - 1));
    if (const std::uint32_t rom = t_->Find(utf8, true))
        take(int(t_->romGame[(rom & ~RomBit) - 1]));
    // A ROM named as its game and more.
    for (std::uint32_t suffix = 0; suffix < t_->suffixes.size(); ++suffix) {
        const QByteArray& end = t_->suffixes[suffix];
        if (!utf8.endsWith(end))
            continue;
        const std::uint32_t game = t_->Find(QByteArrayView(utf8).chopped(end.size()), false);
        if (!game)
            continue;
        for (const int rom : t_->RomsOf(game - 1))
            if ((t_->romFlags[std::uint32_t(rom)] & NameIsSuffix) &&
                t_->romName[std::uint32_t(rom)] == suffix)
                take(int(game - 1));
    }
    return best;
}

int Index::Games() const {
    return int(t_->gameName.size());
}

QString Index::GameName(int game) const {
    return QString::fromUtf8(t_->GameNameBytes(std::uint32_t(game)));
}

std::vector<int> Index::RomsOf(int game) const {
    return t_->RomsOf(std::uint32_t(game));
}

Rom Index::RomAt(int index) const {
    const std::uint32_t r = std::uint32_t(index);
    Rom rom;
    rom.gameIndex = int(t_->romGame[r]);
    rom.game = GameName(rom.gameIndex);
    rom.name = QString::fromUtf8(t_->RomNameBytes(r));
    rom.size = t_->SizeOf(r);
    rom.index = index;
    rom.nodump = t_->romFlags[r] & NoDump;
    const std::uint8_t flags = t_->romFlags[r];
    const QByteArray digest(reinterpret_cast<const char*>(t_->romDigest[r].data()), 20);
    if (flags & HasSha1)
        rom.sha1 = QString::fromLatin1(digest.toHex());
    else if (flags & HasMd5)
        rom.md5 = QString::fromLatin1(digest.first(16).toHex());
    if (flags & HasCrc)
        rom.crc = QStringLiteral("%1").arg(t_->romCrc[r], 8, 16, QLatin1Char('0'));
    return rom;
}

int Index::Roms() const {
    return int(t_->romGame.size());
}

bool Index::Dumpable(int game) const {
    const std::vector<int> roms = RomsOf(game);
    return std::any_of(roms.begin(), roms.end(),
                       [this](int rom) { return !(t_->romFlags[std::uint32_t(rom)] & NoDump); });
}

namespace {

// The number of an element among those that stand for something of their
// own, or -1 when it is one of the others.
int Numbered(const std::vector<std::uint32_t>& others, int element) {
    const auto at = std::lower_bound(others.begin(), others.end(), std::uint32_t(element));
    if (at != others.end() && *at == std::uint32_t(element))
        return -1;
    return element - int(at - others.begin());
}

} // namespace

int Index::GameOfElement(int element) const {
    return Numbered(t_->gameRepeats, element);
}

int Index::RomOfElement(int element) const {
    return Numbered(t_->romRepeats, element);
}

int Index::DatOf(int game) const {
    const std::vector<int>& first = t_->datFirstGame;
    return int(std::upper_bound(first.begin(), first.end(), game) - first.begin()) - 1;
}

std::pair<int, int> Index::FirstElements(int dat) const {
    return t_->firstElements[std::size_t(dat)];
}

bool Index::ListsMd5() const {
    return !t_->byMd5.empty();
}

bool Index::InTextForm(int dat) const {
    return t_->textForm[std::size_t(dat)];
}

QString Index::SetName(int dat) const {
    return t_->setNames.at(dat);
}

std::size_t Index::Bytes() const {
    const Tables& t = *t_;
    std::size_t bytes =
        t.names.Bytes() + BytesOf(t.gameName) + BytesOf(t.gameFirstRom) + BytesOf(t.datFirstGame) +
        BytesOf(t.romName) + BytesOf(t.romGame) + BytesOf(t.romSize) + BytesOf(t.romCrc) +
        BytesOf(t.romDigest) + BytesOf(t.romFlags) + BytesOf(t.bySha1) + BytesOf(t.byMd5) +
        BytesOf(t.byCrc) + BytesOf(t.nameTable) + BytesOf(t.gameRepeats) + BytesOf(t.romRepeats);
    // A node of a hash map: its entry and two pointers.
    bytes += (t.laterRoms.size() + t.bigSizes.size()) * 32;
    for (const QByteArray& suffix : t.suffixes)
        bytes += std::size_t(suffix.capacity()) + 48;
    return bytes;
}
QString FormName(Form form) {
    switch (form) {
    case Form::Plain:
        return QStringLiteral("plain content");
    case Form::Raw:
        return QStringLiteral("file as it is");
    case Form::None:
        break;
    }
    return QString();
}

} // namespace DatFile
