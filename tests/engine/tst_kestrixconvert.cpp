#include "Mod_Convert.h"
#include "RomImages.h"
#include "RomInspector.h"
#include "TestFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QProcess>

#include <QTemporaryDir>
#include <QTest>
#include <csignal>

using TestFiles::RandomBytes;
using TestFiles::ReadFile;
using TestFiles::WriteFile;

Q_DECLARE_METATYPE(RomLayout)

class tst_KestrixConvert : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void usageErrors_data();
    void usageErrors();
    void helpAndVersion_data();
    void helpAndVersion();
    void convertsEachMode_data();
    void convertsEachMode();
    void existingDestination();
    void refusedFileDoesNotStopOthers();
    void sameBaseNameTwice();
    void info();
    void layoutAware_data();
    void layoutAware();
    void interrupted_data();
    void interrupted();

private:
    using Result = TestFiles::ProcessResult;
    Result Run(const QStringList& args) {
        return TestFiles::RunProgram(program_, args, dir_.path());
    }
    QString Path(const QString& name) const { return dir_.filePath(name); }

    QString program_;
    QTemporaryDir dir_;
};

void tst_KestrixConvert::initTestCase() {
    program_ = qEnvironmentVariable("KESTRIX_BIN_DIR") + "/kestrix-convert";
    QVERIFY2(QFileInfo(program_).isExecutable(), qPrintable(program_));
}

void tst_KestrixConvert::init() {
    QVERIFY(dir_.isValid());
    QDir d(dir_.path());
    for (const QString& entry : d.entryList(QDir::Files | QDir::Hidden))
        QVERIFY(d.remove(entry));
    QVERIFY(QDir(Path("out")).removeRecursively());
}

void tst_KestrixConvert::usageErrors_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing") << QStringList() << "Usage: kestrix-convert MODE";
    QTest::newRow("unknown mode") << QStringList{"bin2zip", "a.bin"} << "unknown mode 'bin2zip'";
    QTest::newRow("no files") << QStringList{"bin2md"} << "no files given";
    QTest::newRow("-o without folder") << QStringList{"bin2md", "a.bin", "-o"} << "needs a folder";
    QTest::newRow("-o names a file")
        << QStringList{"bin2md", "-o", "a.bin", "a.bin"} << "'a.bin' is not a folder";
    QTest::newRow("--output=") << QStringList{"bin2md", "--output=nowhere", "a.bin"}
                               << "'nowhere' does not exist";
    QTest::newRow("json with a mode") << QStringList{"bin2md", "--json", "a.bin"} << "--json";
    QTest::newRow("info with -o") << QStringList{"info", "-o", ".", "a.bin"} << "info takes no";
    QTest::newRow("unknown option") << QStringList{"bin2md", "--fast", "a.bin"} << "'--fast'";
    QTest::newRow("missing output folder")
        << QStringList{"bin2md", "-o", "nowhere", "a.bin"} << "'nowhere' does not exist";
}

void tst_KestrixConvert::usageErrors() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QVERIFY(WriteFile(Path("a.bin"), RandomBytes(16384, 1)));
    const Result result = Run(args);
    QCOMPARE(result.status, 2);
    QVERIFY2(result.err.contains(message), qPrintable(result.err));
}

void tst_KestrixConvert::helpAndVersion_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("text");
    QTest::newRow("help") << "--help"
                          << "Usage: kestrix-convert MODE";
    QTest::newRow("version") << "--version"
                             << "kestrix-convert 2.0";
}

void tst_KestrixConvert::helpAndVersion() {
    QFETCH(QString, option);
    QFETCH(QString, text);
    const Result result = Run({option});
    QCOMPARE(result.status, 0);
    QVERIFY2(result.out.startsWith(text), qPrintable(result.out));
}

void tst_KestrixConvert::convertsEachMode_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("destination");
    QTest::newRow("smd2bin") << "smd2bin"
                             << "Game.eu.smd" << 16384 + 512 << "Game.bin";
    QTest::newRow("bin2smd") << "bin2smd"
                             << "Game" << 16384 << "Game.smd";
    QTest::newRow("md2bin") << "md2bin"
                            << "game.md" << 32768 << "game.bin";
    QTest::newRow("bin2md") << "bin2md"
                            << "sonic.bin" << 32768 << "sonic.md";
    QTest::newRow("odd name") << "bin2md"
                              << "a b, 索尼克 [!].bin" << 16384 << "a b, 索尼克 [!].md";
}

