#include "DatFile.h"
#include "Mod_Convert.h"
#include "PatchWriters.h"
#include "RomImages.h"
#include "RomInspector.h"
#include "SafeFile.h"
#include "TestFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <QCryptographicHash>
#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>

#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <cstring>
#include <tuple>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using TestFiles::RandomBytes;
using TestFiles::ReadFile;
using TestFiles::WriteFile;

Q_DECLARE_METATYPE(RomLayout)

// A name with bytes that are not UTF-8, as old archives have them.
static const QString Cafe = u"caf\xDCE9"_qs;

class tst_KestrixConvert : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase() { init(); }
    void usageErrors_data();
    void usageErrors();
    void helpAndVersion_data();
    void helpAndVersion();
    void optionsAgree();
    void convertsEachMode_data();
    void convertsEachMode();
    void existingDestination();
    void info();
    void jsonValues_data();
    void jsonValues();
    void reports_data();
    void reports();
    void repairs_data();
    void repairs();
    void patching_data();
    void patching();
    void audit_data();
    void audit();
    void exporting_data();
    void exporting();
    void layoutAware_data();
    void layoutAware();
    void archives_data();
    void archives();
    void treesAndLists_data();
    void treesAndLists();
    void datFiles_data();
    void datFiles();
    void edgeRuns_data();
    void edgeRuns();
    void oneDestinationPerRun_data();
    void oneDestinationPerRun();
    void powerCut_data();
    void powerCut();
    void anotherOwner_data();
    void anotherOwner();
    void interrupted_data();
    void interrupted();

private:
    using Result = TestFiles::ProcessResult;
    Result Run(const QStringList& args) {
        return TestFiles::RunProgram(program_, args, dir_.path());
    }
    QString Path(const QString& name) const { return dir_.filePath(name); }
    // Runs a shell script in the test folder, with $KX naming kestrix-convert,
    // $PR progressbar-render and $SHIM the test's LD_PRELOAD library.
    Result RunShell(const QString& script) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KX", program_);
        env.insert("PR", qEnvironmentVariable("KESTRIX_BIN_DIR") + "/progressbar-render");
        env.insert("SHIM", qEnvironmentVariable("KESTRIX_SHIM"));
        env.insert("A", archives_.path());
        // The shim comes before a sanitizer's runtime.
        env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
        // A coverage build writes its counters when a program ends; under a
        // file-size limit they would be cut short and spoil the report.
        if (script.contains("ulimit -f"))
            env.insert("GCOV_PREFIX", archives_.filePath("limited-counters"));
        return TestFiles::RunProgram("/bin/sh", {"-c", script}, dir_.path(), env);
    }
    // A path in the test folder from a name that may hold bytes that are not
    // UTF-8 (written as lone surrogates, as the program carries them).
    QByteArray RawPath(const QString& name) const {
        return QFile::encodeName(dir_.path()) + "/" + SafeFile::EncodeName(name);
    }

    QString program_;
    QString shipped_;
    QTemporaryDir dir_;
    QTemporaryDir archives_; // built once by tests/data/make_archives.py
};

void tst_KestrixConvert::initTestCase() {
    // The tests' build, whose writer takes faults from the environment; the
    // shipped program is run where that must make no difference.
    program_ = qEnvironmentVariable("KESTRIX_TEST_BIN_DIR") + "/kestrix-convert";
    shipped_ = qEnvironmentVariable("KESTRIX_BIN_DIR") + "/kestrix-convert";
    QVERIFY2(QFileInfo(program_).isExecutable(), qPrintable(program_));
    QVERIFY2(QFileInfo(shipped_).isExecutable(), qPrintable(shipped_));
    // The audits' cache of fingerprints is the test's own.
    QVERIFY(archives_.isValid());
    qputenv("XDG_CACHE_HOME", QFile::encodeName(archives_.filePath("cache")));
    // The archives hold this cartridge as game.smd, and other.bin beside it.
    QVERIFY(archives_.isValid());
    const QByteArray plain = RomImages::CartridgeImage(65536, 7);
    QVERIFY(WriteFile(archives_.filePath("game.smd"), RomImages::Smd(plain)));
    QVERIFY(WriteFile(archives_.filePath("other.bin"), RomImages::CartridgeImage(32768, 8)));
    const TestFiles::ProcessResult made = TestFiles::RunProgram(
        "python3", {QString(KESTRIX_SOURCE_DIR "/tests/data/make_archives.py"), archives_.path(),
                    archives_.filePath("game.smd"), archives_.filePath("other.bin")});
    QVERIFY2(made.status == 0, qPrintable(made.err));
}

void tst_KestrixConvert::init() {
    QVERIFY(dir_.isValid());
    // Whatever the names' bytes are.
    QCOMPARE(QProcess::execute("sh", {"-c", "rm -rf -- \"$0\"/* \"$0\"/.[!.]*", dir_.path()}), 0);
    QCOMPARE(QDir(dir_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
}

void tst_KestrixConvert::usageErrors_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing") << QStringList() << "Usage: kestrix-convert MODE";
    QTest::newRow("unknown mode") << QStringList{"bin2zip", "a.bin"} << "unknown mode 'bin2zip'";
    QTest::newRow("no files") << QStringList{"bin2md"} << "no files given";
    QTest::newRow("-o without folder") << QStringList{"bin2md", "a.bin", "-o"} << "needs a folder";
    QTest::newRow("--output= names nothing")
        << QStringList{"bin2md", "--output=", "a.bin"} << "option '--output' needs a folder";
    QTest::newRow("a flag given a value") << QStringList{"bin2md", "--quiet=yes", "a.bin"}
                                          << "option '--quiet' doesn't allow an argument";
    QTest::newRow("an unknown letter among others")
        << QStringList{"bin2md", "-rx", "a.bin"} << "unknown option '-x'\n";
    QTest::newRow("an option named as typed")
        << QStringList{"info", "-r", "a.bin"} << "info takes no option -r\n";
    QTest::newRow("an ambiguous abbreviation")
        << QStringList{"bin2md", "--ver", "a.bin"}
        << "option '--ver' is ambiguous; possibilities: --verify --version";
    QTest::newRow("no arguments at all")
        << QStringList{}
        << "Usage: kestrix-convert MODE [OPTIONS] FILE...\n       kestrix-convert info [OPTIONS] "
           "FILE...\nTry 'kestrix-convert --help' for more information.\n";
    QTest::newRow("--overwrite with --skip-existing")
        << QStringList{"bin2md", "--overwrite", "--skip-ex", "a.bin"}
        << "--overwrite and --skip-existing exclude each other";
    QTest::newRow("standard input without a name")
        << QStringList{"bin2md", "-o", ".", "-"} << "needs --name NAME";
    QTest::newRow("a zip on standard output")
        << QStringList{"to-bin", "--zip", "-o", "-", "a.bin"} << "--zip";
    QTest::newRow("standard output for two files")
        << QStringList{"bin2md", "-o", "-", "a.bin", "a.bin"} << "give one source";
    QTest::newRow("standard output with --verify")
        << QStringList{"to-bin", "--verify", "-o", "-", "a.bin"}
        << "-o - writes to standard output: not with --verify";
    QTest::newRow("standard output with --in-place")
        << QStringList{"trim", "--in-place", "-o", "-", "a.bin"}
        << "-o - writes to standard output: not with --in-place";
    QTest::newRow("json with a mode") << QStringList{"bin2md", "--json", "a.bin"} << "--json";
    QTest::newRow("-j 0") << QStringList{"info", "-j", "0", "a.bin"}
                          << "-j needs a number from 1 to 1024";
    QTest::newRow("-j 0 with a conversion")
        << QStringList{"to-bin", "-j0", "a.bin"} << "-j needs a number from 1 to 1024";
    QTest::newRow("--in-place with a conversion") << QStringList{"to-bin", "--in-place", "a.bin"}
                                                  << "--in-place goes with fix-checksum or trim";
    QTest::newRow("--in-place and -o") << QStringList{"trim", "--in-place", "-o", ".", "a.bin"}
                                       << "--in-place and -o exclude each other";
    QTest::newRow("--force with fix-checksum") << QStringList{"fix-checksum", "--force", "a.bin"}
                                               << "--force goes with a fixed mode or trim";
    QTest::newRow("--zip with trim")
        << QStringList{"trim", "--zip", "a.bin"} << "--zip goes with conversions";
    QTest::newRow("info with -o") << QStringList{"info", "-o", ".", "a.bin"} << "info takes no";
    QTest::newRow("unknown option") << QStringList{"bin2md", "--fast", "a.bin"} << "'--fast'";
    QTest::newRow("--dat without --dat-names in a conversion")
        << QStringList{"to-bin", "--dat", "a.bin", "a.bin"} << "--dat and --dat-names go together";
    QTest::newRow("info -r") << QStringList{"info", "-r", "a.bin"} << "info takes no option";
    QTest::newRow("patch without a patch")
        << QStringList{"patch", "a.bin"} << "patch needs a patch: -p PATCH";
    QTest::newRow("patch --to another layout")
        << QStringList{"patch", "-p", "a.ips", "--to", "n64", "a.bin"}
        << "--to takes bin, smd or md, not 'n64'";
    QTest::newRow("a patch with a conversion")
        << QStringList{"to-bin", "-p", "a.ips", "a.bin"} << "-p goes with patch";
    QTest::newRow("patch --in-place") << QStringList{"patch", "-p", "a.ips", "--in-place", "a.bin"}
                                      << "patch takes no option --in-place";
    QTest::newRow("audit without a DAT")
        << QStringList{"audit", "a.bin"} << "audit needs a DAT file: --dat DAT";
    QTest::newRow("make-patch of one image") << QStringList{"make-patch", "a.bin", "-o", "p.bps"}
                                             << "make-patch takes two images: ORIGINAL MODIFIED";
    QTest::newRow("make-patch without its file") << QStringList{"make-patch", "a.bin", "b.bin"}
                                                 << "make-patch needs the patch's file: -o PATCH";
    QTest::newRow("make-patch of another format")
        << QStringList{"make-patch", "--format", "xdelta", "a.bin", "b.bin", "-o", "p"}
        << "--format takes bps, ips or ups, not 'xdelta'";
    QTest::newRow("audit writes nothing")
        << QStringList{"audit", "--dat", "a.dat", "-o", "out", "a.bin"}
        << "audit takes no option -o";
    QTest::newRow("a fixdat without an audit")
        << QStringList{"info", "--fixdat", "f.dat", "a.bin"} << "--fixdat goes with audit";
    QTest::newRow("a patch from standard input")
        << QStringList{"patch", "-p", "-", "a.bin"}
        << "a patch is read from a file, not from standard input";
    QTest::newRow("export without a device")
        << QStringList{"export", "a.bin"} << "export needs a device: --profile NAME";
    QTest::newRow("export of an unknown device")
        << QStringList{"export", "--profile", "gameboy", "a.bin"}
        << "no device profile is named gameboy (profiles: mister, pocket, everdrive, megasg, "
           "retroarch, twilight, plain)";
    QTest::newRow("export from standard input")
        << QStringList{"export", "--profile", "plain", "-"}
        << "export reads files and writes a folder: not standard input or output (-)";
    QTest::newRow("export zips as its device does")
        << QStringList{"export", "--profile", "plain", "--zip", "a.bin"}
        << "export takes no option --zip";
    QTest::newRow("an undo with files")
        << QStringList{"export", "--undo", "m.json", "a.bin"} << "export --undo takes no files";
    QTest::newRow("a profile with a conversion")
        << QStringList{"to-bin", "--profile", "plain", "a.bin"} << "--profile goes with export";
}

void tst_KestrixConvert::usageErrors() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QVERIFY(WriteFile(Path("a.bin"), RandomBytes(16384, 1)));
    const Result result = Run(args);
    QCOMPARE(result.status, 2);
    QVERIFY2(result.err.contains(message), qPrintable(result.err));
    // A short answer, not the whole help.
    QVERIFY2(result.err.count('\n') <= 3, qPrintable(result.err));
}

void tst_KestrixConvert::helpAndVersion_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("text");
    QTest::newRow("help") << "--help"
                          << "Usage: kestrix-convert MODE";
    QTest::newRow("version") << "--version"
                             << "kestrix-convert 2.0";
    QTest::newRow("version: copyright and licence")
        << "--version"
        << "Copyright (C) 2026 The Kestrix developers.\nLicense GPLv3+: GNU GPL version 3 or later";
    QTest::newRow("help: the exit status of a signal") << "--help"
                                                       << "signal N (130 for Ctrl-C";
}

void tst_KestrixConvert::helpAndVersion() {
    QFETCH(QString, option);
    QFETCH(QString, text);
    const Result result = Run({option});
    QCOMPARE(result.status, 0);
    // The first line, or a later one.
    QVERIFY2(result.out.startsWith(text) || result.out.contains("\n" + text),
             qPrintable(result.out));
}

// --help, the manual page and the bash completion name the same options; the
// completion works without the bash-completion package, and offers info
// what info takes.
void tst_KestrixConvert::optionsAgree() {
    auto longOptions = [](QString text) {
        text.replace("\\-", "-");
        QStringList found;
        QRegularExpressionMatchIterator it =
            QRegularExpression("(?<![\\w-])--[a-z][a-z0-9-]*").globalMatch(text);
        while (it.hasNext())
            found << it.next().captured();
        // The example of a long option cut short.
        found.removeAll("--overwr");
        found.removeDuplicates();
        found.sort();
        return found;
    };
    const QString help = Run({"--help"}).out;
    const QString manual = ReadFile(KESTRIX_SOURCE_DIR "/resources/linux/kestrix-convert.1");
    const QString completion =
        ReadFile(KESTRIX_SOURCE_DIR "/resources/linux/kestrix-convert.bash-completion");
    QCOMPARE(longOptions(help).size(), 33);
    QCOMPARE(longOptions(manual), longOptions(help));
    QCOMPARE(longOptions(completion), longOptions(help));
    const QString synopsis = manual.section(".SH SYNOPSIS", 1).section(".SH", 0, 0);
    QStringList inSynopsis = longOptions(synopsis);
    for (const char* shortOnly : {"-o", "-n", "-r", "-z", "-j"})
        QVERIFY2(synopsis.contains(QString("\\") + shortOnly), shortOnly);
    for (const QString& option : longOptions(help))
        if (!QStringList{"--output", "--dry-run", "--recursive", "--null", "--quiet", "--jobs"}
                 .contains(option))
            QVERIFY2(inSynopsis.contains(option), qPrintable(option));

    const Result offered =
        RunShell("env -i bash --norc -c 'source \"$0\"; COMP_WORDS=(kestrix-convert info --); "
                 "COMP_CWORD=2; _kestrix_convert; echo \"${COMPREPLY[*]}\"' " KESTRIX_SOURCE_DIR
                 "/resources/linux/kestrix-convert.bash-completion");
    QCOMPARE(offered.err, QString());
    QCOMPARE(offered.out.split(' ', Qt::SkipEmptyParts).size(), 10);
    for (const char* option :
         {"--json", "--dat", "--no-cache", "--jobs", "--files-from", "--null", "--name"})
        QVERIFY2(offered.out.contains(option), qPrintable(offered.out));
    // And patch what patch takes, the layouts after --to.
    const Result patch = RunShell(
        "env -i bash --norc -c 'source \"$0\"; COMP_WORDS=(kestrix-convert patch -p a.ips --); "
        "COMP_CWORD=4; _kestrix_convert; echo \"${COMPREPLY[*]}\"; COMP_WORDS=(kestrix-convert "
        "patch --to \"\"); COMP_CWORD=3; _kestrix_convert; echo "
        "\"${COMPREPLY[*]}\"' " KESTRIX_SOURCE_DIR
        "/resources/linux/kestrix-convert.bash-completion");
    QCOMPARE(patch.err, QString());
    for (const char* option : {"--patch", "--to", "--keep-checksum", "--force", "--verify"})
        QVERIFY2(patch.out.section('\n', 0, 0).contains(option), qPrintable(patch.out));
    QCOMPARE(patch.out.section('\n', 1, 1), QString("bin smd md"));
}

void tst_KestrixConvert::convertsEachMode_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("source");
    QTest::addColumn<RomLayout>("from");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<RomLayout>("to");
    QTest::newRow("smd2bin") << "smd2bin"
                             << "Game.eu.smd" << RomLayout::Smd << "Game.bin" << RomLayout::Plain;
    QTest::newRow("bin2smd") << "bin2smd"
                             << "Game" << RomLayout::Plain << "Game.smd" << RomLayout::Smd;
    QTest::newRow("md2bin") << "md2bin"
                            << "game.md" << RomLayout::Md << "game.bin" << RomLayout::Plain;
    QTest::newRow("bin2md") << "bin2md"
                            << "sonic.bin" << RomLayout::Plain << "sonic.md" << RomLayout::Md;
    QTest::newRow("odd name") << "bin2md"
                              << "a b, 索尼克 [!].bin" << RomLayout::Plain << "a b, 索尼克 [!].md"
                              << RomLayout::Md;
}

void tst_KestrixConvert::convertsEachMode() {
    QFETCH(QString, mode);
    QFETCH(QString, source);
    QFETCH(RomLayout, from);
    QFETCH(QString, destination);
    QFETCH(RomLayout, to);
    QVERIFY(QDir(dir_.path()).mkpath("out"));
    const QByteArray plain = RandomBytes(3 * 16384, 1);
    QVERIFY(WriteFile(Path(source), RomImages::InLayout(plain, from)));
    const Result result = Run({mode, "-o", "out", source});
    QCOMPARE(result.status, 0);
    // Writing the MD layout is said to be no plain image, once.
    QCOMPARE(result.err,
             QString(to == RomLayout::Md
                         ? "kestrix-convert: note: the .md files written hold the MD layout (the "
                           "odd bytes, then the even ones); loaders that take .md for a plain "
                           "image will not read them\n"
                         : "") +
                 "kestrix-convert: 1 converted, 0 skipped, 0 refused, 0 failed\n");
    QCOMPARE(result.out, source + " -> out/" + destination + "\n");
    QCOMPARE(ReadFile(Path("out/" + destination)), RomImages::InLayout(plain, to));
}

void tst_KestrixConvert::existingDestination() {
    QVERIFY(WriteFile(Path("a.bin"), RandomBytes(16384, 2)));
    QVERIFY(WriteFile(Path("a.md"), "old"));
    Result result = Run({"bin2md", "a.bin"});
    QCOMPARE(result.status, 1);
    QVERIFY2(result.err.contains("a.md already exists"), qPrintable(result.err));
    QCOMPARE(ReadFile(Path("a.md")), QByteArray("old"));

    result = Run({"bin2md", "--overwrite", "a.bin"});
    QCOMPARE(result.status, 0);
    QCOMPARE(ReadFile(Path("a.md")).size(), 16384);
}

void tst_KestrixConvert::info() {
    const QByteArray plain = RomImages::PlainImage(2 * 16384, 1);
    QVERIFY(WriteFile(Path("game.bin"), plain));
    QVERIFY(WriteFile(Path("game.md"), RomImages::Md(plain)));
    QVERIFY(WriteFile(Path("empty.bin"), QByteArray()));

    Result result = Run({"info", "game.md"});
    QCOMPARE(result.status, 0);
    QVERIFY2(result.out.contains("md (certain)") && result.out.contains("KESTRIX TEST CART") &&
                 result.out.contains(": ok"),
             qPrintable(result.out));

    result = Run({"info", "--json", "game.bin", "game.md", "empty.bin", "missing.bin"});
    QCOMPARE(result.status, 1);
    const QJsonObject document = QJsonDocument::fromJson(result.out.toUtf8()).object();
    QCOMPARE(document.keys(), QStringList({"files", "schema"}));
    QCOMPARE(document["schema"].toInt(), 3);
    const QJsonArray array = document["files"].toArray();
    QCOMPARE(array.size(), 4);
    // The keys of every object, whatever became of its file.
    const QStringList keys{"cartridge_header",
                           "certainty",
                           "checksum_computed",
                           "checksum_declared_range",
                           "checksum_declared_range_ok",
                           "checksum_ok",
                           "checksum_stored",
                           "copyright",
                           "crc32",
                           "dat_game",
                           "dat_match",
                           "dat_rom",
                           "devices",
                           "disc",
                           "dump",
                           "dump_past_end",
                           "error",
                           "file",
                           "file_bytes_hex",
                           "kind",
                           "layout",
                           "lock_on_checksum_computed",
                           "lock_on_checksum_stored",
                           "lock_on_size",
                           "machine",
                           "md5",
                           "overdump_tail_mirrored",
                           "patch",
                           "plain_size",
                           "ram_end",
                           "ram_start",
                           "reasons",
                           "region",
                           "regions",
                           "rom_end",
                           "rom_start",
                           "serial",
                           "sha1",
                           "size",
                           "smd_blocks",
                           "smd_blocks_declared",
                           "ssf_mapper",
                           "system",
                           "title_domestic",
                           "title_overseas"};
    for (const QJsonValue& object : array)
        QCOMPARE(object.toObject().keys(), keys);
    const QJsonObject bin = array[0].toObject();
    const QJsonObject md = array[1].toObject();
    QCOMPARE(bin["layout"].toString(), QString("plain"));
    QCOMPARE(md["layout"].toString(), QString("md"));
    QCOMPARE(md["sha1"], bin["sha1"]);
    QVERIFY(md["checksum_ok"].toBool());
    QVERIFY(md["error"].isNull() && md["file_bytes_hex"].isNull());
    QCOMPARE(md["checksum_stored"].toInt(), int(RomImages::HeaderChecksum(plain)));
    QCOMPARE(md["regions"].toArray(), QJsonArray({"Japan", "Americas", "Europe"}));
    QCOMPARE(md["rom_end"].toInt(), plain.size() - 1);
    QCOMPARE(md["dump"].toString(), QString("complete"));
    QVERIFY(md["ram_start"].isNull() && md["checksum_declared_range_ok"].isNull());
    QCOMPARE(md["copyright"].toString(), QString("(C)KSTX 2026.DEC"));
    const QJsonObject empty = array[2].toObject();
    QCOMPARE(empty["error"].toString(), QString("the file is empty"));
    QCOMPARE(empty["size"].toInt(-1), 0);
    // Nothing is known of a missing file: not even its size.
    const QJsonObject missing = array[3].toObject();
    QVERIFY(missing["error"].toString().contains("does not exist"));
    for (const char* key : {"size", "checksum_computed", "crc32", "layout", "dump", "copyright"})
        QVERIFY2(missing[key].isNull(), key);
    QVERIFY(result.err.contains("missing.bin"));

    // With DAT files: the match, or null.
    QVERIFY(WriteFile(Path("set.dat"),
                      "<datafile><game name=\"G\"><rom name=\"g.bin\" sha1=\"" +
                          QCryptographicHash::hash(plain, QCryptographicHash::Sha1).toHex() +
                          "\"/></game></datafile>\n"));
    QVERIFY(WriteFile(Path("other.bin"), RandomBytes(16384, 3)));
    const int fd = ::open(RawPath(Cafe + ".bin").constData(), O_CREAT | O_WRONLY, 0644);
    QVERIFY(fd >= 0);
    ::close(fd);
    result = RunShell("\"$KX\" info --json --dat set.dat game.md other.bin \"$(printf "
                      "'caf\\351.bin')\"");
    QCOMPARE(result.status, 1);
    const QJsonArray matched =
        QJsonDocument::fromJson(result.out.toUtf8()).object()["files"].toArray();
    QCOMPARE(matched.size(), 3);
    QCOMPARE(matched[0].toObject().keys(), keys);
    QCOMPARE(matched[0].toObject()["dat_game"].toString(), QString("G"));
    QCOMPARE(matched[0].toObject()["dat_rom"].toString(), QString("g.bin"));
    const QJsonObject other = matched[1].toObject();
    QVERIFY(other["dat_game"].isNull() && other["dat_rom"].isNull());
    // A file of no known layout: no header fields, and no checksum verdict.
    for (const char* key : {"devices", "rom_end", "copyright", "checksum_ok", "system"})
        QVERIFY2(other[key].isNull(), key);
    QCOMPARE(other["dump"].toString(), QString("unknown"));
    // A name that is not UTF-8: its bytes, in hex, beside the escaped form.
    const QJsonObject cafe = matched[2].toObject();
    QCOMPARE(cafe["file"].toString(), QString("caf\\xE9.bin"));
    QCOMPARE(cafe["file_bytes_hex"].toString(), QString("636166e92e62696e"));
}

