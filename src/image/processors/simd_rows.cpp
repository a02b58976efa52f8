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

bool HaveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

// Every byte XORed with pattern[i % period], period 4 (32-bit pixels) or 3 (24-bit pixels).
__attribute__((target("avx2"))) void XorRow(uint8_t* p, size_t n, const uint8_t* pattern, size_t period) {
    // 96 bytes hold a whole number of periods in three vectors.
    alignas(32) uint8_t wide[96];
    for (size_t i = 0; i < 96; ++i) wide[i] = pattern[i % period];
    const __m256i m0 = _mm256_load_si256(reinterpret_cast<const __m256i*>(wide));
    const __m256i m1 = _mm256_load_si256(reinterpret_cast<const __m256i*>(wide + 32));
    const __m256i m2 = _mm256_load_si256(reinterpret_cast<const __m256i*>(wide + 64));
    size_t i = 0;
    for (; i + 96 <= n; i += 96) {
        auto* v = reinterpret_cast<__m256i*>(p + i);
        _mm256_storeu_si256(v, _mm256_xor_si256(_mm256_loadu_si256(v), m0));
        _mm256_storeu_si256(v + 1, _mm256_xor_si256(_mm256_loadu_si256(v + 1), m1));
        _mm256_storeu_si256(v + 2, _mm256_xor_si256(_mm256_loadu_si256(v + 2), m2));
    }
    for (size_t k = 0; i < n; ++i, ++k) p[i] ^= wide[k];
}

__attribute__((target("avx2"))) void GreyPixelsAvx2(uint8_t* p, size_t pixels) {
    const __m256i weights = _mm256_set1_epi32(11 | 59 << 8 | 30 << 16);
    const __m256i ones = _mm256_set1_epi16(1), scale = _mm256_set1_epi32(5243);
    const __m256i alpha = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    size_t i = 0;
    for (; i + 8 <= pixels; i += 8) {
        auto* at = reinterpret_cast<__m256i*>(p + i * 4);
        const __m256i v = _mm256_loadu_si256(at);
        const __m256i sum = _mm256_madd_epi16(_mm256_maddubs_epi16(v, weights), ones);
        const __m256i g = _mm256_srli_epi32(_mm256_mullo_epi32(sum, scale), 19);
        const __m256i ggg =
            _mm256_or_si256(g, _mm256_or_si256(_mm256_slli_epi32(g, 8), _mm256_slli_epi32(g, 16)));
        _mm256_storeu_si256(at, _mm256_or_si256(_mm256_and_si256(v, alpha), ggg));
    }
    for (uint8_t* q = p + i * 4; i < pixels; ++i, q += 4) {
        const uint32_t g = (q[2] * 30u + q[1] * 59u + q[0] * 11u) * 5243u >> 19;
        q[0] = q[1] = q[2] = static_cast<uint8_t>(g);
    }
}

// Mirrors a row of 32-bit pixels, eight from each end at a time.
__attribute__((target("avx2"))) void ReversePixels(uint8_t* p, size_t pixels) {
    const __m256i reverse = _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0);
    size_t lo = 0, hi = pixels;
    for (; hi - lo >= 16; lo += 8, hi -= 8) {
        auto* a = reinterpret_cast<__m256i*>(p + lo * 4);
        auto* b = reinterpret_cast<__m256i*>(p + (hi - 8) * 4);
        const __m256i va = _mm256_loadu_si256(a), vb = _mm256_loadu_si256(b);
        _mm256_storeu_si256(a, _mm256_permutevar8x32_epi32(vb, reverse));
        _mm256_storeu_si256(b, _mm256_permutevar8x32_epi32(va, reverse));
    }
    for (; hi - lo >= 2; ++lo, --hi) {
        uint32_t a, b;
        __builtin_memcpy(&a, p + lo * 4, 4);
        __builtin_memcpy(&b, p + (hi - 1) * 4, 4);
        __builtin_memcpy(p + lo * 4, &b, 4);
        __builtin_memcpy(p + (hi - 1) * 4, &a, 4);
    }
}

__attribute__((target("avx2"))) void KernelSums(const uint8_t* const* lines, const int* kernel, int side,
                                                int bpp, size_t lanes, int16_t* sums) {
    struct Tap {
        const uint8_t* at;
        int k;
        __m256i weight;
    };
    // Kernels are small (the filters use 3 x 3); larger ones take the plain loop.
    constexpr int kMaxTaps = 49;
    Tap taps[kMaxTaps];
    int count = 0;
    for (int i = 0; i < side; ++i)
        for (int j = 0; j < side; ++j) {
            const int k = kernel[i * side + j];
            if (k != 0)
                taps[count++] = {lines[i] + static_cast<ptrdiff_t>(j) * bpp, k,
                                 _mm256_set1_epi16(static_cast<int16_t>(k))};
        }
    size_t t = 0;
    for (; t + 16 <= lanes; t += 16) {
        __m256i acc = _mm256_setzero_si256();
        for (int n = 0; n < count; ++n) {
            const __m256i v =
                _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(taps[n].at + t)));
            acc = _mm256_add_epi16(acc, _mm256_mullo_epi16(v, taps[n].weight));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + t), acc);
    }
    for (; t < lanes; ++t) {
        int sum = 0;
        for (int n = 0; n < count; ++n) sum += taps[n].k * taps[n].at[t];
        sums[t] = static_cast<int16_t>(sum);
    }
}

