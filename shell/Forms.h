#pragma once

#include "ConvertHost.h"
#include "Language.h"

#include <QIcon>
#include <QPointer>

class Desktop;
class Form_About;
class Form_Audit;
class Form_Convert;
class Form_Export;
class Form_Main;
class Form_Inspect;
class Form_Patch;

// The program's windows. Each exists at most once: it is created on
// first use and created again on the next use after it was unloaded.
class Forms : public ConvertHost {
public:
    explicit Forms(Desktop& desktop);
    ~Forms() override;

    Form_Main* Main();
    Form_Convert* Convert();
    Form_About* About();
    // The patch window, shown and brought to the front.
    Form_Patch* Patch();
    bool PatchLoaded() const { return !patch_.isNull(); }
    // The inspection window, shown and brought to the front.
    Form_Inspect* Inspect();
    bool InspectLoaded() const { return !inspect_.isNull(); }
    Form_Audit* Audit();
    bool AuditLoaded() const { return !audit_.isNull(); }
    // The export window, shown and brought to the front.
    Form_Export* Export();
    bool ExportLoaded() const { return !export_.isNull(); }

    bool MainLoaded() const { return !main_.isNull(); }
    bool ConvertLoaded() const { return !convert_.isNull(); }
    bool AboutLoaded() const { return !about_.isNull(); }

    // Unloading: the window's close step runs, then the window is gone,
    // whatever the close step decided.
    void UnloadAbout();
    void UnloadConvert();
    void UnloadMain();

    // The program's start: the windows take the language the user chose,
    // else the system's; then the main window loads and shows.
    void Start();

    // Files given to the program (its command line, "Open with"): patches,
    // with the image they go on, open the patch window filled in; DAT files,
    // with the folders and images they are for, the audit window, which
    // runs; images alone the inspection window. Whether a window took them.
    bool OpenFiles(const QStringList& paths);

    // The language the windows speak, and the user's choice of another: kept
    // for later runs and applied at once to every open window.
    Language::Choice LanguageInUse() const { return translations_.Current(); }
    void ChooseLanguage(Language::Choice choice);

    // The icon every window wears; set by the main window's load step.
    void SetIcon(const QIcon& icon) { icon_ = icon; }
    QIcon Icon() const { return icon_; }

    Desktop& desktop() { return desktop_; }

    // ConvertHost
    CommonDialog& Dialog() override;
    QWidget* DialogOwner() override;
    void CenterMain() override;
    void ShowMain() override;
    void CenterForm(QWidget* form) override;
    void ShowError(Failure failure) override;

private:
    Desktop& desktop_;
    QIcon icon_;
    Language::Translations translations_;
    QPointer<Form_Main> main_;
    QPointer<Form_Convert> convert_;
    QPointer<Form_About> about_;
    QPointer<Form_Patch> patch_;
    QPointer<Form_Inspect> inspect_;
    QPointer<Form_Audit> audit_;
    QPointer<Form_Export> export_;
};
