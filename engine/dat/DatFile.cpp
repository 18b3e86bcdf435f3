#include "DatFile.h"

#include "Archive.h"
#include "SafeFile.h"

#include <QDir>
#include <QXmlStreamReader>

#include <algorithm>

namespace DatFile {

namespace {

// Hex text to bytes; false unless it is exactly that many bytes of hex.
template <std::size_t N> bool FromHex(QStringView text, std::array<std::uint8_t, N>* out) {
    if (text.size() != qsizetype(2 * N))
        return false;
    for (std::size_t i = 0; i < N; ++i) {
        bool ok = false;
        (*out)[i] = std::uint8_t(text.mid(qsizetype(2 * i), 2).toUInt(&ok, 16));
        if (!ok)
            return false;
    }
    return true;
}

constexpr std::int64_t Piece = 1 << 20;

// The ROM a map holds for a key, or null.
template <typename Map, typename Key> const Rom* At(const Map& map, const Key& key) {
    const auto found = map.find(key);
    return found == map.end() ? nullptr : found->second;
}

// The ROM a map of digests holds for one given as hex text, or null.
template <typename Map> const Rom* ByDigest(const Map& map, const QString& hex) {
    typename Map::key_type digest{};
    return FromHex(QStringView(hex), &digest) ? At(map, digest) : nullptr;
}

// Whether a file given as a DAT is one in ClrMamePro's text form, which is
// not read.
bool ClrMamePro(const SafeFile::Source& source) {
    char head[64] = {};
    const std::int64_t n = std::min<std::int64_t>(source.Size(), sizeof head);
    return n > 0 && source.ReadAt(0, head, n) &&
           QByteArray(head, qsizetype(n)).trimmed().toLower().startsWith("clrmamepro");
}

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
constexpr int MostWarnings = 10;

} // namespace

bool IsDatFile(const QString& path) {
    const SafeFile::Source source(path);
    if (!source.IsOpen() || SafeFile::IsFolder(path))
        return false;
    QByteArray head(int(std::min<std::int64_t>(source.Size(), 4096)), '\0');
    if (head.isEmpty() || !source.ReadAt(0, head.data(), head.size()))
        return false;
    return head.contains("<datafile") || head.trimmed().toLower().startsWith("clrmamepro");
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

EngineError Index::Load(const QString& path) {
    using Code = EngineError::Code;
    std::unique_ptr<SafeFile::Source> opened;
    if (const EngineError error = Open(path, &opened); error.Failed())
        return error;
    const SafeFile::Source& source = *opened;
    if (source.Size() > (std::int64_t(256) << 20))
        return {Code::DatTooLarge, QString(), path};
    if (ClrMamePro(source))
        return {Code::DatUnreadable,
                QStringLiteral("it is a DAT in ClrMamePro's text form; only Logiqx XML DAT "
                               "files are read"),
                path};

    QXmlStreamReader xml;
    XmlFeed feed(source);
    QString game;
    bool root = true;
    int duplicates = 0;
    const int dat = int(paths_.size());
    paths_.append(path);
    int gameIndex = -1;
    while (feed.Next(xml)) {
        if (xml.isStartElement()) {
            const QStringView element = xml.name();
            // The document's root is <datafile>, or it is no DAT file.
            if (std::exchange(root, false) && element != u"datafile")
                return {Code::NotADat, QString(), path};
            if (element == u"game" || element == u"machine") {
                game = xml.attributes().value(QLatin1String("name")).toString();
                gameIndex = AddGame(game, dat);
            } else if (element == u"rom") {
                AddRom(xml.attributes(), game, gameIndex, path, &duplicates);
            }
        } else if (xml.isEndElement() && (xml.name() == u"game" || xml.name() == u"machine")) {
            game.clear();
        }
    }
    if (feed.Unreadable())
        return {Code::DatUnreadable, QStringLiteral("the file cannot be read"), path};
    if (duplicates > MostWarnings)
        warnings_.append(QStringLiteral("%1 lists %2 more SHA-1s for two games each")
                             .arg(SafeFile::Printable(path))
                             .arg(duplicates - MostWarnings));
    if (xml.hasError())
        return {Code::DatMalformed,
                QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString()), path};
    if (root)
        return {Code::NotADat, QString(), path};
    return {};
}

// A game element: the game's index (a game listed again is the game listed
// first).
int Index::AddGame(const QString& game, int dat) {
    const auto [at, added] = gameIndexByName_.try_emplace(game, int(games_.size()));
    const int gameIndex = at->second;
    gameOfElement_.push_back(added ? gameIndex : -1);
    if (added) {
        games_.push_back({game, dat, {}});
        gameByName_.try_emplace(game, gameIndex);
    }
    return gameIndex;
}

// A rom element of a game: listed, and found by its hashes (the first of
// two games that list one SHA-1, with a warning).
void Index::AddRom(const QXmlStreamAttributes& a, const QString& game, int gameIndex,
                   const QString& path, int* duplicates) {
    auto kept = std::make_unique<Rom>();
    Rom& rom = *kept;
    rom.game = game;
    rom.index = int(roms_.size());
    rom.gameIndex = gameIndex;
    rom.name = a.value(QLatin1String("name")).toString();
    rom.nodump = a.value(QLatin1String("status")) == u"nodump";
    bool ok = false;
    rom.size = a.value(QLatin1String("size")).toLongLong(&ok);
    if (!ok)
        rom.size = -1;
    Sha1 sha1{};
    Md5 md5{};
    std::array<std::uint8_t, 4> crc{};
    const bool hasSha1 = FromHex(a.value(QLatin1String("sha1")), &sha1);
    const bool hasMd5 = FromHex(a.value(QLatin1String("md5")), &md5);
    const bool hasCrc = FromHex(a.value(QLatin1String("crc")), &crc);
    const std::uint32_t crcValue = std::uint32_t(crc[0]) << 24 | std::uint32_t(crc[1]) << 16 |
                                   std::uint32_t(crc[2]) << 8 | crc[3];
    if (gameIndex >= 0 && Repeated(gameIndex, rom, hasSha1 ? &sha1 : nullptr,
                                   hasMd5 ? &md5 : nullptr, crcValue, hasCrc)) {
        romOfElement_.push_back(-1);
        return;
    }
    romOfElement_.push_back(rom.index);
    if (gameIndex >= 0)
        games_[std::size_t(gameIndex)].roms.push_back(rom.index);
    if (!rom.name.isEmpty())
        gameByName_.try_emplace(rom.name, gameIndex);
    roms_.push_back(std::move(kept));
    // A ROM never dumped matches nothing.
    if (rom.nodump)
        return;
    const Rom* listed = roms_.back().get();
    if (hasCrc && rom.size >= 0)
        byAnyCrc_.try_emplace(CrcKey{crcValue, rom.size}, listed);
    if (hasSha1) {
        const auto [at, added] = bySha1_.try_emplace(sha1, listed);
        if (!added && at->second->game != rom.game && ++*duplicates <= MostWarnings)
            warnings_.append(QStringLiteral("%1 lists the SHA-1 %2 for \"%3\" and for \"%4\"; "
                                            "\"%3\" is the one matched")
                                 .arg(SafeFile::Printable(path),
                                      a.value(QLatin1String("sha1")).toString().toLower(),
                                      SafeFile::Printable(at->second->game),
                                      SafeFile::Printable(rom.game)));
    } else if (hasMd5) {
        byMd5_.try_emplace(md5, listed);
    } else if (hasCrc && rom.size >= 0) {
        byCrc_.try_emplace(CrcKey{crcValue, rom.size}, listed);
    } else if (hasCrc) {
        byCrcAlone_.try_emplace(crcValue, listed);
    }
}

// The ROM of a game listed again that it lists already: the same name and
// size, and no hash that says otherwise.
const Rom* Index::Repeated(int game, const Rom& rom, const Sha1* sha1, const Md5* md5,
                           std::uint32_t crc, bool hasCrc) const {
    if (gameOfElement_.empty() || gameOfElement_.back() >= 0)
        return nullptr; // the game's first listing may list a ROM twice
    const Rom* same = nullptr;
    if (sha1) {
        same = At(bySha1_, *sha1);
    } else if (md5) {
        same = At(byMd5_, *md5);
    } else if (hasCrc && rom.size >= 0) {
        same = At(byAnyCrc_, CrcKey{crc, rom.size});
    } else {
        for (const int other : games_[std::size_t(game)].roms)
            if (roms_[std::size_t(other)]->name == rom.name)
                same = roms_[std::size_t(other)].get();
    }
    return same && same->gameIndex == game && same->size == rom.size ? same : nullptr;
}

bool Index::Dumpable(int game) const {
    const std::vector<int>& roms = games_[std::size_t(game)].roms;
    return std::any_of(roms.begin(), roms.end(),
                       [this](int rom) { return !roms_[std::size_t(rom)]->nodump; });
}

bool XmlFeed::Next(QXmlStreamReader& xml) {
    for (;;) {
        xml.readNext();
        if (xml.error() != QXmlStreamReader::PrematureEndOfDocumentError ||
            offset_ >= source_.Size())
            return !xml.atEnd() && !xml.hasError();
        // More of the file, a piece at a time.
        const std::int64_t n = std::min(Piece, source_.Size() - offset_);
        piece_.resize(qsizetype(n));
        if (!source_.ReadAt(offset_, piece_.data(), n))
            return unreadable_ = true, false;
        offset_ += n;
        xml.addData(piece_);
    }
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

const Rom* Index::BySha1(const QString& hex) const {
    return ByDigest(bySha1_, hex);
}

const Rom* Index::ByCrc(const QString& hex, std::int64_t size, bool sha1Less) const {
    bool ok = false;
    const std::uint32_t crc = hex.toUInt(&ok, 16);
    if (!ok || hex.size() != 8)
        return nullptr;
    if (const Rom* rom = At(sha1Less ? byCrc_ : byAnyCrc_, CrcKey{crc, size}))
        return rom;
    return sha1Less ? At(byCrcAlone_, crc) : nullptr;
}

const Rom* Index::ByMd5(const QString& hex) const {
    return ByDigest(byMd5_, hex);
}

Found Index::Find(const RomInspector::Report& report) const {
    if (!report.Inspected() || report.sha1.isEmpty())
        return {};
    if (const Rom* rom = BySha1(report.sha1))
        return {rom, Form::Plain};
    if (const Rom* rom = report.rawSha1.isEmpty() ? nullptr : BySha1(report.rawSha1))
        return {rom, Form::Raw};
    if (const Rom* rom = report.md5.isEmpty() ? nullptr : ByMd5(report.md5))
        return {rom, Form::Plain};
    if (const Rom* rom = ByCrc(report.crc32, report.plainSize, true))
        return {rom, Form::Plain};
    if (const Rom* rom =
            report.rawCrc32.isEmpty() ? nullptr : ByCrc(report.rawCrc32, report.size, true))
        return {rom, Form::Raw};
    return {};
}

const Rom* Index::SameCrc(const RomInspector::Report& report) const {
    if (!report.Inspected() || report.crc32.isEmpty())
        return nullptr;
    if (const Rom* rom = ByCrc(report.crc32, report.plainSize, false))
        return rom;
    return report.rawCrc32.isEmpty() ? nullptr : ByCrc(report.rawCrc32, report.size, false);
}

int Index::GameNamed(const QString& name) const {
    const auto found = gameByName_.find(name);
    return found == gameByName_.end() ? -1 : found->second;
}

} // namespace DatFile
