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

} // namespace Cartridge