void tst_KestrixConvert::convertsEachMode() {
    QFETCH(QString, mode);
    QFETCH(QString, source);
    QFETCH(int, size);
    QFETCH(QString, destination);
    QVERIFY(QDir(dir_.path()).mkpath("out"));
    QVERIFY(WriteFile(Path(source), RandomBytes(size, 1)));
    const Result result = Run({mode, "-o", "out", source});
    QCOMPARE(result.status, 0);
    QVERIFY(result.err.isEmpty());
    QVERIFY2(QFileInfo(Path("out/" + destination)).isFile(), qPrintable(result.out));
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

void tst_KestrixConvert::refusedFileDoesNotStopOthers() {
    QVERIFY(WriteFile(Path("bad.bin"), QByteArray(16385, 'b')));
    QVERIFY(WriteFile(Path("empty.bin"), QByteArray()));
    QVERIFY(WriteFile(Path("good.bin"), RandomBytes(16384, 3)));
    const Result result = Run({"bin2smd", "bad.bin", "missing.bin", "empty.bin", "good.bin"});
    QCOMPARE(result.status, 1);
    const QStringList lines = result.err.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[0].contains("bad.bin") && lines[0].contains("multiple of 16384"));
    QVERIFY(lines[1].contains("missing.bin") && lines[1].contains("does not exist"));
    QVERIFY(lines[2].contains("empty.bin") && lines[2].contains("empty"));
    QVERIFY(QFileInfo(Path("good.smd")).isFile());
    QVERIFY(!QFileInfo::exists(Path("bad.smd")));
}

void tst_KestrixConvert::sameBaseNameTwice() {
    QVERIFY(QDir(dir_.path()).mkpath("out"));
    QVERIFY(WriteFile(Path("x.bin"), RandomBytes(16384, 4)));
    QVERIFY(WriteFile(Path("x.eu.bin"), RandomBytes(16384, 5)));
    const Result result = Run({"bin2md", "--overwrite", "-o", "out", "x.bin", "x.eu.bin"});
    QCOMPARE(result.status, 1);
    QVERIFY(result.err.contains("x.eu.bin"));
    QVERIFY(result.err.contains("earlier file"));
}