__attribute__((target("avx2"))) void ShiftedSums(uint8_t* row, const int16_t* sums, size_t pixels, int shift,
                                                 int offset) {
    const __m128i count = _mm_cvtsi32_si128(shift);
    const __m256i add = _mm256_set1_epi16(static_cast<int16_t>(offset));
    const __m256i alpha = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    size_t i = 0;
    for (; i + 8 <= pixels; i += 8) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sums + i * 4));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sums + i * 4 + 16));
        const __m256i va = _mm256_adds_epi16(_mm256_sra_epi16(a, count), add);
        const __m256i vb = _mm256_adds_epi16(_mm256_sra_epi16(b, count), add);
        // The pack works within 128-bit halves; the permute puts the four quarters back in order.
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(va, vb), 0xD8);
        auto* at = reinterpret_cast<__m256i*>(row + i * 4);
        _mm256_storeu_si256(at, _mm256_blendv_epi8(packed, _mm256_loadu_si256(at), alpha));
    }
    for (; i < pixels; ++i)
        for (size_t c = 0; c < 3; ++c) {
            const int v = (sums[i * 4 + c] >> shift) + offset;
            row[i * 4 + c] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
        }
}

__attribute__((target("avx2"))) inline __m256i ChannelSums(__m256i v) {
    // Blue + green and red + 0 as 16-bit pairs, then each pair added into its pixel's 32 bits.
    return _mm256_madd_epi16(_mm256_maddubs_epi16(v, _mm256_set1_epi32(0x00010101)), _mm256_set1_epi16(1));
}

__attribute__((target("avx2"))) void Emboss32(uint8_t* p, size_t pixels, const int32_t* grey) {
    const __m256i bias = _mm256_set1_epi32(765);
    const __m256i alpha = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    const __m256i spread = _mm256_set1_epi32(0x010101);
    size_t x = 0;
    // Left to right, eight at a time: the right neighbours are read before their turn to change.
    for (; x + 9 <= pixels; x += 8) {
        auto* at = reinterpret_cast<__m256i*>(p + x * 4);
        const __m256i v = _mm256_loadu_si256(at);
        const __m256i right = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + x * 4 + 4));
        const __m256i d = _mm256_add_epi32(_mm256_sub_epi32(ChannelSums(v), ChannelSums(right)), bias);
        const __m256i g = _mm256_i32gather_epi32(reinterpret_cast<const int*>(grey), d, 4);
        _mm256_storeu_si256(at, _mm256_or_si256(_mm256_and_si256(v, alpha), _mm256_mullo_epi32(g, spread)));
    }
    for (; x + 1 < pixels; ++x) {
        uint8_t* q = p + x * 4;
        const int d = q[0] + q[1] + q[2] - (q[4] + q[5] + q[6]) + 765;
        q[0] = q[1] = q[2] = static_cast<uint8_t>(grey[d]);
    }
    if (x < pixels) p[x * 4] = p[x * 4 + 1] = p[x * 4 + 2] = 128;
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

int FlippedBits(const uint8_t* table) {
    if (!table) return 0;
    const int k = table[0];
    for (int v = 1; v < 256; ++v)
        if (table[v] != (v ^ k)) return -1;
    return k;
}

bool FlipBitsRow(uint8_t* row, size_t pixels, int bytesPerPixel, const uint8_t flips[3]) {
    if (!HaveAvx2() || (bytesPerPixel != 3 && bytesPerPixel != 4)) return false;
    const uint8_t pattern[4] = {flips[0], flips[1], flips[2], 0};
    XorRow(row, pixels * static_cast<size_t>(bytesPerPixel), pattern, static_cast<size_t>(bytesPerPixel));
    return true;
}

bool ReverseRow32(uint8_t* row, size_t pixels) {
    if (!HaveAvx2()) return false;
    ReversePixels(row, pixels);
    return true;
}

bool ShortKernelSums(const uint8_t* const* lines, const int* kernel, int side, int bytesPerPixel,
                     size_t lanes, int16_t* sums) {
    if (!HaveAvx2() || side < 1 || side > 7) return false;
    KernelSums(lines, kernel, side, bytesPerPixel, lanes, sums);
    return true;
}

bool ShiftedSumsToPixels(uint8_t* row, const int16_t* sums, size_t pixels, int shift, int offset) {
    if (!HaveAvx2() || shift < 0 || shift > 15 || offset < -255 || offset > 255) return false;
    ShiftedSums(row, sums, pixels, shift, offset);
    return true;
}

bool EmbossRow32(uint8_t* row, size_t pixels, const int32_t* grey) {
    if (!HaveAvx2()) return false;
    Emboss32(row, pixels, grey);
    return true;
}

bool GreyRow(uint8_t* row, size_t pixels) {
    if (HaveVbmi())
        GreyPixels(row, pixels);
    else if (HaveAvx2())
        GreyPixelsAvx2(row, pixels);
    else
        return false;
    return true;
}

#else

bool LookupRow(uint8_t*, size_t, int, const uint8_t*, const uint8_t*, const uint8_t*) {
    return false;
}
int FlippedBits(const uint8_t*) {
    return -1;
}
bool FlipBitsRow(uint8_t*, size_t, int, const uint8_t*) {
    return false;
}
bool ReverseRow32(uint8_t*, size_t) {
    return false;
}
bool EmbossRow32(uint8_t*, size_t, const int32_t*) {
    return false;
}
bool ShortKernelSums(const uint8_t* const*, const int*, int, int, size_t, int16_t*) {
    return false;
}
bool ShiftedSumsToPixels(uint8_t*, const int16_t*, size_t, int, int) {
    return false;
}
bool GreyRow(uint8_t*, size_t) {
    return false;
}

#endif

}  // namespace glimmora::simd_rows
