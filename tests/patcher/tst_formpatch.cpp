#include "Form_Main.h"
#include "Form_MakePatch.h"
#include "Form_Patch.h"
#include "Forms.h"
#include "MsgBox.h"
#include "PatchWriters.h"
#include "RomImages.h"
#include "ScriptedDesktop.h"
#include "TestFiles.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

using namespace RomImages;

// The patch window's decisions: what it says before anything is written,
// the order the patches go on in, the output's name, layout and bytes, the
// second step a wrong base needs, and files given to the program.
class tst_FormPatch : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void verdicts_data();
    void verdicts();
    void appliesInOrderAsTheCommandLineNames();
    void wrongBaseNeedsTheSecondStep();
    void existingOutputIsAskedAbout();
    void filesGivenToTheProgram();
    void filesDroppedOnTheMainWindow();
    void patchesChosenInTheDialog();
    void makesAPatch_data();
    void makesAPatch();

private:
    QString Put(const QString& name, const QByteArray& bytes) {
        return TestFiles::Put(QDir(dir_.path()), name, bytes);
    }
    // The window after it has judged what it was given.
    Form_Patch* Judged(const QString& image, const QStringList& patches) {
        Form_Patch* w = forms_->Patch();
        w->SetImage(image);
        w->AddPatches(patches);
        if (!QTest::qWaitFor([w] { return !w->Busy(); }, 10000))
            qWarning("the patch window is still judging");
        return w;
    }
    bool ApplyAndWait(Form_Patch* w) {
        QSignalSpy applied(w, &Form_Patch::Applied);
        w->Button_Apply->click();
        return applied.count() > 0 || applied.wait(10000);
    }

    QTemporaryDir dir_;
    std::unique_ptr<ScriptedDesktop> desktop_;
    std::unique_ptr<Forms> forms_;
    // A 1 MiB plain image and two versions of it, each with its header
    // checksum right.
    QByteArray base_ = PlainImage(1 << 20, 7);
    QByteArray hacked_ = [this] {
        QByteArray b = base_;
        b.replace(0x8000, 16, QByteArray(16, 'H'));
        PutHeader(b, true);
        return b;
    }();
    QByteArray translated_ = [this] {
        QByteArray b = hacked_;
        b.replace(0x9000, 8, QByteArray("KESTRIX!"));
        PutHeader(b, true);
        return b;
    }();
};

void tst_FormPatch::init() {
    desktop_ = std::make_unique<ScriptedDesktop>();
    desktop_->uiLanguages = {QStringLiteral("en-US")};
    forms_ = std::make_unique<Forms>(*desktop_);
    forms_->Start();
}

void tst_FormPatch::cleanup() {
    forms_.reset();
    desktop_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QDir(dir_.path()).removeRecursively();
    QDir().mkpath(dir_.path());
}

// Shown before anything is written, and whether Apply is offered.
void tst_FormPatch::verdicts_data() {
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QByteArray>("patch");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<QString>("details");
    QTest::addColumn<bool>("apply");
    const QByteArray smd = Smd(base_);
    QTest::newRow("a BPS made for the SMD image's plain content")
        << smd << PatchWriters::Bps(base_, hacked_) << "Ready: target CRC32 "
        << "hack.bps: BPS, " << true;
    QTest::newRow("a BPS made for another image")
        << Smd(PlainImage(1 << 20, 8)) << PatchWriters::Bps(base_, hacked_)
        << "This is not the image the patches were made for: the patch expects a plain image "
           "of 1048576 bytes with CRC32 "
        << "made for 1048576 bytes with CRC32" << false;
    QTest::newRow("an IPS, which names no base")
        << smd << PatchWriters::Ips(base_, hacked_) << "Ready"
        << "an IPS patch names no image it was made for" << true;
    QTest::newRow("a BPS cut short")
        << smd << PatchWriters::Bps(base_, hacked_).left(40) << "A patch cannot be used"
        << "hack.bps: cannot be used: " << false;
    QTest::newRow("an image that is no file")
        << QByteArray() << PatchWriters::Bps(base_, hacked_) << "The image cannot be read: "
        << "hack.bps: BPS" << false;
}

void tst_FormPatch::verdicts() {
    QFETCH(QByteArray, image);
    QFETCH(QByteArray, patch);
    QFETCH(QString, verdict);
    QFETCH(QString, details);
    QFETCH(bool, apply);
    const QString imagePath = image.isEmpty() ? QDir::toNativeSeparators(dir_.filePath("none.smd"))
                                              : Put(QStringLiteral("game.smd"), image);
    const bool ips = patch.startsWith("PATCH");
    Form_Patch* w = Judged(imagePath, {Put(ips ? "hack.ips" : "hack.bps", patch)});
    QVERIFY2(w->Label_Verdict->text().startsWith(verdict), qPrintable(w->Label_Verdict->text()));
    QVERIFY2(w->Text_Details->toPlainText().contains(details),
             qPrintable(w->Text_Details->toPlainText()));
    QCOMPARE(w->Button_Apply->isEnabled(), apply);
    QCOMPARE(w->Check_Anyway->isVisible(), verdict.startsWith("This is not the image"));
    QCOMPARE(QDir(dir_.path()).entryList(QDir::Files).size(), image.isEmpty() ? 1 : 2);
}

