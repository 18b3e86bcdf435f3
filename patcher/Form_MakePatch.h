#pragma once

#include <QDialog>

class Desktop;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Making a patch: an original and a modified image in any layout, a format
// and a file; the patch made between their plain contents by the engine,
// as kestrix-convert make-patch makes it, off the window's thread.
class Form_MakePatch : public QDialog {
    Q_OBJECT

public:
    explicit Form_MakePatch(Desktop& desktop, QWidget* parent = nullptr);

    QLineEdit* Text_Original = nullptr;
    QPushButton* Button_Original = nullptr;
    QLineEdit* Text_Modified = nullptr;
    QPushButton* Button_Modified = nullptr;
    QComboBox* Combo_Format = nullptr;
    QLineEdit* Text_Patch = nullptr;
    QPushButton* Button_Patch = nullptr;
    QLabel* Label_Result = nullptr;
    QPushButton* Button_Make = nullptr;
    QPushButton* Button_Close = nullptr;

    // Makes the patch; the outcome is told in Label_Result.
    void Make();
    bool Busy() const { return running_; }

signals:
    void Made();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Retranslate();
    void Suggest();
    void UpdateMake();

    Desktop& desktop_;
    bool running_ = false;
    bool named_ = false; // the patch's file was chosen, not suggested
    QString confirmed_;  // the file the save dialog chose, replacing allowed
};
