#pragma once

#include "CommonDialog.h"

#include <QElapsedTimer>
#include <QMainWindow>

class ButtonPlus;
class Forms;
class QAction;
class QGroupBox;
class QLabel;
class QMenu;

// The window the program starts with: a logo, the four conversions and Exit
// as buttons and menu items, a hint line, the Help menu and the languages.
class Form_Main : public QMainWindow {
    Q_OBJECT

public:
    explicit Form_Main(Forms& forms);

    // The load step: icons, the other two windows, the logo, the position.
    void Load();

    QGroupBox* Frame_info = nullptr;
    QLabel* Label_info = nullptr;
    QLabel* Logobox = nullptr;
    ButtonPlus* Button_SMDtoBIN = nullptr;
    ButtonPlus* Button_BINtoSMD = nullptr;
    ButtonPlus* Button_MDtoBIN = nullptr;
    ButtonPlus* Button_BINtoMD = nullptr;
    ButtonPlus* Button_Exit = nullptr;

    QMenu* Menu_File = nullptr;
    QMenu* Menu_Convert = nullptr;
    QMenu* Menu_Help = nullptr;
    QMenu* Menu_Tools = nullptr;
    QMenu* Menu_Language = nullptr;
    QAction* Menu_Inspect = nullptr;
    QAction* Menu_Patch = nullptr;
    QAction* Menu_Audit = nullptr;
    QAction* Menu_Export = nullptr;
    QAction* Menu_Exit = nullptr;
    QAction* Menu_SMDtoBIN = nullptr;
    QAction* Menu_BINtoSMD = nullptr;
    QAction* Menu_MDtoBIN = nullptr;
    QAction* Menu_BINtoMD = nullptr;
    QAction* Menu_OnlineHelp = nullptr;
    QAction* Menu_Visit1 = nullptr;
    QAction* Menu_Visit2 = nullptr;
    QAction* Menu_KestrixForum = nullptr;
    QAction* Menu_ReadMe = nullptr;
    QAction* Menu_About = nullptr;

    // The open-file dialog of the conversion window.
    CommonDialog DLG;

    // Opens the conversion window for a mode.
    void OpenConversion(std::int16_t mode);
    // Ends the program at once.
    void EndNow();
    // The Help menu.
    void OpenReadMe();
    void OpenWebPage(const QString& address);
    void ShowAbout();

    // Sets every text of the window in the language of the moment.
    void Retranslate();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Forms& forms_;
    // When the window was last shown: for one double-click interval after
    // that, mouse clicks on it are ignored, so the second click of a double
    // click meant for the window it replaces does not land on it.
    QElapsedTimer shown_;
};
