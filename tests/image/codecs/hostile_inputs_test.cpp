// Files built to hurt the reader, conversions that cannot be done, and saves over what the user already
// has: each gives a clear result and loses nothing.
#include <FreeImage.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <functional>

#include "codec_test_support.h"
#include "image/codecs/codecs.h"
#include "image/codecs/freeimage_bridge.h"
#include "image/codecs/save_route.h"

namespace glimmora {
namespace {

using test::TempDir;
using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, size_t at, unsigned v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// A 70-byte BMP: the headers and 16 bytes of pixels, whatever size it declares.
Bytes ShortBmp(int width, int height, int depth) {
    Bytes b(70, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, 70);
    Put32(b, 10, 54);
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<uint32_t>(width));
    Put32(b, 22, static_cast<uint32_t>(height));
    Put16(b, 26, 1);
    Put16(b, 28, static_cast<unsigned>(depth));
    return b;
}

Bytes Pcx(int width, int height, unsigned bytesPerLine) {
    Bytes b(248, 0);
    b[0] = 10;
    b[1] = 5;
    b[2] = 1;
    b[3] = 8;
    Put16(b, 8, static_cast<unsigned>(width - 1));
    Put16(b, 10, static_cast<unsigned>(height - 1));
    b[65] = 3;
    Put16(b, 66, bytesPerLine);
    return b;
}

// One frame of the given size whose image data is a single empty block.
Bytes Gif(int width, int height) {
    Bytes b = {'G',  'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0,
               0x2C, 0,   0,   0,   0,   0,   0, 0, 0, 0, 2, 0, 0x3B};
    Put16(b, 18, static_cast<unsigned>(width));
    Put16(b, 20, static_cast<unsigned>(height));
    return b;
}

// A 100000 x 100000 grey TIFF in one strip of one byte.
Bytes HugeTiff() {
    const uint16_t tags[][2] = {{256, 4}, {257, 4}, {258, 3}, {259, 3},
                                {262, 3}, {273, 4}, {278, 4}, {279, 4}};
    const uint32_t values[] = {100000, 100000, 8, 1, 1, 0, 100000, 1};
    Bytes b = {'I', 'I', 42, 0, 8, 0, 0, 0};
    b.resize(10 + 12 * std::size(tags) + 4, 0);
    Put16(b, 8, std::size(tags));
    for (size_t i = 0; i < std::size(tags); ++i) {
        const size_t at = 10 + 12 * i;
        Put16(b, at, tags[i][0]);
        Put16(b, at + 2, tags[i][1]);
        Put32(b, at + 4, 1);
        if (tags[i][1] == 3)
            Put16(b, at + 8, values[i]);
        else
            Put32(b, at + 8, values[i]);
    }
    return b;
}

// About 33 KB of PNG for a 16400 x 16400 1-bit picture with a transparency table: it fits the bound at 1
// bit, but its transparency needs 32 bits a pixel.
void WriteHugeTransparentPng(const std::string& path) {
    FreeImage_Initialise(FALSE);
    FIBITMAP* dib = FreeImage_Allocate(16400, 16400, 1);
    ASSERT_NE(dib, nullptr);
    BYTE table[2] = {0, 255};
    FreeImage_SetTransparencyTable(dib, table, 2);
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, dib, path.c_str(), PNG_Z_BEST_COMPRESSION));
    FreeImage_Unload(dib);
    FreeImage_DeInitialise();
}

TEST(HostileFiles, RefusedWithAReasonBeforeAnyPixelIsDecoded) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe.png").c_str(), 0600), 0);
    WriteHugeTransparentPng(dir / "huge-1bit.png");
    test::WriteAll(dir / "text.png", Bytes(64, 'x'));
    test::WriteAll(dir / "empty.png", {});
    struct Case {
        const char* name;
        Bytes bytes;      // written unless empty
        const char* why;  // part of the reason given
    } cases[] = {
        {"pipe.png", {}, "not a regular file"},
        {"missing.png", {}, "No such file"},
        {"text.png", {}, "not a picture"},
        {"empty.png", {}, "empty"},
        {"huge-1bit.png", {}, "too large"},
        {"huge.pcx", Pcx(32542, 65536, 32542), "too large"},
        {"wrapped-line.pcx", Pcx(65535, 2, 0), "damaged"},
        {"short-line.pcx", Pcx(100, 2, 10), "damaged"},
        {"huge.gif", Gif(65535, 65535), "too large"},
        {"tall.bmp", ShortBmp(1, 1 << 28, 24), "too large"},
        {"huge.tif", HugeTiff(), "too large"},
    };
    for (const Case& c : cases) {
        if (!c.bytes.empty()) test::WriteAll(dir / c.name, c.bytes);
        Image image;
        EXPECT_FALSE(LoadFirstFrame(FreeImageCodecFactory(), dir / c.name, image)) << c.name;
        EXPECT_FALSE(image.IsValid()) << c.name;
        EXPECT_NE(LastCodecError().find(c.why), std::string::npos) << c.name << ": " << LastCodecError();
        // The same bytes from memory are refused the same way.
        if (!c.bytes.empty()) {
            FreeImageCodec codec;
            EXPECT_FALSE(codec.LoadMemory(c.bytes.data(), c.bytes.size())) << c.name;
        }
    }
}