void tst_KestrixConvert::info() {
    const QByteArray plain = RomImages::PlainImage(2 * 16384, 1);
    QVERIFY(WriteFile(Path("game.bin"), plain));
    QVERIFY(Mod_Convert::ConvertLayout(RomLayout::Plain, RomLayout::Md, Path("game.bin"),
                                       Path("game.md")) == ConversionResult::Converted);
    QVERIFY(WriteFile(Path("empty.bin"), QByteArray()));

    Result result = Run({"info", "game.md"});
    QCOMPARE(result.status, 0);
    QVERIFY2(result.out.contains("md (certain)") && result.out.contains("KESTRIX TEST CART") &&
                 result.out.contains(": ok"),
             qPrintable(result.out));

    result = Run({"info", "--json", "game.bin", "game.md", "empty.bin", "missing.bin"});
    QCOMPARE(result.status, 1);
    const QJsonArray array = QJsonDocument::fromJson(result.out.toUtf8()).array();
    QCOMPARE(array.size(), 4);
    const QStringList keys{"certainty",      "checksum_computed",
                           "checksum_ok",    "checksum_stored",
                           "crc32",          "file",
                           "layout",         "md5",
                           "reasons",        "region",
                           "serial",         "sha1",
                           "size",           "system",
                           "title_domestic", "title_overseas"};
    const QJsonObject bin = array[0].toObject();
    const QJsonObject md = array[1].toObject();
    QCOMPARE(bin.keys(), keys);
    QCOMPARE(bin["layout"].toString(), QString("plain"));
    QCOMPARE(md["layout"].toString(), QString("md"));
    QCOMPARE(md["sha1"], bin["sha1"]);
    QVERIFY(md["checksum_ok"].toBool());
    QCOMPARE(md["checksum_stored"].toInt(), int(RomImages::HeaderChecksum(plain)));
    QCOMPARE(array[2].toObject()["error"].toString(), QString("the file is empty"));
    QVERIFY(array[3].toObject()["error"].toString().contains("does not exist"));
    QVERIFY(result.err.contains("missing.bin"));
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
        << QStringList{"md2bin", "--force", "-o", "out", "plain.md"} << 0 << ""
        << "out/plain.bin" << RomLayout::Unknown;
    QTest::newRow("unknown converts as asked")
        << QStringList{"bin2md", "-o", "out", "random.bin"} << 0 << ""
        << "" << RomLayout::Unknown;
    QTest::newRow("to-smd from MD, verified")
        << QStringList{"to-smd", "--verify", "-o", "out", "game.md"} << 0 << "verified"
        << "out/game.smd" << RomLayout::Smd;
    QTest::newRow("to-bin from byteswapped")
        << QStringList{"to-bin", "-o", "out", "swapped.bin"} << 0 << ""
        << "out/swapped.bin" << RomLayout::Plain;
    QTest::newRow("to-bin from plain is a copy")
        << QStringList{"to-bin", "-o", "out", "plain.md"} << 0 << "already a plain image"
        << "out/plain.bin" << RomLayout::Plain;
    QTest::newRow("to-md of unknown layout is refused")
        << QStringList{"to-md", "-o", "out", "random.bin"} << 1 << "the layout is unknown"
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
    QVERIFY(Mod_Convert::ConvertLayout(RomLayout::Plain, RomLayout::Md, Path("plain.md"),
                                       Path("game.md")) == ConversionResult::Converted);
    const Result result = Run(args);
    QCOMPARE(result.status, status);
    QVERIFY2((result.out + result.err).contains(message), qPrintable(result.out + result.err));
    if (status != 0)
        QCOMPARE(QDir(Path("out")).entryList(QDir::Files | QDir::Hidden), QStringList());
    QVERIFY(written.isEmpty() || QFileInfo(Path(written)).isFile());
    if (layout != RomLayout::Unknown)
        QCOMPARE(RomInspector::PlainSha1(Path(written), layout),
                 QCryptographicHash::hash(plain, QCryptographicHash::Sha1).toHex());
    QCOMPARE(ReadFile(Path("plain.md")), plain);
}

void tst_KestrixConvert::interrupted_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("namedTemporary");
    QTest::newRow("SIGTERM, named temporary") << int(SIGTERM) << true;
    QTest::newRow("SIGINT, named temporary") << int(SIGINT) << true;
    QTest::newRow("SIGHUP, unnamed") << int(SIGHUP) << false;
    QTest::newRow("SIGKILL, unnamed") << int(SIGKILL) << false;
}

// A run stopped while it writes leaves nothing behind.
void tst_KestrixConvert::interrupted() {
    QFETCH(int, signal);
    QFETCH(bool, namedTemporary);
    QVERIFY(QDir(dir_.path()).mkpath("out"));
    QFile big(Path("big.bin"));
    QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(qint64(256) << 20));
    big.close();
    QProcess process;
    process.setWorkingDirectory(dir_.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KESTRIX_NO_TMPFILE", namedTemporary ? "1" : "0");
    process.setProcessEnvironment(env);
    process.start(program_, {"bin2smd", "--force", "-o", "out", "big.bin"});
    QVERIFY(process.waitForStarted());
    QDir out(Path("out"));
    QElapsedTimer waited;
    waited.start();
    // Named: wait until the temporary file is there; unnamed: until the
    // source has been read and converted, roughly.
    while (namedTemporary ? out.entryList(QDir::Files | QDir::Hidden).isEmpty()
                          : waited.elapsed() < 150) {
        if (process.state() != QProcess::Running || waited.elapsed() > 20000)
            break;
        QTest::qWait(1);
    }
    if (process.state() != QProcess::Running)
        QSKIP("the conversion finished before it could be interrupted");
    ::kill(pid_t(process.processId()), signal);
    QVERIFY(process.waitForFinished(20000));
    if (signal != SIGKILL) {
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 128 + signal);
    }
    const QStringList left = out.entryList(QDir::Files | QDir::Hidden);
    QVERIFY2(left.isEmpty() || left == QStringList{"big.smd"}, qPrintable(left.join(", ")));
}

QTEST_APPLESS_MAIN(tst_KestrixConvert)
#include "tst_kestrixconvert.moc"
