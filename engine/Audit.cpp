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
        const std::vector<int>& roms = games[g].roms;
        const bool had = !roms.empty() && std::all_of(roms.begin(), roms.end(), [&](int rom) {
            return !filesOfRom_[std::size_t(rom)].empty();
        });
        if (had)
            result_.gamesHad.push_back(int(g));
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

EngineError WriteFixdat(const DatFile::Index& index, const std::vector<int>& games,
                        const QString& path) {
    std::vector<bool> wanted(index.Games().size(), false);
    for (const int game : games)
        wanted[std::size_t(game)] = true;
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.setAutoFormatting(true);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("datafile"));
    int game = -1;
    for (qsizetype dat = 0; dat < index.Paths().size(); ++dat) {
        QXmlStreamReader xml;
        int depth = 0;     // of the element being read, the root's being 1
        int copyFrom = 0;  // the depth of the element copied, or 0
        bool name = false; // in the header's <name>
        const bool read = ReadDat(index.Paths().at(dat), xml, [&] {
            if (xml.isStartElement()) {
                ++depth;
                const QStringView element = xml.name();
                if (depth == 2 && (element == u"game" || element == u"machine") &&
                    wanted[std::size_t(++game)])
                    copyFrom = depth;
                else if (depth == 2 && element == u"header" && dat == 0)
                    copyFrom = depth;
                name = copyFrom != 0 && depth == 3 && element == u"name";
                if (copyFrom)
                    w.writeCurrentToken(xml);
                return;
            }
            if (xml.isEndElement()) {
                if (copyFrom)
                    w.writeCurrentToken(xml);
                if (depth == copyFrom)
                    copyFrom = 0;
                name = false;
                --depth;
                return;
            }
            if (!copyFrom || xml.isWhitespace() || xml.isStartDocument() || xml.isEndDocument() ||
                xml.isDTD())
                return;
            // The fixdat's own name: the header's, said to be one.
            if (name && xml.isCharacters() && game < 0)
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
    if (!writer.Open(path, SafeFile::Existing::ReplaceAny) ||
        !writer.Write(out.constData(), out.size()) || !writer.Commit())
        return {Code::FixdatFailed, writer.Error().detail, path};
    return {};
}

} // namespace Audit
