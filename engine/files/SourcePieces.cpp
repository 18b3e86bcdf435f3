// What the system layer does the same on every system: reading a source's
// pieces (and reading them again where the file was modified too recently
// to be trusted), and writing a whole file through a writer.

#include "Cartridge.h"
#include "SafeFile.h"
#include "SourceParts.h"

#include <algorithm>

#include <zlib.h>

namespace SafeFile {

using Detail::ReadFully;

namespace {

unsigned long Crc(const void* data, std::int64_t bytes,
                  unsigned long crc = ::crc32(0L, Z_NULL, 0)) {
    const auto* at = static_cast<const Bytef*>(data);
    for (std::int64_t done = 0; done < bytes;) {
        const auto n = uInt(std::min<std::int64_t>(bytes - done, std::int64_t(1) << 30));
        crc = ::crc32(crc, at + done, n);
        done += n;
    }
    return crc;
}

} // namespace

bool Source::ReadAt(std::int64_t offset, void* into, std::int64_t bytes) const {
    if (!ReadFully(fd_, offset, into, bytes))
        return false;
    if (recent_) {
        const unsigned long crc = Crc(into, bytes);
        const std::lock_guard<std::mutex> lock(piecesMutex_);
        pieces_.push_back({offset, bytes, crc});
    }
    return true;
}

// Every piece read, read again: the same bytes, or the file was still being
// written while it was read.
bool Source::SameAgain() const {
    constexpr std::int64_t Chunk = Cartridge::Piece;
    const std::lock_guard<std::mutex> lock(piecesMutex_);
    std::vector<char> again;
    for (const Piece& piece : pieces_) {
        unsigned long crc = ::crc32(0L, Z_NULL, 0);
        for (std::int64_t done = 0; done < piece.bytes;) {
            const std::int64_t n = std::min(Chunk, piece.bytes - done);
            again.resize(std::max(again.size(), std::size_t(n)));
            if (!ReadFully(fd_, piece.offset + done, again.data(), n))
                return false;
            crc = Crc(again.data(), n, crc);
            done += n;
        }
        if (crc != piece.crc)
            return false;
    }
    return true;
}

EngineError WriteFile(const QString& destination, const QByteArray& bytes, Existing existing) {
    Writer writer;
    if (writer.Open(destination, existing) && writer.Write(bytes.constData(), bytes.size()) &&
        writer.Commit())
        return {};
    EngineError error = writer.Error();
    error.subject = destination;
    return error;
}

} // namespace SafeFile
