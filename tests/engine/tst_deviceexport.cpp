// Exports for devices: the tree each built-in profile writes from a small
// collection in every layout, letter folders, names two sources share, the
// dry run, the manifest and its undo, a user's profiles, and a full drive.

#include "DatFile.h"
#include "DeviceExport.h"
#include "RomImages.h"
#include "SafeFile.h"
#include "TestFiles.h"
#include "WriterFaults.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

using TestFiles::WriteFile;

namespace {

constexpr qsizetype MiB = 1 << 20;

// A plain image of a machine and regions, with its header checksum right.
QByteArray Image(int seed, const char* system, const char* region) {
    QByteArray image = RomImages::PlainImage(MiB, quint32(seed));
    RomImages::PutText(image, 0x100, system, 16);
    RomImages::PutText(image, 0x1F0, region, 3);
    qToBigEndian<quint16>(RomImages::HeaderChecksum(image), image.data() + 0x18E);
    return image;
}

QString Sha1(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

// What the test wrote, by seed: each image's plain content.
struct Collection {
    std::map<int, QByteArray> plain;
    QStringList files;
    QString dat;
};

// A zip's entries as Python's zipfile reads them: "name deflate SHA-1".
QStringList ZipEntries(const QString& path) {
    const TestFiles::ProcessResult listed = TestFiles::RunProgram(
        QStringLiteral("python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import sys, zipfile, hashlib\n"
                        "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
                        "    print(i.filename, 'deflate' if i.compress_type == 8 else "
                        "i.compress_type, hashlib.sha1(zipfile.ZipFile(sys.argv[1])"
                        ".read(i)).hexdigest())\n"),
         path});
    return listed.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Every file under a folder but the manifests: "path = seed N" (a zip:
// "path = [entry] seed N"), where N is the image whose plain content it is.
QStringList Tree(const QString& root, const Collection& c) {
    const auto seedOf = [&](const QString& sha) {
        for (const auto& [seed, bytes] : c.plain)
            if (Sha1(bytes) == sha)
                return QStringLiteral("seed %1").arg(seed);
        return QStringLiteral("unknown content");
    };
    QStringList tree;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(root).relativeFilePath(path);
        if (relative.startsWith(QLatin1String("kestrix-export-")))
            continue;
        if (!path.endsWith(QLatin1String(".zip"))) {
            tree << relative + QStringLiteral(" = ") + seedOf(Sha1(TestFiles::ReadFile(path)));
            continue;
        }
        for (const QString& entry : ZipEntries(path)) {
            const QStringList parts = entry.split(QLatin1Char(' '));
            tree << relative + QStringLiteral(" = [") +
                        QStringList(parts.mid(0, parts.size() - 2)).join(QLatin1Char(' ')) +
                        QStringLiteral("] ") + parts[parts.size() - 2] + QLatin1Char(' ') +
                        seedOf(parts.last());
        }
    }
    tree.sort();
    return tree;
}

class Reports : public JobObserver {
public:
    void Done(const FileReport& report) override {
        QString line = report.given + QStringLiteral(" -> ") + report.destination;
        for (const JobNotice& n : report.notices)
            line +=
                QStringLiteral(" [") +
                (n.kind == JobNotice::Kind::LeftOut ? QStringLiteral("left out") : n.error.Text()) +
                QLatin1Char(']');
        lines << line;
    }
    QStringList lines;
};

} // namespace

class tst_DeviceExport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void profiles_data();
    void profiles();
    void letterFolders_data();
    void letterFolders();
    void dryRunManifestUndo();
    void sameName_data();
    void sameName();
    void malformedProfiles_data();
    void malformedProfiles();
    void safeNames_data();
    void safeNames();
    void fullDrive();
    void hostileManifests_data();
    void hostileManifests();

private:
    DeviceExport::Outcome Export(const QString& profileName, const QString& out,
                                 bool dryRun = false, Reports* reports = nullptr,
                                 const DeviceProfile::Profile* own = nullptr);

    QTemporaryDir dir_;
    Collection c_;
    DatFile::Index dats_;
};

