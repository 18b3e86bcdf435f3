#include "Form_Audit.h"
#include "Forms.h"
#include "RomImages.h"
#include "ScriptedDesktop.h"
#include "TestFiles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <memory>

using namespace RomImages;

// The audit window: a collection given to the program with its DAT file is
// audited as the command line audits it, shown by kind, and saved as the
// command line saves it.
class tst_FormAudit : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void givenWithDatRunsAndSavesAsCommandLine();
    void table_data();
    void table();
    void cancelShowsNothing();
    void badInputTold_data();
    void badInputTold();

private:
    QString Put(const QString& name, const QByteArray& bytes) {
        QDir(dir_.path()).mkpath(QFileInfo(name).path());
        return TestFiles::Put(QDir(dir_.path()), name, bytes);
    }
    static QByteArray Rom(const QString& game, const QByteArray& plain) {
        return "<game name=\"" + game.toUtf8() + "\"><rom name=\"" + game.toUtf8() +
               ".md\" size=\"" + QByteArray::number(plain.size()) + "\" sha1=\"" +
               QCryptographicHash::hash(plain, QCryptographicHash::Sha1).toHex() + "\"/></game>\n";
    }
    // A set of four games: A as an SMD image and again as a plain one (a
    // duplicate), B in a folder below, C missing, D a bad dump named as the
    // game; and a file of no game.
    QString PutSet() {
        const QByteArray a = PlainImage(1 << 20, 21), b = PlainImage(2 << 20, 22),
                         c = PlainImage(1 << 20, 23), d = PlainImage(1 << 20, 24);
        Put("roms/a.smd", Smd(a));
        Put("roms/a copy.bin", a);
        Put("roms/deeper/b.bin", b);
        Put("roms/Game D.bin", PlainImage(1 << 20, 25));
        Put("roms/junk.bin", PlainImage(1 << 20, 26));
        return Put("set.dat", "<?xml version=\"1.0\"?>\n<datafile>\n<header><name>Test "
                              "set</name></header>\n" +
                                  Rom("Game A", a) + Rom("Game B", b) + Rom("Game C", c) +
                                  Rom("Game D", d) + "</datafile>\n");
    }
    Form_Audit* Opened(const QStringList& paths) {
        if (!forms_->OpenFiles(paths) || !forms_->AuditLoaded())
            return nullptr;
        Form_Audit* w = forms_->Audit();
        QSignalSpy audited(w, &Form_Audit::Audited);
        if (w->Busy() && !audited.wait(30000))
            return nullptr;
        return w;
    }
    // The window's run of the DAT against the set's folder.
    bool Ran(const QString& dat, bool recursive = true) {
        w_ = forms_->Audit();
        w_->AddDats({dat});
        w_->AddSources({dir_.filePath("roms")});
        w_->Check_Recursive->setChecked(recursive);
        QSignalSpy audited(w_, &Form_Audit::Audited);
        w_->Button_Run->click();
        return audited.wait(30000);
    }
    QByteArray Cli(const QStringList& arguments) {
        QProcess cli;
        cli.start(qEnvironmentVariable("KESTRIX_BIN_DIR") + "/kestrix-convert", arguments);
        cli.waitForFinished(60000);
        return cli.readAllStandardOutput();
    }
    int Shown() const { return w_->Table_Findings->model()->rowCount(); }

    QTemporaryDir dir_;
    std::unique_ptr<ScriptedDesktop> desktop_;
    std::unique_ptr<Forms> forms_;
    Form_Audit* w_ = nullptr;
};

void tst_FormAudit::init() {
    QDir(dir_.path()).removeRecursively();
    QVERIFY(QDir().mkpath(dir_.path()));
    // The cache of fingerprints is the test's own, empty.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir_.filePath("cache")));
    desktop_ = std::make_unique<ScriptedDesktop>();
    desktop_->uiLanguages = {QStringLiteral("en-US")};
    forms_ = std::make_unique<Forms>(*desktop_);
    forms_->Start();
}

