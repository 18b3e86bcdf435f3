// kestrix-convert: converts ROM images from the command line with the same
// engine and the same destination names as the desktop program, and tells
// what an image is.

#include "ConversionMode.h"
#include "FileFunctions.h"
#include "Mod_Convert.h"
#include "Mod_File.h"
#include "Output.h"
#include "PathSeparator.h"
#include "RomInspector.h"
#include "RomReport.h"
#include "SafeFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThreadPool>

#include <condition_variable>
#include <csignal>
#include <functional>
#include <map>
#include <mutex>
#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr int ExitConverted = 0;
constexpr int ExitSomeFailed = 1;
constexpr int ExitUsage = 2;

const char* const UsageText =
    "Usage: kestrix-convert MODE [-o DIR] [--overwrite] [--force] [--verify] FILE...\n"
    "       kestrix-convert to-bin|to-smd|to-md [-o DIR] [--overwrite] [--verify] FILE...\n"
    "       kestrix-convert info [--json] [--dat DAT]... FILE...\n"
    "       kestrix-convert to-bin|to-smd|to-md --dat DAT... --dat-names FILE...\n"
    "\n"
    "Converts Sega Genesis / Mega Drive ROM images between layouts.\n"
    "\n"
    "MODE is one of:\n"
    "  smd2bin   SMD image (.smd) to plain image (.bin)\n"
    "  bin2smd   plain image (.bin) to SMD image (.smd)\n"
    "  md2bin    MD image (.md) to plain image (.bin)\n"
    "  bin2md    plain image (.bin) to MD image (.md)\n"
    "A file whose content is recognised as another layout is refused (see --force).\n"
    "\n"
    "to-bin, to-smd and to-md recognise each file's layout (plain, SMD, MD or\n"
    "byteswapped) and convert it to the plain, SMD or MD layout; a file of\n"
    "unknown layout is refused.\n"
    "\n"
    "info shows each file's layout, its cartridge header, the header checksum\n"
    "and the CRC32, MD5 and SHA-1 of the plain content.\n"
    "\n"
    "Each FILE is written into DIR (default: the current folder) under its name\n"
    "before the first dot plus the extension of the target layout. A file is\n"
    "reported as converted once it and its name are on disk. Names that are not\n"
    "UTF-8 are taken byte for byte and shown with the bytes escaped (\\xE9).\n"
    "\n"
    "Options:\n"
    "  -o, --output DIR  write the converted files into DIR\n"
    "  --overwrite       replace destinations that already exist\n"
    "  --force           convert with a fixed MODE even when the content looks\n"
    "                    like another layout\n"
    "  --verify          read each written file back and compare its plain\n"
    "                    content with the source's (SHA-1)\n"
    "  --json            info: one JSON array on standard output\n"
    "  --dat FILE        a Logiqx XML DAT file (repeatable): info shows the game\n"
    "                    and ROM each file matches (by the SHA-1 of its plain\n"
    "                    content, or CRC32 and size)\n"
    "  --dat-names       to-*: name each output after the ROM it matches in the\n"
    "                    DAT files, with the target layout's extension\n"
    "  -h, --help        show this help and exit\n"
    "  --version         show the version and exit\n"
    "\n"
    "Exit status: 0 when every file converted (or was inspected), 1 when any\n"
    "file was skipped, refused or failed verification, 2 for a usage error.\n";

enum class Command { Mode, ToLayout, Info };

struct Job {
    Command command = Command::Mode;
    std::int32_t mode = SMDtoBIN;
    RomLayout target = RomLayout::Plain;
};

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
    };
    for (const auto& c : commands)
        if (word == QLatin1String(c.word))
            return c.job;
    return std::nullopt;
}

int UsageError(const QString& why) {
    Err() << "kestrix-convert: " << why << "\n"
          << "Try 'kestrix-convert --help' for more information.\n";
    return ExitUsage;
}

QString Shown(const QString& name) {
    return SafeFile::Printable(name);
}

