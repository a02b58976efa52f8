// Row loops with AVX-512 where the processor has it, chosen at run time. Each gives exactly the bytes
// of the plain loop it stands in for and returns false when it cannot run, so the caller does that.
#pragma once

#include <cstddef>
#include <cstdint>

namespace glimmora::simd_rows {

// Replaces blue, green and red bytes by their tables (null: left alone); alpha stays.
// bytesPerPixel 3 or 4.
bool LookupRow(uint8_t* row, size_t pixels, int bytesPerPixel, const uint8_t* blue, const uint8_t* green,
               const uint8_t* red);

// Blue, green and red become (red * 30 + green * 59 + blue * 11) / 100; 32-bit pixels only.
bool GreyRow(uint8_t* row, size_t pixels);

}  // namespace glimmora::simd_rows
