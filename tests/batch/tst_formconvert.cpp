#include "ButtonPlus.h"
#include "DriveList.h"
#include "FileFunctions.h"
#include "FileHandle.h"
#include "FolderList.h"
#include "Form_Convert.h"
#include "Form_Main.h"
#include "Forms.h"
#include "Hover.h"
#include "ListInspector.h"
#include "Mod_Convert.h"
#include "Mod_File.h"
#include "MsgBox.h"
#include "PathSeparator.h"
#include "RomImages.h"
#include "ScriptedDesktop.h"
#include "TestFiles.h"
#include "XP_ProgressBar.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/fanotify.h>
#include <sys/stat.h>
#include <unistd.h>

using TestFiles::RandomBytes;
using TestFiles::ReadFile;
using TestFiles::WriteFile;

namespace {

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// The dialog's answer for several files of one folder.
QString Selection(const QString& folder, const QStringList& names) {
    return (QStringList{Native(folder)} + names).join(QChar(0));
}

QStringList Names(const QString& prefix, int count) {
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << QStringLiteral("%1%2.bin").arg(prefix).arg(i, 4, 10, QLatin1Char('0'));
    return names;
}

} // namespace

class tst_FormConvert : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // The list.
    void addDuplicates_data();
    void addDuplicates();
    void limitExceeded();
    void exactlyThousandShowsNoBox();
    void questionMarksArePruned();
    void cancelledDialogKeepsList();
    void removeAndSelect();
    void displayText_data();
    void displayText();

    // The run.
    void emptyListCannotConvert_data();
    void emptyListCannotConvert();
    void percentages_data();
    void percentages();
    void controlsDuringRun();
    void overwrite_data();
    void overwrite();
    void hiddenFileInDestinationsPlace();
    void folderInDestinationsPlace();
    void everyFileFails();
    void sourceDeletedAfterListing();
    void vanishedOutputFolder();
    void cancelConfirmed();
    void cancelDeclined();
    void completionAnsweredYes();
    void mixedBatch();

    // The window.
    void closeRefusedDuringRun();
    void closeWithEntries_data();
    void closeWithEntries();
    void cancelWithEmptyListKeepsFolder();
    void cancelWithEntries_data();
    void cancelWithEntries();
    void unusableDrive();
    void folderListDrivesTextPath();
    void hints_data();
    void hints();
    void dropFiles_data();
    void dropFiles();
    void pathTextClearOfLabel();
    void inspectionHints();
    void zippedImages_data();
    void zippedImages();
    void linkInDestinationsPlace_data();
    void linkInDestinationsPlace();
    void specialSourceAndDotFolder();
    void nameAppearsDuringTheRun();
    void leavingDoesNotWaitForWork_data();
    void leavingDoesNotWaitForWork();

private:
    void Open(int mode);
    // The windows switched to English from the language menu.
    void SpeakEnglish() {
        forms_->ChooseLanguage(Language::Choice::English);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
    }
    // Real files: `count` sources of the mode's layout in src/, named a0.., and out/.
    QStringList MakeSources(int count, int mode);
    void AddSources(const QStringList& names);
    QString Src(const QString& name = QString()) const {
        return Native(dir_.filePath("src/" + name));
    }
    QString Out(const QString& name = QString()) const {
        return Native(dir_.filePath("out/" + name));
    }
    QStringList Titles() const;

    QTemporaryDir dir_;
    std::unique_ptr<ScriptedDesktop> desktop_;
    std::unique_ptr<Forms> forms_;
    Form_Convert* w_ = nullptr;
};

void tst_FormConvert::init() {
    QVERIFY(dir_.isValid());
    QDir(dir_.path()).removeRecursively();
    QVERIFY(QDir().mkpath(dir_.filePath("src")));
    QVERIFY(QDir().mkpath(dir_.filePath("out")));
    QDir::setCurrent(dir_.path());
    desktop_ = std::make_unique<ScriptedDesktop>();
    forms_ = std::make_unique<Forms>(*desktop_);
    forms_->Start();
}

void tst_FormConvert::cleanup() {
    forms_.reset();
    desktop_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void tst_FormConvert::Open(int mode) {
    Form_Main* main = forms_->Main();
    ButtonPlus* buttons[] = {main->Button_SMDtoBIN, main->Button_BINtoSMD, main->Button_MDtoBIN,
                             main->Button_BINtoMD};
    buttons[mode]->click();
    w_ = forms_->Convert();
    QVERIFY(w_->isVisible());
    QVERIFY(w_->Directory->SetPath(Out()));
}

QStringList tst_FormConvert::MakeSources(int count, int mode) {
    QStringList names;
    const int size = mode == SMDtoBIN ? 16384 + 512 : 16384;
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("a%1.img").arg(i);
        WriteFile(Src(name), RandomBytes(size, quint32(i + 1)));
        names << name;
    }
    return names;
}

void tst_FormConvert::AddSources(const QStringList& names) {
    desktop_->selections = {names.size() == 1 ? Src(names[0]) : Selection(Src().chopped(1), names)};
    w_->Button_AddFiles->click();
}

QStringList tst_FormConvert::Titles() const {
    QStringList titles;
    for (const auto& message : desktop_->messages)
        titles << message.title;
    return titles;
}

// --- the list ---------------------------------------------------------------

void tst_FormConvert::addDuplicates_data() {
    QTest::addColumn<QStringList>("first");
    QTest::addColumn<QStringList>("second");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("same base name against an empty list: none")
        << QStringList{"x.smd", "x.bin", "y.bin"} << QStringList() << QStringList{"y.bin"};
    QTest::newRow("same base name against a list: the first")
        << QStringList{"y.bin"} << QStringList{"x.smd", "x.bin"} << QStringList{"y.bin", "x.smd"};
    QTest::newRow("single file already listed by base name")
        << QStringList{"game.smd"} << QStringList{"game.eu.bin"} << QStringList{"game.smd"};
}

void tst_FormConvert::addDuplicates() {
    QFETCH(QStringList, first);
    QFETCH(QStringList, second);
    QFETCH(QStringList, expected);
    Open(BINtoMD);
    AddSources(first);
    if (!second.isEmpty())
        AddSources(second);
    QStringList names;
    for (const QString& entry : std::as_const(w_->Session.FileList))
        names << FileFunctions::GetFileName(entry);
    QCOMPARE(names, expected);
    QCOMPARE(w_->Session.FileCount, std::int32_t(expected.size()));
    QCOMPARE(w_->List_Files->count(), expected.size());
    QVERIFY(desktop_->messages.isEmpty());
    QCOMPARE(desktop_->dialogs.last().Flags, 0x81A00);
    QVERIFY(desktop_->dialogs.last().FileName.isEmpty());
}

