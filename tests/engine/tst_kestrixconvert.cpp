#include "TestFiles.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using TestFiles::RandomBytes;
using TestFiles::ReadFile;
using TestFiles::WriteFile;

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

private:
    struct Result {
        int status = -1;
        QString out;
        QString err;
    };
    Result Run(const QStringList& args);
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
}

tst_KestrixConvert::Result tst_KestrixConvert::Run(const QStringList& args) {
    QProcess process;
    process.setWorkingDirectory(dir_.path());
    process.start(program_, args);
    Result result;
    if (!process.waitForFinished(60000))
        return result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

void tst_KestrixConvert::usageErrors_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing") << QStringList() << "no mode given";
    QTest::newRow("unknown mode") << QStringList{"bin2zip", "a.bin"} << "unknown mode 'bin2zip'";
    QTest::newRow("no files") << QStringList{"bin2md"} << "no files given";
    QTest::newRow("-o without folder") << QStringList{"bin2md", "a.bin", "-o"} << "needs a folder";
    QTest::newRow("unknown option") << QStringList{"bin2md", "--fast", "a.bin"} << "'--fast'";
    QTest::newRow("missing output folder")
        << QStringList{"bin2md", "-o", "nowhere", "a.bin"} << "'nowhere' does not exist";
}

void tst_KestrixConvert::usageErrors() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
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

QTEST_APPLESS_MAIN(tst_KestrixConvert)
#include "tst_kestrixconvert.moc"
