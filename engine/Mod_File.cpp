#include "Mod_File.h"

#include "ConversionPlan.h"
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

ConversionResult ConvertFileReport(const QString& source, const QString& destination,
                                   std::int32_t mode, SafeFile::Existing existing) {
    return Mod_Convert::Convert(mode, source, destination, existing);
}

EngineError Failure(ConversionResult result, RomLayout from, RomLayout to, const QString& detail,
                    std::int32_t mode) {
    using Code = EngineError::Code;
    switch (result) {
    case ConversionResult::Converted:
        break;
    case ConversionResult::UnknownMode:
        return {Code::UnknownMode, QString::number(mode)};
    case ConversionResult::SourceMissing:
        return {Code::Missing};
    case ConversionResult::SourceUnreadable:
        return {Code::ReadFailed};
    case ConversionResult::SourceNotRegular:
        return {Code::NotRegular};
    case ConversionResult::ArchiveRefused:
        return {Code::ArchiveRefused, detail};
    case ConversionResult::SourceChanged:
        return {Code::Changed};
    case ConversionResult::NameTooLong:
        return {Code::NameTooLong};
    case ConversionResult::SourceEmpty:
        return {Code::Empty};
    case ConversionResult::SizeRefused:
        return {Code::SizeRule, Cartridge::SizeRule(from, to)};
    case ConversionResult::HeaderOnly:
        return {Code::HeaderOnly};
    case ConversionResult::TooLarge:
        return {Code::ImageTooLarge, QString::number(Cartridge::MaxImageSize >> 20)};
    case ConversionResult::OutOfMemory:
        return {Code::ConvertMemory};
    case ConversionResult::DestinationExists:
        return {Code::DestinationExists};
    case ConversionResult::DestinationUnwritable:
        return {Code::WriteFailed, detail};
    }
    return {};
}

QString DestinationName(const QString& source, std::int32_t mode) {
    const RomLayout target = TargetLayout(mode);
    // An unknown mode has no extension.
    return target == RomLayout::Unknown
               ? FileFunctions::GetBaseName(FileFunctions::GetFileName(source))
               : ConversionPlan::DestinationName(FileFunctions::GetFileName(source), target);
}

} // namespace Mod_File