void tst_KestrixConvert::jsonValues_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("file"); // none: the file is missing
    // The whole object, written out by hand: the fingerprints and checksum
    // are Python's (RomImages::Known), the header fields those PutHeader
    // writes.
    QTest::addColumn<QByteArray>("expected");
    const QByteArray plain = RomImages::CartridgeImage(65536, 7);
    QTest::newRow("a complete plain dump")
        << "game.bin" << plain << QByteArray(R"({"certainty": "certain", "checksum_computed": 51652,
            "checksum_declared_range": null, "checksum_declared_range_ok": null,
            "checksum_ok": true, "checksum_stored": 51652, "copyright": "(C)KSTX 2026.DEC",
            "crc32": "0ccc057a", "dat_game": null, "dat_match": null, "dat_rom": null, "devices": "J6",
            "disc": false, "dump": "complete", "dump_past_end": null, "error": null,
            "file": "game.bin", "file_bytes_hex": null, "kind": "image", "patch": null, "layout": "plain",
            "md5": "7519b80bb56b23c33b3072b2e5e9e92a", "overdump_tail_mirrored": null,
            "plain_size": 65536, "ram_end": null, "ram_start": null,
            "reasons": ["\"SEGA\" in the header when read as a plain image",
                        "the header checksum 0xC9C4 matches when read as a plain image"],
            "region": "JUE", "regions": ["Japan", "Americas", "Europe"], "rom_end": 65535,
            "rom_start": 0, "serial": "GM 00001234-00",
            "sha1": "4e6cdd7c5925f423cfdc2546d6a24c434d78c41b", "size": 65536,
            "smd_blocks": null, "smd_blocks_declared": null, "system": "SEGA MEGA DRIVE", "machine": "megadrive", "ssf_mapper": false,
            "lock_on_size": null, "lock_on_checksum_stored": null,
            "lock_on_checksum_computed": null, "cartridge_header": true,
            "title_domestic": "KESTRIX TEST CART", "title_overseas": "KESTRIX ?TEST CART"})");
    QTest::newRow("the same cartridge as an SMD file")
        << "game.smd" << RomImages::Smd(plain)
        << QByteArray(R"({"certainty": "certain", "checksum_computed": 51652,
            "checksum_declared_range": null, "checksum_declared_range_ok": null,
            "checksum_ok": true, "checksum_stored": 51652, "copyright": "(C)KSTX 2026.DEC",
            "crc32": "0ccc057a", "dat_game": null, "dat_match": null, "dat_rom": null, "devices": "J6",
            "disc": false, "dump": "complete", "dump_past_end": null, "error": null,
            "file": "game.smd", "file_bytes_hex": null, "kind": "image", "patch": null, "layout": "smd",
            "md5": "7519b80bb56b23c33b3072b2e5e9e92a", "overdump_tail_mirrored": null,
            "plain_size": 65536, "ram_end": null, "ram_start": null,
            "reasons": ["\"SEGA\" in the header when read as an SMD image",
                        "the header checksum 0xC9C4 matches when read as an SMD image",
                        "SMD copier header: 0xAA 0xBB at offsets 8 and 9"],
            "region": "JUE", "regions": ["Japan", "Americas", "Europe"], "rom_end": 65535,
            "rom_start": 0, "serial": "GM 00001234-00",
            "sha1": "4e6cdd7c5925f423cfdc2546d6a24c434d78c41b", "size": 66048,
            "smd_blocks": 4, "smd_blocks_declared": 4, "system": "SEGA MEGA DRIVE", "machine": "megadrive", "ssf_mapper": false,
            "lock_on_size": null, "lock_on_checksum_stored": null,
            "lock_on_checksum_computed": null, "cartridge_header": true,
            "title_domestic": "KESTRIX TEST CART", "title_overseas": "KESTRIX ?TEST CART"})");
    QTest::newRow("a missing file") << "missing.bin" << QByteArray()
                                    << QByteArray(R"({"certainty": null, "checksum_computed": null,
            "checksum_declared_range": null, "checksum_declared_range_ok": null,
            "checksum_ok": null, "checksum_stored": null, "copyright": null, "crc32": null,
            "dat_game": null, "dat_match": null, "dat_rom": null, "devices": null, "disc": null, "dump": null,
            "dump_past_end": null, "error": "the file does not exist", "file": "missing.bin",
            "file_bytes_hex": null, "kind": "image", "patch": null, "layout": null, "md5": null,
            "overdump_tail_mirrored": null, "plain_size": null, "ram_end": null,
            "ram_start": null, "reasons": null, "region": null, "regions": null,
            "rom_end": null, "rom_start": null, "serial": null, "sha1": null, "size": null,
            "smd_blocks": null, "smd_blocks_declared": null, "system": null, "machine": null, "ssf_mapper": null, "lock_on_size": null,
            "lock_on_checksum_stored": null, "lock_on_checksum_computed": null,
            "cartridge_header": null,
            "title_domestic": null, "title_overseas": null})");
    // A BPS patch worked out by hand: "ABCD" to "ABXY", with metadata
    // "abc"; its CRC32s are zlib's.
    QTest::newRow("a BPS patch") << "hack.bps"
                                 << QByteArray::fromHex(
                                        "4250533184848361626384855859a52017dbe687271106b9042c")
                                 << QByteArray(R"({"certainty": null, "checksum_computed": null,
            "checksum_declared_range": null, "checksum_declared_range_ok": null,
            "checksum_ok": null, "checksum_stored": null, "copyright": null, "crc32": null,
            "dat_game": null, "dat_match": null, "dat_rom": null, "devices": null, "disc": null, "dump": null,
            "dump_past_end": null, "error": null, "file": "hack.bps", "file_bytes_hex": null,
            "kind": "patch", "layout": null, "md5": null, "overdump_tail_mirrored": null,
            "patch": {"actions": {"source_copy": 0, "source_read": 1, "target_copy": 0,
                                  "target_read": 1},
                      "bytes_changed": null, "bytes_from_patch": 2, "format": "BPS",
                      "metadata": "abc", "patch_crc32": "2c04b906", "reach": null, "records": 2,
                      "run_length_records": null, "source_crc32": "db1720a5", "source_size": 4,
                      "target_crc32": "112787e6", "target_size": 4, "truncate_size": null,
                      "window_checksums": null, "secondary_compression": null},
            "plain_size": null, "ram_end": null, "ram_start": null, "reasons": null,
            "region": null, "regions": null, "rom_end": null, "rom_start": null, "serial": null,
            "sha1": null, "size": 26, "smd_blocks": null, "smd_blocks_declared": null,
            "system": null, "machine": null, "ssf_mapper": null, "lock_on_size": null,
            "lock_on_checksum_stored": null, "lock_on_checksum_computed": null,
            "cartridge_header": null, "title_domestic": null, "title_overseas": null})");
}

// Every value info --json gives of a file, null where it does not apply.
void tst_KestrixConvert::jsonValues() {
    QFETCH(QString, name);
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, expected);
    if (!file.isNull())
        QVERIFY(WriteFile(Path(name), file));
    const Result result = Run({"info", "--json", name});
    QCOMPARE(result.status, file.isNull() ? 1 : 0);
    QJsonParseError error{};
    const QJsonObject want = QJsonDocument::fromJson(expected, &error).object();
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
    const QJsonArray files =
        QJsonDocument::fromJson(result.out.toUtf8()).object()["files"].toArray();
    QCOMPARE(files.size(), 1);
    const QJsonObject got = files[0].toObject();
    QCOMPARE(got.keys(), want.keys());
    for (const QString& key : want.keys())
        QVERIFY2(got[key] == want[key],
                 qPrintable(key + ": " + QJsonDocument(QJsonArray{got[key]}).toJson()));
}

void tst_KestrixConvert::reports_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("args");
    // Lines (or JSON members) the report must hold, worked out by hand.
    QTest::addColumn<QStringList>("expected");
    using RomImages::CartridgeImage;
    QByteArray title = CartridgeImage(65536, 11);
    RomImages::PutText(title, 0x120, "", 48);
    title.replace(0x120, 7,
                  "A\x7F"
                  "B\x85"
                  "C\xE9"
                  "D");
    const quint16 sum = RomImages::HeaderChecksum(title);
    title[0x18E] = char(sum >> 8);
    title[0x18F] = char(sum);
    QTest::newRow("title bytes outside printable ASCII")
        << title << QStringList{"info", "game.bin"}
        << QStringList{"  domestic   A?B?C?D\n", "  layout     plain (certain)\n"};
    // Two cartridges, each checksum named as its own cartridge's, summed
    // here by the test.
    {
        const QByteArray first = CartridgeImage(2 * 1024 * 1024, 14);
        const QByteArray second = CartridgeImage(256 * 1024, 15);
        auto hex = [](quint16 v) {
            return "0x" + QString::number(v, 16).toUpper().rightJustified(4, QChar(48));
        };
        QTest::newRow("a lock-on combination: each checksum its cartridge's")
            << first + second << QStringList{"info", "game.bin"}
            << QStringList{"  dump       lock-on: a 2 MiB cartridge with a second cartridge of "
                           "262144 bytes after it; the second's checksum " +
                           hex(RomImages::HeaderChecksum(second)) + " stored, " +
                           hex(RomImages::HeaderChecksum(second)) +
                           " computed: ok; the first's checksum " +
                           hex(RomImages::HeaderChecksum(first)) + ": ok\n"};
    }
    // 8 blocks declared (128 KiB), 7 present.
    const QByteArray smd = RomImages::Smd(CartridgeImage(8 * 16384, 12));
    QTest::newRow("an SMD file cut short by a block")
        << smd.chopped(16384) << QStringList{"info", "game.bin"}
        << QStringList{"  size       115200 bytes\n", "  plain size 114688 bytes\n",
                       "  smd blocks 8 in the copier header, 7 in the file\n",
                       "  dump       truncated: 16384 bytes short of the header's ROM end "
                       "0x0001FFFF\n"};
    QTest::newRow("plain_size of an SMD file")
        << smd << QStringList{"info", "--json", "game.bin"}
        << QStringList{"\"plain_size\": 131072,", "\"size\": 131584,", "\"dump\": \"complete\""};
    // 128 KiB declared, two blocks of 0xFF after it.
    const QByteArray padded =
        RomImages::Smd(CartridgeImage(8 * 16384, 12) + QByteArray(2 * 16384, char(0xFF)));
    QTest::newRow("a padded SMD dump")
        << padded << QStringList{"info", "game.bin"}
        << QStringList{"  size       164352 bytes\n", "  plain size 163840 bytes\n",
                       "  smd blocks 10 in the copier header, 10 in the file\n",
                       "  dump       padded: the header's ROM ends at 0x0001FFFF, the 32768 bytes "
                       "after it are one repeated byte; checksum over the declared range"};
    // Games of sizes that are not whole MiB, stored twice; and overdumps.
    const QByteArray game15 = CartridgeImage(3 * 512 * 1024, 13);
    const QByteArray game125 = CartridgeImage(5 * 256 * 1024, 14);
    const QByteArray game1 = CartridgeImage(1024 * 1024, 15);
    QTest::newRow("1.5 MiB stored twice")
        << game15 + game15 << QStringList{"info", "game.bin"}
        << QStringList{"  dump       mirrored: the first 1572864 bytes (to the header's ROM end "
                       "0x0017FFFF), repeated; checksum over the declared range 0x",
                       ": ok\n"};
    QTest::newRow("1.25 MiB stored twice")
        << game125 + game125 << QStringList{"info", "game.bin"}
        << QStringList{"  dump       mirrored: the first 1310720 bytes (to the header's ROM end "
                       "0x0013FFFF), repeated; checksum over the declared range 0x",
                       ": ok\n"};
    QTest::newRow("1.5 MiB in 2 MiB, the tail repeating the start")
        << game15 + game15.left(512 * 1024) << QStringList{"info", "game.bin"}
        << QStringList{"  dump       overdump: 524288 bytes past the header's ROM end 0x0017FFFF, "
                       "repeating the start; checksum over the declared range 0x",
                       ": ok\n"};
    QTest::newRow("1 MiB followed by 1 MiB of other bytes")
        << game1 + RandomBytes(1024 * 1024, 16) << QStringList{"info", "--json", "game.bin"}
        << QStringList{"\"dump\": \"overdump\"", "\"dump_past_end\": 1048576",
                       "\"overdump_tail_mirrored\": false", "\"checksum_declared_range_ok\": true"};
    // A ROM end no cartridge reaches is a broken field, not a short dump.
    for (const quint32 end : {0xFFFFFFFFu, 0x00FFFFFFu}) {
        QByteArray broken = CartridgeImage(128 * 1024, 17);
        qToBigEndian<quint32>(end, broken.data() + 0x1A4);
        QTest::addRow("ROM end 0x%08X", end)
            << broken << QStringList{"info", "game.bin"}
            << QStringList{"  dump       implausible: the header's ROM end 0x" +
                           QString::number(end, 16).toUpper().rightJustified(8, '0') +
                           " lies far past any cartridge"};
    }
    // A disc image whose first sector also shows the cartridge signature.
    QByteArray disc = CartridgeImage(512 * 1024, 18);
    disc.replace(0, 16, "SEGADISCSYSTEM  ");
    QTest::newRow("a disc image") << disc << QStringList{"info", "game.bin"}
                                  << QStringList{
                                         "  layout     none: a disc image, not a cartridge\n",
                                         "  reasons    \"SEGADISCSYSTEM\" opens the file"};
    // Half of what the header declares, and a broken field is something else.
    const QByteArray half = CartridgeImage(8 * 1024 * 1024, 19).left(4 * 1024 * 1024);
    QTest::newRow("4 MiB of a cartridge that declares 8 MiB")
        << half << QStringList{"info", "game.bin"}
        << QStringList{"  dump       truncated: 4194304 bytes short of the header's ROM end "
                       "0x007FFFFF\n",
                       "!implausible"};
    // Raw 2352-byte sectors: a sync pattern, the sector's address and mode,
    // then the disc's first data.
    QByteArray raw = CartridgeImage(32 * 2352, 20);
    raw.replace(0, 32,
                QByteArray::fromHex("00ffffffffffffffffffff0000020001") + "SEGADISCSYSTEM  ");
    QTest::newRow("a disc image of raw sectors")
        << raw << QStringList{"info", "game.bin"}
        << QStringList{"  layout     none: a disc image, not a cartridge\n"};
    // A disc still gets the fingerprints of its bytes.
    QTest::newRow("a disc image's fingerprints")
        << disc << QStringList{"info", "--json", "game.bin"}
        << QStringList{"\"disc\": true",
                       "\"crc32\": \"" +
                           QString::number(TestFiles::Crc32(disc), 16).rightJustified(8, '0') +
                           "\"",
                       "\"md5\": \"" +
                           QCryptographicHash::hash(disc, QCryptographicHash::Md5).toHex() + "\"",
                       "\"sha1\": \"" +
                           QCryptographicHash::hash(disc, QCryptographicHash::Sha1).toHex() + "\""};
    QTest::newRow("no plain size where it is the size")
        << CartridgeImage(65536, 7) << QStringList{"info", "game.bin"}
        << QStringList{"  size       65536 bytes\n  layout", "!plain size"};
    // Patches worked out by hand (their CRC32s zlib's), told whatever
    // their name: an IPS with a record, a run of one byte and a size to cut
    // to; a UPS of "ABCD" to "ABXY".
    QTest::newRow("an IPS patch")
        << QByteArray("PATCH\0\0\x10\0\x02ZZ\0\0\x20\0\0\0\x05\xEE"
                      "EOF\0\0\x40",
                      26)
        << QStringList{"info", "game.bin"}
        << QStringList{"game.bin\n  kind       IPS patch\n  size       26 bytes\n",
                       "  records    2 (1 of one repeated byte), 7 bytes written\n",
                       "  reach      37 bytes\n  truncate   to 64 bytes\n", "!layout"};
    QTest::newRow("a UPS patch") << QByteArray::fromHex(
                                        "555053318484821b1d00a52017dbe68727114dc29f8a")
                                 << QStringList{"info", "game.bin"}
                                 << QStringList{"  source     4 bytes, CRC32 db1720a5\n",
                                                "  target     4 bytes, CRC32 112787e6\n",
                                                "  patch crc  8a9fc24d (matches)\n",
                                                "  runs       1, 2 bytes changed\n"};
}

// What info says of dumps built here, against values worked out by hand;
// a part that starts with '!' must not be there.
void tst_KestrixConvert::reports() {
    QFETCH(QByteArray, file);
    QFETCH(QStringList, args);
    QFETCH(QStringList, expected);
    QVERIFY(WriteFile(Path("game.bin"), file));
    const Result result = Run(args);
    QVERIFY2(result.status == 0, qPrintable(result.err));
    for (const QString& part : expected)
        QVERIFY2(part.startsWith('!') ? !result.out.contains(part.mid(1))
                                      : result.out.contains(part),
                 qPrintable(part + "\n---\n" + result.out));
}

void tst_KestrixConvert::repairs_data() {
    QTest::addColumn<QByteArray>("input"); // written as "game" + extension
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message"); // parts separated by '|'
    // The file that must then hold exactly the expected bytes, or none.
    QTest::addColumn<QString>("output");
    QTest::addColumn<QByteArray>("expected");
    using RomImages::CartridgeImage;
    using RomImages::InLayout;
    const struct {
        RomLayout layout;
        const char* extension;
    } layouts[] = {{RomLayout::Plain, ".bin"},
                   {RomLayout::Smd, ".smd"},
                   {RomLayout::Md, ".md"},
                   {RomLayout::Byteswapped, ".bin"}};
    const qsizetype MiB = 1024 * 1024;
    // A stored checksum one off: the mended file is the one with the right
    // checksum (its sum as the console's boot check does it, worked out in
    // RomImages), every other byte as it was, in every layout.
    for (const auto& l : layouts) {
        const QByteArray wrong = CartridgeImage(MiB, 21, false);
        const QByteArray right = CartridgeImage(MiB, 21, true);
        QTest::addRow("fix-checksum, %s", qPrintable(LayoutName(l.layout)))
            << InLayout(wrong, l.layout) << l.extension
            << QString("\"$KX\" fix-checksum --verify -o out game%1").arg(l.extension) << 0
            << "(checksum 0x|no other byte changed|1 repaired, 0 skipped"
            << "out/game" + QString(l.extension) << InLayout(right, l.layout);
    }
    // Padded past the ROM end: the boot check sums to the ROM end only.
    const QByteArray rightPart = CartridgeImage(MiB + MiB / 2, 22, true);
    const QByteArray wrongPart = CartridgeImage(MiB + MiB / 2, 22, false);
    // (Padding whose words sum to something other than 0 modulo 65536.)
    const QByteArray padding(MiB / 2 - 16384, char(0x55));
    QTest::newRow("fix-checksum of a padded dump: the declared range")
        << wrongPart + padding << ".bin"
        << "\"$KX\" fix-checksum -o out game.bin" << 0 << "game.bin -> out/game.bin (checksum 0x"
        << "out/game.bin" << rightPart + padding;
    // A ROM end past the file: the whole file, and said so.
    QByteArray cutShort = CartridgeImage(2 * MiB, 23, false).left(MiB);
    const quint16 whole = RomImages::HeaderChecksum(cutShort);
    QByteArray cutShortRight = cutShort;
    cutShortRight[0x18E] = char(whole >> 8);
    cutShortRight[0x18F] = char(whole);
    QTest::newRow("fix-checksum of a short dump: the whole file")
        << cutShort << ".bin"
        << "\"$KX\" fix-checksum -o out game.bin" << 0
        << "summed over the whole file, as the header's ROM end 0x001FFFFF is not within it"
        << "out/game.bin" << cutShortRight;
    // Two cartridges, the second locked onto the first: nothing to cut.
    QTest::newRow("trim leaves a lock-on combination alone, whatever --force says")
        << CartridgeImage(2 * MiB, 27) + CartridgeImage(MiB, 28) << ".bin"
        << "\"$KX\" trim --force -o out game.bin" << 1
        << "refused game.bin: it is two cartridges, not padding"
        << "" << QByteArray();
    QTest::newRow("fix-checksum of a right checksum leaves it alone")
        << CartridgeImage(MiB, 24) << ".bin"
        << "\"$KX\" fix-checksum -o out game.bin" << 0
        << "game.bin: the checksum 0x|is right; left alone|0 repaired, 1 skipped"
        << "" << QByteArray();
    QTest::newRow("fix-checksum without a header is refused")
        << RandomBytes(MiB, 25) << ".bin"
        << "\"$KX\" fix-checksum -o out game.bin" << 1
        << "refused game.bin: the layout is unknown (no \"SEGA\" in the header"
        << "" << QByteArray();
    QTest::newRow("fix-checksum never writes over its source unasked")
        << CartridgeImage(MiB, 26, false) << ".bin"
        << "\"$KX\" fix-checksum game.bin" << 1 << "it would replace its source: use --in-place"
        << "game.bin" << CartridgeImage(MiB, 26, false);
    // In place: owner, mode and extended attributes kept.
    QTest::newRow("fix-checksum --in-place keeps the file's metadata")
        << InLayout(CartridgeImage(MiB, 27, false), RomLayout::Smd) << ".smd"
        << "chown 12345:54321 game.smd && chmod 640 game.smd && setfattr -n user.kept -v yes "
           "game.smd && \"$KX\" fix-checksum --in-place --verify game.smd && stat -c '%u:%g %a' "
           "game.smd && getfattr --only-values -n user.kept game.smd"
        << 0 << "12345:54321 640|yes|verified game.smd"
        << "game.smd" << InLayout(CartridgeImage(MiB, 27, true), RomLayout::Smd);
    // A disk that returns wrong data: --verify tells.
    const QByteArray game15 = CartridgeImage(MiB + MiB / 2, 29);
    QTest::newRow("fix-checksum of a file that changes while it is read")
        << CartridgeImage(MiB, 33, false) << ".bin"
        << "LD_PRELOAD=\"$SHIM\" KESTRIX_SHIM_TOUCH=/game.bin \"$KX\" fix-checksum -o out game.bin"
        << 1 << "refused game.bin: it changed while it was read"
        << "" << QByteArray();
    // A disk that fails midway: whichever read fails, the file is refused as
    // unreadable and nothing is written, or the whole repair is.
    QTest::newRow("fix-checksum of a file whose reads fail midway")
        << CartridgeImage(MiB, 34, false) << ".bin"
        << "mkdir ref && \"$KX\" fix-checksum -q -o ref game.bin && touch -d '1 hour ago' "
           "game.bin && for n in $(seq 0 16); do rm -rf out && mkdir out && "
           "LD_PRELOAD=\"$SHIM\" KESTRIX_SHIM_EIO=$n:/game.bin \"$KX\" fix-checksum -o out "
           "game.bin >>log 2>&1; if [ -e out/game.bin ] && ! cmp -s out/game.bin ref/game.bin; "
           "then echo \"written in part at $n\"; exit 3; fi; done; grep -q 'refused game.bin: "
           "the file cannot be read' log && rm -r out && mkdir out && echo 'never written in part'"
        << 0 << "never written in part"
        << "" << QByteArray();
    QTest::newRow("fix-checksum --verify reads back")
        << CartridgeImage(MiB, 32, false) << ".bin"
        << "LD_PRELOAD=\"$SHIM\" KESTRIX_SHIM_CORRUPT=/out/game.bin \"$KX\" fix-checksum --verify "
           "-o out game.bin"
        << 1 << "verification failed for out/game.bin"
        << "out/game.bin" << CartridgeImage(MiB, 32, true);
    QTest::newRow("trim --verify reads back")
        << game15 + game15 << ".bin"
        << "LD_PRELOAD=\"$SHIM\" KESTRIX_SHIM_CORRUPT=/out/game.bin \"$KX\" trim --verify -o out "
           "game.bin"
        << 1 << "verification failed for out/game.bin"
        << "out/game.bin" << game15;
    // Trimming: padding and mirrors cut to the declared end, each layout in
    // its own; the result is the complete dump.
    const QByteArray game = CartridgeImage(MiB, 28);
    for (const auto& l : layouts) {
        QTest::addRow("trim padding, %s", qPrintable(LayoutName(l.layout)))
            << InLayout(game + QByteArray(MiB, char(0xFF)), l.layout) << l.extension
            << QString("\"$KX\" trim --verify -o out game%1").arg(l.extension) << 0
            << "(1048576 bytes of padding cut past the header's ROM end 0x000FFFFF)|its plain "
               "content is the source's first 1048576 bytes"
            << "out/game" + QString(l.extension) << InLayout(game, l.layout);
    }
    // Past the first 4 MiB piece: every piece lands where it belongs, once
    // (an 8 MiB MD image holds a byte of its checksum in its second piece;
    // an SMD image's blocks are one range of more than a piece).
    for (const qsizetype size : {5 * MiB, 8 * MiB}) {
        QTest::addRow("fix-checksum --verify of %lld MiB, md", size / MiB)
            << InLayout(CartridgeImage(size, 34, false), RomLayout::Md) << ".md"
            << "\"$KX\" fix-checksum --verify -o out game.md" << 0
            << "no other byte changed|1 repaired, 0 skipped"
            << "out/game.md" << InLayout(CartridgeImage(size, 34, true), RomLayout::Md);
        const QByteArray declared = CartridgeImage(size - MiB / 2, 35);
        QTest::addRow("trim --verify of %lld MiB, smd", size / MiB)
            << InLayout(declared + QByteArray(MiB / 2, char(0xFF)), RomLayout::Smd) << ".smd"
            << "\"$KX\" trim --verify -o out game.smd" << 0
            << QString("(%1 bytes of padding cut past the header's ROM end 0x%2)|its plain content "
                       "is the source's first %3 bytes")
                   .arg(MiB / 2)
                   .arg(QString::number(declared.size() - 1, 16).toUpper().rightJustified(8, '0'))
                   .arg(declared.size())
            << "out/game.smd" << InLayout(declared, RomLayout::Smd);
    }
    QTest::newRow("trim a mirror")
        << game15 + game15 << ".bin"
        << "\"$KX\" trim -o out game.bin" << 0 << "(1572864 bytes of a mirror cut"
        << "out/game.bin" << game15;
    QTest::newRow("trim the mirrored start of an overdump")
        << game15 + game15.left(MiB / 2) << ".bin"
        << "\"$KX\" trim -o out game.bin" << 0 << "(524288 bytes of a mirror cut"
        << "out/game.bin" << game15;
    const QByteArray grown = game + RandomBytes(MiB, 30);
    QTest::newRow("trim refuses other data")
        << grown << ".bin"
        << "\"$KX\" trim -o out game.bin" << 1
        << "refused game.bin: the 1048576 bytes past the header's ROM end 0x000FFFFF are other "
           "data, not padding or a mirror (use --force to cut them)"
        << "" << QByteArray();
    QTest::newRow("trim --force cuts other data")
        << grown << ".bin"
        << "\"$KX\" trim --force -o out game.bin" << 0 << "(1048576 bytes of other data cut"
        << "out/game.bin" << game;
    QTest::newRow("trim of a complete dump leaves it alone")
        << game << ".bin"
        << "\"$KX\" trim -o out game.bin" << 0
        << "game.bin: it ends at the header's ROM end 0x000FFFFF; left alone"
        << "" << QByteArray();
    // 1.5 MiB + 8 KiB declared: no whole number of SMD blocks.
    QByteArray odd = CartridgeImage(MiB + MiB / 2 + 8192, 31);
    QTest::newRow("trim refuses an SMD image that cannot end there")
        << InLayout(odd + QByteArray(MiB / 2 - 8192, char(0xFF)), RomLayout::Smd) << ".smd"
        << "\"$KX\" trim -o out game.smd" << 1
        << "an SMD image holds whole 16 KiB blocks: it cannot end at the header's ROM end "
           "0x00181FFF"
        << "" << QByteArray();
    QTest::newRow("trim of a file shorter than declared is refused")
        << cutShort << ".bin"
        << "\"$KX\" trim -o out game.bin" << 1
        << "the file does not reach the header's ROM end 0x001FFFFF: nothing to trim"
        << "" << QByteArray();
}

