#include "PlainStream.h"

#include "FileFunctions.h"
#include "Interleave.h"

#include <algorithm>

namespace RomInspector {

using FileFunctions::BlockSize;
using FileFunctions::SmdHeaderSize;

ReadAt ReaderOf(const SafeFile::Source& source) {
    return [&source](std::int64_t offset, void* into, std::int64_t bytes) {
        return source.ReadAt(offset, into, bytes);
    };
}

std::int64_t PlainSizeOf(RomLayout layout, std::int64_t size) {
    return layout == RomLayout::Smd ? size - SmdHeaderSize : size;
}

bool PlainStream::Get(std::int64_t offset, std::uint8_t* out, std::int64_t bytes) {
    switch (layout_) {
    case RomLayout::Unknown:
    case RomLayout::Plain:
        return read_(offset, out, bytes);
    case RomLayout::Byteswapped:
        if (!read_(offset, out, bytes))
            return false;
        Interleave::SwapWords(out, std::size_t(bytes));
        return true;
    case RomLayout::Smd: {
        std::uint8_t* in = Buffer(bytes);
        if (!read_(SmdHeaderSize + offset, in, bytes))
            return false;
        const std::int64_t half = BlockSize / 2;
        for (std::int64_t base = 0; base < bytes; base += BlockSize) {
            const std::int64_t part = std::min(BlockSize, bytes - base) / 2;
            Interleave::Join(in + base, in + base + half, out + base, std::size_t(part));
        }
        return true;
    }
    case RomLayout::Md: {
        const std::int64_t half = bytes / 2;
        std::uint8_t* in = Buffer(bytes);
        if (!read_(offset / 2, in, half) || !read_(size_ / 2 + offset / 2, in + half, half))
            return false;
        Interleave::Join(in, in + half, out, std::size_t(half));
        return true;
    }
    }
    return false;
}

} // namespace RomInspector
