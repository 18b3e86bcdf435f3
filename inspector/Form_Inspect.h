#pragma once

#include "JobRequest.h"

#include <QDialog>

#include <memory>

namespace DatFile {
class Index;
}

class Desktop;
class ListInspector;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

// The inspection window: images of any layout with what kestrix-convert
// info says of each, copyable as text; the chosen ones repaired or
// converted into a folder by the engine's job, off the window's thread.
class Form_Inspect : public QDialog {
    Q_OBJECT

public:
    explicit Form_Inspect(Desktop& desktop, QWidget* parent = nullptr);

    QTreeWidget* List_Images = nullptr;
    QPlainTextEdit* Text_Report = nullptr;
    QPushButton* Button_AddFiles = nullptr;
    QPushButton* Button_RemoveFiles = nullptr;
    QPushButton* Button_Copy = nullptr;
    QPushButton* Button_Dats = nullptr;
    QLineEdit* Text_Folder = nullptr;
    QPushButton* Button_Folder = nullptr;
    QPushButton* Button_FixChecksum = nullptr;
    QPushButton* Button_Trim = nullptr;
    QComboBox* Combo_Target = nullptr;
    QPushButton* Button_Convert = nullptr;
    QLabel* Label_Result = nullptr;
    QPushButton* Button_Close = nullptr;

    void AddFiles(const QStringList& paths);
    // DAT files whose names the list and the report give; read off the
    // window's thread, the files read again with the fingerprints of their
    // bytes as they are too.
    void LoadDats(const QStringList& paths);
    QStringList Files() const { return files_; }
    // What info says of the chosen files (all of them when none is chosen),
    // as it prints it.
    QString ReportText() const;
    // The chosen files (all when none is) through the engine's job.
    void Run(JobTask task);
    bool Busy() const { return running_; }

signals:
    // A file's report has come in.
    void Inspected(const QString& path);
    // The DAT files are read (or could not be: Label_Result says why).
    void DatsLoaded();
    // A run is done and told.
    void Ran();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void LayOut();
    void Connect();
    void Retranslate();
    void ShowRow(int row);
    QStringList Chosen() const;
    void UpdateActions();

    Desktop& desktop_;
    ListInspector* inspector_ = nullptr;
    QStringList files_;
    std::shared_ptr<const DatFile::Index> dats_;
    bool running_ = false;
};
