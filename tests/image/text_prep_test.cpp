#include "image/text_prep.h"

#include <gtest/gtest.h>

#include <array>

using glimmora::GreyPlane;
using glimmora::Image;

namespace {

// A w x h picture of the background colour with a block of the text colour in the middle.
Image Sample(int w, int h, int depth, uint8_t background, uint8_t text) {
    Image image;
    image.Create(w, h, depth);
    const uint8_t bg[4] = {background, background, background, 255};
    const uint8_t fg[4] = {text, text, text, 255};
    image.FillRect({0, 0, w, h}, bg);
    image.FillRect({w / 4, h / 4, 3 * w / 4, 3 * h / 4}, fg);
    return image;
}

}  // namespace

TEST(TextPrep, TextComesOutDarkOnLightAtTheScale) {
    const struct {
        uint8_t background, text;
        int depth, scale;
    } cases[] = {
        {250, 20, 24, 3},  // light theme: kept
        {30, 220, 24, 3},  // dark theme: inverted
        {30, 220, 32, 2},
        {255, 0, 32, 1},
    };
    for (const auto& c : cases) {
        const Image picture = Sample(20, 12, c.depth, c.background, c.text);
        const GreyPlane plane = glimmora::PrepareTextPicture(picture, c.scale);
        const int border = glimmora::kTextBorder * c.scale;
        ASSERT_EQ(plane.width, 20 * c.scale + 2 * border);
        ASSERT_EQ(plane.height, 12 * c.scale + 2 * border);
        ASSERT_EQ(plane.pixels.size(), static_cast<size_t>(plane.width * plane.height));
        // The border has the background's shade, as does the picture's own corner.
        const uint8_t corner = plane.pixels[static_cast<size_t>(border * plane.width + border)];
        EXPECT_EQ(plane.pixels[0], corner);
        const uint8_t centre =
            plane.pixels[static_cast<size_t>(plane.height / 2 * plane.width + plane.width / 2)];
        EXPECT_GT(corner, 200) << int(c.background);
        EXPECT_LT(centre, 60) << int(c.background);
        // Flat areas stay flat when scaled.
        EXPECT_EQ(plane.pixels[1], corner);
    }
}

// A solid redaction cover across the top half neither turns light text dark-on-light around, nor stays
// beside the text as one blot.
TEST(TextPrep, ASolidCoverAcrossThePictureIsBackground) {
    for (const uint8_t cover : {uint8_t{0}, uint8_t{255}}) {
        for (const auto [background, text] :
             {std::array<uint8_t, 2>{250, 20}, std::array<uint8_t, 2>{30, 220}}) {
            Image picture = Sample(20, 24, 24, background, text);
            const uint8_t fill[4] = {cover, cover, cover, 255};
            picture.FillRect({0, 0, 20, 12}, fill);
            const GreyPlane plane = glimmora::PrepareTextPicture(picture, 1);
            const int border = glimmora::kTextBorder;
            const auto at = [&](int x, int y) {
                return plane.pixels[static_cast<size_t>((y + border) * plane.width + border + x)];
            };
            EXPECT_GT(at(10, 3), 200) << int(cover) << " " << int(background);  // the cover
            EXPECT_GT(at(1, 20), 200) << int(cover) << " " << int(background);  // the background
            EXPECT_LT(at(10, 15), 60) << int(cover) << " " << int(background);  // the text
        }
    }
}

TEST(TextPrep, ScaleFollowsThePictureSizeAndBadInputGivesNothing) {
    // Small text three times, large text as it is; a whole screen at most twice.
    const struct {
        int line, width, height, scale;
    } scales[] = {{8, 800, 600, 3}, {12, 800, 600, 2},  {20, 800, 600, 2},  {30, 800, 600, 1},
                  {0, 800, 600, 3}, {8, 1920, 1080, 2}, {30, 1920, 1080, 1}};
    for (const auto& s : scales)
        EXPECT_EQ(glimmora::TextScaleFor(s.line, s.width, s.height), s.scale) << s.line << " " << s.width;
    // Three lines of 10 rows of ink, and a one-row rule that is not text.
    std::vector<uint8_t> lines(40 * 60, 250);
    for (int top : {2, 20, 38})
        for (int y = top; y < top + 10; ++y) lines[static_cast<size_t>(y * 40 + 5)] = 20;
    lines[55 * 40 + 3] = 0;
    EXPECT_EQ(glimmora::TextLineHeight(lines, 40, 60, 250), 10);
    EXPECT_EQ(glimmora::TextLineHeight(std::vector<uint8_t>(100, 250), 10, 10, 250), 0);
    EXPECT_TRUE(glimmora::PrepareTextPicture(Image(), 2).pixels.empty());
    const Image picture = Sample(8, 8, 24, 255, 0);
    EXPECT_TRUE(glimmora::PrepareTextPicture(picture, -1).pixels.empty());
    // Chosen: a 4-row block of ink is small text, scaled three times.
    EXPECT_EQ(glimmora::PrepareTextPicture(picture, 0).width, 8 * 3 + 2 * 3 * glimmora::kTextBorder);
    EXPECT_TRUE(glimmora::PrepareTextPicture(picture, 5).pixels.empty());
    // Palette pictures are read through their colours.
    Image grey;
    ASSERT_TRUE(grey.Create(4, 4, 8));
    glimmora::PaletteEntry palette[256];
    for (int i = 0; i < 256; ++i)
        palette[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i), 0};
    grey.SetPalette(0, 256, palette);
    const uint8_t white = 255;
    grey.FillRect({0, 0, 4, 4}, &white);
    const GreyPlane plane = glimmora::PrepareTextPicture(grey, 2);
    ASSERT_EQ(plane.pixels.size(),
              static_cast<size_t>((8 + 4 * glimmora::kTextBorder) * (8 + 4 * glimmora::kTextBorder)));
    EXPECT_EQ(plane.pixels[0], 255);
}
