#include "Form_Export.h"

#include "DatFile.h"
#include "Desktop.h"
#include "DeviceExport.h"
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
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>
#include <atomic>

// What a run and the window share while it runs.
struct Form_Export::Progress {
    std::atomic<int> done{0};
    std::atomic<int> total{0}; // 0 while the folders are walked and counted
    std::atomic<bool> stop{false};
};

// What a run found, a row a file.
struct Form_Export::Outcome {
    enum class Status { Written, LeftOut, Kept, Refused, Removed, Changed, Gone };
    struct Row {
        QString source;
        QString destination; // under the export's folder
        Status status = Status::Written;
        QString why; // what changes, or why not
    };
    bool dryRun = false;
    bool undo = false;
    std::vector<Row> rows;
    DeviceExport::Outcome export_;
    DeviceExport::UndoOutcome undone;
    EngineError error; // a DAT file or a manifest that cannot be used
    QStringList unreachable;
};

namespace {

using Status = Form_Export::Outcome::Status;

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// A path under the export's folder, as the table shows it.
QString Under(const QString& folder, const QString& path) {
    const QString prefix = folder.endsWith(QDir::separator()) ? folder : folder + QDir::separator();
    return path.startsWith(prefix) ? path.mid(prefix.size()) : path;
}

// Hears the job on the run's thread: its progress for the window, and what
// became of each file for the table.
class Collecting : public JobObserver {
public:
    Collecting(Form_Export::Progress& progress, Form_Export::Outcome& out, const QString& folder)
        : progress_(progress), out_(out), folder_(folder) {}
    bool Cancelled() override { return progress_.stop; }
    void Through(int sources, int total) override {
        progress_.total = total;
        progress_.done = sources;
    }
    void Done(const FileReport& report) override {
        Form_Export::Outcome::Row row{report.given, Under(folder_, report.destination),
                                      Status::Written, QString()};
        if (report.written)
            row.why = report.detail.trimmed().mid(1).chopped(1); // " (...)"
        else
            row.status =
                report.outcome == FileOutcome::Refused || report.outcome == FileOutcome::Failed
                    ? Status::Refused
                    : Status::Kept;
        for (const JobNotice& n : report.notices) {
            if (n.kind == JobNotice::Kind::LeftOut) {
                row.status = Status::LeftOut;
                row.destination.clear();
                row.why = n.text;
            } else if (n.kind == JobNotice::Kind::Refused ||
                       n.kind == JobNotice::Kind::VerifyFailed) {
                row.why = n.error.Text();
            } else if (n.kind == JobNotice::Kind::Skipped) {
                row.why = QStringLiteral("exists");
            }
        }
        // A file of a folder that is no image is not the export's.
        if (report.outcome == FileOutcome::PassedOver && row.status == Status::Kept &&
            row.why.isEmpty())
            return;
        out_.rows.push_back(row);
    }

private:
    Form_Export::Progress& progress_;
    Form_Export::Outcome& out_;
    const QString folder_;
};

struct Asked {
    const DeviceProfile::Profile* profile;
    QStringList dats;
    QStringList sources;
    bool recursive;
    QString folder;
    bool dryRun;
};

// The run, on a thread of its own: the DAT files read, the folders walked,
// then the engine's export.
std::shared_ptr<const Form_Export::Outcome> ExportRun(const Asked& a,
                                                      Form_Export::Progress& progress) {
    auto out = std::make_shared<Form_Export::Outcome>();
    out->dryRun = a.dryRun;
    DatFile::Index dats;
    dats.UseCache();
    for (const QString& dat : a.dats)
        if (out->error = dats.Load(dat); out->error.Failed())
            return out;
    std::vector<JobSource> sources;
    // A folder's files that are no images are passed over, as the walk of
    // the command line's -r passes them.
    WalkSources(
        a.sources, a.recursive,
        [&sources](const QString& path, bool walked) {
            sources.push_back({path, QString(), walked});
        },
        &out->unreachable, &progress.stop);
    if (progress.stop) {
        out->export_.cancelled = true;
        return out;
    }
    DeviceExport::Request r;
    r.profile = a.profile;
    r.folder = a.folder;
    r.dryRun = a.dryRun;
    r.dats = a.dats.isEmpty() ? nullptr : &dats;
    Collecting collecting(progress, *out, a.folder);
    out->export_ = DeviceExport::Export(r, sources, collecting);
    return out;
}

std::shared_ptr<const Form_Export::Outcome> UndoRun(const QString& manifest) {
    auto out = std::make_shared<Form_Export::Outcome>();
    out->undo = true;
    out->error = DeviceExport::Undo(manifest, &out->undone);
    const QString folder = QFileInfo(manifest).path();
    using Kind = DeviceExport::UndoStep::Kind;
    for (const DeviceExport::UndoStep& step : out->undone.steps) {
        if (step.kind == Kind::FolderGone)
            continue;
        Form_Export::Outcome::Row row{QString(), Under(Native(folder), step.path), Status::Removed,
                                      QString()};
        if (step.kind == Kind::Changed || step.kind == Kind::Outside)
            row.status = Status::Changed;
        else if (step.kind == Kind::Gone)
            row.status = Status::Gone;
        else if (step.kind == Kind::Failed)
            row.status = Status::Refused, row.why = step.error.Text();
        out->rows.push_back(row);
    }
    return out;
}

} // namespace