void tst_FormConvert::limitExceeded() {
    Open(BINtoMD);
    AddSources(Names("old", 600));
    QVERIFY(desktop_->messages.isEmpty());
    AddSources(Names("new", 600));
    QCOMPARE(desktop_->messages.size(), 1);
    QCOMPARE(desktop_->messages[0].title, QStringLiteral("Limit exceeded"));
    QCOMPARE(desktop_->messages[0].text,
             QStringLiteral("You have added more than the maximum file conversion limit (1000 "
                            "files). Some files were removed"));
    QCOMPARE(desktop_->messages[0].style, 0);
    QCOMPARE(w_->Session.FileList.size(), 1000);
    QCOMPARE(w_->Session.FileCount, 1000);
    QCOMPARE(w_->List_Files->count(), 1000);
    QCOMPARE(FileFunctions::GetFileName(w_->Session.FileList[599]), QStringLiteral("old0599.bin"));
    QCOMPARE(FileFunctions::GetFileName(w_->Session.FileList[999]), QStringLiteral("new0399.bin"));
}

void tst_FormConvert::exactlyThousandShowsNoBox() {
    Open(BINtoMD);
    AddSources(Names("old", 999));
    AddSources({QStringLiteral("last.bin")});
    QVERIFY(desktop_->messages.isEmpty());
    QCOMPARE(w_->Session.FileCount, 1000);
    QCOMPARE(w_->List_Files->count(), 1000);
}

void tst_FormConvert::questionMarksArePruned() {
    Open(BINtoMD);
    AddSources({"?first.bin", "b.bin", "mid?dle.bin", "c.bin", "last?.bin"});
    AddSources({"d?.bin"});
    QStringList names;
    for (const QString& entry : std::as_const(w_->Session.FileList))
        names << FileFunctions::GetFileName(entry);
    QCOMPARE(names, (QStringList{"b.bin", "c.bin"}));
    QCOMPARE(w_->Session.FileCount, 2);
    QCOMPARE(w_->List_Files->count(), 2);
    QVERIFY(desktop_->messages.isEmpty());
}

void tst_FormConvert::cancelledDialogKeepsList() {
    Open(BINtoMD);
    AddSources({"a.bin", "b.bin"});
    w_->List_Files->item(1)->setSelected(true);
    desktop_->selections.clear();
    w_->Button_AddFiles->click();
    QCOMPARE(w_->Session.FileList.size(), 2);
    QCOMPARE(w_->List_Files->count(), 2);
    QVERIFY(w_->List_Files->selectedItems().isEmpty());
}

void tst_FormConvert::removeAndSelect() {
    Open(BINtoMD);
    AddSources({"p1.bin", "p2.bin", "p3.bin", "p4.bin", "p5.bin"});
    // Nothing selected: nothing removed.
    w_->Button_RemoveFiles->click();
    QCOMPARE(w_->Session.FileCount, 5);
    // Lines 1 and 3 (from 0): entries 1, 3 and 5 stay.
    w_->List_Files->item(1)->setSelected(true);
    w_->List_Files->item(3)->setSelected(true);
    w_->Button_RemoveFiles->click();
    QStringList names;
    for (const QString& entry : std::as_const(w_->Session.FileList))
        names << FileFunctions::GetFileName(entry);
    QCOMPARE(names, (QStringList{"p1.bin", "p3.bin", "p5.bin"}));
    QCOMPARE(w_->Session.FileCount, 3);
    QCOMPARE(w_->List_Files->item(1)->text(), QStringLiteral("p3.bin->p3.md"));

    w_->Button_SelectAll->click();
    QCOMPARE(w_->List_Files->selectedItems().size(), 3);
    w_->Button_DeselectAll->click();
    QCOMPARE(w_->List_Files->selectedItems().size(), 0);
    QCOMPARE(w_->Session.FileCount, 3);

    w_->Button_SelectAll->click();
    w_->Button_RemoveFiles->click();
    QVERIFY(w_->Session.FileList.isEmpty());
    QCOMPARE(w_->Session.FileCount, 0);
    QCOMPARE(w_->List_Files->count(), 0);
    w_->Button_RemoveFiles->click(); // an empty list does nothing
    QCOMPARE(w_->Session.FileCount, 0);
}

void tst_FormConvert::displayText_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("line");
    QTest::newRow("BIN to MD") << 3 << "Sonic.bin"
                               << "Sonic.bin->Sonic.md";
    QTest::newRow("SMD to BIN, no extension") << 0 << "readme"
                                              << "readme->readme.bin";
    QTest::newRow("SMD to BIN, two dots") << 0 << "Game.eu.smd"
                                          << "Game.eu.smd->Game.bin";
    QTest::newRow("BIN to SMD") << 1 << "x.bin"
                                << "x.bin->x.smd";
    QTest::newRow("MD to BIN, only an extension") << 2 << ".md"
                                                  << ".md->.bin";
}

void tst_FormConvert::displayText() {
    QFETCH(int, mode);
    QFETCH(QString, name);
    QFETCH(QString, line);
    Open(mode);
    AddSources({name});
    QCOMPARE(w_->List_Files->item(0)->text(), line);
}

// --- the run ----------------------------------------------------------------

// The box keeps its English words in both languages; the label is the
// window's language.
void tst_FormConvert::emptyListCannotConvert_data() {
    QTest::addColumn<bool>("english");
    QTest::addColumn<QString>("status");
    QTest::newRow("Chinese") << false << "进度";
    QTest::newRow("English") << true << "Progress";
}

void tst_FormConvert::emptyListCannotConvert() {
    QFETCH(bool, english);
    QFETCH(QString, status);
    Open(BINtoMD);
    if (english)
        SpeakEnglish();
    w_->Button_Convert->click();
    QCOMPARE(desktop_->messages.size(), 1);
    QCOMPARE(desktop_->messages[0].title, QStringLiteral("Cannot Convert"));
    QCOMPARE(desktop_->messages[0].text, QStringLiteral("Please add files before converting"));
    QCOMPARE(w_->Label_Status->text(), status);
    QVERIFY(!w_->Session.Converting);
}

void tst_FormConvert::percentages_data() {
    QTest::addColumn<int>("files");
    QTest::addColumn<QStringList>("statuses");
    QTest::newRow("1") << 1 << QStringList{"100/100%"};
    QTest::newRow("3") << 3 << QStringList{"33/100%", "66/100%", "100/100%"};
    QTest::newRow("7") << 7 << QStringList{"14/100%", "28/100%", "42/100%", "57/100%",
                                           "71/100%", "85/100%", "100/100%"};
}

