#pragma once

#include <QListWidget>

// The folder list: the path from the root down to the current folder, then
// the current folder's subfolders. A double-click opens a folder.
class FolderList : public QListWidget {
    Q_OBJECT

public:
    explicit FolderList(QWidget* parent = nullptr);

    // The current folder in native separators, without a trailing separator
    // except for a root.
    QString Path() const { return path_; }
    // Opens a folder; false (and nothing changes) when it cannot be listed.
    bool SetPath(const QString& path);

signals:
    void Change();
    void Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Rebuild();

    QString path_;
};
