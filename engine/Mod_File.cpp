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

ConversionResult ConvertFileReport(Mod_Convert::Converter& converter, const QString& source,
                                   const QString& destination, std::int32_t mode,
                                   SafeFile::Existing existing) {
    return converter.Convert(mode, source, destination, existing);
}

QString DescribeResult(ConversionResult result, std::int32_t mode, const QString& detail) {
    switch (result) {
    case ConversionResult::Converted:
        return QStringLiteral("converted");
    case ConversionResult::UnknownMode:
        return QStringLiteral("unknown conversion mode %1").arg(mode);
    case ConversionResult::SourceMissing:
        return QStringLiteral("the file does not exist");
    case ConversionResult::SourceUnreadable:
        return QStringLiteral("the file cannot be read");
    case ConversionResult::SourceNotRegular:
        return QStringLiteral("it is not a regular file");
    case ConversionResult::ArchiveRefused:
        return detail.isEmpty() ? QStringLiteral("the archive cannot be read") : detail;
    case ConversionResult::SourceChanged:
        return QStringLiteral("it changed while it was read");
    case ConversionResult::NameTooLong:
        return QStringLiteral("the file name is too long");
    case ConversionResult::SourceEmpty:
        return QStringLiteral("the file is empty");
    case ConversionResult::SizeRefused:
        return Mod_Convert::SizeRule(SourceLayout(mode), TargetLayout(mode));
    case ConversionResult::HeaderOnly:
        return QStringLiteral("the SMD image holds only its 512-byte header");
    case ConversionResult::TooLarge:
        return QStringLiteral("the image is larger than %1 MiB")
            .arg(Mod_Convert::MaxImageSize >> 20);
    case ConversionResult::OutOfMemory:
        return QStringLiteral("not enough memory to convert the file");
    case ConversionResult::DestinationExists:
        return QStringLiteral("the destination already exists");
    case ConversionResult::DestinationUnwritable:
        return detail.isEmpty() ? QStringLiteral("the destination cannot be written") : detail;
    }
    return QString();
}

EngineError Failure(ConversionResult result, RomLayout from, RomLayout to, const QString& detail) {
    return {EngineError::Code::Conversion, result == ConversionResult::SizeRefused
                                               ? Mod_Convert::SizeRule(from, to)
                                               : DescribeResult(result, SMDtoBIN, detail)};
}

QString DestinationName(const QString& source, std::int32_t mode) {
    const RomLayout target = TargetLayout(mode);
    // An unknown mode has no extension.
    return target == RomLayout::Unknown
               ? FileFunctions::GetBaseName(FileFunctions::GetFileName(source))
               : ConversionPlan::DestinationName(FileFunctions::GetFileName(source), target);
}

} // namespace Mod_File