void tst_FormConvert::percentages() {
    QFETCH(int, files);
    QFETCH(QStringList, statuses);
    Open(BINtoMD);
    AddSources(MakeSources(files, BINtoMD));
    QStringList seen;
    QList<int> values;
    desktop_->onYield = [&](int n) {
        if (n == 1) {
            QCOMPARE(w_->Label_Status->text(), QStringLiteral("1/100%"));
            return;
        }
        seen << w_->Label_Status->text();
        values << w_->Progress->Value();
    };
    desktop_->onMessage = [&](const ScriptedDesktop::Message& m) {
        if (m.title == QLatin1String("Conversion Complete")) {
            seen << w_->Label_Status->text();
            values << w_->Progress->Value();
        }
    };
    w_->Button_Convert->click();
    QCOMPARE(seen, statuses);
    QCOMPARE(values.last(), 100);
    QCOMPARE(desktop_->yields, files);
    QCOMPARE(Titles(), QStringList{"Conversion Complete"});
    QCOMPARE(
        desktop_->messages[0].text,
        QStringLiteral("Conversion complete! Would you like to remove all files from the list?"));
    QCOMPARE(desktop_->messages[0].style, 4);
    QCOMPARE(w_->Label_Status->text(), QStringLiteral("Ready"));
    QCOMPARE(w_->Progress->Value(), 100);
    QCOMPARE(w_->Session.FileCount, files); // answered No: the list stays
    for (int i = 0; i < files; ++i)
        QCOMPARE(ReadFile(Out(QStringLiteral("a%1.md").arg(i))).size(), 16384);
}

void tst_FormConvert::controlsDuringRun() {
    Open(BINtoMD);
    AddSources(MakeSources(2, BINtoMD));
    desktop_->onYield = [&](int) {
        for (QWidget* c :
             QList<QWidget*>{w_->Button_Convert, w_->Drive, w_->Directory, w_->Button_AddFiles,
                             w_->Button_RemoveFiles, w_->Button_SelectAll, w_->Button_DeselectAll})
            QVERIFY(!c->isEnabled());
        for (QWidget* c : QList<QWidget*>{w_->Button_Cancel, w_->List_Files, w_->Text_Path})
            QVERIFY(c->isEnabled());
        QVERIFY(w_->Session.Converting);
    };
    w_->Button_Convert->click();
    for (QWidget* c :
         QList<QWidget*>{w_->Button_Convert, w_->Drive, w_->Directory, w_->Button_AddFiles,
                         w_->Button_RemoveFiles, w_->Button_SelectAll, w_->Button_DeselectAll})
        QVERIFY(c->isEnabled());
    QVERIFY(!w_->Session.Converting);
}

void tst_FormConvert::overwrite_data() {
    QTest::addColumn<int>("answer");
    QTest::newRow("Yes: converted in place") << int(MsgBox::Yes);
    QTest::newRow("No: untouched") << int(MsgBox::No);
}

void tst_FormConvert::overwrite() {
    QFETCH(int, answer);
    // In SMD to BIN a source named game.bin, converted into its own folder,
    // is its own destination.
    Open(SMDtoBIN);
    QVERIFY(w_->Directory->SetPath(Src()));
    const QByteArray smd = RandomBytes(16384 + 512, 9);
    QVERIFY(WriteFile(Src("game.bin"), smd));
    QVERIFY(WriteFile(Src("other.smd"), smd));
    AddSources({"game.bin", "other.smd"});
    desktop_->answers = {answer, MsgBox::No};
    w_->Button_Convert->click();
    QCOMPARE(Titles(), (QStringList{"Overwrite File?", "Conversion Complete"}));
    QCOMPARE(desktop_->messages[0].text,
             QStringLiteral("File ") + Src().chopped(1) + PathSeparator() +
                 QStringLiteral("game.bin already exists. Would you like to overwrite?"));
    QCOMPARE(desktop_->messages[0].style, 4);
    const QByteArray now = ReadFile(Src("game.bin"));
    if (answer == MsgBox::Yes)
        QCOMPARE(now, ReadFile(Src("other.bin")));
    else
        QCOMPARE(now, smd);
    QCOMPARE(ReadFile(Src("other.bin")).size(), 16384);
}

void tst_FormConvert::hiddenFileInDestinationsPlace() {
    Open(BINtoMD);
    QVERIFY(WriteFile(Src(".hack.bin"), RandomBytes(16384, 1)));
    QVERIFY(WriteFile(Out(".md"), "hidden, but a file all the same"));
    AddSources({".hack.bin"});
    w_->Button_Convert->click();
    QCOMPARE(Titles(), (QStringList{"Overwrite File?", "Conversion Complete"}));
    QCOMPARE(ReadFile(Out(".md")), QByteArray("hidden, but a file all the same"));
}

void tst_FormConvert::folderInDestinationsPlace() {
    Open(BINtoMD);
    const QStringList names = MakeSources(2, BINtoMD);
    QVERIFY(QDir().mkpath(Out("a0.md")));
    AddSources(names);
    w_->Button_Convert->click();
    QCOMPARE(Titles(), (QStringList{"Error. Conversion Fauilure", "Conversion Complete"}));
    QCOMPARE(desktop_->messages[0].text, QStringLiteral("The file ") + Src("a0.img") +
                                             QStringLiteral(" could not be converted! Skipping "
                                                            "this file..."));
    QVERIFY(QFileInfo(Out("a0.md")).isDir());
    QVERIFY(QFileInfo(Out("a1.md")).isFile());
}

