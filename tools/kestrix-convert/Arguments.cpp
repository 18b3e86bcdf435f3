#include "Arguments.h"

#include "Output.h"
#include "SafeFile.h"

namespace {

std::optional<Job> ParseCommand(const QString& word) {
    static const struct {
        const char* word;
        Job job;
    } commands[] = {
        {"smd2bin", {Command::Mode, SMDtoBIN, RomLayout::Plain}},
        {"bin2smd", {Command::Mode, BINtoSMD, RomLayout::Smd}},
        {"md2bin", {Command::Mode, MDtoBIN, RomLayout::Plain}},
        {"bin2md", {Command::Mode, BINtoMD, RomLayout::Md}},
        {"to-bin", {Command::ToLayout, SMDtoBIN, RomLayout::Plain}},
        {"to-smd", {Command::ToLayout, BINtoSMD, RomLayout::Smd}},
        {"to-md", {Command::ToLayout, BINtoMD, RomLayout::Md}},
        {"info", {Command::Info, SMDtoBIN, RomLayout::Unknown}},
        {"fix-checksum", {Command::FixChecksum, SMDtoBIN, RomLayout::Unknown}},
        {"trim", {Command::Trim, SMDtoBIN, RomLayout::Unknown}},
    };
    for (const auto& c : commands)
        if (word == QLatin1String(c.word))
            return c.job;
    return std::nullopt;
}

} // namespace

int UsageError(const QString& why) {
    Err() << "kestrix-convert: " << why << "\n"
          << "Try 'kestrix-convert --help' for more information.\n";
    return ExitUsage;
}

QString Shown(const QString& name) {
    return SafeFile::Printable(name);
}

