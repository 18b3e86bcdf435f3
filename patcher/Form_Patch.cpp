#include "Form_Patch.h"

#include "Archive.h"
#include "DatLoad.h"
#include "Desktop.h"
#include "FileFunctions.h"
#include "Form_MakePatch.h"
#include "MsgBox.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// The layouts offered, in the order of the list: the image's own first.
constexpr RomLayout Layouts[] = {RomLayout::Unknown, RomLayout::Plain, RomLayout::Smd,
                                 RomLayout::Md};

QString Hex32(std::uint32_t value) {
    return RomInspector::Hex(value, 8);
}

} // namespace

Form_Patch::Form_Patch(Desktop& desktop, QWidget* parent)
    : QDialog(parent, Qt::Window), desktop_(desktop) {
    setObjectName(QStringLiteral("Form_Patch"));
    setAcceptDrops(true);
    auto named = [](auto* widget, const char* name) {
        widget->setObjectName(QString::fromLatin1(name));
        return widget;
    };
    Text_Image = named(new QLineEdit(this), "Text_Image");
    Text_Image->setReadOnly(true);
    Button_Image = named(new QPushButton(this), "Button_Image");
    List_Patches = named(new QListWidget(this), "List_Patches");
    Button_AddPatches = named(new QPushButton(this), "Button_AddPatches");
    Button_RemovePatch = named(new QPushButton(this), "Button_RemovePatch");
    Button_Up = named(new QPushButton(this), "Button_Up");
    Button_Down = named(new QPushButton(this), "Button_Down");
    Button_Dats = named(new QPushButton(this), "Button_Dats");
    Text_Details = named(new QPlainTextEdit(this), "Text_Details");
    Text_Details->setReadOnly(true);
    Label_Verdict = named(new QLabel(this), "Label_Verdict");
    Label_Verdict->setWordWrap(true);
    Label_Verdict->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Check_Anyway = named(new QCheckBox(this), "Check_Anyway");
    Text_Folder = named(new QLineEdit(this), "Text_Folder");
    Button_Folder = named(new QPushButton(this), "Button_Folder");
    Text_Name = named(new QLineEdit(this), "Text_Name");
    Combo_Layout = named(new QComboBox(this), "Combo_Layout");
    for (int i = 0; i < 4; ++i)
        Combo_Layout->addItem(QString());
    Check_FixChecksum = named(new QCheckBox(this), "Check_FixChecksum");
    Check_FixChecksum->setChecked(true);
    Label_Result = named(new QLabel(this), "Label_Result");
    Label_Result->setWordWrap(true);
    Label_Result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Button_Apply = named(new QPushButton(this), "Button_Apply");
    Button_Apply->setDefault(true);
    Button_Close = named(new QPushButton(this), "Button_Close");
    Button_MakePatch = named(new QPushButton(this), "Button_MakePatch");

    LayOut();
    Connect();
    Retranslate();
    UpdateApply();
}

Form_Patch::~Form_Patch() = default;

