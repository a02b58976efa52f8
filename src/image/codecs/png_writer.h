// Our own PNG encoder: the rows go from the picture through a cheap filter into libdeflate in bands, one
// band per task on every core, and the bands join into the one zlib stream PNG wants (deflate_tail.h). The
// file says what FreeImage's writer said of the same picture (colour type, bit depth, palette, 72 dpi), so
// only the speed changed.
#pragma once

#include <cstdio>

#include "image/image.h"

namespace glimmora {

struct PngWriteOptions {
    int level = 6;     // libdeflate's level, 0-9 as zlib's
    int bandRows = 0;  // rows per independently compressed band; 0: about 512 KiB of rows each
};

// The level the editor's route gives a picture: 6, zlib's default and grim's, when most pixels repeat their
// left neighbour (screens, drawings); 1 otherwise (photographs gain a tenth at 6 for four times the work).
// Every 16th row decides.
int PngLevelFor(const Image& image);

// Whether WritePng takes the picture: 24 and 32 bits, and palettes of 1, 4 and 8 bits except the grey ones
// FreeImage writes its own way (4-bit grey ramps, 8-bit ones mixing the ramp and its reverse), which stay
// with FreeImage so their files do not change.
bool PngWriterCovers(const Image& image);

// Writes the picture as a PNG file from the file's current position: RGB for 24 bits and for 32 bits whose
// alpha is 255 everywhere, RGBA for other 32-bit pictures, grey for a black-to-white (or white-to-black)
// palette, the palette itself for any other; a 72 dpi pHYs chunk as FreeImage writes. False (with the
// reason in LastCodecError when there is one) when the picture is not covered or a write fails.
bool WritePng(const Image& image, std::FILE* file, const PngWriteOptions& options = {});

}  // namespace glimmora
