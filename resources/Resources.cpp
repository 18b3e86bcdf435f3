#include "Resources.h"

#include <QFile>

namespace Resources {

namespace {
QString ReadText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
} // namespace

QString ConvertProgressSettings() {
    return ReadText(QStringLiteral(":/kestrix/Form_Convert.Progress.properties"));
}

QIcon ProgramIcon() {
    QIcon icon;
    icon.addFile(QStringLiteral(":/kestrix/kestrix-icon-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/kestrix/kestrix-icon-256.png"), QSize(256, 256));
    return icon;
}

QPixmap Logo() {
    return QPixmap(QStringLiteral(":/kestrix/kestrix-logo.png"));
}

} // namespace Resources