// The controls in a grid: labels on the left, the list's buttons and the
// choosers on the right, Apply and Close at the bottom.
void Form_Patch::LayOut() {
    auto named = [](auto* widget, const char* name) {
        widget->setObjectName(QString::fromLatin1(name));
        return widget;
    };
    auto* grid = new QGridLayout(this);
    int row = 0;
    auto label = [&](const char* name) {
        auto* l = named(new QLabel(this), name);
        grid->addWidget(l, row, 0, Qt::AlignTop);
        return l;
    };
    label("Label_Image")->setBuddy(Text_Image);
    grid->addWidget(Text_Image, row, 1);
    grid->addWidget(Button_Image, row++, 2);
    label("Label_Patches")->setBuddy(List_Patches);
    grid->addWidget(List_Patches, row, 1);
    auto* listButtons = new QVBoxLayout;
    for (QPushButton* b :
         {Button_AddPatches, Button_RemovePatch, Button_Up, Button_Down, Button_Dats})
        listButtons->addWidget(b);
    listButtons->addStretch();
    grid->addLayout(listButtons, row++, 2);
    label("Label_Details")->setBuddy(Text_Details);
    grid->addWidget(Text_Details, row++, 1, 1, 2);
    grid->addWidget(Label_Verdict, row++, 1, 1, 2);
    grid->addWidget(Check_Anyway, row++, 1, 1, 2);
    label("Label_Folder")->setBuddy(Text_Folder);
    grid->addWidget(Text_Folder, row, 1);
    grid->addWidget(Button_Folder, row++, 2);
    label("Label_Name")->setBuddy(Text_Name);
    grid->addWidget(Text_Name, row++, 1, 1, 2);
    label("Label_Layout")->setBuddy(Combo_Layout);
    grid->addWidget(Combo_Layout, row++, 1, 1, 2);
    grid->addWidget(Check_FixChecksum, row++, 1, 1, 2);
    grid->addWidget(Label_Result, row++, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button_MakePatch);
    buttons->addStretch();
    buttons->addWidget(Button_Apply);
    buttons->addWidget(Button_Close);
    grid->addLayout(buttons, row++, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    resize(640, 560);
}

void Form_Patch::Connect() {
    connect(Button_Image, &QPushButton::clicked, this, &Form_Patch::ChooseImage);
    connect(Button_AddPatches, &QPushButton::clicked, this, &Form_Patch::ChoosePatches);
    connect(Button_RemovePatch, &QPushButton::clicked, this, [this] {
        const int at = List_Patches->currentRow();
        if (at < 0 || at >= patches_.size())
            return;
        patches_.removeAt(at);
        ShowPatches();
        Judge();
    });
    connect(Button_Up, &QPushButton::clicked, this, [this] { Move(-1); });
    connect(Button_Down, &QPushButton::clicked, this, [this] { Move(1); });
    connect(Button_Dats, &QPushButton::clicked, this, [this] {
        const QStringList chosen =
            desktop_.ChooseFiles(tr("DAT files") + QStringLiteral("|*.dat;*.xml|") +
                                     tr("All files") + QStringLiteral("|*.*"),
                                 true, this);
        if (!chosen.isEmpty())
            LoadDats(chosen);
    });
    connect(Button_Folder, &QPushButton::clicked, this, &Form_Patch::ChooseFolder);
    connect(Text_Name, &QLineEdit::textEdited, this, [this] { nameEdited_ = true; });
    connect(Combo_Layout, &QComboBox::currentIndexChanged, this, [this] {
        UpdateName();
        Judge();
    });
    connect(Check_FixChecksum, &QCheckBox::toggled, this, &Form_Patch::Judge);
    connect(Check_Anyway, &QCheckBox::toggled, this, &Form_Patch::UpdateApply);
    connect(Button_Apply, &QPushButton::clicked, this, &Form_Patch::Apply);
    connect(Button_MakePatch, &QPushButton::clicked, this, &Form_Patch::MakePatch);
    connect(Button_Close, &QPushButton::clicked, this, &QWidget::close);
}

void Form_Patch::Retranslate() {
    setWindowTitle(tr("Apply patches"));
    const std::pair<const char*, const char*> labels[] = {
        {"Label_Image", QT_TR_NOOP("&Image:")},
        {"Label_Patches", QT_TR_NOOP("&Patches, applied in order:")},
        {"Label_Details", QT_TR_NOOP("What they &expect:")},
        {"Label_Folder", QT_TR_NOOP("Save &to:")},
        {"Label_Name", QT_TR_NOOP("&Name:")},
        {"Label_Layout", QT_TR_NOOP("&Layout:")},
    };
    for (const auto& [name, text] : labels) {
        QLabel* label = findChild<QLabel*>(QString::fromLatin1(name));
        label->setText(tr(text));
        // A screen reader names the control by its label.
        QString heard = label->text().remove(QLatin1Char('&'));
        heard.remove(QRegularExpression(QStringLiteral("\\(.\\)|[:：]$")));
        label->buddy()->setAccessibleName(heard.trimmed());
    }
    Button_Image->setText(tr("C&hoose..."));
    Button_AddPatches->setText(tr("&Add..."));
    Button_RemovePatch->setText(tr("&Remove"));
    Button_Up->setText(tr("&Up"));
    Button_Down->setText(tr("Do&wn"));
    Button_Dats->setText(tr("&DAT files..."));
    Button_Folder->setText(tr("&Folder..."));
    Check_Anyway->setText(tr("Apply even though this image is not the one the patches were "
                             "made for"));
    Check_FixChecksum->setText(tr("Fix the header &checksum"));
    Combo_Layout->setItemText(0, tr("The image's own"));
    Combo_Layout->setItemText(1, tr("BIN (plain)"));
    Combo_Layout->setItemText(2, tr("SMD"));
    Combo_Layout->setItemText(3, tr("MD"));
    Button_Apply->setText(tr("A&pply"));
    Button_MakePatch->setText(tr("&Make a patch..."));
    Button_Close->setText(tr("Close"));
    if (!image_.isEmpty() || !patches_.isEmpty())
        ShowJudgement(last_);
}

void Form_Patch::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        Retranslate();
    QDialog::changeEvent(event);
}