std::optional<Arguments> ParseArguments(const QStringList& words, int* status) {
    Arguments a;
    QStringList positional;
    bool optionsEnd = false;
    bool help = false;
    bool version = false;
    // Which options were given, for the checks of what goes together.
    QStringList given;
    auto usage = [status](const QString& why) {
        *status = UsageError(why);
        return std::nullopt;
    };

    // Options without a value, by long name, and their short letter.
    struct Flag {
        const char* name;
        QChar letter;
        bool* target;
    };
    const Flag flags[] = {
        {"overwrite", QChar(), &a.overwrite},
        {"in-place", QChar(), &a.inPlace},
        {"force", QChar(), &a.force},
        {"verify", QChar(), &a.verify},
        {"json", QChar(), &a.json},
        {"dat-names", QChar(), &a.datNames},
        {"zip", QChar(), &a.zip},
        {"full-stem", QChar(), &a.fullStem},
        {"recursive", 'r', &a.recursive},
        {"null", '0', &a.null},
        {"quiet", 'q', &a.quiet},
        {"help", 'h', &help},
        {"version", QChar(), &version},
    };
    // Options that take a value: what they need, and where it goes.
    auto takeValue = [&](const QString& name, const QString& value) {
        if (name == QLatin1String("output"))
            a.output = value;
        else if (name == QLatin1String("dat"))
            a.dats << value;
        else if (name == QLatin1String("files-from"))
            a.filesFrom = value, a.filesFromSet = true;
        else if (name == QLatin1String("jobs")) {
            bool ok = false;
            a.jobs = value.toInt(&ok);
            if (!ok || a.jobs < 1 || a.jobs > 1024)
                a.jobs = -1;
        }
        given << name;
    };
    auto needs = [](const QString& name) {
        return name == QLatin1String("output")       ? QStringLiteral("a folder")
               : name == QLatin1String("dat")        ? QStringLiteral("a DAT file")
               : name == QLatin1String("files-from") ? QStringLiteral("a file")
               : name == QLatin1String("jobs")       ? QStringLiteral("a number")
                                                     : QString();
    };

    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& word = words.at(i);
        if (optionsEnd || word == QLatin1String("-") || !word.startsWith(QLatin1Char('-'))) {
            positional << word;
            continue;
        }
        if (word == QLatin1String("--")) {
            optionsEnd = true;
            continue;
        }
        if (word.startsWith(QLatin1String("--"))) {
            const qsizetype equals = word.indexOf(QLatin1Char('='));
            const QString name = word.mid(2, equals < 0 ? -1 : equals - 2);
            if (!needs(name).isEmpty()) {
                if (equals >= 0)
                    takeValue(name, word.mid(equals + 1));
                else if (i + 1 < words.size())
                    takeValue(name, words.at(++i));
                else
                    return usage(
                        QStringLiteral("option '%1' needs %2").arg(Shown(word), needs(name)));
                continue;
            }
            bool known = false;
            for (const Flag& f : flags)
                if (name == QLatin1String(f.name) && equals < 0) {
                    *f.target = known = true;
                    given << name;
                }
            if (!known)
                return usage(QStringLiteral("unknown option '%1'").arg(Shown(word)));
            continue;
        }
        // Short options, alone or together: -r, -rq, -o DIR, -oDIR, -rqoDIR.
        for (qsizetype k = 1; k < word.size(); ++k) {
            const QChar letter = word.at(k);
            if (letter == QLatin1Char('o') || letter == QLatin1Char('j')) {
                const QString name =
                    letter == QLatin1Char('o') ? QStringLiteral("output") : QStringLiteral("jobs");
                if (k + 1 < word.size())
                    takeValue(name, word.mid(k + 1));
                else if (i + 1 < words.size())
                    takeValue(name, words.at(++i));
                else
                    return usage(
                        QStringLiteral("option '-%1' needs %2").arg(letter).arg(needs(name)));
                break;
            }
            bool known = false;
            for (const Flag& f : flags)
                if (!f.letter.isNull() && letter == f.letter) {
                    *f.target = known = true;
                    given << QString::fromLatin1(f.name);
                }
            if (!known)
                return usage(QStringLiteral("unknown option '%1'").arg(Shown(word)));
        }
    }

    if (help) {
        Out() << UsageText;
        *status = ExitConverted;
        return std::nullopt;
    }
    if (version) {
        Out() << "kestrix-convert " << KESTRIX_VERSION << "\n";
        *status = ExitConverted;
        return std::nullopt;
    }
    if (positional.isEmpty()) {
        Err() << "kestrix-convert: no mode given\n\n" << UsageText;
        *status = ExitUsage;
        return std::nullopt;
    }
    const std::optional<Job> job = ParseCommand(positional.constFirst());
    if (!job)
        return usage(QStringLiteral("unknown mode '%1'").arg(Shown(positional.constFirst())));
    a.job = *job;
    a.files = positional.mid(1);
    if (a.files.isEmpty() && !a.filesFromSet)
        return usage(QStringLiteral("no files given"));
    if (a.jobs < 0)
        return usage(QStringLiteral("-j needs a number from 1 to 1024"));

    auto forbid = [&](const char* option, const QString& why) -> bool {
        return given.contains(QLatin1String(option)) && (usage(why), true);
    };
    if (a.job.command == Command::Info) {
        for (const char* o : {"output", "overwrite", "force", "verify", "dat-names", "zip",
                              "full-stem", "recursive", "in-place"})
            if (forbid(o, QStringLiteral("info takes no option --%1").arg(QLatin1String(o))))
                return std::nullopt;
        return a;
    }
    if (forbid("json", QStringLiteral("--json goes with info")) ||
        forbid("jobs", QStringLiteral("-j goes with info")))
        return std::nullopt;
    const bool repair = a.job.command == Command::FixChecksum || a.job.command == Command::Trim;
    if (repair) {
        for (const char* o : {"dat", "dat-names", "zip", "full-stem"})
            if (forbid(o, QStringLiteral("--%1 goes with conversions").arg(QLatin1String(o))))
                return std::nullopt;
        if (a.job.command == Command::FixChecksum &&
            forbid("force", QStringLiteral("--force goes with a fixed mode or trim")))
            return std::nullopt;
        if (a.inPlace && forbid("output", QStringLiteral("--in-place and -o exclude each other")))
            return std::nullopt;
        return a;
    }
    if (forbid("in-place", QStringLiteral("--in-place goes with fix-checksum or trim")))
        return std::nullopt;
    if (a.job.command == Command::ToLayout &&
        forbid("force", QStringLiteral("--force goes with a fixed mode")))
        return std::nullopt;
    if (a.datNames && a.job.command != Command::ToLayout)
        return usage(QStringLiteral("--dat-names goes with to-bin, to-smd or to-md"));
    if (a.datNames != !a.dats.isEmpty())
        return usage(QStringLiteral("--dat and --dat-names go together outside info"));
    return a;
}
