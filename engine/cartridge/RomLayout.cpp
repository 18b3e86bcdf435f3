#include "RomLayout.h"

QString LayoutName(RomLayout layout) {
    switch (layout) {
    case RomLayout::Plain:
        return QStringLiteral("plain");
    case RomLayout::Smd:
        return QStringLiteral("smd");
    case RomLayout::Md:
        return QStringLiteral("md");
    case RomLayout::Byteswapped:
        return QStringLiteral("byteswapped");
    case RomLayout::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

QString LayoutPhrase(RomLayout layout) {
    switch (layout) {
    case RomLayout::Plain:
        return QStringLiteral("a plain image");
    case RomLayout::Smd:
        return QStringLiteral("an SMD image");
    case RomLayout::Md:
        return QStringLiteral("an MD image");
    case RomLayout::Byteswapped:
        return QStringLiteral("a byteswapped plain image");
    case RomLayout::Unknown:
        break;
    }
    return QStringLiteral("an image of unknown layout");
}

QString LayoutExtension(RomLayout layout) {
    switch (layout) {
    case RomLayout::Smd:
        return QStringLiteral(".smd");
    case RomLayout::Md:
        return QStringLiteral(".md");
    default:
        return QStringLiteral(".bin");
    }
}

RomLayout SourceLayout(std::int32_t mode) {
    switch (mode) {
    case SMDtoBIN:
        return RomLayout::Smd;
    case MDtoBIN:
        return RomLayout::Md;
    case BINtoSMD:
    case BINtoMD:
        return RomLayout::Plain;
    }
    return RomLayout::Unknown;
}

RomLayout TargetLayout(std::int32_t mode) {
    switch (mode) {
    case BINtoSMD:
        return RomLayout::Smd;
    case BINtoMD:
        return RomLayout::Md;
    case SMDtoBIN:
    case MDtoBIN:
        return RomLayout::Plain;
    }
    return RomLayout::Unknown;
}

QList<std::int32_t> FittingModes(RomLayout layout) {
    QList<std::int32_t> modes;
    for (std::int32_t mode : {SMDtoBIN, BINtoSMD, MDtoBIN, BINtoMD})
        if (layout != RomLayout::Unknown && SourceLayout(mode) == layout)
            modes << mode;
    return modes;
}
