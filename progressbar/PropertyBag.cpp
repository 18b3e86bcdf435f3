#include "PropertyBag.h"

#include <QBuffer>
#include <QFont>
#include <QImage>
#include <algorithm>

namespace {

// Values are written with a type tag: i:42, b:true, s:text, f:family|points|weight|charset,
// p:base64 PNG.
QString Encode(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("b:true") : QStringLiteral("b:false");
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return QStringLiteral("i:") + QString::number(value.toLongLong());
    case QMetaType::QFont: {
        const QFont font = value.value<QFont>();
        return QStringLiteral("f:%1|%2|%3|0")
            .arg(font.family())
            .arg(font.pointSizeF())
            .arg(font.weight());
    }
    case QMetaType::QImage: {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        value.value<QImage>().save(&buffer, "PNG");
        return QStringLiteral("p:") + QString::fromLatin1(png.toBase64());
    }
    default:
        return QStringLiteral("s:") + value.toString().replace('\\', "\\\\").replace('\n', "\\n");
    }
}

QVariant Decode(const QString& text) {
    const QString body = text.mid(2);
    if (text.startsWith(QLatin1String("b:")))
        return body == QLatin1String("true");
    if (text.startsWith(QLatin1String("i:"))) {
        bool ok = false;
        const qlonglong number = body.toLongLong(&ok);
        return ok ? QVariant(number) : QVariant();
    }
    if (text.startsWith(QLatin1String("f:"))) {
        const QStringList parts = body.split('|');
        QFont font(parts.value(0));
        if (parts.value(1).toDouble() > 0)
            font.setPointSizeF(parts.value(1).toDouble());
        if (parts.value(2).toInt() > 0)
            font.setWeight(QFont::Weight(std::clamp(parts.value(2).toInt(), 1, 1000)));
        return font;
    }
    if (text.startsWith(QLatin1String("p:"))) {
        QImage image;
        image.loadFromData(QByteArray::fromBase64(body.toLatin1()), "PNG");
        return image;
    }
    if (text.startsWith(QLatin1String("s:"))) {
        QString unescaped;
        for (qsizetype i = 0; i < body.size(); ++i) {
            if (body[i] == '\\' && i + 1 < body.size()) {
                unescaped += body[i + 1] == 'n' ? QChar('\n') : body[i + 1];
                ++i;
            } else {
                unescaped += body[i];
            }
        }
        return unescaped;
    }
    return QVariant();
}

bool SameValue(const QVariant& a, const QVariant& b) {
    if (!a.isValid() || !b.isValid())
        return a.isValid() == b.isValid();
    if (a.typeId() == QMetaType::QImage || b.typeId() == QMetaType::QImage)
        return a.value<QImage>() == b.value<QImage>();
    if (a.canConvert<qlonglong>() && b.canConvert<qlonglong>() && a.typeId() != QMetaType::QFont &&
        b.typeId() != QMetaType::QFont && a.typeId() != QMetaType::QString &&
        b.typeId() != QMetaType::QString)
        return a.toLongLong() == b.toLongLong();
    return a == b;
}

} // namespace

void PropertyBag::WriteProperty(const QString& key, const QVariant& value,
                                const QVariant& defaultValue) {
    for (qsizetype i = 0; i < entries_.size(); ++i) {
        if (entries_[i].first == key) {
            entries_.removeAt(i);
            break;
        }
    }
    if (!SameValue(value, defaultValue))
        entries_.append({key, value});
}

QVariant PropertyBag::ReadProperty(const QString& key, const QVariant& defaultValue) const {
    for (const auto& entry : entries_)
        if (entry.first == key)
            return entry.second;
    return defaultValue;
}

bool PropertyBag::Contains(const QString& key) const {
    for (const auto& entry : entries_)
        if (entry.first == key)
            return true;
    return false;
}

QStringList PropertyBag::Keys() const {
    QStringList keys;
    for (const auto& entry : entries_)
        keys.append(entry.first);
    return keys;
}

QString PropertyBag::ToText() const {
    QString text;
    for (const auto& entry : entries_)
        text += entry.first + QLatin1Char('=') + Encode(entry.second) + QLatin1Char('\n');
    return text;
}

PropertyBag PropertyBag::FromText(const QString& text) {
    PropertyBag bag;
    const QStringList lines = text.split('\n');
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype at = line.indexOf('=');
        if (at <= 0)
            continue;
        const QVariant value = Decode(line.mid(at + 1));
        if (value.isValid())
            bag.entries_.append({line.left(at), value});
    }
    return bag;
}