void tst_DeviceExport::initTestCase() {
    QVERIFY(dir_.isValid());
    const QDir in(dir_.filePath(QStringLiteral("in")));
    QVERIFY(QDir().mkpath(in.path()));
    // A US plain image, a European SMD one, a Japanese MD one, a world
    // image byte-swapped, a 32X game in a zip and a Pico game.
    c_.plain[1] = Image(1, "SEGA GENESIS", "U");
    c_.plain[2] = Image(2, "SEGA MEGA DRIVE", "E");
    c_.plain[3] = Image(3, "SEGA MEGA DRIVE", "J");
    c_.plain[4] = Image(4, "SEGA MEGA DRIVE", "JUE");
    c_.plain[5] = Image(5, "SEGA 32X", "JUE");
    c_.plain[6] = Image(6, "SEGA PICO", "J");
    const auto put = [&](const QString& name, const QByteArray& bytes) {
        c_.files << TestFiles::Put(in, name, bytes);
    };
    put(QStringLiteral("us.bin"), c_.plain[1]);
    put(QStringLiteral("eu.smd"), RomImages::Smd(c_.plain[2]));
    put(QStringLiteral("jp.md"), RomImages::Md(c_.plain[3]));
    put(QStringLiteral("world.bin"), RomImages::Byteswapped(c_.plain[4]));
    const QString data = in.filePath(QStringLiteral("knux.data"));
    QVERIFY(WriteFile(data, c_.plain[5]));
    const QString zip = in.filePath(QStringLiteral("knux.zip"));
    QCOMPARE(TestFiles::RunProgram(QStringLiteral("python3"),
                                   {QStringLiteral("-c"),
                                    QStringLiteral("import sys, zipfile\n"
                                                   "with zipfile.ZipFile(sys.argv[1], 'w', "
                                                   "zipfile.ZIP_DEFLATED) as z:\n"
                                                   "    z.write(sys.argv[2], 'knux.32x')\n"),
                                    zip, data})
                 .status,
             0);
    QVERIFY(QFile::remove(data));
    c_.files << zip;
    put(QStringLiteral("pico.bin"), c_.plain[6]);
    // No-Intro names for two of them, one with ':' and '&' and a digit first.
    c_.dat = TestFiles::Put(
        QDir(dir_.path()), QStringLiteral("set.dat"),
        QStringLiteral("<?xml version=\"1.0\"?>\n<datafile><header><name>Sega - Mega Drive - "
                       "Genesis</name></header>\n"
                       "<game name=\"Alpha Quest (USA)\"><rom name=\"Alpha Quest (USA).md\" "
                       "size=\"1048576\" sha1=\"%1\"/></game>\n"
                       "<game name=\"3 Ninjas &amp; Friends: Kick Back (World)\"><rom name=\"3 "
                       "Ninjas &amp; Friends: Kick Back (World).md\" size=\"1048576\" "
                       "sha1=\"%2\"/></game>\n</datafile>\n")
            .arg(Sha1(c_.plain[1]), Sha1(c_.plain[4]))
            .toUtf8());
    QVERIFY(!dats_.Load(c_.dat).Failed());
}

DeviceExport::Outcome tst_DeviceExport::Export(const QString& profileName, const QString& out,
                                               bool dryRun, Reports* reports,
                                               const DeviceProfile::Profile* own) {
    DeviceExport::Request r;
    r.profile = own ? own : DeviceProfile::Find(DeviceProfile::BuiltIn(), profileName);
    r.folder = out;
    r.dryRun = dryRun;
    r.dats = &dats_;
    r.threads = 2;
    std::vector<JobSource> sources;
    for (const QString& file : c_.files)
        sources.push_back({file, QString()});
    Reports mine;
    return DeviceExport::Export(r, sources, reports ? *reports : mine);
}

