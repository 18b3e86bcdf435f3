#pragma once

#include "Cartridge.h"
#include "EngineError.h"
#include "RomInspector.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

// Patches made for cartridge images: IPS, BPS, UPS and VCDIFF (xdelta). A patch is read and
// every field of it checked before it is applied; applying reads the image
// it is applied to through a reader and makes the patched image in memory,
// never holding more than that image and the patch.
namespace Patch {

enum class Kind { Ips, Bps, Ups, Vcdiff };

// "IPS", "BPS", "UPS", "VCDIFF".
QString KindName(Kind kind);

// The kind of a patch, by the magic its bytes start with; false when they
// start with none.
bool KindOf(const QByteArray& bytes, Kind* kind);

// An IPS patch addresses 24 bits: no record may reach past 16 MiB.
inline constexpr std::int64_t IpsReach = std::int64_t(1) << 24;
// The largest patch read: enough for a BPS that holds a whole image.
inline constexpr std::int64_t MaxPatchSize = Cartridge::MaxSourceSize + (std::int64_t(1) << 20);

// What a patch says of itself.
struct Description {
    Kind kind = Kind::Ips;
    std::int64_t size = 0;        // of the patch
    std::int64_t sourceSize = -1; // BPS, UPS: the image it was made for
    std::int64_t targetSize = -1; // BPS, UPS: the image it makes
    bool checksums = false;       // BPS, UPS carry CRC32s of source, target, patch
    std::uint32_t sourceCrc = 0;
    std::uint32_t targetCrc = 0;
    std::uint32_t patchCrc = 0;
    QByteArray metadata;          // BPS
    std::int64_t records = 0;     // IPS records, BPS actions, UPS runs of changed bytes
    std::int64_t runLength = 0;   // IPS: of the records, those that repeat one byte
    std::int64_t actions[4] = {}; // BPS: SourceRead, TargetRead, SourceCopy, TargetCopy
    std::int64_t changed = 0;     // IPS, UPS: bytes written; BPS: bytes read from the patch
    std::int64_t reach = 0;       // IPS: where its furthest record ends
    std::int64_t truncate = -1;   // IPS: the size given after its end, or none
    // VCDIFF: records are its windows, sourceSize the reach of their copies
    // into the source; whether each window carries its target's Adler-32,
    // and the compressor of its sections ("LZMA"), if any.
    bool windowChecksums = false;
    QString secondary;

    // The size of the image the patch makes of a source of a size.
    std::int64_t TargetSize(std::int64_t sourceSize) const;
};

// Reads a patch's every field and checks it against itself: a BPS or UPS
// patch's own CRC32 first. Nothing when it holds; otherwise why not, in
// words for a user.
QString Describe(const QByteArray& patch, Description* description);

// Applies a patch that Describe took to a source of a size read through
// read; the patched image in target. Refused (PatchDoesNotFit) when the
// patch reaches outside that source, ReadFailed when it cannot be read.
EngineError Apply(const QByteArray& patch, const Description& description,
                  const RomInspector::ReadAt& read, std::int64_t size,
                  std::vector<std::uint8_t>* target);

// The CRC32 of bytes, and of a content read in pieces through read.
std::uint32_t Crc32(const std::uint8_t* bytes, std::int64_t size);
bool Crc32(const RomInspector::ReadAt& read, std::int64_t size, std::uint32_t* crc);

// A patch read from a file, or from the one file of an archive.
struct Loaded {
    QString path;
    QByteArray bytes;
    Description description;
};
// Reads and describes a patch: why it cannot be applied, or nothing.
EngineError Load(const QString& path, Loaded* loaded);

// Whether a file (not an archive) starts as a patch does.
bool IsPatchFile(const QString& path);

} // namespace Patch
