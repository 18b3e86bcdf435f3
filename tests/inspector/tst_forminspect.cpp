#include "Form_Inspect.h"
#include "Forms.h"
#include "MsgBox.h"
#include "RomImages.h"
#include "ScriptedDesktop.h"
#include "TestFiles.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>

using namespace RomImages;

// The inspection window: what info says of each file given to the program,
// and the repairs and conversions of the chosen ones, as the command line
// makes them.
class tst_FormInspect : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void filesGivenShowWhatInfoSays();
    void datNamesAsInfoGivesThem();
    void runs_data();
    void runs();
    void existingOutputIsAskedAbout();

private:
    QString Put(const QString& name, const QByteArray& bytes) {
        return TestFiles::Put(QDir(dir_.path()), name, bytes);
    }
    Form_Inspect* Opened(const QStringList& files) {
        if (!forms_->OpenFiles(files))
            return nullptr;
        Form_Inspect* w = forms_->Inspect();
        w->Text_Folder->setText(QDir::toNativeSeparators(dir_.filePath("out")));
        if (!QTest::qWaitFor(
                [w] {
                    return !w->ReportText().contains("\n\n\n") &&
                           w->ReportText().count(QStringLiteral("\n  size")) == w->Files().size();
                },
                10000))
            qWarning("not every file was inspected");
        return w;
    }
    bool RunAndWait(Form_Inspect* w, JobTask task) {
        QSignalSpy ran(w, &Form_Inspect::Ran);
        w->Run(task);
        return ran.count() > 0 || ran.wait(10000);
    }

    QTemporaryDir dir_;
    std::unique_ptr<ScriptedDesktop> desktop_;
    std::unique_ptr<Forms> forms_;
};

void tst_FormInspect::init() {
    QDir(dir_.path()).removeRecursively();
    QVERIFY(QDir().mkpath(dir_.filePath("out")));
    desktop_ = std::make_unique<ScriptedDesktop>();
    desktop_->uiLanguages = {QStringLiteral("en-US")};
    forms_ = std::make_unique<Forms>(*desktop_);
    forms_->Start();
}

