#pragma once

#include <QComboBox>

class Desktop;

// The drive list: the desktop's mounted volumes.
class DriveList : public QComboBox {
    Q_OBJECT

public:
    DriveList(Desktop& desktop, QWidget* parent = nullptr);

    QString Drive() const { return currentText(); }
    // Shows a drive, adding it when the list does not have it.
    void SetDrive(const QString& drive);
    // The volume holding a path: the longest drive that starts it.
    QString DriveOf(const QString& path) const;
    // Lists the volumes again, keeping the drive shown.
    void Refresh();

signals:
    // The user picked a drive.
    void Change();

private:
    Desktop& desktop_;
};
