#include "Interleave.h"

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

} // namespace Interleave
