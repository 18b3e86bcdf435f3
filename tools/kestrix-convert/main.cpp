// kestrix-convert: converts ROM images from the command line with the same
// engine and the same destination names as the desktop program, and tells
// what an image is.

#include "Arguments.h"
#include "AuditRun.h"
#include "ConvertRun.h"
#include "ExportRun.h"
#include "Info.h"
#include "MakePatchRun.h"
#include "Output.h"
#include "SafeFile.h"
#include "Sources.h"

#include <QCoreApplication>
#include <QDir>

const char* const UsageText =
    "Usage: kestrix-convert MODE [OPTIONS] FILE...\n"
    "       kestrix-convert to-bin|to-smd|to-md [OPTIONS] FILE...\n"
    "       kestrix-convert info [--json] [--dat DAT]... [-j N] FILE...\n"
    "       kestrix-convert fix-checksum|trim [OPTIONS] FILE...\n"
    "       kestrix-convert patch -p PATCH [-p PATCH]... [OPTIONS] IMAGE...\n"
    "       kestrix-convert audit --dat DAT [--dat DAT]... [--json]\n"
    "                             [--fixdat FILE [--overwrite]] [--no-cache] [-r] FILE...\n"
    "       kestrix-convert make-patch [--format bps|ips|ups] [--metadata TEXT]\n"
    "                             [--as-is] [--allow-same] [--overwrite]\n"
    "                             ORIGINAL MODIFIED -o PATCH\n"
    "       kestrix-convert export --profile NAME [--profile-file FILE]...\n"
    "                             [--dat DAT]... [OPTIONS] FILE...\n"
    "       kestrix-convert export --list-profiles | --undo MANIFEST\n"
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
    "info shows each file's layout, what its size says of the dump, its\n"
    "cartridge header, the header checksum and the CRC32, MD5 and SHA-1 of the\n"
    "plain content.\n"
    "\n"
    "fix-checksum writes the checksum the console's boot check computes into the\n"
    "header; trim cuts padding or a mirror past the header's ROM end (other data\n"
    "only with --force). Both keep the file's layout and name, writing into DIR,\n"
    "or into the file itself with --in-place; a file with nothing to mend is\n"
    "left alone.\n"
    "\n"
    "patch applies each PATCH (IPS, BPS, UPS or xdelta's VCDIFF, known by its\n"
    "content), in order, to the plain content of each IMAGE whatever its layout\n"
    "(to the file's own bytes when a BPS, UPS or VCDIFF patch was made for\n"
    "those). A BPS or UPS patch refuses an image it was not made for (see\n"
    "--force) and fails a result that is not its target; a VCDIFF refuses one\n"
    "whose result its windows' checksums do not describe. The header checksum is then mended (see\n"
    "--keep-checksum), and the result written in the image's layout (or --to's)\n"
    "as the last PATCH's name up to its last dot plus the layout's extension.\n"
    "\n"
    "make-patch writes to PATCH a patch (BPS, IPS or UPS) that turns ORIGINAL\n"
    "into MODIFIED, made between their plain contents whatever their layouts,\n"
    "read back and applied to ORIGINAL before it is written.\n"
    "\n"
    "export writes each image into DIR as a device reads it (export\n"
    "--list-profiles shows the devices): plain, in the device's folder, with its\n"
    "extension (by machine, and by region where the device asks), named after\n"
    "the game in the DAT files where one matches, zipped where the device reads\n"
    "zips; images of machines it does not run are left out, and a folder past\n"
    "the files it reads is split into letter folders. A manifest of what was\n"
    "written goes beside it; export --undo MANIFEST takes it back.\n"
    "\n"
    "audit checks a collection against DAT files: each FILE (and each file of an\n"
    "archive, of a folder with -r) is matched by its plain content or as it is,\n"
    "and the report goes by game: have, incomplete (some of its ROMs), missing,\n"
    "bad dump (a DAT's size and CRC32 or name, another SHA-1), unknown,\n"
    "duplicate. A ROM is matched by what its DAT lists: SHA-1, else MD5, else\n"
    "CRC32 (and size); games with no ROM or only ROMs never dumped (nodump) are\n"
    "counted apart. It writes nothing but --fixdat.\n"
    "\n"
    "A FILE may be an archive (.zip, .7z, .gz, .xz, .bz2, .zst, judged by its\n"
    "content): each file in it is a source of its own, named after its own file\n"
    "name. A FILE of - is standard input. Each FILE is written into DIR\n"
    "(default: the current folder) under its name before the first dot (the last\n"
    "with --full-stem) plus the extension of the target layout. A file is\n"
    "reported as converted once it and its name are on disk. Names that are not\n"
    "UTF-8 are taken byte for byte and shown with the bytes escaped (\\xE9).\n"
