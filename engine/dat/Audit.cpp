#include "Audit.h"

#include "Archive.h"
#include "FileFunctions.h"
#include "SafeFile.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>

namespace Audit {

namespace {

using Code = EngineError::Code;

// The file's own name: an archive's entry's, or the last part of a path.
QString OwnName(const QString& file) {
    const qsizetype entry = file.lastIndexOf(QLatin1Char(':'));
    return Archive::OwnName(entry > 1 ? file.mid(entry + 1) : file);
}

// Reads a DAT file's tokens in order, handing each on; false when the
// file cannot be read, or is not well-formed any more.
template <typename Take> bool ReadDat(const QString& path, QXmlStreamReader& xml, Take take) {
    const SafeFile::Source source(path);
    if (!source.IsOpen())
        return false;
    DatFile::XmlFeed feed(source);
    while (feed.Next(xml))
        take();
    return !feed.Unreadable() && !xml.hasError();
}

} // namespace

Collector::Collector(const DatFile::Index& index)
    : index_(index), filesOfRom_(std::size_t(index.Roms())), badGame_(index.Games().size(), false) {
}

void Collector::Add(const RomInspector::Report& report) {
    if (!report.Inspected()) {
        result_.unreadable.push_back({report.file, report.error.Text()});
        return;
    }
    // A read-me or a picture beside the images in an archive is no dump.
    if (report.size < 0 && report.sha1.isEmpty())
        return;
    if (const DatFile::Found found = index_.Find(report); found.rom) {
        filesOfRom_[std::size_t(found.rom->index)].push_back(int(result_.have.size()));
        result_.have.push_back({found.rom->index, report.file, report.layout, found.form});
        return;
    }
    // The size and CRC32 of a ROM the DATs list, or its name, with other
    // content: a bad dump of that game.
    if (const DatFile::Rom* rom = index_.SameCrc(report)) {
        result_.bad.push_back({rom->gameIndex, report.file,
                               QStringLiteral("its size and CRC32 are those of %1, its SHA-1 "
                                              "differs")
                                   .arg(SafeFile::Printable(rom->name))});
        badGame_[std::size_t(rom->gameIndex)] = true;
        return;
    }
    const QString name = OwnName(report.file);
    int game = index_.GameNamed(name);
    if (game < 0)
        game = index_.GameNamed(FileFunctions::GetFullStem(name));
    if (game >= 0) {
        result_.bad.push_back(
            {game, report.file,
             QStringLiteral("it is named as the game, but matches none of its ROMs")});
        badGame_[std::size_t(game)] = true;
        return;
    }
    result_.unknown.append(report.file);
}

Result Collector::Finish() {
    const std::vector<DatFile::Game>& games = index_.Games();
    for (std::size_t g = 0; g < games.size(); ++g) {
        if (!index_.Dumpable(int(g))) {
            result_.undumped.push_back(int(g));
            continue;
        }
        Incomplete lacking{int(g), {}};
        bool any = false;
        for (const int rom : games[g].roms) {
            if (index_.RomAt(rom).nodump)
                continue;
            if (filesOfRom_[std::size_t(rom)].empty())
                lacking.roms.push_back(rom);
            else
                any = true;
        }
        if (lacking.roms.empty())
            result_.gamesHad.push_back(int(g));
        else if (any)
            result_.incomplete.push_back(std::move(lacking));
        else if (!badGame_[g])
            result_.missing.push_back(int(g));
    }
    for (std::size_t rom = 0; rom < filesOfRom_.size(); ++rom) {
        if (filesOfRom_[rom].size() < 2)
            continue;
        Duplicate duplicate{int(rom), {}};
        for (const int have : filesOfRom_[rom])
            duplicate.files.append(result_.have[std::size_t(have)].file);
        result_.duplicates.push_back(duplicate);
    }
    // The report goes by game, in the DATs' order; a game's files in theirs.
    std::stable_sort(result_.have.begin(), result_.have.end(),
                     [](const Have& a, const Have& b) { return a.rom < b.rom; });
    return std::move(result_);
}

std::vector<int> Result::Wanted(const DatFile::Index& index) const {
    std::vector<int> roms;
    for (const int game : missing)
        for (const int rom : index.Games()[std::size_t(game)].roms)
            if (!index.RomAt(rom).nodump)
                roms.push_back(rom);
    for (const Incomplete& game : incomplete)
        roms.insert(roms.end(), game.roms.begin(), game.roms.end());
    std::sort(roms.begin(), roms.end());
    return roms;
}

EngineError WriteFixdat(const DatFile::Index& index, const std::vector<int>& roms,
                        const QString& path, bool overwrite) {
    std::vector<bool> wanted(index.Games().size(), false);
    std::vector<bool> romWanted(std::size_t(index.Roms()), false);
    for (const int rom : roms) {
        romWanted[std::size_t(rom)] = true;
        wanted[std::size_t(index.RomAt(rom).gameIndex)] = true;
    }
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.setAutoFormatting(true);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("datafile"));
    int element = -1;    // the <game> elements, in the DATs' order
    int romElement = -1; // the <rom> elements
    bool inGame = false; // a game has been read (the header is before them)
    for (qsizetype dat = 0; dat < index.Paths().size(); ++dat) {
        QXmlStreamReader xml;
        int depth = 0;     // of the element being read, the root's being 1
        int copyFrom = 0;  // the depth of the element copied, or 0
        int skipFrom = 0;  // the depth of a ROM left out of a game copied, or 0
        bool name = false; // in the header's <name>
        const bool read = ReadDat(index.Paths().at(dat), xml, [&] {
            if (xml.isStartElement()) {
                ++depth;
                const QStringView tag = xml.name();
                if (tag == u"rom")
                    ++romElement;
                if (skipFrom)
                    return;
                if (depth == 2 && (tag == u"game" || tag == u"machine")) {
                    // A game listed again is written once, as first listed.
                    const int game = index.GameOfElement(++element);
                    inGame = true;
                    if (game >= 0 && wanted[std::size_t(game)])
                        copyFrom = depth;
                } else if (depth == 2 && tag == u"header" && dat == 0) {
                    copyFrom = depth;
                } else if (copyFrom && tag == u"rom") {
                    // Only the ROMs the collection lacks.
                    const int rom = index.RomOfElement(romElement);
                    if (rom < 0 || !romWanted[std::size_t(rom)]) {
                        skipFrom = depth;
                        return;
                    }
                }
                name = copyFrom != 0 && depth == 3 && tag == u"name";
                if (copyFrom)
                    w.writeCurrentToken(xml);
                return;
            }
            if (xml.isEndElement()) {
                if (skipFrom) {
                    if (depth-- == skipFrom)
                        skipFrom = 0;
                    return;
                }
                if (copyFrom)
                    w.writeCurrentToken(xml);
                if (depth == copyFrom)
                    copyFrom = 0;
                name = false;
                --depth;
                return;
            }
            if (!copyFrom || skipFrom || xml.isWhitespace() || xml.isStartDocument() ||
                xml.isEndDocument() || xml.isDTD())
                return;
            // The fixdat's own name: the header's, said to be one.
            if (name && xml.isCharacters() && !inGame)
                w.writeCharacters(xml.text().toString() + QStringLiteral(" (fixdat)"));
            else
                w.writeCurrentToken(xml);
        });
        if (!read)
            return {Code::FixdatFailed,
                    QStringLiteral("%1 cannot be read again")
                        .arg(SafeFile::Printable(index.Paths().at(dat))),
                    path};
    }
    w.writeEndElement();
    w.writeEndDocument();
    SafeFile::Writer writer;
    if (!writer.Open(path, overwrite ? SafeFile::Existing::ReplaceAny : SafeFile::Existing::Keep) ||
        !writer.Write(out.constData(), out.size()) || !writer.Commit())
        return {Code::FixdatFailed, writer.Error().detail, path};
    return {};
}

} // namespace Audit
