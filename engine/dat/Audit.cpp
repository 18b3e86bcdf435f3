#include "Audit.h"

#include "Archive.h"
#include "FileFunctions.h"
#include "SafeFile.h"

#include <QPair>
#include <QSet>
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
    std::unique_ptr<SafeFile::Source> source;
    if (DatFile::Open(path, &source).Failed())
        return false;
    QByteArray piece;
    for (std::int64_t offset = 0;;) {
        xml.readNext();
        if (xml.error() == QXmlStreamReader::PrematureEndOfDocumentError &&
            offset < source->Size()) {
            // More of the file, a piece at a time.
            const std::int64_t n = std::min<std::int64_t>(1 << 20, source->Size() - offset);
            piece.resize(qsizetype(n));
            if (!source->ReadAt(offset, piece.data(), n))
                return false;
            offset += n;
            xml.addData(piece);
            continue;
        }
        if (xml.atEnd() || xml.hasError())
            return !xml.hasError();
        take();
    }
}

} // namespace

QStringList OnceEach(const QStringList& paths, std::vector<SafeFile::FileId>* ids) {
    QStringList files;
    QSet<QPair<quint64, quint64>> seen;
    for (const QString& path : paths) {
        const SafeFile::FileId id =
            path == QLatin1String("-") ? SafeFile::FileId() : SafeFile::IdentityOf(path);
        if (id.IsValid()) {
            if (seen.contains({id.device, id.inode}))
                continue;
            seen.insert({id.device, id.inode});
        }
        files << path;
        ids->push_back(id);
    }
    return files;
}

QString ReadByAudit(const QString& path, const QStringList& dats, const QStringList& files,
                    const std::vector<SafeFile::FileId>& ids) {
    const SafeFile::FileId written = SafeFile::IdentityOf(path);
    if (!written.IsValid())
        return QString();
    for (const QString& dat : dats)
        if (dat != QLatin1String("-") && SafeFile::IdentityOf(dat) == written)
            return QStringLiteral("it is the DAT file %1, which this run reads")
                .arg(SafeFile::Quoted(dat));
    for (std::size_t i = 0; i < ids.size(); ++i)
        if (ids[i] == written)
            return QStringLiteral("it is %1, which this run audits")
                .arg(SafeFile::Quoted(files.at(qsizetype(i))));
    return QString();
}

Result Check(const DatFile::Index& index, const QStringList& files,
             RomInspector::InspectionThreads& threads,
             const RomInspector::StandardInput& standardInput, const QString& stdinName,
             const std::function<void(const RomInspector::Report&)>& seen,
             const std::atomic<bool>* stop, FingerprintCache* cache) {
    Collector collector(index);
    RomInspector::InspectFiles(
        files, threads, standardInput, stdinName,
        [&](const RomInspector::Report& report) {
            collector.Add(report);
            if (seen)
                seen(report);
        },
        true, stop, index.ListsMd5(), cache);
    return collector.Finish();
}

Collector::Collector(const DatFile::Index& index)
    : index_(index), filesOfRom_(std::size_t(index.Roms())),
      badGame_(std::size_t(index.Games()), false) {}