// Inspects every file, two at a time or as many as there are cores, and
// hands each report on in the order of the files as soon as it and the ones
// before it are done.
void InspectInOrder(const QStringList& files,
                    const std::function<void(const RomInspector::Report&)>& take) {
    std::vector<std::optional<RomInspector::Report>> reports(std::size_t(files.size()));
    std::mutex mutex;
    std::condition_variable arrived;
    QThreadPool pool;
    for (qsizetype i = 0; i < files.size(); ++i)
        pool.start([&, i] {
            RomInspector::Report report = RomInspector::Inspect(files.at(i));
            {
                const std::lock_guard<std::mutex> lock(mutex);
                reports[std::size_t(i)] = std::move(report);
            }
            arrived.notify_all();
        });
    for (std::optional<RomInspector::Report>& slot : reports) {
        std::unique_lock<std::mutex> lock(mutex);
        arrived.wait(lock, [&slot] { return slot.has_value(); });
        const RomInspector::Report report = std::move(*slot);
        slot.reset();
        lock.unlock();
        take(report);
    }
    pool.waitForDone();
}

void PrintText(const RomInspector::Report& r, const RomReport::Dat& dat) {
    Out() << Shown(r.file) << "\n";
    for (const RomReport::Line& line : RomReport::Lines(r, dat))
        Out() << "  " << line.label.leftJustified(11) << line.value << "\n";
}

// Reads the DAT files named; false after one message when one cannot be read.
bool LoadDats(const QStringList& paths, DatFile::Index& index) {
    for (const QString& path : paths) {
        QString why;
        if (!index.Load(path, &why)) {
            Err() << "kestrix-convert: cannot read the DAT file " << why << "\n";
            return false;
        }
    }
    return true;
}

int Info(const QStringList& files, bool json, const QStringList& dats) {
    DatFile::Index index;
    if (!LoadDats(dats, index))
        return ExitSomeFailed;
    auto datOf = [&](const RomInspector::Report& r) {
        return RomReport::Dat{!dats.isEmpty(), dats.isEmpty() ? nullptr : index.Match(r)};
    };
    int status = ExitConverted;
    QJsonArray array;
    bool first = true;
    InspectInOrder(files, [&](const RomInspector::Report& r) {
        if (!r.Inspected()) {
            status = ExitSomeFailed;
            Err() << "kestrix-convert: cannot inspect " << Shown(r.file) << ": " << r.error << "\n";
            Err().Flush();
        }
        if (json) {
            array.append(RomReport::Json(r, Shown(r.file), datOf(r)));
        } else if (r.Inspected()) {
            if (!first)
                Out() << "\n";
            first = false;
            PrintText(r, datOf(r));
            Out().Flush();
        }
    });
    if (json)
        Out() << QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
    return status;
}

// How sure the detection is, in the words of a refusal.
QString Evidence(const RomInspector::Report& r) {
    if (r.certainty == RomInspector::Certainty::Certain)
        return QStringLiteral("header checksum matches");
    for (const QString& reason : r.reasons)
        if (reason.startsWith(QLatin1String("\"SEGA\"")))
            return QStringLiteral("\"SEGA\" in the header, header checksum differs");
    return QStringLiteral("SMD copier header");
}

// "to-bin", "to-smd" or "to-md".
QString TargetCommand(RomLayout target) {
    return QStringLiteral("to-") + LayoutExtension(target).mid(1);
}

struct Settings {
    Job job;
    DatFile::Index dats;
    bool datNames = false;
    QString folder; // empty for the current folder
    bool overwrite = false;
    bool force = false;
    bool verify = false;
};

// One source of a run, from the moment its converted bytes are in a writer
// until its lines are printed.
struct FileRun {
    QString given;
    QString destination;
    RomLayout target = RomLayout::Plain;
    std::unique_ptr<SafeFile::Writer> writer;
    SafeFile::FileId before; // what the destination's name led to before
    std::int64_t bytes = 0;
    QString sourceSha;
    // What to print once the file is done, in order: true for standard error.
    std::vector<std::pair<bool, QString>> lines;
    bool failed = false;
};

// Converts the files of a run. Converted files are committed in batches, so
// that the disk is flushed once for many files: every file's content is on
// disk before its name appears, and its folder is flushed before the file
// is reported as converted.
class ConvertRun {
public:
    explicit ConvertRun(const Settings& settings) : s_(settings) {}

