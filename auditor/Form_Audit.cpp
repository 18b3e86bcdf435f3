#include "Form_Audit.h"

#include "FindingsModel.h"

#include "Audit.h"
#include "AuditReport.h"
#include "DatFile.h"
#include "Desktop.h"
#include "FolderWalk.h"
#include "OffThread.h"
#include "PathList.h"
#include "SafeFile.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include <algorithm>
#include <atomic>

// What a run and the window share while it runs.
struct Form_Audit::Progress {
    std::atomic<int> total{-1}; // files to read, once the folders are walked
    std::atomic<int> done{0};
    std::atomic<bool> stop{false};
};

namespace {

// The run, on a thread of its own: the DAT files read, the folders walked
// (into their folders too when recursive), then the engine's audit.
std::shared_ptr<const AuditOutcome> AuditRun(const QStringList& dats, const QStringList& sources,
                                             bool recursive, Form_Audit::Progress& progress) {
    auto out = std::make_shared<AuditOutcome>();
    out->dats = dats;
    out->index->UseCache();
    for (const QString& dat : dats)
        if (out->datError = out->index->Load(dat); out->datError.Failed())
            return out;
    QStringList paths;
    WalkSources(
        sources, recursive, [&paths](const QString& path, bool) { paths << path; },
        &out->unreachable, &progress.stop);
    out->files = Audit::OnceEach(paths, &out->ids);
    progress.total = int(out->files.size());
    RomInspector::InspectionThreads threads(0);
    qsizetype next = 0;
    FingerprintCache cache;
    out->result = Audit::Check(
        *out->index, out->files, threads, {}, {},
        [&](const RomInspector::Report& report) {
            // Reports come in the files' order, an archive's one per entry.
            while (next < out->files.size() && report.file != out->files.at(next) &&
                   !report.file.startsWith(out->files.at(next) + QLatin1Char(':')))
                ++next;
            progress.done = int(std::min(next + 1, out->files.size()));
        },
        &progress.stop, &cache);
    out->cancelled = progress.stop;
    if (!out->cancelled)
        cache.Save();
    out->cacheTrouble = cache.Trouble();
    return out;
}

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

} // namespace

Form_Audit::Form_Audit(Desktop& desktop, QWidget* parent)
    : ToolWindow("Form_Audit", parent), desktop_(desktop) {
    LayOut();
    Connect();
    Retranslate();
    UpdateActions();
}

Form_Audit::~Form_Audit() = default;