#ifdef _WIN32
    "\n"
    "On Windows, paths are shown with backslashes, patterns in a FILE (*.smd)\n"
    "are expanded by the program, names Windows refuses (CON, NUL, a trailing\n"
    "dot...) are refused, and names that differ only in case are one file.\n"
#endif
    "\n"
    "Options:\n"
    "  -o, --output DIR  write the converted files into DIR (- : the one converted\n"
    "                    image to standard output, never to a terminal)\n"
    "  --overwrite       replace destinations that already exist\n"
    "  --skip-existing   leave existing destinations alone, silently (counted as\n"
    "                    skipped, not failing the run)\n"
    "  --in-place        fix-checksum, trim: mend the file itself\n"
    "  --force           convert with a fixed MODE even when the content looks\n"
    "                    like another layout; trim: cut other data too; patch:\n"
    "                    apply a patch to an image it was not made for\n"
    "  --verify          once all are written, read each file back and compare\n"
    "                    its plain content with the source's (SHA-1)\n"
    "  -n, --dry-run     tell what would be written where, and write nothing\n"
    "  -r, --recursive   walk the folders among the FILEs (not following links to\n"
    "                    folders), writing into the same folders under DIR\n"
    "  --files-from FILE read the names of the sources from FILE (- for standard\n"
    "                    input), one a line\n"
    "  -z, -0, --null    names read with --files-from end with NUL, and so do the\n"
    "                    names of each SOURCE NUL DESTINATION NUL record written\n"
    "  --full-stem       name outputs after the source's name up to its last dot\n"
    "  --zip             write each converted file as NAME.zip holding it\n"
    "  --name NAME       the name of the source read from standard input\n"
    "  -q, --quiet       print errors only\n"
    "  --json            info: one JSON document on standard output\n"
    "  -j, --jobs N      convert or inspect N files at once (default: one a core);\n"
    "                    what is printed is the same for any N\n"
    "  --dat FILE        a DAT file, Logiqx XML or ClrMamePro's text (repeatable):\n"
    "                    info shows the game and ROM each file matches (by the\n"
    "                    SHA-1 of its plain content, or CRC32 and size)\n"
    "  --dat-names       to-*: name each output after the ROM it matches in the\n"
    "                    DAT files, with the target layout's extension\n"
    "  -p, --patch PATCH patch: a patch to apply (repeatable, applied in order)\n"
    "  --to bin|smd|md   patch: the layout written (default: the image's)\n"
    "  --keep-checksum   patch: leave the header checksum as the patches made it\n"
    "  --fixdat FILE     audit: write a DAT of the missing games and ROMs into FILE\n"
    "                    (never over a file the run reads; over any other file\n"
    "                    only with --overwrite)\n"
    "  --no-cache        read every DAT and (audit) every file anew, none taken\n"
    "                    from the cache (which never changes a result, only the\n"
    "                    time)\n"
    "  --format FORMAT   make-patch: bps, ips or ups (default: by PATCH's name,\n"
    "                    else bps)\n"
    "  --metadata TEXT   make-patch: text carried in a BPS patch\n"
    "  --as-is           make-patch: between the files as they are, not their\n"
    "                    plain contents\n"
    "  --allow-same      make-patch: write a patch of two images that are the same\n"
    "  --profile NAME    export: the device to write for\n"
    "  --profile-file FILE  export: device profiles of your own (repeatable)\n"
    "  --list-profiles   export: show the device profiles\n"
    "  --undo MANIFEST   export: remove the unchanged files an export wrote\n"
    "  -h, --help        show this help and exit\n"
    "  --version         show the version and exit\n"
    "Long options may be cut short where they stay unambiguous (--overwr).\n"
    "\n"
    "Standard output carries one line a written file, SOURCE -> DESTINATION\n"
    "(the reports with info); notes, refusals and errors go to standard error,\n"
    "where a run ends with one line of counts (converted, skipped, refused,\n"
    "failed) and shows its progress while that is a terminal (not a dumb one).\n"
    "\n"
    "Exit status: 0 when every file converted (or was inspected, or was left\n"
    "alone), 1 when any file was skipped, refused or failed verification, or an\n"
    "output could not be written, 2 for a usage error, 128+N when ended by\n"
    "signal N (130 for Ctrl-C, 141 for a closed pipe). audit: 0 when nothing is\n"
    "missing or bad, 1 otherwise.\n";