    int Run(const QStringList& files) {
        for (const QString& given : files)
            One(given);
        Flush();
        return status_;
    }

private:
    static constexpr std::size_t BatchFiles = 32;
    static constexpr std::int64_t BatchBytes = std::int64_t(256) << 20;

    void Refuse(FileRun& run, const QString& why) {
        run.lines.emplace_back(true, "kestrix-convert: refused " + Shown(run.given) + ": " + why);
        run.failed = true;
    }
    void SkipExisting(FileRun& run) {
        run.lines.emplace_back(true, "kestrix-convert: skipped " + Shown(run.given) + ": " +
                                         Shown(run.destination) +
                                         " already exists (use --overwrite to replace it)");
        run.failed = true;
    }
    void SkipSameDestination(FileRun& run, const QString& earlier) {
        run.lines.emplace_back(true, "kestrix-convert: refused " + Shown(run.given) + ": " +
                                         Shown(run.destination) +
                                         " is the same file as the destination of " +
                                         Shown(earlier) + ", written earlier in this run");
        run.failed = true;
    }

    // Whether a source may be read before the batch is written: not when it
    // is missing (an earlier file of the run may be about to create it) or is
    // a destination of the batch.
    bool ReadableBeforeBatch(const QString& source) const {
        const SafeFile::FileId id = SafeFile::IdentityOf(source);
        if (!id.IsValid())
            return false;
        for (const FileRun& run : batch_)
            if (run.writer && run.before == id)
                return false;
        return true;
    }

    void One(const QString& given) {
        const Job& job = s_.job;
        FileRun run;
        run.given = given;
        run.target = job.target;
        const QString source = QDir::toNativeSeparators(given);
        const QString name = FileFunctions::GetBaseName(FileFunctions::GetFileName(source)) +
                             LayoutExtension(job.target);
        run.destination = s_.folder.isEmpty() ? name
                          : s_.folder.endsWith(PathSeparator())
                              ? s_.folder + name
                              : s_.folder + PathSeparator() + name;
        if (!batch_.empty() && !ReadableBeforeBatch(source))
            Flush();
        Prepare(run, source, name);
        if (run.writer) {
            run.writer->StartWriteback();
            bytes_ += run.bytes;
        }
        batch_.push_back(std::move(run));
        if (batch_.size() >= BatchFiles || bytes_ >= BatchBytes)
            Flush();
    }

