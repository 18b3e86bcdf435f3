#include "Form_Inspect.h"

#include "Archive.h"
#include "ConversionJob.h"
#include "DatFile.h"
#include "DatLoad.h"
#include "Desktop.h"
#include "ListInspector.h"
#include "MsgBox.h"
#include "OffThread.h"
#include "RomReport.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>

namespace {

constexpr RomLayout Targets[] = {RomLayout::Plain, RomLayout::Smd, RomLayout::Md};

// The value of a line of info's report, by its label.
QString Value(const std::vector<RomReport::Line>& lines, const char* label) {
    for (const RomReport::Line& line : lines)
        if (line.label == QLatin1String(label))
            return line.value;
    return QString();
}

// What a run told of its files, a line each.
struct Told {
    QStringList lines;
    int failed = 0;
};

} // namespace

Form_Inspect::Form_Inspect(Desktop& desktop, QWidget* parent)
    : QDialog(parent, Qt::Window), desktop_(desktop) {
    setObjectName(QStringLiteral("Form_Inspect"));
    setAcceptDrops(true);
    inspector_ = new ListInspector(this, true);
    LayOut();
    Connect();
    Retranslate();
    UpdateActions();
}

void Form_Inspect::LayOut() {
    auto named = [this](auto* widget, const char* name) {
        widget->setObjectName(QString::fromLatin1(name));
        widget->setParent(this);
        return widget;
    };
    List_Images = named(new QTreeWidget, "List_Images");
    List_Images->setColumnCount(7);
    List_Images->setRootIsDecorated(false);
    List_Images->setSelectionMode(QAbstractItemView::ExtendedSelection);
    List_Images->header()->setStretchLastSection(false);
    List_Images->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    Text_Report = named(new QPlainTextEdit, "Text_Report");
    Text_Report->setReadOnly(true);
    Text_Report->setLineWrapMode(QPlainTextEdit::NoWrap);
    // The report's columns line up as they do on a terminal.
    Text_Report->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    Button_AddFiles = named(new QPushButton, "Button_AddFiles");
    Button_RemoveFiles = named(new QPushButton, "Button_RemoveFiles");
    Button_Copy = named(new QPushButton, "Button_Copy");
    Button_Dats = named(new QPushButton, "Button_Dats");
    Text_Folder = named(new QLineEdit, "Text_Folder");
    Text_Folder->setText(QDir::toNativeSeparators(QDir::currentPath()));
    Button_Folder = named(new QPushButton, "Button_Folder");
    Button_FixChecksum = named(new QPushButton, "Button_FixChecksum");
    Button_Trim = named(new QPushButton, "Button_Trim");
    Combo_Target = named(new QComboBox, "Combo_Target");
    Combo_Target->addItems({QString(), QString(), QString()});
    Button_Convert = named(new QPushButton, "Button_Convert");
    Label_Result = named(new QLabel, "Label_Result");
    Label_Result->setWordWrap(true);
    Label_Result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Button_Close = named(new QPushButton, "Button_Close");

    auto* grid = new QGridLayout(this);
    auto* listButtons = new QHBoxLayout;
    for (QPushButton* b : {Button_AddFiles, Button_RemoveFiles, Button_Dats, Button_Copy})
        listButtons->addWidget(b);
    listButtons->addStretch();
    grid->addLayout(listButtons, 0, 0, 1, 3);
    grid->addWidget(List_Images, 1, 0, 1, 3);
    grid->addWidget(Text_Report, 2, 0, 1, 3);
    auto* folderLabel = named(new QLabel, "Label_Folder");
    folderLabel->setBuddy(Text_Folder);
    grid->addWidget(folderLabel, 3, 0);
    grid->addWidget(Text_Folder, 3, 1);
    grid->addWidget(Button_Folder, 3, 2);
    auto* actions = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{Button_FixChecksum, Button_Trim, Combo_Target,
                                                      Button_Convert})
        actions->addWidget(w);
    actions->addStretch();
    actions->addWidget(Button_Close);
    grid->addLayout(actions, 4, 0, 1, 3);
    grid->addWidget(Label_Result, 5, 0, 1, 3);
    grid->setRowStretch(1, 2);
    grid->setRowStretch(2, 3);
    grid->setColumnStretch(1, 1);
    resize(760, 600);
}

