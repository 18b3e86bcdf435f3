#include "ButtonPlus.h"
#include "DriveList.h"
#include "FileFunctions.h"
#include "FileHandle.h"
#include "FolderList.h"
#include "FormLoad.h"
#include "Form_About.h"
#include "Form_Audit.h"
#include "Form_Convert.h"
#include "Form_Export.h"
#include "Form_Inspect.h"
#include "Form_Main.h"
#include "Form_MakePatch.h"
#include "Form_Patch.h"
#include "Forms.h"
#include "Hover.h"
#include "Language.h"
#include "Mod_File.h"
#include "ScriptedDesktop.h"
#include "XP_ProgressBar.h"

#include <QLineEdit>
#include <QListWidget>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class tst_FormMain : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startUp();
    void layout();
    void openMode_data();
    void openMode();
    void laterModeReplacesEarlier();
    void unknownModes_data();
    void unknownModes();
    void hints_data();
    void hints();
    void hintMovesStraightToNextButton();
    void readMeFailure_data();
    void readMeFailure();
    void readMeLiesBesideTheProgram();
    void webItems_data();
    void webItems();
    void aboutText();
    void aboutRecentres();
    void aboutOkHidesAndCloseUnloads();
    void exitEndsAtOnce_data();
    void exitEndsAtOnce();
    void clicksIgnoredRightAfterShow();
    void closeBoxUnloadsInOrder();
    void convertWindowCreatedAgain();
    void language_data();
    void language();
    void languageMenuSwitchesAtOnce();
    void englishLeavesNoChinese();
    void everyControlNamedAndFitting_data();
    void everyControlNamedAndFitting();

private:
    // The program started again on a desktop of these languages, with this
    // choice kept.
    void Restart(const QStringList& uiLanguages, const QString& stored = QString()) {
        forms_.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        desktop_->uiLanguages = uiLanguages;
        desktop_->storedLanguage = stored;
        forms_ = std::make_unique<Forms>(*desktop_);
        forms_->Start();
    }
    // Every window open, the conversion window with a line whose file has
    // been looked at, and the About box showing its text.
    void OpenEverything();
    // Every text the three windows show or tell a screen reader.
    QStringList WindowTexts();

    template <typename T> T* Child(QWidget* window, const char* name) {
        return window->findChild<T*>(QString::fromLatin1(name));
    }

    QTemporaryDir dir_;
    std::unique_ptr<ScriptedDesktop> desktop_;
    std::unique_ptr<Forms> forms_;
};

void tst_FormMain::initTestCase() {
    QDir::setCurrent(dir_.path());
}

void tst_FormMain::init() {
    desktop_ = std::make_unique<ScriptedDesktop>();
    forms_ = std::make_unique<Forms>(*desktop_);
    forms_->Start();
}

