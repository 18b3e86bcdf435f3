#pragma once

#include "ConvertSession.h"
#include "Mod_Convert.h"
#include "RomInspector.h"

#include <QHash>
#include <QSet>
#include <QWidget>

class ButtonPlus;
class ConvertHost;
class Desktop;
class DriveList;
class FolderList;
class ListInspector;
class QMimeData;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class XP_ProgressBar;

// The batch conversion window: the list of files to convert, the output
// folder, and the run over the list.
class Form_Convert : public QWidget {
    Q_OBJECT

public:
    Form_Convert(Desktop& desktop, ConvertHost& host, QWidget* parent = nullptr);

    QLabel* Label_info1 = nullptr;
    QListWidget* List_Files = nullptr;
    QLabel* Label_info2 = nullptr;
    DriveList* Drive = nullptr;
    FolderList* Directory = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Text_Path = nullptr;
    QLabel* Label_Status = nullptr;
    XP_ProgressBar* Progress = nullptr;
    ButtonPlus* Button_Convert = nullptr;
    ButtonPlus* Button_Cancel = nullptr;
    ButtonPlus* Button_AddFiles = nullptr;
    ButtonPlus* Button_RemoveFiles = nullptr;
    ButtonPlus* Button_SelectAll = nullptr;
    ButtonPlus* Button_DeselectAll = nullptr;
    QGroupBox* Frame_info = nullptr;
    QLabel* Label_info = nullptr;

    // Sets every text of the window that does not depend on the mode in the
    // language of the moment, and the list's hints.
    void Retranslate();

    // The display text of a list entry: its name, "->" and the name it will get.
    QString DisplayText(const QString& entry) const;

    // Empties the conversion list: lines, entries and count.
    void EmptyList();

    // The list actions.
    void AddFiles();
    // Adds the files of an open-file dialog's answer: one full path, or a
    // folder and names, separated by NUL characters.
    void AddSelection(const QString& selection);
    // Dropped files as such answers, one for each folder they come from.
    static QStringList DroppedSelections(const QMimeData* data);
    void RemoveFiles();
    void SelectAll();
    void DeselectAll();

    // The conversion run over the whole list.
    void Convert();

    // The cancel button.
    void Cancel();

    // The user picked another drive.
    void DriveChanged();

    // What the background inspection found out about the list's files.
    // The mode, the chosen files, the list and the run.
    ConvertSession Session;
    ListInspector* Inspector = nullptr;
    // The hint of a list line: the layout, the title, the checksum and, when
    // the content is not what the mode reads, the conversion that fits.
    static QString InspectionHint(const RomInspector::Report& report, std::int32_t mode);
    // Whether the content is known to be of another layout than the mode reads.
    static bool WrongLayout(const RomInspector::Report& report, std::int32_t mode);

signals:
    // The window has been closed and is going away.
    void Unloaded();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Load();
    void SetRunControlsEnabled(bool enabled);
    void SetStatus(const QString& text);
    void HandBackToMain();
    void ShowList();
    void Decorate(int row);
    void DecorateArrived();

    Desktop& desktop_;
    ConvertHost& host_;
    QSet<QString> arrived_;
    class RunObserver;
    // Why the last run could not convert a file, by its path.
    QHash<QString, QString> failures_;
    // Whether a run has told its progress in the status label.
    bool statusTold_ = false;
};
