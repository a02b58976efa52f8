// A screen copy's pixels into our pictures, without a compositor: frames built here byte by byte in the
// layouts compositors hand out.
#include "platform/wayland/shm_pixels.h"

#include <gtest/gtest.h>
#include <wayland-client-protocol.h>

#include <algorithm>
#include <string>
#include <vector>

namespace glimmora::wayland {
namespace {

// A frame of 32-bit pixels, each given as the little-endian word the format stores.
struct Frame {
    Frame(uint32_t format, int width, int height, std::vector<uint32_t> words) : words(std::move(words)) {
        for (uint32_t w : this->words)
            for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(w >> (8 * i)));
        view = ShmFrame{bytes.data(), format, width, height, static_cast<size_t>(width) * 4, false};
    }
    std::vector<uint32_t> words;
    std::vector<uint8_t> bytes;
    ShmFrame view;
};

// Blue, green and red as our pictures store them.
uint32_t Bgr(const Image& image, int x, int y) {
    const uint8_t* p = image.Row(y) + x * 3;
    return static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
}

Image Filled(int width, int height, uint8_t value) {
    Image image;
    image.Create(width, height, 24);
    for (int y = 0; y < height; ++y) std::fill_n(image.Row(y), width * 3, value);
    return image;
}

TEST(ScreenCopyPixels, AFrameSmallerThanItsScreenIsRefusedAndLeavesThePictureAlone) {
    // 3 x 2 pixels of one grey, for screens of 3 x 2 (fits) and wider or taller ones (does not).
    Frame frame(WL_SHM_FORMAT_XRGB8888, 3, 2, std::vector<uint32_t>(6, 0x00808080));
    const struct {
        int transform;
        bool yInvert;
        Rect place;
        bool fits;
    } cases[] = {
        {0, false, {0, 0, 3, 2}, true}, {0, false, {0, 0, 4, 2}, false}, {0, true, {0, 0, 3, 3}, false},
        {1, false, {0, 0, 2, 3}, true}, {1, false, {0, 0, 3, 2}, false}, {2, false, {1, 1, 5, 3}, false},
        {7, true, {0, 0, 2, 3}, true},  {6, false, {0, 0, 3, 3}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "transform " << c.transform << " place " << c.place.Width() << "x"
                                        << c.place.Height());
        frame.view.yInvert = c.yInvert;
        Image picture = Filled(6, 4, 0x11);
        std::string error;
        EXPECT_EQ(CopyShmFrame(frame.view, c.transform, c.place, picture, &error), c.fits) << error;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x) {
                const bool inPlace = Contains(c.place, Point{x, y});
                ASSERT_EQ(Bgr(picture, x, y), c.fits && inPlace ? 0x808080u : 0x111111u) << x << "," << y;
            }
        if (!c.fits) {
            EXPECT_NE(error.find("smaller than that screen"), std::string::npos) << error;
        }
    }
}

TEST(ScreenCopyPixels, TenBitFormatsKeepTheTopEightBitsOfEachChannel) {
    // Two pixels: red 1023, green 514, blue 3; then red 0, green 1023, blue 2 (alpha bits set, ignored).
    auto word = [](uint32_t hi, uint32_t mid, uint32_t lo) { return 3u << 30 | hi << 20 | mid << 10 | lo; };
    const struct {
        uint32_t format;
        bool redHigh;
    } formats[] = {
        {WL_SHM_FORMAT_XRGB2101010, true},
        {WL_SHM_FORMAT_ARGB2101010, true},
        {WL_SHM_FORMAT_XBGR2101010, false},
        {WL_SHM_FORMAT_ABGR2101010, false},
    };
    for (const auto& f : formats) {
        SCOPED_TRACE(f.format);
        Frame frame(f.format, 2, 1,
                    f.redHigh ? std::vector<uint32_t>{word(1023, 514, 3), word(0, 1023, 2)}
                              : std::vector<uint32_t>{word(3, 514, 1023), word(2, 1023, 0)});
        Image picture = Filled(2, 1, 0x11);
        std::string error;
        ASSERT_TRUE(CopyShmFrame(frame.view, 0, Rect{0, 0, 2, 1}, picture, &error)) << error;
        EXPECT_EQ(Bgr(picture, 0, 0), 0xFF8000u);
        EXPECT_EQ(Bgr(picture, 1, 0), 0x00FF00u);
    }
}

}  // namespace
}  // namespace glimmora::wayland
