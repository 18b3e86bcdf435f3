#pragma once

#include "DeviceProfile.h"

#include "ToolWindow.h"

#include <memory>
#include <vector>

class Desktop;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeWidget;

// The export window: images written into a folder as a device reads them,
// by the engine's export (the command line's export --profile). A preview
// (a dry run) shows every file in a table before anything is written; the
// export then writes what the preview showed, off the window's thread, and
// its manifest lets Undo take it back.
class Form_Export : public ToolWindow {
    Q_OBJECT

public:
    explicit Form_Export(Desktop& desktop, QWidget* parent = nullptr);
    ~Form_Export() override;

    QComboBox* Combo_Profile = nullptr;
    QLabel* Label_Describe = nullptr;
    QListWidget* List_Sources = nullptr;
    QPushButton* Button_AddFiles = nullptr;
    QPushButton* Button_AddFolder = nullptr;
    QPushButton* Button_RemoveSources = nullptr;
    QCheckBox* Check_Recursive = nullptr;
    QListWidget* List_Dats = nullptr;
    QPushButton* Button_AddDats = nullptr;
    QPushButton* Button_RemoveDats = nullptr;
    QLineEdit* Text_Folder = nullptr;
    QPushButton* Button_Browse = nullptr;
    QPushButton* Button_Preview = nullptr;
    QPushButton* Button_Export = nullptr;
    QPushButton* Button_Cancel = nullptr;
    QProgressBar* Progress_Export = nullptr;
    QTreeWidget* Table_Files = nullptr;
    QLabel* Label_Result = nullptr;
    QPushButton* Button_Undo = nullptr;
    QPushButton* Button_Close = nullptr;

    void AddSources(const QStringList& paths);
    void AddDats(const QStringList& paths);
    void SetFolder(const QString& folder);
    // Chooses a profile by its name; false when there is none of it.
    bool ChooseProfile(const QString& name);

    // Shows what an export would write, writing nothing.
    void Preview();
    // Writes what the preview showed; nothing without a preview of the
    // window's choices as they are.
    void Export();
    // Takes back the last export of this window, or one whose manifest is
    // given.
    void Undo(const QString& manifest = QString());
    // The manifest of the last export, empty before one.
    QString LastManifest() const { return lastManifest_; }

signals:
    // A preview, export or undo has ended and is told.
    void Finished();

protected:
    void changeEvent(QEvent* event) override;
    void dropEvent(QDropEvent* event) override;

public:
    struct Progress;
    struct Outcome;

private:
    void LayOut();
    void Connect();
    void Retranslate();
    void LoadProfiles();
    void Changed();
    void Start(bool dryRun);
    void ShowProgress();
    void ShowOutcome(const std::shared_ptr<const Outcome>& outcome);
    void UpdateActions();

    Desktop& desktop_;
    std::vector<DeviceProfile::Profile> profiles_;
    EngineError profilesError_;
    std::shared_ptr<Progress> running_;
    bool previewed_ = false; // the table shows a preview of the choices as they are
    QString lastManifest_;
};
