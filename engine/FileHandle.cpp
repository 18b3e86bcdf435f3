#include "FileHandle.h"

#include "RomLayout.h"

namespace FileHandle {

QString TargetExtension(std::int32_t mode) {
    const RomLayout target = TargetLayout(mode);
    return target == RomLayout::Unknown ? QString() : LayoutExtension(target);
}

} // namespace FileHandle
