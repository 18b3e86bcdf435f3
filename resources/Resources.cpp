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

} // namespace Resources
