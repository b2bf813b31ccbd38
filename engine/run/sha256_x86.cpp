// SHA-256 on the x86 SHA extensions (SHA-NI). The function carries its own target attribute,
// so the rest of the program needs no compiler flag and runs on processors without them; it
// is chosen at run time from CPUID.
#include "engine/run/sha256_blocks.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))

#include <cpuid.h>
#include <immintrin.h>

namespace tessaly::sha256_blocks {

namespace {

// The instructions keep the eight state words as two vectors, ABEF and CDGH; the message words
// four to a vector, W[4g..4g+3] for group g, the last four groups in a ring.
__attribute__((target("sha,sse4.1,ssse3"))) void
shaExtensions(std::uint32_t *state, const std::uint8_t *data, std::size_t count) {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i *>(state));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i *>(state + 4));
    const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);

    for (; count > 0; --count, data += 64) {
        const __m128i abefBefore = abef, cdghBefore = cdgh;
        __m128i w[4];
#pragma GCC unroll 16
        for (int g = 0; g < 16; ++g) {
            if (g < 4) {
                w[g] = _mm_shuffle_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + 16 * g)), byteSwap);
            } else {
                // W[t] = W[t-16] + s0(W[t-15]) + W[t-7] + s1(W[t-2]), four words at a time.
                const __m128i partial =
                    _mm_add_epi32(_mm_sha256msg1_epu32(w[g % 4], w[(g + 1) % 4]),
                                  _mm_alignr_epi8(w[(g + 3) % 4], w[(g + 2) % 4], 4));
                w[g % 4] = _mm_sha256msg2_epu32(partial, w[(g + 3) % 4]);
            }
            __m128i k = _mm_add_epi32(w[g % 4], _mm_load_si128(reinterpret_cast<const __m128i *>(
                                                    kRoundConstants + 4 * g)));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, k);
            k = _mm_shuffle_epi32(k, 0x0E);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, k);
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    dcba = _mm_blend_epi16(feba, dchg, 0xF0);
    hgfe = _mm_alignr_epi8(dchg, feba, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(state), dcba);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(state + 4), hgfe);
}

bool processorHasShaExtensions() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return false;
    const bool ssse3 = c & bit_SSSE3, sse41 = c & bit_SSE4_1;
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d))
        return false;
    return ssse3 && sse41 && (b & (1u << 29)); // leaf 7, EBX bit 29: SHA
}

} // namespace

Compress accelerated() {
    static const Compress chosen = processorHasShaExtensions() ? &shaExtensions : nullptr;
    return chosen;
}

} // namespace tessaly::sha256_blocks

#else

namespace tessaly::sha256_blocks {

Compress accelerated() {
    return nullptr;
}

} // namespace tessaly::sha256_blocks

#endif