    void Prepare(FileRun& run, const QString& source, QString name) {
        const Job& job = s_.job;
        if (s_.datNames && !TooLarge(source)) {
            // Named after the DAT entry the content matches: its ROM name's
            // last part, with the target layout's extension.
            RomInspector::Options options;
            const RomInspector::Report report = RomInspector::Inspect(source, options);
            if (const DatFile::Rom* rom = s_.dats.Match(report)) {
                QString datName = rom->name.section(QLatin1Char('/'), -1).section('\\', -1);
                for (QChar& c : datName)
                    if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                        c = QLatin1Char('_');
                if (const qsizetype dot = datName.lastIndexOf(QLatin1Char('.')); dot > 0)
                    datName.truncate(dot);
                if (!datName.isEmpty() && datName != QLatin1String(".") &&
                    datName != QLatin1String("..")) {
                    const QString named = datName + LayoutExtension(job.target);
                    run.destination = run.destination.chopped(name.size()) + named;
                    name = named;
                }
            }
        }
        // One run writes each destination once: by name, and by the file
        // the name leads to (a drive that ignores case gives two names one
        // file).
        if (const auto earlier = names_.constFind(name); earlier != names_.constEnd())
            return SkipSameDestination(run, *earlier);
        run.before = SafeFile::IdentityOf(run.destination);
        if (const QString earlier = EarlierWrite(run.destination); !earlier.isEmpty())
            return SkipSameDestination(run, earlier);
        if (!s_.overwrite && SafeFile::EntryExists(run.destination))
            return SkipExisting(run);

        RomLayout from = SourceLayout(job.mode);
        const SafeFile::Existing existing =
            s_.overwrite ? SafeFile::Existing::Replace : SafeFile::Existing::Keep;
        run.writer = std::make_unique<SafeFile::Writer>();
        auto refuse = [&](ConversionResult result) {
            run.writer.reset();
            if (result == ConversionResult::DestinationExists)
                return SkipExisting(run);
            return Refuse(run, result == ConversionResult::SizeRefused
                                   ? Mod_Convert::SizeRule(from, job.target)
                                   : Mod_File::DescribeResult(result, job.mode));
        };
        ConversionResult result = ConversionResult::Converted;
        if (job.command == Command::ToLayout || !s_.force) {
            // Read once: inspected and converted from the same bytes (and
            // refused by its size before any of them is read).
            std::int64_t length = 0;
            result = Mod_Convert::LoadSource(source, &length);
            if (result != ConversionResult::Converted)
                return refuse(result);
            const RomInspector::ReadAt read =
                RomInspector::MemoryReader(Mod_Convert::SourceBytes.data.get(), length);
            // The header decides; the checksum is read only to explain a refusal.
            RomInspector::Options options;
            options.fingerprints = false;
            options.checksum = false;
            RomInspector::Report report = RomInspector::InspectData(read, length, options);
            if (job.command == Command::ToLayout) {
                if (!report.Inspected()) {
                    run.writer.reset();
                    return Refuse(run, report.error);
                }
                if (report.layout == RomLayout::Unknown) {
                    run.writer.reset();
                    return Refuse(run, QStringLiteral("the layout is unknown (") +
                                           report.reasons.join(QStringLiteral("; ")) +
                                           QStringLiteral(")"));
                }
                from = report.layout;
                if (from == job.target)
                    run.lines.emplace_back(false, "note: " + Shown(run.given) + " is already " +
                                                      LayoutPhrase(from) + "; writing a byte copy");
            } else if (report.IsOtherThan(from)) {
                run.writer.reset();
                options.checksum = true;
                report = RomInspector::InspectData(read, length, options);
                const QString modes = RomInspector::ModesFor(report.layout);
                return Refuse(run, QStringLiteral("looks like %1 (%2); use %3%4")
                                       .arg(LayoutPhrase(report.layout), Evidence(report), modes,
                                            (modes.isEmpty() ? QString() : QStringLiteral(" or ")) +
                                                TargetCommand(job.target)));
            }
            // Of the bytes read, before the conversion changes them; a size
            // the conversion refuses is refused by it, with its own reason.
            if (s_.verify && Mod_Convert::SizeAllowed(from, job.target, length) &&
                !(from == RomLayout::Smd && length == FileFunctions::SmdHeaderSize)) {
                QString why;
                run.sourceSha = RomInspector::PlainSha1(read, length, from, &why);
                if (run.sourceSha.isEmpty()) {
                    run.writer.reset();
                    return Refuse(run, why);
                }
            }
            result = Mod_Convert::ConvertLoaded(from, job.target, length, run.destination,
                                                existing, *run.writer);
            if (result != ConversionResult::Converted)
                return refuse(result);
        } else {
            result = Mod_Convert::ConvertLayoutInto(from, job.target, source, run.destination,
                                                    existing, *run.writer);
            if (result != ConversionResult::Converted)
                return refuse(result);
            if (s_.verify) {
                // Taken before the destination, which may be the source
                // itself, gets its name; after the conversion, so that a
                // refusal gives the conversion's own reason.
                QString why;
                run.sourceSha = RomInspector::PlainSha1(source, from, &why);
                if (run.sourceSha.isEmpty()) {
                    run.writer.reset();
                    return Refuse(run, why);
                }
            }
        }
        names_.insert(name, run.given);
        run.bytes = Mod_Convert::TargetBytes.size;
    }

    // Whether a source is too large for any conversion, by its size alone.
    static bool TooLarge(const QString& source) {
        const SafeFile::Source probe(source);
        return probe.IsOpen() &&
               probe.Size() > Mod_Convert::MaxImageSize + FileFunctions::SmdHeaderSize;
    }