void tst_FormConvert::everyFileFails() {
    Open(BINtoSMD);
    for (const char* name : {"a.bin", "b.bin", "c.bin"})
        QVERIFY(WriteFile(Src(name), QByteArray(100, 'x')));
    AddSources({"a.bin", "b.bin", "c.bin"});
    w_->Button_Convert->click();
    QCOMPARE(Titles(), (QStringList{"Error. Conversion Fauilure", "Error. Conversion Fauilure",
                                    "Error. Conversion Fauilure", "Conversion Complete"}));
    QVERIFY(desktop_->messages[1].text.contains(Src("b.bin")));
    QCOMPARE(w_->Label_Status->text(), QStringLiteral("Ready"));
    QVERIFY(QDir(Out()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

void tst_FormConvert::sourceDeletedAfterListing() {
    Open(BINtoMD);
    AddSources(MakeSources(3, BINtoMD));
    QVERIFY(QFile::remove(Src("a1.img")));
    w_->Button_Convert->click();
    QCOMPARE(Titles(), (QStringList{"Error. Conversion Fauilure", "Conversion Complete"}));
    QVERIFY(desktop_->messages[0].text.contains(Src("a1.img")));
    QVERIFY(QFileInfo(Out("a0.md")).isFile());
    QVERIFY(QFileInfo(Out("a2.md")).isFile());
}

void tst_FormConvert::vanishedOutputFolder() {
    Open(BINtoMD);
    QVERIFY(QDir().mkpath(dir_.filePath("gone")));
    QVERIFY(w_->Directory->SetPath(dir_.filePath("gone")));
    AddSources(MakeSources(2, BINtoMD));
    QVERIFY(QDir(dir_.filePath("gone")).removeRecursively());
    w_->Button_Convert->click();
    QCOMPARE(Titles(), (QStringList{"Incorrect path", "Error. Conversion Fauilure",
                                    "Error. Conversion Fauilure", "Conversion Complete"}));
    QCOMPARE(desktop_->messages[0].text, QStringLiteral("请选择文件输出路径"));
    QCOMPARE(w_->Label_Status->text(), QStringLiteral("Ready"));
    QVERIFY(w_->Button_Convert->isEnabled());
}

void tst_FormConvert::cancelConfirmed() {
    Open(BINtoMD);
    AddSources(MakeSources(5, BINtoMD));
    // The click made while file 2 converts is handled by the yield before file 3.
    desktop_->onYield = [&](int n) {
        if (n == 3) {
            desktop_->answers = {MsgBox::Ok};
            w_->Button_Cancel->click();
        }
    };
    w_->Button_Convert->click();
    QCOMPARE(Titles(), QStringList{"Cancel Conversion?"});
    QCOMPARE(desktop_->messages[0].text,
             QStringLiteral("Are you sure you would like to cancel the conversion process?"));
    QCOMPARE(desktop_->messages[0].style, 1);
    QVERIFY(QFileInfo(Out("a0.md")).isFile());
    QVERIFY(QFileInfo(Out("a1.md")).isFile());
    for (const char* name : {"a2.md", "a3.md", "a4.md"})
        QVERIFY(!QFileInfo::exists(Out(name)));
    QCOMPARE(w_->Progress->Value(), 0);
    QCOMPARE(w_->Label_Status->text(), QStringLiteral("Ready"));
    QVERIFY(w_->Button_AddFiles->isEnabled());
    QCOMPARE(w_->Session.FileCount, 5);
    QVERIFY(!w_->Session.Converting);
    QVERIFY(w_->isVisible());
}

void tst_FormConvert::cancelDeclined() {
    Open(BINtoMD);
    AddSources(MakeSources(3, BINtoMD));
    desktop_->onYield = [&](int n) {
        if (n == 2) {
            desktop_->answers = {MsgBox::Cancel};
            w_->Button_Cancel->click();
        }
    };
    w_->Button_Convert->click();
    QCOMPARE(Titles(), (QStringList{"Cancel Conversion?", "Conversion Complete"}));
    QVERIFY(QFileInfo(Out("a2.md")).isFile());
}

void tst_FormConvert::completionAnsweredYes() {
    Open(BINtoMD);
    AddSources(MakeSources(2, BINtoMD));
    desktop_->answers = {MsgBox::Yes};
    w_->Button_Convert->click();
    QCOMPARE(w_->Session.FileCount, 0);
    QVERIFY(w_->Session.FileList.isEmpty());
    QCOMPARE(w_->List_Files->count(), 0);
    QCOMPARE(w_->Progress->Value(), 100);
}

// One run through the command line's own route: an existing destination is
// asked about in list order, a file the mode refuses gets its box, an
// archive's one image is named after the archive, and every file is written
// as the plain image of its source.
void tst_FormConvert::mixedBatch() {
    Open(SMDtoBIN);
    const QByteArray first = RomImages::CartridgeImage(1 << 20, 1);
    const QByteArray second = RomImages::CartridgeImage(1 << 20, 2);
    QVERIFY(WriteFile(Src("a.smd"), RomImages::Smd(first)));
    QVERIFY(WriteFile(Src("b.smd"), RomImages::Smd(second)));
    QVERIFY(WriteFile(Src("c.smd"), QByteArray(100, 'x')));
    QVERIFY(WriteFile(Out("b.bin"), "old"));
    const QString script = QStringLiteral(
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1] + '/d.zip', 'w', zipfile.ZIP_DEFLATED) as z:\n"
        "    z.writestr('roms/inner.smd', open(sys.argv[1] + '/a.smd', 'rb').read())\n");
    QCOMPARE(QProcess::execute("python3", {"-c", script, Src().chopped(1)}), 0);
    AddSources({"a.smd", "b.smd", "c.smd", "d.zip"});
    desktop_->answers = {MsgBox::Yes, MsgBox::Ok, MsgBox::No};
    w_->Button_Convert->click();
    QCOMPARE(Titles(),
             (QStringList{"Overwrite File?", "Error. Conversion Fauilure", "Conversion Complete"}));
    QVERIFY(
        desktop_->messages[0].text.endsWith("b.bin already exists. Would you like to overwrite?"));
    QVERIFY(desktop_->messages[1].text.contains(Src("c.smd")));
    QCOMPARE(ReadFile(Out("a.bin")), first);
    QCOMPARE(ReadFile(Out("b.bin")), second);
    QVERIFY(!QFileInfo::exists(Out("c.bin")));
    QCOMPARE(ReadFile(Out("d.bin")), first);
    QCOMPARE(QDir(Out()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"a.bin", "b.bin", "d.bin"}));
}

// --- the window -------------------------------------------------------------

void tst_FormConvert::closeRefusedDuringRun() {
    Open(BINtoMD);
    AddSources(MakeSources(3, BINtoMD));
    bool stillOpen = false;
    desktop_->onYield = [&](int n) {
        if (n == 2) {
            w_->close();
            stillOpen = w_->isVisible() && forms_->ConvertLoaded();
        }
    };
    w_->Button_Convert->click();
    QVERIFY(stillOpen);
    QCOMPARE(desktop_->messages[0].text,
             QStringLiteral("Please wait until the conversion process has completed before "
                            "closing the window"));
    QCOMPARE(desktop_->messages[0].title, QString());
    QCOMPARE(desktop_->messages[0].style, 0);
    QCOMPARE(desktop_->messages[1].title, QStringLiteral("Conversion Complete"));
    QVERIFY(QFileInfo(Out("a2.md")).isFile());
}

