#pragma once

#include "PatchRun.h"

#include <QDialog>

#include <memory>

namespace DatFile {
class Index;
}

class Desktop;
class Form_MakePatch;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

// The patch window: one image and the patches to apply to it, in order;
// what each patch expects and whether this image is it, shown before
// anything is written; the patched image written as the command line's
// patch writes it.
class Form_Patch : public QDialog {
    Q_OBJECT

public:
    explicit Form_Patch(Desktop& desktop, QWidget* parent = nullptr);
    ~Form_Patch() override;

    QLineEdit* Text_Image = nullptr;
    QPushButton* Button_Image = nullptr;
    QListWidget* List_Patches = nullptr;
    QPushButton* Button_AddPatches = nullptr;
    QPushButton* Button_RemovePatch = nullptr;
    QPushButton* Button_Up = nullptr;
    QPushButton* Button_Down = nullptr;
    QPushButton* Button_Dats = nullptr;
    QPlainTextEdit* Text_Details = nullptr;
    QLabel* Label_Verdict = nullptr;
    QCheckBox* Check_Anyway = nullptr;
    QLineEdit* Text_Folder = nullptr;
    QPushButton* Button_Folder = nullptr;
    QLineEdit* Text_Name = nullptr;
    QComboBox* Combo_Layout = nullptr;
    QCheckBox* Check_FixChecksum = nullptr;
    QLabel* Label_Result = nullptr;
    QPushButton* Button_Apply = nullptr;
    QPushButton* Button_MakePatch = nullptr;
    QPushButton* Button_Close = nullptr;

    // The image and the patches, as given (the command line, a drop).
    void SetImage(const QString& path);
    void AddPatches(const QStringList& paths);
    QStringList Patches() const { return patches_; }
    // DAT files that name the image, read off the window's thread.
    void LoadDats(const QStringList& paths);

    // The window that makes a patch of two images, made on first use.
    Form_MakePatch* MakePatch();

    // Writes the patched image; the outcome is told in Label_Result.
    void Apply();
    // Whether a trial or an application is under way.
    bool Busy() const { return running_ > 0; }

signals:
    // An application is done (its outcome shown).
    void Applied();
    // The window has looked at its image and patches again.
    void Judged();
    // The DAT files are read (or could not be: Label_Result says why).
    void DatsLoaded();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void LayOut();
    void Connect();
    void Retranslate();
    void ChooseImage();
    void ChoosePatches();
    void ChooseFolder();
    void Move(int by);
    void ShowPatches();
    void Judge();
    void ShowJudgement(const PatchRun::Outcome& outcome);
    void ShowApplied(const PatchRun::Outcome& outcome);
    void UpdateName();
    void UpdateApply();
    PatchRun::Order OrderNow(bool trial) const;
    QString Details(const PatchRun::Outcome& outcome) const;
    // The image's game in the DAT files loaded, or nothing.
    QString DatName(const RomInspector::Report& image) const;

    Desktop& desktop_;
    QString image_;
    QStringList patches_;
    bool nameEdited_ = false;
    bool fits_ = false;      // the last trial found every patch fits the image
    bool wrongBase_ = false; // it found the image is not the patches' base
    int judging_ = 0;        // the trial whose outcome is awaited
    int running_ = 0;        // trials and applications under way
    PatchRun::Outcome last_;
    std::shared_ptr<const DatFile::Index> dats_;
    Form_MakePatch* makePatch_ = nullptr;
};
