#pragma once

#include <QChar>
#include <QDir>

// The one path separator the program knows: the platform's native one.
inline QChar PathSeparator() {
    return QDir::separator();
}
