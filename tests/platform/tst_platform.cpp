#include "ButtonPlus.h"
#include "DesktopPlatform.h"
#include "DirSearch.h"
#include "FolderList.h"
#include "Hover.h"
#include "PathSeparator.h"
#include "TestFiles.h"
#include "Twips.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <chrono>
#include <future>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

class tst_Platform : public QObject {
    Q_OBJECT

private slots:
    void wildcard_data();
    void wildcard();
    void dirSearch_data();
    void dirSearch();
    void nameFilters();
    void selectionText_data();
    void selectionText();
    void twips();
    void buttonNotifications();
    void folderList();
    void shellExecuteOfMissingFile();
    void launcher_data();
    void launcher();
    void languageKept();
    void messageBox_data();
    void messageBox();
    void drivesWithoutAnswer();
};

void tst_Platform::wildcard_data() {
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("matches");
    QTest::newRow("star dot star, no dot") << "*.*"
                                           << "roms" << true;
    QTest::newRow("star dot star, dot") << "*.*"
                                        << "game.bin" << true;
    QTest::newRow("prefix star dot star") << "roms*.*"
                                          << "roms" << true;
    QTest::newRow("prefix longer") << "roms*.*"
                                   << "roms2.old" << true;
    QTest::newRow("prefix other") << "roms*.*"
                                  << "rom" << false;
    QTest::newRow("question mark") << "game.b?n"
                                   << "game.bin" << true;
    QTest::newRow("question mark needs one") << "game.b?n"
                                             << "game.bn" << false;
    QTest::newRow("exact") << "game.bin"
                           << "game.bin" << true;
    QTest::newRow("exact differs") << "game.bin"
                                   << "game.bin2" << false;
    QTest::newRow("regex characters are plain") << "a+b(1).bin"
                                                << "a+b(1).bin" << true;
    QTest::newRow("star in the middle") << "g*e.smd"
                                        << "game.smd" << true;
}

void tst_Platform::wildcard() {
    QFETCH(QString, pattern);
    QFETCH(QString, name);
    QFETCH(bool, matches);
    QCOMPARE(WildcardMatch(pattern, name), matches);
}

void tst_Platform::dirSearch_data() {
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("folders");
    QTest::addColumn<QString>("found");
    QTest::newRow("folder by its own name") << "roms*.*" << true << "roms";
    QTest::newRow("folder not without the flag") << "roms*.*" << false << "";
    QTest::newRow("first file in name order") << "*.bin" << false << "a.bin";
    QTest::newRow("hidden file never") << ".hidden*" << true << "";
    QTest::newRow("nothing") << "zzz*" << true << "";
    QTest::newRow("any entry") << "*.*" << true << "a.bin";
}

void tst_Platform::dirSearch() {
    QFETCH(QString, pattern);
    QFETCH(bool, folders);
    QFETCH(QString, found);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("roms"));
    QVERIFY(TestFiles::WriteFile(dir.filePath("b.bin"), "b"));
    QVERIFY(TestFiles::WriteFile(dir.filePath("a.bin"), "a"));
    QVERIFY(TestFiles::WriteFile(dir.filePath(".hidden.bin"), "h"));
    const QString folder = QDir::toNativeSeparators(dir.path()) + PathSeparator();
    QCOMPARE(DirSearch(folder + pattern, folders), found);
}

void tst_Platform::nameFilters() {
    QCOMPARE(DesktopPlatform::NameFilters(QStringLiteral("SMD格式文件|*.smd|所有文件|*.*")),
             (QStringList{QStringLiteral("SMD格式文件 (*.smd)"), QStringLiteral("所有文件 (*)")}));
    QCOMPARE(DesktopPlatform::NameFilters(QString()), QStringList());
}

void tst_Platform::selectionText_data() {
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("text");
    QTest::newRow("none") << QStringList() << QString();
    QTest::newRow("one") << QStringList{"/roms/a.bin"} << QDir::toNativeSeparators("/roms/a.bin");
    QTest::newRow("three") << QStringList{"/roms/a.bin", "/roms/b c.bin", "/roms/.x"}
                           << QDir::toNativeSeparators("/roms") + QChar(0) + "a.bin" + QChar(0) +
                                  "b c.bin" + QChar(0) + ".x";
}