// --- the image and the patches ----------------------------------------------

void Form_Patch::SetImage(const QString& path) {
    image_ = path;
    Text_Image->setText(QDir::toNativeSeparators(path));
    if (Text_Folder->text().isEmpty() || !path.isEmpty())
        Text_Folder->setText(QDir::toNativeSeparators(QFileInfo(path).absolutePath()));
    UpdateName();
    Judge();
}

void Form_Patch::AddPatches(const QStringList& paths) {
    patches_ << paths;
    ShowPatches();
    Judge();
}

void Form_Patch::ChooseImage() {
    const QStringList chosen = desktop_.ChooseFiles(
        tr("Cartridge images") + QStringLiteral("|*.bin;*.smd;*.md;*.gen;*.zip;*.7z;*.gz|") +
            tr("All files") + QStringLiteral("|*.*"),
        false, this);
    if (!chosen.isEmpty())
        SetImage(chosen.first());
}

void Form_Patch::ChoosePatches() {
    const QStringList chosen = desktop_.ChooseFiles(
        tr("Patches") + QStringLiteral("|*.ips;*.bps;*.ups;*.xdelta;*.vcdiff;*.zip|") +
            tr("All files") + QStringLiteral("|*.*"),
        true, this);
    if (!chosen.isEmpty())
        AddPatches(chosen);
}

void Form_Patch::ChooseFolder() {
    const QString folder = desktop_.ChooseFolder(Text_Folder->text(), this);
    if (!folder.isEmpty())
        Text_Folder->setText(folder);
}

void Form_Patch::Move(int by) {
    const int at = List_Patches->currentRow();
    const int to = at + by;
    if (at < 0 || to < 0 || to >= patches_.size())
        return;
    patches_.move(at, to);
    ShowPatches();
    List_Patches->setCurrentRow(to);
    Judge();
}

void Form_Patch::ShowPatches() {
    List_Patches->clear();
    for (const QString& path : std::as_const(patches_))
        List_Patches->addItem(Archive::OwnName(path));
    UpdateName();
}

// Patches and images dropped on the window: each where it belongs.
void Form_Patch::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && !Busy())
        event->acceptProposedAction();
}

void Form_Patch::dropEvent(QDropEvent* event) {
    QStringList patches;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (!url.isLocalFile())
            continue;
        const QString path = QDir::toNativeSeparators(url.toLocalFile());
        if (Patch::IsPatchFile(path))
            patches << path;
        else
            SetImage(path);
    }
    if (!patches.isEmpty())
        AddPatches(patches);
    event->acceptProposedAction();
}

// --- what the patches make of the image -------------------------------------

