#include "image/image.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <vector>

using glimmora::BitmapInfoHeader;
using glimmora::Image;
using glimmora::PaletteEntry;
using glimmora::Rect;

namespace {
void SetBgra(Image& img, int x, int y, uint8_t b, uint8_t g, uint8_t r, uint8_t a = 255) {
    uint8_t* p = img.PixelAddress(x, y);
    p[0] = b;
    p[1] = g;
    p[2] = r;
    if (img.Depth() == 32) p[3] = a;
}
}  // namespace

TEST(ImageCreate, StrideAndLayoutPerDepth) {
    struct Case {
        int w, h, depth, stride;
    } cases[] = {{1, 1, 1, 4},  {1, 1, 8, 4}, {1, 1, 24, 4}, {3, 2, 24, 12},
                 {33, 1, 1, 8}, {5, 1, 4, 4}, {3, 1, 16, 8}, {2, 2, 32, 8}};
    for (const Case& c : cases) {
        Image img;
        ASSERT_TRUE(img.Create(c.w, c.h, c.depth)) << c.depth;
        EXPECT_EQ(img.Stride(), c.stride) << c.w << "x" << c.depth;
        EXPECT_EQ(img.Header().biSize, 40u);
        EXPECT_EQ(img.Header().biPlanes, 1);
        // Row 0 is the top row, which is the last stored line.
        EXPECT_EQ(img.Row(0), img.Bits() + static_cast<size_t>(c.h - 1) * c.stride);
        EXPECT_EQ(img.Row(c.h - 1), img.Bits());
        for (size_t i = 0; i < img.PixelBytes(); ++i) ASSERT_EQ(img.Bits()[i], 0);
    }
}

TEST(ImageCreate, RejectsBadSizesDepthsAndCompression) {
    Image img;
    ASSERT_TRUE(img.Create(2, 2, 24));
    img.PixelAddress(0, 0)[0] = 7;
    for (auto [w, h, d] :
         std::vector<std::tuple<int, int, int>>{{0, 1, 24},
                                                {1, 0, 24},
                                                {-3, 2, 24},
                                                {2, 2, 2},
                                                {2, 2, 12},
                                                {2, 2, 0},
                                                {2, 2, 65560},
                                                {100000, 100000, 32},  // beyond the pixel-memory bound
                                                {0x7FFFFFFF, 0x7FFFFFFF, 32}}) {
        EXPECT_FALSE(img.Create(w, h, d)) << w << "x" << h << "x" << d;
    }
    BitmapInfoHeader rle;
    rle.biWidth = 2;
    rle.biHeight = 2;
    rle.biBitCount = 8;
    rle.biCompression = 1;
    EXPECT_FALSE(img.Create(&rle));
    EXPECT_FALSE(img.Create(nullptr));
    // A failed create leaves the old picture alone.
    EXPECT_EQ(img.Width(), 2);
    EXPECT_EQ(img.PixelAddress(0, 0)[0], 7);
}

TEST(ImageCreate, GreyRampPalettes) {
    struct Case {
        int depth, index, value;
    } cases[] = {{1, 0, 0}, {1, 1, 255}, {4, 1, 17}, {4, 15, 255}, {8, 100, 100}, {8, 255, 255}};
    for (const Case& c : cases) {
        Image img;
        ASSERT_TRUE(img.Create(1, 1, c.depth));
        PaletteEntry e;
        ASSERT_TRUE(img.GetPalette(c.index, 1, &e));
        EXPECT_EQ(e.red, c.value);
        EXPECT_EQ(e.green, c.value);
        EXPECT_EQ(e.blue, c.value);
    }
    Image rgb;
    ASSERT_TRUE(rgb.Create(1, 1, 24));
    PaletteEntry e;
    EXPECT_FALSE(rgb.GetPalette(0, 1, &e));
}

TEST(ImageCreate, SixteenBitMasksAndCompression) {
    Image plain;
    ASSERT_TRUE(plain.Create(2, 2, 16));
    EXPECT_EQ(plain.RedMask(), 0x7C00u);
    EXPECT_EQ(plain.GreenMask(), 0x03E0u);
    EXPECT_EQ(plain.BlueMask(), 0x001Fu);

    BitmapInfoHeader h;
    h.biWidth = 2;
    h.biHeight = 2;
    h.biBitCount = 16;
    h.biCompression = glimmora::kBiBitfields;
    const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
    Image fields;
    ASSERT_TRUE(fields.Create(&h, masks));
    EXPECT_EQ(fields.Header().biCompression, glimmora::kBiBitfields);
    EXPECT_EQ(fields.GreenMask(), 0x07E0u);

    // Bit fields mean nothing at other depths: compression falls back to plain.
    h.biBitCount = 32;
    Image wide;
    ASSERT_TRUE(wide.Create(&h, masks));
    EXPECT_EQ(wide.Header().biCompression, glimmora::kBiRgb);
}

