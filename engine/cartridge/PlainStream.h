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
    // scratch, when given, is where the file's bytes are read before they
    // are rearranged (kept by the caller between streams).
    PlainStream(const ReadAt& read, std::int64_t size, RomLayout layout,
                std::vector<std::uint8_t>* scratch = nullptr)
        : read_(read), size_(size), layout_(layout), plainSize_(PlainSizeOf(layout, size)),
          buffer_(scratch ? *scratch : own_) {}

    std::int64_t PlainSize() const { return plainSize_; }

    // Fills out with plain bytes [offset, offset + bytes); offset and bytes
    // are even, and whole blocks for an SMD image but for the last piece.
    bool Get(std::int64_t offset, std::uint8_t* out, std::int64_t bytes);

private:
    std::uint8_t* Buffer(std::int64_t bytes) {
        if (std::int64_t(buffer_.size()) < bytes)
            buffer_.resize(std::size_t(bytes));
        return buffer_.data();
    }

    const ReadAt& read_;
    std::int64_t size_;
    RomLayout layout_;
    std::int64_t plainSize_;
    std::vector<std::uint8_t> own_;
    std::vector<std::uint8_t>& buffer_;
};

} // namespace RomInspector

namespace RomInspector {

// A reader of the plain content of a file read in a layout, at any offset
// and of any size, through a small window of the plain content it keeps.
// read is kept by the reader.
ReadAt PlainReader(ReadAt read, std::int64_t size, RomLayout layout);

} // namespace RomInspector
