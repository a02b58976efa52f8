// The selection overlay on a real screen: what the user sees after pointer moves must be exactly the
// picture the overlay composes from its state, whichever parts it chose to repaint.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <cmath>
#include <cstring>
#include <mutex>

#include "capture/cap_dialog.h"
#include "capture_x11_support.h"

namespace glimmora {
namespace {

using testing::OverlayDriver;
using testing::PictureWindow;
using testing::WaitUntil;

// True when the screen shows the composed picture pixel for pixel.
bool ScreenShows(const Image& screen, const QImage& composed, std::string* why) {
    if (screen.Width() != composed.width() || screen.Height() != composed.height()) {
        *why = "sizes differ";
        return false;
    }
    for (int y = 0; y < screen.Height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(composed.constScanLine(y));
        for (int x = 0; x < screen.Width(); ++x) {
            const uint8_t* p = screen.PixelAddress(x, y);
            if (p[0] != qBlue(row[x]) || p[1] != qGreen(row[x]) || p[2] != qRed(row[x])) {
                *why = "differs at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
                return false;
            }
        }
    }
    return true;
}

class CapDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        platform = Platform::Open();
        ASSERT_NE(platform, nullptr);
        size = platform->screen().ScreenSize();
        cover = std::make_unique<PictureWindow>(testing::PatternImage(size.width, size.height),
                                                QRect(0, 0, size.width, size.height), false);
        ASSERT_TRUE(cover->ShowAndWait(*platform));
        platform->input().WarpPointer(Point{size.width / 2, size.height / 2});
        platform->input().Sync();
        ASSERT_TRUE(WaitUntil([&] { return !testing::PanelShown(*platform, 0, false); }));
    }

    // Runs the overlay; `steps` plays the user, then the screen is taken once it is still and the overlay
    // is cancelled with Esc (and the button released if one is held).
    int RunAndShoot(CCapDialog& dialog, bool windowMode, const std::function<void(Platform&)>& steps,
                    bool holding = false) {
        int result = 0;
        {
            OverlayDriver driver(windowMode, [&](Platform& p) {
                steps(p);
                p.input().Sync();
                shot = testing::SettledGrab(p, Rect{0, 0, size.width, size.height});
                testing::Key("Escape");
                if (holding) p.input().Button(1, false);
                p.input().Sync();
            });
            result = dialog.exec();
            EXPECT_TRUE(driver.ready()) << "the overlay never took input";
        }
        return result;
    }

    std::unique_ptr<Platform> platform;
    Size size;
    std::unique_ptr<PictureWindow> cover;
    Image shot;
};

TEST_F(CapDialogTest, DraggingShowsTheSelectionAndEveryPaintShowsTheComposedPicture) {
    CCapDialog dialog(*platform, CCapDialog::kRegion);
    const int result = RunAndShoot(
        dialog, false,
        [](Platform& p) {
            p.input().WarpPointer(Point{300, 200});
            p.input().Button(1, true);
            p.input().WarpPointer(Point{200, 120});
            p.input().WarpPointer(Point{100, 50});
        },
        true);
    EXPECT_EQ(result, CCapDialog::kIdCancel);
    const Rect sel = dialog.selection();
    EXPECT_EQ(sel.left, 100);
    EXPECT_EQ(sel.top, 50);
    EXPECT_EQ(sel.right, 300);
    EXPECT_EQ(sel.bottom, 200);
    EXPECT_EQ(dialog.pointer(), (Point{100, 50}));
    // x <= 190 sends the panel to the bottom-right corner.
    EXPECT_EQ(dialog.panelCorner(), 1);
    std::string why;
    EXPECT_TRUE(ScreenShows(shot, dialog.Compose(), &why)) << why;
    // The selection's black frame and the panel's blue frame.
    EXPECT_EQ(shot.PixelValue(150, 50), 0u);
    EXPECT_EQ(shot.PixelValue(299, 120), 0u);
    EXPECT_EQ(shot.PixelValue(size.width - 190, size.height - 1), 0x0000FFu);
    // The snapshot it grabs from is the screen as it was (the cover is drawn one to one only unscaled).
    if (dialog.devicePixelRatioF() == 1.0) {
        EXPECT_TRUE(testing::ShowsPicture(dialog.snapshot(), cover->picture(), 0, 0));
    }
    // Whatever Qt's scaling, the overlay covers the screen's device pixels exactly.
    EXPECT_EQ(qRound(dialog.width() * dialog.devicePixelRatioF()), size.width);
    EXPECT_EQ(qRound(dialog.height() * dialog.devicePixelRatioF()), size.height);
}

