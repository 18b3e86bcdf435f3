#include "Mod_File.h"

#include "FileFunctions.h"
#include "FileHandle.h"
#include "Mod_Convert.h"

namespace Mod_File {

bool ConvertFile(const QString& source, const QString& destination, std::int32_t mode) {
    switch (mode) {
    case SMDtoBIN:
        return Mod_Convert::ConvertSMDtoBIN(source, destination);
    case BINtoSMD:
        return Mod_Convert::ConvertBINtoSMD(source, destination);
    case MDtoBIN:
        return Mod_Convert::ConvertMDtoBIN(source, destination);
    case BINtoMD:
        return Mod_Convert::ConvertBINtoMD(source, destination);
    }
    return false;
}

EngineError ConvertFileReport(const QString& source, const QString& destination, std::int32_t mode,
                              SafeFile::Existing existing) {
    return Mod_Convert::Convert(mode, source, destination, existing);
}

QString DestinationName(const QString& source, std::int32_t mode) {
    // An unknown mode has no extension.
    return FileFunctions::GetBaseName(FileFunctions::GetFileName(source)) +
           FileHandle::TargetExtension(mode);
}

} // namespace Mod_File
