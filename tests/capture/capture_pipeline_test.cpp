// The capture routines end to end on a real X server: the overlay driven through XTest, the finishing
// sequence seen through the test host.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QTimer>
#include <filesystem>
#include <fstream>

#include "app/settings/app_settings.h"
#include "capture/capture_routines.h"
#include "capture_x11_support.h"
#include "image/codecs/codecs.h"

namespace glimmora {
namespace {

using testing::Click;
using testing::OverlayDriver;
using testing::PictureWindow;
using testing::ShowsPicture;
using testing::TestHost;
using testing::WaitUntil;

class CaptureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        platform = Platform::Open();
        ASSERT_NE(platform, nullptr);
        size = platform->screen().ScreenSize();
        cover = std::make_unique<PictureWindow>(testing::PatternImage(size.width, size.height),
                                                QRect(0, 0, size.width, size.height), false);
        ASSERT_TRUE(cover->ShowAndWait(*platform));
        host = std::make_unique<TestHost>(*platform);
        host->settings.CapDelayTime = 0;
        capturer = std::make_unique<Capturer>(*platform, *host);
        // Away from the corners, so the overlay's panel starts at the top-left.
        platform->input().WarpPointer(Point{size.width / 2, size.height / 2});
        platform->input().Sync();
        ASSERT_TRUE(WaitUntil([&] { return !testing::PanelShown(*platform, 0, false); }));
    }
    // The pattern as the cover shows it at screen rectangle r.
    QImage Pattern(const Rect& r) const {
        return cover->picture().copy(r.left, r.top, r.Width(), r.Height());
    }
    void ExpectNothingCaptured(int result) {
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(host->documents.empty());
        EXPECT_FALSE(host->Logged("clipboard"));
        EXPECT_FALSE(host->Logged("sound /opt/glimmora/capture.wav"));
        EXPECT_EQ(host->LastShow(), "ShowNoActivate");
    }

    std::unique_ptr<Platform> platform;
    Size size;
    std::unique_ptr<PictureWindow> cover;
    std::unique_ptr<TestHost> host;
    std::unique_ptr<Capturer> capturer;
};

TEST_F(CaptureTest, FullScreenHandsTheScreenToANewDocument) {
    ASSERT_EQ(capturer->CaptureFullScreen(), 1);
    ASSERT_EQ(host->documents.size(), 1u);
    const testing::TestDocument& doc = *host->documents[0];
    EXPECT_EQ(doc.image.Depth(), 32);
    EXPECT_TRUE(doc.modified);
    // The clipboard gets the 24-bit picture itself.
    ASSERT_EQ(host->clipboard.Depth(), 24);
    std::string why;
    EXPECT_TRUE(ShowsPicture(host->clipboard, cover->picture(), 0, 0, &why)) << why;
    EXPECT_TRUE(host->Logged("sound /opt/glimmora/capture.wav"));
    EXPECT_EQ(host->log.front(), "show Hide");
    EXPECT_EQ(host->LastShow(), "Show");
}

struct ShowCase {
    const char* name;
    bool restore;
    const char* last;
    friend std::ostream& operator<<(std::ostream& os, const ShowCase& c) { return os << c.name; }
};
class FullScreenShow : public CaptureTest, public ::testing::WithParamInterface<ShowCase> {};

TEST_P(FullScreenShow, TheMainWindowComesBackAsSet) {
    host->settings.RestoreWndAftCap = GetParam().restore;
    host->settings.HideWndBeforCap = false;
    ASSERT_EQ(capturer->CaptureFullScreen(), 1);
    EXPECT_FALSE(host->Logged("show Hide"));
    EXPECT_EQ(host->LastShow(), GetParam().last);
}

