#pragma once

#include <cstddef>
#include <cstdint>

namespace Interleave {

// Builds the plain order from a split unit: plain[2k] = even[k], plain[2k+1] = odd[k]
// for k = 0 .. half-1. `plain` must not overlap the inputs.
void Join(const std::uint8_t* odd, const std::uint8_t* even, std::uint8_t* plain, std::size_t half);

// The inverse: odd[k] = plain[2k+1], even[k] = plain[2k].
void Split(const std::uint8_t* plain, std::uint8_t* odd, std::uint8_t* even, std::size_t half);

// Swaps the two bytes of every 16-bit word in place (a trailing odd byte stays).
void SwapWords(std::uint8_t* bytes, std::size_t size);

// The sum of the big-endian 16-bit words of bytes (a trailing odd byte is
// left out), modulo 2^64: the cartridge header checksum's arithmetic.
std::uint64_t WordSum(const std::uint8_t* bytes, std::size_t size);

} // namespace Interleave
