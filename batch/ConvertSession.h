#pragma once

#include "ConversionMode.h"

#include <QString>
#include <QStringList>

#include <cstdint>

// What the conversion window keeps between the user's actions: the mode, the
// files chosen in the open-file dialog, the conversion list and where a run
// is. The window owns it; only the user-interface thread reads or writes it.
struct ConvertSession {
    // The program's current conversion mode; SMD to BIN until one is chosen.
    std::int32_t CurrentMode = SMDtoBIN;
    // The open-file dialog's last result, split at every NUL character.
    QStringList SelectedFiles;
    // The conversion list: full source paths in the order added. Entry p of
    // the list (counted from 1) is FileList[p - 1].
    QStringList FileList;
    // Number of entries of the conversion list as the program keeps it.
    std::int32_t FileCount = 0;
    // 1-based position in FileList of the file the run is converting.
    std::int32_t CurrentFileIndex = 0;
    // True while a conversion run is in progress.
    bool Converting = false;
    // Set when the user confirms cancelling a run; the run looks at it
    // between files.
    bool CancelRequested = false;

    // The list entry at CurrentFileIndex, or "" where there is none.
    QString CurrentEntry() const {
        return CurrentFileIndex >= 1 && CurrentFileIndex <= FileList.size()
                   ? FileList.at(CurrentFileIndex - 1)
                   : QString();
    }
};
