#include "PlainStream.h"

#include "Cartridge.h"
#include "FileFunctions.h"
#include "Interleave.h"

#include <algorithm>
#include <cstring>
#include <memory>

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
        // Whole blocks: each block's odd bytes, then its even ones.
        std::uint8_t* in = Buffer(bytes);
        if (!read_(Cartridge::FileOffset(layout_, offset + 1, size_), in, bytes))
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
        if (!read_(Cartridge::FileOffset(layout_, offset + 1, size_), in, half) ||
            !read_(Cartridge::FileOffset(layout_, offset, size_), in + half, half))
            return false;
        Interleave::Join(in, in + half, out, std::size_t(half));
        return true;
    }
    }
    return false;
}

ReadAt PlainReader(ReadAt read, std::int64_t size, RomLayout layout) {
    if (layout == RomLayout::Plain || layout == RomLayout::Unknown)
        return read;
    // Whole SMD blocks at a time, so that any offset can be reached.
    constexpr std::int64_t Window = 4 * BlockSize;
    struct Window_ {
        ReadAt read;
        PlainStream stream;
        std::vector<std::uint8_t> bytes;
        std::int64_t start = 0;
        std::int64_t end = 0; // empty
        Window_(ReadAt r, std::int64_t size, RomLayout layout)
            : read(std::move(r)), stream(read, size, layout) {}
    };
    auto window = std::make_shared<Window_>(std::move(read), size, layout);
    const std::int64_t plain = PlainSizeOf(layout, size);
    return [window, plain](std::int64_t offset, void* into, std::int64_t bytes) {
        if (offset < 0 || bytes < 0 || bytes > plain - offset)
            return false;
        auto* out = static_cast<std::uint8_t*>(into);
        while (bytes > 0) {
            Window_& w = *window;
            if (offset < w.start || offset >= w.end) {
                w.start = offset / Window * Window;
                w.end = std::min(plain, w.start + Window);
                w.bytes.resize(std::size_t(Window));
                if (!w.stream.Get(w.start, w.bytes.data(), w.end - w.start)) {
                    w.end = w.start;
                    return false;
                }
            }
            const std::int64_t n = std::min(bytes, w.end - offset);
            std::memcpy(out, w.bytes.data() + (offset - w.start), std::size_t(n));
            out += n;
            offset += n;
            bytes -= n;
        }
        return true;
    };
}

} // namespace RomInspector
