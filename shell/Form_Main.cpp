#include "Form_Main.h"

#include "AboutInfo.h"
#include "ButtonPlus.h"
#include "Desktop.h"
#include "Errors.h"
#include "FormLoad.h"
#include "Form_About.h"
#include "Form_Convert.h"
#include "Forms.h"
#include "Language.h"
#include "Mod_DefaultOpen.h"
#include "MsgBox.h"
#include "PathSeparator.h"
#include "Position.h"
#include "Resources.h"
#include "Twips.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>

Form_Main::Form_Main(Forms& forms)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowCloseButtonHint),
      forms_(forms) {
    setObjectName(QStringLiteral("Form_Main"));
    // Files dropped on the window open where they belong.
    setAcceptDrops(true);
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

    Frame_info = new QGroupBox(client);
    place(Frame_info, "Frame_info", 0, 3120, 5415, 855);
    Label_info = new QLabel(Frame_info);
    place(Label_info, "Label_info", 120, 240, 5175, 495);
    Label_info->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label_info->setWordWrap(true);
    Logobox = new QLabel(client);
    place(Logobox, "Logobox", 0, 0, 5535, 2415);
    Logobox->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    const struct {
        ButtonPlus** button;
        const char* name;
        int left;
        int width;
    } buttons[] = {
        {&Button_SMDtoBIN, "Button_SMDtoBIN", 0, 1095},
        {&Button_BINtoSMD, "Button_BINtoSMD", 1080, 1095},
        {&Button_MDtoBIN, "Button_MDtoBIN", 2160, 1095},
        {&Button_BINtoMD, "Button_BINtoMD", 3240, 1095},
        {&Button_Exit, "Button_Exit", 4320, 1165},
    };
    QFont buttonFont(QStringLiteral("MS Sans Serif"));
    buttonFont.setPointSizeF(8.25);
    for (const auto& spec : buttons) {
        auto* button = new ButtonPlus(QString(), client);
        place(button, spec.name, spec.left, 2520, spec.width, 375);
        button->setFont(buttonFont);
        connect(button, &ButtonPlus::MouseEnter, this,
                [this, button] { Label_info->setText(button->Hint()); });
        connect(button, &ButtonPlus::MouseLeave, this, [this] { Label_info->clear(); });
        *spec.button = button;
    }
    // Tab order: the frame, the logo, then the five buttons.
    setTabOrder(Button_SMDtoBIN, Button_BINtoSMD);
    setTabOrder(Button_BINtoSMD, Button_MDtoBIN);
    setTabOrder(Button_MDtoBIN, Button_BINtoMD);
    setTabOrder(Button_BINtoMD, Button_Exit);

    auto action = [this](QMenu* menu, const char* name) {
        QAction* item = menu->addAction(QString());
        item->setObjectName(QString::fromLatin1(name));
        return item;
    };
    Menu_File = menuBar()->addMenu(QString());
    Menu_File->setObjectName(QStringLiteral("Menu_File"));
    Menu_Exit = action(Menu_File, "Menu_Exit");
    Menu_Convert = menuBar()->addMenu(QString());
    Menu_Convert->setObjectName(QStringLiteral("Menu_Convert"));
    Menu_SMDtoBIN = action(Menu_Convert, "Menu_SMDtoBIN");
    Menu_BINtoSMD = action(Menu_Convert, "Menu_BINtoSMD");
    Menu_MDtoBIN = action(Menu_Convert, "Menu_MDtoBIN");
    Menu_BINtoMD = action(Menu_Convert, "Menu_BINtoMD");
    Menu_Help = menuBar()->addMenu(QString());
    Menu_Help->setObjectName(QStringLiteral("Menu_Help"));
    Menu_OnlineHelp = action(Menu_Help, "Menu_OnlineHelp");
    Menu_Visit1 = action(Menu_Help, "Menu_Visit1");
    Menu_Visit2 = action(Menu_Help, "Menu_Visit2");
    Menu_KestrixForum = action(Menu_Help, "Menu_KestrixForum");
    Menu_ReadMe = action(Menu_Help, "Menu_ReadMe");
    Menu_About = action(Menu_Help, "Menu_About");
    // The tools beside the four conversions.
    Menu_Tools = menuBar()->addMenu(QString());
    Menu_Tools->setObjectName(QStringLiteral("Menu_Tools"));
    Menu_Inspect = action(Menu_Tools, "Menu_Inspect");
    connect(Menu_Inspect, &QAction::triggered, this, [this] { forms_.Inspect(); });
    Menu_Patch = action(Menu_Tools, "Menu_Patch");
    connect(Menu_Patch, &QAction::triggered, this, [this] { forms_.Patch(); });
    Menu_Audit = action(Menu_Tools, "Menu_Audit");
    connect(Menu_Audit, &QAction::triggered, this, [this] { forms_.Audit(); });
    Menu_Export = action(Menu_Tools, "Menu_Export");
    connect(Menu_Export, &QAction::triggered, this, [this] { forms_.Export(); });
    // The languages, each named in its own words, the one in use ticked.
    Menu_Language = menuBar()->addMenu(QString());
    Menu_Language->setObjectName(QStringLiteral("Menu_Language"));
    auto* languages = new QActionGroup(this);
    for (Language::Choice choice : Language::All) {
        QAction* item = Menu_Language->addAction(Language::OwnName(choice));
        item->setObjectName(QStringLiteral("Menu_Language_") + Language::Code(choice));
        item->setCheckable(true);
        languages->addAction(item);
        connect(item, &QAction::triggered, this, [this, choice] { forms_.ChooseLanguage(choice); });
    }

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
    Retranslate();
    // Settle the fixed size now, so the window is centred by its real size.
    adjustSize();
}