void tst_FormInspect::cleanup() {
    forms_.reset();
    desktop_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// `kestrix a.bin b.smd`: both listed, and the report is info's, line for
// line.
void tst_FormInspect::filesGivenShowWhatInfoSays() {
    const QString plain = Put("a.bin", PlainImage(1 << 20, 3, false));
    const QString smd = Put("b.smd", Smd(PlainImage(2 << 20, 4)));
    Form_Inspect* w = Opened({plain, smd});
    QVERIFY(w && w->isVisible());
    QCOMPARE(w->Files(), (QStringList{plain, smd}));
    QCOMPARE(w->List_Images->topLevelItem(1)->text(1).left(3), QStringLiteral("smd"));
    QProcess info;
    info.start(qEnvironmentVariable("KESTRIX_BIN_DIR") + "/kestrix-convert", {"info", plain, smd});
    QVERIFY(info.waitForFinished(30000));
    const QString expected = QString::fromUtf8(info.readAllStandardOutput()).trimmed();
    const QStringList got = w->ReportText().split('\n');
    const QStringList want = expected.split('\n');
    for (qsizetype i = 0; i < std::max(got.size(), want.size()); ++i)
        QCOMPARE(got.value(i), want.value(i));
}

// With a DAT file loaded: each file's name in it, and the report of info
// --dat, line for line; the SMD image is matched by its plain content.
void tst_FormInspect::datNamesAsInfoGivesThem() {
    const QByteArray plain = PlainImage(1 << 20, 11);
    const QString smd = Put("b.smd", Smd(plain));
    const QString other = Put("c.bin", PlainImage(1 << 20, 12));
    const QString dat =
        Put("set.dat",
            "<?xml version=\"1.0\"?>\n<datafile>\n<header><name>Test set</name></header>\n"
            "<game name=\"Kestrix Test (World)\"><rom name=\"Kestrix Test (World).md\" size=\"" +
                QByteArray::number(plain.size()) + "\" sha1=\"" +
                QCryptographicHash::hash(plain, QCryptographicHash::Sha1).toHex() +
                "\"/></game>\n</datafile>\n");
    Form_Inspect* w = Opened({smd, other});
    QVERIFY(w);
    QSignalSpy loaded(w, &Form_Inspect::DatsLoaded);
    w->LoadDats({dat});
    QVERIFY(loaded.count() > 0 || loaded.wait(10000));
    QTRY_COMPARE(w->List_Images->topLevelItem(0)->text(6), QStringLiteral("Kestrix Test (World)"));
    QTRY_COMPARE(w->List_Images->topLevelItem(1)->text(6), QStringLiteral("not in the DAT files"));
    QProcess info;
    info.start(qEnvironmentVariable("KESTRIX_BIN_DIR") + "/kestrix-convert",
               {"info", "--dat", dat, smd, other});
    QVERIFY(info.waitForFinished(30000));
    const QStringList want = QString::fromUtf8(info.readAllStandardOutput()).trimmed().split('\n');
    QTRY_COMPARE(w->ReportText().split('\n').size(), want.size());
    const QStringList got = w->ReportText().split('\n');
    for (qsizetype i = 0; i < want.size(); ++i)
        QCOMPARE(got.value(i), want.value(i));
}

// The chosen files through the job: the bytes the command line writes,
// computed here from the images themselves.
void tst_FormInspect::runs_data() {
    QTest::addColumn<int>("task");
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("fix-checksum of an SMD image")
        << int(JobTask::FixChecksum) << Smd(PlainImage(1 << 20, 5, false)) << "game.smd"
        << Smd(PlainImage(1 << 20, 5, true));
    QByteArray padded = PlainImage(1 << 20, 6);
    QTest::newRow("trim of a padded image")
        << int(JobTask::Trim) << padded + QByteArray(1 << 20, '\xff') << "game.bin" << padded;
    QTest::newRow("to SMD") << int(JobTask::ToLayout) << Md(PlainImage(1 << 20, 7)) << "game.smd"
                            << Smd(PlainImage(1 << 20, 7));
}

void tst_FormInspect::runs() {
    QFETCH(int, task);
    QFETCH(QByteArray, image);
    QFETCH(QString, output);
    QFETCH(QByteArray, expected);
    const QString source = Put(task == int(JobTask::ToLayout) ? "game.md" : output, image);
    Form_Inspect* w = Opened({source});
    QVERIFY(w);
    w->Combo_Target->setCurrentIndex(1); // SMD
    QVERIFY(RunAndWait(w, JobTask(task)));
    QCOMPARE(TestFiles::ReadFile(dir_.filePath("out/" + output)), expected);
    QVERIFY2(w->Label_Result->text().contains(QStringLiteral(" -> ")),
             qPrintable(w->Label_Result->text()));
    QCOMPARE(TestFiles::ReadFile(source), image); // the source untouched
}

void tst_FormInspect::existingOutputIsAskedAbout() {
    const QString source = Put("game.bin", PlainImage(1 << 20, 8));
    const QString kept = Put("out/game.smd", "somebody's file");
    Form_Inspect* w = Opened({source});
    w->Combo_Target->setCurrentIndex(1);
    desktop_->answers = {MsgBox::No};
    QVERIFY(RunAndWait(w, JobTask::ToLayout));
    QCOMPARE(desktop_->messages.size(), 1);
    QCOMPARE(TestFiles::ReadFile(kept), QByteArray("somebody's file"));
    desktop_->answers = {MsgBox::Yes};
    QVERIFY(RunAndWait(w, JobTask::ToLayout));
    QCOMPARE(TestFiles::ReadFile(kept), Smd(PlainImage(1 << 20, 8)));
}

QTEST_MAIN(tst_FormInspect)
#include "tst_forminspect.moc"