Form_Export::Form_Export(Desktop& desktop, QWidget* parent)
    : ToolWindow("Form_Export", parent), desktop_(desktop) {
    LayOut();
    LoadProfiles();
    Connect();
    Retranslate();
    UpdateActions();
}

Form_Export::~Form_Export() = default;

void Form_Export::LayOut() {
    auto named = [this](auto* widget, const char* name) { return Named(widget, name); };
    Combo_Profile = named(new QComboBox, "Combo_Profile");
    Label_Describe = named(new QLabel, "Label_Describe");
    Label_Describe->setWordWrap(true);
    List_Sources = named(new QListWidget, "List_Sources");
    List_Sources->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Button_AddFiles = named(new QPushButton, "Button_AddFiles");
    Button_AddFolder = named(new QPushButton, "Button_AddFolder");
    Button_RemoveSources = named(new QPushButton, "Button_RemoveSources");
    Check_Recursive = named(new QCheckBox, "Check_Recursive");
    Check_Recursive->setChecked(true);
    List_Dats = named(new QListWidget, "List_Dats");
    List_Dats->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Button_AddDats = named(new QPushButton, "Button_AddDats");
    Button_RemoveDats = named(new QPushButton, "Button_RemoveDats");
    Text_Folder = named(new QLineEdit, "Text_Folder");
    Button_Browse = named(new QPushButton, "Button_Browse");
    Button_Preview = named(new QPushButton, "Button_Preview");
    Button_Preview->setDefault(true);
    Button_Export = named(new QPushButton, "Button_Export");
    Button_Cancel = named(new QPushButton, "Button_Cancel");
    Progress_Export = named(new QProgressBar, "Progress_Export");
    Progress_Export->setRange(0, 1);
    Progress_Export->setValue(0);
    Table_Files = named(new QTreeWidget, "Table_Files");
    Table_Files->setRootIsDecorated(false);
    Table_Files->setUniformRowHeights(true);
    Table_Files->setColumnCount(4);
    Label_Result = named(new QLabel, "Label_Result");
    Label_Result->setWordWrap(true);
    Label_Result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Button_Undo = named(new QPushButton, "Button_Undo");
    Button_Close = named(new QPushButton, "Button_Close");

    auto* grid = new QGridLayout(this);
    auto label = [&](const char* name, QWidget* buddy) {
        auto* l = named(new QLabel, name);
        l->setBuddy(buddy);
        return l;
    };
    auto* device = new QHBoxLayout;
    device->addWidget(label("Label_Profile", Combo_Profile));
    device->addWidget(Combo_Profile);
    device->addWidget(Label_Describe, 1);
    grid->addLayout(device, 0, 0, 1, 2);
    grid->addWidget(label("Label_Sources", List_Sources), 1, 0);
    grid->addWidget(label("Label_Dats", List_Dats), 1, 1);
    grid->addWidget(List_Sources, 2, 0);
    grid->addWidget(List_Dats, 2, 1);
    auto* sourceButtons = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{Button_AddFiles, Button_AddFolder,
                                                      Button_RemoveSources, Check_Recursive})
        sourceButtons->addWidget(w);
    sourceButtons->addStretch();
    grid->addLayout(sourceButtons, 3, 0);
    auto* datButtons = new QHBoxLayout;
    datButtons->addWidget(Button_AddDats);
    datButtons->addWidget(Button_RemoveDats);
    datButtons->addStretch();
    grid->addLayout(datButtons, 3, 1);
    auto* folder = new QHBoxLayout;
    folder->addWidget(label("Label_Folder", Text_Folder));
    folder->addWidget(Text_Folder, 1);
    folder->addWidget(Button_Browse);
    grid->addLayout(folder, 4, 0, 1, 2);
    auto* run = new QHBoxLayout;
    run->addWidget(Button_Preview);
    run->addWidget(Button_Export);
    run->addWidget(Button_Cancel);
    run->addWidget(Progress_Export, 1);
    grid->addLayout(run, 5, 0, 1, 2);
    grid->addWidget(Table_Files, 6, 0, 1, 2);
    grid->addWidget(Label_Result, 7, 0, 1, 2);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(Button_Undo);
    bottom->addStretch();
    bottom->addWidget(Button_Close);
    grid->addLayout(bottom, 8, 0, 1, 2);
    grid->setRowStretch(2, 1);
    grid->setRowStretch(6, 3);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    resize(860, 640);
}