void tst_FormConvert::closeWithEntries_data() {
    QTest::addColumn<int>("answer");
    QTest::newRow("OK") << int(MsgBox::Ok);
    QTest::newRow("Cancel") << int(MsgBox::Cancel);
}

void tst_FormConvert::closeWithEntries() {
    QFETCH(int, answer);
    Open(BINtoMD);
    AddSources({"a.bin", "b.bin"});
    desktop_->answers = {answer};
    w_->close();
    QCOMPARE(desktop_->messages[0].title, QStringLiteral("Cancel"));
    QCOMPARE(desktop_->messages[0].text,
             QStringLiteral("Would you like to close? Doing so will erase the list of files to be "
                            "converted"));
    QCOMPARE(desktop_->messages[0].style, 1);
    if (answer == MsgBox::Ok) {
        QVERIFY(!forms_->ConvertLoaded());
        QVERIFY(forms_->Main()->isVisible());
        QCOMPARE(w_->Session.FileCount, 0);
        QVERIFY(w_->Session.FileList.isEmpty());
    } else {
        QVERIFY(forms_->ConvertLoaded() && w_->isVisible());
        QCOMPARE(w_->Session.FileCount, 2);
        QVERIFY(!forms_->Main()->isVisible());
    }
}

void tst_FormConvert::cancelWithEmptyListKeepsFolder() {
    Open(BINtoMD);
    QVERIFY(QDir().mkpath(dir_.filePath("elsewhere")));
    QVERIFY(w_->Directory->SetPath(dir_.filePath("elsewhere")));
    w_->Button_Cancel->click();
    QVERIFY(desktop_->messages.isEmpty());
    QVERIFY(!w_->isVisible());
    QVERIFY(forms_->Main()->isVisible());
    forms_->Main()->Button_SMDtoBIN->click();
    QCOMPARE(forms_->Convert(), w_);
    QCOMPARE(w_->Directory->Path(), Native(dir_.filePath("elsewhere")));
    QCOMPARE(w_->Text_Path->text(), Native(dir_.filePath("elsewhere")));
}

void tst_FormConvert::cancelWithEntries_data() {
    QTest::addColumn<int>("answer");
    QTest::newRow("OK") << int(MsgBox::Ok);
    QTest::newRow("Cancel") << int(MsgBox::Cancel);
}

void tst_FormConvert::cancelWithEntries() {
    QFETCH(int, answer);
    Open(BINtoMD);
    AddSources({"a.bin"});
    desktop_->answers = {answer};
    w_->Button_Cancel->click();
    QCOMPARE(Titles(), QStringList{"Cancel"});
    if (answer == MsgBox::Ok) {
        QVERIFY(!w_->isVisible());
        QVERIFY(forms_->Main()->isVisible());
        QCOMPARE(w_->Session.FileCount, 0);
        forms_->Main()->Button_BINtoMD->click();
        QCOMPARE(w_->List_Files->count(), 0);
    } else {
        QVERIFY(w_->isVisible());
        QCOMPARE(w_->Session.FileCount, 1);
    }
}

void tst_FormConvert::unusableDrive() {
    desktop_->drives = {QStringLiteral("/"), QStringLiteral("/media/cdrom")};
    desktop_->unusableDrives = {QStringLiteral("/media/cdrom")};
    forms_->UnloadConvert(); // created again with the drives above
    Open(BINtoMD);
    const QString before = w_->Directory->Path();
    w_->Drive->setCurrentIndex(w_->Drive->findText(QStringLiteral("/media/cdrom")));
    emit w_->Drive->activated(w_->Drive->currentIndex());
    QCOMPARE(Titles(), QStringList{"Error. Useable Drvie Not Found"});
    QCOMPARE(desktop_->messages[0].text, QStringLiteral("This drive is not useable"));
    QCOMPARE(w_->Directory->Path(), before);
    QCOMPARE(w_->Text_Path->text(), before);
    QCOMPARE(w_->Drive->Drive(), QStringLiteral("/media/cdrom"));

    // A run still writes into the previous folder.
    desktop_->messages.clear();
    AddSources(MakeSources(1, BINtoMD));
    w_->Button_Convert->click();
    QVERIFY(QFileInfo(Out("a0.md")).isFile());
}

void tst_FormConvert::folderListDrivesTextPath() {
    Open(BINtoMD);
    QVERIFY(QDir().mkpath(Out("sub")));
    QVERIFY(w_->Directory->SetPath(Out()));
    QCOMPARE(w_->Text_Path->text(), Out().chopped(1));
    // Double-clicking the subfolder opens it.
    QListWidgetItem* sub = w_->Directory->item(w_->Directory->count() - 1);
    emit w_->Directory->itemDoubleClicked(sub);
    QCOMPARE(w_->Text_Path->text(), Out("sub"));
    // Typing into the text box changes nothing.
    w_->Text_Path->setText(Src());
    AddSources(MakeSources(1, BINtoMD));
    desktop_->answers = {MsgBox::No};
    w_->Button_Convert->click();
    QVERIFY(QFileInfo(Out("sub/a0.md")).isFile());
    // Choosing the drive already shown changes nothing; another drive shows its root.
    w_->Drive->SetDrive(w_->Drive->DriveOf(w_->Directory->Path()));
    emit w_->Drive->activated(w_->Drive->currentIndex());
    QCOMPARE(w_->Directory->Path(), Out("sub"));
    desktop_->drives = {QStringLiteral("/"), dir_.path()};
    w_->Drive->Refresh();
    QVERIFY(w_->Directory->SetPath(Out()));
    QCOMPARE(w_->Drive->DriveOf(Out()), dir_.path());
    w_->Drive->setCurrentIndex(w_->Drive->findText(QStringLiteral("/")));
    emit w_->Drive->activated(w_->Drive->currentIndex());
    QCOMPARE(w_->Directory->Path(), QStringLiteral("/"));
    QCOMPARE(w_->Text_Path->text(), QStringLiteral("/"));
}

void tst_FormConvert::dropFiles_data() {
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<bool>("extras"); // a folder and a web address dropped as well
    // The list's lines afterwards, and the titles of the messages shown.
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("one file") << QStringList{"a0.img"} << true << QStringList{"a0.img->a0.md"}
                              << QStringList();
    // Against an empty list a base name chosen twice is not added at all.
    QTest::newRow("same base name twice") << QStringList{"a0.img", "a0.other", "a1.img"} << true
                                          << QStringList{"a1.img->a1.md"} << QStringList();
    QStringList many;
    QStringList kept;
    for (int i = 0; i < 1001; ++i) {
        many << QStringLiteral("m%1.bin").arg(i);
        if (i < 1000)
            kept << QStringLiteral("m%1.bin->m%1.md").arg(i);
    }
    QTest::newRow("over the limit") << many << false << kept << QStringList{"Limit exceeded"};
}

