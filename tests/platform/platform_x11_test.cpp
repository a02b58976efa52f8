// The X11 platform layer against a real X server: pixels, windows, the pointer and vanished windows.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "platform/platform.h"
#include "platform/sound.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_screen.h"
#include "x11_test_support.h"

namespace glimmora {
namespace {

using testing::PictureWindow;
using testing::ShowsPicture;
using testing::WaitUntil;

class X11PlatformTest : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        platform = Platform::Open();
        ASSERT_NE(platform, nullptr);
        size = platform->screen().ScreenSize();
    }
    // A pattern window over the whole screen, bypassing the window manager.
    std::unique_ptr<PictureWindow> CoverScreen() {
        auto w = std::make_unique<PictureWindow>(testing::PatternImage(size.width, size.height),
                                                 QRect(0, 0, size.width, size.height), false);
        EXPECT_TRUE(w->ShowAndWait(*platform));
        return w;
    }
    std::unique_ptr<Platform> platform;
    Size size;
};

TEST_F(X11PlatformTest, ScreenSizeIsTheRootWindow) {
    const QSize qt = QGuiApplication::primaryScreen()->virtualSize();
    EXPECT_EQ(size, (Size{qt.width(), qt.height()}));
}

TEST_F(X11PlatformTest, FullScreenGrabEqualsThePatternOnScreen) {
    auto cover = CoverScreen();
    Image shot;
    ASSERT_TRUE(platform->screen().Grab(Rect{0, 0, size.width, size.height}, shot));
    EXPECT_EQ(shot.Depth(), 24);
    std::string why;
    EXPECT_TRUE(ShowsPicture(shot, cover->picture(), 0, 0, &why)) << why;
}

TEST_F(X11PlatformTest, SharedMemoryAndPlainRequestGiveTheSamePixels) {
    auto cover = CoverScreen();
    std::string error;
    auto conn = x11::Connection::Open({}, &error);
    ASSERT_TRUE(conn) << error;
    x11::X11Screen screen(*conn);
    const Rect rect{13, 7, 13 + 517, 7 + 301};
    Image viaShm, plain;
    ASSERT_TRUE(screen.Grab(rect, viaShm));
    screen.SetUseShm(false);
    ASSERT_TRUE(screen.Grab(rect, plain));
    ASSERT_EQ(viaShm.PixelBytes(), plain.PixelBytes());
    EXPECT_EQ(std::memcmp(viaShm.Bits(), plain.Bits(), viaShm.PixelBytes()), 0);
    EXPECT_TRUE(ShowsPicture(plain, cover->picture().copy(13, 7, 517, 301), 0, 0));
}

struct PartlyOutside {
    Rect rect;
    friend std::ostream& operator<<(std::ostream& os, const PartlyOutside& c) {
        return os << c.rect.left << "," << c.rect.top << "," << c.rect.right << "," << c.rect.bottom;
    }
};
class GrabOutside : public X11PlatformTest, public ::testing::WithParamInterface<PartlyOutside> {};