void Form_Audit::LayOut() {
    auto named = [this](auto* widget, const char* name) { return Named(widget, name); };
    List_Dats = named(new QListWidget, "List_Dats");
    List_Dats->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Button_AddDats = named(new QPushButton, "Button_AddDats");
    Button_RemoveDats = named(new QPushButton, "Button_RemoveDats");
    List_Sources = named(new QListWidget, "List_Sources");
    List_Sources->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Button_AddFiles = named(new QPushButton, "Button_AddFiles");
    Button_AddFolder = named(new QPushButton, "Button_AddFolder");
    Button_RemoveSources = named(new QPushButton, "Button_RemoveSources");
    Check_Recursive = named(new QCheckBox, "Check_Recursive");
    Check_Recursive->setChecked(true);
    Button_Run = named(new QPushButton, "Button_Run");
    Button_Run->setDefault(true);
    Button_Cancel = named(new QPushButton, "Button_Cancel");
    Progress_Audit = named(new QProgressBar, "Progress_Audit");
    Progress_Audit->setRange(0, 1);
    Progress_Audit->setValue(0);
    Combo_Filter = named(new QComboBox, "Combo_Filter");
    // Wide enough for its counts, which are known only once a run is done.
    Combo_Filter->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    for (int i = 0; i <= FindingKinds; ++i)
        Combo_Filter->addItem(QString());
    findings_ = new FindingsModel(this);
    Table_Findings = named(new QTreeView, "Table_Findings");
    Table_Findings->setModel(findings_);
    Table_Findings->setRootIsDecorated(false);
    Table_Findings->setUniformRowHeights(true);
    Table_Findings->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table_Findings->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Label_Counts = named(new QLabel, "Label_Counts");
    Label_Counts->setWordWrap(true);
    Label_Result = named(new QLabel, "Label_Result");
    Label_Result->setWordWrap(true);
    Label_Result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Button_SaveFixdat = named(new QPushButton, "Button_SaveFixdat");
    Button_SaveReport = named(new QPushButton, "Button_SaveReport");
    Button_Close = named(new QPushButton, "Button_Close");

    auto* grid = new QGridLayout(this);
    auto* datLabel = named(new QLabel, "Label_Dats");
    datLabel->setBuddy(List_Dats);
    auto* sourceLabel = named(new QLabel, "Label_Sources");
    sourceLabel->setBuddy(List_Sources);
    grid->addWidget(datLabel, 0, 0);
    grid->addWidget(sourceLabel, 0, 1);
    grid->addWidget(List_Dats, 1, 0);
    grid->addWidget(List_Sources, 1, 1);
    auto* datButtons = new QHBoxLayout;
    datButtons->addWidget(Button_AddDats);
    datButtons->addWidget(Button_RemoveDats);
    datButtons->addStretch();
    grid->addLayout(datButtons, 2, 0);
    auto* sourceButtons = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{Button_AddFiles, Button_AddFolder,
                                                      Button_RemoveSources, Check_Recursive})
        sourceButtons->addWidget(w);
    sourceButtons->addStretch();
    grid->addLayout(sourceButtons, 2, 1);
    auto* run = new QHBoxLayout;
    run->addWidget(Button_Run);
    run->addWidget(Button_Cancel);
    run->addWidget(Progress_Audit, 1);
    grid->addLayout(run, 3, 0, 1, 2);
    auto* filterRow = new QHBoxLayout;
    auto* filterLabel = named(new QLabel, "Label_Filter");
    filterLabel->setBuddy(Combo_Filter);
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(Combo_Filter);
    filterRow->addWidget(Label_Counts, 1);
    grid->addLayout(filterRow, 4, 0, 1, 2);
    grid->addWidget(Table_Findings, 5, 0, 1, 2);
    grid->addWidget(Label_Result, 6, 0, 1, 2);
    auto* save = new QHBoxLayout;
    save->addWidget(Button_SaveFixdat);
    save->addWidget(Button_SaveReport);
    save->addStretch();
    save->addWidget(Button_Close);
    grid->addLayout(save, 7, 0, 1, 2);
    grid->setRowStretch(1, 1);
    grid->setRowStretch(5, 3);
    resize(820, 620);
}

void Form_Audit::Connect() {
    connect(Button_AddFiles, &QPushButton::clicked, this,
            [this] { AddSources(ChooseImages(desktop_)); });
    connect(Button_AddFolder, &QPushButton::clicked, this,
            [this] { AddSources(ChooseFolder(desktop_)); });
    connect(Button_AddDats, &QPushButton::clicked, this, [this] { AddDats(ChooseDats(desktop_)); });
    for (QPushButton* button : {Button_RemoveDats, Button_RemoveSources})
        connect(button, &QPushButton::clicked, this, [this, button] {
            RemoveSelected(button == Button_RemoveDats ? List_Dats : List_Sources);
            UpdateActions();
        });
    connect(Button_Run, &QPushButton::clicked, this, &Form_Audit::Run);
    connect(Button_Cancel, &QPushButton::clicked, this, &Form_Audit::Cancel);
    connect(Combo_Filter, &QComboBox::currentIndexChanged, this, &Form_Audit::ShowOnly);
    connect(Button_SaveFixdat, &QPushButton::clicked, this, &Form_Audit::ChooseFixdat);
    connect(new QShortcut(QKeySequence::Save, this), &QShortcut::activated, this, [this] {
        if (Button_SaveFixdat->isEnabled())
            ChooseFixdat();
    });
    connect(Button_SaveReport, &QPushButton::clicked, this, &Form_Audit::ChooseReport);
    connect(Button_Close, &QPushButton::clicked, this, &QWidget::close);
    connect(timer_, &QTimer::timeout, this, &Form_Audit::ShowProgress);
}

