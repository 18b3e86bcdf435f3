#include "TestFiles.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class tst_ProgressBarRender : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void rendersOneBar_data();
    void rendersOneBar();
    void badInput_data();
    void badInput();
    void gallery();
    void fullDisk();

private:
    int Run(const QStringList& args, QString* err = nullptr);
    QString program_;
    QTemporaryDir dir_;
};

void tst_ProgressBarRender::initTestCase() {
    program_ = qEnvironmentVariable("KESTRIX_BIN_DIR") + "/progressbar-render";
    QVERIFY(QFileInfo(program_).isExecutable());
}

int tst_ProgressBarRender::Run(const QStringList& args, QString* err) {
    const TestFiles::ProcessResult result = TestFiles::RunProgram(program_, args);
    if (err)
        *err = result.err;
    return result.status;
}

void tst_ProgressBarRender::rendersOneBar_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("probe");
    QTest::addColumn<uint>("color");
    // Other arguments that must draw exactly the same picture; none when empty.
    QTest::addColumn<QStringList>("sameAs");
    QTest::newRow("default block bar at 50")
        << QStringList{"--percent", "50", "--color", "0x00C000"} << QSize(167, 25) << QPoint(6, 12)
        << 0xFF00C000u << QStringList();
    QTest::newRow("value mapped by min and max")
        << QStringList{"--style", "3", "--value", "4", "--max", "8", "--color", "0x0000FF"}
        << QSize(167, 25) << QPoint(0, 0) << qRgb(255, 100, 100) << QStringList();
    QTest::newRow("vertical") << QStringList{"--percent", "100",    "--orientation", "1",
                                             "--size",    "25x100", "--color",       "0xFF0000"}
                              << QSize(25, 100) << QPoint(12, 53) << 0xFF0000FFu << QStringList();
    // The value maps to the bottom of the range: an empty bar, drawn in one
    // piece with no overflow.
    QTest::newRow("extreme range")
        << QStringList{"--style", "2", "--min", "-2147483648", "--max", "1", "--value", "0"}
        << QSize(167, 25) << QPoint(0, 0) << qRgb(255, 255, 255)
        << QStringList{"--style", "2", "--percent", "0"};
    // One pixel holds the background only; the text does not spill onto it.
    QTest::newRow("one pixel") << QStringList{"--size", "1x1", "--style", "9", "--show-text"}
                               << QSize(1, 1) << QPoint(0, 0) << qRgb(255, 255, 255)
                               << QStringList{"--size", "1x1", "--style", "9"};
}

void tst_ProgressBarRender::rendersOneBar() {
    QFETCH(QStringList, args);
    QFETCH(QSize, size);
    QFETCH(QPoint, probe);
    QFETCH(uint, color);
    QFETCH(QStringList, sameAs);
    const QString out = dir_.filePath("bar.png");
    QString err;
    QCOMPARE(Run(args + QStringList{"--out", out}, &err), 0);
    const QImage image(out);
    QCOMPARE(image.size(), size);
    QCOMPARE(image.pixel(probe), QRgb(color));
    if (!sameAs.isEmpty()) {
        const QString other = dir_.filePath("other.png");
        QCOMPARE(Run(sameAs + QStringList{"--out", other}, &err), 0);
        QCOMPARE(image, QImage(other));
    }
}

void tst_ProgressBarRender::badInput_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("unreadable image")
        << QStringList{"--image", "/nonexistent.png", "--out", "x.png"} << 1 << "cannot read image";
    QTest::newRow("zero size") << QStringList{"--size", "0x0", "--out", "x.png"} << 2 << "--size";
    QTest::newRow("no output") << QStringList{"--style", "1"} << 2 << "--out";
    QTest::newRow("not a number") << QStringList{"--style", "two"} << 2 << "needs a 32-bit number";
    QTest::newRow("unwritable output")
        << QStringList{"--out", "/proc/kestrix-bar.png"} << 1 << "cannot write";
    QTest::newRow("device") << QStringList{"--out", "/dev/full"} << 1 << "not a regular file";
}

void tst_ProgressBarRender::badInput() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, message);
    QString err;
    QCOMPARE(Run(args, &err), status);
    QVERIFY2(err.contains(message), qPrintable(err));
}

void tst_ProgressBarRender::gallery() {
    const QString folder = dir_.filePath("gallery");
    QCOMPARE(Run({"--gallery", folder}), 0);
    const QStringList files = QDir(folder).entryList({"*.png"}, QDir::Files);
    QCOMPARE(files.size(), 10 * 4 * 2 + 1);
    QVERIFY(files.contains("contact-sheet.png"));
    QVERIFY(files.contains("style9-v-66.png"));
    QCOMPARE(QImage(folder + "/style0-h-33.png").size(), QSize(167, 25));
}

// On a full disk an existing picture stays as it was, and a gallery stops at
// its first failed file without leaving empty files behind.
void tst_ProgressBarRender::fullDisk() {
    TestFiles::SmallDisk disk(dir_.filePath("small"), QStringLiteral("24k"));
    if (!disk.ok())
        QSKIP("no right to mount a small file system here");
    const QString old = dir_.filePath("small/bar.png");
    QCOMPARE(Run({"--size", "8x8", "--out", old}), 0);
    const QByteArray before = TestFiles::ReadFile(old);
    QString err;
    QCOMPARE(Run({"--size", "4000x4000", "--style", "7", "--out", old}, &err), 1);
    QVERIFY2(err.contains("No space left"), qPrintable(err));
    QCOMPARE(TestFiles::ReadFile(old), before);

    QCOMPARE(Run({"--gallery", dir_.filePath("small/gallery")}, &err), 1);
    const QFileInfoList written =
        QDir(dir_.filePath("small/gallery")).entryInfoList(QDir::Files | QDir::Hidden);
    QVERIFY(written.size() < 81);
    for (const QFileInfo& file : written)
        QVERIFY2(file.size() > 0, qPrintable(file.fileName()));
    QCOMPARE(err.count("cannot write"), 1);
}

QTEST_APPLESS_MAIN(tst_ProgressBarRender)
#include "tst_progressbarrender.moc"