void tst_FormMain::cleanup() {
    forms_.reset();
    desktop_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void tst_FormMain::startUp() {
    Form_Main* main = forms_->Main();
    QVERIFY(main->isVisible());
    QCOMPARE(main->windowTitle(), QStringLiteral("Kestrix VERSION 2.0 BETA-RC2"));
    // The other two windows are loaded, hidden, and wear the program icon.
    QVERIFY(forms_->ConvertLoaded() && !forms_->Convert()->isVisible());
    QVERIFY(forms_->AboutLoaded() && !forms_->About()->isVisible());
    QVERIFY(!main->windowIcon().isNull());
    QCOMPARE(forms_->Convert()->windowIcon().cacheKey(), main->windowIcon().cacheKey());
    QCOMPARE(forms_->About()->windowIcon().cacheKey(), main->windowIcon().cacheKey());
    QCOMPARE(main->Logobox->pixmap().size(), QSize(374, 161));
    QCOMPARE(main->DLG.MaxFileSize, 9999);
    // Centred by its size (no frame yet before it is first shown).
    const auto placement = desktop_->LastPlacement(main);
    QCOMPARE(placement.left, (15360.0f - 5490.0f) / 2);
}

void tst_FormMain::layout() {
    Form_Main* main = forms_->Main();
    QCOMPARE(main->centralWidget()->size(), QSize(366, 269));
    QCOMPARE(main->Button_SMDtoBIN->geometry(), QRect(0, 168, 73, 25));
    QCOMPARE(main->Button_BINtoSMD->geometry(), QRect(72, 168, 73, 25));
    QCOMPARE(main->Button_Exit->geometry(), QRect(288, 168, 78, 25));
    QCOMPARE(main->Button_Exit->text(), QStringLiteral("退出"));
    QCOMPARE(main->Frame_info->title(), QStringLiteral("信息"));
    QCOMPARE(main->Menu_MDtoBIN->text(), QStringLiteral("&MD  to BIN"));
    QCOMPARE(main->Menu_BINtoMD->text(), QStringLiteral("BIN  to M&D"));
    QCOMPARE(main->Menu_ReadMe->text(), QStringLiteral("读去更新说明"));
    for (QAction* action : main->findChildren<QAction*>())
        QVERIFY(action->shortcut().isEmpty());

    Form_Convert* convert = forms_->Convert();
    QCOMPARE(convert->size(), QSize(366, 289));
    QCOMPARE(convert->Progress->geometry(), QRect(48, 200, 167, 25));
    QCOMPARE(convert->Label_info2->text(), QStringLiteral("保存文件到..."));
    QCOMPARE(convert->Button_DeselectAll->text(), QStringLiteral("撤销所有文件"));
    QCOMPARE(convert->Label_Status->text(), QStringLiteral("进度"));
    QCOMPARE(convert->Progress->Percent(), 0);
    QCOMPARE(convert->Progress->Color(), ColorRef(0x00C000));
    QCOMPARE(convert->Text_Path->text(), QDir::toNativeSeparators(dir_.path()));
    // Tab order of the conversion window.
    QList<QWidget*> order{convert->List_Files,         convert->Drive,
                          convert->Directory,          convert->Button_AddFiles,
                          convert->Button_RemoveFiles, convert->Button_SelectAll,
                          convert->Button_DeselectAll, convert->Button_Convert,
                          convert->Button_Cancel};
    QList<QWidget*> chain;
    QWidget* w = convert->List_Files;
    do {
        if (order.contains(w))
            chain.append(w);
        w = w->nextInFocusChain();
    } while (w != convert->List_Files && chain.size() < order.size());
    QCOMPARE(chain, order);
}

void tst_FormMain::openMode_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("byMenu");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("info");
    QTest::addColumn<QString>("filter");
    const char* captions[] = {"SMD to BIN", "BIN to SMD", "MD to BIN", "BIN to MD"};
    const QString infos[] = {
        QStringLiteral("SMD格式转换到BIN格式"), QStringLiteral("BIN格式转换到SMD格式"),
        QStringLiteral("MD格式转换到BIN格式"), QStringLiteral("BIN格式转换到MD格式")};
    const QString filters[] = {QStringLiteral("SMD格式文件|*.smd|所有文件|*.*"),
                               QStringLiteral("BIN格式文件|*.bin|所有文件|*.*"),
                               QStringLiteral("MD格式文件|*.md|所有文件|*.*"),
                               QStringLiteral("BIN格式文件|*.bin|所有文件|*.*")};
    for (int mode = 0; mode < 4; ++mode)
        for (bool byMenu : {false, true})
            QTest::addRow("%s by %s", captions[mode], byMenu ? "menu" : "button")
                << mode << byMenu << captions[mode] << infos[mode] << filters[mode];
}

