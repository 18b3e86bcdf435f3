#pragma once

// One pass over a file's plain content, in pieces: the header checksum and
// the fingerprints (CRC32, MD5, SHA-1).

#include "RomInspector.h"

#include <QString>

#include <cstdint>

namespace RomInspector {

// One pass over the plain content: the header checksum and the fingerprints;
// with a declared end inside the content, also the checksum up to it and
// whether the tail after it is one repeated byte.
struct Digest {
    bool ok = false;
    std::uint16_t checksum = 0;
    std::uint16_t declaredChecksum = 0;
    bool tailUniform = true;
    QString crc32;
    QString md5;
    QString sha1;
};

// declaredEnd: where the header says the ROM ends; sha1Only: the SHA-1
// alone of the fingerprints.
Digest ReadPlain(const ReadAt& read, std::int64_t size, RomLayout layout, bool fingerprints,
                 const Options& options, std::int64_t declaredEnd = 0, bool sha1Only = false);

} // namespace RomInspector
