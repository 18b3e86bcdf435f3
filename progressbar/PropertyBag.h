#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

// The saved settings of a control: keys in the order they were written, each
// with a value. A value equal to its default is left out, and reading an
// absent key yields the default. Round-trips through a small text format of
// "Key=Value" lines.
class PropertyBag {
public:
    void WriteProperty(const QString& key, const QVariant& value, const QVariant& defaultValue);
    QVariant ReadProperty(const QString& key, const QVariant& defaultValue) const;

    bool Contains(const QString& key) const;
    QStringList Keys() const;

    QString ToText() const;
    // Parses text written by ToText; lines it cannot read are passed over.
    static PropertyBag FromText(const QString& text);

private:
    QList<QPair<QString, QVariant>> entries_;
};
