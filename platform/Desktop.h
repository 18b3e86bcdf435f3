#pragma once

#include "CommonDialog.h"

#include <QSize>
#include <QString>
#include <QStringList>

class QWidget;

// Everything the windows ask of the desktop. The program uses one real
// implementation; tests pass in a scripted one.
class Desktop {
public:
    virtual ~Desktop() = default;

    // A modal message box without icon: style 0 OK, 1 OK and Cancel, 4 Yes
    // and No. Answers 1 OK, 2 Cancel, 6 Yes, 7 No. An empty title shows the
    // application's name.
    virtual int ShowMessage(const QString& text, int style, const QString& title) = 0;

    // Shows the open-file dialog with the dialog's flags and filter and stores
    // the selection in dialog.FileName (empty when cancelled).
    virtual void ShowOpen(CommonDialog& dialog, QWidget* owner) = 0;

    // The files chosen in the open-file dialog (existing ones, one or
    // several), as full paths; none when cancelled.
    QStringList ChooseFiles(const QString& filter, bool several, QWidget* owner) {
        CommonDialog dialog;
        dialog.Flags = CommonDialog::Explorer | CommonDialog::FileMustExist |
                       (several ? CommonDialog::AllowMultiSelect : 0);
        dialog.Filter = filter;
        ShowOpen(dialog, owner);
        return dialog.SelectedPaths();
    }

    // Asks for a folder, starting at start; empty when cancelled. Native
    // separators.
    virtual QString ChooseFolder(const QString& start, QWidget* owner) = 0;
    // Asks for the name of a file to write, starting at start, with filters
    // as Qt's file dialog takes them ("DAT files (*.dat);;..."); the one
    // chosen in filter. A file that exists is asked about first. Empty when
    // cancelled. Native separators.
    virtual QString ChooseSaveFile(const QString& start, const QString& filters, QString* filter,
                                   QWidget* owner) = 0;

    // Handles every pending event, then returns.
    virtual void DoEvents() = 0;

    // Opens a path or web address with the desktop's default application
    // without waiting. Above 32: started; 32 or less: not.
    virtual int ShellExecute(const QString& file, int showCommand) = 0;

    // The folder the program runs from, in native separators, without a
    // trailing separator.
    virtual QString ProgramFolder() = 0;

    // Outer size of a window (frame and title bar included) and of the whole
    // primary screen, in twips; placing a window by its outer top-left corner.
    virtual QSize WindowSizeTwips(QWidget* window) = 0;
    virtual QSize ScreenSizeTwips() = 0;
    virtual void MoveWindowTwips(QWidget* window, float left, float top) = 0;

    // The places that serve as drives: mounted volumes, in native separators.
    virtual QStringList Drives() = 0;
    // Whether a drive can be used as the folder list's place.
    virtual bool DriveUsable(const QString& drive) = 0;

    // Ends the program at once: no window is asked to close.
    virtual void EndProgram() = 0;

    // The languages the user's desktop asks for, most wanted first, as
    // QLocale::uiLanguages() names them.
    virtual QStringList UiLanguages() = 0;
    // The one thing the program keeps between runs: the code of the language
    // the user chose from the menu, empty while none was chosen.
    virtual QString StoredLanguage() = 0;
    virtual void StoreLanguage(const QString& code) = 0;
};
