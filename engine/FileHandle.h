#pragma once

#include "ConversionMode.h"

#include <QString>
#include <QStringList>

#include <cstdint>

// Shared state of the conversion list and of the conversion run. Everything
// here is read and written on the user-interface thread only.
namespace FileHandle {

// The open-file dialog's last result, split at every NUL character.
inline QStringList SelectedFiles;
// The conversion list: full source paths in the order added. Entry p of the
// list (counted from 1) is FileList[p - 1].
inline QStringList FileList;
// 1-based position in FileList of the file the run is converting.
inline std::int32_t CurrentFileIndex = 0;
// True while a conversion run is in progress.
inline bool Converting = false;

// Extension, with its dot, of the file a mode produces; empty for an unknown mode.
QString TargetExtension(std::int32_t mode);

} // namespace FileHandle
