#pragma once

// The packed tables of a DAT index, shared by the index and its cache.

#include "DatFile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDataStream>
#include <QHash>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

namespace DatFile {

inline constexpr std::uint8_t HasSha1 = 1, HasMd5 = 2, HasCrc = 4, NoDump = 8, NameIsSuffix = 16;
inline constexpr std::uint32_t NoSize = 0xFFFFFFFF, BigSize = 0xFFFFFFFE;
inline constexpr std::uint32_t RomBit = 0x80000000;

using Digest = std::array<std::uint8_t, 20>; // a SHA-1, or an MD5 in its first 16 bytes

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

} // namespace DatFile
