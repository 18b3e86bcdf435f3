#include "Forms.h"

#include "DatFile.h"
#include "Desktop.h"
#include "Errors.h"

#include "Form_About.h"
#include "Form_Audit.h"
#include "Form_Convert.h"
#include "Form_Export.h"
#include "Form_Inspect.h"
#include "Form_Main.h"
#include "Form_Patch.h"
#include "Patch.h"
#include "Position.h"

#include <QDir>
#include <QFileInfo>

Forms::Forms(Desktop& desktop) : desktop_(desktop) {}

Forms::~Forms() {
    delete export_.data();
    delete audit_.data();
    delete inspect_.data();
    delete patch_.data();
    delete about_.data();
    delete convert_.data();
    delete main_.data();
}

Form_Main* Forms::Main() {
    if (!main_) {
        main_ = new Form_Main(*this);
        main_->Load();
    }
    return main_;
}

Form_Convert* Forms::Convert() {
    if (!convert_) {
        convert_ = new Form_Convert(desktop_, *this);
        convert_->setWindowIcon(icon_);
        QObject::connect(convert_, &Form_Convert::Unloaded, convert_,
                         [this] { convert_ = nullptr; });
    }
    return convert_;
}

Form_About* Forms::About() {
    if (!about_) {
        about_ = new Form_About(*this);
        about_->setWindowIcon(icon_);
        QObject::connect(about_, &Form_About::Unloaded, about_, [this] { about_ = nullptr; });
    }
    return about_;
}

namespace {

// A tool window, made on first use and again after it was closed, shown and
// brought to the front.
template <typename Window>
Window* Shown(QPointer<Window>& window, Desktop& desktop, const QIcon& icon) {
    if (!window) {
        window = new Window(desktop);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowIcon(icon);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

} // namespace

Form_Patch* Forms::Patch() {
    return Shown(patch_, desktop_, icon_);
}

Form_Inspect* Forms::Inspect() {
    return Shown(inspect_, desktop_, icon_);
}

Form_Audit* Forms::Audit() {
    return Shown(audit_, desktop_, icon_);
}

Form_Export* Forms::Export() {
    return Shown(export_, desktop_, icon_);
}

bool Forms::OpenFiles(const QStringList& paths) {
    QStringList patches;
    QStringList dats;
    QStringList images;
    for (const QString& given : paths) {
        const QString path = QDir::toNativeSeparators(QFileInfo(given).absoluteFilePath());
        (Patch::IsPatchFile(path) ? patches : DatFile::IsDatFile(path) ? dats : images) << path;
    }
    if (!dats.isEmpty() && patches.isEmpty()) {
        Form_Audit* window = Audit();
        window->AddDats(dats);
        window->AddSources(images);
        if (!images.isEmpty())
            window->Run();
        return true;
    }
    if (patches.isEmpty()) {
        if (images.isEmpty())
            return false;
        Inspect()->AddFiles(images);
        return true;
    }
    Form_Patch* window = Patch();
    if (!images.isEmpty())
        window->SetImage(images.first());
    window->AddPatches(patches);
    if (!dats.isEmpty())
        window->LoadDats(dats);
    return true;
}

void Forms::UnloadAbout() {
    if (Form_About* about = about_) {
        about->close();
        about_ = nullptr;
        delete about;
    }
}

void Forms::UnloadConvert() {
    if (Form_Convert* convert = convert_) {
        convert->close();
        convert_ = nullptr;
        delete convert;
    }
}

void Forms::UnloadMain() {
    if (Form_Main* main = main_) {
        main_ = nullptr;
        main->hide();
        main->deleteLater();
    }
}

void Forms::Start() {
    translations_.Apply(Language::Decide(desktop_.StoredLanguage(), desktop_.UiLanguages()));
    Form_Main* main = Main();
    main->show();
}

void Forms::ChooseLanguage(Language::Choice choice) {
    desktop_.StoreLanguage(Language::Code(choice));
    if (choice != translations_.Current())
        translations_.Apply(choice);
}

CommonDialog& Forms::Dialog() {
    return Main()->DLG;
}

QWidget* Forms::DialogOwner() {
    return Main();
}

void Forms::CenterMain() {
    Position::CenterForm(desktop_, Main());
}

void Forms::ShowMain() {
    Main()->show();
}

void Forms::CenterForm(QWidget* form) {
    Position::CenterForm(desktop_, form);
}

void Forms::ShowError(Failure failure) {
    Errors::ShowError(desktop_,
                      failure == Failure::Conversion ? ConversionFailure : UseableDriveNotFound,
                      Convert()->Session.CurrentEntry());
}
