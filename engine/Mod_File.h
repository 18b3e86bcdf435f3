#pragma once

#include "ConversionMode.h"
#include "Mod_Convert.h"
#include "SafeFile.h"

#include <QString>

#include <cstdint>

namespace Mod_File {

// Converts one file by mode, as a job of that one file whose destination is
// named: true when the destination was written. On false the destination is
// exactly as it was before the call.
bool ConvertFile(const QString& source, const QString& destination, std::int32_t mode);

// The same, telling why a file was not converted (nothing once it was). An
// entry at the destination's name is replaced only where existing allows
// it (Keep or, asked about, Replace).
EngineError ConvertFileReport(const QString& source, const QString& destination, std::int32_t mode,
                              SafeFile::Existing existing = SafeFile::Existing::Replace);

// The destination name of a source in a mode: base name plus target extension.
QString DestinationName(const QString& source, std::int32_t mode);

} // namespace Mod_File