TEST_P(GrabOutside, PartsOutsideTheScreenAreBlack) {
    auto cover = CoverScreen();
    const Rect rect = GetParam().rect;
    Image shot;
    ASSERT_TRUE(platform->screen().Grab(rect, shot));
    ASSERT_EQ(shot.Width(), rect.Width());
    ASSERT_EQ(shot.Height(), rect.Height());
    for (int y = 0; y < shot.Height(); ++y) {
        for (int x = 0; x < shot.Width(); ++x) {
            const int sx = rect.left + x, sy = rect.top + y;
            uint8_t b = 0, g = 0, r = 0;
            if (sx >= 0 && sy >= 0 && sx < size.width && sy < size.height)
                testing::PatternPixel(sx, sy, b, g, r);
            const uint32_t want = b | g << 8 | r << 16;
            ASSERT_EQ(shot.PixelValue(x, y), want) << "at " << x << ", " << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rects, GrabOutside,
                         ::testing::Values(PartlyOutside{{-10, -20, 40, 30}},
                                           PartlyOutside{{1900, 1060, 1950, 1100}},
                                           PartlyOutside{{-5, 500, 20, 520}},
                                           PartlyOutside{{3000, 3000, 3010, 3004}}));

TEST_F(X11PlatformTest, EmptyRectanglesFailAndLeaveTheImageAlone) {
    Image shot;
    ASSERT_TRUE(shot.Create(3, 2, 24));
    for (const Rect& r : {Rect{0, 0, 0, 10}, Rect{0, 0, 10, 0}, Rect{50, 50, 40, 60}, Rect{5, 9, 6, 9}}) {
        EXPECT_FALSE(platform->screen().Grab(r, shot));
        EXPECT_EQ(shot.Width(), 3);
        EXPECT_EQ(shot.Height(), 2);
    }
}

TEST_F(X11PlatformTest, PointerGoesWhereWarpedAndTheCursorIsDrawnOnlyWhenAsked) {
    auto cover = CoverScreen();
    const Point at{700, 400};
    ASSERT_TRUE(platform->input().WarpPointer(at));
    Point now;
    ASSERT_TRUE(WaitUntil([&] { return platform->screen().PointerPosition(now) && now == at; }));
    const Rect rect{600, 300, 800, 500};
    Image plain;
    ASSERT_TRUE(platform->screen().Grab(rect, plain));
    // The server's pictures never hold the cursor.
    EXPECT_TRUE(ShowsPicture(plain, cover->picture().copy(600, 300, 200, 200), 0, 0));
    Image withCursor(plain);
    ASSERT_TRUE(platform->screen().DrawCursor(withCursor, Point{rect.left, rect.top}));
    int changed = 0, left = 1 << 30, top = 1 << 30;
    for (int y = 0; y < plain.Height(); ++y)
        for (int x = 0; x < plain.Width(); ++x)
            if (plain.PixelValue(x, y) != withCursor.PixelValue(x, y)) {
                ++changed;
                left = std::min(left, x);
                top = std::min(top, y);
            }
    EXPECT_GT(changed, 10);
    // Top-left of the cursor picture at the pointer: nothing changes above or left of it.
    EXPECT_GE(left + rect.left, at.x);
    EXPECT_GE(top + rect.top, at.y);
    EXPECT_LE(left + rect.left, at.x + 8);
    EXPECT_LE(top + rect.top, at.y + 8);
}

// One screen split into two monitors, the left one taking the server's output: the layout lists both,
// the monitor under the pointer is found, and each is grabbed alone.
TEST_F(X11PlatformTest, MonitorsSplitWithRandrAreTheLayout) {
    auto cover = CoverScreen();
    const int half = size.width / 2;
    auto xrandr = [](const std::string& args) { return std::system(("xrandr " + args).c_str()) == 0; };
    ASSERT_TRUE(xrandr("--setmonitor LEFT " + std::to_string(half) + "/254x" + std::to_string(size.height) +
                       "/286+0+0 screen"));
    ASSERT_TRUE(xrandr("--setmonitor RIGHT " + std::to_string(size.width - half) + "/254x" +
                       std::to_string(size.height) + "/286+" + std::to_string(half) + "+0 none"));
    struct Undo {
        std::function<bool(const std::string&)> run;
        ~Undo() { run("--delmonitor RIGHT"), run("--delmonitor LEFT"); }
    } undo{xrandr};
    const ScreenLayout layout = platform->screen().Layout();
    ASSERT_EQ(layout.monitors.size(), 2u);
    EXPECT_EQ(layout.PictureSize(), size);
    const int right = layout.monitors[0].name == "RIGHT" ? 0 : 1;
    auto at = [&](int i) {
        const Rect r = layout.monitors[static_cast<size_t>(i)].logical;
        return std::vector<int>{r.left, r.top, r.right, r.bottom};
    };
    EXPECT_EQ(at(right), (std::vector<int>{half, 0, size.width, size.height}));
    EXPECT_EQ(at(1 - right), (std::vector<int>{0, 0, half, size.height}));
    for (const int monitor : {right, 1 - right}) {
        const Rect r = layout.monitors[static_cast<size_t>(monitor)].logical;
        const Point inside{r.left + 100, r.top + 100};
        ASSERT_TRUE(platform->input().WarpPointer(inside));
        Point now;
        ASSERT_TRUE(WaitUntil([&] { return platform->screen().PointerPosition(now) && now == inside; }));
        EXPECT_EQ(platform->screen().CurrentMonitor(), monitor);
        Image shot;
        ASSERT_TRUE(platform->screen().GrabMonitor(static_cast<size_t>(monitor), shot));
        std::string why;
        EXPECT_TRUE(
            ShowsPicture(shot, cover->picture().copy(r.left, r.top, r.Width(), r.Height()), 0, 0, &why))
            << why;
    }
}

class X11WindowsTest : public X11PlatformTest {
  protected:
    std::unique_ptr<PictureWindow> Framed(QRect geometry, int seed, const QString& title) {
        auto w = std::make_unique<PictureWindow>(
            testing::PatternImage(geometry.width(), geometry.height(), seed), geometry, true, title);
        EXPECT_TRUE(w->ShowAndWait(*platform));
        return w;
    }
    bool ActivateAndWait(WindowId id) {
        platform->windows().Activate(id);
        return WaitUntil([&] { return platform->windows().ActiveWindow() == id; });
    }
};

TEST_F(X11WindowsTest, AFramedWindowIsFoundAndItsRectangleHoldsTheFrame) {
    auto win = Framed(QRect(200, 150, 300, 200), 5, "frame test");
    const auto id = static_cast<WindowId>(win->id());
    WindowSystem& ws = platform->windows();
    Rect client, frame;
    ASSERT_TRUE(ws.ClientRect(id, client));
    ASSERT_TRUE(ws.WindowRect(id, frame));
    EXPECT_EQ(client.Width(), 300);
    EXPECT_EQ(client.Height(), 200);
    // The frame surrounds the client and has a title bar above it.
    EXPECT_LE(frame.left, client.left);
    EXPECT_LT(frame.top, client.top);
    EXPECT_GE(frame.right, client.right);
    EXPECT_GE(frame.bottom, client.bottom);
    EXPECT_EQ(ws.WindowAt(Point{client.left + 10, client.top + 10}, 0), id);
    // The title bar belongs to the window too.
    EXPECT_EQ(ws.WindowAt(Point{(frame.left + frame.right) / 2, frame.top + 3}, 0), id);
    EXPECT_EQ(ws.TopLevel(id), id);
    // Excluding it shows what lies beneath.
    EXPECT_NE(ws.WindowAt(Point{client.left + 10, client.top + 10}, id), id);
}

TEST_F(X11WindowsTest, TheGridAgreesWithPointLookups) {
    auto a = Framed(QRect(100, 100, 240, 160), 1, "grid a");
    auto b = Framed(QRect(250, 180, 240, 160), 2, "grid b");
    WindowSystem& ws = platform->windows();
    const int columns = size.width / 3, rows = size.height / 3;
    const std::vector<WindowId> grid = ws.WindowGrid(columns, rows, 3, 0);
    ASSERT_EQ(grid.size(), static_cast<size_t>(columns) * static_cast<size_t>(rows));
    for (const Point p : {Point{120, 130}, Point{300, 200}, Point{480, 330}, Point{3, 3}, Point{900, 600}}) {
        const WindowId at = ws.WindowAt(p, 0);
        EXPECT_EQ(
            grid[static_cast<size_t>(p.y / 3) * static_cast<size_t>(columns) + static_cast<size_t>(p.x / 3)],
            at)
            << p.x << ", " << p.y;
    }
    EXPECT_EQ(ws.WindowAt(Point{300, 200}, 0), static_cast<WindowId>(b->id()));
}

TEST_F(X11WindowsTest, ActivationAndStackingOrder) {
    auto a = Framed(QRect(100, 100, 200, 120), 3, "stack a");
    auto b = Framed(QRect(160, 140, 200, 120), 4, "stack b");
    const auto ida = static_cast<WindowId>(a->id()), idb = static_cast<WindowId>(b->id());
    WindowSystem& ws = platform->windows();
    ASSERT_TRUE(ActivateAndWait(ida));
    EXPECT_TRUE(WaitUntil([&] { return ws.WindowAt(Point{170, 150}, 0) == ida; }));
    ASSERT_TRUE(ActivateAndWait(idb));
    EXPECT_TRUE(WaitUntil([&] { return ws.NextInStacking(idb) == ida; }));
    EXPECT_TRUE(WaitUntil([&] { return ws.WindowAt(Point{170, 150}, 0) == idb; }));
    ASSERT_TRUE(ws.Raise(ida));
    EXPECT_TRUE(WaitUntil([&] { return ws.WindowAt(Point{170, 150}, 0) == ida; }));
}

TEST_F(X11WindowsTest, RowsDrawnIntoAWindowShowOnTheScreen) {
    auto win = Framed(QRect(300, 300, 120, 80), 6, "draw test");
    const auto id = static_cast<WindowId>(win->id());
    ASSERT_TRUE(platform->windows().DrawRow(id, Point{5, 40}, 7, 0x0000FF));
    ASSERT_TRUE(platform->windows().DrawRow(id, Point{7, 40}, 9, 0xFF0000));
    Rect client;
    ASSERT_TRUE(platform->windows().ClientRect(id, client));
    Image shot;
    ASSERT_TRUE(platform->screen().Grab(client, shot));
    EXPECT_EQ(shot.PixelValue(5, 40), 0xFFu);
    EXPECT_EQ(shot.PixelValue(6, 40), 0xFFu);
    EXPECT_EQ(shot.PixelValue(7, 40), 0xFF0000u);
    EXPECT_EQ(shot.PixelValue(8, 40), 0xFF0000u);
    EXPECT_NE(shot.PixelValue(9, 40), 0xFF0000u);
    // Repainting removes them again.
    platform->windows().Invalidate(id);
    EXPECT_TRUE(WaitUntil(
        [&] { return platform->screen().Grab(client, shot) && ShowsPicture(shot, win->picture(), 0, 0); }));
}

// Every pixel of the band `width` wide just inside r (in shot's coordinates) has the colour; the pixels
// just inside the band do not all have it.
void ExpectOutline(const Image& shot, Rect r, int width, uint32_t bgr) {
    int wrong = 0, inner = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            const int depth = std::min({x - r.left, y - r.top, r.right - 1 - x, r.bottom - 1 - y});
            if (depth < width) wrong += shot.PixelValue(x, y) != bgr;
            if (depth == width) inner += shot.PixelValue(x, y) == bgr;
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_LT(inner, 2 * (r.Width() + r.Height()) - 8 * width);
}

TEST_F(X11WindowsTest, TheHighlightFrameOutlinesTheWholeWindowUntilItRepaints) {
    QImage white(160, 100, QImage::Format_RGB32);
    white.fill(Qt::white);
    PictureWindow framed(white, QRect(400, 200, 160, 100), true, "highlight");
    PictureWindow bare(white, QRect(700, 200, 160, 100), false);
    ASSERT_TRUE(framed.ShowAndWait(*platform));
    ASSERT_TRUE(bare.ShowAndWait(*platform));
    WindowSystem& ws = platform->windows();
    for (PictureWindow* win : {&framed, &bare}) {
        const auto id = static_cast<WindowId>(win->id());
        Rect whole, client;
        ASSERT_TRUE(ws.WindowRect(id, whole));
        ASSERT_TRUE(ws.ClientRect(id, client));
        Image before, shot;
        ASSERT_TRUE(platform->screen().Grab(whole, before));
        ASSERT_TRUE(ws.DrawFrame(id, 3, 0x000000));
        ASSERT_TRUE(platform->screen().Grab(whole, shot));
        ExpectOutline(shot, Rect{0, 0, whole.Width(), whole.Height()}, 3, 0x000000);
        // The client area away from the edges keeps its pixels.
        EXPECT_EQ(shot.PixelValue(client.left - whole.left + 20, client.top - whole.top + 20), 0xFFFFFFu);
        // Repainting the window, frame included, takes the outline away.
        ws.Invalidate(id);
        EXPECT_TRUE(WaitUntil([&] {
            return platform->screen().Grab(whole, shot) &&
                   std::memcmp(shot.Bits(), before.Bits(), before.PixelBytes()) == 0;
        }));
    }
}

TEST_F(X11WindowsTest, TheWheelReachesTheWindowUnderThePointer) {
    auto win = Framed(QRect(500, 300, 200, 150), 7, "wheel test");
    Rect client;
    ASSERT_TRUE(platform->windows().ClientRect(static_cast<WindowId>(win->id()), client));
    ASSERT_TRUE(platform->input().WarpPointer(Point{client.left + 50, client.top + 50}));
    ASSERT_TRUE(platform->input().WheelNotchDown());
    EXPECT_TRUE(WaitUntil([&] { return win->wheelDown == 1; }));
}

TEST_F(X11WindowsTest, VanishedWindowsGiveFailuresNotCrashes) {
    WindowId gone = 0;
    {
        auto win = Framed(QRect(100, 100, 100, 100), 8, "gone");
        gone = static_cast<WindowId>(win->id());
    }
    WindowSystem& ws = platform->windows();
    ASSERT_TRUE(WaitUntil([&] { return !ws.Exists(gone); }));
    for (WindowId id : {gone, WindowId{0x7fffff0}, WindowId{0}}) {
        Rect r;
        EXPECT_FALSE(ws.WindowRect(id, r));
        EXPECT_FALSE(ws.ClientRect(id, r));
        EXPECT_FALSE(ws.Activate(id));
        EXPECT_FALSE(ws.Raise(id));
        EXPECT_FALSE(ws.DrawRow(id, Point{0, 0}, 4, 0xFF));
        EXPECT_FALSE(ws.DrawFrame(id, 3, 0));
        ws.Invalidate(id);
        EXPECT_EQ(ws.TopLevel(id), id);
    }
    // The connection is still good.
    Image shot;
    EXPECT_TRUE(platform->screen().Grab(Rect{0, 0, 10, 10}, shot));
}

// Without a sound server, with a missing file and with a file that is no sound, playing stays silent and
// returns; the player can be used again afterwards.
TEST(DesktopSound, FailuresAreSilent) {
    // Not the machine's sound set-up: its plugin modules leak inside themselves and are unloaded before
    // the leak checker can name them.
    setenv("ALSA_CONFIG_PATH", GLIMMORA_TEST_ALSA_CONFIG, 1);
    auto player = CreateDesktopSoundPlayer();
    ASSERT_NE(player, nullptr);
    const std::string notSound = std::filesystem::temp_directory_path() / "glimmora-not-a-sound.wav";
    std::ofstream(notSound) << "not a sound";
    for (int round = 0; round < 2; ++round)
        for (const std::string& path : {std::string("/nonexistent/capture.wav"), notSound, std::string()})
            player->PlayFile(path);
    std::filesystem::remove(notSound);
}

TEST(X11PlatformOpen, AMissingDisplayIsAFailedResult) {
    std::string error;
    EXPECT_EQ(Platform::Open(":999", &error), nullptr);
    EXPECT_FALSE(error.empty());
}

// A second server at depth 16: rows of odd widths are padded to whole 32-bit units, so shared-memory
// bands placed by the unpadded row size overlap and mix rows of neighbouring bands.
TEST(X11Depth16, SharedMemoryGrabsMatchTheContentAtEveryWidth) {
    char dir[] = "/tmp/glimmora-depth16-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string numberFile = std::string(dir) + "/display";
    std::string number;
    {
        // -displayfd names a free display once the server takes connections.
        testing::Child server(
            {"sh", "-c",
             "exec Xvfb -displayfd 1 -screen 0 640x480x16 -nolisten tcp >" + numberFile + " 2>/dev/null"});
        ASSERT_TRUE(testing::WaitUntil([&] {
            std::ifstream in(numberFile);
            return std::getline(in, number) && !in.eof() && !number.empty();
        })) << "Xvfb at depth 16 did not start";
        std::string error;
        auto conn = x11::Connection::Open(":" + number, &error);
        ASSERT_TRUE(conn) << error;
        ASSERT_EQ(conn->screen()->root_depth, 16);
        // Every pixel of the root a value of its own row and column (5-6-5).
        auto value = [](int x, int y) { return static_cast<uint16_t>(x * 7 + y * 131); };
        xcb_connection_t* c = conn->get();
        const xcb_gcontext_t gc = xcb_generate_id(c);
        xcb_create_gc(c, gc, conn->root(), 0, nullptr);
        for (int top = 0; top < 480; top += 40) {
            std::vector<uint16_t> rows(640 * 40);
            for (int y = 0; y < 40; ++y)
                for (int x = 0; x < 640; ++x) rows[static_cast<size_t>(y) * 640 + x] = value(x, top + y);
            xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, conn->root(), gc, 640, 40, 0,
                          static_cast<int16_t>(top), 0, 16, static_cast<uint32_t>(rows.size() * 2),
                          reinterpret_cast<const uint8_t*>(rows.data()));
        }
        conn->Sync();
        x11::X11Screen screen(*conn);
        for (const Rect& rect : {Rect{3, 5, 3 + 301, 5 + 300}, Rect{0, 0, 1, 480}, Rect{1, 2, 640, 480}}) {
            Image shot;
            ASSERT_TRUE(screen.Grab(rect, shot));
            int wrong = 0;
            for (int y = 0; y < shot.Height(); ++y) {
                for (int x = 0; x < shot.Width(); ++x) {
                    const uint16_t v = value(rect.left + x, rect.top + y);
                    const uint8_t* p = shot.PixelAddress(x, y);
                    if (p[0] != (v & 0x1F) * 255 / 31 || p[1] != ((v >> 5) & 0x3F) * 255 / 63 ||
                        p[2] != (v >> 11) * 255 / 31)
                        ++wrong;
                }
            }
            EXPECT_EQ(wrong, 0) << rect.Width() << " x " << rect.Height();
        }
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace glimmora