void Form_Audit::Retranslate() {
    setWindowTitle(tr("Audit a collection"));
    findChild<QLabel*>(QStringLiteral("Label_Dats"))->setText(tr("&DAT files:"));
    findChild<QLabel*>(QStringLiteral("Label_Sources"))->setText(tr("F&iles and folders:"));
    findChild<QLabel*>(QStringLiteral("Label_Filter"))->setText(tr("S&how:"));
    Button_AddDats->setText(tr("Add D&ATs..."));
    Button_RemoveDats->setText(tr("Remo&ve"));
    Button_AddFiles->setText(tr("Add fi&les..."));
    Button_AddFolder->setText(tr("Add f&older..."));
    Button_RemoveSources->setText(tr("R&emove"));
    Check_Recursive->setText(tr("Into &subfolders"));
    Button_Run->setText(tr("&Run"));
    Button_Cancel->setText(tr("&Cancel"));
    List_Dats->setAccessibleName(tr("DAT files"));
    List_Sources->setAccessibleName(tr("Files and folders"));
    Combo_Filter->setAccessibleName(tr("Show"));
    Progress_Audit->setAccessibleName(tr("Progress"));
    Table_Findings->setAccessibleName(tr("Findings"));
    Button_SaveFixdat->setText(tr("Save &fixdat..."));
    Button_SaveFixdat->setAccessibleDescription(tr("A DAT of the games still missing (Ctrl+S)"));
    Button_SaveReport->setText(tr("Save re&port..."));
    Button_Close->setText(tr("Close"));
    findings_->Retranslate();
    ShowCounts();
}

void Form_Audit::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        Retranslate();
    QDialog::changeEvent(event);
}

// --- what to audit -----------------------------------------------------------

void Form_Audit::AddDats(const QStringList& paths) {
    PathList::Add(List_Dats, paths);
    UpdateActions();
}

void Form_Audit::AddSources(const QStringList& paths) {
    PathList::Add(List_Sources, paths);
    UpdateActions();
}

QStringList Form_Audit::Dats() const {
    return PathList::Paths(List_Dats);
}

QStringList Form_Audit::Sources() const {
    return PathList::Paths(List_Sources);
}

void Form_Audit::dropEvent(QDropEvent* event) {
    PathList::Drop(
        event, [this](const QStringList& paths) { AddDats(paths); },
        [this](const QStringList& paths) { AddSources(paths); });
}

// --- the run -----------------------------------------------------------------

void Form_Audit::Run() {
    if (Busy())
        return;
    if (List_Dats->count() == 0 || List_Sources->count() == 0) {
        Label_Result->setText(List_Dats->count() == 0 ? tr("Add the DAT files to audit against.")
                                                      : tr("Add the files or folders to audit."));
        return;
    }
    auto progress = std::make_shared<Progress>();
    running_ = progress;
    const QStringList dats = Dats();
    const QStringList sources = Sources();
    const bool recursive = Check_Recursive->isChecked();
    using Result = std::shared_ptr<const AuditOutcome>;
    Began({progress, &progress->stop},
          OffThread::Start<Result>(
              this,
              [dats, sources, recursive, progress] {
                  return AuditRun(dats, sources, recursive, *progress);
              },
              [this](const Result& outcome) { ShowOutcome(outcome); }));
    Label_Result->setText(tr("Reading the DAT files..."));
    UpdateActions();
    ShowProgress();
}

void Form_Audit::ShowProgress() {
    if (!running_)
        return;
    const int total = running_->total;
    if (total < 0) {
        Progress_Audit->setRange(0, 0); // reading the DATs, walking the folders
        return;
    }
    if (Label_Result->text() == tr("Reading the DAT files..."))
        Label_Result->clear();
    Progress_Audit->setRange(0, std::max(total, 1));
    Progress_Audit->setValue(running_->done);
}

void Form_Audit::ShowOutcome(const std::shared_ptr<const AuditOutcome>& outcome) {
    running_.reset();
    Progress_Audit->setRange(0, 1);
    Progress_Audit->setValue(0);
    QStringList told = outcome->unreachable;
    if (outcome->datError.Failed()) {
        told.prepend(tr("Cannot read the DAT file %1").arg(outcome->datError.Text()));
    } else if (outcome->cancelled) {
        told.prepend(tr("The audit was cancelled; nothing it found is shown."));
    } else {
        outcome_ = outcome;
        Progress_Audit->setValue(1);
        told = outcome->index->Warnings() + told;
        if (!outcome->cacheTrouble.isEmpty())
            told << outcome->cacheTrouble;
        FillTable();
    }
    ShowCounts();
    Label_Result->setText(told.join(QLatin1Char('\n')));
    Ended();
    UpdateActions();
    emit Audited();
}

// The findings, a row each, in the order the command line tells them.
void Form_Audit::FillTable() {
    findings_->SetOutcome(outcome_);
    Table_Findings->header()->setSectionResizeMode(QHeaderView::Interactive);
    const int widths[] = {90, 210, 300, 60};
    for (int column = 0; column < 4; ++column)
        Table_Findings->header()->resizeSection(column, widths[column]);
}

void Form_Audit::ShowOnly(int filter) {
    findings_->ShowOnly(filter - 1);
}

