#include "DirSearch.h"

#include "PathSeparator.h"

#include <QDir>
#include <QRegularExpression>

bool WildcardMatch(const QString& pattern, const QString& name) {
    QString body = pattern;
    bool dotOptional = false;
    if (body.endsWith(QLatin1String(".*"))) {
        body.chop(2);
        dotOptional = true;
    }
    QString expression;
    for (const QChar c : body) {
        if (c == QLatin1Char('*'))
            expression += QLatin1String(".*");
        else if (c == QLatin1Char('?'))
            expression += QLatin1Char('.');
        else
            expression += QRegularExpression::escape(QString(c));
    }
    if (dotOptional)
        expression += QLatin1String("(\\..*)?");
    const QRegularExpression regex(QRegularExpression::anchoredPattern(expression),
                                   QRegularExpression::DotMatchesEverythingOption);
    return regex.match(name).hasMatch();
}

QString DirSearch(const QString& pattern, bool includeFolders, bool includeHidden) {
    const qsizetype at = pattern.lastIndexOf(PathSeparator());
    const QString folder = at < 0 ? QStringLiteral(".") : pattern.left(at + 1);
    const QString namePattern = at < 0 ? pattern : pattern.mid(at + 1);
    if (namePattern.isEmpty())
        return QString();
    QDir::Filters filters = QDir::Files | QDir::NoDotAndDotDot;
    if (includeFolders)
        filters |= QDir::Dirs;
    if (includeHidden)
        filters |= QDir::Hidden;
    const QStringList names = QDir(folder).entryList(filters, QDir::Name);
    for (const QString& name : names)
        if (WildcardMatch(namePattern, name))
            return name;
    return QString();
}
