// Pieces of the capture that need no display: grabbing from a snapshot, the automatic-save names, and
// how the scrolling capture measures a step.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>

#include "capture/auto_save.h"
#include "capture/grab.h"
#include "capture/scroll_capture.h"

namespace glimmora {
namespace {

// A picture of distinct rows: row y carries a pattern that depends on (y + offset).
Image Rows(int w, int h, int offset, int movingColumns = -1) {
    Image image;
    image.Create(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = image.PixelAddress(x, y);
            const int v = y + offset;
            const bool moving = movingColumns < 0 || x < movingColumns;
            p[0] = static_cast<uint8_t>(moving ? (v * 7 + x) & 0xFF : 40);
            p[1] = static_cast<uint8_t>(moving ? (v * 13) & 0xFF : 40);
            p[2] = static_cast<uint8_t>(moving ? (v >> 4) & 0xFF : 40);
        }
    return image;
}

TEST(GrabRectFromSnapshot, CopiesTheRectangleAndBlackensWhatLiesOutside) {
    const Image source = Rows(40, 30, 0);
    Image out;
    ASSERT_TRUE(GrabRect(out, source, Rect{-2, 25, 8, 35}));
    ASSERT_EQ(out.Width(), 10);
    ASSERT_EQ(out.Height(), 10);
    EXPECT_EQ(out.PixelValue(0, 0), 0u);
    EXPECT_EQ(out.PixelValue(2, 0), source.PixelValue(0, 25));
    EXPECT_EQ(out.PixelValue(9, 4), source.PixelValue(7, 29));
    EXPECT_EQ(out.PixelValue(5, 5), 0u);
}

TEST(GrabRectFromSnapshot, EmptyRectanglesFailAndLeaveTheImage) {
    const Image source = Rows(40, 30, 0);
    Image out = Rows(3, 3, 9);
    for (const Rect& r : {Rect{5, 5, 5, 9}, Rect{5, 5, 9, 5}, Rect{9, 9, 5, 5}}) {
        EXPECT_FALSE(GrabRect(out, source, r));
        EXPECT_EQ(out.Width(), 3);
    }
}

struct ShiftCase {
    const char* name;
    int shift;
    friend std::ostream& operator<<(std::ostream& os, const ShiftCase& c) { return os << c.name; }
};
class RowShift : public ::testing::TestWithParam<ShiftCase> {};

TEST_P(RowShift, FindsHowFarTheContentMovedUp) {
    const int d = GetParam().shift;
    const Image before = Rows(60, 120, 0);
    const Image after = Rows(60, 120, d);
    const std::optional<int> found = MatchRowShift(before, after, 60);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, d);
}

INSTANTIATE_TEST_SUITE_P(Shifts, RowShift,
                         ::testing::Values(ShiftCase{"one", 1}, ShiftCase{"gtk_53", 53},
                                           ShiftCase{"gtk_54", 54}, ShiftCase{"most", 100}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RowShiftMatching, ColumnsThatDoNotMoveAreIgnored) {
    // A fixed border on the right and a scroll-bar thumb that moves by a different amount.
    Image before = Rows(200, 120, 0, 180), after = Rows(200, 120, 17, 180);
    for (int y = 0; y < 120; ++y)
        for (int x = 170; x < 178; ++x) {
            before.PixelAddress(x, y)[1] = y >= 30 && y < 50 ? 200 : 10;
            after.PixelAddress(x, y)[1] = y >= 33 && y < 53 ? 200 : 10;
        }
    const std::optional<int> found = MatchRowShift(before, after, 200);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, 17);
}

TEST(RowShiftMatching, NoMovementUnrelatedOrRepeatingPicturesGiveNoShift) {
    EXPECT_FALSE(MatchRowShift(Rows(60, 120, 5), Rows(60, 120, 5), 60).has_value());
    Image other;
    other.Create(60, 120, 24);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 60; ++x)
            other.PixelAddress(x, y)[0] = static_cast<uint8_t>((x * 31 + y * 17) ^ 0x5A);
    EXPECT_FALSE(MatchRowShift(Rows(60, 120, 0), other, 60).has_value());
    // Moved further than the pictures reach.
    EXPECT_FALSE(MatchRowShift(Rows(60, 120, 0), Rows(60, 120, 500), 60).has_value());
    // Content that repeats every 12 rows fits 5, 17, 29, ...: no telling which.
    Image before, after;
    before.Create(60, 120, 24);
    after.Create(60, 120, 24);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 60; ++x) {
            before.PixelAddress(x, y)[0] = static_cast<uint8_t>(((y % 12) * 20 + x) & 0xFF);
            after.PixelAddress(x, y)[0] = static_cast<uint8_t>((((y + 5) % 12) * 20 + x) & 0xFF);
        }
    EXPECT_FALSE(MatchRowShift(before, after, 60).has_value());
}