void Form_Main::Retranslate() {
    Frame_info->setTitle(tr("Information"));
    Logobox->setAccessibleName(tr("Kestrix logo"));
    const struct {
        ButtonPlus* button;
        const char* caption;
        const char* hint;
    } buttons[] = {
        {Button_SMDtoBIN, QT_TR_NOOP("SMD to BIN"),
         QT_TR_NOOP("Press this button to convert files from the SMD format to the BIN format")},
        {Button_BINtoSMD, QT_TR_NOOP("BIN to SMD"),
         QT_TR_NOOP("Press this button to convert files from the BIN format to the SMD format")},
        {Button_MDtoBIN, QT_TR_NOOP("MD to BIN"),
         QT_TR_NOOP("Press this button to convert files from the MD format to the BIN format")},
        {Button_BINtoMD, QT_TR_NOOP("BIN to MD"),
         QT_TR_NOOP("Press this button to convert files from the BIN format to the MD format")},
        {Button_Exit, QT_TR_NOOP("Exit"), QT_TR_NOOP("Press this button to leave the program")},
    };
    for (const auto& spec : buttons) {
        spec.button->SetCaption(tr(spec.caption));
        spec.button->SetHint(tr(spec.hint));
    }
    // A hint on show stays in the language it was shown in only until the
    // pointer moves on.
    Label_info->clear();

    Menu_File->setTitle(tr("&File"));
    Menu_Exit->setText(tr("E&xit"));
    Menu_Convert->setTitle(tr("&Convert"));
    Menu_SMDtoBIN->setText(tr("&SMD to BIN"));
    Menu_BINtoSMD->setText(tr("&BIN to SMD"));
    Menu_MDtoBIN->setText(tr("&MD  to BIN"));
    Menu_BINtoMD->setText(tr("BIN  to M&D"));
    Menu_Help->setTitle(tr("&Help"));
    const QString maker = QString::fromUtf8(AboutInfo::MakerName);
    Menu_OnlineHelp->setText(tr("Online help guide"));
    //: %1 is the maker's name
    Menu_Visit1->setText(tr("Visit the %1 home page").arg(maker));
    //: %1 is the maker's name
    Menu_Visit2->setText(tr("Visit the %1 blog").arg(maker));
    Menu_KestrixForum->setText(tr("Visit the program's forum"));
    Menu_ReadMe->setText(tr("Read the release notes"));
    Menu_About->setText(tr("About the program"));
    Menu_Tools->setTitle(tr("&Tools"));
    Menu_Inspect->setText(tr("&Inspect files..."));
    Menu_Patch->setText(tr("Apply &patches..."));
    Menu_Audit->setText(tr("&Audit a collection..."));
    Menu_Export->setText(tr("&Export for a device..."));
    //: The language menu: its title is also written in English in the Chinese
    //: windows, so that a user who reads no Chinese finds it.
    Menu_Language->setTitle(tr("&Language"));
    for (QAction* item : Menu_Language->actions())
        item->setChecked(item->objectName().endsWith(Language::Code(forms_.LanguageInUse())));
}

void Form_Main::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) {
        Retranslate();
        // The conversion window's texts by its mode, and the file dialog's
        // filter, are set as it opens: set them again in the new language.
        if (forms_.ConvertLoaded())
            FormLoad::SetupConvertWindow(forms_,
                                         std::int16_t(forms_.Convert()->Session.CurrentMode));
    }
    QMainWindow::changeEvent(event);
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
                                     MsgBox::OkOnly, tr("File not found"));
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

// Images, patches, DAT files and folders dropped on the window: as if given
// to the program.
void Form_Main::dragEnterEvent(QDragEnterEvent* event) {
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile() && QFileInfo::exists(url.toLocalFile()))
            return event->acceptProposedAction();
}

void Form_Main::dropEvent(QDropEvent* event) {
    QStringList files;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile() && QFileInfo::exists(url.toLocalFile()))
            files << url.toLocalFile();
    if (forms_.OpenFiles(files))
        event->acceptProposedAction();
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