void tst_DeviceExport::profiles_data() {
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<int>("leftOut");
    const QString alpha = QStringLiteral("Alpha Quest (USA)");
    const QString ninjas = QStringLiteral("3 Ninjas & Friends_ Kick Back (World)");
    // The region decides the extension: .gen Americas, .md Europe, .bin
    // Japan; the world image is written for the Americas.
    QTest::newRow("mister") << "mister"
                            << QStringList{"games/MegaDrive/" + ninjas + ".gen = seed 4",
                                           "games/MegaDrive/" + alpha + ".gen = seed 1",
                                           "games/MegaDrive/eu.md = seed 2",
                                           "games/MegaDrive/jp.bin = seed 3",
                                           "games/S32X/knux.32x = seed 5"}
                            << 1;
    QTest::newRow("pocket") << "pocket"
                            << QStringList{"Assets/genesis/common/" + ninjas + ".md = seed 4",
                                           "Assets/genesis/common/" + alpha + ".md = seed 1",
                                           "Assets/genesis/common/eu.md = seed 2",
                                           "Assets/genesis/common/jp.md = seed 3"}
                            << 2;
    QTest::newRow("everdrive") << "everdrive"
                               << QStringList{"MD/" + ninjas + ".bin = seed 4",
                                              "MD/" + alpha + ".bin = seed 1", "MD/eu.bin = seed 2",
                                              "MD/jp.bin = seed 3", "MD/knux.32x = seed 5"}
                               << 1;
    QTest::newRow("megasg") << "megasg"
                            << QStringList{"Genesis/" + ninjas + ".md = seed 4",
                                           "Genesis/" + alpha + ".md = seed 1",
                                           "Genesis/eu.md = seed 2", "Genesis/jp.md = seed 3"}
                            << 2;
    // Zipped, deflated, with & as _ as RetroArch's thumbnails name them.
    const QString md = QStringLiteral("Sega - Mega Drive - Genesis/");
    const QString ninjasRa = QStringLiteral("3 Ninjas _ Friends_ Kick Back (World)");
    QTest::newRow("retroarch") << "retroarch"
                               << QStringList{md + ninjasRa + ".zip = [" + ninjasRa +
                                                  ".md] deflate seed 4",
                                              md + alpha + ".zip = [" + alpha +
                                                  ".md] deflate seed 1",
                                              md + "eu.zip = [eu.md] deflate seed 2",
                                              md + "jp.zip = [jp.md] deflate seed 3",
                                              "Sega - 32X/knux.zip = [knux.32x] deflate seed 5",
                                              "Sega - PICO/pico.zip = [pico.md] deflate seed 6"}
                               << 0;
    QTest::newRow("twilight") << "twilight"
                              << QStringList{"roms/gen/" + ninjas + ".gen = seed 4",
                                             "roms/gen/" + alpha + ".gen = seed 1",
                                             "roms/gen/eu.gen = seed 2", "roms/gen/jp.gen = seed 3"}
                              << 2;
    QTest::newRow("plain") << "plain"
                           << QStringList{ninjas + ".bin = seed 4", alpha + ".bin = seed 1",
                                          "eu.bin = seed 2",        "jp.bin = seed 3",
                                          "knux.32x = seed 5",      "pico.bin = seed 6"}
                           << 0;
}

void tst_DeviceExport::profiles() {
    QFETCH(QString, profile);
    QFETCH(QStringList, tree);
    QFETCH(int, leftOut);
    const QString out = dir_.filePath(QStringLiteral("out-") + profile);
    QVERIFY(QDir().mkpath(out));
    const DeviceExport::Outcome outcome = Export(profile, out);
    tree.sort();
    QCOMPARE(Tree(out, c_), tree);
    QCOMPARE(outcome.leftOut, leftOut);
    QCOMPARE(outcome.written, int(tree.size()));
    QVERIFY(!outcome.AnyFailed());
}

void tst_DeviceExport::letterFolders_data() {
    QTest::addColumn<QByteArray>("folders");
    QTest::addColumn<QString>("separator"); // after the export's folder
    QTest::addColumn<QStringList>("tree");
    // Five images for md, past the limit of four: in letter folders, "#"
    // for a name that starts with a digit; the one 32X image is not.
    QTest::newRow("a folder for each machine")
        << QByteArray("folder = md\nfolder.32x = x\n") << ""
        << QStringList{"md/#/3 Ninjas & Friends_ Kick Back (World).bin = seed 4",
                       "md/A/Alpha Quest (USA).bin = seed 1",
                       "md/E/eu.bin = seed 2",
                       "md/J/jp.bin = seed 3",
                       "md/P/pico.bin = seed 6",
                       "x/knux.32x = seed 5"};
    // The export's folder itself, named as a shell completes it.
    QTest::newRow("the export's folder itself")
        << QByteArray() << "/"
        << QStringList{"#/3 Ninjas & Friends_ Kick Back (World).bin = seed 4",
                       "A/Alpha Quest (USA).bin = seed 1",
                       "E/eu.bin = seed 2",
                       "J/jp.bin = seed 3",
                       "K/knux.32x = seed 5",
                       "P/pico.bin = seed 6"};
}

