#include "Form_Export.h"
#include "Form_Main.h"
#include "Forms.h"
#include "RomImages.h"
#include "ScriptedDesktop.h"
#include "TestFiles.h"
#include "WriterFaults.h"

#include <QAction>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <atomic>
#include <memory>

using namespace RomImages;

// The export window: a preview first, then the export the command line
// writes, then its undo; cancelled, it leaves a manifest true to what it
// wrote; bad input is told.
class tst_FormExport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void previewExportUndo();
    void cancelKeepsManifestTrue();
    void badInputTold_data();
    void badInputTold();

private:
    QString Put(const QString& name, const QByteArray& bytes) {
        QDir(dir_.path()).mkpath(QFileInfo(name).path());
        return TestFiles::Put(QDir(dir_.path()), name, bytes);
    }
    // Every file under a folder, with its content's SHA-1.
    static QStringList Tree(const QString& root) {
        QStringList tree;
        QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString relative = QDir(root).relativeFilePath(path);
            if (!relative.startsWith(QLatin1String("kestrix-export-")))
                tree << relative + QLatin1Char(' ') +
                            QCryptographicHash::hash(TestFiles::ReadFile(path),
                                                     QCryptographicHash::Sha1)
                                .toHex();
        }
        tree.sort();
        return tree;
    }
    void Open();
    bool Finished(const std::function<void()>& start) {
        QSignalSpy finished(w_, &Form_Export::Finished);
        start();
        return finished.wait(30000);
    }

    QTemporaryDir dir_;
    std::unique_ptr<ScriptedDesktop> desktop_;
    std::unique_ptr<Forms> forms_;
    Form_Export* w_ = nullptr;
};

void tst_FormExport::initTestCase() {
    // The user's own profiles are the test's.
    qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8());
}

void tst_FormExport::init() {
    QDir(dir_.path()).removeRecursively();
    QVERIFY(QDir().mkpath(dir_.filePath("dev")));
    Open();
}

void tst_FormExport::Open() {
    desktop_ = std::make_unique<ScriptedDesktop>();
    desktop_->uiLanguages = {QStringLiteral("en-US")};
    forms_ = std::make_unique<Forms>(*desktop_);
    forms_->Start();
    forms_->Main()->Menu_Export->trigger();
    w_ = forms_->Export();
}

