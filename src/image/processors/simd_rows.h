// Row loops with AVX-512 where the processor has it (AVX2 for grey, mirroring and tables that only flip
// bits), chosen at run time. Each gives exactly the bytes of the plain loop it stands in for and returns
// false when it cannot run, so the caller does that.
#pragma once

#include <cstddef>
#include <cstdint>

namespace glimmora::simd_rows {

// Replaces blue, green and red bytes by their tables (null: left alone); alpha stays.
// bytesPerPixel 3 or 4.
bool LookupRow(uint8_t* row, size_t pixels, int bytesPerPixel, const uint8_t* blue, const uint8_t* green,
               const uint8_t* red);

// The bits a table flips in every value when flipping fixed bits is all it does (invert 0xFF, identity 0),
// else -1. Null stands for identity.
int FlippedBits(const uint8_t* table);
// XORs blue, green and red of every pixel with flips[0], [1], [2]; alpha stays. bytesPerPixel 3 or 4.
bool FlipBitsRow(uint8_t* row, size_t pixels, int bytesPerPixel, const uint8_t flips[3]);

// Mirrors a row of 32-bit pixels left to right.
bool ReverseRow32(uint8_t* row, size_t pixels);

// Kernel sums for lanes [0, lanes) of one output row: lines[i] is the source line of kernel row i at the
// output's first lane, and entry (i, j) of the side x side kernel reads bytesPerPixel * j lanes further
// on. Every partial sum must fit 16 bits.
bool ShortKernelSums(const uint8_t* const* lines, const int* kernel, int side, int bytesPerPixel,
                     size_t lanes, int16_t* sums);

// Blue, green and red of 32-bit pixels become clamp((sum >> shift) + offset, 0, 255) of their lanes' sums,
// which are all >= 0; alpha stays. -255 <= offset <= 255.
bool ShiftedSumsToPixels(uint8_t* row, const int16_t* sums, size_t pixels, int shift, int offset);

// Emboss of a row of 32-bit pixels in place: blue, green and red of each pixel but the last become
// grey[sum - right + 765], sum and right being the blue + green + red of the pixel and of its right
// neighbour as they were; the last becomes 128. Alpha stays. grey holds 1531 values from 0 to 255.
bool EmbossRow32(uint8_t* row, size_t pixels, const int32_t* grey);

// Blue, green and red become (red * 30 + green * 59 + blue * 11) / 100; 32-bit pixels only.
bool GreyRow(uint8_t* row, size_t pixels);

}  // namespace glimmora::simd_rows
