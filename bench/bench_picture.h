// The opaque test picture the editor benchmarks draw on: every channel varies, so nothing is uniform.
#pragma once

#include "image/image.h"

namespace glimmora::bench {

inline Image PatternPicture(int w, int h) {
    Image image;
    image.Create(w, h, 32);
    for (int y = 0; y < h; ++y) {
        uint8_t* p = image.Row(y);
        for (int x = 0; x < w; ++x, p += 4) {
            p[0] = static_cast<uint8_t>(x);
            p[1] = static_cast<uint8_t>(y);
            p[2] = static_cast<uint8_t>(x ^ y);
            p[3] = 255;
        }
    }
    return image;
}

}  // namespace glimmora::bench