TEST_F(CapDialogTest, TheFixedRectangleIsClippedWhileItsDottedFrameIsNot) {
    CCapDialog dialog(*platform, CCapDialog::kFixRect);
    dialog.SetFixedRectSize(100, 100);
    RunAndShoot(dialog, false, [](Platform& p) { p.input().WarpPointer(Point{10, 10}); });
    const Rect r = dialog.fixedRect();
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 60);
    EXPECT_EQ(r.bottom, 60);
    std::string why;
    EXPECT_TRUE(ScreenShows(shot, dialog.Compose(), &why)) << why;
    // The dotted frame inverts pixels along x = 59 (the edge of (-40, -40, 60, 60)).
    int inverted = 0;
    for (int y = 0; y < 60; ++y) {
        uint8_t b, g, r8;
        testing::PatternPixel(59, y, b, g, r8);
        if (shot.PixelValue(59, y) == static_cast<uint32_t>((255 - b) | (255 - g) << 8 | (255 - r8) << 16))
            ++inverted;
    }
    EXPECT_GE(inverted, 20);
    EXPECT_LT(inverted, 60);
}

TEST_F(CapDialogTest, TheFixedRectangleIsPlacedAtThePointerBeforeAnyMove) {
    // A click that comes before the first pointer movement must find the rectangle in place.
    platform->input().WarpPointer(Point{500, 400});
    platform->input().Sync();
    CCapDialog dialog(*platform, CCapDialog::kFixRect);
    dialog.SetFixedRectSize(100, 80);
    ASSERT_TRUE(dialog.Open());
    const Rect r = dialog.fixedRect();
    dialog.Close();
    EXPECT_EQ(r.left, 450);
    EXPECT_EQ(r.top, 360);
    EXPECT_EQ(r.right, 550);
    EXPECT_EQ(r.bottom, 440);
}

TEST_F(CapDialogTest, TheRegionPanelFollowsTheCornerRules) {
    struct Step {
        Point at;
        int corner;
    };
    // 1920 x 1080: near the left edge it goes bottom-right, near the right edge back to the top-left,
    // and where neither rule applies it stays.
    const std::vector<Step> steps = {{{100, 400}, 1}, {{960, 540}, 1}, {{size.width - 100, 400}, 0},
                                     {{960, 540}, 0}, {{960, 300}, 1}, {{960, size.height - 300}, 0}};
    for (const Step& step : steps) {
        CCapDialog dialog(*platform, CCapDialog::kRegion);
        std::vector<Step> path(steps.begin(), std::find_if(steps.begin(), steps.end(), [&](const Step& s) {
                                                  return &s == &step;
                                              }) + 1);
        RunAndShoot(dialog, false, [&](Platform& p) {
            // One at a time: Qt merges pointer moves that arrive together.
            for (const Step& s : path) {
                p.input().WarpPointer(s.at);
                p.input().Sync();
                testing::SettledGrab(p, Rect{0, 0, size.width, size.height});
            }
        });
        EXPECT_EQ(dialog.panelCorner(), step.corner) << step.at.x << ", " << step.at.y;
        ASSERT_TRUE(WaitUntil([&] { return !testing::PanelShown(*platform, 1, false); }));
    }
}

TEST_F(CapDialogTest, WindowModeOutlinesTheWindowUnderThePointer) {
    cover.reset();
    PictureWindow win(testing::PatternImage(300, 200, 2), QRect(600, 300, 300, 200), true, "outline");
    ASSERT_TRUE(win.ShowAndWait(*platform));
    Rect frame;
    ASSERT_TRUE(platform->windows().WindowRect(static_cast<WindowId>(win.id()), frame));
    const std::vector<WindowId> grid = platform->windows().WindowGrid(size.width / 3, size.height / 3, 3, 0);
    CCapDialog dialog(*platform, CCapDialog::kWindow);
    dialog.SetWindowGrid(&grid);
    RunAndShoot(dialog, true, [](Platform& p) { p.input().WarpPointer(Point{700, 400}); });
    const Rect r = dialog.windowRect();
    EXPECT_EQ(r.left, frame.left);
    EXPECT_EQ(r.top, frame.top);
    EXPECT_EQ(r.right, frame.right);
    EXPECT_EQ(r.bottom, frame.bottom);
    std::string why;
    EXPECT_TRUE(ScreenShows(shot, dialog.Compose(), &why)) << why;
    // Not-xor with red keeps red and inverts green and blue along a 4-pixel band inside the frame.
    const uint32_t under = dialog.snapshot().PixelValue(frame.left + 1, frame.top + 40);
    const uint32_t expected = (under & 0xFF0000) | (~under & 0x00FFFF);
    EXPECT_EQ(shot.PixelValue(frame.left + 1, frame.top + 40), expected);
}

