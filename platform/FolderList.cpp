#include "FolderList.h"

#include <QDir>
#include <QFileInfo>
#include <QStyle>

namespace {
constexpr int PathRole = Qt::UserRole;
}

FolderList::FolderList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(this, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { SetPath(item->data(PathRole).toString()); });
    connect(this, &QListWidget::itemClicked, this, &FolderList::Click);
}

bool FolderList::SetPath(const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isDir() || !info.isReadable() || !info.isExecutable())
        return false;
    path_ = QDir::toNativeSeparators(QDir::cleanPath(info.absoluteFilePath()));
    Rebuild();
    emit Change();
    return true;
}

void FolderList::Rebuild() {
    clear();
    QStringList chain;
    for (QDir dir(QDir::fromNativeSeparators(path_));; ) {
        chain.prepend(dir.absolutePath());
        if (!dir.cdUp())
            break;
    }
    int depth = 0;
    for (const QString& folder : chain) {
        const QString name = depth == 0 ? QDir::toNativeSeparators(folder) : QFileInfo(folder).fileName();
        auto* item = new QListWidgetItem(QString(depth * 2, QLatin1Char(' ')) + name, this);
        item->setData(PathRole, QDir::toNativeSeparators(folder));
        item->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
        ++depth;
    }
    QListWidgetItem* current = item(count() - 1);
    const QStringList subfolders = QDir(QDir::fromNativeSeparators(path_))
                                       .entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& sub : subfolders) {
        auto* item = new QListWidgetItem(QString(depth * 2, QLatin1Char(' ')) + sub, this);
        item->setData(PathRole, QDir::toNativeSeparators(QDir(QDir::fromNativeSeparators(path_)).filePath(sub)));
        item->setIcon(style()->standardIcon(QStyle::SP_DirClosedIcon));
    }
    if (current) {
        setCurrentItem(current);
        scrollToItem(current);
    }
}
