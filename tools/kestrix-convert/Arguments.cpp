#include "Arguments.h"

#include "Output.h"
#include "SafeFile.h"

#include <QHash>

#include <algorithm>

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
    Message() << why << "\n"
              << "Try 'kestrix-convert --help' for more information.\n";
    return ExitUsage;
}

QString Shown(const QString& name) {
    return SafeFile::Printable(name);
}

QString Quoted(const QString& name) {
    return SafeFile::Quoted(name);
}

std::optional<Arguments> ParseArguments(const QStringList& words, int* status) {
    Arguments a;
    QStringList positional;
    bool optionsEnd = false;
    bool help = false;
    bool version = false;
    // Which options were given, by long name, and as the user typed each.
    QStringList given;
    QHash<QString, QString> typed;
    auto usage = [status](const QString& why) {
        *status = UsageError(why);
        return std::nullopt;
    };

    // Every option: its long name, what its value is (none for a flag), and
    // where it goes. Short letters are in Letters.
    struct Option {
        const char* name;
        const char* value; // what the value is, for messages; null for a flag
        bool* flag;
    };
    const Option options[] = {
        {"output", "a folder", nullptr},
        {"overwrite", nullptr, &a.overwrite},
        {"skip-existing", nullptr, &a.skipExisting},
        {"in-place", nullptr, &a.inPlace},
        {"force", nullptr, &a.force},
        {"verify", nullptr, &a.verify},
        {"dry-run", nullptr, &a.dryRun},
        {"recursive", nullptr, &a.recursive},
        {"files-from", "a file", nullptr},
        {"null", nullptr, &a.null},
        {"full-stem", nullptr, &a.fullStem},
        {"zip", nullptr, &a.zip},
        {"name", "a name", nullptr},
        {"quiet", nullptr, &a.quiet},
        {"json", nullptr, &a.json},
        {"dat", "a DAT file", nullptr},
        {"dat-names", nullptr, &a.datNames},
        {"jobs", "a number", nullptr},
        {"help", nullptr, &help},
        {"version", nullptr, &version},
    };
    static const struct {
        char letter;
        const char* name;
    } Letters[] = {{'o', "output"}, {'n', "dry-run"}, {'r', "recursive"}, {'0', "null"},
                   {'z', "null"},   {'q', "quiet"},   {'j', "jobs"},      {'h', "help"}};
    auto find = [&](const QString& name) -> const Option* {
        for (const Option& o : options)
            if (name == QLatin1String(o.name))
                return &o;
        return nullptr;
    };
    // Takes an option as typed; false (with the usage error made) when it
    // cannot be taken.
    bool failed = false;
    auto take = [&](const Option& o, const QString& as, const QString* value) {
        const QString name = QString::fromLatin1(o.name);
        given << name;
        typed.insert(name, as);
        if (o.flag) {
            *o.flag = true;
            return;
        }
        if (value->isEmpty()) {
            failed = true;
            usage(QStringLiteral("option '%1' needs %2").arg(as, QLatin1String(o.value)));
            return;
        }
        if (name == QLatin1String("output")) {
            a.output = *value;
        } else if (name == QLatin1String("dat")) {
            a.dats << *value;
        } else if (name == QLatin1String("files-from")) {
            a.filesFrom = *value, a.filesFromSet = true;
        } else if (name == QLatin1String("name")) {
            a.name = *value;
        } else if (name == QLatin1String("jobs")) {
            bool ok = false;
            a.jobs = value->toInt(&ok);
            if (!ok || a.jobs < 1 || a.jobs > 1024)
                a.jobs = -1;
        }
    };

    for (qsizetype i = 0; i < words.size() && !failed; ++i) {
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
            const QString as = QStringLiteral("--") + name;
            // A long option may be cut short while it names one alone.
            const Option* option = find(name);
            if (!option) {
                QStringList candidates;
                for (const Option& o : options)
                    if (!name.isEmpty() && QLatin1String(o.name).startsWith(name))
                        candidates << QStringLiteral("--") + QLatin1String(o.name);
                if (candidates.size() > 1)
                    return usage(QStringLiteral("option '%1' is ambiguous; possibilities: %2")
                                     .arg(Shown(as), candidates.join(QLatin1Char(' '))));
                if (candidates.isEmpty())
                    return usage(QStringLiteral("unknown option '%1'").arg(Shown(as)));
                option = find(candidates.constFirst().mid(2));
            }
            const QString full = QStringLiteral("--") + QLatin1String(option->name);
            if (option->flag && equals >= 0)
                return usage(QStringLiteral("option '%1' doesn't allow an argument").arg(full));
            QString value;
            if (!option->flag) {
                if (equals >= 0)
                    value = word.mid(equals + 1);
                else if (i + 1 < words.size())
                    value = words.at(++i);
            }
            take(*option, full, &value);
            continue;
        }
        // Short options, alone or together: -r, -rq, -o DIR, -oDIR, -rqoDIR.
        for (qsizetype k = 1; k < word.size() && !failed; ++k) {
            const QChar letter = word.at(k);
            const Option* option = nullptr;
            for (const auto& l : Letters)
                if (letter == QLatin1Char(l.letter))
                    option = find(QLatin1String(l.name));
            const QString as = QStringLiteral("-") + letter;
            if (!option)
                return usage(QStringLiteral("unknown option '%1'").arg(Shown(as)));
            QString value;
            if (!option->flag) {
                if (k + 1 < word.size())
                    value = word.mid(k + 1);
                else if (i + 1 < words.size())
                    value = words.at(++i);
                take(*option, as, &value);
                break;
            }
            take(*option, as, &value);
        }
    }
    if (failed)
        return std::nullopt;

    if (help) {
        Out() << UsageText;
        *status = ExitConverted;
        return std::nullopt;
    }
    if (version) {
        Out() << "kestrix-convert " << KESTRIX_VERSION << "\n" << VersionText;
        *status = ExitConverted;
        return std::nullopt;
    }
    if (positional.isEmpty()) {
        Err() << ShortUsage << "Try 'kestrix-convert --help' for more information.\n";
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

    if (a.overwrite && a.skipExisting)
        return usage(QStringLiteral("--overwrite and --skip-existing exclude each other"));
    // Standard input and output.
    if (a.files.count(QStringLiteral("-")) > 1)
        return usage(QStringLiteral("standard input (-) can be read once"));
    if (a.output == QLatin1String("-") && a.files.size() != 1)
        return usage(QStringLiteral("-o - writes one file to standard output: give one source"));
    if (a.output == QLatin1String("-") && (a.recursive || a.filesFromSet || a.zip))
        return usage(QStringLiteral("-o - writes one file to standard output: not with -r, "
                                    "--files-from or --zip"));
    if (a.files.contains(QStringLiteral("-")) && a.output != QLatin1String("-") &&
        a.name.isEmpty() && a.job.command != Command::Info)
        return usage(QStringLiteral("a source read from standard input (-) needs --name NAME, "
                                    "or -o - to write to standard output"));
    if (!a.name.isEmpty() && !a.files.contains(QStringLiteral("-")))
        return usage(QStringLiteral("--name names a source read from standard input (-)"));
    if (a.files.contains(QStringLiteral("-")) && a.filesFrom == QLatin1String("-"))
        return usage(QStringLiteral("standard input (-) can be read once"));
    if (a.ToStdout() && (a.verify || a.inPlace))
        return usage(QStringLiteral("-o - writes to standard output: not with ") +
                     (a.verify ? "--verify" : "--in-place"));
    // why may name the option as the user typed it (%1).
    auto forbid = [&](const char* option, const QString& why) -> bool {
        const QString name = QLatin1String(option);
        return given.contains(name) &&
               (usage(why.contains(QLatin1String("%1")) ? why.arg(typed.value(name)) : why), true);
    };
    if (a.job.command == Command::Info) {
        for (const char* o : {"output", "overwrite", "force", "verify", "dat-names", "zip",
                              "full-stem", "recursive", "in-place", "skip-existing", "dry-run"})
            if (forbid(o, QStringLiteral("info takes no option %1")))
                return std::nullopt;
        return a;
    }
    if (forbid("json", QStringLiteral("%1 goes with info")))
        return std::nullopt;
    const bool repair = a.job.command == Command::FixChecksum || a.job.command == Command::Trim;
    if (repair) {
        for (const char* o : {"dat", "dat-names", "zip", "full-stem"})
            if (forbid(o, QStringLiteral("%1 goes with conversions")))
                return std::nullopt;
        if (a.job.command == Command::FixChecksum &&
            forbid("force", QStringLiteral("%1 goes with a fixed mode or trim")))
            return std::nullopt;
        if (a.inPlace && forbid("output", QStringLiteral("--in-place and %1 exclude each other")))
            return std::nullopt;
        return a;
    }
    if (forbid("in-place", QStringLiteral("%1 goes with fix-checksum or trim")))
        return std::nullopt;
    if (a.job.command == Command::ToLayout &&
        forbid("force", QStringLiteral("%1 goes with a fixed mode")))
        return std::nullopt;
    if (a.datNames && a.job.command != Command::ToLayout)
        return usage(QStringLiteral("--dat-names goes with to-bin, to-smd or to-md"));
    if (a.datNames != !a.dats.isEmpty())
        return usage(QStringLiteral("--dat and --dat-names go together outside info"));
    return a;
}
