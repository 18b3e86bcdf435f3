#pragma once

#include "Cartridge.h"

#include <QString>
#include <QStringList>

#include <cstdint>

namespace FileFunctions {

// What the open-file dialog handed back.
enum SelectionKind : std::int32_t {
    MultipleFiles = 1, // element 0 a folder, the others bare names in it
    SingleFile = 2,    // element 0 one full path
    NoFiles = 3,
};

// Size of one interleaving block, and of the header in front of SMD blocks.
using Cartridge::BlockSize;
using Cartridge::SmdHeaderBlocks;
using Cartridge::SmdHeaderSize;

// The part of a path after its last separator (the whole path when it has none).
QString GetFileName(const QString& path);
// The part of a name before its first dot (the whole name when it has none).
QString GetBaseName(const QString& name);
// The part of a name before its last dot, keeping a leading dot (the whole
// name when it has no other).
QString GetFullStem(const QString& name);
// A name without its extension: the part before its last dot (the whole
// name when it has none).
QString WithoutExtension(const QString& name);

// Size rules on a length in bytes.
bool IsValidSMDLength(std::int64_t length);
bool IsValidBINLength(std::int64_t length);

// Size rules on a file; a file that cannot be measured is not valid.
bool IsValidSMD(const QString& path);
bool IsValidBIN(const QString& path);
bool IsValidMD(const QString& path);

std::int32_t CountElements(const QStringList& elements);

// Tells what the dialog returned; sets count to the number of files (left
// alone for a single empty element).
SelectionKind ClassifySelection(const QStringList& elements, std::int32_t& count);

// Appends the selected files whose base name is not listed yet to fileList,
// raising fileCount (the list's count as the caller keeps it) by one for each.
void AddSelectedFiles(const QStringList& selectedFiles, QStringList& fileList,
                      std::int32_t& fileCount, std::int32_t count);

} // namespace FileFunctions
