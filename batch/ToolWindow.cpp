#include "ToolWindow.h"

#include "Desktop.h"

#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QListWidget>
#include <QMimeData>
#include <QTimer>

ToolWindow::ToolWindow(const char* name, QWidget* parent) : QDialog(parent, Qt::Window) {
    setObjectName(QString::fromLatin1(name));
    setAcceptDrops(true);
    timer_ = new QTimer(this);
    timer_->setInterval(100);
}

ToolWindow::~ToolWindow() {
    Cancel();
    if (thread_)
        thread_->wait();
}

void ToolWindow::Cancel() {
    if (stop_)
        *stop_ = true;
}

void ToolWindow::Began(std::shared_ptr<std::atomic<bool>> stop, QPointer<QThread> thread) {
    stop_ = std::move(stop);
    thread_ = thread;
    timer_->start();
}

void ToolWindow::Ended() {
    timer_->stop();
    stop_.reset();
    if (std::exchange(closeWhenDone_, false))
        close();
}

void ToolWindow::closeEvent(QCloseEvent* event) {
    if (Busy()) {
        Cancel();
        closeWhenDone_ = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void ToolWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && !Busy())
        event->acceptProposedAction();
}

QStringList ToolWindow::ChooseImages(Desktop& desktop) {
    return desktop.ChooseFiles(
        tr("Cartridge images") + QStringLiteral("|*.bin;*.smd;*.md;*.gen;*.32x;*.zip;*.7z;*.gz|") +
            tr("All files") + QStringLiteral("|*.*"),
        true, this);
}

QStringList ToolWindow::ChooseFolder(Desktop& desktop) {
    const QString folder = desktop.ChooseFolder(QDir::currentPath(), this);
    return folder.isEmpty() ? QStringList() : QStringList{folder};
}

QStringList ToolWindow::ChooseDats(Desktop& desktop) {
    return desktop.ChooseFiles(tr("DAT files") + QStringLiteral("|*.dat;*.xml|") + tr("All files") +
                                   QStringLiteral("|*.*"),
                               true, this);
}

void ToolWindow::RemoveSelected(QListWidget* list) {
    qDeleteAll(list->selectedItems());
}
