#include "Form_Main.h"

#include "AboutInfo.h"
#include "ButtonPlus.h"
#include "Desktop.h"
#include "Errors.h"
#include "FormLoad.h"
#include "Form_About.h"
#include "Form_Convert.h"
#include "Forms.h"
#include "Mod_DefaultOpen.h"
#include "MsgBox.h"
#include "PathSeparator.h"
#include "Position.h"
#include "Resources.h"
#include "Twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>

Form_Main::Form_Main(Forms& forms)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowCloseButtonHint),
      forms_(forms) {
    setObjectName(QStringLiteral("Form_Main"));
    qApp->installEventFilter(this);
    setWindowTitle(QStringLiteral("Kestrix VERSION " KESTRIX_VERSION_TEXT));
    DLG.MaxFileSize = 9999;

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(Px(5490), Px(4035));
    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    auto place = [](QWidget* widget, const char* name, int left, int top, int width, int height) {
        widget->setObjectName(QString::fromLatin1(name));
        widget->setGeometry(TwipsRect(left, top, width, height));
    };

    Frame_info = new QGroupBox(QStringLiteral("信息"), client);
    place(Frame_info, "Frame_info", 0, 3120, 5415, 855);
    Label_info = new QLabel(Frame_info);
    place(Label_info, "Label_info", 120, 240, 5175, 495);
    Label_info->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label_info->setWordWrap(true);
    Logobox = new QLabel(client);
    place(Logobox, "Logobox", 0, 0, 5535, 2415);
    Logobox->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    struct ButtonSpec {
        ButtonPlus** button;
        const char* name;
        const char16_t* caption;
        int left;
        int width;
        const char16_t* hint;
    };
    const ButtonSpec buttons[] = {
        {&Button_SMDtoBIN, "Button_SMDtoBIN", u"SMD to BIN", 0, 1095,
         u"按下此键 可以从SMD格式转换文件到BIN格式"},
        {&Button_BINtoSMD, "Button_BINtoSMD", u"BIN to SMD", 1080, 1095,
         u"按下此键 可以从BIN格式转换文件到SMD格式"},
        {&Button_MDtoBIN, "Button_MDtoBIN", u"MD to BIN", 2160, 1095,
         u"按下此键 可以从MD格式转换文件到BIN格式"},
        {&Button_BINtoMD, "Button_BINtoMD", u"BIN to MD", 3240, 1095,
         u"按下此键 可以从BIN格式转换文件到MD格式"},
        {&Button_Exit, "Button_Exit", u"退出", 4320, 1165, u"按下此键 程序退出"},
    };
    QFont buttonFont(QStringLiteral("MS Sans Serif"));
    buttonFont.setPointSizeF(8.25);
    for (const ButtonSpec& spec : buttons) {
        auto* button = new ButtonPlus(QString::fromUtf16(spec.caption), client);
        place(button, spec.name, spec.left, 2520, spec.width, 375);
        button->setFont(buttonFont);
        const QString hint = QString::fromUtf16(spec.hint);
        connect(button, &ButtonPlus::MouseEnter, this, [this, hint] { Label_info->setText(hint); });
        connect(button, &ButtonPlus::MouseLeave, this, [this] { Label_info->clear(); });
        *spec.button = button;
    }
    // Tab order: the frame, the logo, then the five buttons.
    setTabOrder(Button_SMDtoBIN, Button_BINtoSMD);
    setTabOrder(Button_BINtoSMD, Button_MDtoBIN);
    setTabOrder(Button_MDtoBIN, Button_BINtoMD);
    setTabOrder(Button_BINtoMD, Button_Exit);

    auto action = [this](QMenu* menu, const char* name, const QString& caption) {
        QAction* item = menu->addAction(caption);
        item->setObjectName(QString::fromLatin1(name));
        return item;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("文件"));
    file->setObjectName(QStringLiteral("Menu_File"));
    Menu_Exit = action(file, "Menu_Exit", QStringLiteral("退出"));
    QMenu* convert = menuBar()->addMenu(QStringLiteral("转换设置"));
    convert->setObjectName(QStringLiteral("Menu_Convert"));
    Menu_SMDtoBIN = action(convert, "Menu_SMDtoBIN", QStringLiteral("&SMD to BIN"));
    Menu_BINtoSMD = action(convert, "Menu_BINtoSMD", QStringLiteral("&BIN to SMD"));
    Menu_MDtoBIN = action(convert, "Menu_MDtoBIN", QStringLiteral("&MD  to BIN"));
    Menu_BINtoMD = action(convert, "Menu_BINtoMD", QStringLiteral("BIN  to M&D"));
    QMenu* help = menuBar()->addMenu(QStringLiteral("帮助"));
    help->setObjectName(QStringLiteral("Menu_Help"));
    const QString maker = QString::fromUtf8(AboutInfo::MakerName);
    Menu_OnlineHelp = action(help, "Menu_OnlineHelp", QStringLiteral("在线帮助指南"));
    Menu_Visit1 =
        action(help, "Menu_Visit1", QStringLiteral("访问") + maker + QStringLiteral("主页"));
    Menu_Visit2 =
        action(help, "Menu_Visit2", QStringLiteral("访问") + maker + QStringLiteral("博客"));
    Menu_KestrixForum = action(help, "Menu_KestrixForum", QStringLiteral("访问程序社区"));
    Menu_ReadMe = action(help, "Menu_ReadMe", QStringLiteral("读去更新说明"));
    Menu_About = action(help, "Menu_About", QStringLiteral("关于程序信息"));

    const std::pair<ButtonPlus*, QAction*> modes[] = {
        {Button_SMDtoBIN, Menu_SMDtoBIN},
        {Button_BINtoSMD, Menu_BINtoSMD},
        {Button_MDtoBIN, Menu_MDtoBIN},
        {Button_BINtoMD, Menu_BINtoMD},
    };
    for (std::int16_t mode = 0; mode < 4; ++mode) {
        connect(modes[mode].first, &ButtonPlus::Click, this,
                [this, mode] { OpenConversion(mode); });
        connect(modes[mode].second, &QAction::triggered, this,
                [this, mode] { OpenConversion(mode); });
    }
    connect(Button_Exit, &ButtonPlus::Click, this, &Form_Main::EndNow);
    connect(Menu_Exit, &QAction::triggered, this, &Form_Main::EndNow);
    connect(Menu_OnlineHelp, &QAction::triggered, this,
            [this] { OpenWebPage(QString::fromUtf8(AboutInfo::OnlineHelp)); });
    connect(Menu_KestrixForum, &QAction::triggered, this,
            [this] { OpenWebPage(QString::fromUtf8(AboutInfo::Forum)); });
    connect(Menu_Visit1, &QAction::triggered, this,
            [this] { OpenWebPage(QString::fromUtf8(AboutInfo::HomePage)); });
    connect(Menu_Visit2, &QAction::triggered, this,
            [this] { OpenWebPage(QString::fromUtf8(AboutInfo::Blog)); });
    connect(Menu_ReadMe, &QAction::triggered, this, &Form_Main::OpenReadMe);
    connect(Menu_About, &QAction::triggered, this, &Form_Main::ShowAbout);
    // Settle the fixed size now, so the window is centred by its real size.
    adjustSize();
}