TEST(ImageCreate, BlocksGivenBackAreCleanAndCopiesStayTheirOwn) {
    // Large blocks are mapped and the last one freed is kept for reuse: a new picture must still start
    // black, and a copy must never share or inherit another picture's pixels.
    const auto allBytes = [](const Image& image, uint8_t v) {
        const uint8_t* p = image.Bits();
        return std::all_of(p, p + image.PixelBytes(), [v](uint8_t b) { return b == v; });
    };
    for (const auto& [width, height] : {std::pair{1500, 1000}, std::pair{4000, 3000}, std::pair{700, 500}}) {
        Image b;
        {
            Image a;
            ASSERT_TRUE(a.Create(width, height, 32));
            std::memset(a.Bits(), 0xAB, a.PixelBytes());
        }
        ASSERT_TRUE(b.Create(width, height, 32));
        EXPECT_TRUE(allBytes(b, 0)) << width;
        std::memset(b.Bits(), 0x5C, b.PixelBytes());
        Image copy = b;
        b.Clear();
        Image fresh;
        ASSERT_TRUE(fresh.Create(width, height, 32));
        EXPECT_TRUE(allBytes(fresh, 0)) << width;
        EXPECT_TRUE(allBytes(copy, 0x5C)) << width;
        Image other;
        ASSERT_TRUE(other.Create(width, height + 1, 32));
        EXPECT_TRUE(allBytes(other, 0)) << width;
    }
}

TEST(ImagePixels, PixelValuePerDepthAndOutside) {
    Image one;
    ASSERT_TRUE(one.Create(9, 1, 1));
    one.Row(0)[0] = 0x80;  // leftmost pixel is the top bit
    one.Row(0)[1] = 0x80;
    EXPECT_EQ(one.PixelValue(0, 0), 1u);
    EXPECT_EQ(one.PixelValue(1, 0), 0u);
    EXPECT_EQ(one.PixelValue(8, 0), 1u);

    Image four;
    ASSERT_TRUE(four.Create(3, 1, 4));
    four.Row(0)[0] = 0xAB;
    four.Row(0)[1] = 0xC0;
    EXPECT_EQ(four.PixelValue(0, 0), 0xAu);
    EXPECT_EQ(four.PixelValue(1, 0), 0xBu);
    EXPECT_EQ(four.PixelValue(2, 0), 0xCu);

    Image rgb;
    ASSERT_TRUE(rgb.Create(2, 2, 24));
    SetBgra(rgb, 1, 1, 1, 2, 3);
    EXPECT_EQ(rgb.PixelValue(1, 1), 1u + 2u * 256 + 3u * 65536);
    EXPECT_EQ(rgb.PixelAddress(1, 1), rgb.Bits() + 3);  // bottom row is stored first

    Image argb;
    ASSERT_TRUE(argb.Create(1, 1, 32));
    SetBgra(argb, 0, 0, 0x11, 0x22, 0x33, 0x44);
    EXPECT_EQ(argb.PixelValue(0, 0), 0x44332211u);

    Image word;
    ASSERT_TRUE(word.Create(1, 1, 16));
    word.Row(0)[0] = 0x34;
    word.Row(0)[1] = 0x12;
    EXPECT_EQ(word.PixelValue(0, 0), 0x1234u);

    for (auto [x, y] : std::vector<std::pair<int, int>>{{-1, 0}, {0, -1}, {2, 0}, {0, 2}, {1000, 1000}})
        EXPECT_EQ(rgb.PixelValue(x, y), 0u);
    Image empty;
    EXPECT_EQ(empty.PixelValue(0, 0), 0u);
}

TEST(ImagePixels, PaletteAccessSkipsOutOfRangeEntries) {
    Image img;
    ASSERT_TRUE(img.Create(1, 1, 1));
    PaletteEntry in[3] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}};
    EXPECT_TRUE(img.SetPalette(1, 3, in));  // only entry 1 exists
    PaletteEntry out[2];
    ASSERT_TRUE(img.GetPalette(0, 2, out));
    EXPECT_EQ(out[0].red, 0);
    EXPECT_EQ(out[1].blue, 1);
    EXPECT_FALSE(img.SetPalette(-1, 1, in));
    EXPECT_FALSE(img.SetPalette(0, 1, nullptr));
}