// Dropped files are added as the same files chosen in the dialog would be.
void tst_FormConvert::dropFiles() {
    QFETCH(QStringList, names);
    QFETCH(bool, extras);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, titles);
    Open(BINtoMD);
    QList<QUrl> urls;
    for (const QString& name : names) {
        QVERIFY(WriteFile(Src(name), QByteArray(16, 'x')));
        urls << QUrl::fromLocalFile(Src(name));
    }
    if (extras)
        urls << QUrl::fromLocalFile(Out()) << QUrl("https://www.example.org/game.bin");
    QMimeData data;
    data.setUrls(urls);
    auto drop = [&] {
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w_->List_Files->viewport(), &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w_->List_Files->viewport(), &dropped);
        return dropped.isAccepted();
    };
    QVERIFY(drop());
    QStringList shown;
    for (int row = 0; row < w_->List_Files->count(); ++row)
        shown << w_->List_Files->item(row)->text();
    QCOMPARE(shown, lines);
    QCOMPARE(w_->Session.FileList.size(), lines.size());
    for (qsizetype i = 0; i < w_->Session.FileList.size(); ++i)
        QCOMPARE(w_->Session.FileList[i], Src(lines[i].section("->", 0, 0)));
    QCOMPARE(Titles(), titles);

    // Nothing is taken while a run is going.
    w_->Session.Converting = true;
    QVERIFY(!drop());
    w_->Session.Converting = false;
}

void tst_FormConvert::pathTextClearOfLabel() {
    Open(BINtoMD);
    const QRect label = w_->Label1->geometry();
    QCOMPARE(w_->Text_Path->geometry(), QRect(32, 184, 329, 13));
    const int textStart = w_->Text_Path->x() + w_->Text_Path->textMargins().left();
    QVERIFY(textStart >=
            label.x() + w_->Label1->fontMetrics().horizontalAdvance(w_->Label1->text()));
}

void tst_FormConvert::inspectionHints() {
    Open(SMDtoBIN);
    const QByteArray plain = RomImages::PlainImage(2 * 16384, 1);
    QVERIFY(WriteFile(Src("plain.bin"), plain));
    QVERIFY(WriteFile(Src("game.smd"), RomImages::Smd(plain)));
    QVERIFY(WriteFile(Src("noise.smd"), RandomBytes(16384 + 512, 2)));
    QVERIFY(WriteFile(Src("gone.smd"), RandomBytes(16384 + 512, 3)));
    AddSources({"game.smd", "gone.smd", "noise.smd", "plain.bin"});
    QCOMPARE(w_->List_Files->count(), 4);
    // A line removed when its result is ready but not yet delivered gets
    // none: every inspection finishes, then the line goes, then the results
    // are delivered.
    w_->Inspector->WaitForWork();
    QCOMPARE(w_->Inspector->Result(Src("gone.smd")), nullptr);
    w_->List_Files->item(1)->setSelected(true);
    w_->Button_RemoveFiles->click();
    QSignalSpy ready(w_->Inspector, &ListInspector::Ready);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(ready.size(), 3);
    QCOMPARE(w_->Inspector->Result(Src("gone.smd")), nullptr);
    auto hint = [this](int row) { return w_->List_Files->item(row)->toolTip(); };
    QTRY_VERIFY(!hint(0).isEmpty() && !hint(1).isEmpty() && !hint(2).isEmpty());
    // What a user decides by, from the lines of kestrix-convert info, in a
    // few lines: no fingerprints, no more of the header.
    QVERIFY2(hint(0).startsWith("layout: smd (certain)\ntitle: KESTRIX") &&
                 hint(0).contains("dump: complete") && hint(0).contains(" computed: ok"),
             qPrintable(hint(0)));
    QVERIFY2(hint(0).count('\n') < 8 && !hint(0).contains("sha1"), qPrintable(hint(0)));
    QVERIFY(w_->List_Files->item(0)->icon().isNull());
    QVERIFY2(hint(1).contains("layout: unknown") && !hint(1).contains("system:") &&
                 hint(1).contains("\nheader: no cartridge header"),
             qPrintable(hint(1)));
    QVERIFY2(!hint(0).contains("machine:") && !hint(0).contains("header:"), qPrintable(hint(0)));
    QVERIFY(w_->List_Files->item(1)->icon().isNull());
    // The line that matters first: this conversion does not fit.
    QVERIFY2(hint(2).startsWith("This is not what this conversion reads: the BIN to SMD") &&
                 hint(2).contains("\nlayout: plain (certain)\n"),
             qPrintable(hint(2)));
    QVERIFY(!w_->List_Files->item(2)->icon().isNull());
    QCOMPARE(w_->Inspector->Result(Src("gone.smd")), nullptr);
    // The texts and the run are those of the list without inspection.
    QCOMPARE(w_->List_Files->item(2)->text(), QStringLiteral("plain.bin->plain.bin"));
    desktop_->answers = {MsgBox::No};
    w_->Button_Convert->click();
    // plain.bin is no SMD image by its size: it fails as it always did.
    QCOMPARE(Titles(), (QStringList{"Error. Conversion Fauilure", "Conversion Complete"}));
    QVERIFY(QFileInfo(Out("game.bin")).isFile());
    // A disc image is no cartridge: no conversion fits it.
    QByteArray disc = plain;
    disc.replace(0, 16, "SEGADISCSYSTEM  ");
    QVERIFY(WriteFile(Src("disc.smd"), disc));
    AddSources({"disc.smd"});
    const int last = w_->List_Files->count() - 1;
    QTRY_VERIFY2(hint(last).startsWith("This is a disc image, not a cartridge: no conversion "
                                       "fits it.\nlayout: none: a disc image"),
                 qPrintable(hint(last)));
    QVERIFY(!w_->List_Files->item(last)->icon().isNull());
    // A 32X cartridge, and two cartridges locked on: said so.
    QByteArray x32 = RomImages::PlainImage(4 * 16384, 4);
    RomImages::PutText(x32, 0x100, "SEGA 32X", 16);
    QVERIFY(WriteFile(Src("x32.smd"), RomImages::Smd(x32)));
    QVERIFY(WriteFile(Src("lockon.smd"), RomImages::Smd(RomImages::PlainImage(2 << 20, 5) +
                                                        RomImages::PlainImage(4 * 16384, 6))));
    AddSources({"x32.smd", "lockon.smd"});
    const int lockOn = w_->List_Files->count() - 1;
    QTRY_VERIFY2(hint(lockOn - 1).contains("\nmachine: 32X\n"), qPrintable(hint(lockOn - 1)));
    QTRY_VERIFY2(hint(lockOn).contains("\ndump: lock-on: a 2 MiB cartridge with a second "
                                       "cartridge of 65536 bytes after it"),
                 qPrintable(hint(lockOn)));
    // Closing stops the work and drops the results.
    AddSources({"game.smd"});
    desktop_->answers = {MsgBox::Ok};
    QVERIFY(w_->close());
    QCOMPARE(w_->Inspector->Result(Src("game.smd")), nullptr);
}