void tst_DeviceExport::letterFolders() {
    QFETCH(QByteArray, folders);
    QFETCH(QString, separator);
    QFETCH(QStringList, tree);
    std::vector<DeviceProfile::Profile> read;
    QVERIFY(!DeviceProfile::Parse("[small]\ndescribe = small folders\nmachines = megadrive 32x "
                                  "pico\nextension = .bin\nextension.32x = .32x\n"
                                  "files-per-folder = 4\n" +
                                      folders,
                                  QStringLiteral("small.profiles"), &read)
                 .Failed());
    const QString out = dir_.filePath(QStringLiteral("out-letters-") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(out));
    const DeviceExport::Outcome outcome =
        Export(QString(), QDir::toNativeSeparators(out + separator), false, nullptr, &read.front());
    QCOMPARE(Tree(out, c_), tree);
    // The letter folders are the export's to take back.
    DeviceExport::UndoOutcome undone;
    QVERIFY(!DeviceExport::Undo(outcome.manifest, &undone).Failed());
    QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

void tst_DeviceExport::dryRunManifestUndo() {
    const QString out = dir_.filePath(QStringLiteral("out-undo"));
    // A folder of the user's where the export writes too, with a file of
    // its own.
    QVERIFY(QDir().mkpath(out + QStringLiteral("/MD")));
    const QString mine = TestFiles::Put(QDir(out + QStringLiteral("/MD")), "mine.txt", "mine");
    Reports preview;
    Export(QStringLiteral("everdrive"), out, true, &preview);
    QCOMPARE(Tree(out, c_), QStringList({"MD/mine.txt = unknown content"}));
    Reports told;
    const DeviceExport::Outcome outcome = Export(QStringLiteral("everdrive"), out, false, &told);
    // The preview is what was written.
    QCOMPARE(preview.lines, told.lines);
    QVERIFY(outcome.manifest.startsWith(out + QStringLiteral("/kestrix-export-everdrive-")));
    const QJsonObject manifest =
        QJsonDocument::fromJson(TestFiles::ReadFile(outcome.manifest)).object();
    const QJsonArray files = manifest.value(QStringLiteral("files")).toArray();
    QCOMPARE(files.size(), 5);
    for (const QJsonValue& file : files)
        QCOMPARE(
            file.toObject().value(QStringLiteral("sha1")).toString(),
            Sha1(TestFiles::ReadFile(out + QLatin1Char('/') +
                                     file.toObject().value(QStringLiteral("file")).toString())));
    // Changed after the export: kept.
    const QString changed = out + QStringLiteral("/MD/jp.bin");
    QVERIFY(WriteFile(changed, "a save written over it"));
    DeviceExport::UndoOutcome undone;
    QVERIFY(!DeviceExport::Undo(outcome.manifest, &undone).Failed());
    using Kind = DeviceExport::UndoStep::Kind;
    QCOMPARE(undone.Count(Kind::Removed), 4);
    QCOMPARE(undone.Count(Kind::Changed), 1);
    QCOMPARE(Tree(out, c_),
             QStringList({"MD/jp.bin = unknown content", "MD/mine.txt = unknown content"}));
    QCOMPARE(TestFiles::ReadFile(mine), QByteArray("mine"));
    QVERIFY(!QFile::exists(outcome.manifest));
    // The folders an export made go once they are empty; the user's stay.
    const QString fresh = dir_.filePath(QStringLiteral("out-undo-fresh"));
    QVERIFY(QDir().mkpath(fresh));
    const DeviceExport::Outcome second = Export(QStringLiteral("mister"), fresh);
    DeviceExport::UndoOutcome again;
    QVERIFY(!DeviceExport::Undo(second.manifest, &again).Failed());
    QCOMPARE(again.Count(Kind::FolderGone), 3); // games, games/MegaDrive, games/S32X
    QCOMPARE(QDir(fresh).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
}

void tst_DeviceExport::sameName_data() {
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("the same name") << "a/game.bin"
                                   << "b/game.bin";
    // A device's card ignores case.
    QTest::newRow("names that differ in case") << "a/game.bin"
                                               << "b/GAME.bin";
}

void tst_DeviceExport::sameName() {
    QFETCH(QString, first);
    QFETCH(QString, second);
    const QDir in(dir_.filePath(QStringLiteral("same-") + QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(in.filePath(QStringLiteral("a"))));
    QVERIFY(QDir().mkpath(in.filePath(QStringLiteral("b"))));
    TestFiles::Put(in, first, c_.plain[1]);
    TestFiles::Put(in, second, c_.plain[3]);
    const QString out = in.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out));
    DeviceExport::Request r;
    r.profile = DeviceProfile::Find(DeviceProfile::BuiltIn(), QStringLiteral("plain"));
    r.folder = out;
    Reports reports;
    const DeviceExport::Outcome outcome = DeviceExport::Export(
        r, {{in.filePath(first), QString()}, {in.filePath(second), QString()}}, reports);
    // The second is told and kept out; the first is not overwritten.
    QCOMPARE(outcome.written, 1);
    QCOMPARE(outcome.refused, 1);
    QVERIFY2(reports.lines.last().contains(QLatin1String("written earlier in this run")),
             qPrintable(reports.lines.last()));
    QCOMPARE(Tree(out, c_), QStringList({"game.bin = seed 1"}));
}

void tst_DeviceExport::malformedProfiles_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error");
    const QByteArray head = "# mine\n[dev]\ndescribe = a device\nmachines = megadrive\n";
    QTest::newRow("unknown key") << head + "extension = .bin\nfoldr = x\n"
                                 << "my.profiles: line 6: unknown key 'foldr'";
    QTest::newRow("unknown machine") << head + "extension.saturn = .bin\n"
                                     << "my.profiles: line 5: unknown machine 'saturn' "
                                        "(megadrive, 32x, pico)";
    QTest::newRow("folder leaving the export's")
        << head + "extension = .bin\nfolder = ../up\n"
        << "my.profiles: line 6: '../up' is not a folder under the export's: a relative path of "
           "names, '/' between them";
    QTest::newRow("no extension") << head << "my.profiles: line 2: [dev] has no extension";
    QTest::newRow("key before a profile") << QByteArray("zip = yes\n")
                                          << "my.profiles: line 1: 'zip' comes before any "
                                             "[profile]";
    QTest::newRow("a count that is none") << head + "extension = .bin\nfiles-per-folder = many\n"
                                          << "my.profiles: line 6: files-per-folder is a count "
                                             "(0 for no limit), not 'many'";
}

