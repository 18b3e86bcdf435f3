#include "DatFile.h"

#include "Archive.h"
#include "SafeFile.h"

#include "DatReader.h"
#include "DatTables.h"

#include "Sha1.h"

#include <QDir>
#include <QHash>
#include <QStandardPaths>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <tuple>

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

constexpr int MostWarnings = 10;

template <typename T> std::size_t BytesOf(const std::vector<T>& v) {
    return v.capacity() * sizeof(T);
}

} // namespace

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
