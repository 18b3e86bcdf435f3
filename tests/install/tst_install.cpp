#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

// Installs the build into a temporary DESTDIR and looks at what a user gets.
class tst_Install : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void tree_data();
    void tree();
    void installedProgramsRun();
    void oneVersion();
    void validators_data();
    void validators();

private:
    QString Installed(const QString& path) const { return root_.filePath("usr/" + path); }
    static int Run(const QString& program, const QStringList& args, QString* out = nullptr);

    QTemporaryDir root_;
    QString version_;
};

int tst_Install::Run(const QString& program, const QStringList& args, QString* out) {
    const TestFiles::ProcessResult result = TestFiles::RunProgram(program, args);
    if (out)
        *out = result.out + result.err;
    return result.status;
}

void tst_Install::initTestCase() {
    QVERIFY(root_.isValid());
    version_ = qEnvironmentVariable("KESTRIX_VERSION");
    QVERIFY(!version_.isEmpty());
    QProcess install;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DESTDIR", root_.path());
    install.setProcessEnvironment(env);
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(qEnvironmentVariable("KESTRIX_CMAKE"),
                  {"--install", qEnvironmentVariable("KESTRIX_BUILD_DIR"), "--prefix", "/usr"});
    QVERIFY(install.waitForFinished(120000));
    QVERIFY2(install.exitCode() == 0, install.readAll().constData());
}

void tst_Install::tree_data() {
    QTest::addColumn<QString>("path");
    for (const char* path :
         {"lib/kestrix/kestrix", "lib/kestrix/readme.txt", "bin/kestrix-convert",
          "share/applications/org.example.Kestrix.desktop",
          "share/metainfo/org.example.Kestrix.metainfo.xml", "share/man/man1/kestrix.1",
          "share/man/man1/kestrix-convert.1", "share/bash-completion/completions/kestrix-convert",
          "share/icons/hicolor/32x32/apps/org.example.Kestrix.png",
          "share/icons/hicolor/48x48/apps/org.example.Kestrix.png",
          "share/icons/hicolor/64x64/apps/org.example.Kestrix.png",
          "share/icons/hicolor/128x128/apps/org.example.Kestrix.png",
          "share/icons/hicolor/256x256/apps/org.example.Kestrix.png"})
        QTest::newRow(path) << QString(path);
}

void tst_Install::tree() {
    QFETCH(QString, path);
    QVERIFY2(QFileInfo(Installed(path)).isFile(), qPrintable(Installed(path)));
    if (path.endsWith(".png"))
        QVERIFY(TestFiles::ReadFile(Installed(path)).startsWith("\x89PNG"));
}

void tst_Install::installedProgramsRun() {
    // The program is reached through a relative link, so the tree can move.
    char target[256] = {};
    QVERIFY(::readlink(QFile::encodeName(Installed("bin/kestrix")).constData(), target,
                       sizeof target - 1) > 0);
    QCOMPARE(QByteArray(target), QByteArray("../lib/kestrix/kestrix"));
    QVERIFY(QFileInfo(Installed("bin/kestrix")).isExecutable());

    QTemporaryDir work;
    QVERIFY(TestFiles::WriteFile(work.filePath("game.bin"), TestFiles::RandomBytes(16384, 1)));
    QString out;
    QCOMPARE(Run(Installed("bin/kestrix-convert"),
                 {"bin2md", "-o", work.path(), work.filePath("game.bin")}, &out),
             0);
    QVERIFY2(QFileInfo(work.filePath("game.md")).isFile(), qPrintable(out));
}

void tst_Install::oneVersion() {
    QString out;
    QCOMPARE(Run(Installed("bin/kestrix-convert"), {"--version"}, &out), 0);
    QCOMPARE(out.trimmed(), "kestrix-convert " + version_);
    const QString metainfo =
        TestFiles::ReadFile(Installed("share/metainfo/org.example.Kestrix.metainfo.xml"));
    QVERIFY(metainfo.contains(QStringLiteral("<release version=\"%1\"").arg(version_)));
    const QString cpack =
        TestFiles::ReadFile(qEnvironmentVariable("KESTRIX_BUILD_DIR") + "/CPackConfig.cmake");
    QVERIFY(cpack.contains(QStringLiteral("set(CPACK_PACKAGE_VERSION \"%1\")").arg(version_)));
    QVERIFY(TestFiles::ReadFile(Installed("share/man/man1/kestrix-convert.1"))
                .contains(version_.toUtf8()));
}

void tst_Install::validators_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::newRow("desktop entry")
        << "desktop-file-validate" << QStringList{"share/applications/org.example.Kestrix.desktop"};
    QTest::newRow("AppStream") << "appstreamcli"
                               << QStringList{"validate", "--no-net",
                                              "share/metainfo/org.example.Kestrix.metainfo.xml"};
    QTest::newRow("bash completion") << "bash"
                                     << QStringList{"-n", "share/bash-completion/completions/"
                                                          "kestrix-convert"};
}

void tst_Install::validators() {
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    const QString found = QStandardPaths::findExecutable(program);
    if (found.isEmpty())
        QSKIP(qPrintable(program + " is not installed"));
    for (QString& arg : args)
        if (arg.startsWith("share/"))
            arg = Installed(arg);
    QString out;
    QCOMPARE(Run(found, args, &out), 0);
    QVERIFY2(!out.contains(QRegularExpression("^(E|W):", QRegularExpression::MultilineOption)),
             qPrintable(out));
}

QTEST_APPLESS_MAIN(tst_Install)
#include "tst_install.moc"