void tst_Platform::selectionText() {
    QFETCH(QStringList, files);
    QFETCH(QString, text);
    QCOMPARE(DesktopPlatform::SelectionText(files), text);
}

void tst_Platform::twips() {
    QCOMPARE(Px(5490), 366);
    QCOMPARE(Px(1165), 78);
    QCOMPARE(Px(65), 4);
    QCOMPARE(ToTwips(167), 2505);
    QCOMPARE(TwipsRect(720, 3000, 2505, 375), QRect(48, 200, 167, 25));
}

void tst_Platform::buttonNotifications() {
    ButtonPlus button(QStringLiteral("OK"));
    QSignalSpy enter(&button, &ButtonPlus::MouseEnter);
    QSignalSpy leave(&button, &ButtonPlus::MouseLeave);
    QSignalSpy click(&button, &ButtonPlus::Click);
    Hover::Enter(&button);
    Hover::Leave(&button);
    button.click();
    QCOMPARE(enter.count(), 1);
    QCOMPARE(leave.count(), 1);
    QCOMPARE(click.count(), 1);
    button.setEnabled(false);
    button.click();
    QCOMPARE(click.count(), 1);
}

void tst_Platform::folderList() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("roms/eu"));
    QVERIFY(QDir(dir.path()).mkpath(".hidden"));
    FolderList list;
    QSignalSpy change(&list, &FolderList::Change);
    QVERIFY(list.SetPath(dir.path()));
    QCOMPARE(list.Path(), QDir::toNativeSeparators(dir.path()));
    // The path down from the root, then the subfolder.
    QVERIFY(list.item(list.count() - 1)->text().trimmed() == "roms");
    QVERIFY(list.item(0)->text() == QDir::toNativeSeparators("/"));
    // A double-click opens a folder.
    emit list.itemDoubleClicked(list.item(list.count() - 1));
    QCOMPARE(list.Path(), QDir::toNativeSeparators(dir.filePath("roms")));
    QCOMPARE(change.count(), 2);
    // A folder that cannot be opened changes nothing.
    QVERIFY(!list.SetPath(dir.filePath("missing")));
    QVERIFY(!list.SetPath(QString()));
    QCOMPARE(list.Path(), QDir::toNativeSeparators(dir.filePath("roms")));
    QCOMPARE(change.count(), 2);
}

void tst_Platform::shellExecuteOfMissingFile() {
    DesktopPlatform desktop;
    QTemporaryDir dir;
    QVERIFY(desktop.ShellExecute(dir.filePath("readme.txt"), 10) <= 32);
}

void tst_Platform::launcher_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("started");
    QTest::newRow("handler started") << "exit 0" << true;
    QTest::newRow("nothing can open it") << "exit 4" << false;
    QTest::newRow("handler still running") << "exec /bin/sleep 5" << true;
    QTest::newRow("no launcher") << "" << false;
}

void tst_Platform::launcher() {
    QFETCH(QString, script);
    QFETCH(bool, started);
    // A stand-in for the desktop's launcher, first on the search path.
    QTemporaryDir bin;
    if (!script.isEmpty()) {
        QVERIFY(TestFiles::WriteFile(bin.filePath("xdg-open"),
                                     ("#!/bin/sh\n" + script + "\n").toUtf8()));
        QVERIFY(
            QFile::setPermissions(bin.filePath("xdg-open"), QFile::ReadOwner | QFile::ExeOwner));
    }
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toLocal8Bit());
    DesktopPlatform desktop;
    QElapsedTimer timer;
    timer.start();
    const int code = desktop.ShellExecute(QStringLiteral("https://www.example.org/"), 10);
    qputenv("PATH", path);
    QCOMPARE(code > 32, started);
    QVERIFY(timer.elapsed() < 4000); // never waits for the handler itself
}