// fix-checksum and trim, against files built here with the right bytes
// worked out independently of the engine.
void tst_KestrixConvert::repairs() {
    QFETCH(QByteArray, input);
    QFETCH(QString, extension);
    QFETCH(QString, script);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(QString, output);
    QFETCH(QByteArray, expected);
    QVERIFY(QDir(dir_.path()).mkpath("out"));
    QVERIFY(WriteFile(Path("game" + extension), input));
    const Result result = RunShell(script);
    QVERIFY2(result.status == status, qPrintable(result.out + result.err));
    for (const QString& part : message.split('|'))
        QVERIFY2((result.out + result.err).contains(part), qPrintable(result.out + result.err));
    if (!output.isEmpty())
        QVERIFY(ReadFile(Path(output)) == expected);
    else
        QCOMPARE(QDir(Path("out")).entryList(QDir::Files | QDir::Hidden), QStringList());
}

// Patching as a user runs it: the words of each line, the exit status,
// what is written where. The image is written as "game" + extension, the
// patch as patchName.
void tst_KestrixConvert::patching_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QByteArray>("patch");
    QTest::addColumn<QString>("patchName");
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message"); // parts separated by '|'
    QTest::addColumn<QString>("output");  // the one file in out/, or none
    QTest::addColumn<QByteArray>("expected");
    using RomImages::Smd;
    const qsizetype MiB = 1024 * 1024;
    const QByteArray plain = RomImages::CartridgeImage(2 * MiB, 31);
    // A translation: the titles and some text changed, the checksum not.
    QByteArray translated = plain;
    RomImages::PutText(translated, 0x120, "KESTRIX CARTE DE TEST", 48);
    translated.replace(0x100000, 64, QByteArray(64, 'T'));
    QByteArray mended = translated;
    qToBigEndian<quint16>(RomImages::HeaderChecksum(translated), mended.data() + 0x18E);
    const QString sum =
        QStringLiteral("(checksum 0x%1, was 0x%2)")
            .arg(QString::number(RomImages::HeaderChecksum(translated), 16).toUpper(),
                 QString::number(qFromBigEndian<quint16>(plain.data() + 0x18E), 16)
                     .toUpper()
                     .rightJustified(4, '0'));
    const QByteArray ips = PatchWriters::Ips(plain, translated);
    const QByteArray bps = PatchWriters::Bps(plain, translated);
    const QByteArray other = RomImages::CartridgeImage(2 * MiB, 32);
    const QString otherBase =
        QStringLiteral("game.smd is not the image this patch was made for: the patch expects a "
                       "plain image of 2097152 bytes with CRC32 0x%1, this one has 0x%2")
            .arg(QString::number(TestFiles::Crc32(plain), 16).toUpper().rightJustified(8, '0'),
                 QString::number(TestFiles::Crc32(other), 16).toUpper().rightJustified(8, '0'));
    QTest::newRow("an IPS translation applied to an SMD image")
        << Smd(plain) << ".smd" << ips << "French.ips"
        << "\"$KX\" patch -p French.ips -o out game.smd" << 0
        << "game.smd -> out/French.smd " + sum + "|1 patched, 0 skipped, 0 refused, 0 failed"
        << "out/French.smd" << Smd(mended);
    QTest::newRow("a BPS, read back, the checksum kept")
        << Smd(plain) << ".smd" << bps << "French.bps"
        << "\"$KX\" patch -p French.bps --to bin --keep-checksum --verify -o out game.smd" << 0
        << "target CRC32 0x|matches; checksum 0x|kept|verified out/French.bin"
        << "out/French.bin" << translated;
    QTest::newRow("a BPS on another image is refused")
        << Smd(other) << ".smd" << bps << "French.bps"
        << "\"$KX\" patch -p French.bps -o out game.smd" << 1
        << otherBase + "\n|0 patched, 0 skipped, 1 refused, 0 failed"
        << "" << QByteArray();
    QTest::newRow("--force applies it anyway")
        << Smd(other) << ".smd" << bps << "French.bps"
        << "\"$KX\" patch --force -p French.bps -o out game.smd && test -s out/French.smd" << 0
        << "forced onto an image it was not made for|1 patched"
        << "" << QByteArray();
    QTest::newRow("a patch in a zip, an image from standard input")
        << plain << ".bin" << ips << "French.ips"
        << "python3 -c 'import zipfile; zipfile.ZipFile(\"p.zip\", \"w\").write(\"French.ips\")' "
           "&& \"$KX\" patch -p p.zip -o out - < game.bin"
        << 0 << "- -> out/p.bin " + sum << "out/p.bin" << mended;
    QTest::newRow("to standard output")
        << Smd(plain) << ".smd" << ips << "French.ips"
        << "\"$KX\" patch -p French.ips -o - game.smd > out/x.smd" << 0 << "1 patched"
        << "out/x.smd" << Smd(mended);
    QTest::newRow("a dry run writes nothing") << Smd(plain) << ".smd" << ips << "French.ips"
                                              << "\"$KX\" patch -n -p French.ips -o out game.smd"
                                              << 0 << "dry run, nothing written: 1 to write"
                                              << "" << QByteArray();
    QTest::newRow("an IPS base named by the DAT files")
        << plain << ".bin" << ips << "French.ips"
        << "printf '<datafile><game name=\"Test Cart\"><rom name=\"test.bin\" size=\"%s\" "
           "crc=\"%s\"/></game></datafile>' $(stat -c %s game.bin) $(python3 -c 'import zlib; "
           "print(\"%08x\" % zlib.crc32(open(\"game.bin\", \"rb\").read()))') > t.dat && "
           "\"$KX\" patch --dat t.dat -p French.ips -o out game.bin"
        << 0 << "note: game.bin is 'Test Cart' (test.bin) in the DAT files"
        << "out/French.bin" << mended;
    QTest::newRow("an IPS base the DAT files do not know")
        << other << ".bin" << ips << "French.ips"
        << "printf '<datafile><game name=\"X\"><rom name=\"x.bin\" size=\"4\" "
           "crc=\"01020304\"/></game></datafile>' > t.dat && "
           "\"$KX\" patch --dat t.dat -q -p French.ips -o out game.bin"
        << 0 << "warning: game.bin matches no ROM of the DAT files"
        << "out/French.bin" << QByteArray();
    // Patches made by make-patch from images of any layout, applied back
    // (the checksum kept): the modified image's plain content.
    QTest::newRow("make-patch of an SMD and a plain image, BPS by default")
        << Smd(plain) << ".smd" << translated << "mod.bin"
        << "\"$KX\" make-patch game.smd mod.bin -o hack.bps && "
           "\"$KX\" patch --keep-checksum --to bin -p hack.bps -o out game.smd"
        << 0 << "hack.bps: BPS patch of|between the plain contents of game.smd (smd) and mod.bin"
        << "out/hack.bin" << translated;
    QTest::newRow("make-patch IPS by its name, of an MD image read from standard input")
        << RomImages::Md(plain) << ".md" << RomImages::Md(translated) << "mod.md"
        << "\"$KX\" make-patch - mod.md -o hack.ips < game.md && "
           "\"$KX\" patch --keep-checksum --to bin -p hack.ips -o out game.md"
        << 0 << "hack.ips: IPS patch of|standard input (md) and mod.md (md)"
        << "out/hack.bin" << translated;
    QTest::newRow("make-patch UPS between the files as they are")
        << Smd(plain) << ".smd" << Smd(translated) << "mod.smd"
        << "\"$KX\" make-patch --format ups --as-is game.smd mod.smd -o hack.x && "
           "\"$KX\" patch --keep-checksum -p hack.x -o out game.smd"
        << 0 << "UPS patch of|between the files as they are"
        << "out/hack.smd" << Smd(translated);
    QTest::newRow("make-patch of two equal images")
        << Smd(plain) << ".smd" << plain << "mod.bin"
        << "\"$KX\" make-patch game.smd mod.bin -o hack.bps; s=$?; test ! -e hack.bps && exit $s"
        << 1 << "the two images are the same: no patch is made (the plain contents; --allow-same"
        << "" << QByteArray();
    QTest::newRow("an xdelta3 patch with LZMA on an SMD image")
        << Smd(plain) << ".smd" << translated << "mod.bin"
        << "\"$KX\" to-bin -o out game.smd >/dev/null && xdelta3 -e -S lzma -s out/game.bin "
           "mod.bin x.xdelta && rm out/game.bin && "
           "\"$KX\" patch --keep-checksum --to bin -p x.xdelta -o out game.smd"
        << 0 << "game.smd -> out/x.bin"
        << "out/x.bin" << translated;
    QTest::newRow("an xdelta3 patch without compression on an MD image")
        << RomImages::Md(plain) << ".md" << translated << "mod.bin"
        << "\"$KX\" to-bin -o out game.md >/dev/null && xdelta3 -e -S none -s out/game.bin "
           "mod.bin x.xdelta && rm out/game.bin && "
           "\"$KX\" patch --keep-checksum -p x.xdelta -o out game.md"
        << 0 << "game.md -> out/x.md"
        << "out/x.md" << RomImages::Md(translated);
    QTest::newRow("make-patch of an image that is not there")
        << Smd(plain) << ".smd" << translated << "mod.bin"
        << "\"$KX\" make-patch missing.smd mod.bin -o hack.bps" << 1
        << "cannot read missing.smd: the file does not exist"
        << "" << QByteArray();
    QTest::newRow("an image in a zip")
        << Smd(plain) << ".smd" << ips << "French.ips"
        << "python3 -c 'import zipfile; zipfile.ZipFile(\"g.zip\", \"w\").write(\"game.smd\")' "
           "&& \"$KX\" patch -p French.ips -o out g.zip"
        << 0 << "g.zip:game.smd -> out/French.smd " + sum << "out/French.smd" << Smd(mended);
    // The one image of several that a BPS patch was made for, found.
    QTest::newRow("a BPS finds its base among several images, -j 2")
        << Smd(plain) << ".smd" << bps << "French.bps"
        << "head -c 2097152 /dev/zero > wrong.bin && "
           "\"$KX\" patch -j 2 -p French.bps -o out missing.bin wrong.bin game.smd"
        << 1
        << "refused missing.bin: the file does not exist|wrong.bin is not the image this patch "
           "was made for|game.smd -> out/French.smd|1 patched, 0 skipped, 2 refused, 0 failed"
        << "out/French.smd" << Smd(mended);
    // A drive that takes less than the image: the line says why, and
    // neither the image nor a part of it stays behind.
    QTest::newRow("a destination that cannot take the image")
        << Smd(plain) << ".smd" << ips << "French.ips"
        << "ulimit -f 2048 && \"$KX\" patch -p French.ips -o out game.smd" << 1
        << "game.smd|File too large|0 patched"
        << "" << QByteArray();
    // A run of one byte as BPS encoders write it: the byte once, then a
    // TargetCopy from the byte just written, which copies what it writes.
    QByteArray runs = plain;
    runs.replace(0x100000, 64, QByteArray(64, 'T'));
    QByteArray runPatch("BPS1");
    {
        using PatchWriters::PutNumber;
        for (const quint64 size : {quint64(plain.size()), quint64(plain.size()), quint64(0)})
            PutNumber(runPatch, size);
        PutNumber(runPatch, quint64(0x100000 - 1) << 2 | 0); // SourceRead
        PutNumber(runPatch, quint64(1 - 1) << 2 | 1);        // TargetRead
        runPatch += 'T';
        PutNumber(runPatch, quint64(63 - 1) << 2 | 3); // TargetCopy
        PutNumber(runPatch, quint64(0x100000) << 1);   // from the 'T' just written
        PutNumber(runPatch, quint64(plain.size() - 0x100040 - 1) << 2 | 2); // SourceCopy
        PutNumber(runPatch, quint64(0x100040) << 1);
        PatchWriters::PutCrcs(runPatch, plain, runs);
    }
    QByteArray runsMended = runs;
    qToBigEndian<quint16>(RomImages::HeaderChecksum(runs), runsMended.data() + 0x18E);
    QTest::newRow("a BPS TargetCopy that overlaps what it writes")
        << plain << ".bin" << runPatch << "run.bps"
        << "\"$KX\" patch -p run.bps -o out game.bin" << 0
        << "game.bin -> out/run.bin (target CRC32 0x" +
               QString::number(TestFiles::Crc32(runs), 16).toUpper().rightJustified(8, '0') +
               " matches"
        << "out/run.bin" << runsMended;
    QTest::newRow("a source that changes while it is patched")
        << Smd(plain) << ".smd" << ips << "French.ips"
        << "LD_PRELOAD=\"$SHIM\" KESTRIX_SHIM_TOUCH=/game.smd \"$KX\" patch -p French.ips -o out "
           "game.smd"
        << 1 << "refused game.smd: it changed while it was read"
        << "" << QByteArray();
    QTest::newRow("a chain is named after its last patch")
        << Smd(plain) << ".smd" << ips << "French.ips"
        << "printf PATCHEOF > second.ips && \"$KX\" patch -p French.ips -p second.ips -o out "
           "game.smd"
        << 0 << "game.smd -> out/second.smd " + sum << "out/second.smd" << Smd(mended);
    // The title lies outside the sum: the checksum stays right, and no
    // mend is claimed, kept or made.
    QByteArray titled = plain;
    RomImages::PutText(titled, 0x120, "KESTRIX RETITLED", 48);
    QTest::newRow("a patch that leaves the checksum right claims no mend")
        << plain << ".bin" << PatchWriters::Ips(plain, titled) << "title.ips"
        << "\"$KX\" patch -p title.ips -o out game.bin && \"$KX\" patch --keep-checksum "
           "--overwrite -p title.ips -o out game.bin"
        << 0 << "game.bin -> out/title.bin\ngame.bin -> out/title.bin\nkestrix-convert:"
        << "out/title.bin" << titled;
    // A result its layout cannot hold is told as the result's fault.
    QTest::newRow("a result of no whole blocks, for an SMD image")
        << Smd(plain) << ".smd" << PatchWriters::Bps(plain, plain + QByteArray(100, 'x'))
        << "long.bps"
        << "\"$KX\" patch -p long.bps -o out game.smd" << 1
        << "refused game.smd: the patched image of 2097252 bytes cannot be an SMD image (the size "
           "is not a multiple of 16384 bytes); --to bin writes it as a plain image"
        << "" << QByteArray();
    QTest::newRow("an empty result")
        << plain << ".bin" << QByteArray("PATCHEOF\0\0\0", 11) << "cut.ips"
        << "\"$KX\" patch -p cut.ips -o out game.bin" << 1
        << "refused game.bin: the patched image is empty"
        << "" << QByteArray();
    // Hostile patches: one line, nothing written.
    const struct {
        const char* name;
        QByteArray patch;
        const char* words;
    } hostile[] = {
        {"0 bytes", QByteArray(), "the file is empty"},
        {"no EOF", QByteArray("PATCH\x00\x10\x00\x00\x01\xAA", 11),
         "it ends without its \"EOF\" record"},
        {"not a patch", QByteArray("<html>"), "it is not an IPS, BPS, UPS or VCDIFF patch"},
    };
    for (const auto& h : hostile)
        QTest::addRow("hostile patch: %s", h.name)
            << Smd(plain) << ".smd" << h.patch << "bad.ips"
            << "\"$KX\" patch -p bad.ips -o out game.smd" << 1
            << QStringLiteral("kestrix-convert: cannot use the patch bad.ips: ") + h.words << ""
            << QByteArray();
    QTest::newRow("a missing patch") << Smd(plain) << ".smd" << ips << "French.ips"
                                     << "\"$KX\" patch -p nothing.ips -o out game.smd" << 1
                                     << "cannot use the patch nothing.ips: the file does not exist"
                                     << "" << QByteArray();
}

void tst_KestrixConvert::patching() {
    QFETCH(QByteArray, input);
    QFETCH(QString, extension);
    QFETCH(QByteArray, patch);
    QFETCH(QString, patchName);
    QFETCH(QString, script);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(QString, output);
    QFETCH(QByteArray, expected);
    QVERIFY(QDir(dir_.path()).mkpath("out"));
    QVERIFY(WriteFile(Path("game" + extension), input));
    QVERIFY(WriteFile(Path(patchName), patch));
    const Result result = RunShell(script);
    const QString told = result.out + result.err;
    QVERIFY2(result.status == status, qPrintable(told));
    for (const QString& part : message.split('|'))
        QVERIFY2(told.contains(part), qPrintable(told));
    const QStringList written = QDir(Path("out")).entryList(QDir::Files | QDir::Hidden);
    if (output.isEmpty() && status != 0)
        QCOMPARE(written, QStringList());
    if (!output.isEmpty())
        QCOMPARE(written, QStringList{QFileInfo(output).fileName()});
    if (!expected.isEmpty())
        QVERIFY(ReadFile(Path(output)) == expected);
    QCOMPARE(ReadFile(Path("game" + extension)), input);
}

// A collection of 20 files (plain, SMD, MD, byteswapped, padded, zipped,
// in a tree) against a DAT of 25 games written by the test: 16 games had as
// their plain content, one by its byteswapped file as it is (the DAT lists
// that), one had twice, one listed with a wrong SHA-1 (its file a bad dump),
// one file that matches nothing, and 7 games missing.
// export as a user meets it: the profiles listed with a user's own, a dry
// run, the export and its undo, and a user's profile that is malformed.
void tst_KestrixConvert::exporting_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    const QString images =
        "mkdir -p x/kestrix src dev && cp game.smd src/game.smd && cp game.bin 'src/Dr. "
        "Game.bin' && export XDG_CONFIG_HOME=$PWD/x; ";
    // A device added without a rebuild: listed, and written for.
    QTest::newRow("a user's profile")
        << images + "printf '[pad]\ndescribe = a pad\nmachines = megadrive\nextension = "
                    ".md\nfolder = Pad Games\n' > x/kestrix/devices.profiles; \"$KX\" export "
                    "--list-profiles | grep -A2 '^pad' && \"$KX\" export -q --profile pad -o dev "
                    "src/game.smd && cmp game.bin 'dev/Pad Games/game.md'"
        << 0 << "pad\n    a pad\n    (from " + dir_.path() + "/x/kestrix/devices.profiles)\n"
        << "";
    QTest::newRow("a dry run, the export and its undo")
        << images + "\"$KX\" export -n --profile twilight -o dev src/game.smd 'src/Dr. Game.bin' "
                    "&& test -z \"$(ls dev)\" && \"$KX\" export -q --profile twilight -o dev src/* "
                    "&& \"$KX\" export -q --undo dev/kestrix-export-twilight-*.json && test -z "
                    "\"$(ls dev)\""
        << 0
        << "src/game.smd -> dev/roms/gen/game.gen (from an SMD image)\nsrc/Dr. Game.bin -> "
           "dev/roms/gen/Dr. Game.gen\n"
        << "kestrix-convert: dry run, nothing written: 2 to write, 0 left out, 0 skipped, 0 "
           "refused, 0 failed\n";
    // A file named that is no image is refused and named; one found in a
    // folder walked is passed over, as conversions do.
    QTest::newRow("a source that is no image")
        << images + "mkdir -p tree && echo notes > tree/notes.txt && cp game.bin tree/ && \"$KX\" "
                    "export -q --profile plain -o dev -r tree && \"$KX\" export -q --profile plain "
                    "-o dev tree/notes.txt"
        << 1 << ""
        << "kestrix-convert: refused tree/notes.txt: the layout is unknown (no \"SEGA\" in the "
           "header under any layout; the file is too small to hold a cartridge header)\n";
    QTest::newRow("a user's profile that is malformed")
        << images + "printf '[pad]\nfolder = /media\n' > mine; \"$KX\" export --profile pad "
                    "--profile-file mine -o dev src/*"
        << 1 << ""
        << "kestrix-convert: cannot use the device profiles: mine: line 2: '/media' is not a "
           "folder under the export's: a relative path of names, '/' between them\n";
}

void tst_KestrixConvert::exporting() {
    QFETCH(QString, script);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const QByteArray game = RomImages::CartridgeImage(1024 * 1024, 61);
    QVERIFY(WriteFile(Path("game.bin"), game));
    QVERIFY(WriteFile(Path("game.smd"), RomImages::Smd(game)));
    const Result result = RunShell(script);
    QCOMPARE(result.err, err);
    QCOMPARE(result.out, out);
    QCOMPARE(result.status, status);
}