void tst_FormMain::openMode() {
    QFETCH(int, mode);
    QFETCH(bool, byMenu);
    QFETCH(QString, caption);
    QFETCH(QString, info);
    QFETCH(QString, filter);
    Form_Main* main = forms_->Main();
    const char* buttons[] = {"Button_SMDtoBIN", "Button_BINtoSMD", "Button_MDtoBIN",
                             "Button_BINtoMD"};
    const char* menus[] = {"Menu_SMDtoBIN", "Menu_BINtoSMD", "Menu_MDtoBIN", "Menu_BINtoMD"};
    if (byMenu)
        Child<QAction>(main, menus[mode])->trigger();
    else
        Child<ButtonPlus>(main, buttons[mode])->click();

    Form_Convert* convert = forms_->Convert();
    QCOMPARE(forms_->Convert()->Session.CurrentMode, mode);
    QCOMPARE(convert->windowTitle(), caption);
    QCOMPARE(convert->Label_info1->text(), info);
    QCOMPARE(main->DLG.Filter, filter);
    QCOMPARE(main->DLG.Flags, 0x81A00);
    QVERIFY(!main->isVisible());
    QVERIFY(convert->isVisible());
    const auto placement = desktop_->LastPlacement(convert);
    QCOMPARE(placement.left, (15360.0f - 5490.0f) / 2);
    QCOMPARE(placement.top, (11520.0f - 4335.0f) / 2);
}

void tst_FormMain::laterModeReplacesEarlier() {
    Form_Main* main = forms_->Main();
    main->Button_SMDtoBIN->click();
    forms_->Convert()->Button_Cancel->click(); // empty list: back to the main window
    QVERIFY(main->isVisible());
    main->Menu_MDtoBIN->trigger();
    QCOMPARE(forms_->Convert()->windowTitle(), QStringLiteral("MD to BIN"));
    QCOMPARE(forms_->Convert()->Label_info1->text(), QStringLiteral("MD格式转换到BIN格式"));
    QCOMPARE(main->DLG.Filter, QStringLiteral("MD格式文件|*.md|所有文件|*.*"));
    QCOMPARE(forms_->Convert()->Session.CurrentMode, 2);
}

void tst_FormMain::unknownModes_data() {
    QTest::addColumn<int>("mode");
    QTest::newRow("7") << 7;
    QTest::newRow("-1 keeps its sign") << -1;
}

void tst_FormMain::unknownModes() {
    QFETCH(int, mode);
    FormLoad::SetupConvertWindow(*forms_, std::int16_t(1));
    Form_Main* main = forms_->Main();
    main->DLG.Flags = 0;
    const std::int16_t value = std::int16_t(mode);
    FormLoad::SetupConvertWindow(*forms_, value);
    QCOMPARE(forms_->Convert()->Session.CurrentMode, mode);
    QCOMPARE(main->DLG.Flags, 0x81A00);
    QCOMPARE(forms_->Convert()->windowTitle(), QStringLiteral("BIN to SMD"));
    QCOMPARE(main->DLG.Filter, QStringLiteral("BIN格式文件|*.bin|所有文件|*.*"));
}

void tst_FormMain::hints_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("hint");
    QTest::newRow("SMD to BIN") << "Button_SMDtoBIN"
                                << "按下此键 可以从SMD格式转换文件到BIN格式";
    QTest::newRow("BIN to SMD") << "Button_BINtoSMD"
                                << "按下此键 可以从BIN格式转换文件到SMD格式";
    QTest::newRow("MD to BIN") << "Button_MDtoBIN"
                               << "按下此键 可以从MD格式转换文件到BIN格式";
    QTest::newRow("BIN to MD") << "Button_BINtoMD"
                               << "按下此键 可以从BIN格式转换文件到MD格式";
    QTest::newRow("Exit") << "Button_Exit"
                          << "按下此键 程序退出";
}

void tst_FormMain::hints() {
    QFETCH(QString, button);
    QFETCH(QString, hint);
    Form_Main* main = forms_->Main();
    auto* b = main->findChild<ButtonPlus*>(button);
    QVERIFY(b);
    Hover::Enter(b);
    QCOMPARE(main->Label_info->text(), hint);
    Hover::Leave(b);
    QCOMPARE(main->Label_info->text(), QString());
}

