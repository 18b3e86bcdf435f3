#pragma once

#include "RomInspector.h"
#include "RomLayout.h"
#include "SafeFile.h"

#include <cstdint>
#include <vector>

namespace RomInspector {

// A reader of an open source file, which must outlive it.
ReadAt ReaderOf(const SafeFile::Source& source);

// The size of the plain content of a file of a layout (less an SMD header).
std::int64_t PlainSizeOf(RomLayout layout, std::int64_t size);

// Produces the plain content of a file read in a layout, piece by piece, so
// that memory stays small whatever the file's size. The reader must outlive
// the stream.
class PlainStream {
public:
    PlainStream(const ReadAt& read, std::int64_t size, RomLayout layout)
        : read_(read), size_(size), layout_(layout), plainSize_(PlainSizeOf(layout, size)) {}

    std::int64_t PlainSize() const { return plainSize_; }

    // Fills out with plain bytes [offset, offset + bytes); offset and bytes
    // are even, and whole blocks for an SMD image but for the last piece.
    bool Get(std::int64_t offset, std::uint8_t* out, std::int64_t bytes);

private:
    void Resize(std::int64_t bytes) {
        if (std::int64_t(in_.size()) < bytes)
            in_.resize(std::size_t(bytes));
    }

    const ReadAt& read_;
    std::int64_t size_;
    RomLayout layout_;
    std::int64_t plainSize_;
    std::vector<std::uint8_t> in_;
};

} // namespace RomInspector