// The language chosen from the menu is kept for the next run (a new desktop
// reads it back), in the user's own configuration; and the message boxes'
// buttons stay English under Qt's Chinese translation (the messageBox rows
// run after this, under it).
void tst_Platform::languageKept() {
    QTemporaryDir config;
    // Before anything in this process has used Qt's settings.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QCOMPARE(DesktopPlatform().StoredLanguage(), QString());
    DesktopPlatform().StoreLanguage(QStringLiteral("en"));
    QCOMPARE(DesktopPlatform().StoredLanguage(), QStringLiteral("en"));
    QVERIFY(QFile::exists(config.filePath(QStringLiteral("Kestrix/Kestrix.conf"))));

    static QTranslator qt;
    if (!qt.load(QStringLiteral("qtbase_zh_CN"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QSKIP("Qt's translations are not installed (qt6-translations-l10n)");
    QCoreApplication::installTranslator(&qt);
    QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("查找范围："));
}

void tst_Platform::messageBox_data() {
    QTest::addColumn<int>("style");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("press");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("shownTitle");
    QTest::newRow("OK only") << 0 << "Limit exceeded"
                             << "OK" << QStringList{"OK"} << 1 << "Limit exceeded";
    QTest::newRow("no title shows the program's name")
        << 0 << ""
        << "OK" << QStringList{"OK"} << 1 << "Kestrix";
    QTest::newRow("OK and Cancel, OK") << 1 << "Cancel"
                                       << "OK" << QStringList{"OK", "Cancel"} << 1 << "Cancel";
    QTest::newRow("OK and Cancel, escape")
        << 1 << "Cancel"
        << "escape" << QStringList{"OK", "Cancel"} << 2 << "Cancel";
    QTest::newRow("Yes and No, Yes") << 4 << "Overwrite File?"
                                     << "Yes" << QStringList{"Yes", "No"} << 6 << "Overwrite File?";
    QTest::newRow("Yes and No, No") << 4 << "Overwrite File?"
                                    << "No" << QStringList{"Yes", "No"} << 7 << "Overwrite File?";
}

void tst_Platform::messageBox() {
    QFETCH(int, style);
    QFETCH(QString, title);
    QFETCH(QString, press);
    QFETCH(QStringList, captions);
    QFETCH(int, answer);
    QFETCH(QString, shownTitle);
    DesktopPlatform desktop;
    QStringList seen;
    QString seenTitle;
    QString seenText;
    bool icon = true;
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        seenTitle = box->windowTitle();
        seenText = box->text();
        icon = box->icon() != QMessageBox::NoIcon;
        for (QAbstractButton* button : box->buttons())
            seen << button->text();
        if (press == QLatin1String("escape")) {
            QTest::keyClick(box, Qt::Key_Escape);
            return;
        }
        for (QAbstractButton* button : box->buttons())
            if (button->text() == press)
                button->click();
    });
    QCOMPARE(desktop.ShowMessage(QStringLiteral("Some text"), style, title), answer);
    seen.sort();
    captions.sort();
    QCOMPARE(seen, captions);
    QCOMPARE(seenTitle, shownTitle);
    QCOMPARE(seenText, QStringLiteral("Some text"));
    QVERIFY(!icon);
}

// A file system that never answers (a FUSE mount whose server is gone
// silent: here nobody reads its device at all) does not stop the drive list:
// the volumes that answer are listed, the silent one is left out.
void tst_Platform::drivesWithoutAnswer() {
    if (!TestFiles::RunningAsRoot())
        QSKIP("mounting a file system needs root");
    QTemporaryDir dir;
    const QByteArray point = QFile::encodeName(dir.path());
    const int fuse = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fuse < 0)
        QSKIP("there is no /dev/fuse here");
    const QByteArray options =
        "fd=" + QByteArray::number(fuse) + ",rootmode=40000,user_id=0,group_id=0";
    if (::mount("kestrix-silent", point.constData(), "fuse.kestrix-silent", MS_NOSUID | MS_NODEV,
                options.constData()) != 0) {
        ::close(fuse);
        QSKIP("no right to mount a FUSE file system here");
    }
    DesktopPlatform desktop;
    // Asked in a thread of its own, so that a list that never comes fails
    // the test rather than hanging it.
    auto drives = std::async(std::launch::async, [&desktop] { return desktop.Drives(); });
    const bool answered = drives.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    // Gone, with its connection: whatever still waits on it gets an error.
    ::umount2(point.constData(), MNT_DETACH);
    ::close(fuse);
    QVERIFY(answered);
    const QStringList list = drives.get();
    QVERIFY2(list.contains("/"), qPrintable(list.join(' ')));
    QVERIFY2(!list.contains(QDir::toNativeSeparators(dir.path())), qPrintable(list.join(' ')));
}

QTEST_MAIN(tst_Platform)
#include "tst_platform.moc"
