#include "Interleave.h"

#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Interleave {

void Join(const std::uint8_t* odd, const std::uint8_t* even, std::uint8_t* plain,
          std::size_t half) {
    std::size_t k = 0;
#if defined(__SSE2__)
    for (; k + 16 <= half; k += 16) {
        const __m128i o = _mm_loadu_si128(reinterpret_cast<const __m128i*>(odd + k));
        const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(even + k));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(plain + 2 * k), _mm_unpacklo_epi8(e, o));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(plain + 2 * k + 16), _mm_unpackhi_epi8(e, o));
    }
#endif
    for (; k < half; ++k) {
        plain[2 * k] = even[k];
        plain[2 * k + 1] = odd[k];
    }
}

void Split(const std::uint8_t* plain, std::uint8_t* odd, std::uint8_t* even, std::size_t half) {
    std::size_t k = 0;
#if defined(__SSE2__)
    const __m128i low = _mm_set1_epi16(0x00FF);
    for (; k + 16 <= half; k += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(plain + 2 * k));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(plain + 2 * k + 16));
        const __m128i e = _mm_packus_epi16(_mm_and_si128(a, low), _mm_and_si128(b, low));
        const __m128i o = _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(even + k), e);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(odd + k), o);
    }
#endif
    for (; k < half; ++k) {
        even[k] = plain[2 * k];
        odd[k] = plain[2 * k + 1];
    }
}

void SwapWords(std::uint8_t* bytes, std::size_t size) {
    for (std::size_t i = 0; i + 1 < size; i += 2)
        std::swap(bytes[i], bytes[i + 1]);
}

std::uint64_t WordSum(const std::uint8_t* bytes, std::size_t size) {
    std::uint64_t high = 0; // the bytes at even offsets, worth 256 each
    std::uint64_t low = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i mask = _mm_set1_epi16(0x00FF);
    const __m128i zero = _mm_setzero_si128();
    __m128i highSums = zero;
    __m128i lowSums = zero;
    for (; i + 16 <= size; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        highSums = _mm_add_epi64(highSums, _mm_sad_epu8(_mm_and_si128(v, mask), zero));
        lowSums = _mm_add_epi64(lowSums, _mm_sad_epu8(_mm_srli_epi16(v, 8), zero));
    }
    alignas(16) std::uint64_t lanes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), highSums);
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes + 2), lowSums);
    high = lanes[0] + lanes[1];
    low = lanes[2] + lanes[3];
#endif
    for (; i + 1 < size; i += 2) {
        high += bytes[i];
        low += bytes[i + 1];
    }
    return high * 256 + low;
}

} // namespace Interleave
