#include "image/processors/simd_rows.h"

#if defined(__x86_64__) && defined(__GNUC__)
// GCC 12 at -O3 warns inside its own AVX-512 shift intrinsics (an undefined pass-through operand).
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#define GLIMMORA_X86_SIMD 1
#endif

namespace glimmora::simd_rows {

#ifdef GLIMMORA_X86_SIMD
namespace {

bool HaveVbmi() {
    static const bool have = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                             __builtin_cpu_supports("avx512vbmi");
    return have;
}

#define GLIMMORA_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

// The low k bits set, k < 64.
inline __mmask64 TailMask(size_t k) {
    return (1ull << k) - 1;
}

struct Table {
    __m512i q0, q1, q2, q3;
};

GLIMMORA_AVX512 inline Table LoadTable(const uint8_t* t) {
    return {_mm512_loadu_si512(t), _mm512_loadu_si512(t + 64), _mm512_loadu_si512(t + 128),
            _mm512_loadu_si512(t + 192)};
}

// 64 lookups in a 256-byte table: two 128-entry permutes chosen by each index's top bit.
GLIMMORA_AVX512 inline __m512i Look(const Table& t, __m512i index) {
    const __m512i low = _mm512_permutex2var_epi8(t.q0, index, t.q1);
    const __m512i high = _mm512_permutex2var_epi8(t.q2, index, t.q3);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), low, high);
}

GLIMMORA_AVX512 void LookupAll(uint8_t* p, size_t n, const uint8_t* table, __mmask64 lanes) {
    const Table t = LoadTable(table);
    size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        const __m512i v = _mm512_loadu_si512(p + i);
        _mm512_storeu_si512(p + i, _mm512_mask_blend_epi8(lanes, v, Look(t, v)));
    }
    if (i < n) {
        const __mmask64 tail = TailMask(n - i);
        const __m512i v = _mm512_maskz_loadu_epi8(tail, p + i);
        _mm512_mask_storeu_epi8(p + i, tail & lanes, Look(t, v));
    }
}

GLIMMORA_AVX512 void LookupChannels(uint8_t* p, size_t n, const uint8_t* blue, const uint8_t* green,
                                    const uint8_t* red) {
    // 32-bit pixels: byte k of every four is channel k.
    const __mmask64 mb = 0x1111111111111111ull, mg = mb << 1, mr = mb << 2;
    const Table tb = LoadTable(blue), tg = LoadTable(green), tr = LoadTable(red);
    size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        __m512i v = _mm512_loadu_si512(p + i);
        v = _mm512_mask_blend_epi8(mb, v, Look(tb, v));
        v = _mm512_mask_blend_epi8(mg, v, Look(tg, v));
        v = _mm512_mask_blend_epi8(mr, v, Look(tr, v));
        _mm512_storeu_si512(p + i, v);
    }
    if (i < n) {
        const __mmask64 tail = TailMask(n - i);
        __m512i v = _mm512_maskz_loadu_epi8(tail, p + i);
        v = _mm512_mask_blend_epi8(mb, v, Look(tb, v));
        v = _mm512_mask_blend_epi8(mg, v, Look(tg, v));
        v = _mm512_mask_blend_epi8(mr, v, Look(tr, v));
        _mm512_mask_storeu_epi8(p + i, tail, v);
    }
}

GLIMMORA_AVX512 inline __m512i GreyVector(__m512i v) {
    const __m512i weights = _mm512_set1_epi32(11 | 59 << 8 | 30 << 16);
    // (blue * 11 + green * 59) and (red * 30) as 16-bit pairs, then summed to 32 bits.
    const __m512i sum = _mm512_madd_epi16(_mm512_maddubs_epi16(v, weights), _mm512_set1_epi16(1));
    const __m512i g = _mm512_srli_epi32(_mm512_mullo_epi32(sum, _mm512_set1_epi32(5243)), 19);
    const __m512i ggg =
        _mm512_or_si512(g, _mm512_or_si512(_mm512_slli_epi32(g, 8), _mm512_slli_epi32(g, 16)));
    return _mm512_or_si512(_mm512_and_si512(v, _mm512_set1_epi32(static_cast<int>(0xFF000000u))), ggg);
}

GLIMMORA_AVX512 void GreyPixels(uint8_t* p, size_t pixels) {
    const size_t n = pixels * 4;
    size_t i = 0;
    for (; i + 64 <= n; i += 64) _mm512_storeu_si512(p + i, GreyVector(_mm512_loadu_si512(p + i)));
    if (i < n) {
        const __mmask64 tail = TailMask(n - i);
        _mm512_mask_storeu_epi8(p + i, tail, GreyVector(_mm512_maskz_loadu_epi8(tail, p + i)));
    }
}

bool IsIdentity(const uint8_t* t) {
    for (int v = 0; v < 256; ++v)
        if (t[v] != v) return false;
    return true;
}

}  // namespace

bool LookupRow(uint8_t* row, size_t pixels, int bytesPerPixel, const uint8_t* blue, const uint8_t* green,
               const uint8_t* red) {
    if (!HaveVbmi() || (bytesPerPixel != 3 && bytesPerPixel != 4)) return false;
    static uint8_t identity[256];
    static const bool filled = [] {
        for (int v = 0; v < 256; ++v) identity[v] = static_cast<uint8_t>(v);
        return true;
    }();
    (void)filled;
    if (!blue || IsIdentity(blue)) blue = identity;
    if (!green || IsIdentity(green)) green = identity;
    if (!red || IsIdentity(red)) red = identity;
    const size_t n = pixels * static_cast<size_t>(bytesPerPixel);
    const bool same = blue == green && green == red;
    const bool equal =
        same || (__builtin_memcmp(blue, green, 256) == 0 && __builtin_memcmp(green, red, 256) == 0);
    if (bytesPerPixel == 3) {
        if (!equal) return false;
        LookupAll(row, n, blue, ~0ull);
        return true;
    }
    if (equal)
        LookupAll(row, n, blue, 0x7777777777777777ull);
    else
        LookupChannels(row, n, blue, green, red);
    return true;
}

bool GreyRow(uint8_t* row, size_t pixels) {
    if (!HaveVbmi()) return false;
    GreyPixels(row, pixels);
    return true;
}

#else

bool LookupRow(uint8_t*, size_t, int, const uint8_t*, const uint8_t*, const uint8_t*) {
    return false;
}
bool GreyRow(uint8_t*, size_t) {
    return false;
}

#endif

}  // namespace glimmora::simd_rows
