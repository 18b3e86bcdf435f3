#include "DriveList.h"

#include "Desktop.h"
#include "PathSeparator.h"

#include <QSignalBlocker>

DriveList::DriveList(Desktop& desktop, QWidget* parent) : QComboBox(parent), desktop_(desktop) {
    Refresh();
    connect(this, &QComboBox::activated, this, &DriveList::Change);
}

void DriveList::SetDrive(const QString& drive) {
    if (drive.isEmpty())
        return;
    const QSignalBlocker blocker(this);
    int index = findText(drive);
    if (index < 0) {
        addItem(drive);
        index = count() - 1;
    }
    setCurrentIndex(index);
}

QString DriveList::DriveOf(const QString& path) const {
    QString best;
    for (int i = 0; i < count(); ++i) {
        QString drive = itemText(i);
        const QString prefix = drive.endsWith(PathSeparator()) ? drive : drive + PathSeparator();
        if ((path == drive || path.startsWith(prefix)) && drive.size() > best.size())
            best = drive;
    }
    return best;
}

void DriveList::Refresh() {
    const QSignalBlocker blocker(this);
    const QString shown = currentText();
    clear();
    addItems(desktop_.Drives());
    if (!shown.isEmpty())
        SetDrive(shown);
}