void tst_FormExport::cleanup() {
    forms_.reset();
    desktop_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The Mega Sg: an SMD and a byte-swapped image written as plain .md files,
// the 32X game left out; the preview writes nothing and Export waits for it;
// the tree is the command line's, byte for byte; Undo takes it back.
void tst_FormExport::previewExportUndo() {
    QByteArray x = PlainImage(1 << 20, 33);
    PutText(x, 0x100, "SEGA 32X", 16);
    const QStringList sources{Put("roms/a.smd", Smd(PlainImage(1 << 20, 31))),
                              Put("roms/b.bin", Byteswapped(PlainImage(2 << 20, 32))),
                              Put("roms/x.bin", x)};
    w_->AddSources({dir_.filePath("roms")});
    QVERIFY(w_->ChooseProfile(QStringLiteral("megasg")));
    w_->SetFolder(dir_.filePath("dev"));
    QVERIFY(!w_->Button_Export->isEnabled());
    QVERIFY(Finished([this] { w_->Button_Preview->click(); }));
    QCOMPARE(w_->Table_Files->topLevelItemCount(), 3);
    QCOMPARE(w_->Table_Files->topLevelItem(0)->text(1), QStringLiteral("Genesis/a.md"));
    QCOMPARE(w_->Table_Files->topLevelItem(0)->text(3), QStringLiteral("from an SMD image"));
    QCOMPARE(w_->Table_Files->topLevelItem(2)->text(2), QStringLiteral("left out"));
    QCOMPARE(Tree(dir_.filePath("dev")), QStringList());
    QVERIFY(w_->Button_Export->isEnabled());
    QVERIFY(Finished([this] { w_->Button_Export->click(); }));
    QVERIFY2(w_->Label_Result->text().startsWith("2 written, 1 left out"),
             qPrintable(w_->Label_Result->text()));
    QProcess cli;
    cli.start(qEnvironmentVariable("KESTRIX_BIN_DIR") + "/kestrix-convert",
              QStringList{"export", "-q", "--profile", "megasg", "-o", dir_.filePath("cli")} +
                  sources);
    QVERIFY(QDir().mkpath(dir_.filePath("cli")));
    QVERIFY(cli.waitForFinished(60000));
    QCOMPARE(Tree(dir_.filePath("dev")), Tree(dir_.filePath("cli")));
    QCOMPARE(Tree(dir_.filePath("dev")).size(), 2);
    // Another choice needs another preview.
    QVERIFY(!w_->Button_Export->isEnabled());
    QVERIFY(!w_->LastManifest().isEmpty());
    QCOMPARE(w_->Button_Undo->text(), QStringLiteral("&Undo the last export"));
    QVERIFY(Finished([this] { w_->Button_Undo->click(); }));
    QVERIFY2(w_->Label_Result->text().startsWith("Undone: 2 removed"),
             qPrintable(w_->Label_Result->text()));
    QCOMPARE(QDir(dir_.filePath("dev")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList());
}

// Cancelled at once: what was written by then, and only that, is in the
// manifest, which Undo takes back.
void tst_FormExport::cancelKeepsManifestTrue() {
    for (int i = 0; i < 24; ++i)
        Put(QStringLiteral("roms/game%1.smd").arg(i), Smd(PlainImage(1 << 20, quint32(40 + i))));
    w_->AddSources({dir_.filePath("roms")});
    QVERIFY(w_->ChooseProfile(QStringLiteral("plain")));
    w_->SetFolder(dir_.filePath("dev"));
    QVERIFY(Finished([this] { w_->Preview(); }));
    // The run is held at its first write until Cancel has been pressed.
    QSemaphore pressed;
    std::atomic<bool> held{false};
    WriterFaults::BeforeWrite([&] {
        if (!held.exchange(true))
            pressed.acquire();
    });
    const bool finished = Finished([&] {
        w_->Export();
        w_->Cancel();
        pressed.release();
    });
    WriterFaults::BeforeWrite({});
    QVERIFY(finished);
    QVERIFY2(w_->Label_Result->text().startsWith("Cancelled: "),
             qPrintable(w_->Label_Result->text()));
    const int written = int(Tree(dir_.filePath("dev")).size());
    QVERIFY(written < 24);
    if (written > 0) {
        const QJsonDocument manifest =
            QJsonDocument::fromJson(TestFiles::ReadFile(w_->LastManifest()));
        QCOMPARE(manifest.object().value("files").toArray().size(), written);
        QVERIFY(Finished([this] { w_->Undo(); }));
    }
    QCOMPARE(Tree(dir_.filePath("dev")), QStringList());
}

void tst_FormExport::badInputTold_data() {
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("told");
    QTest::newRow("no images") << "no images"
                               << "Add the images or folders to export.";
    QTest::newRow("no folder") << "no folder"
                               << "Choose the folder to write into";
    QTest::newRow("a folder that is not there") << "missing folder"
                                                << "does not exist.";
    QTest::newRow("a user's profile that is malformed")
        << "malformed profile"
        << "Your own device profiles are not offered: " +
               QDir::toNativeSeparators(dir_.filePath("config/kestrix/devices.profiles")) +
               ": line 1: expected [name] or key = value";
}

void tst_FormExport::badInputTold() {
    QFETCH(QString, situation);
    QFETCH(QString, told);
    if (situation == QLatin1String("malformed profile")) {
        cleanup();
        Put("config/kestrix/devices.profiles", "this is no profile\n");
        Open();
        QCOMPARE(w_->Label_Result->text(), told);
        QCOMPARE(w_->Combo_Profile->count(), 7); // the built-in ones
        return;
    }
    if (situation != QLatin1String("no images"))
        w_->AddSources({Put("a.bin", PlainImage(1 << 20, 50))});
    w_->SetFolder(situation == QLatin1String("no folder")        ? QString()
                  : situation == QLatin1String("missing folder") ? dir_.filePath("nowhere")
                                                                 : dir_.filePath("dev"));
    w_->Button_Preview->click();
    QVERIFY(!w_->Busy());
    QVERIFY2(w_->Label_Result->text().contains(told), qPrintable(w_->Label_Result->text()));
}

QTEST_MAIN(tst_FormExport)
#include "tst_formexport.moc"
