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
    void hardened_data();
    void hardened();
    void windowClassMatchesDesktopEntry();
    void packageLintian();
    void uninstall_data();
    void uninstall();
    void missingPackagesWithoutRoot();

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
          "share/metainfo/org.example.Kestrix.metainfo.xml", "share/man/man1/kestrix.1.gz",
          "share/man/man1/kestrix-convert.1.gz", "share/doc/kestrix/copyright",
          "share/doc/kestrix/changelog.gz", "share/bash-completion/completions/kestrix-convert",
          "share/icons/hicolor/16x16/apps/org.example.Kestrix.png",
          "share/icons/hicolor/24x24/apps/org.example.Kestrix.png",
          "share/icons/hicolor/32x32/apps/org.example.Kestrix.png",
          "share/icons/hicolor/48x48/apps/org.example.Kestrix.png",
          "share/icons/hicolor/64x64/apps/org.example.Kestrix.png",
          "share/icons/hicolor/128x128/apps/org.example.Kestrix.png",
          "share/icons/hicolor/256x256/apps/org.example.Kestrix.png",
          "share/icons/hicolor/scalable/apps/org.example.Kestrix.svg"})
        QTest::newRow(path) << QString(path);
}

void tst_Install::tree() {
    QFETCH(QString, path);
    QVERIFY2(QFileInfo(Installed(path)).isFile(), qPrintable(Installed(path)));
    const QByteArray bytes = TestFiles::ReadFile(Installed(path));
    if (path.endsWith(".png"))
        QVERIFY(bytes.startsWith("\x89PNG"));
    if (path.endsWith(".gz"))
        QVERIFY(bytes.startsWith("\x1F\x8B"));
    if (path.endsWith(".svg"))
        QVERIFY(bytes.contains("<svg") && bytes.contains("viewBox=\"0 0 256 256\""));
    if (path.endsWith("copyright"))
        QVERIFY(bytes.contains("License: GPL-3.0-or-later"));
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
    // The first line names the version; the copyright and licence follow.
    QCOMPARE(out.section('\n', 0, 0), "kestrix-convert " + version_);
    const QString metainfo =
        TestFiles::ReadFile(Installed("share/metainfo/org.example.Kestrix.metainfo.xml"));
    QVERIFY(metainfo.contains(QStringLiteral("<release version=\"%1\"").arg(version_)));
    // The source package's too.
    QVERIFY(TestFiles::ReadFile(KESTRIX_SOURCE_DIR "/debian/changelog")
                .startsWith(QStringLiteral("kestrix (%1) ").arg(version_).toUtf8()));
    const QString cpack =
        TestFiles::ReadFile(qEnvironmentVariable("KESTRIX_BUILD_DIR") + "/CPackConfig.cmake");
    QVERIFY(cpack.contains(QStringLiteral("set(CPACK_PACKAGE_VERSION \"%1\")").arg(version_)));
    QCOMPARE(Run("gzip", {"-dc", Installed("share/man/man1/kestrix-convert.1.gz")}, &out), 0);
    QVERIFY(out.contains(version_));
    QCOMPARE(Run("gzip", {"-dc", Installed("share/doc/kestrix/changelog.gz")}, &out), 0);
    QVERIFY(out.startsWith("kestrix (" + version_ + ") "));
    // The window's caption says the same version in its own words: 2.0.0~rc2
    // is "2.0 BETA-RC2". The program holds its texts as UTF-16.
    const QRegularExpressionMatch parts =
        QRegularExpression(R"(^(\d+\.\d+)\.\d+(?:~rc(\d+))?$)").match(version_);
    QVERIFY2(parts.hasMatch(), qPrintable(version_));
    const QString caption =
        "Kestrix VERSION " + parts.captured(1) +
        (parts.captured(2).isEmpty() ? QString() : " BETA-RC" + parts.captured(2));
    const QByteArray program = TestFiles::ReadFile(Installed("lib/kestrix/kestrix"));
    QVERIFY2(program.contains(
                 QByteArray(reinterpret_cast<const char*>(caption.utf16()), caption.size() * 2)),
             qPrintable(caption));
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

void tst_Install::hardened_data() {
    QTest::addColumn<QString>("binary");
    // Whether calls the compiler can check are seen in it (the window
    // program's answer to --help and --version is one; the command line
    // writes all its text as text, with fwrite, which has no checked form).
    QTest::addColumn<bool>("fortified");
    QTest::newRow("kestrix") << "lib/kestrix/kestrix" << true;
    QTest::newRow("kestrix-convert") << "bin/kestrix-convert" << false;
}

// The distribution's hardening: everything bound at start-up, read-only
// relocations, fortified calls.
void tst_Install::hardened() {
    QFETCH(QString, binary);
    QFETCH(bool, fortified);
    if (QStandardPaths::findExecutable("readelf").isEmpty())
        QSKIP("readelf is not installed");
    if (qEnvironmentVariable("KESTRIX_BUILD_TYPE") == "Debug" ||
        qEnvironmentVariableIntValue("KESTRIX_SANITIZE") == 1)
        QSKIP("a debug or sanitizer build is not hardened");
    QString out;
    QCOMPARE(Run("readelf", {"-d", "-l", "--dyn-syms", "-W", Installed(binary)}, &out), 0);
    QVERIFY2(out.contains(QRegularExpression("\\(FLAGS(_1)?\\).*\\bNOW\\b")), qPrintable(out));
    QVERIFY2(out.contains("GNU_RELRO"), qPrintable(out));
    QCOMPARE(out.contains("_chk@"), fortified);
}

// The window's class (WM_CLASS, read with xprop from the running program
// under Xvfb) is the desktop entry's StartupWMClass.
void tst_Install::windowClassMatchesDesktopEntry() {
    const QString entry =
        TestFiles::ReadFile(Installed("share/applications/org.example.Kestrix.desktop"));
    const QRegularExpressionMatch wanted =
        QRegularExpression("^StartupWMClass=(.+)$", QRegularExpression::MultilineOption)
            .match(entry);
    QVERIFY2(wanted.hasMatch(), "no StartupWMClass");
    if (QStandardPaths::findExecutable("xvfb-run").isEmpty() ||
        QStandardPaths::findExecutable("xprop").isEmpty())
        QSKIP("xvfb-run or xprop is not installed");
    // Starts the program on a virtual screen and prints the class of each of
    // its windows once one is there.
    const QString script = R"(
        QT_QPA_PLATFORM=xcb "$0" & program=$!
        for i in $(seq 100); do
            for id in $(xwininfo -root -children | sed -n 's/^ *\(0x[0-9a-f]*\) .*/\1/p'); do
                xprop -id "$id" WM_CLASS 2>/dev/null | grep -i kestrix && found=1
            done
            [ -n "$found" ] && break
            sleep 0.1
        done
        kill $program)";
    QString out;
    const int status = Run("xvfb-run", {"-a", "sh", "-c", script, Installed("bin/kestrix")}, &out);
    if (status != 0 && !out.contains("WM_CLASS"))
        QSKIP(qPrintable("the program could not be shown under Xvfb: " + out));
    QVERIFY2(out.contains(QStringLiteral(", \"%1\"").arg(wanted.captured(1).trimmed())),
             qPrintable(out));
}

