// Screen text made ready for recognition: grey, larger, and dark on light.
#pragma once

#include <cstdint>
#include <vector>

#include "image/image.h"

namespace glimmora {

// One byte per pixel, rows top-down without padding.
struct GreyPlane {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
    // The text stands on a grid of character cells this many picture pixels wide (before scaling), as a
    // terminal or a code editor draws it; 0 for proportional text.
    int pitch = 0;
    int scale = 1;  // the picture's pixels are scale x scale here
};

// The luminance (0..255) of a 24- or 32-bit pixel in BGR order: 0.299 R + 0.587 G + 0.114 B.
inline uint8_t Luminance(const uint8_t* bgr) {
    return static_cast<uint8_t>((bgr[2] * 299u + bgr[1] * 587u + bgr[0] * 114u + 500u) / 1000u);
}

// Screen text is small for a recogniser trained on print, and large text scaled up only costs time: the
// scale brings the text's usual line height (ink from the tops of the capitals to the descenders) to
// about kTextLineTarget pixels, from 1 to 3; pictures over kTripleScaleLimit pixels at most 2 (a whole
// screen at 3x costs far more time than it gains).
inline constexpr int kTextLineTarget = 24;
inline constexpr int64_t kTripleScaleLimit = 1200 * 900;
// The median height of the runs of rows holding ink in a grey plane of dark text on light whose
// background shade is background; 0 when there is no ink.
int TextLineHeight(const std::vector<uint8_t>& grey, int width, int height, uint8_t background);
int TextScaleFor(int lineHeight, int width, int height);

// The character pitch of monospace text in a grey plane of dark text on light: the smallest cell width
// (4..48 pixels) at which one column of every cell is all but empty of ink across the picture, over at
// least kPitchCells cells; 0 when there is no such grid (proportional text, no text, too little of it).
inline constexpr int kPitchCells = 12;
int CharacterPitch(const std::vector<uint8_t>& grey, int width, int height, uint8_t background);

// Text that touches the picture's edge is often missed: the prepared picture gets a border this wide
// (in picture pixels, before scaling) of its most common shade, the background.
inline constexpr int kTextBorder = 8;

// The picture (any depth) as luminance, scaled by scale (1..4, bilinear; 0 chooses by TextScaleFor) and
// inverted when its mean luminance is below the middle: a dark theme's light text becomes dark text on light.
// Monospace text (CharacterPitch) is instead shaded by how far each pixel's colour is from the background's,
// so red or blue text on a dark terminal is as dark as the rest.
// Then a border of kTextBorder * scale pixels all round. Empty for an invalid picture, a scale outside 0..4,
// or a result that would pass the image size bound.
GreyPlane PrepareTextPicture(const Image& picture, int scale);

}  // namespace glimmora
