#include "FolderList.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>

namespace {

constexpr int PathRole = Qt::UserRole;
constexpr int DepthRole = Qt::UserRole + 1;
constexpr int IndentPixels = 10;

// Indents each folder by its depth, so the names themselves stay plain and
// typing a name's first letters finds it.
class IndentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem indented(option);
        indented.rect.adjust(index.data(DepthRole).toInt() * IndentPixels, 0, 0, 0);
        QStyledItemDelegate::paint(painter, indented, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QStyledItemDelegate::sizeHint(option, index) +
               QSize(index.data(DepthRole).toInt() * IndentPixels, 0);
    }
};

} // namespace

FolderList::FolderList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setItemDelegate(new IndentDelegate(this));
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
    for (QDir dir(QDir::fromNativeSeparators(path_));;) {
        chain.prepend(dir.absolutePath());
        if (!dir.cdUp())
            break;
    }
    int depth = 0;
    for (const QString& folder : chain) {
        const QString name =
            depth == 0 ? QDir::toNativeSeparators(folder) : QFileInfo(folder).fileName();
        auto* item = new QListWidgetItem(name, this);
        item->setData(PathRole, QDir::toNativeSeparators(folder));
        item->setData(DepthRole, depth);
        item->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
        ++depth;
    }
    QListWidgetItem* current = item(count() - 1);
    const QStringList subfolders = QDir(QDir::fromNativeSeparators(path_))
                                       .entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& sub : subfolders) {
        auto* item = new QListWidgetItem(sub, this);
        item->setData(DepthRole, depth);
        item->setData(PathRole, QDir::toNativeSeparators(
                                    QDir(QDir::fromNativeSeparators(path_)).filePath(sub)));
        item->setIcon(style()->standardIcon(QStyle::SP_DirClosedIcon));
    }
    if (current) {
        setCurrentItem(current);
        scrollToItem(current);
    }
}

void FolderList::keyPressEvent(QKeyEvent* event) {
    // Return opens the chosen folder, as a double-click does.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        SetPath(currentItem()->data(PathRole).toString());
        return;
    }
    QListWidget::keyPressEvent(event);
}