const char* const ShortUsage = "Usage: kestrix-convert MODE [OPTIONS] FILE...\n"
                               "       kestrix-convert info [OPTIONS] FILE...\n";

const char* const VersionText =
    "Copyright (C) 2026 The Kestrix developers.\n"
    "License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n";

namespace {

// What a run of conversions, repairs or patches needs before anything is
// written: the output, the DAT files and the patches, each checked; false,
// told, when one will not do.
bool Settle(const Arguments& arguments, Settings* settings) {
    settings->arguments = arguments;
    settings->folder = QDir::toNativeSeparators(arguments.output);
    // An image is never written to a terminal.
    if (arguments.output == QLatin1String("-") && !arguments.dryRun && SafeFile::IsTerminal(1)) {
        Message() << "standard output is a terminal: the image is not written to "
                     "it (redirect it to a file or a pipe)\n";
        return false;
    }
    // A missing output folder is an error of the run, not of its words.
    if (!settings->folder.isEmpty() && arguments.output != QLatin1String("-") &&
        !SafeFile::IsFolder(settings->folder)) {
        Message() << ""
                  << (SafeFile::EntryExists(settings->folder)
                          ? QStringLiteral("'%1' is not a folder")
                          : QStringLiteral("output folder '%1' does not exist"))
                         .arg(Shown(settings->folder))
                  << "\n";
        return false;
    }
    // A DAT file that cannot be read stops the run before anything is written.
    if (!LoadDats(arguments.dats, settings->dats, !arguments.noCache))
        return false;
    // So does a patch: every one is read and checked first.
    for (const QString& path : arguments.patches) {
        Patch::Loaded patch;
        if (const EngineError loaded = Patch::Load(path, &patch); loaded.Failed()) {
            Message() << "cannot use the patch " << loaded.Text() << "\n";
            return false;
        }
        settings->patches.push_back(std::move(patch));
    }
    return true;
}

int Main(int argc, char* argv[]) {
    int status = ExitConverted;
    // The arguments as the bytes they are: a name need not be UTF-8.
    const std::optional<Arguments> arguments =
        ParseArguments(SafeFile::DecodeArguments(argc, argv), &status);
    if (!arguments)
        return status;
    if (arguments->job.command == Command::MakePatch)
        return MakePatchRun(*arguments);
    if (arguments->job.command == Command::Export)
        return ExportRun(*arguments);
    if (arguments->job.command == Command::Audit) {
        Gathered gathered;
        if (!GatherSources(*arguments, &gathered))
            return ExitSomeFailed;
        return AuditRun(*arguments, gathered);
    }
    if (arguments->job.command == Command::Info) {
        QStringList files = arguments->files;
        if (arguments->filesFromSet) {
            Gathered gathered;
            if (!GatherSources(*arguments, &gathered))
                return ExitSomeFailed;
            files.clear();
            for (const JobSource& file : gathered.files)
                files << file.path;
        }
        return Info(files, arguments->json, arguments->dats, !arguments->noCache, arguments->jobs,
                    arguments->name);
    }

    Settings settings;
    if (!Settle(*arguments, &settings))
        return ExitSomeFailed;
    Gathered gathered;
    if (!GatherSources(*arguments, &gathered))
        return ExitSomeFailed;
    return ConvertRun(settings, gathered);
}

} // namespace

int main(int argc, char* argv[]) {
    SafeFile::BinaryStandardStreams();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrix-convert"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRIX_VERSION));
    // A full disk or a file-size limit is an error like any other, never a
    // silent end; a signal removes what is half written.
    SafeFile::RemoveTemporaryOnSignals();
    const int status = Main(argc, argv);
    if (!CloseOutputs())
        return status == ExitConverted ? ExitSomeFailed : status;
    return status;
}