void tst_FormMain::hintMovesStraightToNextButton() {
    Form_Main* main = forms_->Main();
    Hover::Enter(main->Button_SMDtoBIN);
    Hover::Leave(main->Button_SMDtoBIN);
    Hover::Enter(main->Button_BINtoSMD);
    QCOMPARE(main->Label_info->text(), QStringLiteral("按下此键 可以从BIN格式转换文件到SMD格式"));
}

void tst_FormMain::readMeFailure_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("boxShown");
    QTest::newRow("32 is a failure") << 32 << true;
    QTest::newRow("0") << 0 << true;
    QTest::newRow("33 started") << 33 << false;
}

void tst_FormMain::readMeFailure() {
    QFETCH(int, code);
    QFETCH(bool, boxShown);
    desktop_->programFolder = QStringLiteral("/opt/kestrix tools");
    desktop_->shellResult = code;
    forms_->Main()->Menu_ReadMe->trigger();
    QCOMPARE(desktop_->opened, QStringList{QStringLiteral("/opt/kestrix tools/readme.txt")});
    QCOMPARE(desktop_->messages.size(), boxShown ? 1 : 0);
    if (boxShown) {
        QCOMPARE(desktop_->messages[0].text,
                 QStringLiteral("The file /opt/kestrix tools/readme.txt could not be found. Please "
                                "make sure the readme is located at this location"));
        QCOMPARE(desktop_->messages[0].title, QStringLiteral("文件未找到"));
        QCOMPARE(desktop_->messages[0].style, 0);
    }
}

void tst_FormMain::readMeLiesBesideTheProgram() {
    QVERIFY(QFileInfo(qEnvironmentVariable("KESTRIX_BIN_DIR") + "/readme.txt").isFile());
}

void tst_FormMain::webItems_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("address");
    QTest::newRow("online help") << "Menu_OnlineHelp"
                                 << "https://www.example.org/kestrix/forum/help/";
    QTest::newRow("forum") << "Menu_KestrixForum"
                           << "https://www.example.org/kestrix/forum/";
    QTest::newRow("home page") << "Menu_Visit1"
                               << "https://www.example.org/kestrix/";
    QTest::newRow("blog") << "Menu_Visit2"
                          << "https://blog.example.org/kestrix/";
}

void tst_FormMain::webItems() {
    QFETCH(QString, item);
    QFETCH(QString, address);
    QAction* action = forms_->Main()->findChild<QAction*>(item);
    QVERIFY(action);
    desktop_->shellResult = 42;
    action->trigger();
    QCOMPARE(desktop_->opened, QStringList{address});
    QVERIFY(desktop_->messages.isEmpty());

    desktop_->shellResult = 32; // no browser
    action->trigger();
    QCOMPARE(desktop_->messages.size(), 1);
    QCOMPARE(desktop_->messages[0].title, QStringLiteral("Error. Default Browser Not Found"));
    QCOMPARE(desktop_->messages[0].text,
             QStringLiteral("The default browser for this system could not be found"));
}

void tst_FormMain::aboutText() {
    forms_->Main()->Menu_About->trigger();
    Form_About* about = forms_->About();
    QVERIFY(about->isVisible());
    QCOMPARE(about->windowTitle(), QStringLiteral("关于"));
    QCOMPARE(about->size(), QSize(367, 248));
    const QString text = about->Label_About->text();
    QVERIFY(!text.endsWith(QStringLiteral("\r\n")));
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 7);
    QVERIFY(lines[0].startsWith(QStringLiteral("Kestrix VERSION 2.0 BETA-RC2 开发作者： ")));
    QVERIFY(lines[0].contains(QStringLiteral("特别感谢")));
    QVERIFY(lines[0].contains(QStringLiteral("技术帮助支持。 简体中文版：")));
    QCOMPARE(lines[1], QString());
    QCOMPARE(lines[2], QStringLiteral("你可以写信到: kestrix@example.org."));
    QCOMPARE(lines[3], QStringLiteral("我的博客: https://blog.example.org/kestrix/"));
    QCOMPARE(lines[4], QStringLiteral("我的网站: https://www.example.org/kestrix/"));
    QCOMPARE(lines[5], QString());
    QVERIFY(lines[6].startsWith(QStringLiteral("Kestrix 2.0 BETA-RC2 ")));
    QVERIFY(forms_->Main()->isVisible()); // not modal
}