void tst_FormAudit::cleanup() {
    forms_.reset();
    desktop_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// `kestrix set.zip roms/`, the DAT in the zip it is handed out in: the
// window opens and runs; Ctrl+S saves the fixdat audit --fixdat writes, and
// the reports are audit's and audit --json's, byte for byte.
void tst_FormAudit::givenWithDatRunsAndSavesAsCommandLine() {
    const QString dat = dir_.filePath("set.zip");
    QCOMPARE(
        TestFiles::RunProgram("python3", {"-c",
                                          "import sys, zipfile; zipfile.ZipFile(sys.argv[1], 'w', "
                                          "zipfile.ZIP_DEFLATED).write(sys.argv[2], 'set.dat')",
                                          dat, PutSet()})
            .status,
        0);
    const QString roms = dir_.filePath("roms");
    w_ = Opened({dat, roms});
    QVERIFY(w_ && w_->isVisible());
    QCOMPARE(w_->windowTitle(), QStringLiteral("Audit a collection"));
    QCOMPARE(w_->Dats(), QStringList{dat});
    desktop_->saves = {{dir_.filePath("fixdat.dat"), QString()}};
    QTest::keyClick(w_, Qt::Key_S, Qt::ControlModifier);
    const QStringList audit{"audit", "--dat", dat, "-r", roms};
    Cli(audit + QStringList{"--fixdat", dir_.filePath("cli-fixdat.dat")});
    QCOMPARE(TestFiles::ReadFile(dir_.filePath("fixdat.dat")),
             TestFiles::ReadFile(dir_.filePath("cli-fixdat.dat")));
    QVERIFY(TestFiles::ReadFile(dir_.filePath("fixdat.dat")).contains("Game C"));
    QVERIFY(w_->SaveReport(dir_.filePath("report.txt"), false));
    QCOMPARE(TestFiles::ReadFile(dir_.filePath("report.txt")), Cli(audit));
    desktop_->saves = {{dir_.filePath("report.json"), QStringLiteral("JSON files (*.json)")}};
    w_->Button_SaveReport->click();
    QCOMPARE(TestFiles::ReadFile(dir_.filePath("report.json")), Cli(audit + QStringList{"--json"}));
}

// The table by kind, with the counts in the filter; a folder's folders only
// when asked.
void tst_FormAudit::table_data() {
    QTest::addColumn<bool>("recursive");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("games");
    QTest::newRow("have") << true << int(Form_Audit::Kind::Have)
                          << QStringList{"Game A", "Game A", "Game B"};
    QTest::newRow("have, not into subfolders")
        << false << int(Form_Audit::Kind::Have) << QStringList{"Game A", "Game A"};
    QTest::newRow("missing") << true << int(Form_Audit::Kind::Missing) << QStringList{"Game C"};
    QTest::newRow("bad dump") << true << int(Form_Audit::Kind::BadDump) << QStringList{"Game D"};
    QTest::newRow("unknown") << true << int(Form_Audit::Kind::Unknown) << QStringList{""};
    QTest::newRow("duplicate") << true << int(Form_Audit::Kind::Duplicate) << QStringList{"Game A"};
}

void tst_FormAudit::table() {
    QFETCH(bool, recursive);
    QFETCH(int, kind);
    QFETCH(QStringList, games);
    QVERIFY(Ran(PutSet(), recursive));
    w_->Combo_Filter->setCurrentIndex(kind + 1);
    QStringList shown;
    for (int row = 0; row < Shown(); ++row)
        shown << w_->Table_Findings->model()->index(row, 1).data().toString();
    QCOMPARE(shown, games);
    QVERIFY2(w_->Combo_Filter->currentText().endsWith(QStringLiteral("(%1)").arg(games.size())),
             qPrintable(w_->Combo_Filter->currentText()));
    w_->Combo_Filter->setCurrentIndex(0);
    QCOMPARE(Shown(), 7); // without subfolders, B is missing instead of had
}

// Cancel: the run stops, shows nothing found, and nothing can be saved.
void tst_FormAudit::cancelShowsNothing() {
    const QString dat = PutSet();
    for (int i = 0; i < 600; ++i)
        Put(QStringLiteral("many/%1.bin").arg(i), PlainImage(64 << 10, quint32(100 + i)));
    w_ = forms_->Audit();
    w_->AddDats({dat});
    w_->AddSources({dir_.filePath("many")});
    QSignalSpy audited(w_, &Form_Audit::Audited);
    w_->Run();
    QVERIFY(w_->Button_Cancel->isEnabled() && !w_->Button_Run->isEnabled());
    w_->Button_Cancel->click();
    QVERIFY(audited.wait(30000));
    QVERIFY2(w_->Label_Result->text().contains(QStringLiteral("cancelled")),
             qPrintable(w_->Label_Result->text()));
    QCOMPARE(Shown(), 0);
    QVERIFY(!w_->Button_SaveFixdat->isEnabled() && w_->Button_Run->isEnabled());
    // The window going during a run (the program ending) stops it and waits.
    w_->Run();
    QVERIFY(w_->Busy());
    delete w_;
    QVERIFY(!forms_->AuditLoaded());
}

// What cannot be read or written is told in the window, and nothing of the
// user's is touched.
void tst_FormAudit::badInputTold_data() {
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("told");
    QTest::newRow("not a DAT") << "not a DAT"
                               << "not a DAT file";
    QTest::newRow("nothing to audit against") << "no DAT"
                                              << "Add the DAT files";
    QTest::newRow("fixdat onto the DAT") << "onto the DAT"
                                         << "which this run reads";
    QTest::newRow("report onto an image") << "onto an image"
                                          << "which this run audits";
    QTest::newRow("report into no folder") << "no folder"
                                           << "Cannot save the report";
}

void tst_FormAudit::badInputTold() {
    QFETCH(QString, what);
    QFETCH(QString, told);
    const QString dat =
        what == "not a DAT" ? Put("set.dat", "<html>a web page</html>\n") : PutSet();
    if (what == "no DAT") {
        w_ = forms_->Audit();
        w_->AddSources({dir_.filePath("roms")});
        w_->Run();
        QVERIFY(!w_->Busy());
        QVERIFY2(w_->Label_Result->text().contains(told), qPrintable(w_->Label_Result->text()));
        return;
    }
    const QByteArray datBytes = TestFiles::ReadFile(dat);
    QVERIFY(Ran(dat));
    if (what == "onto the DAT")
        QVERIFY(!w_->SaveFixdat(dat));
    else if (what == "onto an image")
        QVERIFY(!w_->SaveReport(dir_.filePath("roms/junk.bin"), false));
    else if (what == "no folder")
        QVERIFY(!w_->SaveReport(dir_.filePath("nowhere/report.txt"), false));
    QVERIFY2(w_->Label_Result->text().contains(told), qPrintable(w_->Label_Result->text()));
    QCOMPARE(TestFiles::ReadFile(dat), datBytes);
    if (what == "onto an image")
        QCOMPARE(TestFiles::ReadFile(dir_.filePath("roms/junk.bin")), PlainImage(1 << 20, 26));
}

QTEST_MAIN(tst_FormAudit)
#include "tst_formaudit.moc"