// The Debian package, as Debian's own checks see it: no error and no
// warning from lintian.
void tst_Install::packageLintian() {
    if (QStandardPaths::findExecutable("lintian").isEmpty() ||
        QStandardPaths::findExecutable("dpkg-shlibdeps").isEmpty())
        QSKIP("lintian or dpkg-dev is not installed");
    QTemporaryDir out;
    QString log;
    QCOMPARE(
        Run(qEnvironmentVariable("KESTRIX_CPACK"),
            {"-G", "DEB", "--config",
             qEnvironmentVariable("KESTRIX_BUILD_DIR") + "/CPackConfig.cmake", "-B", out.path()},
            &log),
        0);
    const QStringList debs = QDir(out.path()).entryList({"*.deb"});
    QCOMPARE(debs.size(), 1);
    QCOMPARE(debs.first(), "kestrix_" + version_ + "_amd64.deb");
    QCOMPARE(Run("lintian", {"--fail-on", "error,warning", out.filePath(debs.first())}, &log), 0);
    QVERIFY2(!log.contains(QRegularExpression("^(E|W): ", QRegularExpression::MultilineOption)),
             qPrintable(log));
    // Made again a second later: the same bytes (every time in it is the
    // last commit's).
    QTest::qWait(1100);
    QTemporaryDir again;
    QCOMPARE(
        Run(qEnvironmentVariable("KESTRIX_CPACK"),
            {"-G", "DEB", "--config",
             qEnvironmentVariable("KESTRIX_BUILD_DIR") + "/CPackConfig.cmake", "-B", again.path()},
            &log),
        0);
    QVERIFY(TestFiles::ReadFile(out.filePath(debs.first())) ==
            TestFiles::ReadFile(again.filePath(debs.first())));
}