void tst_FormMain::aboutRecentres() {
    Form_Main* main = forms_->Main();
    main->Menu_About->trigger();
    main->Menu_About->trigger();
    Form_About* about = forms_->About();
    const QPoint centred = about->pos();
    about->move(5, 5);
    main->Menu_About->trigger();
    QCOMPARE(forms_->About(), about); // still one box
    QCOMPARE(about->pos(), centred);
    QCOMPARE(about->Label_About->text(), Form_About::AboutText());
}

void tst_FormMain::aboutOkHidesAndCloseUnloads() {
    Form_Main* main = forms_->Main();
    main->Menu_About->trigger();
    Form_About* about = forms_->About();
    about->Button_OK->click();
    QVERIFY(!about->isVisible());
    QVERIFY(forms_->AboutLoaded());
    main->Menu_About->trigger();
    QVERIFY(about->isVisible());

    QSignalSpy destroyed(about, &QObject::destroyed);
    about->close();
    QVERIFY(!forms_->AboutLoaded());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(destroyed.count(), 1);
    main->Menu_About->trigger();
    QVERIFY(forms_->AboutLoaded());
    QVERIFY(forms_->About()->isVisible());
}

void tst_FormMain::exitEndsAtOnce_data() {
    QTest::addColumn<bool>("byMenu");
    QTest::newRow("button") << false;
    QTest::newRow("menu") << true;
}

void tst_FormMain::exitEndsAtOnce() {
    QFETCH(bool, byMenu);
    Form_Main* main = forms_->Main();
    main->Menu_About->trigger();
    forms_->Convert()->Session.FileList = {QStringLiteral("/x/a.bin")};
    forms_->Convert()->Session.FileCount = 1;
    if (byMenu)
        main->Menu_Exit->trigger();
    else
        main->Button_Exit->click();
    QCOMPARE(desktop_->endCalls, 1);
    QVERIFY(desktop_->messages.isEmpty()); // no question, no close step
    QVERIFY(forms_->ConvertLoaded() && forms_->AboutLoaded());
}

