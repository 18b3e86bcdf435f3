#include "AuditReport.h"

#include "SafeFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace Audit {

namespace {

// The version of the audit's JSON document, which changes when a key
// changes its meaning or goes.
constexpr int AuditSchema = 1;

QString GameName(const DatFile::Index& index, int game) {
    const QString name = index.GameName(game);
    return name.isEmpty() ? QStringLiteral("(a game with no name)") : SafeFile::Printable(name);
}

QString RomNames(const DatFile::Index& index, const std::vector<int>& roms) {
    QStringList names;
    for (const int rom : roms)
        names << SafeFile::Printable(index.RomAt(rom).name);
    return names.join(QStringLiteral(", "));
}

} // namespace

void TextReport(const DatFile::Index& index, const Result& r,
                const std::function<void(const QString& line)>& take) {
    auto line = [&take](const char* label, const QString& text) {
        take(QString::fromLatin1(label).leftJustified(10) + QLatin1Char(' ') + text +
             QLatin1Char('\n'));
    };
    for (const Have& have : r.have)
        line("have", GameName(index, index.RomAt(have.rom).gameIndex) + ": " +
                         SafeFile::Printable(have.file) + " (" + LayoutName(have.layout) + ", " +
                         DatFile::FormName(have.form) + ")");
    for (const Incomplete& game : r.incomplete)
        line("incomplete", GameName(index, game.game) + ": lacks " + RomNames(index, game.roms));
    for (const int game : r.missing)
        line("missing", GameName(index, game));
    for (const Bad& bad : r.bad)
        line("bad dump", GameName(index, bad.game) + ": " + SafeFile::Printable(bad.file) + " (" +
                             bad.why + ")");
    for (const QString& file : r.unknown)
        line("unknown", SafeFile::Printable(file));
    for (const Duplicate& d : r.duplicates) {
        QStringList files;
        for (const QString& file : d.files)
            files << SafeFile::Printable(file);
        line("duplicate", GameName(index, index.RomAt(d.rom).gameIndex) + ": " +
                              files.join(QStringLiteral(", ")));
    }
}

QString TextReport(const DatFile::Index& index, const Result& r) {
    QString out;
    TextReport(index, r, [&out](const QString& line) { out += line; });
    return out;
}

QByteArray JsonReport(const DatFile::Index& index, const Result& r, const Wording& words) {
    auto gameOf = [&](int game) { return index.GameName(game); };
    QJsonObject o;
    o["schema"] = AuditSchema;
    o["dats"] = QJsonArray::fromStringList(index.Paths());
    o["games"] = double(index.Games());
    QJsonArray have;
    for (const Have& h : r.have) {
        const DatFile::Rom& rom = index.RomAt(h.rom);
        have.append(QJsonObject{{"game", rom.game},
                                {"rom", rom.name},
                                {"file", SafeFile::Printable(h.file)},
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
    for (const Incomplete& game : r.incomplete) {
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
    for (const Bad& b : r.bad)
        bad.append(QJsonObject{
            {"game", gameOf(b.game)}, {"file", SafeFile::Printable(b.file)}, {"why", b.why}});
    o["bad_dumps"] = bad;
    QJsonArray unknown;
    for (const QString& file : r.unknown)
        unknown.append(SafeFile::Printable(file));
    o["unknown"] = unknown;
    QJsonArray duplicates;
    for (const Duplicate& d : r.duplicates) {
        QJsonArray files;
        for (const QString& file : d.files)
            files.append(SafeFile::Printable(file));
        const DatFile::Rom& rom = index.RomAt(d.rom);
        duplicates.append(QJsonObject{{"game", rom.game}, {"rom", rom.name}, {"files", files}});
    }
    o["duplicates"] = duplicates;
    QJsonArray unreadable;
    for (const Unreadable& u : r.unreadable)
        unreadable.append(QJsonObject{{"file", SafeFile::Printable(u.file)},
                                      {"error", words ? words(u.why) : u.why.Text()}});
    o["unreadable"] = unreadable;
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

QString Summary(const DatFile::Index& index, const Result& r) {
    return QStringLiteral("%1 games in the DAT files: %2 had, %3 incomplete, %4 missing, %5 bad "
                          "dumps, %6 never dumped; %7 unknown files, %8 duplicates")
        .arg(qint64(index.Games()))
        .arg(qint64(r.gamesHad.size()))
        .arg(qint64(r.incomplete.size()))
        .arg(qint64(r.missing.size()))
        .arg(qint64(r.bad.size()))
        .arg(qint64(r.undumped.size()))
        .arg(qint64(r.unknown.size()))
        .arg(qint64(r.duplicates.size()));
}

} // namespace Audit