// The built-in profiles and the user's own; a user's file that is wrong is
// told, and the built-in ones are offered.
void Form_Export::LoadProfiles() {
    profilesError_ = DeviceProfile::LoadAll({}, &profiles_);
    if (profilesError_.Failed())
        profiles_ = DeviceProfile::BuiltIn();
    for (const DeviceProfile::Profile& p : profiles_)
        Combo_Profile->addItem(p.name, p.name);
}

void Form_Export::Connect() {
    connect(Combo_Profile, &QComboBox::currentIndexChanged, this, [this](int index) {
        Label_Describe->setText(index < 0 ? QString() : profiles_[std::size_t(index)].describe);
        Changed();
    });
    connect(Button_AddFiles, &QPushButton::clicked, this,
            [this] { AddSources(ChooseImages(desktop_)); });
    connect(Button_AddFolder, &QPushButton::clicked, this,
            [this] { AddSources(ChooseFolder(desktop_)); });
    connect(Button_AddDats, &QPushButton::clicked, this, [this] { AddDats(ChooseDats(desktop_)); });
    for (QPushButton* button : {Button_RemoveDats, Button_RemoveSources})
        connect(button, &QPushButton::clicked, this, [this, button] {
            RemoveSelected(button == Button_RemoveDats ? List_Dats : List_Sources);
            Changed();
        });
    connect(Check_Recursive, &QCheckBox::toggled, this, &Form_Export::Changed);
    connect(Text_Folder, &QLineEdit::textChanged, this, &Form_Export::Changed);
    connect(Button_Browse, &QPushButton::clicked, this, [this] {
        const QString folder = desktop_.ChooseFolder(
            Text_Folder->text().isEmpty() ? QDir::currentPath() : Text_Folder->text(), this);
        if (!folder.isEmpty())
            SetFolder(folder);
    });
    connect(Button_Preview, &QPushButton::clicked, this, &Form_Export::Preview);
    connect(Button_Export, &QPushButton::clicked, this, &Form_Export::Export);
    connect(Button_Cancel, &QPushButton::clicked, this, &Form_Export::Cancel);
    connect(Button_Undo, &QPushButton::clicked, this, [this] { Undo(); });
    connect(Button_Close, &QPushButton::clicked, this, &QWidget::close);
    connect(timer_, &QTimer::timeout, this, &Form_Export::ShowProgress);
    if (!profiles_.empty())
        Label_Describe->setText(profiles_.front().describe);
}

