#include "CacheFile.h"
#include "DatTables.h"
#include "SafeFile.h"

#include <QDir>
#include <QFileInfo>

#include <thread>
#include <type_traits>

// The index of a DAT read before, kept in the user's cache folder: the
// tables as their bytes, checked whole before they are used.
namespace DatFile {

namespace {

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

} // namespace DatFile