// The second click of a quick double click on the conversion window's 取消
// lands on the main window that takes its place: it is ignored. The
// double-click interval is made long, then short, so that no timing of the
// machine decides the outcome.
void tst_FormMain::clicksIgnoredRightAfterShow() {
    const int interval = QApplication::doubleClickInterval();
    QApplication::setDoubleClickInterval(60000);
    Form_Main* main = forms_->Main();
    main->Button_BINtoMD->click();
    QTest::mouseClick(forms_->Convert()->Button_Cancel, Qt::LeftButton);
    QVERIFY(main->isVisible());
    // What the button under the pointer receives of the second click.
    QWidget* exit = main->Button_Exit;
    const QPointF at = exit->rect().center();
    for (QEvent::Type type :
         {QEvent::MouseButtonPress, QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, at, exit->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(exit, &event);
    }
    QCOMPARE(desktop_->endCalls, 0);
    QApplication::setDoubleClickInterval(1);
    QTest::qWait(20);
    QTest::mouseClick(main->Button_Exit, Qt::LeftButton);
    QApplication::setDoubleClickInterval(interval);
    QCOMPARE(desktop_->endCalls, 1);
}

void tst_FormMain::closeBoxUnloadsInOrder() {
    Form_Main* main = forms_->Main();
    QStringList order;
    connect(forms_->About(), &QObject::destroyed, this, [&] { order << "about"; });
    connect(forms_->Convert(), &QObject::destroyed, this, [&] { order << "convert"; });
    // The conversion window has entries and its close question is answered
    // with Cancel: the program ends all the same.
    forms_->Convert()->Session.FileList = {QStringLiteral("/x/a.bin")};
    forms_->Convert()->Session.FileCount = 1;
    desktop_->answers = {MsgBox::Cancel};
    main->close();
    QCOMPARE(order, (QStringList{"about", "convert"}));
    QCOMPARE(desktop_->messages.size(), 1);
    QCOMPARE(desktop_->messages[0].title, QStringLiteral("Cancel"));
    QCOMPARE(desktop_->endCalls, 1);
    QVERIFY(!forms_->MainLoaded());
}

void tst_FormMain::convertWindowCreatedAgain() {
    Form_Main* main = forms_->Main();
    main->Button_BINtoMD->click();
    Form_Convert* first = forms_->Convert();
    QSignalSpy destroyed(first, &QObject::destroyed);
    first->close(); // empty list: closes without a question
    QVERIFY(main->isVisible());
    QVERIFY(!forms_->ConvertLoaded());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(destroyed.count(), 1);
    main->Button_SMDtoBIN->click();
    QVERIFY(forms_->ConvertLoaded());
    QCOMPARE(forms_->Convert()->windowTitle(), QStringLiteral("SMD to BIN"));
    QVERIFY(!forms_->Convert()->windowIcon().isNull());
}

// --- languages ----------------------------------------------------------------

void tst_FormMain::OpenEverything() {
    Form_Main* main = forms_->Main();
    main->Menu_About->trigger();
    main->Button_SMDtoBIN->click();
    Form_Convert* convert = forms_->Convert();
    const QString file = dir_.filePath(QStringLiteral("lang.smd"));
    QFile write(file);
    QVERIFY(write.open(QIODevice::WriteOnly));
    write.write(QByteArray(100, 'x'));
    write.close();
    convert->AddSelection(QDir::toNativeSeparators(file));
    QTRY_VERIFY(!convert->List_Files->item(0)->toolTip().isEmpty());
    main->Menu_Patch->trigger();
    Form_Patch* patch = forms_->Patch();
    patch->SetImage(file);
    QTRY_VERIFY(!patch->Busy());
    main->Menu_Inspect->trigger();
    forms_->Inspect()->AddFiles({file});
    QTRY_VERIFY(forms_->Inspect()->ReportText().contains(QStringLiteral("size")));
    main->Menu_Audit->trigger();
    forms_->Audit()->AddSources({file});
    main->Menu_Export->trigger();
    forms_->Export()->AddSources({file});
}

QStringList tst_FormMain::WindowTexts() {
    QStringList texts;
    for (QWidget* window :
         {static_cast<QWidget*>(forms_->Main()), static_cast<QWidget*>(forms_->Convert()),
          static_cast<QWidget*>(forms_->About()), static_cast<QWidget*>(forms_->Patch()),
          static_cast<QWidget*>(forms_->Inspect()), static_cast<QWidget*>(forms_->Audit()),
          static_cast<QWidget*>(forms_->Export()),
          static_cast<QWidget*>(forms_->Patch()->MakePatch())}) {
        texts << window->windowTitle();
        for (QWidget* w : window->findChildren<QWidget*>()) {
            texts << w->toolTip() << w->accessibleName() << w->accessibleDescription();
            if (auto* label = qobject_cast<QLabel*>(w))
                texts << label->text();
            if (auto* button = qobject_cast<QAbstractButton*>(w))
                texts << button->text();
            if (auto* hinted = qobject_cast<ButtonPlus*>(w))
                texts << hinted->Hint();
            if (auto* box = qobject_cast<QGroupBox*>(w))
                texts << box->title();
            if (auto* menu = qobject_cast<QMenu*>(w))
                texts << menu->title();
            if (auto* list = qobject_cast<QListWidget*>(w))
                for (int row = 0; row < list->count(); ++row)
                    texts << list->item(row)->text() << list->item(row)->toolTip();
        }
        for (QAction* action : window->findChildren<QAction*>())
            texts << action->text() << action->toolTip();
    }
    texts << forms_->Main()->DLG.Filter;
    texts.removeAll(QString());
    return texts;
}

// Which language the windows speak: the kept choice, else the first Chinese
// or English one among the desktop's languages, else the program's Chinese.
void tst_FormMain::language_data() {
    QTest::addColumn<QStringList>("system");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("exit");
    QTest::addColumn<QString>("addFiles");
    const QString chinese[] = {QStringLiteral("退出"), QStringLiteral("添加文件")};
    const QString english[] = {QStringLiteral("Exit"), QStringLiteral("Add files")};
    auto row = [](const char* name, const QStringList& system, const char* stored,
                  const QString(&texts)[2]) {
        QTest::newRow(name) << system << QString::fromLatin1(stored) << texts[0] << texts[1];
    };
    row("C locale", {"C"}, "", chinese);
    row("no language at all", {}, "", chinese);
    row("Chinese", {"zh-CN", "zh-Hans-CN", "zh"}, "", chinese);
    row("Taiwanese Chinese", {"zh-TW", "en"}, "", chinese);
    row("English", {"en-US", "en-Latn-US", "en"}, "", english);
    row("British English", {"en_GB"}, "", english);
    row("French, then English", {"fr", "fr-FR", "en"}, "", english);
    row("German alone", {"de-DE", "de"}, "", chinese);
    row("chosen English on a Chinese desktop", {"zh-CN"}, "en", english);
    row("chosen Chinese on an English desktop", {"en-US"}, "zh_CN", chinese);
    row("a kept value that names no language", {"en-US"}, "klingon", english);
}

void tst_FormMain::language() {
    QFETCH(QStringList, system);
    QFETCH(QString, stored);
    QFETCH(QString, exit);
    QFETCH(QString, addFiles);
    Restart(system, stored);
    QCOMPARE(forms_->Main()->Button_Exit->text(), exit);
    QCOMPARE(forms_->Convert()->Button_AddFiles->text(), addFiles);
    QCOMPARE(desktop_->storedLanguage, stored); // starting never writes a choice
    // Qt's own dialogs speak the same language (qt6-translations-l10n).
    QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"),
             exit == QStringLiteral("退出") ? QStringLiteral("查找范围：")
                                            : QStringLiteral("Look in:"));
    const QString code = Language::Code(forms_->LanguageInUse());
    for (QAction* item : forms_->Main()->Menu_Language->actions())
        QCOMPARE(item->isChecked(), item->objectName() == QStringLiteral("Menu_Language_") + code);
}

