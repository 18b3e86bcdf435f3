#pragma once

#include "ConversionMode.h"

#include <QList>
#include <QString>

// The byte layouts a cartridge image can be stored in.
enum class RomLayout {
    Unknown,
    Plain,       // the cartridge contents byte for byte (.bin)
    Smd,         // a 512-byte header, then 16 KiB blocks split odd/even (.smd)
    Md,          // the odd bytes of the whole image, then the even ones (.md)
    Byteswapped, // a plain image with the two bytes of every 16-bit word swapped
};

// "plain", "smd", "md", "byteswapped" or "unknown".
QString LayoutName(RomLayout layout);
// "a plain image", "an SMD image", ... for sentences.
QString LayoutPhrase(RomLayout layout);

// The extension, with its dot, of a file in a layout: ".bin", ".smd", ".md"
// (a byteswapped or unknown image is written as ".bin").
QString LayoutExtension(RomLayout layout);

// The layouts a conversion mode reads and writes.
RomLayout SourceLayout(std::int32_t mode);
RomLayout TargetLayout(std::int32_t mode);
// The modes that read a layout, in mode order (none for a byteswapped or
// unknown image).
QList<std::int32_t> FittingModes(RomLayout layout);