void tst_Install::uninstall_data() {
    // What ./dev.sh install recorded; which of those files a package owns
    // (in a dpkg database of the test's own); what must be left.
    QTest::addColumn<QStringList>("recorded");
    QTest::addColumn<QStringList>("packaged");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("left");
    QTest::newRow("no record: nothing removed")
        << QStringList() << QStringList() << 1 << "nothing to uninstall"
        << QStringList{"mine", "packaged"};
    QTest::newRow("its own files removed, a package's kept")
        << QStringList{"mine", "packaged"} << QStringList{"packaged"} << 0
        << "kept %1/packaged: a package owns it (kestrix)" << QStringList{"packaged"};
}

// ./dev.sh uninstall removes exactly what ./dev.sh install recorded, never a
// file of the installed package (the same paths when both went to /usr).
void tst_Install::uninstall() {
    QFETCH(QStringList, recorded);
    QFETCH(QStringList, packaged);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(QStringList, left);
    QTemporaryDir work;
    const QString files = work.filePath("files");
    QVERIFY(QDir().mkpath(files) && QDir().mkpath(work.filePath("build")) &&
            QDir().mkpath(work.filePath("admin/info")) &&
            QDir().mkpath(work.filePath("admin/updates")));
    for (const char* name : {"mine", "packaged"})
        QVERIFY(TestFiles::WriteFile(files + "/" + name, "x"));
    QVERIFY(TestFiles::WriteFile(work.filePath("admin/status"),
                                 "Package: kestrix\nStatus: install ok installed\nPriority: "
                                 "optional\nSection: utils\nMaintainer: K <k@example.org>\n"
                                 "Architecture: amd64\nVersion: 2.0.0\nDescription: test\n\n"));
    QByteArray list = files.toUtf8() + "\n";
    for (const QString& name : packaged)
        list += (files + "/" + name).toUtf8() + "\n";
    QVERIFY(TestFiles::WriteFile(work.filePath("admin/info/kestrix.list"), list));
    if (!recorded.isEmpty()) {
        QByteArray record;
        for (const QString& name : recorded)
            record += (files + "/" + name).toUtf8() + "\n";
        QVERIFY(TestFiles::WriteFile(work.filePath("build/kestrix-install-record.txt"), record));
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DPKG_ADMINDIR", work.filePath("admin"));
    env.insert("KESTRIX_BUILD_DIR", work.filePath("build"));
    const TestFiles::ProcessResult result =
        TestFiles::RunProgram(KESTRIX_SOURCE_DIR "/dev.sh", {"uninstall"}, KESTRIX_SOURCE_DIR, env);
    QVERIFY2(result.status == status, qPrintable(result.out + result.err));
    QVERIFY2((result.out + result.err).contains(message.arg(files)),
             qPrintable(result.out + result.err));
    QStringList now = QDir(files).entryList(QDir::Files);
    QCOMPARE(now, left);
    QVERIFY(!QFileInfo::exists(work.filePath("build/kestrix-install-record.txt")));
}

// A developer without root and without sudo is told what is missing and the
// line to run as root, not "sudo: command not found".
void tst_Install::missingPackagesWithoutRoot() {
    if (::geteuid() != 0)
        QSKIP("runuser needs root");
    if (!QStandardPaths::findExecutable("sudo").isEmpty())
        QSKIP("sudo is installed here: the developer would be asked for a password");
    const TestFiles::ProcessResult result = TestFiles::RunProgram(
        "runuser", {"-u", "nobody", "--", "bash", "-c",
                    "eval \"$(sed -n '/^install_packages()/,/^}/p' \"$0\")\"; install_packages "
                    "no-such-package-kx coreutils",
                    KESTRIX_SOURCE_DIR "/dev.sh"});
    QCOMPARE(result.status, 1);
    QCOMPARE(result.err, QString("Missing packages: no-such-package-kx\nAs root, run: apt-get "
                                 "install no-such-package-kx\n"));
}

QTEST_APPLESS_MAIN(tst_Install)
#include "tst_install.moc"
