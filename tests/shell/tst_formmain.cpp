#include "ButtonPlus.h"
#include "DriveList.h"
#include "FileFunctions.h"
#include "FileHandle.h"
#include "FolderList.h"
#include "FormLoad.h"
#include "Form_About.h"
#include "Form_Convert.h"
#include "Form_Main.h"
#include "Forms.h"
#include "Hover.h"
#include "Mod_File.h"
#include "ScriptedDesktop.h"
#include "XP_ProgressBar.h"

#include <QLineEdit>
#include <QListWidget>

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
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

private:
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

QTEST_MAIN(tst_FormMain)
#include "tst_formmain.moc"
