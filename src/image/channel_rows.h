// Pixel rows between 3 and 4 bytes a pixel, shared by the depth conversion and the readers that widen
// rows as they read them.
#pragma once

#include <cstdint>

namespace glimmora {

// One row of blue, green, red from pixels of srcBytes to pixels of dstBytes (3 or 4); new alpha is 255.
void CopyChannels(uint8_t* d, int dstBytes, const uint8_t* s, int srcBytes, int w);

}  // namespace glimmora
