#pragma once

#include <QDialog>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <memory>

class Desktop;
class QListWidget;
class QTimer;

// A tool window whose work runs on a thread of its own: Cancel tells the
// run to stop, a close during a run is put off until the run has stopped,
// a window that goes during a run (the program ending) stops it and waits
// for its thread, and files are dropped on it only while it is idle.
class ToolWindow : public QDialog {
    Q_OBJECT

public:
    bool Busy() const { return stop_ != nullptr; }
    // Tells the run to stop: what it has begun is finished.
    void Cancel();

protected:
    ToolWindow(const char* name, QWidget* parent);
    ~ToolWindow() override;

    // A run is on thread; *stop ends it early. The window is busy until
    // Ended.
    void Began(std::shared_ptr<std::atomic<bool>> stop, QPointer<QThread> thread);
    // The run's result is told: the window is idle, and a close put off
    // for the run happens now.
    void Ended();

    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;

    // What the user picks in the file dialogs to add: cartridge images
    // (archives among them), a folder, DAT files; nothing when cancelled.
    QStringList ChooseImages(Desktop& desktop);
    QStringList ChooseFolder(Desktop& desktop);
    QStringList ChooseDats(Desktop& desktop);
    // Takes the rows selected out of a list.
    static void RemoveSelected(QListWidget* list);

    // A widget of the window under its object name, the name the tests find
    // it by.
    template <typename Widget> Widget* Named(Widget* widget, const char* name) {
        widget->setObjectName(QString::fromLatin1(name));
        widget->setParent(this);
        return widget;
    }

    QTimer* timer_ = nullptr; // shows a run's progress while it runs

private:
    std::shared_ptr<std::atomic<bool>> stop_;
    QPointer<QThread> thread_;
    bool closeWhenDone_ = false;
};