TEST(ImageCopy, CopyFromIsDeepAndCarriesPositionDelayPalette) {
    Image src;
    ASSERT_TRUE(src.Create(3, 2, 8));
    src.Row(1)[2] = 9;
    PaletteEntry red{0, 0, 255, 0};
    src.SetPalette(9, 1, &red);
    src.SetPosition(-4, 5);
    src.SetFrameDelay(70);
    Image dst;
    dst.CopyFrom(src);
    EXPECT_EQ(dst.PixelValue(2, 1), 9u);
    EXPECT_EQ(dst.Palette()[9].red, 255);
    EXPECT_EQ(dst.PositionX(), -4);
    EXPECT_EQ(dst.PositionY(), 5);
    EXPECT_EQ(dst.FrameDelay(), 70);
    src.Row(1)[2] = 1;
    EXPECT_EQ(dst.PixelValue(2, 1), 9u);

    Image empty;
    dst.CopyFrom(empty);  // nothing to copy: unchanged
    EXPECT_EQ(dst.Width(), 3);
    dst.CopyFrom(dst);
    EXPECT_EQ(dst.PixelValue(2, 1), 9u);
}

TEST(ImageConvert, DepthConversions) {
    Image rgb;
    ASSERT_TRUE(rgb.Create(2, 1, 24));
    SetBgra(rgb, 0, 0, 10, 20, 30);
    Image same(rgb);
    EXPECT_TRUE(same.ConvertDepth(24));
    EXPECT_EQ(std::memcmp(same.Bits(), rgb.Bits(), rgb.PixelBytes()), 0);
    EXPECT_FALSE(same.ConvertDepth(16));  // unsupported target: nothing happens
    EXPECT_EQ(same.Depth(), 24);

    rgb.SetPosition(3, 4);
    ASSERT_TRUE(rgb.ConvertDepth(32));
    EXPECT_EQ(rgb.Depth(), 32);
    EXPECT_EQ(rgb.PixelValue(0, 0), 0xFF1E140Au);
    EXPECT_EQ(rgb.PixelValue(1, 0), 0xFF000000u);
    EXPECT_EQ(rgb.PositionX(), 3);
    ASSERT_TRUE(rgb.ConvertDepth(24));
    EXPECT_EQ(rgb.PixelValue(0, 0), 0x1E140Au);

    BitmapInfoHeader h;
    h.biWidth = 1;
    h.biHeight = 1;
    h.biBitCount = 16;
    h.biCompression = glimmora::kBiBitfields;
    const uint32_t m565[3] = {0xF800, 0x07E0, 0x001F};
    Image w565;
    ASSERT_TRUE(w565.Create(&h, m565));
    w565.Row(0)[0] = 0xFF;
    w565.Row(0)[1] = 0xFF;
    ASSERT_TRUE(w565.ConvertDepth(24));
    EXPECT_EQ(w565.PixelValue(0, 0), 248u + 252u * 256 + 248u * 65536);

    Image w555;
    ASSERT_TRUE(w555.Create(1, 1, 16));
    w555.Row(0)[0] = 0xFF;
    w555.Row(0)[1] = 0x7F;
    ASSERT_TRUE(w555.ConvertDepth(32));
    EXPECT_EQ(w555.PixelValue(0, 0), 0xFFF8F8F8u);

    Image pal;
    ASSERT_TRUE(pal.Create(2, 1, 4));
    PaletteEntry e{1, 2, 3, 0};
    pal.SetPalette(5, 1, &e);
    pal.Row(0)[0] = 0x50;
    ASSERT_TRUE(pal.ConvertDepth(32));
    EXPECT_EQ(pal.PixelValue(0, 0), 0xFF030201u);
    EXPECT_EQ(pal.PixelValue(1, 0), 0xFF000000u);
}

TEST(ImageConvert, SetAlphaAllOnlyAt32Bits) {
    Image img;
    ASSERT_TRUE(img.Create(3, 3, 32));
    img.SetAlphaAll(128);
    EXPECT_EQ(img.PixelValue(2, 2), 0x80000000u);
    Image rgb;
    ASSERT_TRUE(rgb.Create(3, 3, 24));
    rgb.SetAlphaAll(128);
    EXPECT_EQ(rgb.PixelValue(0, 0), 0u);
}