void tst_KestrixConvert::audit_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("status");
    // The report's lines in their order, for a row with a DAT of its own
    // (a null text: the collection's report).
    QTest::addColumn<QString>("ordered");
    // A ROM element for a file of the collection, as Python sums it: rom
    // FILE NAME [SHA1].
    const QString rom =
        "rom() { python3 -c 'import sys, zlib, hashlib; d = open(sys.argv[1], \"rb\").read(); "
        "print(\"<rom name=\\\"%s\\\" size=\\\"%d\\\" crc=\\\"%08x\\\" sha1=\\\"%s\\\"/>\" % "
        "(sys.argv[2], len(d), zlib.crc32(d), (sys.argv[3:] or "
        "[hashlib.sha1(d).hexdigest()])[0]))' "
        "\"$@\"; }; ";
    const QString one =
        rom + "printf '<datafile><game name=\"G\">%s</game></datafile>' \"$(rom col/game0.bin "
              "g.bin)\" > one.dat; ";
    QTest::newRow("a bad dump alone fails the run")
        << rom +
               "printf '<datafile><game name=\"G\">%s</game></datafile>' \"$(rom col/game0.bin "
               "g.bin " +
               QString(40, 'e') +
               ")\" > bad.dat; \"$KX\" audit --dat bad.dat col/game0.bin > report"
        << 1
        << "bad dump   G: col/game0.bin (its size and CRC32 are those of g.bin, its SHA-1 differs)";
    QTest::newRow("a game with one of its two ROMs is not had")
        << rom + "printf '<datafile><game name=\"G\">%s<rom name=\"b.bin\" size=\"4\" "
                 "crc=\"01020304\"/></game></datafile>' \"$(rom col/game0.bin g.bin)\" > two.dat; "
                 "\"$KX\" audit --dat two.dat --fixdat f.dat col/game0.bin > report; s=$?; grep -q "
                 "'name=\"b.bin\"' f.dat && ! grep -q 'name=\"g.bin\"' f.dat || exit 9; exit $s"
        << 1 << "have       G: col/game0.bin (plain, plain content)\nincomplete G: lacks b.bin";
    QTest::newRow("a fixdat that cannot be written fails a complete collection")
        << one + "\"$KX\" audit --dat one.dat --fixdat nofolder/fix.dat col/game0.bin > report "
                 "2> err; s=$?; grep -q 'fixdat nofolder/fix.dat cannot be written' err || exit 9; "
                 "exit $s"
        << 1 << "have       G: col/game0.bin (plain, plain content)";
    QTest::newRow("an archive's read-me is neither matched nor unknown")
        << one +
               "cd col && python3 -c 'import zipfile; z = zipfile.ZipFile(\"../set.zip\", \"w\"); "
               "z.write(\"game0.bin\"); z.writestr(\"readme.txt\", \"hello\")' && cd .. && \"$KX\" "
               "audit --dat one.dat set.zip > report 2> err; s=$?; grep -q ' 0 unknown files' err "
               "|| exit 9; exit $s"
        << 0 << "have       G: set.zip:game0.bin (plain, plain content)";
    const QString ab =
        rom + "printf '<datafile><game name=\"Alpha\">%s</game><game name=\"Beta\">%s</game>"
              "</datafile>' \"$(rom col/tree/deeper/game5.bin a.bin)\" \"$(rom col/game0.bin "
              "b.bin)\" > ab.dat; ";
    QTest::newRow("by game in the DAT's order, the files given in another")
        << ab + "\"$KX\" audit --dat ab.dat col/game0.bin col/tree/deeper/game5.bin > report" << 0
        << "have       Alpha: col/tree/deeper/game5.bin (plain, plain content)\nhave       Beta: "
           "col/game0.bin (plain, plain content)";
    QTest::newRow("by game in the DAT's order, in JSON too")
        << ab + "\"$KX\" audit --json --dat ab.dat col/game0.bin col/tree/deeper/game5.bin | "
                "python3 -c 'import json, sys; [print(h[\"game\"], h[\"file\"]) for h in "
                "json.load(sys.stdin)[\"have\"]]' > report"
        << 0 << "Alpha col/tree/deeper/game5.bin\nBeta col/game0.bin";
    QTest::newRow("text") << "\"$KX\" audit --dat set.dat -r col > report" << 1 << QString();
    // One file reached by three paths is one file: had once, no duplicate.
    QTest::newRow("a tree inside a tree, a file given again")
        << "\"$KX\" audit --dat set.dat -r col col/tree col/game0.bin > report" << 1 << QString();
    QTest::newRow("text, -j 1, as a list of names")
        << "find col -type f | sort | \"$KX\" audit -j 1 --dat set.dat --files-from - > report" << 1
        << QString();
    QTest::newRow("JSON") << "\"$KX\" audit --json --dat set.dat -r col > report" << 1 << QString();
    QTest::newRow("fixdat") << "\"$KX\" audit -q --dat set.dat -r col --fixdat fix.dat > report"
                            << 1 << QString();
    QTest::newRow("nothing missing, nothing bad")
        << "\"$KX\" audit --dat had.dat -r col > report" << 0 << QString();
}

void tst_KestrixConvert::audit() {
    QFETCH(QString, script);
    QFETCH(int, status);
    QFETCH(QString, ordered);
    const qsizetype KiB = 1024;
    QByteArray dat = "<?xml version=\"1.0\"?>\n<datafile>\n  <header>\n    <name>Test Set</name>\n"
                     "    <version>20261209</version>\n  </header>\n";
    QByteArray had = "<datafile>\n";
    auto game = [](int g, const QByteArray& bytes, const QByteArray& sha1) {
        const QByteArray name = "Game " + QByteArray::number(g).rightJustified(2, '0');
        return "  <game name=\"" + name + "\">\n    <description>" + name +
               "</description>\n    <rom name=\"" + name + ".bin\" size=\"" +
               QByteArray::number(bytes.size()) + "\" crc=\"" +
               QByteArray::number(TestFiles::Crc32(bytes), 16).rightJustified(8, '0') +
               "\" sha1=\"" + sha1 + "\"/>\n  </game>\n";
    };
    auto sha1 = [](const QByteArray& bytes) {
        return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
    };
    QStringList haves, missing;
    QVERIFY(QDir(dir_.path()).mkpath("col/tree/deeper"));
    QVERIFY(QDir(dir_.path()).mkpath("zips"));
    const char* const folders[] = {"col/", "col/tree/", "col/tree/deeper/"};
    for (int g = 0; g < 25; ++g) {
        QByteArray plain = RomImages::CartridgeImage((1 + g % 4) * 128 * KiB, quint32(40 + g));
        if (g % 5 == 4)
            plain += QByteArray(16 * KiB, char(0xFF)); // listed padded, as some DATs do
        const RomLayout layout =
            g == 16 ? RomLayout::Byteswapped
                    : std::array{RomLayout::Plain, RomLayout::Smd, RomLayout::Md,
                                 RomLayout::Byteswapped, RomLayout::Plain}[std::size_t(g % 5)];
        const QByteArray file = RomImages::InLayout(plain, layout);
        const QString name =
            QString("%1game%2%3")
                .arg(folders[g % 3])
                .arg(g)
                .arg(layout == RomLayout::Byteswapped ? ".bin" : LayoutExtension(layout));
        const QByteArray entry = game(g, g == 16 ? file : plain,
                                      g == 17 ? QByteArray(40, 'e') : sha1(g == 16 ? file : plain));
        dat += entry;
        if (g < 18) {
            QVERIFY(WriteFile(Path(name), file));
            if (g != 17)
                had += entry;
        }
        const QString gameName = QString("Game %1").arg(g, 2, 10, QChar('0'));
        if (g < 16)
            haves << gameName + ": " + name + " (" + LayoutName(layout) + ", plain content)";
        if (g >= 18)
            missing << gameName;
    }
    haves << "Game 16: col/tree/game16.bin (byteswapped, file as it is)";
    // What DATs list beside: a game listed again, a game of two ROMs of
    // which one is there, a game of no ROM, a ROM never dumped, and a ROM
    // listed by size and MD5 alone.
    const QByteArray pairA = RomImages::CartridgeImage(128 * KiB, 70);
    const QByteArray pairB = RomImages::CartridgeImage(128 * KiB, 71);
    const QByteArray byMd5 = RomImages::CartridgeImage(128 * KiB, 72);
    QVERIFY(WriteFile(Path("col/pair-a.bin"), pairA));
    QVERIFY(WriteFile(Path("col/md5.bin"), byMd5));
    const QByteArray besides =
        game(1, RomImages::CartridgeImage(256 * KiB, 41),
             sha1(RomImages::CartridgeImage(256 * KiB, 41))) +
        "  <game name=\"Pair\">\n" +
        game(0, pairA, sha1(pairA)).split('\n')[2].replace("Game 00.bin", "pair-a.bin") + "\n" +
        game(0, pairB, sha1(pairB)).split('\n')[2].replace("Game 00.bin", "pair-b.bin") +
        "\n  </game>\n  <game name=\"Nothing\"><description>Nothing</description></game>\n"
        "  <game name=\"Undumped\"><rom name=\"u.bin\" status=\"nodump\"/></game>\n"
        "  <game name=\"By MD5\"><rom name=\"md5.bin\" size=\"131072\" md5=\"" +
        QCryptographicHash::hash(byMd5, QCryptographicHash::Md5).toHex() + "\"/></game>\n";
    haves << "Pair: col/pair-a.bin (plain, plain content)"
          << "By MD5: col/md5.bin (plain, plain content)";
    dat += besides + "</datafile>\n";
    QVERIFY(WriteFile(Path("set.dat"), dat));
    QVERIFY(WriteFile(Path("had.dat"), had + besides.left(besides.indexOf("  <game name=\"Pair")) +
                                           besides.mid(besides.indexOf("  <game name=\"Nothing")) +
                                           "</datafile>\n"));
    // Game 00 twice, once in a zip; a file of nothing.
    QVERIFY(WriteFile(Path("col/tree/random.bin"), RandomBytes(64 * KiB, 50)));
    const Result zipped =
        RunShell("cd col && python3 -c 'import zipfile; "
                 "zipfile.ZipFile(\"tree/copy.zip\", \"w\").write(\"game0.bin\")'");
    QCOMPARE(zipped.status, 0);
    haves.insert(1, "Game 00: col/tree/copy.zip:game0.bin (plain, plain content)");

    const Result result = RunShell(script);
    QVERIFY2(result.status == status, qPrintable(result.out + result.err));
    QVERIFY2(result.err.isEmpty() || result.err.startsWith("kestrix-convert: audit: "),
             qPrintable(result.err));
    const QString report = ReadFile(Path("report"));
    if (!ordered.isNull()) {
        QCOMPARE(report.split(QChar(10), Qt::SkipEmptyParts), ordered.split(QChar(10)));
        return;
    }
    if (status == 0) {
        QCOMPARE(report.count("\nmissing") + report.startsWith("missing"), 0);
        QVERIFY2(!report.contains("bad dump"), qPrintable(report));
        return;
    }
    QStringList bad{"Game 17: col/tree/deeper/game17.md (its size and CRC32 are those of Game "
                    "17.bin, its SHA-1 differs)"};
    QStringList unknown{"col/tree/random.bin"};
    QStringList duplicates{"Game 00: col/game0.bin, col/tree/copy.zip:game0.bin"};
    if (script.contains("--json")) {
        const QJsonObject o = QJsonDocument::fromJson(report.toUtf8()).object();
        QCOMPARE(o["schema"].toInt(), 1);
        QCOMPARE(o["games"].toInt(), 29);
        QStringList got;
        for (const QJsonValue& h : o["have"].toArray())
            got << h["game"].toString() + ": " + h["file"].toString() + " (" +
                       h["layout"].toString() + ", " + h["dat_match"].toString() + ")";
        got.sort();
        haves.sort();
        QCOMPARE(got, haves);
        QStringList gone;
        for (const QJsonValue& m : o["missing"].toArray())
            gone << m.toString();
        QCOMPARE(gone, missing);
        QCOMPARE(o["bad_dumps"].toArray().size(), 1);
        QCOMPARE(o["bad_dumps"][0]["game"].toString(), QString("Game 17"));
        QCOMPARE(o["unknown"].toArray(), QJsonArray{"col/tree/random.bin"});
        QCOMPARE(o["duplicates"][0]["files"].toArray().size(), 2);
        QCOMPARE(o["games_had"].toArray().size(), 18);
        QCOMPARE(o["incomplete"].toArray().size(), 1);
        QCOMPARE(o["incomplete"][0]["lacks"].toArray(), QJsonArray{"pair-b.bin"});
        QCOMPARE(o["never_dumped"].toArray(), (QJsonArray{"Nothing", "Undumped"}));
        return;
    }
    // Each line once, and no other.
    QStringList expected;
    for (const QString& h : haves)
        expected << "have       " + h;
    for (const QString& m : missing)
        expected << "missing    " + m;
    expected << "incomplete Pair: lacks pair-b.bin";
    for (const QString& b : bad)
        expected << "bad dump   " + b;
    for (const QString& u : unknown)
        expected << "unknown    " + u;
    for (const QString& d : duplicates)
        expected << "duplicate  " + d;
    QStringList lines = report.split('\n', Qt::SkipEmptyParts);
    lines.sort();
    expected.sort();
    QCOMPARE(lines, expected);
    if (!script.contains("--fixdat")) {
        QVERIFY2(
            result.err.contains("29 games in the DAT files: 18 had, 1 incomplete, 7 missing, 1 "
                                "bad dumps, 2 never dumped; 1 unknown files, 1 duplicates"),
            qPrintable(result.err));
        return;
    }
    // The fixdat, read back by the DAT reader and by Python's.
    DatFile::Index fix;
    QVERIFY(!fix.Load(Path("fix.dat")).Failed());
    QStringList games;
    for (int g = 0; g < fix.Games(); ++g)
        games << fix.GameName(g);
    // The incomplete game with only the ROM it lacks; nothing never dumped.
    QCOMPARE(games, missing + QStringList{"Pair"});
    const Result python = RunShell(
        "python3 -c 'import xml.etree.ElementTree as E; r = E.parse(\"fix.dat\").getroot(); "
        "print(r.find(\"header/name\").text); print(r.find(\"header/version\").text); "
        "[print(g.get(\"name\"), g.find(\"rom\").get(\"sha1\")) for g in r.findall(\"game\")]'");
    QCOMPARE(python.status, 0);
    QStringList pythonLines = python.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(pythonLines.takeFirst(), QString("Test Set (fixdat)"));
    QCOMPARE(pythonLines.takeFirst(), QString("20261209"));
    QCOMPARE(pythonLines.size(), missing.size() + 1);
    for (int i = 0; i < missing.size(); ++i)
        QVERIFY(pythonLines[i].startsWith(missing[i] + " "));
    QCOMPARE(pythonLines.last(), "Pair " + sha1(pairB));
}

void tst_KestrixConvert::layoutAware_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    // A file that must now exist and, read in a layout (unless unknown), hold
    // the plain image.
    QTest::addColumn<QString>("written");
    QTest::addColumn<RomLayout>("layout");
    QTest::newRow("md2bin on a plain image is refused")
        << QStringList{"md2bin", "plain.md"} << 1
        << "looks like a plain image (header checksum matches); use bin2smd, bin2md or to-bin"
        << "" << RomLayout::Unknown;
    QTest::newRow("smd2bin on an MD image is refused")
        << QStringList{"smd2bin", "game.md"} << 1 << "looks like an MD image"
        << "" << RomLayout::Unknown;
    QTest::newRow("--force converts anyway")
        << QStringList{"md2bin", "--force", "-o", "out", "plain.md"} << 0
        << "plain.md -> out/plain.bin"
        << "out/plain.bin" << RomLayout::Unknown;
    QTest::newRow("unknown converts as asked")
        << QStringList{"bin2md", "-o", "out", "random.bin"} << 0 << "random.bin -> out/random.md"
        << "out/random.md" << RomLayout::Unknown;
    QTest::newRow("to-smd of an SMD image is a copy")
        << QStringList{"to-smd", "--verify", "-o", "out", "game.smd"} << 0
        << "note: game.smd is already an SMD image; writing a byte copy"
        << "out/game.smd" << RomLayout::Smd;
    QTest::newRow("to-smd from MD, verified")
        << QStringList{"to-smd", "--verify", "-o", "out", "game.md"} << 0 << "verified"
        << "out/game.smd" << RomLayout::Smd;
    QTest::newRow("to-bin from byteswapped") << QStringList{"to-bin", "-o", "out", "swapped.bin"}
                                             << 0 << "swapped.bin -> out/swapped.bin"
                                             << "out/swapped.bin" << RomLayout::Plain;
    QTest::newRow("to-bin from plain is a copy")
        << QStringList{"to-bin", "-o", "out", "plain.md"} << 0 << "already a plain image"
        << "out/plain.bin" << RomLayout::Plain;
    QTest::newRow("to-md of unknown layout is refused")
        << QStringList{"to-md", "-o", "out", "random.bin"} << 1 << "the layout is unknown"
        << "" << RomLayout::Unknown;
    // The same reason as without --verify.
    QTest::newRow("refused by size, verified")
        << QStringList{"md2bin", "--force", "--verify", "-o", "out", "short.md"} << 1
        << "refused short.md: the size is not a multiple of 16384 bytes"
        << "" << RomLayout::Unknown;
    QTest::newRow("to-smd of a disc image is refused")
        << QStringList{"to-smd", "-o", "out", "disc.bin"} << 1
        << "refused disc.bin: it is a disc image, not a cartridge"
        << "" << RomLayout::Unknown;
    QTest::newRow("bin2smd of a disc image is refused")
        << QStringList{"bin2smd", "-o", "out", "disc.bin"} << 1
        << "refused disc.bin: it is a disc image, not a cartridge"
        << "" << RomLayout::Unknown;
    QTest::newRow("to-smd of a disc image of raw sectors is refused")
        << QStringList{"to-smd", "-o", "out", "raw.bin"} << 1
        << "refused raw.bin: it is a disc image, not a cartridge"
        << "" << RomLayout::Unknown;
    QTest::newRow("to-md in place, verified")
        << QStringList{"to-md", "--verify", "--overwrite", "game.md"} << 0 << "verified"
        << "game.md" << RomLayout::Md;
}

void tst_KestrixConvert::layoutAware() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(QString, written);
    QFETCH(RomLayout, layout);
    const QByteArray plain = RomImages::PlainImage(2 * 16384, 2);
    QVERIFY(QDir(dir_.path()).mkpath("out"));
    QVERIFY(WriteFile(Path("plain.md"), plain));
    QVERIFY(WriteFile(Path("swapped.bin"), RomImages::Byteswapped(plain)));
    QVERIFY(WriteFile(Path("random.bin"), RandomBytes(16384, 3)));
    QVERIFY(WriteFile(Path("short.md"), RandomBytes(1000, 4)));
    QVERIFY(WriteFile(Path("game.md"), RomImages::Md(plain)));
    QVERIFY(WriteFile(Path("game.smd"), RomImages::Smd(plain)));
    QByteArray disc = plain;
    disc.replace(0, 16, "SEGADISCSYSTEM  ");
    QVERIFY(WriteFile(Path("disc.bin"), disc));
    // In sectors of 2352 bytes: a sync pattern, the address and mode first.
    QByteArray raw = RomImages::PlainImage(2352 * 16, 5);
    raw.replace(0, 32,
                QByteArray::fromHex("00ffffffffffffffffffff0000020001") + "SEGADISCSYSTEM  ");
    QVERIFY(WriteFile(Path("raw.bin"), raw));
    const Result result = Run(args);
    QCOMPARE(result.status, status);
    QVERIFY(!message.isEmpty());
    QVERIFY2((result.out + result.err).contains(message), qPrintable(result.out + result.err));
    if (status != 0)
        QCOMPARE(QDir(Path("out")).entryList(QDir::Files | QDir::Hidden), QStringList());
    QVERIFY(written.isEmpty() || QFileInfo(Path(written)).isFile());
    if (layout != RomLayout::Unknown)
        QCOMPARE(RomInspector::PlainSha1(Path(written), layout).hex,
                 QCryptographicHash::hash(plain, QCryptographicHash::Sha1).toHex());
    QCOMPARE(ReadFile(Path("plain.md")), plain);
}

void tst_KestrixConvert::archives_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    // Files of out/ afterwards, each holding the cartridge (SHA-1 of the
    // plain image 4e6cdd7c..., from Python's hashlib) unless named other.*.
    QTest::addColumn<QStringList>("made");
    // Every kind of archive read, on Linux and on Windows.
    for (const char* archive : {"one.zip", "bzip2.zip", "lzma.zip", "xz.zip", "zstd.zip", "one.7z",
                                "game.smd.gz", "game.smd.xz", "game.smd.bz2", "game.smd.zst"})
        QTest::addRow("%s", archive)
            << QString("\"$KX\" to-bin -o out \"$A/%1\"").arg(archive) << 0
            << QString("%1:game.smd -> out/game.bin").arg(archive) << QStringList{"game.bin"};
    QTest::newRow("two images and a read-me in one zip")
        << "\"$KX\" to-bin -o out \"$A/two.zip\"" << 0
        << "2 converted, 1 skipped, 0 refused, 0 failed" << QStringList{"game.bin", "other.bin"};
    QTest::newRow("info names the entries")
        << "\"$KX\" info \"$A/one.zip\" | sed 's,.*/,,'" << 0
        << "one.zip:game.smd\n  size       66048 bytes" << QStringList();
    QTest::newRow("a wrong CRC") << "\"$KX\" to-bin -o out \"$A/badcrc.zip\"" << 1
                                 << "badcrc.zip:game.smd: it is damaged: ZIP bad CRC"
                                 << QStringList();
    QTest::newRow("an entry climbing out")
        << "\"$KX\" to-bin -o out \"$A/dotdot.zip\" && test ! -e up.bin && test ! -e ../up.bin" << 0
        << "dotdot.zip:up.smd -> out/up.bin" << QStringList{"up.bin"};
    QTest::newRow("an absolute entry name")
        << "\"$KX\" to-bin -o out \"$A/absolute.zip\"" << 0
        << "absolute.zip:absolute.smd -> out/absolute.bin" << QStringList{"absolute.bin"};
    QTest::newRow("a control character in a name")
        << "\"$KX\" to-bin -o out \"$A/control.zip\"" << 0 << "-> out/bell_.bin"
        << QStringList{"bell_.bin"};
    QTest::newRow("DEL and escape in an entry's name")
        << "\"$KX\" to-bin -o out \"$A/del.zip\"" << 0 << "del.zip:del_esc_.smd -> out/del_esc_.bin"
        << QStringList{"del_esc_.bin"};
    QTest::newRow("upper-case extensions, a read-me passed over")
        << "\"$KX\" to-bin -o out \"$A/GAME.ZIP\"" << 0
        << "GAME.ZIP:GAME.SMD -> out/GAME.bin\n|1 converted, 1 skipped, 0 refused, 0 failed"
        << QStringList{"GAME.bin"};
    QTest::newRow("a 7z entry named with backslashes")
        << "\"$KX\" to-bin -o out \"$A/backslash.7z\"" << 0
        << "backslash.7z:game.smd -> out/game.bin" << QStringList{"game.bin"};
    // 1 GiB + 512 bytes inside: the largest image taken, then one byte more.
    QTest::newRow("the largest image in a .gz")
        << "\"$KX\" info \"$A/limit.smd.gz\" | sed 's,.*/,,'" << 0
        << "limit.smd.gz:limit.smd\n  size       1073742336 bytes" << QStringList();
    QTest::newRow("one byte past the limit in a .gz")
        << "\"$KX\" to-bin -o out \"$A/over.smd.gz\"" << 1
        << "over.smd.gz:over.smd: it is larger than 1024 MiB" << QStringList();
    QTest::newRow("a link entry") << "\"$KX\" to-bin -o out \"$A/link.zip\"" << 1
                                  << "link.zip:link.smd: it is a link, not a file"
                                  << QStringList{"game.bin"};
    QTest::newRow("an encrypted entry")
        << "\"$KX\" to-bin -o out \"$A/encrypted.zip\"" << 1
        << "encrypted.zip:game.smd: it is encrypted" << QStringList();
    QTest::newRow("an empty zip")
        << "python3 -c \"import zipfile; zipfile.ZipFile('e.zip', 'w').close()\" && \"$KX\" to-bin "
           "-o out e.zip"
        << 1 << "kestrix-convert: refused e.zip: the archive holds no files" << QStringList();
    QTest::newRow("a corrupt archive") << "\"$KX\" to-bin -o out \"$A/corrupt.zip\"" << 1
                                       << "corrupt.zip: the archive is damaged" << QStringList();
    // 4 GiB of zeros when read whole: refused with far less memory than that
    // (the sanitizers' shadow memory cannot live under such a limit).
    QTest::newRow("a decompression bomb")
        << "{ ldd \"$KX\" | grep -qE 'lib(a|t)san' || ulimit -v 3000000; } && "
           "\"$KX\" to-bin -o out \"$A/bomb.smd.gz\""
        << 1 << "bomb.smd.gz:bomb.smd: it is larger than 1024 MiB" << QStringList();
    QTest::newRow("libarchive's message, without its new line")
        << "\"$KX\" info --json \"$A/wrongsize.zip\"" << 1 << "expected 1000)\"," << QStringList();
    QTest::newRow("a damaged read-me is passed over unread")
        << "\"$KX\" info \"$A/badreadme.zip\"" << 0
        << "badreadme.zip:readme.txt\n  layout     unknown (unknown)\n  reasons    a companion of "
           "the images (a read-me, a picture, a list), passed over unread\n"
        << QStringList();
    // Judged by the content, whatever the name says.
    QTest::newRow("an image named as gzip")
        << "\"$KX\" to-bin -o out \"$A/loose.smd.gz\" && \"$KX\" info \"$A/loose.smd.gz\"" << 0
        << "loose.smd.gz: the file is no archive, whatever its name says: read as itself|"
           "loose.smd.gz -> out/loose.bin|  reasons    the file is no archive, whatever its name "
           "says: read as itself\n             \"SEGA\""
        << QStringList{"loose.bin"};
    QTest::newRow("a zip named as bzip2") << "\"$KX\" to-bin -o out \"$A/zipped.smd.bz2\"" << 0
                                          << "zipped.smd.bz2: the file is a zip archive, whatever "
                                             "its name says|zipped.smd.bz2:game.smd"
                                             " -> out/game.bin"
                                          << QStringList{"game.bin"};
    QTest::newRow("an image named as zip")
        << "\"$KX\" to-bin -o out \"$A/image.zip\"" << 0
        << "image.zip: the file is no archive, whatever its name says|image.zip -> out/image.bin"
        << QStringList{"image.bin"};
    QTest::newRow("an entry of one byte")
        << "\"$KX\" info \"$A/onebyte.zip\"" << 0 << "onebyte.zip:one.smd\n  size       1 byte\n"
        << QStringList();
    QTest::newRow("-o - takes one image of an archive of several")
        << "\"$KX\" to-bin -o - \"$A/two.zip\" > out/first.bin" << 1
        << "other.bin: standard output already holds an image" << QStringList{"first.bin"};
    QTest::newRow("--zip, read back")
        << "\"$KX\" to-bin --zip --verify -o out \"$A/one.zip\" && bsdtar -xOf out/game.zip "
           "game.bin > out/game.bin"
        << 0 << "verified out/game.zip" << QStringList{"game.bin", "game.zip"};
    // Method 8 is deflate (zipfile's own reading of the entry).
    QTest::newRow("--zip deflates")
        << "\"$KX\" to-bin --zip -o out \"$A/one.zip\" && python3 -c \"import zipfile; "
           "i = zipfile.ZipFile('out/game.zip').infolist(); print([(e.filename, e.compress_type) "
           "for e in i])\""
        << 0 << "[('game.bin', 8)]" << QStringList{"game.zip"};
    // The entry's name as stored, in bytes: "caf", Latin-1 e-acute, ".bin".
    QTest::newRow("--zip keeps a name's bytes")
        << "gunzip -c \"$A/game.smd.gz\" > \"$(printf 'caf\\351.smd')\" && \"$KX\" to-bin --zip "
           "-o out caf*.smd && mv out/caf*.zip z.zip && python3 -c \"import zipfile; "
           "e = zipfile.ZipFile('z.zip').infolist()[0]; "
           "print(e.filename.encode('utf-8' if e.flag_bits & 0x800 else 'cp437').hex())\""
        << 0 << "636166e92e62696e" << QStringList();
}