void Form_Export::Retranslate() {
    setWindowTitle(tr("Export for a device"));
    findChild<QLabel*>(QStringLiteral("Label_Profile"))->setText(tr("&Device:"));
    findChild<QLabel*>(QStringLiteral("Label_Sources"))->setText(tr("&Images and folders:"));
    findChild<QLabel*>(QStringLiteral("Label_Dats"))->setText(tr("DAT files for &names:"));
    findChild<QLabel*>(QStringLiteral("Label_Folder"))->setText(tr("&Write into:"));
    Button_AddFiles->setText(tr("Add fi&les..."));
    Button_AddFolder->setText(tr("Add f&older..."));
    Button_RemoveSources->setText(tr("R&emove"));
    Check_Recursive->setText(tr("Into &subfolders"));
    Button_AddDats->setText(tr("Add D&ATs..."));
    Button_RemoveDats->setText(tr("Remo&ve"));
    Button_Browse->setText(tr("&Browse..."));
    Button_Preview->setText(tr("&Preview"));
    Button_Export->setText(tr("E&xport"));
    Button_Cancel->setText(tr("&Cancel"));
    Button_Undo->setText(lastManifest_.isEmpty() ? tr("&Undo an export...")
                                                 : tr("&Undo the last export"));
    Button_Close->setText(tr("Close"));
    Combo_Profile->setAccessibleName(tr("Device"));
    List_Sources->setAccessibleName(tr("Images and folders"));
    List_Dats->setAccessibleName(tr("DAT files for names"));
    Text_Folder->setAccessibleName(tr("Write into"));
    Progress_Export->setAccessibleName(tr("Progress"));
    Table_Files->setAccessibleName(tr("Files"));
    Table_Files->setHeaderLabels({tr("Source"), tr("Written as"), tr("Status"), tr("Changes")});
    if (profilesError_.Failed() && Label_Result->text().isEmpty())
        Label_Result->setText(
            tr("Your own device profiles are not offered: %1").arg(profilesError_.Text()));
}

void Form_Export::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        Retranslate();
    QDialog::changeEvent(event);
}

// --- what to export ----------------------------------------------------------

void Form_Export::AddSources(const QStringList& paths) {
    PathList::Add(List_Sources, paths);
    Changed();
}

void Form_Export::AddDats(const QStringList& paths) {
    PathList::Add(List_Dats, paths);
    Changed();
}

void Form_Export::SetFolder(const QString& folder) {
    Text_Folder->setText(Native(folder));
}

bool Form_Export::ChooseProfile(const QString& name) {
    const int index = Combo_Profile->findData(name);
    if (index >= 0)
        Combo_Profile->setCurrentIndex(index);
    return index >= 0;
}

// A choice changed: the preview no longer shows what an export would write.
void Form_Export::Changed() {
    previewed_ = false;
    UpdateActions();
}

void Form_Export::dropEvent(QDropEvent* event) {
    PathList::Drop(
        event, [this](const QStringList& paths) { AddDats(paths); },
        [this](const QStringList& paths) { AddSources(paths); });
}

// --- the run -----------------------------------------------------------------

void Form_Export::Preview() {
    Start(true);
}

void Form_Export::Export() {
    if (previewed_)
        Start(false);
}

void Form_Export::Start(bool dryRun) {
    if (Busy())
        return;
    const QString folder = Text_Folder->text().trimmed();
    QString missing;
    if (List_Sources->count() == 0)
        missing = tr("Add the images or folders to export.");
    else if (folder.isEmpty())
        missing = tr("Choose the folder to write into: the device's card, or a folder to copy "
                     "onto it.");
    else if (!SafeFile::IsFolder(folder))
        missing = tr("The folder %1 does not exist.").arg(folder);
    if (!missing.isEmpty()) {
        Label_Result->setText(missing);
        return;
    }
    Asked asked{&profiles_[std::size_t(Combo_Profile->currentIndex())],
                {},
                {},
                Check_Recursive->isChecked(),
                QDir::toNativeSeparators(QDir::cleanPath(folder)),
                dryRun};
    asked.dats = PathList::Paths(List_Dats);
    asked.sources = PathList::Paths(List_Sources);
    auto progress = std::make_shared<Progress>();
    running_ = progress;
    using Result = std::shared_ptr<const Outcome>;
    Began({progress, &progress->stop},
          OffThread::Start<Result>(
              this, [asked, progress] { return ExportRun(asked, *progress); },
              [this](const Result& outcome) { ShowOutcome(outcome); }));
    Label_Result->setText(dryRun ? tr("Looking at the images...") : tr("Exporting..."));
    UpdateActions();
    ShowProgress();
}

void Form_Export::Undo(const QString& manifest) {
    if (Busy())
        return;
    QString path = manifest.isEmpty() ? lastManifest_ : manifest;
    if (path.isEmpty()) {
        const QStringList chosen = desktop_.ChooseFiles(
            tr("Manifests of exports") + QStringLiteral("|kestrix-export-*.json|") +
                tr("All files") + QStringLiteral("|*.*"),
            false, this);
        if (chosen.isEmpty())
            return;
        path = chosen.constFirst();
    }
    auto progress = std::make_shared<Progress>();
    running_ = progress;
    using Result = std::shared_ptr<const Outcome>;
    Began({progress, &progress->stop},
          OffThread::Start<Result>(
              this, [path] { return UndoRun(path); },
              [this](const Result& outcome) { ShowOutcome(outcome); }));
    Label_Result->setText(tr("Taking the export back..."));
    UpdateActions();
    ShowProgress();
}