// The menu's choice is kept and applies at once to every open window, and
// going back gives every text exactly as before.
void tst_FormMain::languageMenuSwitchesAtOnce() {
    OpenEverything();
    const QStringList chinese = WindowTexts();
    QVERIFY(chinese.contains(QStringLiteral("SMD格式文件|*.smd|所有文件|*.*")));

    Child<QAction>(forms_->Main(), "Menu_Language_en")->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
    QCOMPARE(desktop_->storedLanguage, QStringLiteral("en"));
    Form_Convert* convert = forms_->Convert();
    QCOMPARE(convert->windowTitle(), QStringLiteral("SMD to BIN"));
    QCOMPARE(convert->Label_info1->text(), QStringLiteral("SMD format to BIN format"));
    QCOMPARE(forms_->Main()->DLG.Filter, QStringLiteral("SMD files|*.smd|All files|*.*"));
    QCOMPARE(convert->Label_Status->text(), QStringLiteral("Progress"));
    QCOMPARE(forms_->About()->windowTitle(), QStringLiteral("About"));
    QVERIFY(forms_->About()->Label_About->text().startsWith(
        QStringLiteral("Kestrix VERSION 2.0 BETA-RC2 by The Kestrix developers (kestrix), ")));
    QVERIFY(Child<QAction>(forms_->Main(), "Menu_Language_en")->isChecked());
    Hover::Enter(forms_->Main()->Button_BINtoMD);
    QCOMPARE(
        forms_->Main()->Label_info->text(),
        QStringLiteral("Press this button to convert files from the BIN format to the MD format"));
    Hover::Leave(forms_->Main()->Button_BINtoMD);

    Child<QAction>(forms_->Main(), "Menu_Language_zh_CN")->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
    QCOMPARE(desktop_->storedLanguage, QStringLiteral("zh_CN"));
    QCOMPARE(WindowTexts(), chinese);

    // Kept: the next start speaks the language chosen last.
    Child<QAction>(forms_->Main(), "Menu_Language_en")->trigger();
    Restart({QStringLiteral("zh-CN")}, desktop_->storedLanguage);
    QCOMPARE(forms_->Main()->Menu_File->title(), QStringLiteral("&File"));
}

