// kestrix-convert: converts ROM images from the command line with the same
// engine and the same destination names as the desktop program, and tells
// what an image is.

#include "ConversionMode.h"
#include "FileFunctions.h"
#include "Mod_Convert.h"
#include "Mod_File.h"
#include "PathSeparator.h"
#include "RomInspector.h"
#include "SafeFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTextStream>
#include <QThreadPool>

#include <cstdio>
#include <optional>
#include <vector>

namespace {

constexpr int ExitConverted = 0;
constexpr int ExitSomeFailed = 1;
constexpr int ExitUsage = 2;

const char* const UsageText =
    "Usage: kestrix-convert MODE [-o DIR] [--overwrite] [--force] [--verify] FILE...\n"
    "       kestrix-convert to-bin|to-smd|to-md [-o DIR] [--overwrite] [--verify] FILE...\n"
    "       kestrix-convert info [--json] FILE...\n"
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
    "before the first dot plus the extension of the target layout.\n"
    "\n"
    "Options:\n"
    "  -o, --output DIR  write the converted files into DIR\n"
    "  --overwrite       replace destinations that already exist\n"
    "  --force           convert with a fixed MODE even when the content looks\n"
    "                    like another layout\n"
    "  --verify          read each written file back and compare its plain\n"
    "                    content with the source's (SHA-1)\n"
    "  --json            info: one JSON array on standard output\n"
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

QTextStream& Err() {
    static QTextStream stream(stderr);
    return stream;
}

QTextStream& Out() {
    static QTextStream stream(stdout);
    return stream;
}

int UsageError(const QString& why) {
    Err() << "kestrix-convert: " << why << "\n"
          << "Try 'kestrix-convert --help' for more information.\n";
    Err().flush();
    return ExitUsage;
}

// Inspects every file, two at a time or as many as there are cores; the
// reports keep the order of the files.
std::vector<RomInspector::Report> InspectAll(const QStringList& files) {
    std::vector<RomInspector::Report> reports(std::size_t(files.size()));
    QThreadPool pool;
    for (qsizetype i = 0; i < files.size(); ++i)
        pool.start([&reports, &files, i] {
            reports[std::size_t(i)] = RomInspector::Inspect(files.at(i));
        });
    pool.waitForDone();
    return reports;
}

QJsonObject ToJson(const RomInspector::Report& r) {
    QJsonObject o;
    o["file"] = r.file;
    o["size"] = double(r.size);
    o["layout"] = LayoutName(r.layout);
    o["certainty"] = RomInspector::CertaintyName(r.certainty);
    o["reasons"] = QJsonArray::fromStringList(r.reasons);
    o["system"] = r.header.system;
    o["title_domestic"] = r.header.titleDomestic;
    o["title_overseas"] = r.header.titleOverseas;
    o["serial"] = r.header.serial;
    o["region"] = r.header.region;
    o["checksum_stored"] = r.header.storedChecksum;
    o["checksum_computed"] = r.header.computedChecksum;
    o["checksum_ok"] = r.Inspected() && r.ChecksumOk();
    o["crc32"] = r.crc32;
    o["md5"] = r.md5;
    o["sha1"] = r.sha1;
    if (!r.Inspected())
        o["error"] = r.error;
    return o;
}

void PrintText(const RomInspector::Report& r) {
    const RomInspector::Header& h = r.header;
    auto line = [](const char* label, const QString& value) {
        Out() << "  " << QString::fromLatin1(label).leftJustified(11) << value << "\n";
    };
    Out() << r.file << "\n";
    line("size", QStringLiteral("%1 bytes").arg(r.size));
    line("layout", QStringLiteral("%1 (%2)").arg(LayoutName(r.layout),
                                                 RomInspector::CertaintyName(r.certainty)));
    for (qsizetype i = 0; i < r.reasons.size(); ++i)
        line(i == 0 ? "reasons" : "", r.reasons.at(i));
    line("system", h.system);
    line("copyright", h.copyright);
    line("domestic", h.titleDomestic);
    line("overseas", h.titleOverseas);
    line("serial", h.serial);
    line("devices", h.devices);
    line("rom", RomInspector::Hex(h.romStart, 8) + "-" + RomInspector::Hex(h.romEnd, 8));
    line("region", h.region);
    line("checksum",
         QStringLiteral("%1 stored, %2 computed: %3")
             .arg(RomInspector::Hex(h.storedChecksum), RomInspector::Hex(h.computedChecksum),
                  r.ChecksumOk() ? "ok" : "MISMATCH"));
    line("crc32", r.crc32);
    line("md5", r.md5);
    line("sha1", r.sha1);
}

int Info(const QStringList& files, bool json) {
    const std::vector<RomInspector::Report> reports = InspectAll(files);
    int status = ExitConverted;
    QJsonArray array;
    bool first = true;
    for (const RomInspector::Report& r : reports) {
        if (!r.Inspected()) {
            status = ExitSomeFailed;
            Err() << "kestrix-convert: cannot inspect " << r.file << ": " << r.error << "\n";
        }
        if (json) {
            array.append(ToJson(r));
        } else if (r.Inspected()) {
            if (!first)
                Out() << "\n";
            first = false;
            PrintText(r);
        }
    }
    if (json)
        Out() << QJsonDocument(array).toJson(QJsonDocument::Indented);
    Out().flush();
    Err().flush();
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

int Convert(const Job& job, const QStringList& files, const QString& outputFolder, bool overwrite,
            bool force, bool verify) {
    SafeFile::RemoveTemporaryOnSignals();
    const QString folder = QDir::toNativeSeparators(outputFolder);
    int status = ExitConverted;
    QSet<QString> written;
    for (const QString& given : files) {
        const QString source = QDir::toNativeSeparators(given);
        const QString name = FileFunctions::GetBaseName(FileFunctions::GetFileName(source)) +
                             LayoutExtension(job.target);
        const QString destination =
            folder.endsWith(PathSeparator()) ? folder + name : folder + PathSeparator() + name;
        auto refuse = [&](const QString& why) {
            Err() << "kestrix-convert: refused " << given << ": " << why << "\n";
            status = ExitSomeFailed;
        };

        if (written.contains(name)) {
            Err() << "kestrix-convert: skipped " << given << ": an earlier file of this run "
                  << "was already written as " << destination << "\n";
            status = ExitSomeFailed;
            continue;
        }
        auto skipExisting = [&] {
            Err() << "kestrix-convert: skipped " << given << ": " << destination
                  << " already exists (use --overwrite to replace it)\n";
            status = ExitSomeFailed;
        };
        if (!overwrite && SafeFile::EntryExists(destination)) {
            skipExisting();
            continue;
        }

        RomLayout from = SourceLayout(job.mode);
        if (job.command == Command::ToLayout || !force) {
            RomInspector::Options options;
            options.fingerprints = false;
            const RomInspector::Report report = RomInspector::Inspect(source, options);
            if (job.command == Command::ToLayout) {
                if (!report.Inspected()) {
                    refuse(report.error);
                    continue;
                }
                if (report.layout == RomLayout::Unknown) {
                    refuse(QStringLiteral("the layout is unknown (") +
                           report.reasons.join(QStringLiteral("; ")) + QStringLiteral(")"));
                    continue;
                }
                from = report.layout;
                if (from == job.target)
                    Out() << "note: " << given << " is already " << LayoutPhrase(from)
                          << "; writing a byte copy\n";
            } else if (report.IsOtherThan(from)) {
                const QString modes = RomInspector::ModesFor(report.layout);
                refuse(QStringLiteral("looks like %1 (%2); use %3%4")
                           .arg(LayoutPhrase(report.layout), Evidence(report), modes,
                                (modes.isEmpty() ? QString() : QStringLiteral(" or ")) +
                                    TargetCommand(job.target)));
                continue;
            }
        }

        QString sourceSha;
        if (verify) {
            // Taken before writing: the destination may be the source itself.
            QString why;
            sourceSha = RomInspector::PlainSha1(source, from, &why);
            if (sourceSha.isEmpty()) {
                refuse(why);
                continue;
            }
        }
        const ConversionResult result = Mod_Convert::ConvertLayout(
            from, job.target, source, destination,
            overwrite ? SafeFile::Existing::Replace : SafeFile::Existing::Keep);
        if (result == ConversionResult::DestinationExists) {
            skipExisting();
            continue;
        }
        if (result != ConversionResult::Converted) {
            refuse(result == ConversionResult::SizeRefused
                       ? Mod_Convert::SizeRule(from, job.target)
                       : Mod_File::DescribeResult(result, job.mode));
            continue;
        }
        written.insert(name);
        Out() << given << " -> " << destination << "\n";
        if (verify) {
            QString why;
            const QString written = RomInspector::PlainSha1(destination, job.target, &why);
            if (written != sourceSha) {
                Err() << "kestrix-convert: verification failed for " << destination << ": "
                      << (written.isEmpty() ? why
                                            : QStringLiteral("its plain content differs from "
                                                             "the source's"))
                      << "\n";
                status = ExitSomeFailed;
            } else {
                Out() << "verified " << destination << " (sha1 " << written << ")\n";
            }
        }
        Out().flush();
    }
    Out().flush();
    Err().flush();
    return status;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrix-convert"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRIX_VERSION));

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({"h", "help"}, "Show this help.");
    const QCommandLineOption version("version", "Show the version.");
    const QCommandLineOption output({"o", "output"}, "Output folder.", "DIR");
    const QCommandLineOption overwriteOption("overwrite", "Replace existing destinations.");
    const QCommandLineOption forceOption("force", "Convert whatever the content looks like.");
    const QCommandLineOption verifyOption("verify", "Read back and compare.");
    const QCommandLineOption jsonOption("json", "JSON output of info.");
    parser.addOptions(
        {help, version, output, overwriteOption, forceOption, verifyOption, jsonOption});
    if (!parser.parse(QCoreApplication::arguments())) {
        if (!parser.unknownOptionNames().isEmpty()) {
            const QString option = parser.unknownOptionNames().constFirst();
            return UsageError(QStringLiteral("unknown option '%1%2'")
                                  .arg(option.size() == 1 ? "-" : "--", option));
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
        Err().flush();
        return ExitUsage;
    }
    const std::optional<Job> job = ParseCommand(files.takeFirst());
    if (!job)
        return UsageError(
            QStringLiteral("unknown mode '%1'").arg(parser.positionalArguments().constFirst()));
    if (files.isEmpty())
        return UsageError(QStringLiteral("no files given"));

    if (job->command == Command::Info) {
        for (const QCommandLineOption* o : {&output, &overwriteOption, &forceOption, &verifyOption})
            if (parser.isSet(*o))
                return UsageError(
                    QStringLiteral("info takes no option --%1").arg(o->names().constLast()));
        return Info(files, parser.isSet(jsonOption));
    }
    if (parser.isSet(jsonOption))
        return UsageError(QStringLiteral("--json goes with info"));
    if (job->command == Command::ToLayout && parser.isSet(forceOption))
        return UsageError(QStringLiteral("--force goes with a fixed mode"));

    const QString outputFolder = parser.isSet(output) ? parser.value(output) : QDir::currentPath();
    const QFileInfo folderInfo(outputFolder);
    if (folderInfo.exists() && !folderInfo.isDir())
        return UsageError(QStringLiteral("'%1' is not a folder").arg(outputFolder));
    if (!folderInfo.isDir())
        return UsageError(QStringLiteral("output folder '%1' does not exist").arg(outputFolder));
    return Convert(*job, files, outputFolder, parser.isSet(overwriteOption),
                   parser.isSet(forceOption), parser.isSet(verifyOption));
}