void Form_Export::ShowProgress() {
    if (!running_)
        return;
    const int total = running_->total;
    Progress_Export->setRange(0, total); // busy until the sources are counted
    Progress_Export->setValue(running_->done);
}

void Form_Export::ShowOutcome(const std::shared_ptr<const Outcome>& outcome) {
    running_.reset();
    Progress_Export->setRange(0, 1);
    Progress_Export->setValue(outcome->error.Failed() ? 0 : 1);
    Table_Files->clear();
    const QString status[] = {outcome->dryRun ? tr("to write") : tr("written"),
                              tr("left out"),
                              tr("kept"),
                              tr("refused"),
                              tr("removed"),
                              tr("kept: changed since"),
                              tr("gone already")};
    QList<QTreeWidgetItem*> items;
    for (const Outcome::Row& row : outcome->rows) {
        QString why = row.why;
        if (why == QLatin1String("exists"))
            why = tr("it exists already");
        // The source by its name; its whole path, and the whole reason, in
        // the cells' tips.
        auto* item = new QTreeWidgetItem(
            {QFileInfo(row.source).fileName(), row.destination, status[int(row.status)], why});
        item->setToolTip(0, Native(row.source));
        item->setToolTip(1, row.destination);
        item->setToolTip(3, why);
        items << item;
    }
    Table_Files->addTopLevelItems(items);
    Table_Files->header()->setSectionResizeMode(QHeaderView::Interactive);
    const int widths[] = {230, 300, 90, 200};
    for (int column = 0; column < 4; ++column)
        Table_Files->header()->resizeSection(column, widths[column]);
    QStringList told = outcome->unreachable;
    const DeviceExport::Outcome& e = outcome->export_;
    if (outcome->error.Failed()) {
        told.prepend(outcome->error.Text());
    } else if (outcome->undo) {
        using Kind = DeviceExport::UndoStep::Kind;
        const DeviceExport::UndoOutcome& u = outcome->undone;
        told.prepend(tr("Undone: %1 removed, %2 kept because they changed, %3 gone already, %4 "
                        "could not be removed.")
                         .arg(u.Count(Kind::Removed))
                         .arg(u.Count(Kind::Changed) + u.Count(Kind::Outside))
                         .arg(u.Count(Kind::Gone))
                         .arg(u.Count(Kind::Failed)));
        if (u.manifestRemoved) {
            lastManifest_.clear();
            Retranslate();
        }
    } else {
        const QString counts =
            (outcome->dryRun ? tr("%1 to write, %2 left out, %3 kept, %4 refused.")
                             : tr("%1 written, %2 left out, %3 kept, %4 refused or failed."))
                .arg(e.written)
                .arg(e.leftOut)
                .arg(e.skipped)
                .arg(e.refused + e.failed);
        told.prepend(e.cancelled ? tr("Cancelled: ") + counts : counts);
        if (e.manifestError.Failed())
            told << e.manifestError.Text();
        if (!e.manifest.isEmpty()) {
            lastManifest_ = e.manifest;
            Retranslate();
            told << tr("The manifest %1 lets Undo take this export back.").arg(Native(e.manifest));
        }
        // What the table shows is what an export would write, until a
        // choice changes.
        previewed_ = outcome->dryRun && !e.cancelled;
        if (outcome->dryRun && previewed_)
            told << tr("Nothing is written yet: Export writes these files.");
    }
    Label_Result->setText(told.join(QLatin1Char('\n')));
    Ended();
    UpdateActions();
    emit Finished();
}

void Form_Export::UpdateActions() {
    const bool idle = !Busy();
    for (QWidget* w : std::initializer_list<QWidget*>{
             Combo_Profile, List_Sources, Button_AddFiles, Button_AddFolder, Button_RemoveSources,
             Check_Recursive, List_Dats, Button_AddDats, Button_RemoveDats, Text_Folder,
             Button_Browse, Button_Preview, Button_Undo})
        w->setEnabled(idle);
    Button_Export->setEnabled(idle && previewed_);
    Button_Cancel->setEnabled(!idle);
}
