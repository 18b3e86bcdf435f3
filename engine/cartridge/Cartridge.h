#pragma once

// The facts of Mega Drive cartridge images that every part of the engine
// uses: the layouts' blocks and headers, the cartridge header's fields, the
// size rules of a conversion and of a file of each layout, and how large an
// image may be. Where a new layout goes: RomLayout.h names it, this unit
// holds its sizes, PlainStream its geometry.

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

// Where the byte at a plain offset lies in a file of a layout and size: an
// SMD block holds the odd bytes of its plain part, then the even ones; an MD
// file the odd bytes of the image in its first half, the even ones in its
// second; a byteswapped image has the two bytes of each word swapped.
std::int64_t FileOffset(RomLayout layout, std::int64_t plainOffset, std::int64_t fileSize);
// The size a header's ROM end declares (ROM end + 1), or 0 when it is no
// size at all.
std::int64_t DeclaredSize(std::uint32_t romEnd);

// What a file of a layout must be: long enough to show its header, whatever
// the size rule says; of a size that holds an image of the layout; and, where
// it does not, why (for a file whose header shows in that layout).
bool ShowsHeader(RomLayout layout, std::int64_t size);
bool SizeFits(RomLayout layout, std::int64_t size);
QString SizeBreaks(RomLayout layout, std::int64_t size);
// Whether bytes of a size are whole 16-bit words of a layout (after an SMD
// image's copier header).
bool WholeWords(RomLayout layout, std::int64_t size);

} // namespace Cartridge