void tst_DeviceExport::malformedProfiles() {
    QFETCH(QByteArray, text);
    QFETCH(QString, error);
    const QString file = TestFiles::Put(QDir(dir_.path()), QStringLiteral("my.profiles"), text);
    std::vector<DeviceProfile::Profile> profiles;
    QDir::setCurrent(dir_.path());
    const EngineError loaded = DeviceProfile::LoadAll({QStringLiteral("my.profiles")}, &profiles);
    QCOMPARE(loaded.Text(), error);
    QVERIFY(QFile::remove(file));
}

void tst_DeviceExport::safeNames_data() {
    QTest::addColumn<QString>("stem");
    QTest::addColumn<QString>("name");
    QTest::newRow("refused characters") << "a:b?c*d\"e<f>g|h/i\\j"
                                        << "a_b_c_d_e_f_g_h_i_j";
    QTest::newRow("control characters") << "tab\there"
                                        << "tab_here";
    QTest::newRow("trailing dots and spaces") << "Vol. 2. "
                                              << "Vol. 2";
    QTest::newRow("a device of DOS") << "con"
                                     << "con_";
    QTest::newRow("a device of DOS before a dot") << "COM1.beta"
                                                  << "COM1_.beta";
    QTest::newRow("not a device") << "Console"
                                  << "Console";
    QTest::newRow("nothing left") << "..."
                                  << "_";
    QTest::newRow("too long") << QString(300, QLatin1Char('x')) << QString(251, QLatin1Char('x'));
}

void tst_DeviceExport::safeNames() {
    QFETCH(QString, stem);
    QFETCH(QString, name);
    QCOMPARE(DeviceExport::SafeName(stem, QString(), 4), name);
}