// Two patches, the second made for what the first makes: added in the
// wrong order they do not fit, moved into order they do; the image comes
// out in its own layout, named after the last patch, holding what both
// make.
void tst_FormPatch::appliesInOrderAsTheCommandLineNames() {
    const QString image = Put("game.smd", Smd(base_));
    const QString first = Put("1-hack.bps", PatchWriters::Bps(base_, hacked_));
    const QString second = Put("2-translation.ups", PatchWriters::Ups(hacked_, translated_));
    Form_Patch* w = Judged(image, {second, first});
    QVERIFY(!w->Button_Apply->isEnabled());
    QSignalSpy judged(w, &Form_Patch::Judged);
    w->List_Patches->setCurrentRow(1);
    w->Button_Up->click();
    QVERIFY(judged.wait(10000));
    QCOMPARE(w->Patches(), (QStringList{first, second}));
    QCOMPARE(w->Text_Name->text(), QStringLiteral("2-translation.smd"));
    QVERIFY2(w->Button_Apply->isEnabled(), qPrintable(w->Label_Verdict->text()));
    QVERIFY(ApplyAndWait(w));
    QCOMPARE(TestFiles::ReadFile(dir_.filePath("2-translation.smd")), Smd(translated_));
    QVERIFY2(w->Label_Result->text().startsWith(QStringLiteral("Written: ")),
             qPrintable(w->Label_Result->text()));
    QVERIFY(w->Label_Result->text().contains(QStringLiteral("target CRC32")));
}

// A wrong base, given with a DAT file that names the image: the window
// says what the image is; Apply (Return among it) writes nothing; the
// second step, ticked, writes it and says it was forced.
void tst_FormPatch::wrongBaseNeedsTheSecondStep() {
    const QByteArray other = PlainImage(1 << 20, 9);
    const QString image = Put("other.bin", other);
    const QString dat =
        Put("set.dat", "<?xml version=\"1.0\"?>\n<datafile><game name=\"Other "
                       "Game (Europe)\"><rom name=\"o.md\" size=\"1048576\" "
                       "sha1=\"" +
                           QCryptographicHash::hash(other, QCryptographicHash::Sha1).toHex() +
                           "\"/></game></datafile>\n");
    QVERIFY(forms_->OpenFiles({image, Put("hack.bps", PatchWriters::Bps(base_, hacked_)), dat}));
    QVERIFY(!forms_->AuditLoaded());
    Form_Patch* w = forms_->Patch();
    QTRY_VERIFY(!w->Busy() && w->Label_Verdict->text().contains(
                                  QStringLiteral("This image is Other Game (Europe) in the DAT")));
    QVERIFY(w->Text_Details->toPlainText().contains(
        QStringLiteral("In the DAT files: Other Game (Europe)")));
    QTest::keyClick(w, Qt::Key_Return);
    w->Apply();
    QVERIFY(!QFile::exists(dir_.filePath("hack.bin")));
    w->Check_Anyway->setChecked(true);
    QVERIFY(w->Button_Apply->isEnabled());
    QVERIFY(ApplyAndWait(w));
    QVERIFY(QFile::exists(dir_.filePath("hack.bin")));
    QVERIFY2(w->Label_Result->text().contains(QStringLiteral("forced onto an image")),
             qPrintable(w->Label_Result->text()));
}

// An output that exists is asked about: No keeps it.
void tst_FormPatch::existingOutputIsAskedAbout() {
    const QString image = Put("game.bin", base_);
    const QString kept = Put("hack.bin", "somebody's file");
    Form_Patch* w = Judged(image, {Put("hack.bps", PatchWriters::Bps(base_, hacked_))});
    desktop_->answers = {MsgBox::No};
    QVERIFY(ApplyAndWait(w));
    QCOMPARE(desktop_->messages.size(), 1);
    QCOMPARE(desktop_->messages[0].title, QStringLiteral("Replace the file?"));
    QCOMPARE(TestFiles::ReadFile(kept), QByteArray("somebody's file"));
    QVERIFY2(w->Label_Result->text().startsWith(QStringLiteral("Nothing written: ")),
             qPrintable(w->Label_Result->text()));
}

// `kestrix image.smd fix.bps`: the patch window with both, and Return
// applies it.
void tst_FormPatch::filesGivenToTheProgram() {
    const QString image = Put("game.smd", Smd(base_));
    const QString patch = Put("fix.bps", PatchWriters::Bps(base_, hacked_));
    QVERIFY(!forms_->OpenFiles({}));
    QVERIFY(!forms_->PatchLoaded());
    QVERIFY(forms_->OpenFiles({image, patch}));
    Form_Patch* w = forms_->Patch();
    QVERIFY(w->isVisible());
    QCOMPARE(w->Text_Image->text(), image);
    QCOMPARE(w->Patches(), QStringList{patch});
    QTRY_VERIFY(w->Button_Apply->isEnabled());
    QSignalSpy applied(w, &Form_Patch::Applied);
    QTest::keyClick(w, Qt::Key_Return);
    QVERIFY(applied.count() > 0 || applied.wait(10000));
    QCOMPARE(TestFiles::ReadFile(dir_.filePath("fix.smd")), Smd(hacked_));
}

