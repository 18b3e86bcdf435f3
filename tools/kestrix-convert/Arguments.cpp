#include "Arguments.h"

#include "Output.h"
#include "SafeFile.h"

#include <QHash>

#include <algorithm>

namespace {

const struct {
    const char* word;
    Job job;
} Commands[] = {
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
    {"patch", {Command::Patch, SMDtoBIN, RomLayout::Unknown}},
    {"audit", {Command::Audit, SMDtoBIN, RomLayout::Unknown}},
    {"make-patch", {Command::MakePatch, SMDtoBIN, RomLayout::Unknown}},
    {"export", {Command::Export, SMDtoBIN, RomLayout::Plain}},
};

std::optional<Job> ParseCommand(const QString& word) {
    for (const auto& c : Commands)
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

namespace {

// The words of a command line read one by one into the arguments, then
// checked together.
class Parser {
public:
    explicit Parser(int* status) : status_(status) {}

    std::optional<Arguments> Parse(const QStringList& words);

private:
    // An option: its long name, what its value is (none for a flag), and
    // where it goes. Short letters are in Letters.
    struct Option {
        const char* name;
        const char* value; // what the value is, for messages; null for a flag
        bool* flag;
    };

    bool Word(const QStringList& words, qsizetype* i);
    bool Long(const QStringList& words, qsizetype* i);
    bool Short(const QStringList& words, qsizetype* i);
    bool Take(const Option& o, const QString& as, const QString& value);
    const Option* Find(const QString& name) const;
    bool Usage(const QString& why) {
        *status_ = UsageError(why);
        return false;
    }
    bool Finish();
    bool Together();
    bool ForCommand();
    bool ForPatch();
    bool ForMakePatch();
    bool ForExport();
    // An option given where it may not be: why may name it as the user
    // typed it (%1).
    bool Forbid(const char* option, const QString& why) {
        const QString name = QLatin1String(option);
        return given_.contains(name) &&
               (Usage(why.contains(QLatin1String("%1")) ? why.arg(typed_.value(name)) : why), true);
    }

    int* status_;
    Arguments a_;
    QStringList positional_;
    bool optionsEnd_ = false;
    bool help_ = false;
    bool version_ = false;
    // Which options were given, by long name, and as the user typed each.
    QStringList given_;
    QHash<QString, QString> typed_;
    const Option options_[33] = {
        {"output", "a folder", nullptr},
        {"overwrite", nullptr, &a_.overwrite},
        {"skip-existing", nullptr, &a_.skipExisting},
        {"in-place", nullptr, &a_.inPlace},
        {"force", nullptr, &a_.force},
        {"verify", nullptr, &a_.verify},
        {"dry-run", nullptr, &a_.dryRun},
        {"recursive", nullptr, &a_.recursive},
        {"files-from", "a file", nullptr},
        {"null", nullptr, &a_.null},
        {"full-stem", nullptr, &a_.fullStem},
        {"zip", nullptr, &a_.zip},
        {"name", "a name", nullptr},
        {"quiet", nullptr, &a_.quiet},
        {"json", nullptr, &a_.json},
        {"dat", "a DAT file", nullptr},
        {"dat-names", nullptr, &a_.datNames},
        {"jobs", "a number", nullptr},
        {"patch", "a patch file", nullptr},
        {"to", "a layout (bin, smd or md)", nullptr},
        {"keep-checksum", nullptr, &a_.keepChecksum},
        {"fixdat", "a file", nullptr},
        {"no-cache", nullptr, &a_.noCache},
        {"format", "a format (bps, ips or ups)", nullptr},
        {"metadata", "a text", nullptr},
        {"as-is", nullptr, &a_.asIs},
        {"allow-same", nullptr, &a_.allowSame},
        {"profile", "a device's profile", nullptr},
        {"profile-file", "a file", nullptr},
        {"list-profiles", nullptr, &a_.listProfiles},
        {"undo", "an export's manifest", nullptr},
        {"help", nullptr, &help_},
        {"version", nullptr, &version_},
    };
};

const struct {
    char letter;
    const char* name;
} Letters[] = {{'o', "output"}, {'n', "dry-run"}, {'r', "recursive"}, {'0', "null"}, {'z', "null"},
               {'q', "quiet"},  {'j', "jobs"},    {'h', "help"},      {'p', "patch"}};

const Parser::Option* Parser::Find(const QString& name) const {
    for (const Option& o : options_)
        if (name == QLatin1String(o.name))
            return &o;
    return nullptr;
}

// Takes an option as typed; false (with the usage error told) when it
// cannot be taken.
bool Parser::Take(const Option& o, const QString& as, const QString& value) {
    const QString name = QString::fromLatin1(o.name);
    given_ << name;
    typed_.insert(name, as);
    if (o.flag) {
        *o.flag = true;
        return true;
    }
    if (value.isEmpty())
        return Usage(QStringLiteral("option '%1' needs %2").arg(as, QLatin1String(o.value)));
    if (name == QLatin1String("output")) {
        a_.output = value;
    } else if (name == QLatin1String("dat")) {
        a_.dats << value;
    } else if (name == QLatin1String("files-from")) {
        a_.filesFrom = value, a_.filesFromSet = true;
    } else if (name == QLatin1String("patch")) {
        a_.patches << value;
    } else if (name == QLatin1String("fixdat")) {
        a_.fixdat = value;
    } else if (name == QLatin1String("format")) {
        a_.format = value;
    } else if (name == QLatin1String("metadata")) {
        a_.metadata = value;
    } else if (name == QLatin1String("profile")) {
        a_.profile = value;
    } else if (name == QLatin1String("profile-file")) {
        a_.profileFiles << value;
    } else if (name == QLatin1String("undo")) {
        a_.undo = value;
    } else if (name == QLatin1String("to")) {
        a_.to = value;
    } else if (name == QLatin1String("name")) {
        a_.name = value;
    } else if (name == QLatin1String("jobs")) {
        bool ok = false;
        a_.jobs = value.toInt(&ok);
        if (!ok || a_.jobs < 1 || a_.jobs > 1024)
            a_.jobs = -1;
    }
    return true;
}

std::optional<Arguments> Parser::Parse(const QStringList& words) {
    for (qsizetype i = 0; i < words.size(); ++i)
        if (!Word(words, &i))
            return std::nullopt;
    if (!Finish())
        return std::nullopt;
    return a_;
}

// One word of the command line (with its option's value, which may be the
// next word).
bool Parser::Word(const QStringList& words, qsizetype* i) {
    const QString& word = words.at(*i);
    if (optionsEnd_ || word == QLatin1String("-") || !word.startsWith(QLatin1Char('-'))) {
        positional_ << word;
        return true;
    }
    if (word == QLatin1String("--")) {
        optionsEnd_ = true;
        return true;
    }
    return word.startsWith(QLatin1String("--")) ? Long(words, i) : Short(words, i);
}

// --name, --name=VALUE or --name VALUE; a long option may be cut short
// while it names one alone.
bool Parser::Long(const QStringList& words, qsizetype* i) {
    const QString& word = words.at(*i);
    const qsizetype equals = word.indexOf(QLatin1Char('='));
    const QString name = word.mid(2, equals < 0 ? -1 : equals - 2);
    const QString as = QStringLiteral("--") + name;
    const Option* option = Find(name);
    if (!option) {
        QStringList candidates;
        for (const Option& o : options_)
            if (!name.isEmpty() && QLatin1String(o.name).startsWith(name))
                candidates << QStringLiteral("--") + QLatin1String(o.name);
        if (candidates.size() > 1)
            return Usage(QStringLiteral("option '%1' is ambiguous; possibilities: %2")
                             .arg(Shown(as), candidates.join(QLatin1Char(' '))));
        if (candidates.isEmpty())
            return Usage(QStringLiteral("unknown option '%1'").arg(Shown(as)));
        option = Find(candidates.constFirst().mid(2));
    }
    const QString full = QStringLiteral("--") + QLatin1String(option->name);
    if (option->flag && equals >= 0)
        return Usage(QStringLiteral("option '%1' doesn't allow an argument").arg(full));
    QString value;
    if (!option->flag) {
        if (equals >= 0)
            value = word.mid(equals + 1);
        else if (*i + 1 < words.size())
            value = words.at(++*i);
    }
    return Take(*option, full, value);
}

// Short options, alone or together: -r, -rq, -o DIR, -oDIR, -rqoDIR.
bool Parser::Short(const QStringList& words, qsizetype* i) {
    const QString& word = words.at(*i);
    for (qsizetype k = 1; k < word.size(); ++k) {
        const QChar letter = word.at(k);
        const Option* option = nullptr;
        for (const auto& l : Letters)
            if (letter == QLatin1Char(l.letter))
                option = Find(QLatin1String(l.name));
        const QString as = QStringLiteral("-") + letter;
        if (!option)
            return Usage(QStringLiteral("unknown option '%1'").arg(Shown(as)));
        if (option->flag) {
            if (!Take(*option, as, QString()))
                return false;
            continue;
        }
        QString value;
        if (k + 1 < word.size())
            value = word.mid(k + 1);
        else if (*i + 1 < words.size())
            value = words.at(++*i);
        return Take(*option, as, value);
    }
    return true;
}

// Once every word is read: help, the version, the command and its files.
bool Parser::Finish() {
    if (help_) {
        Out() << UsageText;
        *status_ = ExitConverted;
        return false;
    }
    if (version_) {
        Out() << "kestrix-convert " << KESTRIX_VERSION << "\n" << VersionText;
        *status_ = ExitConverted;
        return false;
    }
    if (positional_.isEmpty()) {
        Err() << ShortUsage << "Try 'kestrix-convert --help' for more information.\n";
        *status_ = ExitUsage;
        return false;
    }
    const std::optional<Job> job = ParseCommand(positional_.constFirst());
    if (!job)
        return Usage(QStringLiteral("unknown mode '%1'").arg(Shown(positional_.constFirst())));
    a_.job = *job;
    a_.files = positional_.mid(1);
    // An export's profiles are listed, and an export undone, from no file.
    const bool noFiles =
        a_.job.command == Command::Export && (a_.listProfiles || !a_.undo.isEmpty());
    if (a_.files.isEmpty() && !a_.filesFromSet && !noFiles)
        return Usage(QStringLiteral("no files given"));
    if (a_.jobs < 0)
        return Usage(QStringLiteral("-j needs a number from 1 to 1024"));
    return Together() && ForCommand();
}

// Options that exclude each other, and standard input and output.
bool Parser::Together() {
    const Arguments& a = a_;
    if (a.overwrite && a.skipExisting)
        return Usage(QStringLiteral("--overwrite and --skip-existing exclude each other"));
    if (a.files.count(QStringLiteral("-")) > 1)
        return Usage(QStringLiteral("standard input (-) can be read once"));
    if (a.ToStdout() && a.files.size() != 1)
        return Usage(QStringLiteral("-o - writes one file to standard output: give one source"));
    if (a.ToStdout() && (a.recursive || a.filesFromSet || a.zip))
        return Usage(QStringLiteral("-o - writes one file to standard output: not with -r, "
                                    "--files-from or --zip"));
    if (a.files.contains(QStringLiteral("-")) && !a.ToStdout() && a.name.isEmpty() &&
        a.job.command != Command::Info && a.job.command != Command::Patch &&
        a.job.command != Command::Audit && a.job.command != Command::MakePatch &&
        a.job.command != Command::Export)
        return Usage(QStringLiteral("a source read from standard input (-) needs --name NAME, "
                                    "or -o - to write to standard output"));
    if (!a.name.isEmpty() && !a.files.contains(QStringLiteral("-")))
        return Usage(QStringLiteral("--name names a source read from standard input (-)"));
    if (a.files.contains(QStringLiteral("-")) && a.filesFrom == QLatin1String("-"))
        return Usage(QStringLiteral("standard input (-) can be read once"));
    if (a.ToStdout() && (a.verify || a.inPlace))
        return Usage(QStringLiteral("-o - writes to standard output: not with ") +
                     (a.verify ? "--verify" : "--in-place"));
    return true;
}

// The options each command takes.
bool Parser::ForCommand() {
    const Command command = a_.job.command;
    if (command != Command::Audit && Forbid("fixdat", QStringLiteral("%1 goes with audit")))
        return false;
    if (command == Command::MakePatch)
        return ForMakePatch();
    if (command == Command::Export)
        return ForExport();
    for (const char* o : {"profile", "profile-file", "list-profiles", "undo"})
        if (Forbid(o, QStringLiteral("%1 goes with export")))
            return false;
    for (const char* o : {"format", "metadata", "as-is", "allow-same"})
        if (Forbid(o, QStringLiteral("%1 goes with make-patch")))
            return false;
    if (command == Command::Audit) {
        for (const char* o :
             {"patch", "to", "keep-checksum", "output", "force", "verify", "dat-names", "zip",
              "full-stem", "in-place", "skip-existing", "dry-run"})
            if (Forbid(o, QStringLiteral("audit takes no option %1")))
                return false;
        if (a_.fixdat.isEmpty() &&
            Forbid("overwrite", QStringLiteral("audit takes %1 only with --fixdat")))
            return false;
        if (a_.dats.isEmpty())
            return Usage(QStringLiteral("audit needs a DAT file: --dat DAT"));
        return true;
    }
    if (command == Command::Info) {
        for (const char* o :
             {"patch", "to", "keep-checksum", "output", "overwrite", "force", "verify", "dat-names",
              "zip", "full-stem", "recursive", "in-place", "skip-existing", "dry-run"})
            if (Forbid(o, QStringLiteral("info takes no option %1")))
                return false;
        return true;
    }
    if (Forbid("json", QStringLiteral("%1 goes with info")))
        return false;
    if (command == Command::Patch)
        return ForPatch();
    for (const char* o : {"patch", "to", "keep-checksum"})
        if (Forbid(o, QStringLiteral("%1 goes with patch")))
            return false;
    if (command == Command::FixChecksum || command == Command::Trim) {
        for (const char* o : {"dat", "dat-names", "zip", "full-stem"})
            if (Forbid(o, QStringLiteral("%1 goes with conversions")))
                return false;
        if (command == Command::FixChecksum &&
            Forbid("force", QStringLiteral("%1 goes with a fixed mode or trim")))
            return false;
        return !(a_.inPlace &&
                 Forbid("output", QStringLiteral("--in-place and %1 exclude each other")));
    }
    if (Forbid("in-place", QStringLiteral("%1 goes with fix-checksum or trim")))
        return false;
    if (command == Command::ToLayout &&
        Forbid("force", QStringLiteral("%1 goes with a fixed mode")))
        return false;
    if (a_.datNames && command != Command::ToLayout)
        return Usage(QStringLiteral("--dat-names goes with to-bin, to-smd or to-md"));
    if (a_.datNames != !a_.dats.isEmpty())
        return Usage(QStringLiteral("--dat and --dat-names go together outside info"));
    return true;
}

} // namespace

// What patch takes: the patches, and where the result goes.
bool Parser::ForPatch() {
    for (const char* o : {"in-place", "dat-names", "full-stem"})
        if (Forbid(o, QStringLiteral("patch takes no option %1")))
            return false;
    if (a_.patches.isEmpty())
        return Usage(QStringLiteral("patch needs a patch: -p PATCH"));
    if (a_.patches.contains(QStringLiteral("-")))
        return Usage(QStringLiteral("a patch is read from a file, not from standard input"));
    if (given_.contains(QLatin1String("to"))) {
        const QString to = a_.to.startsWith(QLatin1Char('.')) ? a_.to.mid(1) : a_.to;
        if (to == QLatin1String("bin"))
            a_.job.target = RomLayout::Plain;
        else if (to == QLatin1String("smd"))
            a_.job.target = RomLayout::Smd;
        else if (to == QLatin1String("md"))
            a_.job.target = RomLayout::Md;
        else
            return Usage(QStringLiteral("--to takes bin, smd or md, not '%1'").arg(Shown(a_.to)));
    }
    return true;
}

// What make-patch takes: two images, and the patch's file.
bool Parser::ForMakePatch() {
    for (const char* o : {"patch", "to", "keep-checksum", "force", "verify", "dat", "dat-names",
                          "zip", "full-stem", "in-place", "skip-existing", "dry-run", "recursive",
                          "files-from", "json", "jobs", "name"})
        if (Forbid(o, QStringLiteral("make-patch takes no option %1")))
            return false;
    if (a_.files.size() != 2)
        return Usage(QStringLiteral("make-patch takes two images: ORIGINAL MODIFIED"));
    if (a_.output.isEmpty() || a_.output == QLatin1String("-"))
        return Usage(QStringLiteral("make-patch needs the patch's file: -o PATCH"));
    QString format = a_.format;
    if (format.isEmpty()) {
        const QString name = a_.output.toLower();
        format = name.endsWith(QLatin1String(".ips"))   ? QStringLiteral("ips")
                 : name.endsWith(QLatin1String(".ups")) ? QStringLiteral("ups")
                                                        : QStringLiteral("bps");
    }
    if (format != QLatin1String("bps") && format != QLatin1String("ips") &&
        format != QLatin1String("ups"))
        return Usage(
            QStringLiteral("--format takes bps, ips or ups, not '%1'").arg(Shown(a_.format)));
    a_.format = format;
    if (!a_.metadata.isEmpty() && format != QLatin1String("bps"))
        return Usage(QStringLiteral("--metadata goes into a BPS patch"));
    return true;
}

// What export takes: a profile and the sources; or only the profiles to
// list, or only the manifest of an export to undo.
bool Parser::ForExport() {
    for (const char* o : {"patch", "to", "keep-checksum", "force", "zip", "full-stem", "in-place",
                          "json", "dat-names", "name"})
        if (Forbid(o, QStringLiteral("export takes no option %1")))
            return false;
    if (a_.listProfiles || !a_.undo.isEmpty()) {
        const char* alone = a_.listProfiles ? "--list-profiles" : "--undo";
        if (a_.listProfiles && !a_.undo.isEmpty())
            return Usage(QStringLiteral("--list-profiles and --undo exclude each other"));
        if (!a_.files.isEmpty() || a_.filesFromSet)
            return Usage(QStringLiteral("export %1 takes no files").arg(QLatin1String(alone)));
        for (const char* o : {"profile", "output", "overwrite", "skip-existing", "verify",
                              "dry-run", "recursive", "dat", "jobs", "null"})
            if (Forbid(o, QStringLiteral("export %1 takes no option %2")
                              .arg(QLatin1String(alone), QStringLiteral("%1"))))
                return false;
        if (!a_.undo.isEmpty() &&
            Forbid("profile-file", QStringLiteral("export --undo takes no option %1")))
            return false;
        return true;
    }
    if (a_.profile.isEmpty())
        return Usage(QStringLiteral("export needs a device: --profile NAME (see export "
                                    "--list-profiles)"));
    if (a_.ToStdout() || a_.files.contains(QStringLiteral("-")))
        return Usage(QStringLiteral("export reads files and writes a folder: not standard input or "
                                    "output (-)"));
    return true;
}

std::optional<Arguments> ParseArguments(const QStringList& words, int* status) {
    return Parser(status).Parse(words);
}

QString ModeWord(std::int32_t mode) {
    for (const auto& c : Commands)
        if (c.job.command == Command::Mode && c.job.mode == mode)
            return QLatin1String(c.word);
    return QString();
}
