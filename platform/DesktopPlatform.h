#pragma once

#include "Desktop.h"

// The desktop as Qt reaches it: Qt's message box and file dialog, the
// desktop's launcher for the default application, the mounted volumes.
class DesktopPlatform : public Desktop {
public:
    int ShowMessage(const QString& text, int style, const QString& title) override;
    void ShowOpen(CommonDialog& dialog, QWidget* owner) override;
    QString ChooseFolder(const QString& start, QWidget* owner) override;
    QString ChooseSaveFile(const QString& start, const QString& filters, QString* filter,
                           QWidget* owner) override;
    void DoEvents() override;
    int ShellExecute(const QString& file, int showCommand) override;
    QString ProgramFolder() override;
    QSize WindowSizeTwips(QWidget* window) override;
    QSize ScreenSizeTwips() override;
    void MoveWindowTwips(QWidget* window, float left, float top) override;
    // The mounted volumes that answer within DriveAnswerMilliseconds.
    QStringList Drives() override;
    static constexpr int DriveAnswerMilliseconds = 1000;
    bool DriveUsable(const QString& drive) override;
    void EndProgram() override;
    QStringList UiLanguages() override;
    // Kept in Qt's settings: the user's configuration folder on Linux, the
    // user's registry on Windows.
    QString StoredLanguage() override;
    void StoreLanguage(const QString& code) override;

    // The dialog's "description|pattern|..." filter as Qt name filters.
    static QStringList NameFilters(const QString& filter);
    // The chosen files in the dialog's result form: one full path, or the
    // folder followed by the bare names, NUL-separated, native separators.
    static QString SelectionText(const QStringList& files);
};

// The application's name, shown by message boxes without a title.
inline constexpr const char* ApplicationName = "Kestrix";
