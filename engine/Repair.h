#pragma once

#include "EngineError.h"
#include "RomInspector.h"
#include "RomLayout.h"

#include <QByteArray>

#include <cstdint>

// Mends a cartridge image in its own layout: the header checksum, and a
// tail of padding or mirrors past the header's ROM end. Both work on the
// file's bytes in memory, as inspected; the caller writes the result through
// the safe writer.
namespace Repair {

// Where a byte of the plain content lies in a file of a layout.
std::int64_t FileOffset(RomLayout layout, std::int64_t plainOffset, std::int64_t fileSize);

// The plain content of a file in a known layout.
QByteArray PlainBytes(const QByteArray& file, RomLayout layout);

// The checksum the console's boot check computes: the big-endian words from
// 0x200 to the header's ROM end, summed modulo 65536; over the whole file
// when the ROM end is implausible or past the file (wholeFile).
struct Checksum {
    std::uint16_t stored = 0;
    std::uint16_t computed = 0;
    bool wholeFile = false;
    bool Right() const { return stored == computed; }
};
// Why a file has no header to mend (its layout unknown, a disc image), or
// nothing; the checksum it should have.
EngineError ChecksumOf(const RomInspector::Report& report, Checksum* checksum);
// Writes a checksum into the header word of a file's bytes, in its layout.
void PutChecksum(QByteArray& file, RomLayout layout, std::uint16_t checksum);

// Cuts a file to the header's ROM end in its own layout (an SMD image keeps
// its copier header, with the block count made right). Refused when the file
// has no header, is not longer than declared, or what follows the end is
// other data (unless force), or when the layout cannot end there (an SMD or
// MD image holds whole 16 KiB blocks). cut: whether there was anything to
// cut (a complete dump is left as it is).
EngineError Trim(const QByteArray& file, const RomInspector::Report& report, bool force,
                 QByteArray* trimmed, bool* cut);

} // namespace Repair
