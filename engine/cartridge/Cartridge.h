#pragma once

// The facts of Mega Drive cartridge images that every part of the engine
// uses: the layouts' blocks and headers, the cartridge header's fields, the
// size rules of a conversion, and how large an image may be.

#include "RomLayout.h"

#include <QString>

#include <cstdint>

namespace Cartridge {

// An SMD image: a 512-byte copier header, then blocks of 16 KiB, each the
// odd bytes of its plain content then the even ones.
inline constexpr std::int64_t BlockSize = 16384;
inline constexpr std::int64_t HalfBlock = BlockSize / 2;
inline constexpr std::int64_t SmdHeaderSize = 512;
// The block count an SMD copier header stores in its first byte: none (0)
// for more blocks than the byte holds.
inline constexpr std::uint8_t SmdHeaderBlocks(std::int64_t blocks) {
    return blocks <= 255 ? static_cast<std::uint8_t>(blocks) : 0;
}

// The cartridge header, at these offsets of the plain content: the system
// name ("SEGA ..."), the checksum of the words from HeaderEnd to the ROM end,
// and the ROM's first and last address.
inline constexpr std::int64_t HeaderStart = 0x100;
inline constexpr std::int64_t ChecksumAt = 0x18E;
inline constexpr std::int64_t RomStartAt = 0x1A0;
inline constexpr std::int64_t RomEndAt = 0x1A4;
inline constexpr std::int64_t HeaderEnd = 0x200;

// Largest image converted, not counting an SMD header; and the largest file
// read as a source (or out of an archive): that image with an SMD header in
// front.
inline constexpr std::int64_t MaxImageSize = std::int64_t(1) << 30;
inline constexpr std::int64_t MaxSourceSize = MaxImageSize + SmdHeaderSize;

// A file is read, converted and written in pieces of this size (whole SMD
// blocks), so that memory stays small whatever its size.
inline constexpr std::int64_t Piece = std::int64_t(4) << 20;

// The size rule a conversion applies to its source, and its wording.
bool SizeAllowed(RomLayout from, RomLayout to, std::int64_t length);
QString SizeRule(RomLayout from, RomLayout to);
// An SMD image that holds its copier header and nothing else.
inline constexpr bool HeaderOnly(RomLayout layout, std::int64_t length) {
    return layout == RomLayout::Smd && length == SmdHeaderSize;
}

} // namespace Cartridge
