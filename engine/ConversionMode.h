#pragma once

#include <cstdint>

// The four conversions the program offers. The numbers are fixed: they are
// stored, passed around and switched on by value.
enum ConversionMode : std::int32_t {
    SMDtoBIN = 0,
    BINtoSMD = 1,
    MDtoBIN = 2,
    BINtoMD = 3,
};

// Why a conversion did not produce its destination. Only Converted means the
// destination now holds the converted bytes; every other value leaves the
// destination exactly as it was.
enum class ConversionResult {
    Converted,
    UnknownMode,
    SourceMissing,
    SourceUnreadable,
    SourceNotRegular,
    SourceChanged,
    ArchiveRefused, // the converter tells the reason
    NameTooLong,
    SourceEmpty,
    SizeRefused,
    HeaderOnly,
    TooLarge,
    OutOfMemory,
    DestinationExists,
    DestinationUnwritable,
};