void Form_Inspect::Connect() {
    connect(Button_AddFiles, &QPushButton::clicked, this, [this] {
        AddFiles(desktop_.ChooseFiles(
            tr("Cartridge images") + QStringLiteral("|*.bin;*.smd;*.md;*.gen;*.zip;*.7z;*.gz|") +
                tr("All files") + QStringLiteral("|*.*"),
            true, this));
    });
    connect(Button_RemoveFiles, &QPushButton::clicked, this, [this] {
        for (QTreeWidgetItem* item : List_Images->selectedItems()) {
            const int row = List_Images->indexOfTopLevelItem(item);
            inspector_->Forget(files_.takeAt(row));
            delete item;
        }
        UpdateActions();
    });
    connect(Button_Dats, &QPushButton::clicked, this, [this] {
        const QStringList chosen =
            desktop_.ChooseFiles(tr("DAT files") + QStringLiteral("|*.dat;*.xml;*.zip|") +
                                     tr("All files") + QStringLiteral("|*.*"),
                                 true, this);
        if (!chosen.isEmpty())
            LoadDats(chosen);
    });
    connect(Button_Copy, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(ReportText()); });
    connect(Button_Folder, &QPushButton::clicked, this, [this] {
        const QString folder = desktop_.ChooseFolder(Text_Folder->text(), this);
        if (!folder.isEmpty())
            Text_Folder->setText(folder);
    });
    connect(Button_FixChecksum, &QPushButton::clicked, this, [this] { Run(JobTask::FixChecksum); });
    connect(Button_Trim, &QPushButton::clicked, this, [this] { Run(JobTask::Trim); });
    connect(Button_Convert, &QPushButton::clicked, this, [this] { Run(JobTask::ToLayout); });
    connect(Button_Close, &QPushButton::clicked, this, &QWidget::close);
    connect(List_Images, &QTreeWidget::itemSelectionChanged, this,
            [this] { Text_Report->setPlainText(ReportText()); });
    connect(inspector_, &ListInspector::Ready, this, [this](const QString& path) {
        const int row = int(files_.indexOf(path));
        if (row >= 0)
            ShowRow(row);
        Text_Report->setPlainText(ReportText());
        emit Inspected(path);
    });
}

void Form_Inspect::Retranslate() {
    setWindowTitle(tr("Inspect files"));
    List_Images->setHeaderLabels({tr("File"), tr("Layout"), tr("Title"), tr("Checksum"), tr("Dump"),
                                  tr("Size"), tr("DAT name")});
    List_Images->setAccessibleName(tr("Images"));
    Text_Report->setAccessibleName(tr("Report"));
    Button_AddFiles->setText(tr("&Add files..."));
    Button_RemoveFiles->setText(tr("&Remove"));
    Button_Copy->setText(tr("&Copy report"));
    Button_Dats->setText(tr("&DAT files..."));
    findChild<QLabel*>(QStringLiteral("Label_Folder"))->setText(tr("Save &to:"));
    Text_Folder->setAccessibleName(tr("Save to"));
    Button_Folder->setText(tr("&Folder..."));
    Button_FixChecksum->setText(tr("Fix c&hecksum"));
    Button_Trim->setText(tr("Tri&m"));
    Combo_Target->setItemText(0, tr("BIN (plain)"));
    Combo_Target->setItemText(1, tr("SMD"));
    Combo_Target->setItemText(2, tr("MD"));
    Combo_Target->setAccessibleName(tr("Layout to convert to"));
    Button_Convert->setText(tr("Con&vert to"));
    Button_Close->setText(tr("Close"));
}

void Form_Inspect::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        Retranslate();
    QDialog::changeEvent(event);
}

// --- the images --------------------------------------------------------------

void Form_Inspect::AddFiles(const QStringList& paths) {
    QStringList added;
    for (const QString& given : paths) {
        const QString path = QDir::toNativeSeparators(QFileInfo(given).absoluteFilePath());
        if (files_.contains(path))
            continue;
        files_ << path;
        added << path;
        auto* item = new QTreeWidgetItem(List_Images);
        item->setText(0, Archive::OwnName(path));
        item->setToolTip(0, path);
    }
    for (int row = 0; row < files_.size(); ++row)
        ShowRow(row);
    inspector_->Want(files_);
    UpdateActions();
}

void Form_Inspect::LoadDats(const QStringList& paths) {
    Label_Result->clear();
    DatLoad::Start(this, paths, [this](const DatLoad::Loaded& loaded) {
        if (loaded.error.Failed()) {
            Label_Result->setText(tr("Cannot read the DAT file %1").arg(loaded.error.Text()));
        } else {
            dats_ = loaded.index;
            Label_Result->setText(loaded.index->Warnings().join(QLatin1Char('\n')));
            // Read again: a DAT may list a dump as its file is.
            inspector_->SetRawFingerprints(true);
            for (const QString& path : std::as_const(files_))
                inspector_->Forget(path);
            inspector_->Want(files_);
        }
        emit DatsLoaded();
    });
}

