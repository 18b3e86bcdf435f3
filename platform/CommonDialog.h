#pragma once

#include "PathSeparator.h"

#include <QString>
#include <QStringList>

// Settings of the open-file dialog, kept by the window that owns it.
struct CommonDialog {
    // Flags of an explorer-style dialog.
    static constexpr int Explorer = 0x80000;
    static constexpr int FileMustExist = 0x1000;
    static constexpr int PathMustExist = 0x800;
    static constexpr int AllowMultiSelect = 0x200;

    int Flags = 0;
    // Description and pattern pairs, every part separated by "|".
    QString Filter;
    // Before showing: the name to start with; afterwards the selection: one
    // full path, or the folder followed by bare names, separated by NUL
    // characters; empty when cancelled.
    QString FileName;
    // Kept for the record; the dialog returns whole selections of any length.
    int MaxFileSize = 260;

    // The selection as full paths; none when cancelled.
    QStringList SelectedPaths() const {
        const QStringList parts = FileName.split(QChar(0), Qt::SkipEmptyParts);
        if (parts.size() <= 1)
            return parts;
        QStringList paths;
        for (qsizetype i = 1; i < parts.size(); ++i)
            paths << parts.first() + PathSeparator() + parts.at(i);
        return paths;
    }
};