// In English no window shows a Chinese character, but the language menu's
// own name for Chinese; the boxes that are new speak English too.
void tst_FormMain::englishLeavesNoChinese() {
    Restart({QStringLiteral("en-US")});
    OpenEverything();
    // A run into a folder that has gone since it was picked.
    const QString gone = dir_.filePath(QStringLiteral("gone"));
    QVERIFY(QDir().mkdir(gone));
    QVERIFY(forms_->Convert()->Directory->SetPath(QDir::toNativeSeparators(gone)));
    QVERIFY(QDir().rmdir(gone));
    forms_->Convert()->Convert();
    desktop_->shellResult = 2;
    forms_->Main()->Menu_ReadMe->trigger();
    QStringList texts = WindowTexts();
    texts.removeAll(QStringLiteral("简体中文")); // the language menu's own name for it
    for (const ScriptedDesktop::Message& message : std::as_const(desktop_->messages))
        texts << message.title << message.text;
    QVERIFY(texts.contains(QStringLiteral("File not found")));
    QVERIFY(texts.contains(QStringLiteral("Please choose the folder to save the files to")));
    for (const QString& text : std::as_const(texts))
        for (QChar c : text)
            QVERIFY2(!(c.unicode() >= 0x2E80 && c.unicode() <= 0x9FFF) &&
                         !(c.unicode() >= 0xFF00 && c.unicode() <= 0xFFEF),
                     qPrintable(QStringLiteral("Chinese in English: ") + text));
}

// In both languages every control a screen reader reaches has a name, and
// every caption fits its control whole.
void tst_FormMain::everyControlNamedAndFitting_data() {
    QTest::addColumn<QString>("system");
    QTest::newRow("Chinese") << "zh-CN";
    QTest::newRow("English") << "en-US";
}

void tst_FormMain::everyControlNamedAndFitting() {
    QFETCH(QString, system);
    Restart({system});
    OpenEverything();
    for (QWidget* window :
         {static_cast<QWidget*>(forms_->Main()), static_cast<QWidget*>(forms_->Convert()),
          static_cast<QWidget*>(forms_->About()), static_cast<QWidget*>(forms_->Patch()),
          static_cast<QWidget*>(forms_->Inspect()), static_cast<QWidget*>(forms_->Audit()),
          static_cast<QWidget*>(forms_->Export()),
          static_cast<QWidget*>(forms_->Patch()->MakePatch())}) {
        // The controls: buttons, the list, the drive and folder lists, the
        // path and the progress bar.
        for (QWidget* w : window->findChildren<QWidget*>()) {
            if (!w->objectName().contains(QRegularExpression(
                    QStringLiteral("^(Button_|List_|Drive$|Directory$|Text_|Progress$)"))))
                continue;
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(w);
            QVERIFY(accessible);
            QVERIFY2(!accessible->text(QAccessible::Name).isEmpty(), qPrintable(w->objectName()));
            if (auto* button = qobject_cast<QAbstractButton*>(w))
                QVERIFY2(button->toolTip().isEmpty() && !button->text().endsWith(QChar(0x2026)),
                         qPrintable(button->text()));
        }
    }
    // The one-line labels show their whole text.
    Form_Convert* convert = forms_->Convert();
    for (QLabel* label :
         {convert->Label_info1, convert->Label_info2, convert->Label1, convert->Label_Status})
        QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                 qPrintable(label->text()));
}

QTEST_MAIN(tst_FormMain)
#include "tst_formmain.moc"
