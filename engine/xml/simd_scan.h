#pragma once

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Skipping the long plain runs of character data and attribute values sixteen bytes at a time.
// Each function returns the first position at or after `p` whose byte might need a closer look
// (a delimiter, a control character or a non-ASCII byte); it may stop early, never late.

namespace tessaly::xml::simd {

#if defined(__SSE2__)

namespace detail {

// Bytes below 0x20 or above 0x7F, other than tab, LF and CR.
inline __m128i unusual(__m128i v) {
    __m128i low = _mm_cmplt_epi8(v, _mm_set1_epi8(0x20)); // signed: also every byte >= 0x80
    __m128i allowed = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')),
                                                _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'))),
                                   _mm_cmpeq_epi8(v, _mm_set1_epi8('\r')));
    return _mm_andnot_si128(allowed, low);
}

inline std::size_t skip(const char *s, std::size_t p, std::size_t n, char a, char b, char c) {
    while (p + 16 <= n) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + p));
        __m128i hit = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(a)), _mm_cmpeq_epi8(v, _mm_set1_epi8(b))),
            _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(c)), unusual(v)));
        int mask = _mm_movemask_epi8(hit);
        if (mask != 0)
            return p + std::size_t(__builtin_ctz(unsigned(mask)));
        p += 16;
    }
    return p;
}

} // namespace detail

/// Skips character data up to '<', '&' or ']'.
inline std::size_t skipText(const char *s, std::size_t p, std::size_t n) {
    return detail::skip(s, p, n, '<', '&', ']');
}

/// Skips an attribute value up to its quote, '<' or '&'.
inline std::size_t skipValue(const char *s, std::size_t p, std::size_t n, char quote) {
    return detail::skip(s, p, n, quote, '<', '&');
}

#else

inline std::size_t skipText(const char *, std::size_t p, std::size_t) {
    return p;
}
inline std::size_t skipValue(const char *, std::size_t p, std::size_t, char) {
    return p;
}

#endif

} // namespace tessaly::xml::simd