void tst_FormConvert::zippedImages_data() {
    QTest::addColumn<bool>("dropped");
    // The zip holds the largest SMD image taken (1 GiB of blocks of zeros,
    // and the copier header), not the test cartridge.
    QTest::addColumn<bool>("largest");
    QTest::newRow("picked in the dialog") << false << false;
    QTest::newRow("dropped onto the list") << true << false;
    QTest::newRow("the largest SMD image") << false << true;
}

// A zip holding one cartridge image is one line and converts from inside
// the archive; one holding two is reported by the run as a file it cannot
// convert. The texts and steps are those of any file.
void tst_FormConvert::zippedImages() {
    QFETCH(bool, dropped);
    QFETCH(bool, largest);
    Open(SMDtoBIN);
    const QByteArray plain = RomImages::CartridgeImage(65536, 7);
    QVERIFY(WriteFile(Src("game.smd"), RomImages::Smd(plain)));
    const QString script = QStringLiteral(
        "import sys, zipfile\n"
        "game = open(sys.argv[1] + '/game.smd', 'rb').read()\n"
        "with zipfile.ZipFile(sys.argv[1] + '/one.zip', 'w', zipfile.ZIP_DEFLATED, True, 1) as z:\n"
        "    if sys.argv[2] == 'largest':\n"
        "        with z.open('roms/game.smd', 'w', force_zip64=True) as entry:\n"
        "            entry.write(bytes([0, 3, 0, 0, 0, 0, 0, 0, 0xAA, 0xBB, 6]) + bytes(501))\n"
        "            for _ in range(16):\n"
        "                entry.write(bytes(64 << 20))\n"
        "    else:\n"
        "        z.writestr('roms/game.smd', game)\n"
        "    z.writestr('readme.txt', 'hello')\n"
        "with zipfile.ZipFile(sys.argv[1] + '/two.zip', 'w', zipfile.ZIP_DEFLATED) as z:\n"
        "    z.writestr('a.smd', game)\n"
        "    z.writestr('b.smd', game)\n");
    QCOMPARE(QProcess::execute("python3",
                               {"-c", script, Src().chopped(1), largest ? "largest" : "cartridge"}),
             0);
    if (dropped) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(Src("one.zip")), QUrl::fromLocalFile(Src("two.zip"))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w_->List_Files->viewport(), &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w_->List_Files->viewport(), &drop);
    } else {
        AddSources({"one.zip", "two.zip"});
    }
    QCOMPARE(w_->List_Files->count(), 2);
    QCOMPARE(w_->List_Files->item(0)->text(), QStringLiteral("one.zip->one.bin"));
    QCOMPARE(w_->List_Files->item(1)->text(), QStringLiteral("two.zip->two.bin"));
    // The tooltip tells the image inside.
    QTRY_VERIFY_WITH_TIMEOUT(w_->List_Files->item(0)->toolTip().contains("layout: smd ("), 60000);
    QTRY_VERIFY(w_->List_Files->item(1)->toolTip().contains("2 files, not one cartridge image"));
    w_->Button_Convert->click();
    QCOMPARE(Titles(), (QStringList{"Error. Conversion Fauilure", "Conversion Complete"}));
    if (largest) {
        // The SHA-1 of 1 GiB of zeros, from sha1sum.
        QFile out(Out("one.bin"));
        QVERIFY(out.open(QIODevice::ReadOnly));
        QCryptographicHash sha(QCryptographicHash::Sha1);
        QVERIFY(sha.addData(&out));
        QCOMPARE(sha.result().toHex(), QByteArray("2a492f15396a6768bcbca016993f4b4c8b0b5307"));
        QVERIFY(QFile::remove(Out("one.bin")));
    } else {
        QCOMPARE(ReadFile(Out("one.bin")), plain);
    }
    QVERIFY(!QFileInfo::exists(Out("two.bin")));
    // The line that failed tells why, first.
    QVERIFY2(w_->List_Files->item(1)->toolTip().startsWith(
                 "Not converted: the archive holds 2 files, not one cartridge image.\n"),
             qPrintable(w_->List_Files->item(1)->toolTip()));
}

void tst_FormConvert::linkInDestinationsPlace_data() {
    QTest::addColumn<int>("answer");
    QTest::newRow("replaced") << int(MsgBox::Yes);
    QTest::newRow("kept") << int(MsgBox::No);
}

// A link, even a dangling one, is asked about; replacing it never writes
// through it.
void tst_FormConvert::linkInDestinationsPlace() {
    QFETCH(int, answer);
    Open(BINtoMD);
    QVERIFY(QFile::link("../elsewhere/new.md", Out("a0.md")));
    AddSources(MakeSources(1, BINtoMD));
    desktop_->answers = {answer, MsgBox::No};
    w_->Button_Convert->click();
    QCOMPARE(Titles(), (QStringList{"Overwrite File?", "Conversion Complete"}));
    QCOMPARE(QFileInfo(Out("a0.md")).isSymLink(), answer != MsgBox::Yes);
    QCOMPARE(QFileInfo(Out("a0.md")).isFile(), answer == MsgBox::Yes);
    QVERIFY(!QFileInfo::exists(dir_.filePath("elsewhere/new.md")));
}

void tst_FormConvert::specialSourceAndDotFolder() {
    Open(BINtoMD);
    QVERIFY(QDir().mkpath(dir_.filePath(".hidden out")));
    QVERIFY(w_->Directory->SetPath(dir_.filePath(".hidden out")));
    QCOMPARE(::mkfifo(QFile::encodeName(Src("pipe.bin")).constData(), 0600), 0);
    QVERIFY(WriteFile(Src("good.bin"), RandomBytes(16384, 4)));
    AddSources({"good.bin", "pipe.bin"});
    desktop_->answers = {MsgBox::No};
    w_->Button_Convert->click();
    // No "Incorrect path" box for a folder whose name starts with a dot; the
    // FIFO is refused at once.
    QCOMPARE(Titles(), (QStringList{"Error. Conversion Fauilure", "Conversion Complete"}));
    QVERIFY(desktop_->messages[0].text.contains("pipe.bin"));
    QVERIFY(QFileInfo(dir_.filePath(".hidden out/good.md")).isFile());
}

