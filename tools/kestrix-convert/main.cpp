// kestrix-convert: converts ROM images from the command line with the same
// engine and the same destination names as the desktop program.

#include "ConversionMode.h"
#include "FileFunctions.h"
#include "Mod_File.h"
#include "PathSeparator.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QTextStream>

#include <cstdio>
#include <optional>

namespace {

constexpr int ExitConverted = 0;
constexpr int ExitSomeFailed = 1;
constexpr int ExitUsage = 2;

const char* const UsageText =
    "Usage: kestrix-convert MODE [-o DIR] [--overwrite] FILE...\n"
    "\n"
    "Converts Sega Genesis / Mega Drive ROM images between layouts.\n"
    "\n"
    "MODE is one of:\n"
    "  smd2bin   SMD image (.smd) to plain image (.bin)\n"
    "  bin2smd   plain image (.bin) to SMD image (.smd)\n"
    "  md2bin    MD image (.md) to plain image (.bin)\n"
    "  bin2md    plain image (.bin) to MD image (.md)\n"
    "\n"
    "Each FILE is written into DIR (default: the current folder) under its name\n"
    "before the first dot plus the extension of the mode.\n"
    "\n"
    "Options:\n"
    "  -o DIR        write the converted files into DIR\n"
    "  --overwrite   replace destinations that already exist\n"
    "  --help        show this help and exit\n"
    "  --version     show the version and exit\n"
    "\n"
    "Exit status: 0 when every file converted, 1 when any file was skipped or\n"
    "refused, 2 for a usage error.\n";

std::optional<std::int32_t> ParseMode(const QString& word) {
    if (word == QLatin1String("smd2bin"))
        return SMDtoBIN;
    if (word == QLatin1String("bin2smd"))
        return BINtoSMD;
    if (word == QLatin1String("md2bin"))
        return MDtoBIN;
    if (word == QLatin1String("bin2md"))
        return BINtoMD;
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

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();

    std::optional<std::int32_t> mode;
    QString outputFolder = QDir::currentPath();
    bool overwrite = false;
    bool optionsEnded = false;
    QStringList files;

    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (!optionsEnded && arg == QLatin1String("--help")) {
            Out() << UsageText;
            return ExitConverted;
        }
        if (!optionsEnded && arg == QLatin1String("--version")) {
            Out() << "kestrix-convert " << KESTRIX_VERSION << "\n";
            return ExitConverted;
        }
        if (!optionsEnded && arg == QLatin1String("--")) {
            optionsEnded = true;
        } else if (!optionsEnded && arg == QLatin1String("--overwrite")) {
            overwrite = true;
        } else if (!optionsEnded && arg == QLatin1String("-o")) {
            if (++i >= args.size())
                return UsageError(QStringLiteral("option -o needs a folder"));
            outputFolder = args.at(i);
        } else if (!optionsEnded && arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            return UsageError(QStringLiteral("unknown option '%1'").arg(arg));
        } else if (!mode) {
            mode = ParseMode(arg);
            if (!mode)
                return UsageError(QStringLiteral("unknown mode '%1'").arg(arg));
        } else {
            files.append(arg);
        }
    }

    if (!mode)
        return UsageError(QStringLiteral("no mode given"));
    if (files.isEmpty())
        return UsageError(QStringLiteral("no files given"));
    const QFileInfo folderInfo(outputFolder);
    if (!folderInfo.isDir())
        return UsageError(QStringLiteral("output folder '%1' does not exist").arg(outputFolder));

    const QString folder = QDir::toNativeSeparators(outputFolder);
    int status = ExitConverted;
    QSet<QString> written;
    for (const QString& given : files) {
        const QString source = QDir::toNativeSeparators(given);
        const QString name = Mod_File::DestinationName(source, *mode);
        const QString destination =
            folder.endsWith(PathSeparator()) ? folder + name : folder + PathSeparator() + name;

        if (written.contains(name)) {
            Err() << "kestrix-convert: skipped " << given << ": an earlier file of this run "
                  << "was already written as " << destination << "\n";
            status = ExitSomeFailed;
            continue;
        }
        if (!overwrite && QFileInfo(destination).isFile()) {
            Err() << "kestrix-convert: skipped " << given << ": " << destination
                  << " already exists (use --overwrite to replace it)\n";
            status = ExitSomeFailed;
            continue;
        }
        const ConversionResult result = Mod_File::ConvertFileReport(source, destination, *mode);
        if (result != ConversionResult::Converted) {
            Err() << "kestrix-convert: refused " << given << ": "
                  << Mod_File::DescribeResult(result, *mode) << "\n";
            status = ExitSomeFailed;
            continue;
        }
        written.insert(name);
        Out() << given << " -> " << destination << "\n";
    }
    Out().flush();
    Err().flush();
    return status;
}