// A patch and an image dropped on the main window: the patch window with
// both.
void tst_FormPatch::filesDroppedOnTheMainWindow() {
    const QString image = Put("game.smd", Smd(base_));
    const QString patch = Put("fix.bps", PatchWriters::Bps(base_, hacked_));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(patch), QUrl::fromLocalFile(image)});
    QWidget* main = forms_->Main();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(main, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(main, &drop);
    QVERIFY(forms_->PatchLoaded());
    QCOMPARE(forms_->Patch()->Patches(), QStringList{patch});
    QCOMPARE(forms_->Patch()->Text_Image->text(), image);
}

// Several patches chosen at once come back as a folder and names: each is
// added by its full path, in the order chosen.
void tst_FormPatch::patchesChosenInTheDialog() {
    const QString a = Put("a.ips", PatchWriters::Ips(base_, hacked_));
    const QString b = Put("b.ips", PatchWriters::Ips(hacked_, translated_));
    desktop_->selections = {QDir::toNativeSeparators(dir_.path()) + QChar(0) + "b.ips" + QChar(0) +
                            "a.ips"};
    forms_->Patch()->Button_AddPatches->click();
    QCOMPARE(forms_->Patch()->Patches(), (QStringList{b, a}));
    QCOMPARE(desktop_->dialogs.size(), 1);
    QCOMPARE(desktop_->dialogs[0].Flags & CommonDialog::AllowMultiSelect,
             CommonDialog::AllowMultiSelect);
}

// "Make a patch": the patch of an original into a modified image, made
// between their plain contents and read back here by the engine; the same
// image twice is refused; a file that exists is asked about.
void tst_FormPatch::makesAPatch_data() {
    QTest::addColumn<QByteArray>("original"); // as an SMD file
    QTest::addColumn<QByteArray>("modified"); // as a plain one
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("written");
    QTest::addColumn<QString>("words");
    QTest::newRow("BPS") << base_ << hacked_ << 0 << false << true << "a BPS patch of";
    QTest::newRow("UPS over a file, answered Yes")
        << base_ << translated_ << 2 << true << true << "a UPS patch of";
    QTest::newRow("over a file, answered No") << base_ << hacked_ << 1 << true << false << "";
    QTest::newRow("the same image twice")
        << base_ << base_ << 0 << false << false << "No patch made: the two images are the same";
}

void tst_FormPatch::makesAPatch() {
    QFETCH(QByteArray, original);
    QFETCH(QByteArray, modified);
    QFETCH(int, format);
    QFETCH(bool, exists);
    QFETCH(bool, written);
    QFETCH(QString, words);
    const QString extension[] = {".bps", ".ips", ".ups"};
    const QString patchPath = dir_.filePath("hack" + extension[format]);
    if (exists)
        Put("hack" + extension[format], "somebody's file");
    desktop_->answers = {QString(QTest::currentDataTag()).contains("Yes") ? MsgBox::Yes
                                                                          : MsgBox::No};
    Form_Patch* patch = forms_->Patch();
    patch->SetImage(Put("game.smd", Smd(original)));
    Form_MakePatch* w = patch->MakePatch();
    QCOMPARE(w->windowTitle(), QStringLiteral("Make a patch"));
    QCOMPARE(w->Text_Original->text(), dir_.filePath("game.smd"));
    w->Combo_Format->setCurrentIndex(format);
    w->Text_Modified->setText(Put("hack.bin", modified));
    QCOMPARE(w->Text_Patch->text(), QDir::toNativeSeparators(patchPath));
    QSignalSpy made(w, &Form_MakePatch::Made);
    w->Button_Make->click();
    if (!words.isEmpty()) // answered No, nothing is begun
        QVERIFY(made.count() > 0 || made.wait(10000));
    QVERIFY2(w->Label_Result->text().contains(words), qPrintable(w->Label_Result->text()));
    const QByteArray bytes = TestFiles::ReadFile(patchPath);
    if (!written) {
        QCOMPARE(bytes, exists ? QByteArray("somebody's file") : QByteArray());
        return;
    }
    Patch::Description d;
    QCOMPARE(Patch::Describe(bytes, &d), QString());
    std::vector<std::uint8_t> back;
    const auto* from = reinterpret_cast<const std::uint8_t*>(original.constData());
    QVERIFY(!Patch::Apply(bytes, d, RomInspector::MemoryReader(from, original.size()),
                          original.size(), &back)
                 .Failed());
    QVERIFY(QByteArray(reinterpret_cast<const char*>(back.data()), qsizetype(back.size())) ==
            modified);
}

QTEST_MAIN(tst_FormPatch)
#include "tst_formpatch.moc"
