#include "Form_MakePatch.h"

#include "Desktop.h"
#include "FileFunctions.h"
#include "MsgBox.h"
#include "OffThread.h"
#include "PatchMaker.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr Patch::Kind Formats[] = {Patch::Kind::Bps, Patch::Kind::Ips, Patch::Kind::Ups};

// What a making came to: the patch's size, or why not.
struct Outcome {
    EngineError error;
    std::int64_t size = 0;
    QString original, modified; // the layouts they were in
};

Outcome MakeFile(const QString& original, const QString& modified, Patch::Kind kind,
                 const QString& patch) {
    Outcome out;
    PatchMaker::Side sides[2];
    const QString paths[2] = {original, modified};
    for (int i = 0; i < 2; ++i) {
        sides[i].path = paths[i];
        out.error = PatchMaker::ReadImage(paths[i], &sides[i].bytes);
        if (!out.error.Failed())
            out.error = PatchMaker::Prepare(&sides[i].bytes, false, &sides[i].layout);
        if (out.error.Failed()) {
            out.error = EngineError(EngineError::Code::PatchRefused,
                                    out.error.Text() + QStringLiteral(": ") +
                                        QDir::toNativeSeparators(paths[i]));
            return out;
        }
    }
    out.original = LayoutName(sides[0].layout);
    out.modified = LayoutName(sides[1].layout);
    // The file dialog, or the question below, has asked before a file is
    // replaced.
    out.error = PatchMaker::MakeFile(sides[0], sides[1], kind, QByteArray(), false, patch,
                                     SafeFile::Existing::ReplaceAny, &out.size);
    return out;
}

} // namespace

Form_MakePatch::Form_MakePatch(Desktop& desktop, QWidget* parent)
    : QDialog(parent, Qt::Window), desktop_(desktop) {
    setObjectName(QStringLiteral("Form_MakePatch"));
    auto named = [this](auto* widget, const char* name) {
        widget->setObjectName(QString::fromLatin1(name));
        widget->setParent(this);
        return widget;
    };
    Text_Original = named(new QLineEdit, "Text_Original");
    Button_Original = named(new QPushButton, "Button_Original");
    Text_Modified = named(new QLineEdit, "Text_Modified");
    Button_Modified = named(new QPushButton, "Button_Modified");
    Combo_Format = named(new QComboBox, "Combo_Format");
    Combo_Format->addItems({QStringLiteral("BPS"), QStringLiteral("IPS"), QStringLiteral("UPS")});
    Text_Patch = named(new QLineEdit, "Text_Patch");
    Button_Patch = named(new QPushButton, "Button_Patch");
    Label_Result = named(new QLabel, "Label_Result");
    Label_Result->setWordWrap(true);
    Label_Result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Button_Make = named(new QPushButton, "Button_Make");
    Button_Make->setDefault(true);
    Button_Close = named(new QPushButton, "Button_Close");

    auto* grid = new QGridLayout(this);
    int row = 0;
    auto line = [&](const char* label, QWidget* field, QWidget* button) {
        auto* l = named(new QLabel, label);
        l->setBuddy(field);
        grid->addWidget(l, row, 0);
        grid->addWidget(field, row, 1, 1, button ? 1 : 2);
        if (button)
            grid->addWidget(button, row, 2);
        ++row;
    };
    line("Label_Original", Text_Original, Button_Original);
    line("Label_Modified", Text_Modified, Button_Modified);
    line("Label_Format", Combo_Format, nullptr);
    line("Label_Patch", Text_Patch, Button_Patch);
    grid->addWidget(Label_Result, row++, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button_Make);
    buttons->addWidget(Button_Close);
    grid->addLayout(buttons, row, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    resize(560, 220);

    const QString images = tr("Cartridge images") +
                           QStringLiteral("|*.bin;*.smd;*.md;*.gen;*.zip;*.7z;*.gz|") +
                           tr("All files") + QStringLiteral("|*.*");
    for (auto [button, text] :
         {std::pair{Button_Original, Text_Original}, std::pair{Button_Modified, Text_Modified}})
        connect(button, &QPushButton::clicked, this, [this, images, text = text] {
            const QStringList chosen = desktop_.ChooseFiles(images, false, this);
            if (!chosen.isEmpty())
                text->setText(chosen.first());
        });
    connect(Button_Patch, &QPushButton::clicked, this, [this] {
        QString filter;
        const QString path = desktop_.ChooseSaveFile(
            Text_Patch->text(),
            tr("BPS patches (*.bps)") + QStringLiteral(";;") + tr("IPS patches (*.ips)") +
                QStringLiteral(";;") + tr("UPS patches (*.ups)"),
            &filter, this);
        if (!path.isEmpty()) {
            named_ = true;
            confirmed_ = path;
            Text_Patch->setText(path);
        }
    });
    for (QLineEdit* text : {Text_Original, Text_Modified})
        connect(text, &QLineEdit::textChanged, this, &Form_MakePatch::Suggest);
    connect(Text_Patch, &QLineEdit::textEdited, this, [this] { named_ = true; });
    connect(Text_Patch, &QLineEdit::textChanged, this, &Form_MakePatch::UpdateMake);
    connect(Combo_Format, &QComboBox::currentIndexChanged, this, &Form_MakePatch::Suggest);
    connect(Button_Make, &QPushButton::clicked, this, &Form_MakePatch::Make);
    connect(Button_Close, &QPushButton::clicked, this, &QWidget::close);
    Retranslate();
    UpdateMake();
}

void Form_MakePatch::Retranslate() {
    setWindowTitle(tr("Make a patch"));
    const std::pair<const char*, const char*> labels[] = {
        {"Label_Original", QT_TR_NOOP("&Original:")},
        {"Label_Modified", QT_TR_NOOP("&Modified:")},
        {"Label_Format", QT_TR_NOOP("&Format:")},
        {"Label_Patch", QT_TR_NOOP("&Save as:")},
    };
    for (const auto& [name, text] : labels) {
        QLabel* label = findChild<QLabel*>(QString::fromLatin1(name));
        label->setText(tr(text));
        label->buddy()->setAccessibleName(label->text().remove(QLatin1Char('&')).chopped(1));
    }
    Button_Original->setText(tr("C&hoose..."));
    Button_Modified->setText(tr("Ch&oose..."));
    Button_Patch->setText(tr("&Browse..."));
    Button_Make->setText(tr("Ma&ke"));
    Button_Close->setText(tr("Close"));
}

void Form_MakePatch::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        Retranslate();
    QDialog::changeEvent(event);
}

