#include "AuditRun.h"

#include "Audit.h"
#include "Info.h"
#include "InspectFiles.h"
#include "Output.h"
#include "SafeFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace {

// The version of the audit's JSON document, which changes when a key
// changes its meaning or goes.
constexpr int AuditSchema = 1;

QString GameName(const DatFile::Index& index, int game) {
    const QString& name = index.Games()[std::size_t(game)].name;
    return name.isEmpty() ? QStringLiteral("(a game with no name)") : SafeFile::Printable(name);
}

QString RomNames(const DatFile::Index& index, const std::vector<int>& roms) {
    QStringList names;
    for (const int rom : roms)
        names << SafeFile::Printable(index.RomAt(rom).name);
    return names.join(QStringLiteral(", "));
}

void Text(const DatFile::Index& index, const Audit::Result& r) {
    auto line = [](const char* label, const QString& text) {
        Out() << QString::fromLatin1(label).leftJustified(10) << " " << text << "\n";
    };
    for (const Audit::Have& have : r.have)
        line("have", GameName(index, index.RomAt(have.rom).gameIndex) + ": " + Shown(have.file) +
                         " (" + LayoutName(have.layout) + ", " + DatFile::FormName(have.form) +
                         ")");
    for (const Audit::Incomplete& game : r.incomplete)
        line("incomplete", GameName(index, game.game) + ": lacks " + RomNames(index, game.roms));
    for (const int game : r.missing)
        line("missing", GameName(index, game));
    for (const Audit::Bad& bad : r.bad)
        line("bad dump", GameName(index, bad.game) + ": " + Shown(bad.file) + " (" + bad.why + ")");
    for (const QString& file : r.unknown)
        line("unknown", Shown(file));
    for (const Audit::Duplicate& d : r.duplicates) {
        QStringList files;
        for (const QString& file : d.files)
            files << Shown(file);
        line("duplicate", GameName(index, index.RomAt(d.rom).gameIndex) + ": " +
                              files.join(QStringLiteral(", ")));
    }
    Out().Flush();
}

void Json(const DatFile::Index& index, const Audit::Result& r) {
    auto gameOf = [&](int game) { return index.Games()[std::size_t(game)].name; };
    QJsonObject o;
    o["schema"] = AuditSchema;
    o["dats"] = QJsonArray::fromStringList(index.Paths());
    o["games"] = double(index.Games().size());
    QJsonArray have;
    for (const Audit::Have& h : r.have) {
        const DatFile::Rom& rom = index.RomAt(h.rom);
        have.append(QJsonObject{{"game", rom.game},
                                {"rom", rom.name},
                                {"file", Shown(h.file)},
                                {"layout", LayoutName(h.layout)},
                                {"dat_match", DatFile::FormName(h.form)}});
    }
    o["have"] = have;
    QJsonArray had;
    for (const int game : r.gamesHad)
        had.append(gameOf(game));
    o["games_had"] = had;
    QJsonArray missing;
    for (const int game : r.missing)
        missing.append(gameOf(game));
    o["missing"] = missing;
    QJsonArray incomplete;
    for (const Audit::Incomplete& game : r.incomplete) {
        QJsonArray lacks;
        for (const int rom : game.roms)
            lacks.append(index.RomAt(rom).name);
        incomplete.append(QJsonObject{{"game", gameOf(game.game)}, {"lacks", lacks}});
    }
    o["incomplete"] = incomplete;
    QJsonArray undumped;
    for (const int game : r.undumped)
        undumped.append(gameOf(game));
    o["never_dumped"] = undumped;
    QJsonArray bad;
    for (const Audit::Bad& b : r.bad)
        bad.append(QJsonObject{{"game", gameOf(b.game)}, {"file", Shown(b.file)}, {"why", b.why}});
    o["bad_dumps"] = bad;
    QJsonArray unknown;
    for (const QString& file : r.unknown)
        unknown.append(Shown(file));
    o["unknown"] = unknown;
    QJsonArray duplicates;
    for (const Audit::Duplicate& d : r.duplicates) {
        QJsonArray files;
        for (const QString& file : d.files)
            files.append(Shown(file));
        const DatFile::Rom& rom = index.RomAt(d.rom);
        duplicates.append(QJsonObject{{"game", rom.game}, {"rom", rom.name}, {"files", files}});
    }
    o["duplicates"] = duplicates;
    QJsonArray unreadable;
    for (const Audit::Unreadable& u : r.unreadable)
        unreadable.append(QJsonObject{{"file", Shown(u.file)}, {"error", Told(u.why)}});
    o["unreadable"] = unreadable;
    Out() << QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Indented));
    Out().Flush();
}