// Archives are sources: each file in one, converted as a loose file named
// after its own name, into the output folder and nowhere else.
void tst_KestrixConvert::archives() {
    QFETCH(QString, script);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(QStringList, made);
    QVERIFY(QDir(dir_.path()).mkpath("out"));
    const Result result = RunShell(script);
    QVERIFY2(result.status == status, qPrintable(result.out + result.err));
    for (const QString& part : message.split('|'))
        QVERIFY2((result.out + result.err).contains(part), qPrintable(result.out + result.err));
    QCOMPARE(QDir(Path("out")).entryList(QDir::Files | QDir::Hidden), made);
    for (const QString& name : made)
        if (name.endsWith(".bin"))
            QCOMPARE(RomInspector::PlainSha1(Path("out/" + name), RomLayout::Plain).hex,
                     name.startsWith("other")
                         ? QCryptographicHash::hash(RomImages::CartridgeImage(32768, 8),
                                                    QCryptographicHash::Sha1)
                               .toHex()
                         : QByteArray("4e6cdd7c5925f423cfdc2546d6a24c434d78c41b"));
}

void tst_KestrixConvert::treesAndLists_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    // Files under out/ afterwards, with their folders.
    QTest::addColumn<QStringList>("made");
    // Passed over: c.smd, notes.txt, the link to a folder, the zip's read-me;
    // the zip's SMD image is refused by the guard, as a loose one would be.
    QTest::newRow("-r in a fixed mode: its extension, any case, and archives")
        << "\"$KX\" bin2smd -r -o out tree" << 1 << "3 converted, 4 skipped, 1 refused, 0 failed"
        << QStringList{"a.smd", "sub/b.smd", "sub/deep/other.smd"};
    // Passed over: notes.txt (no known layout), the link, the read-me.
    QTest::newRow("-r in to-bin: what it recognises, and archives")
        << "\"$KX\" to-bin -r -o out tree" << 0 << "5 converted, 3 skipped, 0 refused, 0 failed"
        << QStringList{"a.bin", "c.bin", "sub/b.bin", "sub/deep/game.bin", "sub/deep/other.bin"};
    QTest::newRow("--files-from standard input, NUL-separated")
        << "printf 'tree/sp ace.BIN\\0tree/new\\nline.bin\\0' | \"$KX\" bin2md "
           "--files-from - -0 -o out"
        << 0 << "2 converted" << QStringList{"new\nline.md", "sp ace.md"};
    QTest::newRow("--files-from a file, one a line")
        << "printf 'tree/a.bin\\ntree/sub/b.BIN\\n' > list && \"$KX\" bin2md --files-from list "
           "-o out"
        << 0 << "2 converted" << QStringList{"a.md", "b.md"};
    QTest::newRow("the first-dot rule: one destination for two versions")
        << "\"$KX\" bin2md -o out tree/Game.v1.bin tree/Game.v2.bin" << 1
        << "refused tree/Game.v2.bin: out/Game.md is the same file" << QStringList{"Game.md"};
    QTest::newRow("--full-stem: one each")
        << "\"$KX\" bin2md --full-stem -o out tree/Game.v1.bin tree/Game.v2.bin" << 0
        << "tree/Game.v2.bin -> out/Game.v2.md" << QStringList{"Game.v1.md", "Game.v2.md"};
    QTest::newRow("--zip --full-stem: one zip each")
        << "\"$KX\" bin2md --zip --full-stem -o out tree/Game.v1.bin tree/Game.v2.bin" << 0
        << "tree/Game.v2.bin -> out/Game.v2.zip" << QStringList{"Game.v1.zip", "Game.v2.zip"};
    // A single quote closes the quotes, is escaped, and opens them again.
    QTest::newRow("a name with a single quote, quoted")
        << "cp tree/a.bin \"tree/it's.bin\" && cp tree/a.bin \"out/it's.md\" && \"$KX\" bin2md -o "
           "out "
           "\"tree/it's.bin\""
        << 1 << "skipped 'tree/it'\\''s.bin': 'out/it'\\''s.md' already exists"
        << QStringList{"it's.md"};
    // Made in another order than their names': told in their names' order,
    // whatever order the drive lists them in.
    QTest::newRow("-r tells files in name order")
        << "mkdir t && for i in 17 03 29 11 05 23 13 07 19 02 31 37 01; do cp tree/a.bin "
           "t/f$i.bin; "
           "done; \"$KX\" bin2md -r -o out t | cut -d' ' -f1 > got; ls t | LC_ALL=C sort | sed "
           "'s,^,t/,' > want; cmp got want && wc -l < got"
        << 0 << "13\n"
        << QStringList{"f01.md", "f02.md", "f03.md", "f05.md", "f07.md", "f11.md", "f13.md",
                       "f17.md", "f19.md", "f23.md", "f29.md", "f31.md", "f37.md"};
    // An image 2,000 bytes deep is converted; one 5,200 bytes deep lies past
    // what a path can name: it is told and counted, and the run fails.
    QTest::newRow("-r and a tree deeper than a path can name")
        << "top=$PWD; n=$(printf %0200d 0); mkdir t && cd t && for i in $(seq 26); do mkdir $n && "
           "cd -P $n || exit 9; [ $i = 10 ] && cp \"$top/tree/a.bin\" shallow.bin; done; cp "
           "\"$top/tree/a.bin\" deep.bin && cd \"$top\" && \"$KX\" to-bin -r -o out t 2> err; "
           "s=$?; "
           "grep -c ': File name too long$' err; tail -1 err; exit $s"
        << 1 << "1\nkestrix-convert: 1 converted, 0 skipped, 0 refused, 1 failed"
        << QStringList{QString(QString(200, '0') + "/").repeated(10) + "shallow.bin"};
    QTest::newRow("-r converts a link to a file")
        << "mkdir t && ln -s ../elsewhere/x.bin t/l.bin && \"$KX\" to-bin -r -o out t" << 0
        << "t/l.bin -> out/l.bin" << QStringList{"l.bin"};
    QTest::newRow("-oDIR attached") << "\"$KX\" bin2md -oout tree/a.bin" << 0
                                    << "tree/a.bin -> out/a.md" << QStringList{"a.md"};
    QTest::newRow("short options together")
        << "\"$KX\" bin2md -qoout tree/a.bin" << 0 << "" << QStringList{"a.md"};
    QTest::newRow("a name that starts with a dash, after --")
        << "cp tree/a.bin ./-x.bin && \"$KX\" bin2md -o out -- -x.bin" << 0 << "-x.bin -> out/-x.md"
        << QStringList{"-x.md"};
    QTest::newRow("an unknown option is quoted as given")
        << "\"$KX\" bin2md -x.smd" << 2 << "unknown option '-x'" << QStringList();
    QTest::newRow("an unknown long option is quoted as given")
        << "\"$KX\" bin2md --oout a.bin" << 2 << "unknown option '--oout'" << QStringList();
    // On a terminal (a pseudo-terminal of script(1)), a progress line.
    QTest::newRow("progress on a terminal")
        << "command -v script >/dev/null || exit 77; script -qec '\"$KX\" bin2md -o out "
           "tree/a.bin tree/sub/b.BIN' /dev/null"
        << 0 << "\r\x1b[K[0/2] tree/sub/b.BIN" << QStringList{"a.md", "b.md"};
    // Cut to the terminal's width (19 of 20 columns); nothing on a dumb one.
    QTest::newRow("progress cut to the terminal's width")
        << "command -v script >/dev/null || exit 77; script -qec 'stty cols 20; \"$KX\" bin2md -o "
           "out tree/a.bin tree/sub/b.BIN' /dev/null"
        << 0 << "\r\x1b[K[0/2] tree/sub/b.BI\r" << QStringList{"a.md", "b.md"};
    QTest::newRow("no progress on a dumb terminal")
        << "command -v script >/dev/null || exit 77; TERM=dumb script -qec '\"$KX\" bin2md -o out "
           "tree/a.bin tree/sub/b.BIN' /dev/null | grep -c '\\[0/2\\]'; exit 0"
        << 0 << "0\n"
        << QStringList{"a.md", "b.md"};
    QTest::newRow("-r given a link to a folder: not followed")
        << "\"$KX\" to-bin -r -o out tree/link" << 0 << "0 converted, 1 skipped, 0 refused"
        << QStringList();
    QTest::newRow("info --files-from")
        << "printf 'tree/a.bin\\ntree/c.smd\\n' | \"$KX\" info --files-from -" << 0
        << "tree/a.bin\n  size       65536 bytes\n"
        << QStringList();
    QTest::newRow("-q silences notes")
        << "\"$KX\" to-bin -q -o out tree/a.bin" << 0 << "" << QStringList{"a.bin"};
    // Standard output a terminal, standard error a file: a clean log.
    QTest::newRow("no progress escapes in a log")
        << "command -v script >/dev/null || exit 77; script -qec '\"$KX\" bin2md -o out "
           "tree/a.bin tree/sub/b.BIN 2>log' /dev/null >/dev/null; "
           "if grep -q \"$(printf '\\033')\" log; then echo escapes; else cat log; fi"
        << 0 << "kestrix-convert: 2 converted" << QStringList{"a.md", "b.md"};
    // A second run must not take the first one's outputs for sources.
    QTest::newRow("-r --overwrite with the output folder inside the tree")
        << "mkdir tree/out && \"$KX\" to-bin -r --overwrite -o tree/out tree 2>/dev/null && "
           "\"$KX\" to-bin -r --overwrite -o tree/out tree; s=$?; mv tree/out/* out/; exit $s"
        << 0 << "5 converted, 3 skipped, 0 refused, 0 failed"
        << QStringList{"a.bin", "c.bin", "sub/b.bin", "sub/deep/game.bin", "sub/deep/other.bin"};
    // Each folder made is flushed into its parent: out for out/sub, out/sub
    // for out/sub/deep.
    QTest::newRow("-r flushes the folders it makes into their parents")
        << "LD_PRELOAD=\"$SHIM\" KESTRIX_SHIM_FSYNC_LOG=\"$PWD/log\" \"$KX\" to-bin -r -q -o out "
           "tree && grep -c -x -e \"$PWD/out\" -e \"$PWD/out/sub\" log"
        << 0 << "4\n"
        << QStringList{"a.bin", "c.bin", "sub/b.bin", "sub/deep/game.bin", "sub/deep/other.bin"};
    QTest::newRow("-q prints errors only")
        << "\"$KX\" bin2md -q -o out tree/a.bin tree/missing.bin" << 1
        << "refused tree/missing.bin: the file does not exist\n"
        << QStringList{"a.md"};
}

// Trees walked with -r, lists of names, the naming rules and the usual
// forms of arguments.
void tst_KestrixConvert::treesAndLists() {
    QFETCH(QString, script);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(QStringList, made);
    QVERIFY(QDir(dir_.path()).mkpath("out"));
    QVERIFY(QDir(dir_.path()).mkpath("tree/sub/deep"));
    QVERIFY(QDir(dir_.path()).mkpath("elsewhere"));
    const QByteArray plain = RomImages::CartridgeImage(65536, 7);
    QVERIFY(WriteFile(Path("tree/a.bin"), plain));
    QVERIFY(WriteFile(Path("tree/sub/b.BIN"), plain));
    QVERIFY(WriteFile(Path("tree/c.smd"), RomImages::Smd(plain)));
    QVERIFY(WriteFile(Path("tree/notes.txt"), "not an image"));
    QVERIFY(WriteFile(Path("tree/Game.v1.bin"), RandomBytes(16384, 1)));
    QVERIFY(WriteFile(Path("tree/Game.v2.bin"), RandomBytes(16384, 2)));
    QVERIFY(WriteFile(Path("tree/sp ace.BIN"), RandomBytes(16384, 3)));
    QVERIFY(WriteFile(Path("tree/new\nline.bin"), RandomBytes(16384, 4)));
    QVERIFY(QFile::copy(archives_.filePath("two.zip"), Path("tree/sub/deep/two.zip")));
    QVERIFY(WriteFile(Path("elsewhere/x.bin"), plain));
    QVERIFY(QFile::link("../elsewhere", Path("tree/link")));
    if (script.contains(" -r ")) {
        // Only the files of the walk: the others would blur the counts.
        for (const char* name : {"Game.v1.bin", "Game.v2.bin", "sp ace.BIN", "new\nline.bin"})
            QVERIFY(QFile::remove(Path(QString("tree/") + name)));
    }
    const Result result = RunShell(script);
    if (result.status == 77)
        QSKIP("script(1) is not installed");
    QVERIFY2(result.status == status, qPrintable(result.out + result.err));
    QVERIFY2((result.out + result.err).contains(message), qPrintable(result.out + result.err));
    if (message.isEmpty())
        QCOMPARE(result.out + result.err, QString());
    QStringList found;
    QDirIterator files(Path("out"), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext())
        found << QDir(Path("out")).relativeFilePath(files.next());
    found.sort();
    made.sort();
    QCOMPARE(found, made);
}

void tst_KestrixConvert::datFiles_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("made"); // a file that must exist afterwards, or none
    QTest::newRow("info names the game by SHA-1")
        << QStringList{"info", "--dat", "set.dat", "game.md"} << 0
        << "  dat game   Kestrix Test Cart (World)\n  dat rom    Kestrix Test Cart (World).bin\n"
           "  dat match  plain content\n"
        << "";
    // A DAT whose verified dump is stored as a layout's file, not plain.
    QTest::newRow("by the SHA-1 of the file as it is")
        << QStringList{"info", "--dat", "raw.dat", "game.md"} << 0
        << "  dat game   Listed Raw\n  dat rom    raw.md\n  dat match  file as it is\n"
        << "";
    QTest::newRow("by the CRC32 and size of the file as it is")
        << QStringList{"info", "--json", "--dat", "rawcrc.dat", "crc.smd"} << 0
        << "\"dat_game\": \"Raw CRC\",|\"dat_match\": \"file as it is\","
        << "";
    QTest::newRow("by CRC32 and size where the DAT lists no SHA-1")
        << QStringList{"info", "--dat", "other.dat", "crc.smd"} << 0 << "  dat game   Only A CRC\n"
        << "";
    // The SHA-1 is asked first, whichever DAT lists it.
    QTest::newRow("SHA-1 before CRC32")
        << QStringList{"info", "--dat", "other.dat", "--dat", "set.dat", "crc.smd"} << 0
        << "  dat game   Kestrix Test Cart (World)\n"
        << "";
    QTest::newRow("an upper-case SHA-1")
        << QStringList{"info", "--dat", "upper.dat", "game.md"} << 0 << "  dat game   Upper Case\n"
        << "";
    // The SHA-1 decides where the DAT gives one.
    QTest::newRow("CRC32 and size match, the SHA-1 does not")
        << QStringList{"info", "--dat", "wrongsha.dat", "game.md"} << 0
        << "  dat game   no match in the DAT files\n"
        << "";
    QTest::newRow("two DAT files, a file from each")
        << QStringList{"info", "--dat", "set.dat", "--dat", "random.dat", "game.md", "random.bin"}
        << 0 << "  dat game   Kestrix Test Cart (World)\n|  dat game   Random Thing\n"
        << "";
    // No header to judge by: the DAT alone says the dump is whole.
    QTest::newRow("no header, a DAT's ROM")
        << QStringList{"info", "--dat", "random.dat", "random.bin"} << 0
        << "  header     no cartridge header: nothing in the file is read as one\n  dump       "
           "complete: it is the DAT's ROM\n|!system"
        << "";
    QTest::newRow("no match") << QStringList{"info", "--dat", "set.dat", "random.bin"} << 0
                              << "  dat game   no match in the DAT files\n"
                              << "";
    QTest::newRow("JSON") << QStringList{"info", "--json", "--dat", "set.dat", "game.md"} << 0
                          << "\"dat_game\": \"Kestrix Test Cart (World)\""
                          << "";
    QTest::newRow("JSON, no match")
        << QStringList{"info", "--json", "--dat", "set.dat", "random.bin"} << 0
        << "\"dat_game\": null"
        << "";
    QTest::newRow("to-smd names the output after the DAT")
        << QStringList{"to-smd", "--dat", "set.dat", "--dat-names",
                       "-o",     "out",   "game.md", "random.bin"}
        << 1 << "game.md -> out/Kestrix Test Cart (World).smd"
        << "out/Kestrix Test Cart (World).smd";
    QTest::newRow("only the last part of a DAT's name")
        << QStringList{"to-bin", "--dat", "other.dat", "--dat-names", "-o", "out", "crc.smd"} << 0
        << "crc.smd -> out/Only A CRC.bin"
        << "out/Only A CRC.bin";
    QTest::newRow("a ROM name with dots")
        << QStringList{"to-smd", "--dat", "dotted.dat", "--dat-names", "-o", "out", "game.md"} << 0
        << "game.md -> out/Game (v1.1).smd"
        << "out/Game (v1.1).smd";
    QTest::newRow("DEL in a ROM name")
        << QStringList{"to-smd", "--dat", "del.dat", "--dat-names", "-o", "out", "crc.smd"} << 0
        << "crc.smd -> out/Del_Game.smd"
        << "out/Del_Game.smd";
    QTest::newRow("a malformed DAT is one error, and nothing is written")
        << QStringList{"to-smd", "--dat", "broken.dat", "--dat-names", "-o", "out", "game.md"} << 1
        << "cannot read the DAT file broken.dat: line 3: "
        << "";
    QTest::newRow("not a DAT") << QStringList{"info", "--dat", "game.md", "game.md"} << 1
                               << "cannot read the DAT file game.md: "
                               << "";
    QTest::newRow("one SHA-1 for two games: the first, and a warning")
        << QStringList{"info", "--dat", "twice.dat", "game.md"} << 0
        << "warning: twice.dat lists the SHA-1 4e6cdd7c5925f423cfdc2546d6a24c434d78c41b for "
           "\"First\" and for \"Second\"; \"First\" is the one matched|  dat game   First\n"
        << "";
    QTest::newRow("a root other than <datafile>")
        << QStringList{"info", "--dat", "rooted.dat", "game.md"} << 1
        << "cannot read the DAT file rooted.dat: line 1: not a DAT file"
        << "";
    QTest::newRow("a game with no name") << QStringList{"info", "--dat", "nameless.dat", "game.md"}
                                         << 0 << "  dat game   (a game with no name)\n"
                                         << "";
    // U+202E turns the rest of a line around on a terminal.
    QTest::newRow("a right-to-left override in a DAT's names")
        << QStringList{"info", "--dat", "bidi.dat", "game.md"} << 0
        << "  dat game   Evil\\u202Eelif\n  dat rom    Evil\\u202Egpj.bin\n"
        << "";
    QTest::newRow("a right-to-left override never reaches an output name")
        << QStringList{"to-smd", "--dat", "bidi.dat", "--dat-names", "-o", "out", "crc.smd"} << 0
        << "crc.smd -> out/Evil_gpj.smd"
        << "out/Evil_gpj.smd";
    QTest::newRow("--dat-names --zip: the entry is named after the DAT")
        << QStringList{"to-smd", "--dat", "set.dat", "--dat-names", "--zip", "-o", "out", "game.md"}
        << 0 << "game.md -> out/Kestrix Test Cart (World).zip"
        << "";
    // Real DATs are several MB: read in pieces of 1 MiB, with a game whose
    // SHA-1 each piece's end cuts in two.
    QTest::newRow("a DAT of several MB, a game across the first piece's end")
        << QStringList{"info", "--dat", "big.dat", "game.md"} << 0 << "  dat game   Across One\n"
        << "";
    QTest::newRow("a DAT of several MB, a game across the second piece's end")
        << QStringList{"info", "--dat", "big.dat", "random.bin"} << 0 << "  dat game   Across Two\n"
        << "";
    // One game, two names for the same bytes: nothing to warn of.
    QTest::newRow("one SHA-1 for two ROMs of one game: no warning")
        << QStringList{"info", "--dat", "tworoms.dat", "game.md"} << 0
        << "  dat game   Both\n|!warning"
        << "";
    QTest::newRow("--dat-names without --dat")
        << QStringList{"to-bin", "--dat-names", "game.md"} << 2 << "go together"
        << "";
}