PatchRun::Order Form_Patch::OrderNow(bool trial) const {
    PatchRun::Order order;
    order.image = image_;
    order.patches = patches_;
    order.layout = Layouts[std::max(0, Combo_Layout->currentIndex())];
    order.keepChecksum = !Check_FixChecksum->isChecked();
    // The trial judges the patches as they are; the user's second step
    // forces them on only when written.
    order.force = !trial && wrongBase_ && Check_Anyway->isChecked();
    order.trial = trial;
    if (!Text_Name->text().isEmpty())
        order.destination = QDir(Text_Folder->text()).absoluteFilePath(Text_Name->text());
    return order;
}

void Form_Patch::UpdateName() {
    if (nameEdited_ || patches_.isEmpty())
        return;
    // As the command line names it: after the last patch, in the layout written.
    RomLayout layout = Layouts[std::max(0, Combo_Layout->currentIndex())];
    if (layout == RomLayout::Unknown)
        layout = last_.image.layout == RomLayout::Smd || last_.image.layout == RomLayout::Md
                     ? last_.image.layout
                     : RomLayout::Plain;
    Text_Name->setText(FileFunctions::GetFullStem(Archive::OwnName(patches_.last())) +
                       LayoutExtension(layout));
}

// A trial run of the engine's patch job, which writes nothing: what it says
// of the image and the patches is what applying them would do.
void Form_Patch::Judge() {
    fits_ = wrongBase_ = false;
    UpdateApply();
    const int trial = ++judging_;
    ++running_;
    PatchRun::Start(OrderNow(true), this, {}, [this, trial](const PatchRun::Outcome& outcome) {
        --running_;
        // An earlier trial's outcome is stale, but its end may free Apply.
        if (trial != judging_) {
            UpdateApply();
            return;
        }
        last_ = outcome;
        UpdateName();
        ShowJudgement(outcome);
        emit Judged();
    });
}

