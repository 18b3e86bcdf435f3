#include "FileHandle.h"

namespace FileHandle {

QString TargetExtension(std::int32_t mode) {
    switch (mode) {
    case SMDtoBIN:
    case MDtoBIN:
        return QStringLiteral(".bin");
    case BINtoSMD:
        return QStringLiteral(".smd");
    case BINtoMD:
        return QStringLiteral(".md");
    default:
        return QString();
    }
}

} // namespace FileHandle