void Form_Main::Load() {
    const QIcon icon = Resources::ProgramIcon();
    forms_.SetIcon(icon);
    QApplication::setWindowIcon(icon); // message boxes and dialogs wear it too
    setWindowIcon(icon);
    forms_.Convert()->setWindowIcon(icon);
    forms_.About()->setWindowIcon(icon);
    Logobox->setPixmap(Resources::Logo());
    Position::CenterForm(forms_.desktop(), this);
}

void Form_Main::OpenConversion(std::int16_t mode) {
    Position::CenterForm(forms_.desktop(), forms_.Convert());
    FormLoad::SetupConvertWindow(forms_, mode);
    hide();
    forms_.Convert()->show();
}

void Form_Main::EndNow() {
    forms_.desktop().EndProgram();
}

void Form_Main::OpenReadMe() {
    auto path = [this] {
        return forms_.desktop().ProgramFolder() + PathSeparator() + QStringLiteral("readme.txt");
    };
    if (forms_.desktop().ShellExecute(path(), Mod_DefaultOpen::ShowDefault) <= 32)
        forms_.desktop().ShowMessage(QStringLiteral("The file ") + path() +
                                         QStringLiteral(" could not be found. Please make sure "
                                                        "the readme is located at this location"),
                                     MsgBox::OkOnly, QStringLiteral("文件未找到"));
}

void Form_Main::OpenWebPage(const QString& address) {
    if (Mod_DefaultOpen::DefaultOpen(forms_.desktop(), address, Mod_DefaultOpen::ShowDefault) <= 32)
        Errors::ShowError(forms_.desktop(), DefaultBrowserNotFound);
}

void Form_Main::ShowAbout() {
    Form_About* about = forms_.About();
    about->SetText();
    Position::CenterForm(forms_.desktop(), about);
    about->show();
    about->raise();
    about->activateWindow();
}

void Form_Main::showEvent(QShowEvent* event) {
    shown_.start();
    QMainWindow::showEvent(event);
}

bool Form_Main::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == this && shown_.isValid() &&
            shown_.elapsed() < QApplication::doubleClickInterval())
            return true;
        break;
    }
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void Form_Main::closeEvent(QCloseEvent* event) {
    forms_.UnloadAbout();
    forms_.UnloadConvert();
    event->accept();
    forms_.UnloadMain();
    forms_.desktop().EndProgram();
}