// DAT files name the games: by the SHA-1 of the plain content, or CRC32 and
// size; a malformed one is one clear error.
void tst_KestrixConvert::datFiles() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(QString, made);
    QVERIFY(QDir(dir_.path()).mkpath("out"));
    // Fingerprints of this cartridge from Python's zlib and hashlib.
    const QByteArray plain = RomImages::CartridgeImage(65536, 7);
    QVERIFY(WriteFile(Path("game.md"), RomImages::Md(plain)));
    QVERIFY(WriteFile(Path("crc.smd"), RomImages::Smd(plain)));
    QVERIFY(WriteFile(Path("random.bin"), RandomBytes(16384, 9)));
    QVERIFY(WriteFile(Path("set.dat"),
                      "<?xml version=\"1.0\"?>\n"
                      "<datafile>\n"
                      "  <header><name>Test set</name></header>\n"
                      "  <game name=\"Kestrix Test Cart (World)\">\n"
                      "    <description>Kestrix Test Cart (World)</description>\n"
                      "    <rom name=\"Kestrix Test Cart (World).bin\" size=\"65536\" "
                      "crc=\"0ccc057a\" sha1=\"4e6cdd7c5925f423cfdc2546d6a24c434d78c41b\"/>\n"
                      "  </game>\n"
                      "</datafile>\n"));
    QVERIFY(WriteFile(Path("other.dat"),
                      "<?xml version=\"1.0\"?>\n"
                      "<datafile>\n"
                      "  <game name=\"Only A CRC\"><rom name=\"../sub/Only A CRC.bin\" "
                      "size=\"65536\" crc=\"0CCC057A\"/></game>\n"
                      "</datafile>\n"));
    const QByteArray cartridgeRom =
        "size=\"65536\" crc=\"0ccc057a\" sha1=\"4e6cdd7c5925f423cfdc2546d6a24c434d78c41b\"";
    QVERIFY(WriteFile(Path("upper.dat"), "<datafile><game name=\"Upper Case\"><rom name=\"u.bin\" "
                                         "size=\"65536\" crc=\"0CCC057A\" "
                                         "sha1=\"4E6CDD7C5925F423CFDC2546D6A24C434D78C41B\"/>"
                                         "</game></datafile>\n"));
    // The SHA-1 of nothing at all.
    QVERIFY(WriteFile(Path("wrongsha.dat"),
                      "<datafile><game name=\"Wrong SHA\"><rom name=\"w.bin\" size=\"65536\" "
                      "crc=\"0ccc057a\" sha1=\"da39a3ee5e6b4b0d3255bfef95601890afd80709\"/>"
                      "</game></datafile>\n"));
    QVERIFY(WriteFile(
        Path("random.dat"),
        "<datafile><game name=\"Random Thing\"><rom name=\"r.bin\" sha1=\"" +
            QCryptographicHash::hash(RandomBytes(16384, 9), QCryptographicHash::Sha1).toHex() +
            "\"/></game></datafile>\n"));
    QVERIFY(WriteFile(
        Path("raw.dat"),
        "<datafile><game name=\"Listed Raw\"><rom name=\"raw.md\" size=\"65536\" "
        "sha1=\"" +
            QCryptographicHash::hash(RomImages::Md(plain), QCryptographicHash::Sha1).toHex() +
            "\"/></game></datafile>\n"));
    QVERIFY(WriteFile(
        Path("rawcrc.dat"),
        "<datafile><game name=\"Raw CRC\"><rom name=\"raw.smd\" size=\"66048\" "
        "crc=\"" +
            QByteArray::number(TestFiles::Crc32(RomImages::Smd(plain)), 16).rightJustified(8, '0') +
            "\"/></game></datafile>\n"));
    QVERIFY(WriteFile(Path("dotted.dat"), "<datafile><game name=\"Game\"><rom name=\"Game "
                                          "(v1.1).bin\" " +
                                              cartridgeRom + "/></game></datafile>\n"));
    QVERIFY(
        WriteFile(Path("del.dat"), "<datafile><game name=\"Del\"><rom name=\"Del&#127;Game.bin\" " +
                                       cartridgeRom + "/></game></datafile>\n"));
    QVERIFY(WriteFile(Path("broken.dat"), "<?xml version=\"1.0\"?>\n<datafile>\n<game name=\"x\">"
                                          "<rom name=\"a\"></game>\n</datafile>\n"));
    QVERIFY(WriteFile(Path("twice.dat"), "<datafile><game name=\"First\"><rom name=\"a.bin\" " +
                                             cartridgeRom +
                                             "/></game><game name=\"Second\"><rom name=\"b.bin\" " +
                                             cartridgeRom + "/></game></datafile>\n"));
    QVERIFY(WriteFile(Path("rooted.dat"), "<list><datafile><game name=\"G\"><rom name=\"g.bin\" " +
                                              cartridgeRom + "/></game></datafile></list>\n"));
    QVERIFY(WriteFile(Path("nameless.dat"), "<datafile><game name=\"\"><rom name=\"n.bin\" " +
                                                cartridgeRom + "/></game></datafile>\n"));
    QVERIFY(WriteFile(Path("bidi.dat"), "<datafile><game name=\"Evil&#x202E;elif\"><rom "
                                        "name=\"Evil&#x202E;gpj.bin\" " +
                                            cartridgeRom + "/></game></datafile>\n"));
    QVERIFY(WriteFile(Path("tworoms.dat"), "<datafile><game name=\"Both\"><rom name=\"a.bin\" " +
                                               cartridgeRom + "/><rom name=\"b.bin\" " +
                                               cartridgeRom + "/></game></datafile>\n"));
    // About 3.5 MB of other games; the two matched ones placed so that
    // offsets 1 MiB and 2 MiB fall in the middle of their SHA-1s.
    QByteArray big = "<?xml version=\"1.0\"?>\n<datafile>\n";
    int filler = 0;
    const auto across = [&](qsizetype boundary, const QByteArray& game) {
        const qsizetype middle = game.indexOf("sha1=\"") + 6 + 20;
        for (;;) {
            const QByteArray other =
                QStringLiteral("  <game name=\"Other %1\"><description>Other %1</description><rom "
                               "name=\"Other %1.bin\" size=\"1048576\" crc=\"%2\" sha1=\"%3\"/>"
                               "</game>\n")
                    .arg(filler)
                    .arg(filler, 8, 16, QLatin1Char('0'))
                    .arg(QString::number(filler, 16).rightJustified(40, '0'))
                    .toUtf8();
            if (big.size() + other.size() + middle > boundary)
                break;
            big += other;
            ++filler;
        }
        big += QByteArray(boundary - middle - big.size(), ' ') + game;
        QCOMPARE(big.mid(boundary - 20, 40), game.mid(middle - 20, 40));
    };
    across(1 << 20,
           "<game name=\"Across One\"><rom name=\"a1.bin\" " + cartridgeRom + "/></game>\n");
    across(2 << 20,
           "<game name=\"Across Two\"><rom name=\"a2.bin\" sha1=\"" +
               QCryptographicHash::hash(RandomBytes(16384, 9), QCryptographicHash::Sha1).toHex() +
               "\"/></game>\n");
    across(3 << 20,
           "<game name=\"Last\"><rom name=\"l.bin\" size=\"1\" crc=\"00000000\"/></game>\n");
    QVERIFY(WriteFile(Path("big.dat"), big + "</datafile>\n"));
    const Result result = Run(args);
    QVERIFY2(result.status == status, qPrintable(result.out + result.err));
    for (const QString& part : message.split('|'))
        QVERIFY2(part.startsWith('!') ? !(result.out + result.err).contains(part.mid(1))
                                      : (result.out + result.err).contains(part),
                 qPrintable(result.out + result.err));
    if (!made.isEmpty())
        QCOMPARE(RomInspector::PlainSha1(Path(made),
                                         made.endsWith(".smd") ? RomLayout::Smd : RomLayout::Plain)
                     .hex,
                 QString("4e6cdd7c5925f423cfdc2546d6a24c434d78c41b"));
    if (status != 0 && made.isEmpty())
        QCOMPARE(QDir(Path("out")).entryList(QDir::Files | QDir::Hidden), QStringList());
    // A zip named after the DAT holds an entry of that name, dated as the
    // source is.
    if (args.contains("--zip")) {
        const Result listed = RunShell("TZ=UTC unzip -l 'out/Kestrix Test Cart (World).zip'");
        QVERIFY2(listed.out.contains("Kestrix Test Cart (World).smd"), qPrintable(listed.out));
        QVERIFY2(
            listed.out.contains(
                QFileInfo(Path("game.md")).lastModified().toUTC().toString("yyyy-MM-dd hh:mm")),
            qPrintable(listed.out));
    }
}

