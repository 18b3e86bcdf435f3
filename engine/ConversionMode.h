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