// The patch is named after the modified image, beside it, in the format's
// extension, until a name is chosen.
void Form_MakePatch::Suggest() {
    if (!named_ && !Text_Modified->text().isEmpty()) {
        const QFileInfo modified(Text_Modified->text());
        const QString extension[] = {QStringLiteral(".bps"), QStringLiteral(".ips"),
                                     QStringLiteral(".ups")};
        Text_Patch->setText(QDir::toNativeSeparators(
            modified.dir().filePath(FileFunctions::GetFullStem(modified.fileName()) +
                                    extension[std::max(0, Combo_Format->currentIndex())])));
    }
    UpdateMake();
}

void Form_MakePatch::UpdateMake() {
    Button_Make->setEnabled(!running_ && !Text_Original->text().isEmpty() &&
                            !Text_Modified->text().isEmpty() && !Text_Patch->text().isEmpty());
}

void Form_MakePatch::Make() {
    if (!Button_Make->isEnabled())
        return;
    const QString patch = Text_Patch->text();
    // The file dialog asked before it named a file that exists; a name typed
    // or suggested is asked about here.
    if (patch != confirmed_ && QFileInfo::exists(patch) &&
        desktop_.ShowMessage(tr("%1 already exists. Would you like to replace it?").arg(patch),
                             MsgBox::YesNo, tr("Replace the file?")) != MsgBox::Yes)
        return;
    running_ = true;
    UpdateMake();
    Label_Result->setText(tr("Making the patch..."));
    const QString original = Text_Original->text();
    const QString modified = Text_Modified->text();
    const Patch::Kind kind = Formats[std::max(0, Combo_Format->currentIndex())];
    OffThread::Start<Outcome>(
        this, [=] { return MakeFile(original, modified, kind, patch); },
        [this, patch, kind](const Outcome& out) {
            running_ = false;
            UpdateMake();
            Label_Result->setText(
                out.error.Failed()
                    ? tr("No patch made: %1")
                          .arg(out.error.code == EngineError::Code::PatchRefused ? out.error.detail
                                                                                 : out.error.Text())
                    : tr("%1: a %2 patch of %3 bytes, made between the plain contents of the "
                         "original (%4) and the modified image (%5), read back and applied to "
                         "the original.")
                          .arg(QDir::toNativeSeparators(patch), Patch::KindName(kind))
                          .arg(out.size)
                          .arg(out.original, out.modified));
            emit Made();
        });
}

void Form_MakePatch::closeEvent(QCloseEvent* event) {
    if (running_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