void Form_Inspect::ShowRow(int row) {
    QTreeWidgetItem* item = List_Images->topLevelItem(row);
    const RomInspector::Report* report = inspector_->Result(files_.at(row));
    if (!item || !report)
        return;
    if (!report->Inspected()) {
        item->setText(1, report->error.Text());
        return;
    }
    const std::vector<RomReport::Line> lines = RomReport::Lines(*report);
    item->setText(1, Value(lines, "layout"));
    item->setText(2, Value(lines, "overseas").isEmpty() ? Value(lines, "domestic")
                                                        : Value(lines, "overseas"));
    item->setText(3, Value(lines, "checksum"));
    item->setText(4, Value(lines, "dump"));
    item->setText(5, Value(lines, "size"));
    if (dats_) {
        const std::optional<DatFile::Rom> rom = dats_->Match(*report);
        item->setText(6, rom ? rom->game : tr("not in the DAT files"));
    }
}

QStringList Form_Inspect::Chosen() const {
    QStringList chosen;
    for (int row = 0; row < List_Images->topLevelItemCount(); ++row)
        if (List_Images->topLevelItem(row)->isSelected())
            chosen << files_.at(row);
    return chosen.isEmpty() ? files_ : chosen;
}

QString Form_Inspect::ReportText() const {
    QStringList text;
    for (const QString& path : Chosen()) {
        const RomInspector::Report* report = inspector_->Result(path);
        if (!report)
            continue;
        QStringList block{path};
        if (!report->Inspected())
            block << QStringLiteral("  ") + report->error.Text();
        RomReport::Dat dat;
        if (dats_) {
            DatFile::Found found = dats_->Find(*report);
            dat = RomReport::Dat{true, std::move(found.rom), found.form};
        }
        for (const RomReport::Line& line : RomReport::Lines(*report, dat))
            block << QStringLiteral("  ") + line.label.leftJustified(11) + line.value;
        text << block.join(QLatin1Char('\n'));
    }
    return text.join(QStringLiteral("\n\n"));
}

void Form_Inspect::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && !Busy())
        event->acceptProposedAction();
}

void Form_Inspect::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile())
            paths << url.toLocalFile();
    AddFiles(paths);
    event->acceptProposedAction();
}

// --- repairs and conversions -------------------------------------------------

void Form_Inspect::UpdateActions() {
    for (QPushButton* b : {Button_FixChecksum, Button_Trim, Button_Convert, Button_Copy})
        b->setEnabled(!running_ && !files_.isEmpty());
    Button_AddFiles->setEnabled(!running_);
    Button_RemoveFiles->setEnabled(!running_ && !files_.isEmpty());
}

// The command line's fix-checksum, trim and to-* on the chosen files: the
// same job, into the folder given, an existing file asked about.
void Form_Inspect::Run(JobTask task) {
    if (running_ || files_.isEmpty())
        return;
    JobRequest request;
    request.task = task;
    request.target = Targets[std::max(0, Combo_Target->currentIndex())];
    request.folder = Text_Folder->text();
    request.existing = JobRequest::WhenExists::Ask;
    std::vector<JobSource> sources;
    for (const QString& path : Chosen())
        sources.push_back(JobSource{path, QString()});
    const OffThread::Question ask = OffThread::AskedOn(this, [this](const QString& destination) {
        return desktop_.ShowMessage(tr("%1 already exists. Would you like to replace it?")
                                        .arg(QDir::toNativeSeparators(destination)),
                                    MsgBox::YesNo, tr("Replace the file?")) == MsgBox::Yes;
    });
    running_ = true;
    UpdateActions();
    Label_Result->clear();
    OffThread::Start<Told>(
        this,
        [request, sources, ask] {
            class Listener : public JobObserver {
            public:
                explicit Listener(const OffThread::Question& question) : ask_(question) {}
                bool MayReplace(const QString& d) override { return ask_(d); }
                void Done(const FileReport& r) override {
                    QString why;
                    for (const JobNotice& n : r.notices)
                        if (n.error.Failed())
                            why = n.error.Text();
                        else if (n.kind == JobNotice::Kind::LeftAlone)
                            why = n.text;
                    if (r.written)
                        told.lines << r.given + QStringLiteral(" -> ") + r.destination + r.detail;
                    else
                        told.lines << r.given + QStringLiteral(": ") + why;
                    if (r.outcome == FileOutcome::Failed || r.outcome == FileOutcome::Refused)
                        ++told.failed;
                }
                Told told;

            private:
                const OffThread::Question& ask_;
            } listener(ask);
            ConversionJob job(request, listener);
            job.Run(sources);
            return listener.told;
        },
        [this](const Told& told) {
            running_ = false;
            Label_Result->setText(told.lines.join(QLatin1Char('\n')));
            UpdateActions();
            emit Ran();
        });
}

void Form_Inspect::closeEvent(QCloseEvent* event) {
    // A run asks its questions of this window: it ends first.
    if (Busy()) {
        event->ignore();
        return;
    }
    inspector_->Stop();
    QDialog::closeEvent(event);
}
