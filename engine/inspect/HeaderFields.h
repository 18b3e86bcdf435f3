#pragma once

// The cartridge header as it is read from a file's first plain bytes.

#include "RomInspector.h"

#include <cstdint>
#include <vector>

namespace RomInspector {

// The first bytes of the plain image in a layout (fewer when it is shorter).
std::vector<std::uint8_t> PlainHead(const ReadAt& read, std::int64_t size, RomLayout layout);
// Whether the header starts with "SEGA".
bool HasSega(const std::vector<std::uint8_t>& head);
// Big-endian numbers of the header.
std::uint32_t Big32(const std::vector<std::uint8_t>& head, std::size_t at);
std::uint16_t Big16(const std::vector<std::uint8_t>& head, std::size_t at);
// The header's fields.
Header ReadHeader(const std::vector<std::uint8_t>& head);

} // namespace RomInspector