    // Writes the batch to disk, names its files, flushes their folders and
    // prints what became of each, in the order of the files.
    void Flush() {
        for (FileRun& run : batch_)
            if (run.writer && !run.writer->Finish()) {
                Refuse(run, run.writer->ErrorString());
                run.writer.reset();
            }
        for (FileRun& run : batch_) {
            if (!run.writer)
                continue;
            if (const QString earlier = EarlierWrite(run.destination); !earlier.isEmpty()) {
                run.writer.reset();
                SkipSameDestination(run, earlier);
            } else if (!run.writer->Publish()) {
                if (run.writer->NameTaken())
                    SkipExisting(run);
                else
                    Refuse(run, run.writer->ErrorString());
                run.writer.reset();
            } else {
                Remember(run);
            }
        }
        std::vector<const SafeFile::Writer*> flushed;
        for (FileRun& run : batch_) {
            if (!run.writer)
                continue;
            SafeFile::Writer& writer = *run.writer;
            for (const SafeFile::Writer* other : flushed)
                writer.FolderFlushedBy(*other);
            if (!writer.Done()) {
                if (writer.FlushFolder())
                    flushed.push_back(&writer);
                else
                    Refuse(run,
                           Shown(run.destination) + " was written, but " + writer.ErrorString());
            }
        }
        for (FileRun& run : batch_) {
            if (run.writer && !run.failed)
                Report(run);
            for (const auto& [error, line] : run.lines)
                (error ? Err() : Out()) << line << "\n";
            if (run.failed)
                status_ = ExitSomeFailed;
        }
        Out().Flush();
        batch_.clear();
        bytes_ = 0;
    }

    void Report(FileRun& run) {
        run.lines.emplace_back(false, Shown(run.given) + " -> " + Shown(run.destination));
        if (!s_.verify)
            return;
        QString why;
        const QString sha = RomInspector::PlainSha1(run.destination, run.target, &why);
        if (sha != run.sourceSha) {
            run.lines.emplace_back(
                true, "kestrix-convert: verification failed for " + Shown(run.destination) + ": " +
                          (sha.isEmpty() ? why
                                         : QStringLiteral("its plain content differs from the "
                                                          "source's")));
            run.failed = true;
        } else {
            run.lines.emplace_back(false,
                                   "verified " + Shown(run.destination) + " (sha1 " + sha + ")");
        }
    }

    // The source of an earlier file of this run that a destination's name
    // leads to, or nothing. The same file by identity; or, where a drive
    // that ignores case numbers the names of one file apart (FUSE), a file
    // whose name differs only in case and that still has the size and time
    // it was written with.
    QString EarlierWrite(const QString& destination) const {
        const SafeFile::Entry now = SafeFile::Look(destination);
        if (!now.id.IsValid())
            return QString();
        if (const auto earlier = written_.find(now.id); earlier != written_.end())
            return earlier->second;
        const auto folded = byName_.constFind(FoldedName(destination));
        if (folded != byName_.constEnd() && folded->entry.size == now.size &&
            folded->entry.modified == now.modified)
            return folded->given;
        return QString();
    }

    void Remember(const FileRun& run) {
        written_[run.writer->Written()] = run.given;
        byName_.insert(FoldedName(run.destination), {SafeFile::Look(run.destination), run.given});
    }

    static QString FoldedName(const QString& destination) {
        return FileFunctions::GetFileName(destination).toCaseFolded();
    }

    struct IdLess {
        bool operator()(const SafeFile::FileId& a, const SafeFile::FileId& b) const {
            return a.device != b.device ? a.device < b.device : a.inode < b.inode;
        }
    };

    const Settings& s_;
    std::vector<FileRun> batch_;
    std::int64_t bytes_ = 0;
    QHash<QString, QString> names_;                       // destination name -> source
    std::map<SafeFile::FileId, QString, IdLess> written_; // file written -> source
    struct Named {
        SafeFile::Entry entry;
        QString given;
    };
    QHash<QString, Named> byName_; // case-folded destination name -> file written
    int status_ = ExitConverted;
};