void tst_KestrixConvert::edgeRuns_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    // Names that must exist afterwards, relative to the test folder; when
    // the run fails, the folder out/ must be empty.
    QTest::addColumn<QStringList>("made");
    const QString cafe = "\"$(printf 'caf\\351')\"";
    const QString ff = "\"$(printf '\\377\\376')\"";
    // The .md name means a plain image to many loaders: said once when MD
    // images are written, and of a plain image named so.
    QTest::newRow("MD images written: said once")
        << "\"$KX\" bin2md -o out plain.bin && \"$KX\" to-md -o out --overwrite plain.bin 2>&1 | "
           "grep -c 'loaders that take .md for a plain image will not read them' | grep -qx 1"
        << 0 << "note: the .md files written hold the MD layout (the odd bytes, then the even ones)"
        << QStringList{"out/plain.md"};
    QTest::newRow("MD images written, -q: not said")
        << "\"$KX\" bin2md -q -o out plain.bin 2>&1 | grep -q loaders; test $? = 1" << 0 << ""
        << QStringList{"out/plain.md"};
    // The one file an audit writes: a folder that is not there is one line.
    QTest::newRow("a fixdat that cannot be written")
        << "echo '<datafile><game name=\"G\"><rom name=\"g.bin\" size=\"1\" "
           "crc=\"00000000\"/></game></datafile>' > x.dat && \"$KX\" audit --dat x.dat "
           "--fixdat nowhere/f.dat a.bin"
        << 1
        << "kestrix-convert: the fixdat nowhere/f.dat cannot be written: the folder cannot be "
           "opened: No such file or directory"
        << QStringList();
    // Every file the run reads is one of its sources: the fixdat replaces
    // none of them, and any other file only when asked.
    const QString xdat = "echo '<datafile><game name=\"G\"><rom name=\"g.bin\" size=\"1\" "
                         "crc=\"00000000\"/></game></datafile>' > x.dat; ";
    QTest::newRow("a fixdat never replaces the DAT or an image it audits")
        << xdat + "cp x.dat keep.dat; cp a.bin keep.bin; \"$KX\" audit --dat x.dat --fixdat "
                  "x.dat a.bin; s1=$?; \"$KX\" audit --dat x.dat --fixdat ./a.bin a.bin; s2=$?; "
                  "cmp x.dat keep.dat && cmp a.bin keep.bin && [ $s1$s2 = 11 ] || exit 9"
        << 0
        << "kestrix-convert: the fixdat x.dat cannot be written: it is the DAT file x.dat, which "
           "this run reads\nkestrix-convert: the fixdat ./a.bin cannot be written: it is a.bin, "
           "which this run audits"
        << QStringList();
    QTest::newRow("a fixdat replaces another file only with --overwrite")
        << xdat + "echo mine > f.dat; \"$KX\" audit --dat x.dat --fixdat f.dat a.bin; s=$?; [ "
                  "\"$(cat f.dat)\" = mine ] && \"$KX\" audit -q --dat x.dat --overwrite --fixdat "
                  "f.dat a.bin; grep -q '<game name=\"G\">' f.dat || exit 9; exit $s"
        << 1
        << "kestrix-convert: the fixdat f.dat cannot be written: it already exists (use "
           "--overwrite to replace it)"
        << QStringList();
    QTest::newRow("audit of a folder without -r")
        << xdat + "\"$KX\" audit --dat x.dat out" << 1
        << "kestrix-convert: cannot inspect out: it is a folder (use -r to walk it)"
        << QStringList();
    // ClrMamePro's text form, with hashes from the standard tools: a.bin
    // had, a game missing (and in the fixdat), one never dumped, and a ROM
    // with no hash told once.
    const QString abin = "s=$(stat -c %s a.bin) c=$(python3 -c 'import zlib; "
                         "print(\"%08x\" % zlib.crc32(open(\"a.bin\", \"rb\").read()))') "
                         "h=$(sha1sum a.bin | cut -c1-40); ";
    QTest::newRow("a DAT in ClrMamePro's form")
        << abin +
               "printf 'clrmamepro (\\n\\tname \"Set\"\\n)\\n\\ngame (\\n\\tname \"Have\"\\n\\trom "
               "( "
               "name \"Have.bin\" size %s crc %s sha1 %s )\\n)\\ngame ( name Gone rom ( name "
               "Gone.bin size 4 crc 01020304 ) )\\ngame ( name Never rom ( name n.bin flags "
               "nodump ) )\\ngame ( name Bare rom ( name bare.bin size 4 ) )\\n' $s $c $h > c.dat; "
               "\"$KX\" audit --dat c.dat --fixdat f.dat a.bin; python3 -c 'import "
               "xml.etree.ElementTree as E; r = E.parse(\"f.dat\").getroot(); print(r.find"
               "(\"header/name\").text, [g.get(\"name\") for g in r.iter(\"game\")], "
               "r.find(\"game/rom\").attrib)'; exit 0"
        << 0
        << "have       Have: a.bin (unknown, plain content)\nmissing    Gone\nmissing    Bare\n"
           "Set (fixdat) ['Gone', 'Bare'] {'name': 'Gone.bin', 'size': '4', 'crc': '01020304'}\n"
           "kestrix-convert: warning: c.dat lists a ROM with no CRC32, MD5 or SHA-1, \"bare.bin\" "
           "of \"Bare\"; no file matches it\nkestrix-convert: audit: 4 games in the DAT files: 1 "
           "had, 0 incomplete, 2 missing, 0 bad dumps, 1 never dumped; 0 unknown files"
        << QStringList();
    // A DAT of some MiB is read a piece at a time: every game is had, across
    // the pieces' edges, and what XML allows around them is passed over.
    QTest::newRow("a DAT read in pieces")
        << abin +
               "python3 -c 'import sys; n = 30000; print(\"\\ufeff<?xml version=\\\"1.0\\\"?>\\n"
               "<!DOCTYPE datafile [<!ELEMENT datafile ANY>]>\\n<datafile><!-- <game> --><header>"
               "<name><![CDATA[<Set>]]></name></header>\"); [print(\"<game name=\\\"G&amp;%d\\\">"
               "<description>G %d</description><rom name=\\\"g%d.bin\\\" size=\\\"%s\\\" "
               "crc=\\\"%08x\\\" sha1=\\\"%s\\\"/></game>\" % (i, i, i, sys.argv[1], i, "
               "sys.argv[3] if i == n - 1 else \"%040x\" % i)) for i in range(n)]; "
               "print(\"</datafile>\")' $s $c $h > p.dat; \"$KX\" audit --dat p.dat a.bin | grep "
               "-v '^missing'; exit 0"
        << 0
        << "have       G&29999: a.bin (unknown, plain content)\nkestrix-convert: audit: 30000 "
           "games in the DAT files: 1 had, 0 incomplete, 29999 missing"
        << QStringList();
    // The cache of fingerprints: four copies of a.bin, an hour old, audited
    // twice. Between the runs one is left, one touched, one changed, one
    // replaced by another file of its size and time; the second run reads
    // all but the first, and says what --no-cache says.
    const QString cached =
        abin +
        "echo \"<datafile><game name=\\\"A\\\"><rom name=\\\"a.bin\\\" size=\\\"$s\\\" "
        "crc=\\\"$c\\\" sha1=\\\"$h\\\"/></game></datafile>\" > d.dat; rm -rf "
        "\"$XDG_CACHE_HOME\"; for f in keep touched "
        "changed replaced; do cp a.bin $f.bin; done; touch -d '-1 hour' *.bin; audit() { \"$KX\" "
        "audit --dat d.dat keep.bin touched.bin changed.bin replaced.bin \"$@\"; }; ";
    QTest::newRow("the cache: only what changed is read again")
        << cached +
               "audit > o1 2> e1; touch -d '-2 hours' touched.bin; python3 -c 'f = "
               "open(\"changed.bin\", \"r+b\"); f.seek(0x300); f.write(b\"!\")'; touch -d '-30 "
               "min' changed.bin; head -c $s /dev/zero > r; touch -r replaced.bin r; mv r "
               "replaced.bin; audit > o2 2> e2; audit --no-cache > o3 2> /dev/null; cmp o2 o3 && "
               "cat o2 && tail -1 e2; exit 0"
        << 0
        << "have       A: keep.bin (unknown, plain content)\nhave       A: touched.bin (unknown, "
           "plain content)\nunknown    changed.bin\nunknown    replaced.bin\nduplicate  A: "
           "keep.bin, "
           "touched.bin\nkestrix-convert: audit: 1 files known from the cache, 3 read"
        << QStringList();
    QTest::newRow("the cache: damaged, it is not used and is written anew")
        << cached +
               "audit > o1 2> /dev/null; truncate -s -9 \"$XDG_CACHE_HOME/kestrix/fingerprints\"; "
               "audit > o2 2> e2; audit > o3 2> e3; cmp o1 o2 && cmp o1 o3 && grep -c warning e2 "
               "&& cat e2 e3 | grep 'warning\\|cache,'; exit 0"
        << 0
        << "/cache/kestrix/fingerprints was not used: it is damaged; the files are read\n"
           "kestrix-convert: audit: 0 files known from the cache, 4 read\nkestrix-convert: audit: "
           "4 files known from the cache, 0 read"
        << QStringList();
    QTest::newRow("the cache: a folder that cannot be written changes nothing")
        << cached +
               "touch nofolder; XDG_CACHE_HOME=$PWD/nofolder audit > o1 2> e1; audit --no-cache > "
               "o2; cmp o1 o2 && grep -c warning e1; exit 0"
        << 0 << "2\n"
        << QStringList();
    QTest::newRow("the cache: two audits at once")
        << cached +
               "audit > o1 2> /dev/null & audit > o2 2> /dev/null; wait; audit > o3 2> e3; cmp o1 "
               "o2 && cmp o1 o3 && tail -1 e3; exit 0"
        << 0 << "audit: 4 files known from the cache, 0 read" << QStringList();
    // A DAT read before is taken from the cache by its content, its warnings
    // naming the file as given now; a damaged one is read anew, told once.
    QTest::newRow("the cache of DATs")
        << abin +
               "for g in One Two; do echo \"<game name=\\\"$g\\\"><rom name=\\\"$g.bin\\\" "
               "size=\\\"$s\\\" crc=\\\"$c\\\" sha1=\\\"$h\\\"/></game>\"; done | sed '1i "
               "<datafile>' | sed '$a </datafile>' > w.dat; cp w.dat v.dat; rm -rf "
               "\"$XDG_CACHE_HOME\"; info() { \"$KX\" info --dat \"$@\" a.bin; }; info w.dat > o1 "
               "2> /dev/null; info v.dat > o2 2> e2; f=$(ls \"$XDG_CACHE_HOME\"/kestrix/dats/*); "
               "truncate -s 100 \"$f\"; info w.dat > o3 2> e3; info w.dat --no-cache > o4; cmp o1 "
               "o2 && cmp o1 o3 && cmp o1 o4 && echo \"$f\" | wc -w && sed 's/[0-9a-f]\\{40\\}/H/' "
               "e2 && grep -c 'was not used' e3; exit 0"
        << 0
        << "1\nkestrix-convert: warning: v.dat lists the SHA-1 H for \"One\" and for \"Two\"; "
           "\"One\" is the one matched\n1\n"
        << QStringList();
    // Each status a DAT gives is read without a word; only nodump matters.
    QTest::newRow("status values")
        << abin +
               "for v in verified good baddump none nodump; do echo \"<game name=\\\"$v\\\"><rom "
               "name=\\\"$v.bin\\\" size=\\\"$s\\\" crc=\\\"$c\\\" sha1=\\\"$h\\\" "
               "status=\\\"$v\\\"/></game>\"; h=$(echo $v | sha1sum | cut -c1-40); done | sed "
               "'1i <datafile>' | sed '$a </datafile>' > s.dat; \"$KX\" audit --dat s.dat a.bin > "
               "o "
               "2> e; echo \"warnings: $(grep -c warning e)\"; grep 'games in' e; exit 0"
        << 0
        << "warnings: 0\nkestrix-convert: audit: 5 games in the DAT files: 1 had, 0 incomplete, 3 "
           "missing, 0 bad dumps, 1 never dumped"
        << QStringList();
    // As No-Intro and Redump hand them out: the DAT inside a zip is read, and
    // its fixdat made from it.
    QTest::newRow("a zipped DAT")
        << xdat + "python3 -c 'import zipfile; z = zipfile.ZipFile(\"x.zip\", \"w\", "
                  "zipfile.ZIP_DEFLATED); z.write(\"x.dat\"); z.writestr(\"readme.txt\", \"hi\")'; "
                  "\"$KX\" audit --dat x.zip --fixdat f.dat a.bin; grep -q '<game name=\"G\">' "
                  "f.dat || exit 9; exit 0"
        << 0 << "missing    G\n"
        << QStringList();
    QTest::newRow("a zip of two DATs")
        << xdat + "python3 -c 'import zipfile; z = zipfile.ZipFile(\"x.zip\", \"w\"); "
                  "z.write(\"x.dat\"); z.write(\"x.dat\", \"y.dat\")'; \"$KX\" audit --dat x.zip "
                  "a.bin; exit 0"
        << 0
        << "kestrix-convert: cannot read the DAT file x.zip: the archive holds 2 DAT files; give "
           "one of them unpacked"
        << QStringList();
    QTest::newRow("a plain image named .md")
        << "cp plain.bin plain.md && \"$KX\" info plain.md" << 0
        << "a plain image: the .md name is often used for plain images" << QStringList();
    QTest::newRow("-o names a file") << "\"$KX\" bin2md --force -o a.bin a.bin" << 1
                                     << "'a.bin' is not a folder" << QStringList();
    // An error of the run, not of its words: status 1, and no "Try --help".
    QTest::newRow("a missing output folder")
        << "\"$KX\" bin2md --force -o nowhere a.bin 2>&1 | grep -v Try; exit $(( $? == 0 ))" << 1
        << "kestrix-convert: output folder 'nowhere' does not exist" << QStringList();
    // Standard output carries the records of the files written alone.
    QTest::newRow("standard output carries data alone")
        << "o=$(\"$KX\" to-bin --verify -o out plain.bin plain.bin 2>/dev/null); [ \"$o\" = "
           "'plain.bin -> out/plain.bin' ] && \"$KX\" to-bin --verify --overwrite -o out plain.bin"
        << 0 << "kestrix-convert: verified out/plain.bin (sha1 " << QStringList{"out/plain.bin"};
    QTest::newRow("notes on standard error, with the prefix")
        << "\"$KX\" to-bin -o out plain.bin 2>&1 >/dev/null" << 0
        << "kestrix-convert: note: plain.bin is already a plain image; writing a byte copy"
        << QStringList{"out/plain.bin"};
    QTest::newRow("-z: NUL-terminated records")
        << "\"$KX\" to-smd -z -o out plain.bin | tr '\\0' '|'" << 0 << "plain.bin|out/plain.smd|"
        << QStringList{"out/plain.smd"};
    // Re-runs over existing outputs.
    QTest::newRow("--skip-existing: silent, and no failure")
        << "cp a.bin out/a.md && \"$KX\" bin2md --force --skip-existing -o out a.bin big.bin "
           "2>&1 | tee log && ! grep -q 'already exists' log"
        << 0 << "1 converted, 1 skipped, 0 refused, 0 failed" << QStringList{"out/big.md"};
    QTest::newRow("-q silences skips, which still fail the run")
        << "cp a.bin out/a.md && \"$KX\" bin2md --force -q -o out a.bin 2>log; s=$?; [ ! -s log ] "
           "|| exit 9; exit $s"
        << 1 << "" << QStringList{"out/a.md"};
    QTest::newRow("a dry run writes nothing, and tells")
        << "\"$KX\" bin2md --force -n -o out a.bin big.bin && [ -z \"$(ls out)\" ]" << 0
        << "a.bin -> out/a.md\nbig.bin -> out/big.md\n"
        << QStringList();
    QTest::newRow("a dry run tells of refusals too")
        << "\"$KX\" bin2smd -n -o out a.bin a.bin; s=$?; [ -z \"$(ls out)\" ] && exit $s" << 1
        << "dry run, nothing written: 1 to write, 0 skipped, 1 refused, 0 failed" << QStringList();
    // Standard input and output.
    QTest::newRow("a source on standard input, named")
        << "\"$KX\" bin2md --force -o out --name piped.bin - < a.bin" << 0 << "- -> out/piped.md"
        << QStringList{"out/piped.md"};
    QTest::newRow("a name for standard input cannot leave the output folder")
        << "\"$KX\" bin2md --force -o out --name ../../up.bin - < a.bin && test ! -e up.md" << 0
        << "- -> out/up.md" << QStringList{"out/up.md"};
    QTest::newRow("a dry run of a repair")
        << "cp plain.bin p.bin && printf '\\001' | dd of=p.bin bs=1 seek=1000 conv=notrunc "
           "status=none && \"$KX\" fix-checksum -n -o out p.bin && [ -z \"$(ls out)\" ]"
        << 0 << "p.bin -> out/p.bin (checksum 0x" << QStringList();
    QTest::newRow("the image on standard output")
        << "\"$KX\" bin2md --force -o - a.bin > out/a.md && \"$KX\" md2bin --force -o - out/a.md | "
           "cmp - a.bin"
        << 0 << "1 converted" << QStringList{"out/a.md"};
    // An image that cannot be written is not converted; nor is one in an
    // archive, read whole.
    // Told once, not again as the streams close.
    QTest::newRow("the image onto a full device")
        << "\"$KX\" bin2md --force -o - a.bin > /dev/full 2> err; s=$?; cat err >&2; [ $(grep -c "
           "'standard output' err) = 1 ] || exit 9; exit $s"
        << 1
        << "kestrix-convert: refused a.bin: standard output cannot be written: No space left on "
           "device\nkestrix-convert: 0 converted, 0 skipped, 0 refused, 1 failed\n"
        << QStringList();
    QTest::newRow("an archive's image onto a full device")
        << "\"$KX\" to-bin -o - \"$A/one.zip\" > /dev/full" << 1
        << "standard output cannot be written: No space left on device\nkestrix-convert: 0 "
           "converted, 0 skipped, 0 refused, 1 failed\n"
        << QStringList();
    QTest::newRow("never an image on a terminal")
        << "command -v script >/dev/null || exit 77; script -qec '\"$KX\" bin2md --force -o - "
           "a.bin' /dev/null"
        << 1 << "standard output is a terminal" << QStringList();
    QTest::newRow("info of standard input")
        << "\"$KX\" info --name game.bin - < plain.bin" << 0 << "game.bin\n  size       32768 bytes"
        << QStringList();
    // A name with a space, quoted in messages as GNU tools quote it.
    QTest::newRow("names quoted in messages")
        << "cp a.bin 'with space.bin' && cp a.bin out/'with space.md' && \"$KX\" bin2md --force "
           "-o out 'with space.bin'"
        << 1 << "skipped 'with space.bin': 'out/with space.md' already exists"
        << QStringList{"out/with space.md"};
    // The window's program answers on the terminal, without a display.
    QTest::newRow("kestrix --version")
        << "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb \"$(dirname \"$PR\")/kestrix\" "
           "--version"
        << 0 << "kestrix 2." << QStringList();
    QTest::newRow("kestrix --help")
        << "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb \"$(dirname \"$PR\")/kestrix\" "
           "--help"
        << 0 << "Usage: kestrix [--help | --version]" << QStringList();
    QTest::newRow("a long option cut short")
        << "cp a.bin out/a.md && \"$KX\" bin2md --force --overwr -o out a.bin" << 0
        << "a.bin -> out/a.md" << QStringList{"out/a.md"};
    QTest::newRow("name not UTF-8") << "\"$KX\" bin2md --force " + cafe + ".bin" << 0
                                    << "caf\\xE9.bin -> caf\\xE9.md" << QStringList{Cafe + ".md"};
    QTest::newRow("output folder not UTF-8")
        << "\"$KX\" bin2md --force -o " + ff + " " + cafe + ".bin" << 0 << "\\xFF\\xFE/caf\\xE9.md"
        << QStringList{u"\xDCFF\xDCFE/"_qs + Cafe + ".md"};
    // Malformed UTF-8 of each kind: an overlong '/', an encoded surrogate, a
    // sequence cut short. The output's name keeps the bytes as they are.
    for (const auto& [kind, bytes, shown] :
         {std::tuple("overlong", "\\300\\257", "\\xC0\\xAF"),
          std::tuple("surrogate", "\\355\\240\\200", "\\xED\\xA0\\x80"),
          std::tuple("truncated", "\\342\\202", "\\xE2\\x82")})
        QTest::addRow("name with malformed UTF-8, %s", kind)
            << QString(
                   "cp a.bin \"$(printf 'x%1.bin')\" && \"$KX\" bin2md --force -o out x*.bin && "
                   "test -f \"out/$(printf 'x%1.md')\"")
                   .arg(bytes)
            << 0 << QString("x%1.bin -> out/x%1.md").arg(shown) << QStringList();
    QTest::newRow("a character beyond 16 bits in a name")
        << "cp a.bin \"$(printf 'g\\360\\237\\216\\256.bin')\" && \"$KX\" bin2md --force -o out "
           "g*.bin "
           "&& test -f \"out/$(printf 'g\\360\\237\\216\\256.md')\""
        << 0 << u"g\U0001F3AE.bin -> out/g\U0001F3AE.md"_qs << QStringList();
    QTest::newRow("DEL and escape in a name, escaped in messages")
        << "cp a.bin \"$(printf 'd\\177e\\033.bin')\" && \"$KX\" bin2md --force -o out d*.bin" << 0
        << "d\\x7Fe\\x1B.bin -> out/d\\x7Fe\\x1B.md" << QStringList();
    QTest::newRow("a new file under umask 002") << "umask 002 && \"$KX\" bin2md --force -o out "
                                                   "a.bin >/dev/null && stat -c 'mode %a' out/a.md"
                                                << 0 << "mode 664\n"
                                                << QStringList{"out/a.md"};
    // A default ACL decides a new file's permissions, as for any new file.
    QTest::newRow("a new file in a folder with a default ACL")
        << "umask 022 && setfacl -d -m u::rwx,g::rwx,o::- out || exit 77; touch out/t && \"$KX\" "
           "bin2md --force -o out a.bin >/dev/null && stat -c 'mode %a' out/t out/a.md"
        << 0 << "mode 660\nmode 660\n"
        << QStringList{"out/a.md"};
    QTest::newRow("a new file under umask 077") << "umask 077 && \"$KX\" bin2md --force -o out "
                                                   "a.bin >/dev/null && stat -c 'mode %a' out/a.md"
                                                << 0 << "mode 600\n"
                                                << QStringList{"out/a.md"};
    QTest::newRow("missing, shown escaped")
        << "\"$KX\" bin2md \"$(printf 'nop\\351.bin')\"" << 1
        << "refused nop\\xE9.bin: the file does not exist" << QStringList();
    QTest::newRow("a newline in a name, escaped in text")
        << "cp a.bin \"$(printf 'n\\nl.bin')\" && \"$KX\" info n*l.bin" << 0
        << "n\\x0Al.bin\n  size" << QStringList();
    QTest::newRow("progressbar-render, name not UTF-8")
        << "\"$PR\" --out " + cafe + ".png" << 0 << "" << QStringList{Cafe + ".png"};
    QTest::newRow("progressbar-render to standard output")
        << "\"$PR\" --out - > out/bar.png" << 0 << "" << QStringList{"out/bar.png"};
    QTest::newRow("progressbar-render onto a link to a device")
        << "ln -s /dev/null out/null.png && \"$PR\" --out out/null.png" << 1
        << "the destination is a link to something that is not a regular file"
        << QStringList{"out/null.png"};
    // Standard output a regular file: each link still names a descriptor,
    // and nothing is written through it.
    QTest::newRow("progressbar-render onto a link to its standard output")
        << "r=0; for l in /proc/self/fd/1 /dev/stdout /dev/fd/1; do n=$(echo $l | tr / _); ln -s "
           "$l out/$n.png; \"$PR\" --out out/$n.png > out/$n.out; [ $? = 1 ] && test -L "
           "out/$n.png && test ! -s out/$n.out || r=9; done; ln -s /dev/fd/1 out/a.md; \"$KX\" "
           "bin2md --force --overwrite -o out a.bin > out/a.out; [ $? = 1 ] && test -L out/a.md "
           "&& test ! -s out/a.out || r=8; exit $r"
        << 0 << "the destination is a link to an open descriptor (such as /dev/stdout)"
        << QStringList{"out/_proc_self_fd_1.png", "out/_dev_stdout.png", "out/_dev_fd_1.png"};
    QTest::newRow("info to a full device") << "\"$KX\" info --json a.bin > /dev/full" << 1
                                           << "cannot write standard output" << QStringList();
    QTest::newRow("info to a full disk")
        << "mount -t tmpfs -o size=8k tmpfs out || exit 77; head -c 1M /dev/zero > out/fill; "
           "\"$KX\" info --json a.bin > out/info.json; s=$?; umount out; exit $s"
        << 1 << "cannot write standard output: No space left on device" << QStringList();
    // An image this large is converted by two threads, each writing its
    // pieces in place, or in order on one to standard output: the result is
    // what a one-line script makes of it.
    QTest::newRow("an image of 40 MiB, each way")
        << "head -c 40M /dev/urandom > g.bin && \"$KX\" bin2smd --force -o out g.bin && "
           "\"$KX\" bin2md --force -o out g.bin && mkdir back && \"$KX\" smd2bin --force -o back "
           "out/g.smd && "
           "python3 -c 'import sys; d = open(\"g.bin\", \"rb\").read(); b = [d[i:i + 16384] "
           "for i in range(0, len(d), 16384)]; open(\"s\", \"wb\").write(b\"\".join(x[1::2] + "
           "x[0::2] for x in b)); open(\"m\", \"wb\").write(d[1::2] + d[0::2])' && tail -c +513 "
           "out/g.smd | cmp - s && cmp out/g.md m && cmp back/g.bin g.bin && \"$KX\" bin2md "
           "--force "
           "-o - g.bin | cmp - m && \"$KX\" bin2smd --force -o - g.bin | tail -c +513 | cmp - s"
        << 0 << "g.bin -> out/g.md" << QStringList{"out/g.smd", "out/g.md"};
    QTest::newRow("a full disk under an image of 40 MiB")
        << "mount -t tmpfs -o size=16m tmpfs out || exit 77; head -c 40M /dev/urandom > g.bin; "
           "\"$KX\" bin2md --force -o out g.bin; s=$?; n=$(ls -A out | wc -l); umount out; "
           "[ $n = 0 ] || exit 9; exit $s"
        << 1 << "refused g.bin: the destination cannot be written: No space left on device"
        << QStringList();
    // The file is written; only the report of it is lost.
    QTest::newRow("standard output closed")
        << "\"$KX\" bin2md --force -o out a.bin >&-" << 1 << "cannot write standard output"
        << QStringList{"out/a.md"};
    // The file is written; only the messages about it are lost.
    QTest::newRow("standard error on a full device")
        << "\"$KX\" bin2md --force -o out a.bin 2>/dev/full" << 1 << "a.bin -> out/a.md"
        << QStringList{"out/a.md"};
    QTest::newRow("info under a file-size limit")
        << "ulimit -f 1 && \"$KX\" info --json a.bin big.bin plain.bin a.bin big.bin plain.bin "
           "> out/info.json"
        << 1 << "cannot write standard output: File too large" << QStringList{"out/info.json"};
    QTest::newRow("progressbar-render under a file-size limit")
        << "ulimit -f 1 && \"$PR\" --size 2000x300 --style 8 --out out/bar.png" << 1
        << "cannot write out/bar.png: the destination cannot be written: File too large"
        << QStringList();
    QTest::newRow("progressbar-render to a full device")
        << "\"$PR\" --out - > /dev/full" << 1 << "cannot write standard output" << QStringList();
    QTest::newRow("file-size limit, unnamed")
        << "ulimit -f 16 && \"$KX\" bin2smd --force -o out big.bin" << 1 << "File too large"
        << QStringList();
    QTest::newRow("file-size limit, named temporary")
        << "ulimit -f 16 && KESTRIX_NO_TMPFILE=1 \"$KX\" bin2smd --force -o out big.bin" << 1
        << "File too large" << QStringList();
    QTest::newRow("refused by size before it is read")
        << "truncate -s 8G out/huge.bin && \"$KX\" to-smd out/huge.bin; s=$?; rm out/huge.bin; "
           "exit $s"
        << 1 << "refused out/huge.bin: the image is larger than 1024 MiB" << QStringList();
    QTest::newRow("changed while it was read")
        << "LD_PRELOAD=\"$SHIM\" KESTRIX_SHIM_TOUCH=/a.bin \"$KX\" bin2md --force -o out a.bin" << 1
        << "refused a.bin: it changed while it was read" << QStringList();
    QTest::newRow("changed while it was read, guarded")
        << "LD_PRELOAD=\"$SHIM\" KESTRIX_SHIM_TOUCH=/plain.bin \"$KX\" to-smd -o out plain.bin" << 1
        << "refused plain.bin: it changed while it was read" << QStringList();
    QTest::newRow("an archive is not replaced by its own entry")
        << "cp \"$A/one.zip\" game.zip && cp game.zip out/game.orig && \"$KX\" to-bin --zip "
           "--overwrite game.zip; s=$?; cmp -s game.zip out/game.orig || exit 9; exit $s"
        << 1 << "refused game.zip:game.smd: game.zip is another source of this run"
        << QStringList{"out/game.orig"};
    // The first flush of the folder fails, the next one would not say so:
    // every file of the batch in that folder fails.
    QTest::newRow("a failed folder flush fails every file published into it")
        << "KESTRIX_WRITER_FAULTS=syncerror \"$KX\" bin2md --force -o out a.bin big.bin plain.bin"
        << 1
        << "refused plain.bin: out/plain.md was written, but the folder cannot be written to "
           "disk: Input/output error\nkestrix-convert: 0 converted, 0 skipped, 0 refused, 3 "
           "failed"
        << QStringList{"out/a.md", "out/big.md", "out/plain.md"};
    // A batch holds two descriptors a file: it is sized to the limit.
    QTest::newRow("40 files under a limit of 64 descriptors")
        << "for i in $(seq 10 49); do cp a.bin f$i.bin; done; ulimit -n 64 && \"$KX\" bin2md "
           "--force -o out f*.bin"
        << 0 << "40 converted, 0 skipped, 0 refused, 0 failed" << QStringList{"out/f49.md"};
    // Descriptors the run did not count on (30 inherited): the batch is
    // written early when they run out, and nothing fails.
    QTest::newRow("40 files, with descriptors held by another")
        << "for i in $(seq 10 49); do cp a.bin f$i.bin; done; ulimit -n 64 && bash -c 'for d in "
           "$(seq 20 49); do eval \"exec $d<a.bin\"; done; exec \"$KX\" bin2md --force -o out "
           "f*.bin'"
        << 0 << "40 converted, 0 skipped, 0 refused, 0 failed" << QStringList{"out/f49.md"};
    // Files converted four at a time are told as one at a time would tell
    // them: refusals, skips, a failure in the middle whose destination a
    // later file then takes, verifications, the summary and the status.
    QTest::newRow("-j 4 tells what -j 1 tells")
        << "mkdir in w1 w4 w1/out w4/out; for i in $(seq 10 39); do cp big.bin in/f$i.bin; done; "
           "cp a.bin in/f12.v2.bin; : > in/f15.bin; cp a.bin w1/out/f17.smd; cp a.bin "
           "w4/out/f17.smd; \"$KX\" bin2smd --force -o in plain.bin && mv in/plain.smd "
           "in/f20.bin; for j in 1 4; do (cd w$j && LD_PRELOAD=\"$SHIM\" "
           "KESTRIX_SHIM_TOUCH=/in/f12.bin \"$KX\" bin2smd --verify -j$j -o out ../in/* > "
           "../$j.out 2> ../$j.err; echo $? >> ../$j.out); done; cmp 1.out 4.out && cmp 1.err "
           "4.err && diff -r w1/out w4/out && grep -c verified 4.err && cat 4.out 4.err"
        << 0 << "../in/f12.v2.bin -> out/f12.smd\n"
        << QStringList();
    // Side by side, two files fill a drive that takes one: the same one is
    // written, and the same one refused and counted failed, as one at a
    // time. With -j 2 the first file's thread is held until the second file
    // is written, so that the first is the one that finds the drive full
    // and must be written again on its own.
    const struct {
        const char* name;
        const char* sizes[2];
        const char* held; // bytes the second file writes
        const char* options;
    } fullDrives[] = {
        {"two of 4 MiB", {"4M", "4M"}, "4194304", ""},
        {"5.5 MiB and 1 MiB, the large one first", {"5632K", "1M"}, "1048576", ""},
        {"5.5 MiB and 1 MiB, verified", {"5632K", "1M"}, "1048576", "--verify"},
    };
    for (const auto& d : fullDrives)
        QTest::addRow("a full drive: -j 2 tells what -j 1 tells (%s)", d.name)
            << QString("mount -t tmpfs -o size=6m tmpfs out || exit 77; head -c %1 /dev/urandom > "
                       "f1.bin; head -c %2 /dev/urandom > f2.bin; \"$KX\" bin2md --force %4 -j1 "
                       "-o out f1.bin f2.bin > 1.out 2> 1.err; echo $? >> 1.out; ls -A out >> "
                       "1.out; rm -f out/*; LD_PRELOAD=\"$SHIM\" KESTRIX_SHIM_HOLD_READ=/f1.bin "
                       "KESTRIX_SHIM_HOLD_BYTES=%3 \"$KX\" bin2md --force %4 -j2 -o out f1.bin "
                       "f2.bin > 2.out 2> 2.err; echo $? >> 2.out; ls -A out >> 2.out; umount out; "
                       "cmp 1.out 2.out && cmp 1.err 2.err || exit 9; [ -z '%4' ] || grep -qxF "
                       "\"kestrix-convert: verified out/f1.md (sha1 $(sha1sum < f1.bin | cut "
                       "-c1-40))\" "
                       "2.err || exit 8; cat 2.out; grep -v '^kestrix-convert: verified' 2.err")
                   .arg(d.sizes[0], d.sizes[1], d.held, d.options)
            << 0
            << "f1.bin -> out/f1.md\n1\nf1.md\nkestrix-convert: note: the .md files written hold "
               "the "
               "MD layout (the odd bytes, then the even ones); loaders that take .md for a plain "
               "image will not read them\nkestrix-convert: refused f2.bin: the destination "
               "cannot be written: No space left on device\nkestrix-convert: 1 converted, 0 "
               "skipped, 0 refused, 1 failed"
            << QStringList();
    // Each file's digest is its own: one image alone, then images large
    // enough to be shared between two threads, converted two at a time.
    QTest::newRow("--verify of a 2 MiB image, -j 1")
        << "head -c 2M /dev/urandom > g.bin && \"$KX\" bin2md --force --verify -j1 -o out g.bin "
           "2> err && grep -qxF \"kestrix-convert: verified out/g.md (sha1 $(sha1sum < g.bin | "
           "cut -c1-40))\" err && \"$KX\" md2bin --force -o - out/g.md | cmp - g.bin && cat err"
        << 0 << "kestrix-convert: 1 converted, 0 skipped, 0 refused, 0 failed"
        << QStringList{"out/g.md"};
    QTest::newRow("--verify of two 40 MiB images, -j 2")
        << "head -c 40M /dev/urandom > g.bin && head -c 40M /dev/urandom > h.bin && \"$KX\" "
           "bin2smd --force --verify -j2 -o out g.bin h.bin 2> err && for f in g h; do grep -qxF "
           "\"kestrix-convert: verified out/$f.smd (sha1 $(sha1sum < $f.bin | cut -c1-40))\" err "
           "&& \"$KX\" smd2bin --force -o - out/$f.smd | cmp - $f.bin || exit 9; done; rm g.bin "
           "h.bin out/*; cat err"
        << 0 << "kestrix-convert: 2 converted, 0 skipped, 0 refused, 0 failed" << QStringList();
    // Another program rewrites the file with one large write, which set the
    // time before the run opened the file and is still copying while it is
    // read: its last 3 MiB are new when it is opened, the first MiB becomes
    // new (the time put back as one write leaves it) while the run is held
    // at its first write. Never a mixed image told as converted.
    QTest::newRow("a source still being written when it is opened")
        << "head -c 4M /dev/urandom > a.img && head -c 4M /dev/urandom > b.img && cp a.img f.bin "
           "&& "
           "touch -d '1 hour ago' f.bin && python3 -c \"import os; f = os.open('f.bin', "
           "os.O_WRONLY); os.pwrite(f, open('b.img', 'rb').read()[1 << 20:], 1 << 20); "
           "os.close(f); open('t', 'w').write(str(os.stat('f.bin').st_mtime_ns))\" || exit 9; "
           "LD_PRELOAD=\"$SHIM\" KESTRIX_SHIM_STOP=/out/ \"$KX\" bin2md --force -o out f.bin & "
           "p=$!; "
           "until grep -q '^State:.*T' /proc/$p/status; do sleep 0.05; done; python3 -c \"import "
           "os; f = os.open('f.bin', os.O_WRONLY); os.pwrite(f, open('b.img', 'rb').read()[:1 << "
           "20], 0); os.close(f); t = int(open('t').read()); os.utime('f.bin', ns=(t, t))\"; kill "
           "-CONT $p; wait $p; s=$?; if [ $s = 0 ]; then \"$KX\" md2bin --force -o - out/f.md > "
           "got; cmp -s got a.img || cmp -s got b.img || exit 9; fi; exit $s"
        << 1 << "refused f.bin: it changed while it was read" << QStringList();
    // A byte copy is guarded as a rearrangement is.
    QTest::newRow("changed while it was read, a byte copy")
        << "LD_PRELOAD=\"$SHIM\" KESTRIX_SHIM_TOUCH=/plain.bin \"$KX\" to-bin -o out plain.bin" << 1
        << "refused plain.bin: it changed while it was read" << QStringList();
    // A dry run refuses by size what the run refuses, with the same words,
    // and claims no verification.
    QTest::newRow("a dry run refuses by size as the run does")
        << "head -c 16385 /dev/urandom > odd.bin; \"$KX\" bin2smd --force -n -o out odd.bin 2> "
           "n.err; \"$KX\" bin2smd --force -o out odd.bin 2> r.err; s=$?; [ \"$(head -1 n.err)\" = "
           "\"$(head -1 r.err)\" ] || exit 9; cat n.err; exit $s"
        << 1
        << "kestrix-convert: refused odd.bin: the size is not a multiple of 16384 bytes\n"
           "kestrix-convert: dry run, nothing written: 0 to write, 0 skipped, 1 refused, 0 failed"
        << QStringList();
    QTest::newRow("a dry run claims no verification")
        << "\"$KX\" bin2md --force -n --verify -o out a.bin > log 2>&1; s=$?; ! grep -q verif log "
           "|| exit 9; cat log; exit $s"
        << 0
        << "a.bin -> out/a.md\nkestrix-convert: dry run, nothing written: 1 to write, 0 skipped, 0 "
           "refused, 0 failed"
        << QStringList();
    // The run is held at its first write while another program makes the
    // name: it is kept, and the file is skipped (silently with
    // --skip-existing, which does not fail the run).
    for (const char* skip : {"", "--skip-existing"})
        QTest::addRow("a destination that appears while the batch is written%s%s",
                      *skip ? ", " : "", skip)
            << QString("LD_PRELOAD=\"$SHIM\" KESTRIX_SHIM_STOP=/out/ \"$KX\" bin2md --force %1 -o "
                       "out a.bin & p=$!; until grep -q '^State:.*T' /proc/$p/status; do sleep "
                       "0.05; done; echo somebody > out/a.md; kill -CONT $p; wait $p; s=$?; test "
                       "\"$(cat out/a.md)\" = somebody || exit 9; exit $s")
                   .arg(skip)
            << (*skip ? 0 : 1)
            << (*skip ? "kestrix-convert: 0 converted, 1 skipped, 0 refused, 0 failed"
                      : "kestrix-convert: skipped a.bin: out/a.md already exists (use --overwrite "
                        "to replace it)\nkestrix-convert: 0 converted, 1 skipped, 0 refused, 0 "
                        "failed")
            << QStringList{"out/a.md"};
    QTest::newRow("an empty file")
        << "mkdir t && : > t/e.bin && \"$KX\" bin2md --force -o out t/e.bin" << 1
        << "kestrix-convert: refused t/e.bin: the file is empty\n"
        << QStringList();
    QTest::newRow("an empty file found by -r")
        << "mkdir t && : > t/e.bin && \"$KX\" bin2md -r -o out t" << 1
        << "kestrix-convert: refused t/e.bin: the file is empty\n"
        << QStringList();
    // Inspected four at a time, told in the order given, as one at a time.
    QTest::newRow("info -j 4 tells what -j 1 tells")
        << "for i in 1 2 3 4 5 6; do cp plain.bin p$i.bin; done; cp \"$A/two.zip\" z.zip; for j in "
           "1 "
           "4; do \"$KX\" info -j$j p[1-6].bin z.zip a.bin > $j.out && \"$KX\" info --json -j$j "
           "p[1-6].bin z.zip a.bin > $j.json || exit 9; done; cmp 1.out 4.out && cmp 1.json 4.json "
           "&& grep -c "
           "'^  sha1 ' 4.out && grep '^[^ ]' 4.out | sed 's,.*/,,' | tr '\\n' ' '"
        << 0
        << "9\np1.bin p2.bin p3.bin p4.bin p5.bin p6.bin z.zip:game.smd z.zip:other.bin "
           "z.zip:readme.txt a.bin"
        << QStringList();
    QTest::newRow("info of standard input, unnamed")
        << "\"$KX\" info - < plain.bin" << 0 << "-\n  size       32768 bytes\n"
        << QStringList();
    // A file system turned read-only under the run has lost what it took.
    QTest::newRow("EROFS from a folder flush is a failure")
        << "KESTRIX_WRITER_FAULTS=syncreadonly \"$KX\" bin2md --force -o out a.bin" << 1
        << "refused a.bin: out/a.md was written, but the folder cannot be written to disk: "
           "Read-only file system"
        << QStringList{"out/a.md"};
    // A folder another user may not read, met while walking a tree: told,
    // and the rest of the tree converted.
    QTest::newRow("a folder nobody may read, in a tree")
        << "[ \"$(id -u)\" = 0 ] || exit 77; mkdir -p t/locked && cp a.bin t/a.bin && "
           "chmod 000 t/locked && chmod 755 . t && chmod 777 out && cp \"$KX\" kx && "
           "runuser -u nobody -- ./kx bin2md --force -r -o out t"
        << 1 << "cannot read the folder t/locked: Permission denied\n"
        << QStringList{"out/a.md"};
    QTest::newRow("a FIFO and a folder are no files")
        << "mkfifo f.bin && mkdir d.bin && \"$KX\" bin2md --force f.bin d.bin" << 1
        << "refused f.bin: it is not a regular file\nkestrix-convert: refused d.bin: it is a "
           "folder (use -r to walk it)\n"
        << QStringList();
    QTest::newRow("an SMD image of its header alone")
        << "head -c 512 a.bin > h.smd && \"$KX\" smd2bin --force -o out h.smd" << 1
        << "refused h.smd: the SMD image holds only its 512-byte header" << QStringList();
    QTest::newRow("a list of names that does not exist")
        << "\"$KX\" bin2md --files-from nolist -o out" << 1
        << "cannot read the list nolist: the file does not exist" << QStringList();
    // The run is held at its first write, the name appears, the run goes on;
    // unnamed, named and on a file system without hard links (FAT).
    for (const char* faults : {"", "tmpfile", "tmpfile,link,noreplace"})
        QTest::addRow("--overwrite replaces a name that appears while it writes (%s)", faults)
            << QString("LD_PRELOAD=\"$SHIM\" KESTRIX_SHIM_STOP=/out/ KESTRIX_WRITER_FAULTS=%1 "
                       "\"$KX\" bin2md --force --overwrite -o out a.bin & p=$!; until grep -q "
                       "'^State:.*T' /proc/$p/status; do sleep 0.05; done; echo somebody > "
                       "out/a.md; kill -CONT $p; wait $p; s=$?; test \"$(stat -c %s out/a.md)\" = "
                       "16384 || exit 9; exit $s")
                   .arg(faults)
            << 0 << "a.bin -> out/a.md" << QStringList{"out/a.md"};
    // Two runs name one file on a drive that can neither link nor rename
    // without replacing: the second waits while the first names its file,
    // then finds the name taken and keeps the first one's file.
    QTest::newRow("two runs on a drive without links take turns")
        << "export KESTRIX_WRITER_FAULTS=tmpfile,link,noreplace; mkdir t && cp big.bin t/a.bin && "
           "LD_PRELOAD=\"$SHIM\" KESTRIX_SHIM_STOP_RENAME=/out/a.md \"$KX\" bin2md --force -o "
           "out a.bin & p=$!; until grep -q '^State:.*T' /proc/$p/status; do sleep 0.05; done; "
           "\"$KX\" bin2md --force -o out t/a.bin 2> second.err & q=$!; sleep 1; r=0; kill -0 $q "
           "|| r=9; test -e out/a.md && r=8; kill -CONT $p; wait $p || r=7; wait $q; s=$?; "
           "[ \"$(stat -c %s out/a.md)\" = 16384 ] || r=6; [ $r = 0 ] || exit $r; cat second.err; "
           "exit $s"
        << 1
        << "kestrix-convert: skipped t/a.bin: out/a.md already exists (use --overwrite to replace "
           "it)"
        << QStringList{"out/a.md"};
    // 40 extended attributes whose names take 1,400 bytes in all.
    QTest::newRow("--overwrite keeps 40 extended attributes")
        << "cp a.bin out/a.md && for i in $(seq 10 49); do setfattr -n "
           "user.an-attribute-with-a-longer-name-$i -v value-$i out/a.md || exit 77; done; "
           "getfattr -d out/a.md > before && \"$KX\" bin2md --force --overwrite -o out a.bin && ! "
           "cmp -s a.bin out/a.md && getfattr -d out/a.md > after && cmp before after && grep -c "
           "'^user\\.' after"
        << 0 << "40\n"
        << QStringList{"out/a.md"};
    // On a drive that can neither link nor rename without replacing (FAT
    // through FUSE), the process dies as it names its file: the name is
    // never there empty, and the next run tells of the hidden copy left,
    // whose name is 13 bytes at most (fusefat mixes up the clusters of files
    // renamed from 14-byte names).
    QTest::newRow("no empty file under the name while it is given")
        << "export KESTRIX_WRITER_FAULTS=tmpfile,link,noreplace; LD_PRELOAD=\"$SHIM\" "
           "KESTRIX_SHIM_STOP_RENAME=/out/a.md \"$KX\" bin2md --force -o out a.bin & p=$!; until "
           "grep -q '^State:.*T' /proc/$p/status; do sleep 0.05; done; r=0; test -e out/a.md && "
           "r=9; kill -9 $p; wait $p; \"$KX\" bin2md --force -o out a.bin; s=$?; ls -a out | "
           "grep '^\\.kx-' | awk 'length($0) > 13 { exit 1 }' || r=8; rm -f out/.kx-*; "
           "[ $r = 0 ] || exit $r; exit $s"
        << 0 << "is a hidden copy left by an interrupted conversion" << QStringList{"out/a.md"};
    // Between two batches another program deletes the first file written and
    // makes a file of its own that gets the freed inode, under the second
    // file's name: that is not a file of this run, and --overwrite replaces it.
    QTest::newRow("a reused inode is not a file of this run")
        << "[ \"$(id -u)\" = 0 ] || exit 77; cp a.bin b.bin; truncate -s 8M d.img && mkfs.ext4 "
           "-q d.img && mount -o loop d.img out || exit 77; ( ulimit -n 18; LD_PRELOAD=\"$SHIM\" "
           "KESTRIX_SHIM_STOP_READ=/b.bin exec \"$KX\" bin2md --force --overwrite -o out a.bin "
           "b.bin ) & p=$!; until grep -q '^State:.*T' /proc/$p/status; do sleep 0.05; done; "
           "i=$(stat -c %i out/a.md); rm out/a.md; echo other > out/b.md; r=0; [ \"$(stat -c %i "
           "out/b.md)\" = \"$i\" ] || r=77; kill -CONT $p; wait $p; s=$?; [ \"$(stat -c %s "
           "out/b.md)\" = 16384 ] || r=9; umount out; [ $r = 0 ] || exit $r; exit $s"
        << 0 << "b.bin -> out/b.md" << QStringList();
    // An append-only folder takes new names but lets none go: a file in it
    // is refused before anything is written for it, and nothing is left
    // (with a temporary file unnamed, and named).
    for (const bool unnamed : {true, false})
        QTest::addRow("an append-only folder: nothing replaced, nothing left (%s)",
                      unnamed ? "unnamed" : "named")
            << QString("[ \"$(id -u)\" = 0 ] || exit 77; cp a.bin out/a.md; chattr +a out || exit "
                       "77; KESTRIX_WRITER_FAULTS=%1 \"$KX\" bin2md --force --overwrite -o out "
                       "big.bin a.bin; s=$?; chattr -a out; n=$(ls -a out | grep -c '^\\.kx-'); rm "
                       "-f out/.kx-*; [ $n = 0 ] && cmp -s a.bin out/a.md || exit 9; exit $s")
                   .arg(unnamed ? "" : "tmpfile")
            << 1
            << QString("refused a.bin: the destination cannot be replaced: its folder is "
                       "append-only or immutable\nkestrix-convert: %1 converted, 0 skipped, 0 "
                       "refused, %2 failed")
                   .arg(unnamed ? 1 : 0)
                   .arg(unnamed ? 1 : 2)
            << (unnamed ? QStringList{"out/a.md", "out/big.md"} : QStringList{"out/a.md"});
    // What is held while it is converted (an archive's entry, standard
    // input, a patched image) is never held where it could not be removed.
    QTest::newRow("an append-only folder without unnamed files: nothing held there")
        << "[ \"$(id -u)\" = 0 ] || exit 77; python3 -c 'import zipfile; "
           "zipfile.ZipFile(\"z.zip\", "
           "\"w\").write(\"big.bin\"); open(\"p.ips\", "
           "\"wb\").write(b\"PATCH\\0\\0\\x10\\0\\1xEOF\")'; "
           "chattr +a out || exit 77; export KESTRIX_WRITER_FAULTS=tmpfile; \"$KX\" bin2md --force "
           "-o out z.zip; \"$KX\" bin2md --force --name s.bin -o out - < big.bin; \"$KX\" patch -p "
           "p.ips -o out big.bin; chattr -a out; n=$(ls -A out | wc -l); rm -f out/.kx-*; [ $n = 0 "
           "] || exit 9; exit 1"
        << 1
        << "refused big.bin: the destination cannot be created: its folder is append-only or "
           "immutable"
        << QStringList();
    QTest::newRow("a folder that refuses new files is named")
        << "mount -t tmpfs -o ro tmpfs out || exit 77; \"$KX\" bin2md --force -o out a.bin; s=$?; "
           "umount out; exit $s"
        << 1
        << "refused a.bin: the destination cannot be created in the folder out: Read-only file "
           "system"
        << QStringList();
    QTest::newRow("a patch run on a full drive: -j 4 tells what -j 1 tells")
        << "mount -t tmpfs -o size=5m tmpfs out || exit 77; for i in 1 2 3 4 5 6; do head -c $(( "
           "(1 + i % 3) * 1048576 )) /dev/urandom > f$i.bin; done; python3 -c 'open(\"grow.ips\", "
           "\"wb\").write(b\"PATCH\\x20\\0\\0\\0\\x10\" + b\"x\" * 16 + b\"EOF\")'; for j in 1 4; "
           "do "
           "\"$KX\" patch -j$j -p grow.ips -o out f?.bin > $j.out 2> $j.err; echo $? >> $j.out; ls "
           "-A out >> $j.out; rm -f out/*; done; umount out; cmp 1.out 4.out && cmp 1.err 4.err || "
           "exit 9; cat 4.err"
        << 0 << "kestrix-convert: 1 patched, 0 skipped, 5 refused, 0 failed" << QStringList();
    // A file is read back once the run has named every file: one spoilt by
    // what came later (here, between two batches) fails the run.
    QTest::newRow("--verify reads back at the end of the run")
        << "cp a.bin b.bin; cp a.bin c.bin; ( ulimit -n 18; LD_PRELOAD=\"$SHIM\" "
           "KESTRIX_SHIM_STOP_READ=/c.bin exec \"$KX\" bin2md --force --verify -o out a.bin b.bin "
           "c.bin ) & p=$!; until grep -q "
           "'^State:.*T' /proc/$p/status; do sleep 0.05; done; printf x | dd of=out/a.md bs=1 "
           "seek=100 conv=notrunc status=none; kill -CONT $p; wait $p"
        << 1 << "verification failed for out/a.md: its plain content differs"
        << QStringList{"out/a.md", "out/b.md", "out/c.md"};
    // A write that began long before the run and is still going: the file
    // is held open for writing by another program.
    QTest::newRow("a source another program holds open for writing, its time long past")
        << "touch -d 2000-01-01 plain.bin; exec 3<>plain.bin; \"$KX\" to-smd -o out plain.bin 3<&-"
        << 1 << "refused plain.bin: it changed while it was read" << QStringList();
    QTest::newRow("info of a file that changes while it is read")
        << "LD_PRELOAD=\"$SHIM\" KESTRIX_SHIM_TOUCH=/plain.bin \"$KX\" info plain.bin" << 1
        << "cannot inspect plain.bin: it changed while it was read" << QStringList();
    QTest::newRow("--verify with a disk that returns wrong data")
        << "LD_PRELOAD=\"$SHIM\" KESTRIX_SHIM_CORRUPT=/out/plain.smd \"$KX\" to-smd --verify "
           "-o out plain.bin"
        << 1 << "verification failed for out/plain.smd: its plain content differs"
        << QStringList{"out/plain.smd"};
    // A working folder deeper than a path can name in one piece.
    QTest::newRow("default output folder when the working folder is deep")
        << "cp a.bin /tmp/kx-deep-a.bin; for i in $(seq 24); do mkdir -p "
           "d$(printf %0200d 0) && cd -P d$(printf %0200d 0) || exit 9; done; "
           "mv /tmp/kx-deep-a.bin a.bin && \"$KX\" bin2md --force a.bin && test -s a.md"
        << 0 << "a.bin -> a.md" << QStringList();
}

