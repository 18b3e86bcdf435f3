#pragma once

#include "ConversionMode.h"

#include <QString>

#include <cstdint>

// The name of what a conversion produces.
namespace FileHandle {

// Extension, with its dot, of the file a mode produces; empty for an unknown mode.
QString TargetExtension(std::int32_t mode);

} // namespace FileHandle