// The files to inspect: each once, however many paths lead to it (a tree
// walked inside another, a name given twice, a link), so that no file is
// had twice or called a duplicate of itself; ids, beside them, say which.
QStringList OnceEach(const Gathered& gathered, std::vector<SafeFile::FileId>* ids) {
    QStringList files;
    QSet<QPair<quint64, quint64>> seen;
    for (const JobSource& file : gathered.files) {
        const SafeFile::FileId id =
            file.path == QLatin1String("-") ? SafeFile::FileId() : SafeFile::IdentityOf(file.path);
        if (id.IsValid()) {
            if (seen.contains({id.device, id.inode}))
                continue;
            seen.insert({id.device, id.inode});
        }
        files << file.path;
        ids->push_back(id);
    }
    return files;
}

// Why the fixdat may not be written where it is asked for, before anything
// is read: it would replace a file this run reads (a DAT, an image, the list
// of names), or, without --overwrite, any file at all.
QString FixdatRefused(const Arguments& a, const QStringList& files,
                      const std::vector<SafeFile::FileId>& ids) {
    const SafeFile::FileId fixdat = SafeFile::IdentityOf(a.fixdat);
    if (!fixdat.IsValid())
        return SafeFile::EntryExists(a.fixdat) && !a.overwrite
                   ? QStringLiteral("something of that name is there (use --overwrite to replace "
                                    "it)")
                   : QString();
    auto same = [&](const QString& path) {
        return path != QLatin1String("-") && SafeFile::IdentityOf(path) == fixdat;
    };
    for (const QString& dat : a.dats)
        if (same(dat))
            return QStringLiteral("it is the DAT file %1, which this run reads").arg(Quoted(dat));
    if (a.filesFromSet && same(a.filesFrom))
        return QStringLiteral("it is the list of files %1, which this run reads")
            .arg(Quoted(a.filesFrom));
    for (std::size_t i = 0; i < ids.size(); ++i)
        if (ids[i] == fixdat)
            return QStringLiteral("it is %1, which this run audits")
                .arg(Quoted(files.at(qsizetype(i))));
    if (!a.overwrite)
        return QStringLiteral("it already exists (use --overwrite to replace it)");
    return QString();
}

} // namespace

int AuditRun(const Arguments& a, const Gathered& gathered) {
    std::vector<SafeFile::FileId> ids;
    const QStringList files = OnceEach(gathered, &ids);
    if (!a.fixdat.isEmpty()) {
        if (const QString why = FixdatRefused(a, files, ids); !why.isEmpty()) {
            Message() << EngineError(EngineError::Code::FixdatFailed, why, a.fixdat).Text() << "\n";
            return ExitSomeFailed;
        }
    }
    DatFile::Index index;
    if (!LoadDats(a.dats, index))
        return ExitSomeFailed;
    Audit::Collector collector(index);
    // Both forms of each file are hashed: a DAT may list a dump as its file is.
    RomInspector::InspectionThreads threads(a.jobs);
    RomInspector::InspectFiles(
        files, threads, ReadStandardInput, a.name,
        [&](const RomInspector::Report& report) { collector.Add(report); }, true);
    const Audit::Result result = collector.Finish();
    for (const Audit::Unreadable& u : result.unreadable)
        Message() << "cannot inspect " << Quoted(u.file) << ": " << Told(u.why) << "\n";
    if (a.json)
        Json(index, result);
    else
        Text(index, result);
    bool written = true;
    if (!a.fixdat.isEmpty()) {
        if (const EngineError error =
                Audit::WriteFixdat(index, result.Wanted(index), a.fixdat, a.overwrite);
            error.Failed()) {
            Message() << error.Text() << "\n";
            written = false;
        }
    }
    if (!a.quiet)
        Message() << "audit: " << qint64(index.Games().size())
                  << " games in the DAT files: " << qint64(result.gamesHad.size()) << " had, "
                  << qint64(result.incomplete.size()) << " incomplete, "
                  << qint64(result.missing.size()) << " missing, " << qint64(result.bad.size())
                  << " bad dumps, " << qint64(result.undumped.size()) << " never dumped; "
                  << qint64(result.unknown.size()) << " unknown files, "
                  << qint64(result.duplicates.size()) << " duplicates\n";
    return result.Complete() && written && gathered.unreachable == 0 ? ExitConverted
                                                                     : ExitSomeFailed;
}