// Runs at the edges: names that are bytes, outputs that cannot be written,
// limits, and sources that change or disks that lie.
void tst_KestrixConvert::edgeRuns() {
    QFETCH(QString, script);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(QStringList, made);
    QVERIFY(QDir(dir_.path()).mkpath("out"));
    QVERIFY(WriteFile(Path("a.bin"), RandomBytes(16384, 1)));
    QVERIFY(WriteFile(Path("big.bin"), RandomBytes(4 * 16384, 2)));
    QVERIFY(WriteFile(Path("plain.bin"), RomImages::PlainImage(2 * 16384, 3)));
    QVERIFY(::mkdir(RawPath(u"\xDCFF\xDCFE"_qs).constData(), 0755) == 0);
    const int fd = ::open(RawPath(Cafe + ".bin").constData(), O_CREAT | O_WRONLY, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, RandomBytes(16384, 4).constData(), 16384), ssize_t(16384));
    ::close(fd);

    const Result result = RunShell(script);
    if (result.status == 77)
        QSKIP("no right to mount a small file system here");
    QVERIFY2(result.status == status, qPrintable(result.out + result.err));
    // No message expected: none of the programs' own.
    if (message.isEmpty())
        QVERIFY2(!result.err.contains("render:") && !result.err.contains("convert:"),
                 qPrintable(result.err));
    QVERIFY2((result.out + result.err).contains(message), qPrintable(result.out + result.err));
    for (const QString& name : made) {
        struct stat st {};
        QVERIFY2(::lstat(RawPath(name).constData(), &st) == 0, qPrintable(name));
        if (name.endsWith(".png") && S_ISREG(st.st_mode) && status == 0) {
            char magic[4] = {};
            const int png = ::open(RawPath(name).constData(), O_RDONLY);
            QVERIFY(png >= 0 && ::read(png, magic, 4) == 4);
            ::close(png);
            QVERIFY2(QByteArray(magic, 4) == "\x89PNG", qPrintable(name));
        }
    }
    if (status != 0) {
        QStringList left =
            QDir(Path("out"))
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        for (const QString& name : made)
            left.removeAll(QFileInfo(name).fileName());
        QCOMPARE(left, QStringList());
    }
}

void tst_KestrixConvert::oneDestinationPerRun_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("sameFile");
    // The destinations are there before the run, with other content.
    QTest::addColumn<bool>("present");
    QTest::newRow("ext4, names differing in case are two files") << "ext4" << false << false;
    QTest::newRow("ext4, both replaced") << "ext4" << false << true;
    QTest::newRow("exFAT through FUSE ignores case") << "exfat-fuse" << true << false;
    QTest::newRow("FAT through FUSE ignores case") << "vfat-fuse" << true << false;
    // The attribute cache shows the old size under the other spelling.
    QTest::newRow("exFAT through FUSE, replacing") << "exfat-fuse" << true << true;
    QTest::newRow("FAT through FUSE, replacing") << "vfat-fuse" << true << true;
}

// One run never writes one destination twice, even where two names lead to
// one file.
void tst_KestrixConvert::oneDestinationPerRun() {
    QFETCH(QString, type);
    QFETCH(bool, sameFile);
    QFETCH(bool, present);
    TestFiles::LoopDisk disk(Path("disk"), type, 16);
    if (!disk.ok())
        QSKIP(qPrintable(disk.why()));
    const QByteArray first = RomImages::PlainImage(2 * 16384, 5);
    const QByteArray second = RomImages::PlainImage(2 * 16384, 6);
    QVERIFY(WriteFile(Path("Game.bin"), first));
    QVERIFY(WriteFile(Path("game.bin"), second));
    if (present) {
        QVERIFY(WriteFile(disk.path() + "/Game.bin", "old"));
        QVERIFY(WriteFile(disk.path() + "/game.bin", "old too"));
    }
    const Result result = Run({"to-bin", "--overwrite", "-o", disk.path(), "Game.bin", "game.bin"});
    QCOMPARE(result.status, sameFile ? 1 : 0);
    QCOMPARE(ReadFile(disk.path() + "/Game.bin"), first);
    if (sameFile)
        QVERIFY2(result.err.contains("refused game.bin: " + disk.path() +
                                     "/game.bin is the same file as the destination of "
                                     "Game.bin, written earlier in this run"),
                 qPrintable(result.err));
    else
        QCOMPARE(ReadFile(disk.path() + "/game.bin"), second);
    // Nothing else is left: no temporary file, no trace of looking at case.
    QCOMPARE(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden).size(), sameFile ? 1 : 2);
}

void tst_KestrixConvert::powerCut_data() {
    TestFiles::PowerCutRows();
}

// What kestrix-convert reports as converted survives a power cut right
// after it exits: the copy of the disk as the device holds it, mounted as
// after a restart, has every file whole and no temporary file.
void tst_KestrixConvert::powerCut() {
    QFETCH(QString, type);
    QFETCH(int, megabytes);
    QFETCH(bool, replace);
    QFETCH(bool, namedTemporary);
    TestFiles::LoopDisk disk(Path("disk"), type, megabytes);
    if (!disk.ok())
        QSKIP(qPrintable(disk.why()));
    QStringList names;
    QList<QByteArray> images;
    for (int i = 0; i < 3; ++i) {
        names.append(QString("game%1.bin").arg(i));
        images.append(RomImages::PlainImage((i + 1) * 256 * 1024, quint32(10 + i)));
        QVERIFY(WriteFile(Path(names.last()), images.last()));
        if (replace)
            QVERIFY(WriteFile(disk.path() + "/" + names.last(), "the old image"));
    }
    if (replace)
        QCOMPARE(QProcess::execute("sync", {"-f", disk.path()}), 0);
    QProcess process;
    process.setWorkingDirectory(dir_.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KESTRIX_NO_TMPFILE", namedTemporary ? "1" : "0");
    process.setProcessEnvironment(env);
    process.start(program_, QStringList{"to-bin", "--overwrite", "-o", disk.path()} + names);
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);

    const QString copy = disk.CopyAfterPowerCut();
    QVERIFY2(!copy.isEmpty(), "the copy of the disk cannot be mounted");
    QCOMPARE(QDir(copy).entryList(QDir::Files | QDir::Hidden), names);
    for (int i = 0; i < names.size(); ++i)
        QVERIFY2(ReadFile(copy + "/" + names[i]) == images[i], qPrintable(names[i]));
}

void tst_KestrixConvert::anotherOwner_data() {
    QTest::addColumn<bool>("asNobody");
    QTest::addColumn<uint>("owner");
    QTest::addColumn<uint>("group");
    QTest::addColumn<uint>("mode");
    QTest::addColumn<uint>("expectedOwner");
    QTest::addColumn<uint>("expectedGroup");
    QTest::addColumn<uint>("expectedMode");
    // The file stays its owner's, so its set-user-ID bit grants nothing new.
    QTest::newRow("root replaces a file of another user")
        << false << 65534u << 65534u << 04755u << 65534u << 65534u << 04755u;
    // The owner cannot be kept: the set-user-ID and set-group-ID bits go.
    QTest::newRow("a user replaces a file of root's in a shared folder")
        << true << 0u << 0u << 04755u << 65534u << 65534u << 0755u;
    QTest::newRow("set-group-ID too") << true << 0u << 0u << 06755u << 65534u << 65534u << 0755u;
    // nobody is also in the group users (100) here: the group can be kept,
    // the owner cannot.
    QTest::newRow("only the group can be kept")
        << true << 0u << 100u << 02775u << 65534u << 100u << 0775u;
}

// Replacing a file in a folder that others write to never hands one user's
// content to another user's privileges.
void tst_KestrixConvert::anotherOwner() {
    QFETCH(bool, asNobody);
    QFETCH(uint, owner);
    QFETCH(uint, group);
    QFETCH(uint, mode);
    QFETCH(uint, expectedOwner);
    QFETCH(uint, expectedGroup);
    QFETCH(uint, expectedMode);
    if (!TestFiles::RunningAsRoot())
        QSKIP("files of other users need root to set up");
    if (QStandardPaths::findExecutable("runuser").isEmpty())
        QSKIP("runuser is not installed");
    QVERIFY(QDir(dir_.path()).mkpath("shared"));
    QVERIFY(QDir(dir_.path()).mkpath("bin"));
    const QByteArray shared = QFile::encodeName(Path("shared"));
    QCOMPARE(::chmod(QFile::encodeName(dir_.path()).constData(), 0755), 0);
    QCOMPARE(::chmod(QFile::encodeName(Path("bin")).constData(), 0755), 0);
    QCOMPARE(::chmod(shared.constData(), 0777), 0);
    // The build folder may lie where nobody cannot enter: a copy of the
    // program every user can run.
    const QString program = Path("bin/kestrix-convert");
    QVERIFY(QFile::copy(shipped_, program));
    QCOMPARE(::chmod(QFile::encodeName(program).constData(), 0755), 0);
    const QByteArray plain = RandomBytes(2 * 16384, 7);
    QVERIFY(WriteFile(Path("shared/payload.bin"), "the owner's program"));
    QCOMPARE(::chown((shared + "/payload.bin").constData(), owner, group), 0);
    QCOMPARE(::chmod((shared + "/payload.bin").constData(), mode), 0);
    QVERIFY(WriteFile(Path("shared/payload.md"), plain));
    QCOMPARE(::chmod((shared + "/payload.md").constData(), 0644), 0);

    const QStringList args{"md2bin", "--force", "--overwrite", "payload.md"};
    const Result result =
        asNobody
            ? TestFiles::RunProgram(
                  "runuser",
                  QStringList{"-u", "nobody", "-g", "nogroup", "-G", "users", "--", program} + args,
                  Path("shared"))
            : TestFiles::RunProgram(program, args, Path("shared"));
    QVERIFY2(result.status == 0, qPrintable(result.err));
    struct stat st {};
    QCOMPARE(::stat((shared + "/payload.bin").constData(), &st), 0);
    QCOMPARE(uint(st.st_uid), expectedOwner);
    QCOMPARE(uint(st.st_gid), expectedGroup);
    QCOMPARE(uint(st.st_mode & 07777), expectedMode);
    QCOMPARE(ReadFile(Path("shared/payload.bin")).size(), plain.size());
}

void tst_KestrixConvert::interrupted_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("namedTemporary");
    // The shipped program, told to name its temporary file: it does not
    // listen, and writes an unnamed one.
    QTest::addColumn<bool>("shipped");
    // The signal comes the moment the temporary name is made, and another
    // thread than the one making it takes it.
    QTest::addColumn<bool>("atTheName");
    for (bool named : {false, true})
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGKILL})
            QTest::addRow("%s%s", strsignal(signal), named ? ", named temporary" : "")
                << signal << named << false << false;
    QTest::newRow("the shipped program ignores the test's fault variables")
        << int(SIGKILL) << false << true << false;
    QTest::newRow("SIGINT as the temporary name is made, on another thread")
        << int(SIGINT) << true << false << true;
}

// A run stopped while it writes leaves nothing behind. The process stops
// itself just before its first write into the output folder, so the signal
// always comes while the file is being written.
void tst_KestrixConvert::interrupted() {
    QFETCH(int, signal);
    QFETCH(bool, namedTemporary);
    QFETCH(bool, shipped);
    QFETCH(bool, atTheName);
#ifdef __SANITIZE_THREAD__
    // ThreadSanitizer hands a signal to the program only at the calls it
    // watches; a thread waiting in the uninstrumented C++ library may get it
    // only once the run has ended, and the run ends as if never interrupted.
    if (signal != SIGKILL)
        QSKIP("a caught signal may be held back by ThreadSanitizer until the run ends");
#endif
    QVERIFY(QDir(dir_.path()).mkpath("out"));
    QVERIFY(WriteFile(Path("a.bin"), RandomBytes(4 * 16384, 8)));
    QProcess process;
    process.setWorkingDirectory(dir_.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KESTRIX_NO_TMPFILE", namedTemporary || shipped ? "1" : "0");
    env.insert("KESTRIX_WRITER_FAULTS", shipped ? "tmpfile" : "");
    env.insert("LD_PRELOAD", qEnvironmentVariable("KESTRIX_SHIM"));
    env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
    if (atTheName) {
        env.insert("KESTRIX_SHIM_SIGNAL_MADE", QString::number(signal));
        process.setProcessEnvironment(env);
        for (const char* name : {"b.bin", "c.bin", "d.bin"})
            QVERIFY(QFile::copy(Path("a.bin"), Path(name)));
        process.start(program_, {"bin2smd", "-j", "2", "--force", "-o", "out", "a.bin", "b.bin",
                                 "c.bin", "d.bin"});
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), 128 + signal);
        QCOMPARE(QDir(Path("out")).entryList(QDir::Files | QDir::Hidden), QStringList());
        return;
    }
    env.insert("KESTRIX_SHIM_STOP", "/out/");
    process.setProcessEnvironment(env);
    process.start(shipped ? shipped_ : program_, {"bin2smd", "--force", "-o", "out", "a.bin"});
    QVERIFY(process.waitForStarted());
    const QString stat = QString("/proc/%1/stat").arg(process.processId());
    // The state is the field after the name in parentheses: 'T' once stopped.
    QTRY_VERIFY_WITH_TIMEOUT(ReadFile(stat).split(')').value(1).trimmed().startsWith('T'), 20000);
    QCOMPARE(QDir(Path("out")).entryList(QDir::Files | QDir::Hidden).size(),
             namedTemporary ? 1 : 0);
    ::kill(pid_t(process.processId()), signal);
    ::kill(pid_t(process.processId()), SIGCONT);
    QVERIFY(process.waitForFinished(20000));
    if (signal != SIGKILL) {
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 128 + signal);
    }
    // SIGKILL cannot be handled: a named temporary file is all it may leave.
    const QStringList left = QDir(Path("out")).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(left.size(), signal == SIGKILL && namedTemporary ? 1 : 0);
}

QTEST_APPLESS_MAIN(tst_KestrixConvert)
#include "tst_kestrixconvert.moc"