void Form_Audit::ShowCounts() {
    std::array<int, FindingKinds> counts{};
    if (outcome_) {
        const Audit::Result& r = outcome_->result;
        counts = Counts(r);
        Label_Counts->setText(
            tr("%1 games in the DAT files: %2 had, %3 incomplete, %4 missing, %5 bad dumps, %6 "
               "never dumped; %7 unknown files, %8 duplicates")
                .arg(outcome_->index->Games())
                .arg(r.gamesHad.size())
                .arg(r.incomplete.size())
                .arg(r.missing.size())
                .arg(r.bad.size())
                .arg(r.undumped.size())
                .arg(r.unknown.size())
                .arg(r.duplicates.size()));
    } else {
        Label_Counts->clear();
    }
    const QString names[FindingKinds] = {tr("Have"),       tr("Incomplete"),   tr("Missing"),
                                         tr("Bad dumps"),  tr("Never dumped"), tr("Unknown"),
                                         tr("Duplicates"), tr("Unreadable")};
    int all = 0;
    for (int i = 0; i < FindingKinds; ++i) {
        Combo_Filter->setItemText(
            i + 1, QStringLiteral("%1 (%2)").arg(names[i]).arg(counts[std::size_t(i)]));
        all += counts[std::size_t(i)];
    }
    Combo_Filter->setItemText(0, QStringLiteral("%1 (%2)").arg(tr("All")).arg(all));
}

// --- saving ------------------------------------------------------------------

void Form_Audit::ChooseFixdat() {
    if (!outcome_ || Busy())
        return;
    const QFileInfo first(outcome_->dats.constFirst());
    const QString start =
        first.dir().filePath(first.completeBaseName() + QStringLiteral(" (fixdat).dat"));
    QString filter;
    const QString path =
        desktop_.ChooseSaveFile(Native(start), tr("DAT files (*.dat)"), &filter, this);
    if (!path.isEmpty())
        SaveFixdat(path);
}

void Form_Audit::ChooseReport() {
    if (!outcome_ || Busy())
        return;
    const QString text = tr("Text files (*.txt)");
    const QString json = tr("JSON files (*.json)");
    const QString start =
        QFileInfo(outcome_->dats.constFirst()).dir().filePath(QStringLiteral("audit.txt"));
    QString filter;
    const QString path =
        desktop_.ChooseSaveFile(Native(start), text + QStringLiteral(";;") + json, &filter, this);
    if (!path.isEmpty())
        SaveReport(path,
                   filter == json || path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive));
}

bool Form_Audit::SaveFixdat(const QString& path) {
    if (!outcome_)
        return false;
    EngineError error;
    if (const QString why =
            Audit::ReadByAudit(path, outcome_->dats, outcome_->files, outcome_->ids);
        !why.isEmpty())
        error = EngineError(EngineError::Code::FixdatFailed, why, path);
    else
        error = Audit::WriteFixdat(*outcome_->index, outcome_->result.Wanted(*outcome_->index),
                                   path, true);
    Label_Result->setText(error.Failed() ? error.Text()
                                         : tr("The fixdat is saved as %1.").arg(Native(path)));
    return !error.Failed();
}

bool Form_Audit::SaveReport(const QString& path, bool json) {
    if (!outcome_)
        return false;
    const QString why = Audit::ReadByAudit(path, outcome_->dats, outcome_->files, outcome_->ids);
    const EngineError error =
        !why.isEmpty() ? EngineError(EngineError::Code::WriteFailed, why, path)
                       : SafeFile::WriteFile(
                             path,
                             json ? Audit::JsonReport(*outcome_->index, outcome_->result)
                                  : Audit::TextReport(*outcome_->index, outcome_->result).toUtf8(),
                             SafeFile::Existing::ReplaceAny);
    Label_Result->setText(error.Failed() ? tr("Cannot save the report: %1").arg(error.Text())
                                         : tr("The report is saved as %1.").arg(Native(path)));
    return !error.Failed();
}

void Form_Audit::UpdateActions() {
    const bool idle = !Busy();
    for (QWidget* w : std::initializer_list<QWidget*>{
             Button_AddDats, Button_RemoveDats, Button_AddFiles, Button_AddFolder,
             Button_RemoveSources, Check_Recursive, List_Dats, List_Sources})
        w->setEnabled(idle);
    Button_Run->setEnabled(idle);
    Button_Cancel->setEnabled(!idle);
    Button_SaveFixdat->setEnabled(idle && outcome_);
    Button_SaveReport->setEnabled(idle && outcome_);
}