void Collector::Add(const RomInspector::Report& report) {
    if (!report.Inspected()) {
        result_.unreadable.push_back({report.file, report.error});
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
    if (const std::optional<DatFile::Rom> rom = index_.SameCrc(report)) {
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
    for (std::size_t g = 0; g < std::size_t(index_.Games()); ++g) {
        if (!index_.Dumpable(int(g))) {
            result_.undumped.push_back(int(g));
            continue;
        }
        Incomplete lacking{int(g), {}};
        bool any = false;
        for (const int rom : index_.RomsOf(int(g))) {
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
        for (const int rom : index.RomsOf(game))
            if (!index.RomAt(rom).nodump)
                roms.push_back(rom);
    for (const Incomplete& game : incomplete)
        roms.insert(roms.end(), game.roms.begin(), game.roms.end());
    std::sort(roms.begin(), roms.end());
    return roms;
}

namespace {

// Copies the DATs' games and ROMs that are wanted into a fixdat, token by
// token, as the DATs are read again in order.
class FixdatCopy {
public:
    FixdatCopy(const DatFile::Index& index, const std::vector<int>& roms, QByteArray* out)
        : index_(index), wanted_(std::size_t(index.Games()), false),
          romWanted_(std::size_t(index.Roms()), false), w_(out) {
        for (const int rom : roms) {
            romWanted_[std::size_t(rom)] = true;
            wanted_[std::size_t(index.RomAt(rom).gameIndex)] = true;
        }
        w_.setAutoFormatting(true);
        w_.writeStartDocument();
        w_.writeStartElement(QStringLiteral("datafile"));
    }
    void Finish() {
        w_.writeEndElement();
        w_.writeEndDocument();
    }
    // The tokens of the DAT dat, as it is read.
    void Token(const QXmlStreamReader& xml, qsizetype dat) {
        if (xml.isStartElement())
            return Start(xml, dat);
        if (xml.isEndElement())
            return End(xml);
        if (!copyFrom_ || skipFrom_ || xml.isWhitespace() || xml.isStartDocument() ||
            xml.isEndDocument() || xml.isDTD())
            return;
        // The fixdat's own name: the header's, said to be one.
        if (name_ && xml.isCharacters() && !inGame_)
            w_.writeCharacters(xml.text().toString() + QStringLiteral(" (fixdat)"));
        else
            w_.writeCurrentToken(xml);
    }
    // A new DAT is read, whose elements begin at these numbers.
    void Next(std::pair<int, int> first) {
        depth_ = copyFrom_ = skipFrom_ = 0, name_ = false;
        element_ = first.first - 1;
        romElement_ = first.second - 1;
    }
    // A DAT in the text form: its header's name, and its games wanted, as
    // the index holds them.
    void FromIndex(int dat) {
        if (dat == 0) {
            w_.writeStartElement(QStringLiteral("header"));
            w_.writeTextElement(QStringLiteral("name"),
                                index_.SetName(dat) + QStringLiteral(" (fixdat)"));
            w_.writeEndElement();
        }
        for (int game = 0; game < index_.Games(); ++game) {
            if (!wanted_[std::size_t(game)] || index_.DatOf(game) != dat)
                continue;
            w_.writeStartElement(QStringLiteral("game"));
            w_.writeAttribute(QStringLiteral("name"), index_.GameName(game));
            w_.writeTextElement(QStringLiteral("description"), index_.GameName(game));
            for (const int r : index_.RomsOf(game)) {
                if (!romWanted_[std::size_t(r)])
                    continue;
                const DatFile::Rom rom = index_.RomAt(r);
                w_.writeEmptyElement(QStringLiteral("rom"));
                w_.writeAttribute(QStringLiteral("name"), rom.name);
                if (rom.size >= 0)
                    w_.writeAttribute(QStringLiteral("size"), QString::number(rom.size));
                for (const auto& [key, value] : {std::pair(QStringLiteral("crc"), rom.crc),
                                                 std::pair(QStringLiteral("md5"), rom.md5),
                                                 std::pair(QStringLiteral("sha1"), rom.sha1)})
                    if (!value.isEmpty())
                        w_.writeAttribute(key, value);
            }
            w_.writeEndElement();
        }
    }

private:
    void Start(const QXmlStreamReader& xml, qsizetype dat) {
        ++depth_;
        const QStringView tag = xml.name();
        if (tag == u"rom")
            ++romElement_;
        if (skipFrom_)
            return;
        if (depth_ == 2 && (tag == u"game" || tag == u"machine")) {
            // A game listed again is written once, as first listed.
            const int game = index_.GameOfElement(++element_);
            inGame_ = true;
            if (game >= 0 && wanted_[std::size_t(game)])
                copyFrom_ = depth_;
        } else if (depth_ == 2 && tag == u"header" && dat == 0) {
            copyFrom_ = depth_;
        } else if (copyFrom_ && tag == u"rom") {
            // Only the ROMs the collection lacks.
            const int rom = index_.RomOfElement(romElement_);
            if (rom < 0 || !romWanted_[std::size_t(rom)]) {
                skipFrom_ = depth_;
                return;
            }
        }
        name_ = copyFrom_ != 0 && depth_ == 3 && tag == u"name";
        if (copyFrom_)
            w_.writeCurrentToken(xml);
    }
    void End(const QXmlStreamReader& xml) {
        if (skipFrom_) {
            if (depth_-- == skipFrom_)
                skipFrom_ = 0;
            return;
        }
        if (copyFrom_)
            w_.writeCurrentToken(xml);
        if (depth_ == copyFrom_)
            copyFrom_ = 0;
        name_ = false;
        --depth_;
    }

    const DatFile::Index& index_;
    std::vector<bool> wanted_;
    std::vector<bool> romWanted_;
    QXmlStreamWriter w_;
    int element_ = -1;    // the <game> elements, in the DATs' order
    int romElement_ = -1; // the <rom> elements
    bool inGame_ = false; // a game has been read (the header is before them)
    int depth_ = 0;       // of the element being read, the root's being 1
    int copyFrom_ = 0;    // the depth of the element copied, or 0
    int skipFrom_ = 0;    // the depth of a ROM left out of a game copied, or 0
    bool name_ = false;   // in the header's <name>
};

} // namespace

EngineError WriteFixdat(const DatFile::Index& index, const std::vector<int>& roms,
                        const QString& path, bool overwrite) {
    QByteArray out;
    FixdatCopy copy(index, roms, &out);
    for (qsizetype dat = 0; dat < index.Paths().size(); ++dat) {
        if (index.InTextForm(int(dat))) {
            copy.FromIndex(int(dat));
            continue;
        }
        QXmlStreamReader xml;
        copy.Next(index.FirstElements(int(dat)));
        if (!ReadDat(index.Paths().at(dat), xml, [&] { copy.Token(xml, dat); }))
            return {Code::FixdatFailed,
                    QStringLiteral("%1 cannot be read again")
                        .arg(SafeFile::Printable(index.Paths().at(dat))),
                    path};
    }
    copy.Finish();
    SafeFile::Writer writer;
    if (!writer.Open(path, overwrite ? SafeFile::Existing::ReplaceAny : SafeFile::Existing::Keep) ||
        !writer.Write(out.constData(), out.size()) || !writer.Commit())
        return {Code::FixdatFailed, writer.Error().detail, path};
    return {};
}

} // namespace Audit
