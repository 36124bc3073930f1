// Byte classes of sixteen bytes at once, for the scanners' fast paths: each
// result byte is 0xff where the input byte is in the class and 0 elsewhere.
// The range tests are signed comparisons after moving the range to the
// bottom of the signed bytes.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>

namespace vellum {

// The bytes with bit 5 set: ASCII letters lower-cased, digits unchanged,
// "_" 0x7f.
inline __m128i setBit5(__m128i bytes) { return _mm_or_si128(bytes, _mm_set1_epi8(0x20)); }

// ASCII letters of either case; `lower` is setBit5 of the bytes.
inline __m128i asciiLetterBytes(__m128i lower) {
  return _mm_cmplt_epi8(_mm_sub_epi8(lower, _mm_set1_epi8(static_cast<char>('a' + 128))),
                        _mm_set1_epi8(static_cast<char>(-128 + 26)));
}

// "0" to "9".
inline __m128i digitBytes(__m128i bytes) {
  return _mm_cmplt_epi8(_mm_sub_epi8(bytes, _mm_set1_epi8(static_cast<char>('0' + 128))),
                        _mm_set1_epi8(static_cast<char>(-128 + 10)));
}

}  // namespace vellum

#endif