TEST(MarkerSearch, CountsTheRowsFromTheBottomOfTheProbe) {
    const int w = 100, hw = w / 2;
    for (int markerRow : {1, 10, 39}) {
        for (bool centre : {false, true}) {
            Image probe;
            probe.Create(w, 40, 24);
            const int blue = centre ? w - hw - 3 : 6, red = centre ? w - hw - 1 : 8;
            probe.PixelAddress(blue, markerRow)[0] = 255;
            probe.PixelAddress(red, markerRow)[2] = 255;
            EXPECT_EQ(FindMarkerShift(probe, w), 40 - markerRow)
                << markerRow << (centre ? " centre" : " left");
        }
    }
}

TEST(MarkerSearch, NoMarkerOrOnlyInRowZeroGivesTheProbeHeight) {
    Image probe;
    probe.Create(50, 12, 24);
    EXPECT_EQ(FindMarkerShift(probe, 50), 12);
    probe.PixelAddress(6, 0)[0] = 255;
    probe.PixelAddress(8, 0)[2] = 255;
    EXPECT_EQ(FindMarkerShift(probe, 50), 12);
    // Almost the colours: compared exactly.
    probe.PixelAddress(6, 5)[0] = 254;
    probe.PixelAddress(8, 5)[2] = 255;
    EXPECT_EQ(FindMarkerShift(probe, 50), 12);
}

class AutoSaveNames : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/glimmora-autosave-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    void Touch(const std::string& name) { std::ofstream(dir + "/" + name) << "x"; }
    std::string dir;
};

struct NameCase {
    int format;
    const char* extension;
    friend std::ostream& operator<<(std::ostream& os, const NameCase& c) {
        return os << "format " << c.format;
    }
};
class AutoSaveFormats : public AutoSaveNames, public ::testing::WithParamInterface<NameCase> {};

TEST_P(AutoSaveFormats, NameIsFolderTitleNumberExtension) {
    AppSettings s;
    s.ImageSavePath = dir;
    s.ImageSaveTitle = "Snap";
    s.StartNum = 7;
    s.ImageFormat = GetParam().format;
    EXPECT_EQ(AutoSavePath(s), dir + "/Snap7" + GetParam().extension);
    EXPECT_EQ(s.StartNum, 8);
}

INSTANTIATE_TEST_SUITE_P(Formats, AutoSaveFormats,
                         ::testing::Values(NameCase{0, ".bmp"}, NameCase{1, ".jpg"}, NameCase{2, ".png"},
                                           NameCase{3, ".gif"}, NameCase{5, ""}, NameCase{-1, ""}));

TEST_F(AutoSaveNames, ExistingFilesAreSkippedNeverOverwritten) {
    Touch("Snap7.png");
    Touch("Snap8.png");
    Touch("Snap10.png");
    AppSettings s;
    s.ImageSavePath = dir;
    s.ImageSaveTitle = "Snap";
    s.StartNum = 7;
    s.ImageFormat = 2;
    EXPECT_EQ(AutoSavePath(s), dir + "/Snap9.png");
    EXPECT_EQ(s.StartNum, 10);
    EXPECT_EQ(AutoSavePath(s), dir + "/Snap11.png");
    EXPECT_EQ(s.StartNum, 12);
}

TEST_F(AutoSaveNames, ACounterAtTheTopOfIntDoesNotOverflow) {
    AppSettings s;
    s.ImageSavePath = dir;
    s.ImageSaveTitle = "Snap";
    s.StartNum = std::numeric_limits<int>::max();
    s.ImageFormat = 0;
    EXPECT_EQ(AutoSavePath(s), dir + "/Snap2147483647.bmp");
    EXPECT_EQ(s.StartNum, std::numeric_limits<int>::max());
}

TEST_F(AutoSaveNames, AFolderEndingInASlashGetsASecondOne) {
    AppSettings s;
    s.ImageSavePath = dir + "/";
    s.ImageSaveTitle = "Snap";
    s.StartNum = 1;
    s.ImageFormat = 0;
    EXPECT_EQ(AutoSavePath(s), dir + "//Snap1.bmp");
}

}  // namespace
}  // namespace glimmora