TEST(FailingConversions, ReportedAndNothingWritten) {
    TempDir dir;
    // Fits the bound at 24 bits, not at 32 (the pixels are not touched until the conversion).
    Image wide;
    ASSERT_TRUE(wide.Create(16384, 20000, 24));
    EXPECT_FALSE(wide.ConvertDepth(32));
    EXPECT_EQ(wide.Depth(), 24);
    EXPECT_FALSE(wide.ConvertDepth(16));

    // A row table of 2^28 entries counts against the bound as well as the pixels.
    EXPECT_FALSE(Image::FitsBound(1, int64_t{1} << 28, 24));
    EXPECT_TRUE(Image::FitsBound(16384, 16384, 32) ==
                (uint64_t{16384} * 16384 * 4 + 16384 * 8 <= Image::kMaxPixelBytes));

    // A 16-bit picture whose 24-bit copy would pass the bound cannot be quantised for GIF.
    Image deep;
    ASSERT_TRUE(deep.Create(16384, 24000, 16));
    struct Case {
        const Image* image;
        const char* name;
    } cases[] = {{&deep, "deep.gif"}, {&deep, "deep.jpg"}, {&deep, "deep.pcx"}};
    for (const Case& c : cases) {
        EXPECT_FALSE(SaveImageFile(*c.image, dir / c.name)) << c.name;
        EXPECT_FALSE(std::filesystem::exists(dir / c.name)) << c.name;
    }
    deep.Clear();

    // PCX holds lines of at most 65534 bytes a plane.
    Image line;
    ASSERT_TRUE(line.Create(65535, 2, 24));
    EXPECT_FALSE(SaveImageFile(line, dir / "wide.pcx"));
    EXPECT_FALSE(std::filesystem::exists(dir / "wide.pcx"));
    ASSERT_TRUE(line.Create(65534, 2, 24));  // FreeImage reads no PCX of one line
    ASSERT_TRUE(SaveImageFile(line, dir / "wide.pcx"));
    Image back;
    ASSERT_TRUE(LoadFirstFrame(FreeImageCodecFactory(), dir / "wide.pcx", back));
    EXPECT_EQ(back.Width(), 65534);
}

TEST(TgaCodec, SixteenBitPicturesKeepTheirColours) {
    TempDir dir;
    BitmapInfoHeader h;
    h.biWidth = 3;
    h.biHeight = 1;
    h.biBitCount = 16;
    h.biCompression = kBiBitfields;
    const uint32_t m565[3] = {0xF800, 0x07E0, 0x001F};
    for (const uint32_t* masks : {m565, static_cast<const uint32_t*>(nullptr)}) {
        Image image;
        ASSERT_TRUE(image.Create(&h, masks));
        // Pure red, green and blue at full strength in either layout.
        const uint16_t px[3] = {static_cast<uint16_t>(image.RedMask()),
                                static_cast<uint16_t>(image.GreenMask()),
                                static_cast<uint16_t>(image.BlueMask())};
        std::memcpy(image.Row(0), px, sizeof px);
        TgaCodec writer;
        writer.saveList.push_back(&image);
        ASSERT_TRUE(writer.SaveFile(dir / "p.tga", -1));
        Image back;
        ASSERT_TRUE(back.Load(dir / "p.tga"));
        ASSERT_TRUE(back.ConvertDepth(24));
        EXPECT_EQ(back.PixelValue(0, 0), 0xF80000u) << (masks ? "565" : "555");
        EXPECT_EQ(back.PixelValue(1, 0), 0x00F800u) << (masks ? "565" : "555");
        EXPECT_EQ(back.PixelValue(2, 0), 0x0000F8u) << (masks ? "565" : "555");
    }
}

TEST(SaveRoute, SavingOverAFileKeepsItsModeAndLinks) {
    TempDir dir;
    const Image picture = test::Pattern(6, 4, 24);
    for (const char* ext : {"png", "tga", "pcx", "jpg", "bmp"}) {
        const std::string target = dir / (std::string("private.") + ext);
        test::WriteAll(target, {1});
        ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
        const std::string link = dir / (std::string("link.") + ext);
        ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);

        ASSERT_TRUE(SaveImageFile(picture, link)) << ext;
        struct stat st;
        ASSERT_EQ(::lstat(link.c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << ext << ": the link was replaced";
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u) << ext;
        EXPECT_GT(st.st_size, 1) << ext << ": the picture did not reach the link's target";

        // A new file gets the mode any new file would get.
        const std::string fresh = dir / (std::string("fresh.") + ext);
        ASSERT_TRUE(SaveImageFile(picture, fresh)) << ext;
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0666u & ~mask) << ext;
    }
    // Only the files made here are left: no temporaries beside them.
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) files += entry.exists() ? 1 : 0;
    EXPECT_EQ(files, 15u);
}

TEST(ImagePalette, HugeFirstIndexAndPasteOntoItself) {
    Image pal;
    ASSERT_TRUE(pal.Create(2, 2, 8));
    PaletteEntry entries[4] = {};
    EXPECT_TRUE(pal.SetPalette(INT_MAX - 1, 4, entries));  // every entry past the palette: skipped
    EXPECT_TRUE(pal.GetPalette(INT_MAX - 1, 4, entries));

    // Pasting a picture onto itself, shifted, moves its content as from a copy.
    Image img = test::Pattern(5, 4, 24);
    const Image before(img);
    ASSERT_TRUE(img.Paste(img, 1, 1));
    for (int y = 1; y < 4; ++y)
        for (int x = 1; x < 5; ++x)
            EXPECT_EQ(img.PixelValue(x, y), before.PixelValue(x - 1, y - 1)) << x << y;
    ASSERT_TRUE(img.Paste(img, -1, -1));
    EXPECT_EQ(img.PixelValue(0, 0), before.PixelValue(0, 0));
}

}  // namespace
}  // namespace glimmora
