#include "PathList.h"

#include "DatFile.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QListWidget>
#include <QMimeData>
#include <QUrl>

namespace PathList {

void Add(QListWidget* list, const QStringList& paths) {
    for (const QString& given : paths) {
        const QString path = QDir::toNativeSeparators(QFileInfo(given).absoluteFilePath());
        if (list->findItems(path, Qt::MatchExactly).isEmpty())
            list->addItem(path);
    }
}

QStringList Paths(const QListWidget* list) {
    QStringList paths;
    for (int i = 0; i < list->count(); ++i)
        paths << list->item(i)->text();
    return paths;
}

void Drop(QDropEvent* event, const std::function<void(const QStringList&)>& dats,
          const std::function<void(const QStringList&)>& sources) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        if (DatFile::IsDatFile(path))
            dats({path});
        else if (QFileInfo::exists(path))
            sources({path});
    }
    event->acceptProposedAction();
}

} // namespace PathList