void tst_FormConvert::hints_data() {
    QTest::addColumn<bool>("english");
    QTest::addColumn<QStringList>("hints");
    QTest::newRow("Chinese") << false
                             << QStringList{
                                    "按下此键 添加游戏文件到转换列表", "按下此键 移除已选文件",
                                    "按下此键 选择所有文件",           "按下此键 撤销所有文件",
                                    "按下此键 开始转换文件",           "按下此键 取消转换文件"};
    QTest::newRow("English") << true
                             << QStringList{
                                    "Press this button to add game files to the conversion list",
                                    "Press this button to remove the selected files",
                                    "Press this button to select all files",
                                    "Press this button to deselect all files",
                                    "Press this button to start converting the files",
                                    "Press this button to stop converting the files"};
}

void tst_FormConvert::hints() {
    QFETCH(bool, english);
    QFETCH(QStringList, hints);
    Open(BINtoMD);
    if (english)
        SpeakEnglish();
    ButtonPlus* const buttons[] = {w_->Button_AddFiles,  w_->Button_RemoveFiles,
                                   w_->Button_SelectAll, w_->Button_DeselectAll,
                                   w_->Button_Convert,   w_->Button_Cancel};
    for (int i = 0; i < 6; ++i) {
        ButtonPlus* button = buttons[i];
        const QString& hint = hints[i];
        Hover::Enter(button);
        QCOMPARE(w_->Label_info->text(), hint);
        Hover::Leave(button);
        QCOMPARE(w_->Label_info->text(), QString());
    }
}

// A destination that did not exist when the run looked is not replaced when
// it appears before the file is named: the user was never asked. The name
// appears while the run yields before the second file, once the first one
// has been looked at and converted but not yet named.
void tst_FormConvert::nameAppearsDuringTheRun() {
    Open(BINtoMD);
    AddSources(MakeSources(2, BINtoMD));
    const QString destination = Out("a0.md");
    desktop_->onYield = [&](int n) {
        if (n == 2)
            QVERIFY(WriteFile(destination, "somebody else's"));
    };
    w_->Button_Convert->click();
    QCOMPARE(Titles(), (QStringList{"Error. Conversion Fauilure", "Conversion Complete"}));
    QVERIFY(desktop_->messages[0].text.contains(Src("a0.img")));
    QCOMPARE(ReadFile(destination), QByteArray("somebody else's"));
    QVERIFY(QFileInfo(Out("a1.md")).isFile());
    QVERIFY2(w_->List_Files->item(0)->toolTip().startsWith(
                 "Not converted: the destination already exists."),
             qPrintable(w_->List_Files->item(0)->toolTip()));
}

void tst_FormConvert::leavingDoesNotWaitForWork_data() {
    QTest::addColumn<bool>("close");
    QTest::newRow("the window closed") << true;
    QTest::newRow("the list dropped with the cancel button") << false;
}

// Reads of a file held until the test lets them go (fanotify, as root), so
// that work reading it is certainly under way while the test looks.
class HeldReads {
public:
    explicit HeldReads(const QString& path) {
        if (!TestFiles::RunningAsRoot())
            return;
        fan_ = ::fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC | FAN_NONBLOCK, O_RDONLY);
        if (fan_ < 0 || ::fanotify_mark(fan_, FAN_MARK_ADD, FAN_ACCESS_PERM, AT_FDCWD,
                                        QFile::encodeName(path).constData()) != 0)
            return;
        helper_ = std::thread([this] { Serve(); });
    }
    ~HeldReads() {
        Release();
        stop_ = true;
        if (helper_.joinable())
            helper_.join();
        if (fan_ >= 0)
            ::close(fan_);
    }
    bool Holding() const { return helper_.joinable(); }
    void Release() { released_ = true; }

private:
    void Serve() {
        std::vector<int> pending;
        while (!stop_) {
            pollfd p{fan_, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                alignas(fanotify_event_metadata) char buffer[4096];
                const ssize_t got = ::read(fan_, buffer, sizeof buffer);
                auto* event = reinterpret_cast<fanotify_event_metadata*>(buffer);
                for (ssize_t left = got; FAN_EVENT_OK(event, left);
                     event = FAN_EVENT_NEXT(event, left))
                    pending.push_back(event->fd);
            }
            if (!released_)
                continue;
            for (const int fd : pending) {
                const fanotify_response response{fd, FAN_ALLOW};
                (void)!::write(fan_, &response, sizeof response);
                ::close(fd);
            }
            pending.clear();
        }
    }
    int fan_ = -1;
    std::thread helper_;
    std::atomic<bool> released_{false};
    std::atomic<bool> stop_{false};
};

// Leaving the window while a large archive is unpacked in the background
// returns at once, and the unpacking stops within a second (it looks at the
// cancel flag every 64 KiB). The archive is 1088 MiB of zeros in bzip2
// streams: unpacked to the limit, it takes several seconds. Where the test
// may, the work's reads are held until the window is left, so that the work
// is certainly still under way then.
void tst_FormConvert::leavingDoesNotWaitForWork() {
    QFETCH(bool, close);
    Open(SMDtoBIN);
    QCOMPARE(QProcess::execute("python3", {"-c",
                                           "import bz2, sys\n"
                                           "part = bz2.compress(bytes(64 << 20))\n"
                                           "open(sys.argv[1], 'wb').write(part * 17)\n",
                                           Src("zeros.smd.bz2")}),
             0);
    HeldReads held(Src("zeros.smd.bz2"));
    AddSources({"zeros.smd.bz2"});
    QTest::qWait(200);
    desktop_->answers = {MsgBox::Ok};
    if (close)
        QVERIFY(w_->close());
    else
        w_->Button_Cancel->click();
    QVERIFY(!w_->isVisible());
    QCOMPARE(w_->List_Files->count(), 0);
    // Still at work: the window did not wait for it. The window may be gone
    // by now, so the work is seen in the threads it runs on.
    if (held.Holding())
        QVERIFY(ListInspector::WorkUnderWay() > 0);
    held.Release();
    QTRY_COMPARE_WITH_TIMEOUT(ListInspector::WorkUnderWay(), 0, 1000);
}

QTEST_MAIN(tst_FormConvert)
#include "tst_formconvert.moc"
