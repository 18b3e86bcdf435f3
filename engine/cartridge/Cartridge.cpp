#include "Cartridge.h"

namespace Cartridge {

bool SizeAllowed(RomLayout from, RomLayout to, std::int64_t length) {
    if (from == RomLayout::Smd)
        return length >= SmdHeaderSize && (length - SmdHeaderSize) % BlockSize == 0;
    if (from == RomLayout::Md || to == RomLayout::Smd || to == RomLayout::Md)
        return length >= 0 && length % BlockSize == 0;
    if (from == RomLayout::Byteswapped || to == RomLayout::Byteswapped)
        return length % 2 == 0;
    return true;
}

QString SizeRule(RomLayout from, RomLayout to) {
    if (from == RomLayout::Smd)
        return QStringLiteral("an SMD image is 512 bytes plus a multiple of 16384 bytes");
    if (from == RomLayout::Md || to == RomLayout::Smd || to == RomLayout::Md)
        return QStringLiteral("the size is not a multiple of 16384 bytes");
    return QStringLiteral("the size is odd, so the image has no whole 16-bit words");
}

bool ShowsHeader(RomLayout layout, std::int64_t size) {
    switch (layout) {
    case RomLayout::Plain:
    case RomLayout::Byteswapped:
        return size >= HeaderEnd;
    case RomLayout::Smd:
        return size >= SmdHeaderSize + BlockSize;
    case RomLayout::Md:
        return size % 2 == 0 && size >= 2 * HeaderEnd;
    case RomLayout::Unknown:
        break;
    }
    return false;
}

QString SizeBreaks(RomLayout layout, std::int64_t size) {
    switch (layout) {
    case RomLayout::Plain:
    case RomLayout::Byteswapped:
        return QStringLiteral("the size %1 is odd").arg(size);
    case RomLayout::Smd: {
        const std::int64_t past = (size - SmdHeaderSize) % BlockSize;
        const auto bytes = [](std::int64_t n) {
            return n == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(n);
        };
        return past > BlockSize / 2
                   ? QStringLiteral("an SMD image whose size is %1 short of whole 16 KiB blocks")
                         .arg(bytes(BlockSize - past))
                   : QStringLiteral("an SMD image whose size is %1 past whole 16 KiB blocks")
                         .arg(bytes(past));
    }
    case RomLayout::Md:
        return QStringLiteral("the size %1 is not a whole number of 16 KiB blocks").arg(size);
    case RomLayout::Unknown:
        break;
    }
    return QString();
}

bool SizeFits(RomLayout layout, std::int64_t size) {
    switch (layout) {
    case RomLayout::Plain:
    case RomLayout::Byteswapped:
        return size >= HeaderEnd && size % 2 == 0;
    case RomLayout::Smd:
        return size > SmdHeaderSize && SizeAllowed(RomLayout::Smd, RomLayout::Plain, size);
    case RomLayout::Md:
        return size > 0 && SizeAllowed(RomLayout::Md, RomLayout::Plain, size);
    case RomLayout::Unknown:
        return size > 0;
    }
    return false;
}

bool WholeWords(RomLayout layout, std::int64_t size) {
    if (layout == RomLayout::Smd)
        return size >= SmdHeaderSize && (size - SmdHeaderSize) % 2 == 0;
    return size % 2 == 0;
}

std::int64_t FileOffset(RomLayout layout, std::int64_t p, std::int64_t fileSize) {
    switch (layout) {
    case RomLayout::Byteswapped:
        return p ^ 1;
    case RomLayout::Smd: {
        // A block holds the odd bytes of its plain part, then the even ones.
        const std::int64_t block = p / BlockSize;
        const std::int64_t k = (p % BlockSize) / 2;
        return SmdHeaderSize + block * BlockSize + (p % 2 == 0 ? BlockSize / 2 : 0) + k;
    }
    case RomLayout::Md:
        // The odd bytes in the first half, the even ones in the second.
        return (p % 2 == 0 ? fileSize / 2 : 0) + p / 2;
    case RomLayout::Plain:
    case RomLayout::Unknown:
        break;
    }
    return p;
}

std::int64_t DeclaredSize(std::uint32_t romEnd) {
    const std::int64_t end = std::int64_t(romEnd) + 1;
    return end > HeaderEnd && end % 2 == 0 ? end : 0;
}

} // namespace Cartridge
