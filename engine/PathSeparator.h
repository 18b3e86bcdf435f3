#pragma once

#include <QChar>
#include <QDir>
#include <QString>

#include <algorithm>

// The one path separator the program knows: the platform's native one.
inline QChar PathSeparator() {
    return QDir::separator();
}

// Where the last separator of a path is, or -1: the native one, or the '/'
// that Windows takes as well.
inline qsizetype LastSeparator(const QString& path) {
    return std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(PathSeparator()));
}

// A name in a folder: the folder as given (none for the current one), the
// separator unless the folder ends with one, then the name.
inline QString JoinPath(const QString& folder, const QString& name) {
    if (folder.isEmpty())
        return name;
    const QChar last = folder.back();
    return last == QLatin1Char('/') || last == PathSeparator() ? folder + name
                                                               : folder + PathSeparator() + name;
}