INSTANTIATE_TEST_SUITE_P(Restore, FullScreenShow,
                         ::testing::Values(ShowCase{"on", true, "Show"},
                                           ShowCase{"off", false, "ShowMinimized"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CaptureTest, TheCursorIsDrawnInOnlyWhenAsked) {
    const Point at{700, 400};
    platform->input().WarpPointer(at);
    platform->input().Sync();
    host->settings.CapAppViewMode = 2;
    for (bool include : {false, true}) {
        host->settings.IncludeCursor = include;
        ASSERT_EQ(capturer->CaptureFullScreen(), 1);
        const Image& shot = host->clipboard;
        ASSERT_GE(shot.Width(), at.x + 64);
        ASSERT_GE(shot.Height(), at.y + 64);
        // Only the neighbourhood of the pointer counts: a window another test left closing elsewhere on the
        // screen says nothing about the cursor.
        int changed = 0, left = 1 << 30, top = 1 << 30;
        for (int y = at.y - 16; y < at.y + 64; ++y)
            for (int x = at.x - 16; x < at.x + 64; ++x) {
                uint8_t b, g, r;
                testing::PatternPixel(x, y, b, g, r);
                if (shot.PixelValue(x, y) != static_cast<uint32_t>(b | g << 8 | r << 16)) {
                    ++changed;
                    left = std::min(left, x);
                    top = std::min(top, y);
                }
            }
        if (!include) {
            EXPECT_EQ(changed, 0);
            continue;
        }
        EXPECT_GT(changed, 10);
        EXPECT_GE(left, at.x);
        EXPECT_GE(top, at.y);
        EXPECT_LE(left, at.x + 8);
        EXPECT_LE(top, at.y + 8);
    }
}

TEST_F(CaptureTest, ADraggedRegionIsTakenFromTheSnapshot) {
    int result = 0;
    {
        OverlayDriver driver(false, [](Platform& p) {
            p.input().WarpPointer(Point{300, 200});
            p.input().Button(1, true);
            p.input().WarpPointer(Point{250, 120});
            p.input().WarpPointer(Point{100, 50});
            p.input().Button(1, false);
            p.input().Sync();
        });
        result = capturer->CaptureRegion();
        EXPECT_TRUE(driver.ready()) << "the overlay never took input";
    }
    ASSERT_EQ(result, 1);
    ASSERT_EQ(host->documents.size(), 1u);
    const Image& shot = host->clipboard;
    ASSERT_EQ(shot.Width(), 200);
    ASSERT_EQ(shot.Height(), 150);
    std::string why;
    EXPECT_TRUE(ShowsPicture(shot, Pattern(Rect{100, 50, 300, 200}), 0, 0, &why)) << why;
    EXPECT_TRUE(host->Logged("invalidate"));
    EXPECT_EQ(host->LastShow(), "Show");
}

TEST_F(CaptureTest, ArrowKeysMoveTheSelectionOnePixelAndEnterDoesNotConfirm) {
    int result = 0;
    {
        OverlayDriver driver(false, [](Platform& p) {
            p.input().WarpPointer(Point{400, 300});
            p.input().Button(1, true);
            p.input().WarpPointer(Point{500, 380});
            p.input().Sync();
            testing::Key("Return");
            testing::Key("Right Right Down");
            testing::Key("Left");
            // The keys come on another connection and the overlay moves the pointer as it handles them:
            // the release must wait until it has, or it races them.
            testing::PollUntil([&] {
                Point at{};
                return p.screen().PointerPosition(at) && at == Point{501, 381};
            });
            p.input().Button(1, false);
            p.input().Sync();
        });
        result = capturer->CaptureRegion();
        EXPECT_TRUE(driver.ready()) << "the overlay never took input";
    }
    ASSERT_EQ(result, 1);
    EXPECT_EQ(host->clipboard.Width(), 101);
    EXPECT_EQ(host->clipboard.Height(), 81);
}

TEST_F(CaptureTest, CancelledOrEmptyRegionsCaptureNothing) {
    struct Case {
        const char* name;
        std::function<void(Platform&)> steps;
    };
    const std::vector<Case> cases = {
        {"esc while dragging",
         [](Platform& p) {
             p.input().WarpPointer(Point{300, 300});
             p.input().Button(1, true);
             p.input().WarpPointer(Point{400, 400});
             p.input().Sync();
             testing::Key("Escape");
             p.input().Button(1, false);
             p.input().Sync();
         }},
        {"right click",
         [](Platform& p) {
             Click(p, Point{500, 500}, 3);
         }},
        {"click without drag",
         [](Platform& p) {
             Click(p, Point{500, 500}, 1);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host->log.clear();
        int result = -1;
        {
            OverlayDriver driver(false, c.steps);
            result = capturer->CaptureRegion();
            EXPECT_TRUE(driver.ready()) << "the overlay never took input";
        }
        ExpectNothingCaptured(result);
        ASSERT_TRUE(WaitUntil([&] { return !testing::PanelShown(*platform, 1, false); }));
    }
}

TEST_F(CaptureTest, AFixedRectangleIsClippedToTheScreen) {
    host->settings.FixRectWidth = 100;
    host->settings.FixRectHeight = 100;
    int result = 0;
    {
        OverlayDriver driver(false, [](Platform& p) { Click(p, Point{10, 10}); });
        result = capturer->CaptureFixRect();
        EXPECT_TRUE(driver.ready()) << "the overlay never took input";
    }
    ASSERT_EQ(result, 1);
    ASSERT_EQ(host->clipboard.Width(), 60);
    ASSERT_EQ(host->clipboard.Height(), 60);
    EXPECT_TRUE(ShowsPicture(host->clipboard, Pattern(Rect{0, 0, 60, 60}), 0, 0));
}

TEST_F(CaptureTest, RightClickInTheFixedRectangleOverlayCapturesNothing) {
    int result = -1;
    {
        OverlayDriver driver(false, [](Platform& p) {
            p.input().WarpPointer(Point{600, 600});
            Click(p, Point{620, 610}, 3);
        });
        result = capturer->CaptureFixRect();
        EXPECT_TRUE(driver.ready()) << "the overlay never took input";
    }
    ExpectNothingCaptured(result);
}

TEST_F(CaptureTest, AWindowIsCapturedWithItsFrame) {
    cover.reset();  // a managed window would stay beneath it
    PictureWindow win(testing::PatternImage(300, 200, 9), QRect(500, 300, 300, 200), true, "window capture");
    ASSERT_TRUE(win.ShowAndWait(*platform));
    const auto id = static_cast<WindowId>(win.id());
    Rect client, frame;
    ASSERT_TRUE(platform->windows().ClientRect(id, client));
    ASSERT_TRUE(platform->windows().WindowRect(id, frame));
    host->settings.HideWndBeforCap = false;  // this mode hides the main window all the same
    int result = 0;
    {
        OverlayDriver driver(true, [&](Platform& p) { Click(p, Point{client.left + 20, client.top + 20}); });
        result = capturer->CaptureWindow();
        EXPECT_TRUE(driver.ready()) << "the overlay never took input";
    }
    ASSERT_EQ(result, 1);
    EXPECT_EQ(host->log.front(), "show Hide");
    const Image& shot = host->clipboard;
    EXPECT_EQ(shot.Width(), frame.Width());
    EXPECT_EQ(shot.Height(), frame.Height());
    std::string why;
    EXPECT_TRUE(ShowsPicture(shot, win.picture(), client.left - frame.left, client.top - frame.top, &why))
        << why;
}

TEST_F(CaptureTest, AWindowNamedByAnotherProgramIsGrabbedAtOnce) {
    cover.reset();
    PictureWindow win(testing::PatternImage(200, 150, 5), QRect(400, 300, 200, 150), true, "by message");
    ASSERT_TRUE(win.ShowAndWait(*platform));
    const auto id = static_cast<WindowId>(win.id());
    Rect client, frame;
    ASSERT_TRUE(platform->windows().ClientRect(id, client));
    ASSERT_TRUE(platform->windows().WindowRect(id, frame));
    ASSERT_EQ(capturer->CaptureWindowByMessage(id), 1);
    // Neither hidden nor delayed first; the clipboard before the 200 ms wait, shown normally at the end.
    EXPECT_FALSE(host->Logged("show Hide"));
    ASSERT_GE(host->log.size(), 3u);
    EXPECT_EQ(host->log[0], "clipboard");
    EXPECT_EQ(host->log[1], "wait 200");
    EXPECT_EQ(host->LastShow(), "ShowNormal");
    EXPECT_EQ(host->clipboard.Width(), frame.Width());
    EXPECT_TRUE(
        ShowsPicture(host->clipboard, win.picture(), client.left - frame.left, client.top - frame.top));
    host->log.clear();
    EXPECT_EQ(capturer->CaptureWindowByMessage(0x7ffff00), 0);
    EXPECT_EQ(host->LastShow(), "ShowNormal");
    EXPECT_EQ(host->documents.size(), 1u);
}

TEST_F(CaptureTest, ARequestDuringACaptureIsIgnored) {
    int nested = -1, result = -1;
    QTimer::singleShot(0, [&] { nested = capturer->CaptureFullScreen(); });
    {
        OverlayDriver driver(false, [](Platform& p) { Click(p, Point{500, 500}, 3); });
        result = capturer->CaptureRegion();
        EXPECT_TRUE(driver.ready()) << "the overlay never took input";
    }
    EXPECT_EQ(nested, 0);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(host->documents.empty());
}

class ActiveWindowTest : public CaptureTest {
  protected:
    WindowId StartXterm(const std::string& geometry) {
        xterm = std::make_unique<testing::Child>(std::vector<std::string>{
            "xterm", "-geometry", geometry, "-e", "sh", "-c", "echo active window test; sleep 600"});
        const WindowId id = testing::FindWindowOfPid(xterm->pid());
        if (!id) return 0;
        platform->windows().Activate(id);
        WaitUntil([&] { return platform->windows().ActiveWindow() == id; });
        return id;
    }
    std::unique_ptr<testing::Child> xterm;
};

TEST_F(ActiveWindowTest, TheActiveXtermIsTakenWithItsFrame) {
    const WindowId id = StartXterm("50x10+300+200");
    ASSERT_NE(id, 0u);
    Rect frame;
    ASSERT_TRUE(platform->windows().WindowRect(id, frame));
    const Image live = testing::SettledGrab(*platform, frame);
    host->settings.IncludeCursor = true;  // never drawn in this mode
    ASSERT_EQ(capturer->CaptureActiveWindow(), 1);
    EXPECT_TRUE(host->Logged("wait 1000"));
    const Image& shot = host->clipboard;
    ASSERT_EQ(shot.Width(), frame.Width());
    ASSERT_EQ(shot.Height(), frame.Height());
    EXPECT_EQ(std::memcmp(shot.Bits(), live.Bits(), live.PixelBytes()), 0);
    EXPECT_EQ(host->log.back(), "show ShowNoActivate");
    EXPECT_EQ(host->log[host->log.size() - 2], "activate");
}

TEST_F(ActiveWindowTest, AWindowReachingPastTheTopLeftIsRefused) {
    const WindowId id = StartXterm("50x10+300+200");
    ASSERT_NE(id, 0u);
    testing::RunOutput("xdotool windowmove " + std::to_string(id) + " -40 -30");
    ASSERT_TRUE(WaitUntil([&] {
        Rect r;
        return platform->windows().WindowRect(id, r) && r.left < 0;
    }));
    host->settings.HideWndBeforCap = false;
    ExpectNothingCaptured(capturer->CaptureActiveWindow());
    EXPECT_TRUE(host->Logged("activate"));
}

// Hidden, a window without tray icon or hotkeys could not be reached again.
TEST_F(ActiveWindowTest, WithoutRestoreTheMainWindowIsMinimisedNotHidden) {
    ASSERT_NE(StartXterm("40x8+200+200"), 0u);
    host->settings.RestoreWndAftCap = false;
    ASSERT_EQ(capturer->CaptureActiveWindow(), 1);
    EXPECT_EQ(host->LastShow(), "ShowMinimized");
    EXPECT_FALSE(host->Logged("activate"));
}

// Esc during the delay ends every mode's capture with nothing taken and the window back.
TEST_F(CaptureTest, EscDuringTheDelayCancelsEveryMode) {
    const struct {
        const char* name;
        int (Capturer::*run)();
    } modes[] = {
        {"full screen", &Capturer::CaptureFullScreen}, {"region", &Capturer::CaptureRegion},
        {"window", &Capturer::CaptureWindow},          {"active window", &Capturer::CaptureActiveWindow},
        {"scroll", &Capturer::CaptureScroll},          {"fixed", &Capturer::CaptureFixRect}};
    for (const auto& m : modes) {
        SCOPED_TRACE(m.name);
        host->log.clear();
        host->escapeInWait = true;
        EXPECT_EQ(((*capturer).*m.run)(), 0);
        EXPECT_TRUE(host->documents.empty());
        EXPECT_EQ(host->LastShow(), "ShowNoActivate");
        EXPECT_FALSE(capturer->busy());
    }
}

class HandOverTest : public CaptureTest {
  protected:
    void SetUp() override {
        CaptureTest::SetUp();
        if (IsSkipped()) return;
        char pattern[] = "/tmp/glimmora-capture-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        host->settings.HideWndBeforCap = false;
        host->settings.IsAudoSave = true;
        host->settings.ImageSavePath = dir;
        host->settings.ImageSaveTitle = "Snap";
        host->settings.StartNum = 7;
        host->settings.ImageFormat = 2;
    }
    void TearDown() override {
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }
    std::string dir;
};

TEST_F(HandOverTest, AutoSaveWritesTheNumberedFileAndNamesTheDocument) {
    std::ofstream(dir + "/Snap7.png") << "someone else's";
    ASSERT_EQ(capturer->CaptureFullScreen(), 1);
    EXPECT_EQ(host->settings.StartNum, 9);
    ASSERT_EQ(host->documents.size(), 1u);
    EXPECT_EQ(host->documents[0]->path, dir + "/Snap8.png");
    // The file that was there is left alone.
    std::ifstream old(dir + "/Snap7.png");
    std::string text;
    std::getline(old, text);
    EXPECT_EQ(text, "someone else's");
    Image saved;
    SetFactory(std::make_unique<FreeImageCodecFactory>());
    ASSERT_TRUE(saved.Load(dir + "/Snap8.png"));
    EXPECT_EQ(saved.Width(), size.width);
    EXPECT_EQ(saved.Height(), size.height);
}

TEST_F(HandOverTest, TheCounterTheCloseWritesIsTheOneTheCaptureAdvanced) {
    // The capture works on the frame's own record, loaded from config.ini and written back at close.
    const std::string ini = dir + "/config.ini";
    std::ofstream(ini) << "[AudoSaveSet]\nStartNum=41\n";
    LoadAppSettings(host->settings, ini);
    host->settings.IsAudoSave = 1;
    host->settings.ImageSavePath = dir;
    host->settings.ImageFormat = 2;
    host->settings.CapDelayTime = 0;
    ASSERT_EQ(capturer->CaptureFullScreen(), 1);
    EXPECT_TRUE(std::filesystem::exists(dir + "/Snap41.png"));
    ASSERT_TRUE(WriteCloseSettings(host->settings, ini));
    AppSettings next;
    LoadAppSettings(next, ini);
    EXPECT_EQ(next.StartNum, 42);
}

TEST_F(HandOverTest, AFailedSaveIsReportedAndTheNumberStillAdvances) {
    host->settings.ImageSavePath = dir + "/no such folder";
    ASSERT_EQ(capturer->CaptureFullScreen(), 1);
    EXPECT_EQ(host->settings.StartNum, 8);
    EXPECT_TRUE(
        host->Logged("message The capture could not be saved to \"" + dir + "/no such folder/Snap7.png\"."));
    ASSERT_EQ(host->documents.size(), 1u);
    EXPECT_TRUE(host->documents[0]->path.empty());
    ASSERT_EQ(capturer->CaptureFullScreen(), 1);
    EXPECT_EQ(host->settings.StartNum, 9);
}

TEST_F(HandOverTest, ReplaceModeRecordsAnUndoStepEvenInANewDocument) {
    host->settings.IsAudoSave = false;
    host->settings.CapAppViewMode = 1;
    ASSERT_EQ(capturer->CaptureFullScreen(), 1);
    ASSERT_EQ(host->documents.size(), 1u);
    EXPECT_EQ(host->documents[0]->recorded, 1);
    ASSERT_EQ(capturer->CaptureFullScreen(), 1);
    ASSERT_EQ(host->documents.size(), 1u);
    EXPECT_EQ(host->documents[0]->recorded, 2);
    EXPECT_EQ(host->documents[0]->image.Depth(), 32);
}

TEST_F(HandOverTest, NoExportWritesTheFileAndTouchesNoDocument) {
    host->settings.CapAppViewMode = 2;
    host->settings.ImageFormat = 5;
    ASSERT_EQ(capturer->CaptureFullScreen(), 1);
    EXPECT_TRUE(host->documents.empty());
    EXPECT_FALSE(host->Logged("new document"));
    EXPECT_EQ(host->settings.StartNum, 8);
    // No extension: the save route does not know what to write, and says so.
    EXPECT_TRUE(host->Logged("message The capture could not be saved to \"" + dir + "/Snap7\"."));
}

}  // namespace
}  // namespace glimmora
