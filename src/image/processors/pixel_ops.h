// Small arithmetic shared by the processors. Inline so the row loops stay tight.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

namespace glimmora::pixel_ops {

inline int Clamp255(int v) {
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}
inline int64_t Clamp255(int64_t v) {
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

// The grey value every filter uses: (red * 30 + green * 59 + blue * 11) / 100.
// The weighted sum is at most 25500, where multiplying by 5243 / 2^19 truncates exactly like / 100.
inline uint32_t Grey(uint32_t blue, uint32_t green, uint32_t red) {
    return ((red * 30 + green * 59 + blue * 11) * 5243u) >> 19;
}

// Nearest integer, halves away from zero; exact for |v| < 2^62 without a library call.
inline int64_t RoundHalfAway(double v) {
    const auto t = static_cast<int64_t>(v);
    const double frac = v - static_cast<double>(t);
    if (frac >= 0.5) return t + 1;
    if (frac <= -0.5) return t - 1;
    return t;
}

constexpr double kTinyFraction = 1.1920929e-7;  // 2^-23

inline int Mix(int a, int b, int c, int d, double fx, double fy) {
    const double top = a + (b - a) * fx;
    const double bottom = c + (d - c) * fx;
    return static_cast<int>(top + (bottom - top) * fy);
}

// True when the four neighbours are one colour (alpha included when hasAlpha): nothing to mix.
inline bool SameFour(bool hasAlpha, const uint8_t* p00, const uint8_t* p10, const uint8_t* p01,
                     const uint8_t* p11) {
    if (hasAlpha) {
        uint32_t a, b, c, d;
        std::memcpy(&a, p00, 4);
        std::memcpy(&b, p10, 4);
        std::memcpy(&c, p01, 4);
        std::memcpy(&d, p11, 4);
        return a == b && a == c && a == d;
    }
    return p00[0] == p10[0] && p00[0] == p01[0] && p00[0] == p11[0] && p00[1] == p10[1] && p00[1] == p01[1] &&
           p00[1] == p11[1] && p00[2] == p10[2] && p00[2] == p01[2] && p00[2] == p11[2];
}

// The bilinear sampler; see BilinearSample in processor.h.
inline std::array<uint8_t, 4> Bilinear(double fx, double fy, bool hasAlpha, const uint8_t* p00,
                                       const uint8_t* p10, const uint8_t* p01, const uint8_t* p11) {
    std::array<uint8_t, 4> out = {255, 255, 255, 255};
    const bool same = SameFour(hasAlpha, p00, p10, p01, p11);
    if (same || (fx < kTinyFraction && fy < kTinyFraction)) {
        std::memcpy(out.data(), p00, hasAlpha ? 4 : 3);
        return out;
    }
    if (hasAlpha && (p00[3] & p10[3] & p01[3] & p11[3]) != 255) {
        const int alpha = Mix(p00[3], p10[3], p01[3], p11[3], fx, fy);
        if (alpha == 0) {
            out[3] = 0;
            return out;
        }
        for (int c = 0; c < 3; ++c) {
            const int v = Mix(p00[c] * p00[3], p10[c] * p10[3], p01[c] * p01[3], p11[c] * p11[3], fx, fy);
            // The truncated alpha can be smaller than the weights behind the mix: keep the byte in range.
            const int q = v / alpha;
            out[c] = static_cast<uint8_t>(q > 255 ? 255 : q);
        }
        out[3] = static_cast<uint8_t>(alpha);
        return out;
    }
    for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>(Mix(p00[c], p10[c], p01[c], p11[c], fx, fy));
    return out;
}

// Bilinear for fractions of 0 or one half only (halfX, halfY): then every product in Bilinear is
// exact and its truncation is an integer halving, so this gives the same bytes without reals.
inline std::array<uint8_t, 4> BilinearHalves(bool halfX, bool halfY, bool hasAlpha, const uint8_t* p00,
                                             const uint8_t* p10, const uint8_t* p01, const uint8_t* p11) {
    std::array<uint8_t, 4> out = {255, 255, 255, 255};
    const bool same = SameFour(hasAlpha, p00, p10, p01, p11);
    if (same || (!halfX && !halfY)) {
        std::memcpy(out.data(), p00, hasAlpha ? 4 : 3);
        return out;
    }
    auto mix = [halfX, halfY](int a, int b, int c, int d) {
        if (halfX && halfY) return (a + b + c + d) >> 2;
        return halfX ? (a + b) >> 1 : (a + c) >> 1;
    };
    const bool opaque = !hasAlpha || (p00[3] & p10[3] & p01[3] & p11[3]) == 255;
    if (opaque) {
        // All channels at once, one 16-bit lane each: the sums of four bytes never leave their lane.
        auto spread = [hasAlpha](const uint8_t* p) {
            uint32_t v = 0;
            std::memcpy(&v, p, hasAlpha ? 4 : 3);
            const uint64_t w = v;
            return (w & 0xFF) | (w & 0xFF00) << 8 | (w & 0xFF0000) << 16 | (w & 0xFF000000) << 24;
        };
        uint64_t sum;
        int shift;
        if (halfX && halfY) {
            sum = spread(p00) + spread(p10) + spread(p01) + spread(p11);
            shift = 2;
        } else {
            sum = spread(p00) + spread(halfX ? p10 : p01);
            shift = 1;
        }
        const uint64_t lanes = (sum >> shift) & 0x00FF00FF00FF00FFull;
        out[0] = static_cast<uint8_t>(lanes);
        out[1] = static_cast<uint8_t>(lanes >> 16);
        out[2] = static_cast<uint8_t>(lanes >> 32);
        return out;  // alpha: 255 either way
    }
    if (hasAlpha) {
        const int alpha = mix(p00[3], p10[3], p01[3], p11[3]);
        if (alpha == 0) {
            out[3] = 0;
            return out;
        }
        for (int c = 0; c < 3; ++c) {
            const int q = mix(p00[c] * p00[3], p10[c] * p10[3], p01[c] * p01[3], p11[c] * p11[3]) / alpha;
            out[c] = static_cast<uint8_t>(q > 255 ? 255 : q);
        }
        out[3] = static_cast<uint8_t>(alpha);
    }
    return out;
}

// The process-wide generator's state, for row loops that step it inline (see Random()).
uint32_t& RandomState();
inline int NextRandom(uint32_t& state) {
    state = state * 1103515245u + 12345u;
    return static_cast<int>((state >> 16) & 0x7FFF);
}

// The generator's state after draws more steps, in log time: n steps of x -> a x + c are
// x -> a^n x + c (a^n - 1) / (a - 1), built by squaring the step.
constexpr uint32_t JumpRandom(uint32_t state, uint64_t draws) {
    uint32_t mul = 1, add = 0;
    uint32_t stepMul = 1103515245u, stepAdd = 12345u;
    for (; draws != 0; draws >>= 1) {
        if (draws & 1) {
            mul *= stepMul;
            add = add * stepMul + stepAdd;
        }
        stepAdd = stepAdd * stepMul + stepAdd;
        stepMul *= stepMul;
    }
    return state * mul + add;
}

// Moves one pixel of 1, 2, 3 or 4 bytes.
inline void CopyPixel(uint8_t* d, const uint8_t* s, int bytes) {
    switch (bytes) {
        case 4:
            std::memcpy(d, s, 4);
            break;
        case 3:
            std::memcpy(d, s, 3);
            break;
        case 2:
            std::memcpy(d, s, 2);
            break;
        default:
            d[0] = s[0];
            break;
    }
}

}  // namespace glimmora::pixel_ops