int Main(int argc, char* argv[]) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({"h", "help"}, "Show this help.");
    const QCommandLineOption version("version", "Show the version.");
    const QCommandLineOption output({"o", "output"}, "Output folder.", "DIR");
    const QCommandLineOption overwriteOption("overwrite", "Replace existing destinations.");
    const QCommandLineOption forceOption("force", "Convert whatever the content looks like.");
    const QCommandLineOption verifyOption("verify", "Read back and compare.");
    const QCommandLineOption jsonOption("json", "JSON output of info.");
    const QCommandLineOption datOption("dat", "A Logiqx XML DAT file.", "FILE");
    const QCommandLineOption datNamesOption("dat-names", "Name outputs after the DAT.");
    parser.addOptions({help, version, output, overwriteOption, forceOption, verifyOption,
                       jsonOption, datOption, datNamesOption});
    // The arguments as the bytes they are: a name need not be UTF-8.
    if (!parser.parse(QStringList{QStringLiteral("kestrix-convert")} +
                      SafeFile::DecodeArguments(argc, argv))) {
        if (!parser.unknownOptionNames().isEmpty()) {
            const QString option = parser.unknownOptionNames().constFirst();
            return UsageError(QStringLiteral("unknown option '%1%2'")
                                  .arg(option.size() == 1 ? "-" : "--", Shown(option)));
        }
        return UsageError(QStringLiteral("option -o needs a folder"));
    }
    if (parser.isSet(help)) {
        Out() << UsageText;
        return ExitConverted;
    }
    if (parser.isSet(version)) {
        Out() << "kestrix-convert " << KESTRIX_VERSION << "\n";
        return ExitConverted;
    }

    QStringList files = parser.positionalArguments();
    if (files.isEmpty()) {
        Err() << "kestrix-convert: no mode given\n\n" << UsageText;
        return ExitUsage;
    }
    const std::optional<Job> job = ParseCommand(files.takeFirst());
    if (!job)
        return UsageError(QStringLiteral("unknown mode '%1'")
                              .arg(Shown(parser.positionalArguments().constFirst())));
    if (files.isEmpty())
        return UsageError(QStringLiteral("no files given"));

    if (job->command == Command::Info) {
        for (const QCommandLineOption* o :
             {&output, &overwriteOption, &forceOption, &verifyOption, &datNamesOption})
            if (parser.isSet(*o))
                return UsageError(
                    QStringLiteral("info takes no option --%1").arg(o->names().constLast()));
        return Info(files, parser.isSet(jsonOption), parser.values(datOption));
    }
    if (parser.isSet(jsonOption))
        return UsageError(QStringLiteral("--json goes with info"));
    if (job->command == Command::ToLayout && parser.isSet(forceOption))
        return UsageError(QStringLiteral("--force goes with a fixed mode"));
    if (parser.isSet(datNamesOption) && job->command != Command::ToLayout)
        return UsageError(QStringLiteral("--dat-names goes with to-bin, to-smd or to-md"));
    if (parser.isSet(datNamesOption) != parser.isSet(datOption))
        return UsageError(QStringLiteral("--dat and --dat-names go together outside info"));

    Settings settings;
    settings.job = *job;
    settings.folder = QDir::toNativeSeparators(parser.value(output));
    if (parser.isSet(output)) {
        if (!SafeFile::IsFolder(settings.folder))
            return UsageError((SafeFile::EntryExists(settings.folder)
                                   ? QStringLiteral("'%1' is not a folder")
                                   : QStringLiteral("output folder '%1' does not exist"))
                                  .arg(Shown(settings.folder)));
    }
    settings.overwrite = parser.isSet(overwriteOption);
    settings.force = parser.isSet(forceOption);
    settings.verify = parser.isSet(verifyOption);
    settings.datNames = parser.isSet(datNamesOption);
    // A DAT file that cannot be read stops the run before anything is written.
    if (!LoadDats(parser.values(datOption), settings.dats))
        return ExitSomeFailed;
    SafeFile::RemoveTemporaryOnSignals();
    return ConvertRun(settings).Run(files);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrix-convert"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRIX_VERSION));
    // A full disk or a file-size limit is an error like any other, never a
    // silent end.
    std::signal(SIGXFSZ, SIG_IGN);
    const int status = Main(argc, argv);
    if (!CloseOutputs())
        return status == ExitConverted ? ExitSomeFailed : status;
    return status;
}
