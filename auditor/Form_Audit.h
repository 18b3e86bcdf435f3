#pragma once

#include "AuditOutcome.h"

#include "ToolWindow.h"

#include <memory>

class FindingsModel;
class Desktop;
class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeView;

// The audit window: a collection checked against DAT files as
// kestrix-convert audit checks it, off the window's thread; the findings in
// a table filtered by their kind, and saved as the command line saves them
// (a fixdat of what is missing, the report as text or JSON).
class Form_Audit : public ToolWindow {
    Q_OBJECT

public:
    explicit Form_Audit(Desktop& desktop, QWidget* parent = nullptr);
    ~Form_Audit() override;

    QListWidget* List_Dats = nullptr;
    QPushButton* Button_AddDats = nullptr;
    QPushButton* Button_RemoveDats = nullptr;
    QListWidget* List_Sources = nullptr;
    QPushButton* Button_AddFiles = nullptr;
    QPushButton* Button_AddFolder = nullptr;
    QPushButton* Button_RemoveSources = nullptr;
    QCheckBox* Check_Recursive = nullptr;
    QPushButton* Button_Run = nullptr;
    QPushButton* Button_Cancel = nullptr;
    QProgressBar* Progress_Audit = nullptr;
    QComboBox* Combo_Filter = nullptr;
    QTreeView* Table_Findings = nullptr;
    QLabel* Label_Counts = nullptr;
    QLabel* Label_Result = nullptr;
    QPushButton* Button_SaveFixdat = nullptr;
    QPushButton* Button_SaveReport = nullptr;
    QPushButton* Button_Close = nullptr;

    // The kinds of finding, in the filter's order after "All".
    using Kind = FindingKind;

    void AddDats(const QStringList& paths);
    // Files (an archive stands for its entries) and folders to audit.
    void AddSources(const QStringList& paths);
    QStringList Dats() const;
    QStringList Sources() const;

    // Reads the DAT files and audits the sources against them, off the
    // window's thread; the findings replace the table's when it ends.
    void Run();
    // Cancel stops a run: the files not yet begun are left unread, and
    // nothing the run found is shown.

    // Shows the findings of one kind, or all (no kind).
    void ShowOnly(int filter);
    // Write the fixdat or the report where asked; false, with why shown,
    // when they cannot be written.
    bool SaveFixdat(const QString& path);
    bool SaveReport(const QString& path, bool json);

signals:
    // A run has ended (audited, cancelled or failed) and is told.
    void Audited();

protected:
    void changeEvent(QEvent* event) override;
    void dropEvent(QDropEvent* event) override;

public:
    struct Progress;

private:
    void LayOut();
    void Connect();
    void Retranslate();
    void ShowProgress();
    void ShowOutcome(const std::shared_ptr<const AuditOutcome>& outcome);
    void FillTable();
    void ShowCounts();
    void ChooseFixdat();
    void ChooseReport();
    void UpdateActions();

    Desktop& desktop_;
    FindingsModel* findings_ = nullptr;
    std::shared_ptr<Progress> running_;
    std::shared_ptr<const AuditOutcome> outcome_;
};