void tst_DeviceExport::fullDrive() {
    // Room for two images: the rest fail, and the manifest, which cannot be
    // written beside them, goes to the temporary folder, naming what was
    // written and nothing else.
    const QString out = dir_.filePath(QStringLiteral("out-full"));
    QVERIFY(QDir().mkpath(out));
    WriterFaults::DriveHolds(2 * MiB + 64);
    WriterFaults::RoomElsewhereFor("out-full.json");
    const DeviceExport::Outcome outcome = Export(QStringLiteral("plain"), out);
    WriterFaults::DriveHolds(-1);
    WriterFaults::RoomElsewhereFor("");
    QCOMPARE(outcome.written, 2);
    QCOMPARE(outcome.failed, 4);
    QCOMPARE(outcome.manifestError.code, EngineError::Code::ManifestNotWritten);
    QVERIFY2(outcome.manifestError.Text().contains(QLatin1String("it is at")),
             qPrintable(outcome.manifestError.Text()));
    const QJsonObject manifest =
        QJsonDocument::fromJson(TestFiles::ReadFile(outcome.manifest)).object();
    QCOMPARE(manifest.value(QStringLiteral("files")).toArray().size(), 2);
    QCOMPARE(Tree(out, c_).size(), 2);
    DeviceExport::UndoOutcome undone;
    QVERIFY(!DeviceExport::Undo(outcome.manifest, &undone).Failed());
    QCOMPARE(undone.Count(DeviceExport::UndoStep::Kind::Removed), 2);
    QCOMPARE(Tree(out, c_), QStringList());
}

// A manifest is a file anyone can write: one that is not a manifest is
// refused, and one that names paths outside its folder (absolute, up with
// "..", through a link) has them kept and named, whatever their content.
void tst_DeviceExport::hostileManifests_data() {
    QTest::addColumn<QByteArray>("manifest");
    QTest::addColumn<QString>("error");
    QTest::newRow("not JSON") << QByteArray("{\"files\": [") << "is not a manifest of an export: ";
    QTest::newRow("another JSON document")
        << QByteArray("{\"files\": []}") << "is not a manifest of an export: it names no files";
    const QByteArray sha = Sha1("secret").toLatin1();
    QTest::newRow("paths that leave the folder")
        << "{\"kestrix_export\": 1, \"files\": [{\"file\": \"../secret\", \"size\": 6, \"sha1\": "
           "\"" +
               sha + "\"}, {\"file\": \"OUTSIDE/secret\", \"size\": 6, \"sha1\": \"" + sha +
               "\"}, {\"file\": \"link/secret\", \"size\": 6, \"sha1\": \"" + sha +
               "\"}], \"folders\": [\"..\", \"link\", \"/\"]}"
        << QString();
}

void tst_DeviceExport::hostileManifests() {
    QFETCH(QByteArray, manifest);
    QFETCH(QString, error);
    const QDir root(dir_.filePath(QStringLiteral("hostile-") + QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("card"))));
    QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("elsewhere"))));
    const QString secret = TestFiles::Put(root, QStringLiteral("card/../secret"), "secret");
    const QString deep = TestFiles::Put(root, QStringLiteral("elsewhere/secret"), "secret");
    QVERIFY(QFile::link(root.filePath(QStringLiteral("elsewhere")),
                        root.filePath(QStringLiteral("card/link"))));
    manifest.replace("OUTSIDE", root.filePath(QStringLiteral("elsewhere")).toUtf8());
    const QString path =
        TestFiles::Put(root, QStringLiteral("card/kestrix-export-x-1.json"), manifest);
    DeviceExport::UndoOutcome undone;
    const EngineError result = DeviceExport::Undo(path, &undone);
    if (!error.isEmpty()) {
        QCOMPARE(result.code, EngineError::Code::ManifestMalformed);
        QVERIFY2(result.Text().contains(error), qPrintable(result.Text()));
        QVERIFY(QFile::exists(path));
        return;
    }
    QVERIFY(!result.Failed());
    QCOMPARE(undone.Count(DeviceExport::UndoStep::Kind::Outside), 3);
    QCOMPARE(int(undone.steps.size()), 3);
    QCOMPARE(TestFiles::ReadFile(secret), QByteArray("secret"));
    QCOMPARE(TestFiles::ReadFile(deep), QByteArray("secret"));
    QVERIFY(QFileInfo(root.filePath(QStringLiteral("card/link"))).isSymLink());
    QVERIFY(QFileInfo::exists(root.path()));
}

QTEST_GUILESS_MAIN(tst_DeviceExport)
#include "tst_deviceexport.moc"
