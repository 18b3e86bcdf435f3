#pragma once

#include "Patch.h"

// VCDIFF (RFC 3284) patches as xdelta3 writes them: windows of a target
// made from segments of the source and of the target so far, with xdelta3's
// Adler-32 of each window's target and its LZMA secondary compression.
namespace Vcdiff {

// The magic a VCDIFF starts with.
inline constexpr char Magic[] = "\xD6\xC3\xC4";

// xdelta3's secondary compressors, as its header names them.
enum Secondary { None = 0, Djw = 1, Lzma = 2, Fgk = 16 };

// Reads the header and every window's fields, and checks them against each
// other and the largest image; nothing when they hold, else why not.
QString Describe(const QByteArray& patch, Patch::Description* d);

// Makes the target from a source of size read through read. PatchDoesNotFit
// where the patch reaches outside the source or breaks its own rules,
// TargetDiffers (the target made all the same) where a window's target is
// not the one its Adler-32 says: the patch was made for another source.
EngineError Apply(const QByteArray& patch, const RomInspector::ReadAt& read, std::int64_t size,
                  std::vector<std::uint8_t>* target);

} // namespace Vcdiff
