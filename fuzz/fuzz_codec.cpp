// Feeds arbitrary bytes to one of our own parsers (FUZZ_CODEC); every loaded frame is then read whole.
#include <cstddef>
#include <cstdint>

#include "image/codecs/codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    glimmora::FUZZ_CODEC codec;
    if (codec.LoadMemory(data, size)) {
        for (glimmora::Image* frame : codec.TakeFrames(false)) {
            // Huge pictures from tiny inputs are legal (missing lines are black); reading them whole only
            // slows the search down.
            if (frame->PixelBytes() > (size_t{16} << 20)) continue;
            uint32_t sum = 0;
            for (int y = 0; y < frame->Height(); ++y) sum += frame->PixelValue(frame->Width() - 1, y);
            (void)frame->ConvertDepth(32);
            (void)sum;
        }
    }
    return 0;
}
