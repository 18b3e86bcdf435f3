#include "Form_Convert.h"

#include "ButtonPlus.h"
#include "ConversionJob.h"
#include "ConvertHost.h"
#include "Desktop.h"
#include "DirSearch.h"
#include "DriveList.h"
#include "FileFunctions.h"
#include "FolderList.h"
#include "ListInspector.h"
#include "Mod_Convert.h"
#include "Mod_File.h"
#include "MsgBox.h"
#include "PathSeparator.h"
#include "PropertyBag.h"
#include "Resources.h"
#include "RomReport.h"
#include "SafeFile.h"
#include "TextFit.h"
#include "Twips.h"
#include "XP_ProgressBar.h"

#include <QCloseEvent>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QStyle>
#include <QTimer>
#include <QUrl>

namespace {

constexpr int MaximumFiles = 1000;

QFont SansSerif(double points) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(points);
    return font;
}

} // namespace

Form_Convert::Form_Convert(Desktop& desktop, ConvertHost& host, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      desktop_(desktop), host_(host) {
    setObjectName(QStringLiteral("Form_Convert"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(Px(5490), Px(4335));

    auto place = [](QWidget* widget, const char* name, int left, int top, int width, int height) {
        widget->setObjectName(QString::fromLatin1(name));
        widget->setGeometry(TwipsRect(left, top, width, height));
    };
    auto button = [&](const char* name, int left, int top, int width) {
        auto* b = new ButtonPlus(QString(), this);
        place(b, name, left, top, width, 375);
        b->setFont(SansSerif(8.25));
        connect(b, &ButtonPlus::MouseEnter, this, [this, b] { Label_info->setText(b->Hint()); });
        connect(b, &ButtonPlus::MouseLeave, this, [this] { Label_info->clear(); });
        return b;
    };

    Label_info1 = new QLabel(this);
    place(Label_info1, "Label_info1", 120, 0, 2775, 255);
    List_Files = new QListWidget(this);
    place(List_Files, "List_Files", 120, 240, 3615, 1035);
    List_Files->setSelectionMode(QAbstractItemView::ExtendedSelection);
    List_Files->setUniformItemSizes(true);
    Label_info2 = new QLabel(this);
    place(Label_info2, "Label_info2", 120, 1320, 2775, 255);
    Drive = new DriveList(desktop_, this);
    place(Drive, "Drive", 120, 1560, 3615, 315);
    Directory = new FolderList(this);
    place(Directory, "Directory", 120, 1920, 3615, 765);
    Text_Path = new QLineEdit(this);
    place(Text_Path, "Text_Path", 480, 2760, 4935, 195);
    Label1 = new QLabel(this);
    place(Label1, "Label1", 120, 2760, 495, 255);
    Text_Path->setFrame(false);
    QPalette pathPalette = Text_Path->palette();
    pathPalette.setColor(QPalette::Base, pathPalette.color(QPalette::Button));
    Text_Path->setPalette(pathPalette);
    Label_Status = new QLabel(this);
    place(Label_Status, "Label_Status", 65, 3030, 615, 255);
    Label_Status->setFont(SansSerif(9.75));

    Progress = new XP_ProgressBar(this);
    place(Progress, "Progress", 720, 3000, 2505, 375);
    Progress->SetHdc();
    Progress->ReadProperties(PropertyBag::FromText(Resources::ConvertProgressSettings()));

    Button_Convert = button("Button_Convert", 3240, 3000, 1095);
    Button_Cancel = button("Button_Cancel", 4320, 3000, 1095);
    Button_AddFiles = button("Button_AddFiles", 3840, 240, 1575);
    Button_RemoveFiles = button("Button_RemoveFiles", 3840, 840, 1575);
    Button_SelectAll = button("Button_SelectAll", 3840, 1440, 1575);
    Button_DeselectAll = button("Button_DeselectAll", 3840, 2040, 1575);

    Frame_info = new QGroupBox(this);
    place(Frame_info, "Frame_info", 0, 3400, 5415, 855);
    Label_info = new QLabel(Frame_info);
    place(Label_info, "Label_info", 120, 240, 5175, 495);
    Label_info->setWordWrap(true);

    for (QLabel* label : {Label_info1, Label_info2, Label1, Label_Status, Label_info})
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Each label names the control it stands by, for screen readers (on Linux
    // a drop-down list is named by its label only).
    Label_info1->setBuddy(List_Files);
    Label_info2->setBuddy(Drive);
    Label1->setBuddy(Text_Path);
    Label_Status->setBuddy(Progress);
    for (QWidget* w :
         {static_cast<QWidget*>(List_Files), static_cast<QWidget*>(Drive),
          static_cast<QWidget*>(Directory), static_cast<QWidget*>(Button_AddFiles),
          static_cast<QWidget*>(Button_RemoveFiles), static_cast<QWidget*>(Button_SelectAll),
          static_cast<QWidget*>(Button_DeselectAll), static_cast<QWidget*>(Button_Convert),
          static_cast<QWidget*>(Button_Cancel)})
        w->setFocusPolicy(Qt::StrongFocus);
    setTabOrder(List_Files, Drive);
    setTabOrder(Drive, Directory);
    setTabOrder(Directory, Button_AddFiles);
    setTabOrder(Button_AddFiles, Button_RemoveFiles);
    setTabOrder(Button_RemoveFiles, Button_SelectAll);
    setTabOrder(Button_SelectAll, Button_DeselectAll);
    setTabOrder(Button_DeselectAll, Button_Convert);
    setTabOrder(Button_Convert, Button_Cancel);
    Text_Path->setFocusPolicy(Qt::ClickFocus);

    connect(Button_AddFiles, &ButtonPlus::Click, this, &Form_Convert::AddFiles);
    connect(Button_RemoveFiles, &ButtonPlus::Click, this, &Form_Convert::RemoveFiles);
    connect(Button_SelectAll, &ButtonPlus::Click, this, &Form_Convert::SelectAll);
    connect(Button_DeselectAll, &ButtonPlus::Click, this, &Form_Convert::DeselectAll);
    connect(Button_Convert, &ButtonPlus::Click, this, &Form_Convert::Convert);
    connect(Button_Cancel, &ButtonPlus::Click, this, &Form_Convert::Cancel);
    connect(Drive, &DriveList::Change, this, &Form_Convert::DriveChanged);
    connect(Directory, &FolderList::Change, this,
            [this] { Text_Path->setText(Directory->Path()); });
    connect(Directory, &FolderList::Click, this, [this] { Text_Path->setText(Directory->Path()); });

    Inspector = new ListInspector(this);
    connect(Inspector, &ListInspector::Ready, this, [this](const QString& path) {
        // Results come in bursts: the lines are brought up to date once per burst.
        if (arrived_.isEmpty())
            QTimer::singleShot(0, this, &Form_Convert::DecorateArrived);
        arrived_.insert(path);
    });
    // Files dropped onto the list are added as if chosen in the file dialog.
    List_Files->setAcceptDrops(true);
    List_Files->viewport()->setAcceptDrops(true);
    List_Files->setDragDropMode(QAbstractItemView::DropOnly);
    List_Files->viewport()->installEventFilter(this);
    const int iconSide = List_Files->fontMetrics().height() - 2;
    List_Files->setIconSize(QSize(iconSide, iconSide));

    // The folder lists start at the process's current folder.
    const QString current = QDir::toNativeSeparators(QDir::currentPath());
    Directory->SetPath(current);
    Drive->SetDrive(Drive->DriveOf(Directory->Path()));

    Retranslate();
    Load();
}

void Form_Convert::Retranslate() {
    Label_info2->setText(tr("Save files to..."));
    Label1->setText(tr("Path:"));
    // The field overlaps its label: its text starts where the label's ends.
    Text_Path->setTextMargins(
        std::max(0, Label1->x() + Label1->fontMetrics().horizontalAdvance(Label1->text()) + 2 -
                        Text_Path->x()),
        0, 0, 0);
    // The label names the bar until a run has told its progress there.
    if (!statusTold_)
        SetStatus(tr("Progress"));
    Frame_info->setTitle(tr("Information"));
    const struct {
        ButtonPlus* button;
        const char* caption;
        const char* hint;
    } buttons[] = {
        {Button_Convert, QT_TR_NOOP("Convert"),
         QT_TR_NOOP("Press this button to start converting the files")},
        {Button_Cancel, QT_TR_NOOP("Cancel"),
         QT_TR_NOOP("Press this button to stop converting the files")},
        {Button_AddFiles, QT_TR_NOOP("Add files"),
         QT_TR_NOOP("Press this button to add game files to the conversion list")},
        {Button_RemoveFiles, QT_TR_NOOP("Remove files"),
         QT_TR_NOOP("Press this button to remove the selected files")},
        {Button_SelectAll, QT_TR_NOOP("Select all files"),
         QT_TR_NOOP("Press this button to select all files")},
        {Button_DeselectAll, QT_TR_NOOP("Deselect all files"),
         QT_TR_NOOP("Press this button to deselect all files")},
    };
    for (const auto& spec : buttons) {
        spec.button->SetCaption(tr(spec.caption));
        spec.button->SetHint(tr(spec.hint));
    }
    Label_info->clear();
    // What a screen reader calls the controls that have no caption of their own.
    List_Files->setAccessibleName(tr("Files to convert"));
    Drive->setAccessibleName(tr("Drive"));
    Directory->setAccessibleName(tr("Folder"));
    Text_Path->setAccessibleName(tr("Path"));
    Progress->setAccessibleName(tr("Progress"));
    // The lines' hints.
    for (int row = 0; row < List_Files->count(); ++row)
        Decorate(row);
}

void Form_Convert::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        Retranslate();
    QWidget::changeEvent(event);
}

void Form_Convert::Load() {
    Session.Converting = false;
    Progress->SetValue(0);
    Session.FileList.clear();
    Text_Path->setText(Directory->Path());
    host_.CenterForm(this);
}

QString Form_Convert::DisplayText(const QString& entry) const {
    // The name the run gives the file: one naming for the list and the run.
    return FileFunctions::GetFileName(entry) + QStringLiteral("->") +
           Mod_File::DestinationName(entry, Session.CurrentMode);
}

void Form_Convert::EmptyList() {
    Inspector->Stop();
    arrived_.clear();
    failures_.clear();
    List_Files->clear();
    Session.FileCount = 0;
    Session.FileList.clear();
}

void Form_Convert::SetStatus(const QString& text) {
    // The label is narrow: a text that does not fit is set in a smaller size
    // rather than cut off.
    Label_Status->setFont(TextFit::FittingFont(SansSerif(9.75), text, Label_Status->width()));
    Label_Status->setText(text);
}

// --- the conversion list ----------------------------------------------------

void Form_Convert::AddFiles() {
    List_Files->clear();

    CommonDialog& dialog = host_.Dialog();
    dialog.FileName.clear();
    desktop_.ShowOpen(dialog, host_.DialogOwner());
    AddSelection(dialog.FileName);
}

void Form_Convert::AddSelection(const QString& selection) {
    Session.SelectedFiles = selection.isEmpty() ? QStringList() : selection.split(QChar(0));

    std::int32_t count = 0;
    const FileFunctions::SelectionKind kind =
        FileFunctions::ClassifySelection(Session.SelectedFiles, count);
    if (kind == FileFunctions::MultipleFiles || kind == FileFunctions::SingleFile)
        FileFunctions::AddSelectedFiles(Session.SelectedFiles, Session.FileList, Session.FileCount,
                                        count);

    if (Session.FileList.removeIf(
            [](const QString& entry) { return entry.contains(QLatin1Char('?')); }))
        Session.FileCount = std::int32_t(Session.FileList.size());

    if (Session.FileList.size() > MaximumFiles) {
        desktop_.ShowMessage(QStringLiteral("You have added more than the maximum file conversion "
                                            "limit (1000 files). Some files were removed"),
                             MsgBox::OkOnly, QStringLiteral("Limit exceeded"));
        Session.FileList.resize(MaximumFiles);
        Session.FileCount = MaximumFiles;
    }

    ShowList();
}

void Form_Convert::ShowList() {
    QStringList lines;
    lines.reserve(Session.FileList.size());
    for (const QString& entry : std::as_const(Session.FileList))
        lines.append(DisplayText(entry));
    List_Files->addItems(lines);
    Inspector->Want(Session.FileList);
    for (int row = 0; row < List_Files->count(); ++row)
        Decorate(row);
}

// --- files dropped onto the list --------------------------------------------

// The regular files among dropped addresses, grouped by folder in the order
// they came, each group as the file dialog would hand it back.
QStringList Form_Convert::DroppedSelections(const QMimeData* data) {
    QStringList folders;
    QHash<QString, QStringList> names;
    for (const QUrl& url : data ? data->urls() : QList<QUrl>()) {
        if (!url.isLocalFile())
            continue;
        const QFileInfo info(url.toLocalFile());
        if (!info.isFile())
            continue;
        const QString folder = QDir::toNativeSeparators(info.absolutePath());
        if (!names.contains(folder))
            folders.append(folder);
        names[folder].append(info.fileName());
    }
    QStringList selections;
    for (const QString& folder : std::as_const(folders)) {
        const QStringList& files = names.value(folder);
        selections.append(
            files.size() == 1
                ? (folder.endsWith(PathSeparator()) ? folder : folder + PathSeparator()) +
                      files.constFirst()
                : (QStringList{folder} + files).join(QChar(0)));
    }
    return selections;
}

bool Form_Convert::eventFilter(QObject* watched, QEvent* event) {
    if (watched != List_Files->viewport())
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (!Session.Converting && !DroppedSelections(drag->mimeData()).isEmpty())
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QStringList selections = DroppedSelections(drop->mimeData());
        if (Session.Converting || selections.isEmpty()) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        for (const QString& selection : selections) {
            List_Files->clear();
            AddSelection(selection);
        }
        return true;
    }
    default:
        return QWidget::eventFilter(watched, event);
    }
}

// --- what the files are -----------------------------------------------------

bool Form_Convert::WrongLayout(const RomInspector::Report& report, std::int32_t mode) {
    return report.disc || report.IsOtherThan(SourceLayout(mode));
}

QString Form_Convert::InspectionHint(const RomInspector::Report& report, std::int32_t mode) {
    if (!report.Inspected())
        return tr("Cannot inspect this file: %1").arg(report.error.Text());
    QStringList lines;
    // What decides the conversion comes first: whether this one fits.
    if (report.disc) {
        lines << tr("This is a disc image, not a cartridge: no conversion fits it.");
    } else if (WrongLayout(report, mode)) {
        static const char* const names[] = {"SMD to BIN", "BIN to SMD", "MD to BIN", "BIN to MD"};
        QStringList modes;
        for (std::int32_t fitting : FittingModes(report.layout))
            modes << QLatin1String(names[fitting]);
        const QString fits = modes.isEmpty()
                                 ? tr("kestrix-convert to-bin turns it into a plain image")
                                 //: %1 names one conversion, or two joined by " or "
                                 : tr("the %1 conversion fits it").arg(modes.join(tr(" or ")));
        lines << tr("This is not what this conversion reads: %1.").arg(fits);
    }
    // Then what a user decides by, from the lines of kestrix-convert info:
    // the layout (and, when it is unknown, why), the title, the size, the
    // dump and the checksum. The fingerprints and the rest of the header
    // are for kestrix-convert info.
    QHash<QString, QString> info;
    for (const RomReport::Line& line : RomReport::Lines(report))
        if (!line.label.isEmpty())
            info.insert(line.label, line.value);
    const QString title = info.value(QStringLiteral("overseas"), info.value("domestic"));
    // The labels in the window's language; the values as the engine words them.
    auto add = [&lines](const char* label, const QString& value) {
        if (!value.isEmpty())
            //: a line of a file's hint: %1 what is told, %2 its value
            lines << tr("%1: %2").arg(tr(label), value);
    };
    add(QT_TR_NOOP("layout"), info.value(QStringLiteral("layout")));
    if (report.layout == RomLayout::Unknown)
        add(QT_TR_NOOP("why"), info.value(QStringLiteral("reasons")));
    add(QT_TR_NOOP("title"), title);
    // A header that is not what it seems: none at all, or another machine's.
    add(QT_TR_NOOP("header"), info.value(QStringLiteral("header")));
    if (report.header.machine != RomInspector::Machine::MegaDrive || report.header.ssf)
        add(QT_TR_NOOP("machine"), info.value(QStringLiteral("machine")));
    add(QT_TR_NOOP("dump"), info.value(QStringLiteral("dump")));
    add(QT_TR_NOOP("checksum"), info.value(QStringLiteral("checksum")));
    add(QT_TR_NOOP("size"), info.value(QStringLiteral("size")));
    return lines.join('\n');
}

void Form_Convert::Decorate(int row) {
    QListWidgetItem* item = List_Files->item(row);
    if (!item || row >= Session.FileList.size())
        return;
    const RomInspector::Report* report = Inspector->Result(Session.FileList.at(row));
    // Why the last run could not convert the file comes first.
    QStringList tip;
    if (const auto failure = failures_.constFind(Session.FileList.at(row));
        failure != failures_.cend())
        tip << tr("Not converted: %1.").arg(failure.value());
    if (report)
        tip << InspectionHint(*report, Session.CurrentMode);
    if (tip.isEmpty())
        return;
    item->setToolTip(tip.join('\n'));
    if (report)
        item->setIcon(WrongLayout(*report, Session.CurrentMode)
                          ? style()->standardIcon(QStyle::SP_MessageBoxWarning)
                          : QIcon());
}

void Form_Convert::DecorateArrived() {
    if (arrived_.isEmpty())
        return;
    const int rows = std::min<int>(List_Files->count(), int(Session.FileList.size()));
    for (int row = 0; row < rows; ++row)
        if (arrived_.contains(Session.FileList.at(row)))
            Decorate(row);
    arrived_.clear();
}

void Form_Convert::RemoveFiles() {
    if (Session.FileList.isEmpty())
        return;
    // From the last line up, so the positions of the lines still to look at
    // do not move.
    for (int p = List_Files->count() - 1; p >= 0; --p) {
        if (!List_Files->item(p)->isSelected())
            continue;
        delete List_Files->takeItem(p);
        if (p < Session.FileList.size()) {
            Inspector->Forget(Session.FileList.at(p));
            failures_.remove(Session.FileList.at(p));
            Session.FileList.removeAt(p);
        }
        --Session.FileCount;
    }
}

void Form_Convert::SelectAll() {
    List_Files->selectAll();
}

void Form_Convert::DeselectAll() {
    List_Files->clearSelection();
}

// --- the conversion run -----------------------------------------------------

void Form_Convert::SetRunControlsEnabled(bool enabled) {
    for (QWidget* control :
         {static_cast<QWidget*>(Button_Convert), static_cast<QWidget*>(Drive),
          static_cast<QWidget*>(Directory), static_cast<QWidget*>(Button_AddFiles),
          static_cast<QWidget*>(Button_RemoveFiles), static_cast<QWidget*>(Button_SelectAll),
          static_cast<QWidget*>(Button_DeselectAll)})
        control->setEnabled(enabled);
}

// What the window does for a run: yields and looks for a cancel between
// files, shows the progress by files taken up, asks before an existing file
// is replaced, and tells of a file that could not be converted.
class Form_Convert::RunObserver : public JobObserver {
public:
    RunObserver(Form_Convert& form, const QString& folder) : form_(form), folder_(folder) {}
    bool Cancelled() override {
        form_.desktop_.DoEvents();
        return form_.Session.CancelRequested;
    }
    void Reading(int, int, const QString&) override { ++form_.Session.CurrentFileIndex; }
    void Through(int sources, int total) override {
        const std::int32_t percent = sources * 100 / total;
        form_.Progress->SetValue(percent);
        form_.SetStatus(QString::number(percent) + QStringLiteral("/100%"));
    }
    bool MayReplace(const QString& destination) override {
        return form_.desktop_.ShowMessage(
                   QStringLiteral("File ") + folder_ + PathSeparator() +
                       FileFunctions::GetFileName(destination) +
                       QStringLiteral(" already exists. Would you like to overwrite?"),
                   MsgBox::YesNo, QStringLiteral("Overwrite File?")) == MsgBox::Yes;
    }
    void Done(const FileReport& report) override {
        if (report.outcome != FileOutcome::Failed && report.outcome != FileOutcome::Refused)
            return;
        QString why;
        for (const JobNotice& notice : report.notices)
            if (notice.error.Failed())
                why = notice.error.Text();
        form_.failures_.insert(form_.Session.FileList.value(report.source), why);
        form_.Decorate(report.source);
        // The box names the file it is about.
        const std::int32_t reading =
            std::exchange(form_.Session.CurrentFileIndex, std::int32_t(report.source + 1));
        form_.host_.ShowError(ConvertHost::Failure::Conversion);
        form_.Session.CurrentFileIndex = reading;
    }

private:
    Form_Convert& form_;
    const QString& folder_;
};

void Form_Convert::Convert() {
    if (Session.FileList.isEmpty()) {
        desktop_.ShowMessage(QStringLiteral("Please add files before converting"), MsgBox::OkOnly,
                             QStringLiteral("Cannot Convert"));
        return;
    }
    Session.CancelRequested = false;
    Session.Converting = true;
    Session.CurrentFileIndex = 0;
    failures_.clear();
    statusTold_ = true;
    SetStatus(QStringLiteral("1/100%"));
    SetRunControlsEnabled(false);

    const QString folder = Directory->Path();
    if (DirSearch(folder + QStringLiteral("*.*"), true, true).isEmpty())
        desktop_.ShowMessage(tr("Please choose the folder to save the files to"), MsgBox::OkOnly,
                             QStringLiteral("Incorrect path"));

    Progress->SetValue(0);
    Progress->SetMax(100);
    Progress->SetMin(0);

    // The run is the engine's, as the command line's is: each file by the
    // mode, named as its line shows, asked about before an existing file is
    // replaced; the window asks, tells and yields between files.
    std::vector<JobSource> sources;
    for (const QString& entry : std::as_const(Session.FileList)) {
        JobSource source;
        source.path = entry;
        source.destination =
            folder + PathSeparator() + Mod_File::DestinationName(entry, Session.CurrentMode);
        sources.push_back(source);
    }
    RunObserver observer(*this, folder);
    JobRequest request;
    request.mode = Session.CurrentMode;
    request.folder = folder;
    request.existing = JobRequest::WhenExists::Ask;
    // As the window has always converted: whatever the content looks like.
    request.force = true;
    ConversionJob job(request, observer);
    job.Run(sources);

    if (job.WasCancelled())
        Progress->SetValue(0);
    else if (desktop_.ShowMessage(
                 QStringLiteral(
                     "Conversion complete! Would you like to remove all files from the list?"),
                 MsgBox::YesNo, QStringLiteral("Conversion Complete")) == MsgBox::Yes)
        EmptyList();
    // Whatever happened to each file, the run ends in its idle state.
    SetRunControlsEnabled(true);
    SetStatus(QStringLiteral("Ready"));
    Session.Converting = false;
}

// --- leaving the window -----------------------------------------------------

void Form_Convert::HandBackToMain() {
    host_.CenterMain();
    hide();
    host_.ShowMain();
}

void Form_Convert::Cancel() {
    if (Session.FileCount < 1) {
        Progress->SetValue(0);
        HandBackToMain();
        return;
    }
    if (Session.Converting) {
        if (desktop_.ShowMessage(
                QStringLiteral("Are you sure you would like to cancel the conversion process?"),
                MsgBox::OkCancel, QStringLiteral("Cancel Conversion?")) == MsgBox::Ok)
            Session.CancelRequested = true;
        return;
    }
    if (desktop_.ShowMessage(QStringLiteral("Would you like to close? Doing so will erase the "
                                            "list of files to be converted"),
                             MsgBox::OkCancel, QStringLiteral("Cancel")) == MsgBox::Ok) {
        HandBackToMain();
        EmptyList();
        Progress->SetValue(0);
    }
}

void Form_Convert::closeEvent(QCloseEvent* event) {
    if (Session.Converting) {
        desktop_.ShowMessage(QStringLiteral("Please wait until the conversion process has "
                                            "completed before closing the window"),
                             MsgBox::OkOnly, QString());
        event->ignore();
        return;
    }
    if (Session.FileCount >= 1) {
        if (desktop_.ShowMessage(QStringLiteral("Would you like to close? Doing so will erase "
                                                "the list of files to be converted"),
                                 MsgBox::OkCancel, QStringLiteral("Cancel")) != MsgBox::Ok) {
            event->ignore();
            return;
        }
        HandBackToMain();
        EmptyList();
    } else {
        HandBackToMain();
    }
    Progress->SetValue(0);
    Inspector->Stop();
    event->accept();
    emit Unloaded();
}

void Form_Convert::DriveChanged() {
    const QString drive = Drive->Drive();
    // Picking the drive that is shown already leaves the folder alone.
    if (drive == Drive->DriveOf(Directory->Path()))
        return;
    if (!desktop_.DriveUsable(drive) || !Directory->SetPath(drive)) {
        host_.ShowError(ConvertHost::Failure::UnusableDrive);
        Drive->Refresh();
    }
}
