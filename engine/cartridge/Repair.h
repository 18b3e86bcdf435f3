#pragma once

#include "EngineError.h"
#include "RomInspector.h"
#include "RomLayout.h"
#include "SafeFile.h"

#include <cstdint>
#include <utility>
#include <vector>

class QCryptographicHash;

// Mends a cartridge image in its own layout: the header checksum, and a
// tail of padding or mirrors past the header's ROM end. A repair is planned
// from the file's inspection and its size alone, as pieces of the file to
// copy with a few bytes put over them, and then written by reading the
// file in pieces: memory stays small whatever the file's size.
namespace Repair {

// A repaired file: ranges of the source's bytes one after another, and bytes
// put over the result at their offsets in it.
struct Plan {
    struct Range {
        std::int64_t offset;
        std::int64_t size;
    };
    std::vector<Range> ranges;
    std::vector<std::pair<std::int64_t, std::uint8_t>> bytes;
    std::int64_t Size() const;
};

// Writes what a plan makes of a source, read in pieces; sha, when given, is
// fed every byte written. ReadFailed when the source could not be read, the
// writer's error when it could not be written.
EngineError Write(const Plan& plan, const RomInspector::ReadAt& read, SafeFile::Writer& writer,
                  QCryptographicHash* sha);

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
// The file with a checksum in its header word, in its layout.
Plan PutChecksum(RomLayout layout, std::int64_t fileSize, std::uint16_t checksum);

// Cuts a file to the header's ROM end in its own layout (an SMD image keeps
// its copier header, with the block count made right). Refused when the file
// has no header, is not longer than declared, or what follows the end is
// other data (unless force), or when the layout cannot end there (an SMD or
// MD image holds whole 16 KiB blocks). cut: whether there was anything to
// cut (a complete dump is left as it is).
EngineError Trim(const RomInspector::Report& report, std::int64_t fileSize, bool force,
                 Plan* trimmed, bool* cut);

} // namespace Repair