QString Form_Patch::Details(const PatchRun::Outcome& outcome) const {
    QStringList lines;
    if (!image_.isEmpty()) {
        const RomInspector::Report& r = outcome.image;
        if (r.Inspected())
            lines << tr("The image: %1, %2 bytes, plain CRC32 %3")
                         .arg(LayoutPhrase(r.layout))
                         .arg(r.plainSize)
                         .arg(QStringLiteral("0x") + r.crc32.toUpper());
        if (r.Inspected() && dats_)
            lines << (DatName(r).isEmpty() ? tr("Not in the DAT files")
                                           : tr("In the DAT files: %1").arg(DatName(r)));
    }
    for (std::size_t i = 0; i < outcome.patches.size(); ++i) {
        const Patch::Loaded& p = outcome.patches[i];
        const QString name = Archive::OwnName(patches_.value(qsizetype(i)));
        if (outcome.unreadable[i].Failed()) {
            lines << tr("%1: cannot be used: %2").arg(name, outcome.unreadable[i].Text());
            continue;
        }
        const Patch::Description& d = p.description;
        QString line = tr("%1: %2, %3 records").arg(name, Patch::KindName(d.kind)).arg(d.records);
        if (d.checksums)
            line += tr("; made for %1 bytes with CRC32 %2, makes %3 bytes with CRC32 %4")
                        .arg(d.sourceSize)
                        .arg(Hex32(d.sourceCrc))
                        .arg(d.targetSize)
                        .arg(Hex32(d.targetCrc));
        else
            line += tr("; an IPS patch names no image it was made for");
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

void Form_Patch::ShowJudgement(const PatchRun::Outcome& outcome) {
    Text_Details->setPlainText(Details(outcome));
    QString verdict;
    if (image_.isEmpty())
        verdict = tr("Choose the image to patch.");
    else if (!outcome.image.Inspected())
        verdict = tr("The image cannot be read: %1").arg(outcome.image.error.Text());
    else if (patches_.isEmpty())
        verdict = tr("Add the patches to apply, in the order they go on.");
    else if (!outcome.ran)
        verdict = tr("A patch cannot be used: see above.");
    else if (outcome.report.outcome == FileOutcome::Converted) {
        fits_ = true;
        verdict = tr("Ready: %1")
                      .arg(outcome.report.detail.trimmed().isEmpty()
                               ? tr("the patches apply to this image")
                               : outcome.report.detail.trimmed().mid(1).chopped(1));
    } else {
        for (const JobNotice& notice : outcome.report.notices)
            if (notice.error.Failed()) {
                wrongBase_ = notice.error.code == EngineError::Code::WrongBase;
                verdict = wrongBase_ ? tr("This is not the image the patches were made for: %1. "
                                          "Applying them would most likely give a broken game.")
                                           .arg(notice.error.detail)
                                     : tr("This cannot be applied: %1").arg(notice.error.Text());
                if (wrongBase_ && !DatName(outcome.image).isEmpty())
                    verdict += QLatin1Char(' ') +
                               tr("This image is %1 in the DAT files.").arg(DatName(outcome.image));
            }
    }
    // The second step is offered only where the base is wrong.
    if (!wrongBase_)
        Check_Anyway->setChecked(false);
    Check_Anyway->setVisible(wrongBase_);
    Label_Verdict->setText(verdict);
    UpdateApply();
}

Form_MakePatch* Form_Patch::MakePatch() {
    if (!makePatch_) {
        makePatch_ = new Form_MakePatch(desktop_, this);
        makePatch_->setWindowIcon(windowIcon());
        if (!image_.isEmpty())
            makePatch_->Text_Original->setText(image_);
    }
    makePatch_->show();
    makePatch_->raise();
    makePatch_->activateWindow();
    return makePatch_;
}

void Form_Patch::LoadDats(const QStringList& paths) {
    DatLoad::Start(this, paths, [this](const DatLoad::Loaded& loaded) {
        if (loaded.error.Failed())
            Label_Result->setText(tr("Cannot read the DAT file %1").arg(loaded.error.Text()));
        else
            dats_ = loaded.index;
        if (!image_.isEmpty())
            ShowJudgement(last_);
        emit DatsLoaded();
    });
}

QString Form_Patch::DatName(const RomInspector::Report& image) const {
    const std::optional<DatFile::Rom> rom =
        dats_ && image.Inspected() ? dats_->Match(image) : std::nullopt;
    return rom ? rom->game : QString();
}

void Form_Patch::UpdateApply() {
    Button_Apply->setEnabled(running_ == 0 && !Text_Name->text().isEmpty() &&
                             (fits_ || (wrongBase_ && Check_Anyway->isChecked())));
}

// --- applying ----------------------------------------------------------------

void Form_Patch::Apply() {
    if (!Button_Apply->isEnabled())
        return;
    Label_Result->clear();
    ++running_;
    UpdateApply();
    const PatchRun::Question ask = [this](const QString& destination) {
        return desktop_.ShowMessage(tr("%1 already exists. Would you like to replace it?")
                                        .arg(QDir::toNativeSeparators(destination)),
                                    MsgBox::YesNo, tr("Replace the file?")) == MsgBox::Yes;
    };
    PatchRun::Start(OrderNow(false), this, ask, [this](const PatchRun::Outcome& outcome) {
        --running_;
        ShowApplied(outcome);
        UpdateApply();
        emit Applied();
    });
}

void Form_Patch::ShowApplied(const PatchRun::Outcome& outcome) {
    const FileReport& r = outcome.report;
    QString text;
    if (r.written)
        text = tr("Written: %1%2").arg(QDir::toNativeSeparators(r.destination), r.detail);
    else if (r.outcome == FileOutcome::Skipped)
        text = tr("Nothing written: %1 is kept.").arg(QDir::toNativeSeparators(r.destination));
    else {
        QString why;
        for (const JobNotice& notice : r.notices)
            if (notice.error.Failed())
                why = notice.error.Text();
        text = tr("Nothing written: %1").arg(why);
    }
    Label_Result->setText(text);
}

void Form_Patch::closeEvent(QCloseEvent* event) {
    // An application asks its questions of this window: it ends first.
    if (Busy()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