TEST(ImageCanvas, ExpandWithReplicationRepeatsEdges) {
    Image img;
    ASSERT_TRUE(img.Create(2, 2, 24));
    SetBgra(img, 0, 0, 1, 0, 0);
    SetBgra(img, 1, 0, 2, 0, 0);
    SetBgra(img, 0, 1, 3, 0, 0);
    SetBgra(img, 1, 1, 4, 0, 0);
    img.ExpandCanvas(true, 1, 1, 1, 1);
    ASSERT_EQ(img.Width(), 4);
    ASSERT_EQ(img.Height(), 4);
    EXPECT_EQ(img.PositionX(), -1);
    EXPECT_EQ(img.PositionY(), -1);
    const int expect[4][4] = {{1, 1, 2, 2}, {1, 1, 2, 2}, {3, 3, 4, 4}, {3, 3, 4, 4}};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(img.PixelValue(x, y), static_cast<uint32_t>(expect[y][x])) << x << y;
}

TEST(ImageCanvas, ExpandWithoutReplicationAndRefusals) {
    Image img;
    ASSERT_TRUE(img.Create(1, 1, 32));
    img.SetAlphaAll(255);
    img.ExpandCanvas(false, 2, 0, 1, 3);
    ASSERT_EQ(img.Width(), 4);
    ASSERT_EQ(img.Height(), 4);
    EXPECT_EQ(img.PixelValue(2, 0), 0xFF000000u);
    EXPECT_EQ(img.PixelValue(0, 0), 0u);  // new border is transparent black
    EXPECT_EQ(img.PixelValue(2, 3), 0u);

    img.ExpandCanvas(true, -1, 0, 0, 0);
    img.ExpandCanvas(true, 0, 0, 0, 0);
    EXPECT_EQ(img.Width(), 4);
    Image bits;
    ASSERT_TRUE(bits.Create(2, 2, 4));
    bits.ExpandCanvas(true, 1, 1, 1, 1);
    EXPECT_EQ(bits.Width(), 2);
}

TEST(ImagePaste, ClipsToOverlapAndRequiresMatchingDepth) {
    Image dst, src;
    ASSERT_TRUE(dst.Create(4, 4, 8));
    ASSERT_TRUE(src.Create(2, 2, 8));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) src.Row(y)[x] = static_cast<uint8_t>(10 + y * 2 + x);
    EXPECT_TRUE(dst.Paste(src, 3, -1));
    EXPECT_EQ(dst.PixelValue(3, 0), 12u);
    EXPECT_EQ(dst.PixelValue(2, 0), 0u);
    EXPECT_FALSE(dst.Paste(src, 4, 0));
    EXPECT_FALSE(dst.Paste(src, -2, -2));
    Image other;
    ASSERT_TRUE(other.Create(2, 2, 24));
    EXPECT_FALSE(dst.Paste(other, 0, 0));
    Image low, low2;
    ASSERT_TRUE(low.Create(2, 2, 4));
    ASSERT_TRUE(low2.Create(2, 2, 4));
    EXPECT_FALSE(low.Paste(low2, 0, 0));
}

TEST(ImageFill, FillRectClips) {
    Image img;
    ASSERT_TRUE(img.Create(3, 3, 24));
    const uint8_t px[3] = {1, 2, 3};
    img.FillRect(Rect{-5, 1, 2, 100}, px);
    EXPECT_EQ(img.PixelValue(0, 1), 0x030201u);
    EXPECT_EQ(img.PixelValue(1, 2), 0x030201u);
    EXPECT_EQ(img.PixelValue(2, 1), 0u);
    EXPECT_EQ(img.PixelValue(0, 0), 0u);
    img.FillRect(Rect{2, 2, 1, 1}, px);  // empty
    EXPECT_EQ(img.PixelValue(2, 2), 0u);
}

TEST(ImageSerialize, RoundTripKeepsPixelsAndPositionButNotPalette) {
    Image img;
    ASSERT_TRUE(img.Create(3, 2, 8));
    img.Row(0)[1] = 77;
    PaletteEntry e{9, 9, 9, 0};
    img.SetPalette(0, 1, &e);
    img.SetPosition(11, -12);
    std::vector<uint8_t> buf(img.SerializedSize());
    ASSERT_EQ(buf.size(), static_cast<size_t>(img.Stride() * 2 + 60));
    EXPECT_EQ(img.Serialize(true, buf.data(), buf.size()), buf.size());
    EXPECT_EQ(img.Serialize(true, buf.data(), buf.size() - 1), 0u);

    Image back;
    EXPECT_EQ(back.Serialize(false, buf.data(), buf.size()), buf.size());
    EXPECT_EQ(back.PixelValue(1, 0), 77u);
    EXPECT_EQ(back.PositionX(), 11);
    EXPECT_EQ(back.PositionY(), -12);
    EXPECT_EQ(back.Palette()[0].blue, 0);  // palettes are not part of the layout

    Image untouched;
    EXPECT_EQ(untouched.Serialize(false, buf.data(), buf.size() - 1), 0u);
    EXPECT_FALSE(untouched.IsValid());
}