// Measured, not looked at: every instruction of both panels fits its rectangle in the hint font, with
// four-digit pointer coordinates.
// Run once more with QT_SCALE_FACTOR=2 and 1.5: whatever Qt's scaling, the overlay covers the screen's
// device pixels and selects in them, and its panel and instructions are drawn at that scale.
TEST(CapDialogScaled, CoversTheScreenAndSelectsInDevicePixels) {
    REQUIRE_DISPLAY();
    std::unique_ptr<Platform> platform = Platform::Open();
    ASSERT_NE(platform, nullptr);
    const Size size = platform->screen().ScreenSize();
    CCapDialog dialog(*platform, CCapDialog::kRegion);
    int result = 0;
    Image shot;
    {
        OverlayDriver driver(false, [&](Platform& p) {
            p.input().WarpPointer(Point{300, 200});
            p.input().Button(1, true);
            p.input().WarpPointer(Point{200, 120});
            p.input().WarpPointer(Point{100, 50});
            p.input().Sync();
            shot = testing::SettledGrab(p, Rect{0, 0, size.width, size.height});
            p.input().Button(1, false);
            p.input().Sync();
        });
        result = dialog.exec();
        EXPECT_TRUE(driver.ready()) << "the overlay never took input";
    }
    EXPECT_EQ(result, CCapDialog::kIdOk);
    const Rect sel = dialog.selection();
    const qreal k = dialog.devicePixelRatioF();
    // Where the pointer rests the selection is exact. At a fractional scale Qt reports whole logical
    // pixels, and the press, taken while the pointer has already moved on, may be one device pixel off.
    const int slack = k == std::floor(k) ? 0 : 1;
    EXPECT_EQ(sel.left, 100);
    EXPECT_EQ(sel.top, 50);
    EXPECT_NEAR(sel.right, 300, slack);
    EXPECT_NEAR(sel.bottom, 200, slack);
    EXPECT_EQ(qRound(dialog.width() * k), size.width);
    EXPECT_EQ(qRound(dialog.height() * k), size.height);
    // The panel in the bottom-right corner is 190 units wide: its blue edge lies that many scaled pixels in.
    ASSERT_TRUE(shot.IsValid());
    const int panelLeft = size.width - qRound(190 * k);
    EXPECT_EQ(shot.PixelValue(panelLeft, size.height - 1), 0x0000FFu);
    // The first line of the instructions starts 185 units down the panel, in white.
    const int panelTop = size.height - qRound(320 * k);
    int firstWhite = -1;
    for (int y = panelTop + qRound(176 * k); y < size.height && firstWhite < 0; ++y)
        for (int x = panelLeft + 1; x < size.width - 1; ++x)
            if (shot.PixelValue(x, y) == 0xFFFFFFu) {
                firstWhite = y - panelTop;
                break;
            }
    EXPECT_GE(firstWhite, qRound(185 * k));
    EXPECT_LE(firstWhite, qRound(185 * k + 6 * k));
}

TEST(CapDialogHints, EveryHintFitsItsRectangle) {
    REQUIRE_DISPLAY();
    auto platform = Platform::Open();
    ASSERT_NE(platform, nullptr);
    const QFont font = CCapDialog::HintFont();
    EXPECT_EQ(QFontInfo(font).family(), "Liberation Sans");
    EXPECT_EQ(QFontMetrics(font).height(), 14);
    const QFontMetrics fm(font);
    for (int mode : {CCapDialog::kRegion, CCapDialog::kWindow, CCapDialog::kFixRect}) {
        CCapDialog dialog(*platform, mode);
        dialog.MovePointer(8888, 8888);
        const std::vector<CCapDialog::Hint> hints = dialog.Hints();
        ASSERT_EQ(hints.size(), mode == CCapDialog::kWindow ? 3u : 4u);
        EXPECT_TRUE(hints.back().text.endsWith("y = 8888"));
        for (const CCapDialog::Hint& h : hints) {
            const QRect needed = fm.boundingRect(h.rect, h.flags, h.text);
            EXPECT_TRUE(h.rect.contains(needed))
                << mode << " \"" << h.text.toStdString() << "\" needs " << needed.width() << " x "
                << needed.height() << " in " << h.rect.width() << " x " << h.rect.height();
        }
    }
}

}  // namespace
}  // namespace glimmora
