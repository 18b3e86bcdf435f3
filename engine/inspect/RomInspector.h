#pragma once

class WorkerPool;

#include "EngineError.h"
#include "RomLayout.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>

namespace SafeFile {
class Source;
}

// Tells what a cartridge image is: its layout, its header and its
// fingerprints. It reads a file once, in pieces, and never writes.
namespace RomInspector {

enum class Certainty {
    Unknown,
    Likely,  // "SEGA" found but the header checksum differs, or only an SMD copier header
    Certain, // "SEGA" found and the header checksum matches
};

QString CertaintyName(Certainty certainty); // "certain", "likely", "unknown"

// The machine a cartridge's system field names.
enum class Machine { Unknown, MegaDrive, Mega32X, Pico };
// "megadrive", "32x", "pico", "unknown".
QString MachineName(Machine machine);

// The cartridge header of the plain image; texts trimmed, bytes outside
// printable ASCII shown as '?'.
struct Header {
    QString system;
    QString copyright;
    QString titleDomestic;
    QString titleOverseas;
    QString serial;
    QString devices;
    QString region;      // as stored: "JUE", or a new-style hex digit such as "F"
    QStringList regions; // decoded: "Japan", "Americas", "Europe", "Asia"
    std::uint32_t romStart = 0;
    std::uint32_t romEnd = 0;
    // Extra memory (battery-backed save RAM and the like), when declared.
    bool ram = false;
    std::uint32_t ramStart = 0;
    std::uint32_t ramEnd = 0;
    QString ramKind;
    std::uint16_t storedChecksum = 0;
    std::uint16_t computedChecksum = 0;
    Machine machine = Machine::Unknown;
    bool ssf = false; // "SEGA SSF": the extended mapper
};

// What the size says of the dump against the header's ROM end.
enum class Dump {
    Unknown,
    Complete,  // exactly as long as the header declares
    Padded,    // longer, and the tail after the declared end is one repeated byte
    Mirrored,  // longer, and the image is its declared part repeated
    Truncated, // shorter than declared, or an SMD image with a broken block
    Overdump,  // longer, and the tail after the declared end is anything else
    // The header's ROM end lies far past any cartridge: a broken field.
    Implausible,
    // A 2 MiB cartridge with a second cartridge, with a header of its own,
    // locked on after it.
    LockOn,
};

// "complete", "padded", "mirrored", "truncated", "overdump", "implausible",
// "lock-on", "unknown"
QString DumpName(Dump dump);

struct Report {
    QString file;
    std::int64_t size = -1; // -1 when the file could not be opened
    RomLayout layout = RomLayout::Unknown;
    Certainty certainty = Certainty::Unknown;
    QStringList reasons;
    // The layout whose header shows in the content even though the size
    // breaks its rule (the layout itself is then unknown).
    RomLayout seen = RomLayout::Unknown;
    // The size of the plain content (the file less an SMD header).
    std::int64_t plainSize = 0;
    Header header;
    Dump dump = Dump::Unknown;
    // For an overdump: whether its tail repeats the start of the image.
    bool tailMirrored = false;
    // A disc image (of the console's CD unit), not a cartridge: no layout.
    bool disc = false;
    // Nothing like "SEGA" at 0x100 under any layout: no header to read
    // (games from before it was required, some unlicensed carts, homebrew).
    bool noHeader = false;
    // For a padded, mirrored or overdumped image: the checksum over the
    // declared range.
    bool declaredRange = false;
    std::uint16_t declaredChecksum = 0;
    // For a lock-on combination: the second cartridge's size, and its
    // header checksum as stored and as computed over its own words.
    std::int64_t lockOnSize = 0;
    std::uint16_t lockOnStored = 0;
    std::uint16_t lockOnComputed = 0;
    // For an SMD image: the block count its copier header gives (-1: none),
    // and the real one.
    int smdBlocksDeclared = -1;
    std::int64_t smdBlocks = 0;
    // Of the plain content once the layout is undone; of the file as it is
    // when the layout is unknown.
    QString crc32;
    QString md5;
    QString sha1;
    // Of the file as it is, where that differs from the plain content (an
    // SMD, MD or byteswapped image) and they were asked for.
    QString rawCrc32;
    QString rawSha1;
    // Set when the file could not be inspected; everything else is then empty.
    EngineError error;

    bool Inspected() const { return !error.Failed(); }
    bool ChecksumOk() const { return header.storedChecksum == header.computedChecksum; }
    bool DeclaredRangeOk() const {
        return declaredRange && header.storedChecksum == declaredChecksum;
    }
    // Whether the content is known (certain or likely) to be of another
    // layout than expected.
    bool IsOtherThan(RomLayout expected) const {
        return Inspected() && certainty != Certainty::Unknown && layout != expected;
    }
};

// Reads bytes at an offset; false when they cannot all be read.
using ReadAt = std::function<bool(std::int64_t offset, void* into, std::int64_t bytes)>;

struct Options {
    // Without fingerprints only the layout, the header and its checksum are
    // worked out, which costs little more than reading the file.
    bool fingerprints = true;
    // Without the checksum (and without fingerprints), a file whose header
    // shows under one layout alone is taken as that layout, likely, having
    // read no more than its header: enough to decide, not to explain.
    bool checksum = true;
    // With fingerprints, those of the file's bytes as they are too, where
    // its layout is not plain.
    bool rawFingerprints = false;
    // With fingerprints, the MD5 of the plain content too: the slowest of
    // them, which only a DAT that lists a ROM by its MD5 alone needs.
    bool md5 = true;
    // Turning true stops the work between pieces; the report then has an error.
    const std::atomic<bool>* cancel = nullptr;
    // Where given, each piece's SHA-1 and CRC32 are worked out on one of
    // these threads while the caller's works out its MD5.
    WorkerPool* helpers = nullptr;
};

// Inspects a file. Only a regular file is read.
Report Inspect(const QString& path, const Options& options = {});
// The same of a file already open (and no archive), named path.
Report Inspect(const QString& path, const SafeFile::Source& source, const Options& options);

// Inspects bytes of a given size reached through a reader.
Report InspectData(const ReadAt& read, std::int64_t size, const Options& options = {});

// The SHA-1 (lowercase hex) of a file's plain content read in a known
// layout, or what went wrong when the file cannot be read in that layout.
struct Sha1 {
    QString hex; // empty on failure
    EngineError error;
};
Sha1 PlainSha1(const QString& path, RomLayout layout);
// The same of bytes of a given size reached through a reader.
Sha1 PlainSha1(const ReadAt& read, std::int64_t size, RomLayout layout);

// A reader of bytes in memory.
ReadAt MemoryReader(const std::uint8_t* data, std::int64_t size);

// A number as "0x1A2B": upper-case hex digits, at least digits of them.
QString Hex(std::uint32_t value, int digits = 4);

} // namespace RomInspector