TEST(ImageDib, BlockRoundTripAndHostileBlocks) {
    Image img;
    ASSERT_TRUE(img.Create(2, 2, 24));
    SetBgra(img, 1, 0, 5, 6, 7);
    std::vector<uint8_t> block = img.ToDibBlock();
    ASSERT_EQ(block.size(), 40u + img.PixelBytes());
    Image back;
    ASSERT_TRUE(back.FromDibBlock(block.data(), block.size()));
    EXPECT_EQ(back.Depth(), 32);
    EXPECT_EQ(back.PixelValue(1, 0), 0xFF070605u);

    // A short block keeps what arrived; the rest is black.
    ASSERT_TRUE(back.FromDibBlock(block.data(), 40 + 4));
    EXPECT_EQ(back.PixelValue(1, 0), 0xFF000000u);

    Image kept;
    ASSERT_TRUE(kept.Create(1, 1, 32));
    EXPECT_FALSE(kept.FromDibBlock(block.data(), 39));
    BitmapInfoHeader bad;
    bad.biWidth = 1;
    bad.biHeight = -1;
    bad.biBitCount = 24;
    EXPECT_FALSE(kept.FromDibBlock(reinterpret_cast<const uint8_t*>(&bad), 40));
    bad.biHeight = 1;
    bad.biBitCount = 8;  // palette promised but missing
    EXPECT_FALSE(kept.FromDibBlock(reinterpret_cast<const uint8_t*>(&bad), 40));
    bad.biSize = 4000;
    EXPECT_FALSE(kept.FromDibBlock(reinterpret_cast<const uint8_t*>(&bad), 40));
    EXPECT_EQ(kept.Width(), 1);

    Image pal;
    ASSERT_TRUE(pal.Create(1, 1, 8));
    EXPECT_TRUE(pal.ToDibBlock().empty());
}

TEST(ImageDib, PlainAlphaKeptBitfieldsMadeOpaque) {
    std::vector<uint8_t> block(40 + 12 + 4);
    BitmapInfoHeader h;
    h.biWidth = 1;
    h.biHeight = 1;
    h.biBitCount = 32;
    h.biCompression = glimmora::kBiBitfields;
    std::memcpy(block.data(), &h, 40);
    const uint8_t px[4] = {1, 2, 3, 4};
    std::memcpy(block.data() + 52, px, 4);
    Image img;
    ASSERT_TRUE(img.FromDibBlock(block.data(), block.size()));
    EXPECT_EQ(img.PixelValue(0, 0), 0xFF030201u);

    h.biCompression = 0;
    std::memcpy(block.data(), &h, 40);
    std::memcpy(block.data() + 40, px, 4);
    ASSERT_TRUE(img.FromDibBlock(block.data(), 44));
    EXPECT_EQ(img.PixelValue(0, 0), 0x04030201u);
}

TEST(ImageBitmapInfo, PaletteOrMasksFollowHeader) {
    Image pal;
    ASSERT_TRUE(pal.Create(1, 1, 4));
    EXPECT_EQ(pal.MakeBitmapInfo().size(), 40u + 16 * 4);
    Image rgb;
    ASSERT_TRUE(rgb.Create(1, 1, 24));
    EXPECT_EQ(rgb.MakeBitmapInfo().size(), 52u);
    EXPECT_TRUE(Image().MakeBitmapInfo().empty());
}

TEST(ImageConvert, TrueColourConversionsKeepEveryPixelAtEveryWidth) {
    for (int w = 1; w <= 13; ++w) {
        Image rgb;
        ASSERT_TRUE(rgb.Create(w, 3, 24));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < w; ++x)
                SetBgra(rgb, x, y, uint8_t(x * 19 + y), uint8_t(x * 7 + 100), uint8_t(250 - x - y));
        Image wide(rgb);
        ASSERT_TRUE(wide.ConvertDepth(32));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(wide.PixelValue(x, y), rgb.PixelValue(x, y) | 0xFF000000u) << w;
        ASSERT_TRUE(wide.ConvertDepth(24));
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < w; ++x) ASSERT_EQ(wide.PixelValue(x, y), rgb.PixelValue(x, y)) << w;
            // The filler bytes at the end of each line stay zero.
            for (int i = w * 3; i < wide.Stride(); ++i) ASSERT_EQ(wide.Row(y)[i], 0) << w;
        }
    }
}
