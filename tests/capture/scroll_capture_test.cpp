// The scrolling capture of real programs: an xterm, a Qt text view and a GTK dialog, each holding
// numbered lines. Every view the window can show must appear in the stitched picture as one piece, in
// order, with the picture ending where the last view ends: a seam that repeats or drops rows breaks that.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "capture/capture_routines.h"
#include "capture/grab.h"
#include "capture/scroll_capture.h"
#include "capture_x11_support.h"
#include "image/codecs/save_route.h"

namespace glimmora {
namespace {

using testing::Child;
using testing::WaitUntil;

std::vector<uint64_t> RowHashes(const Image& image, int columns) {
    std::vector<uint64_t> out;
    for (int y = 0; y < image.Height(); ++y) {
        uint64_t h = 1469598103934665603ull;
        const uint8_t* row = image.Row(y);
        for (int i = 0; i < columns * 3; ++i) h = (h ^ row[i]) * 1099511628211ull;
        out.push_back(h);
    }
    return out;
}

// First position at or after `from` where needle's rows appear in hay; -1 for none.
int FindRows(const std::vector<uint64_t>& hay, const std::vector<uint64_t>& needle, int from) {
    for (int y = std::max(from, 0); y + static_cast<int>(needle.size()) <= static_cast<int>(hay.size()); ++y)
        if (std::equal(needle.begin(), needle.end(), hay.begin() + y)) return y;
    return -1;
}

bool SameImage(const Image& a, const Image& b) {
    return a.PixelBytes() == b.PixelBytes() && std::memcmp(a.Bits(), b.Bits(), a.PixelBytes()) == 0;
}

class ScrollTest : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        platform = Platform::Open();
        ASSERT_NE(platform, nullptr);
        char pattern[] = "/tmp/glimmora-scroll-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        std::ofstream lines(dir + "/lines.txt");
        for (int i = 1; i <= 300; ++i) lines << i << "\n";
    }
    void TearDown() override {
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }

    WindowId Start(const std::vector<std::string>& argv) {
        child = std::make_unique<Child>(argv);
        const WindowId id = testing::FindWindowOfPid(child->pid());
        if (!id) return 0;
        platform->windows().Activate(id);
        WaitUntil([&] { return platform->windows().ActiveWindow() == id; });
        platform->windows().ClientRect(id, client);
        pointer = Point{(client.left + client.right) / 2, (client.top + client.bottom) / 2};
        return id;
    }

    // One notch (button 4 up, 5 down) and the picture once it has settled; unchanged only after a while.
    Image Notch(int button, const Image& previous) {
        platform->input().WarpPointer(pointer);
        platform->input().Button(button, true);
        platform->input().Button(button, false);
        platform->input().Sync();
        Image now = testing::SettledGrab(*platform, client);
        if (SameImage(now, previous)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            now = testing::SettledGrab(*platform, client);
        }
        return now;
    }

    void ScrollToTop() {
        Image view = testing::SettledGrab(*platform, client);
        for (int i = 0; i < 300; ++i) {
            Image next = Notch(4, view);
            if (SameImage(next, view)) return;
            view = std::move(next);
        }
    }

    // Every view from the top to the end, one notch apart.
    std::vector<Image> Views() {
        ScrollToTop();
        std::vector<Image> views{testing::SettledGrab(*platform, client)};
        for (int i = 0; i < 300; ++i) {
            Image next = Notch(5, views.back());
            if (SameImage(next, views.back())) break;
            views.push_back(std::move(next));
        }
        return views;
    }

    // columns: how many columns from the left to compare (the result's width unless a scroll bar
    // inside the window would move through them).
    void ExpectStitchedShowsEveryView(const Image& stitched, int columns) {
        const int w = client.Width(), h = client.Height();
        ASSERT_EQ(stitched.Width(), w - kScrollBarWidth);
        ASSERT_GT(stitched.Height(), h) << "nothing was scrolled";
        const std::vector<Image> views = Views();
        ASSERT_GE(views.size(), 3u);
        // Rows that stay put (frames, buttons, a title) at the top and bottom of every view.
        const std::vector<uint64_t> first = RowHashes(views.front(), columns),
                                    last = RowHashes(views.back(), columns);
        int top = 0, bottom = 0;
        while (top < h && first[static_cast<size_t>(top)] == last[static_cast<size_t>(top)]) ++top;
        while (bottom < h - top &&
               first[static_cast<size_t>(h - 1 - bottom)] == last[static_cast<size_t>(h - 1 - bottom)])
            ++bottom;
        ASSERT_LT(top + bottom, h / 2) << "the views hardly differ";
        const std::vector<uint64_t> hay = RowHashes(stitched, columns);
        int at = 0;
        for (size_t i = 0; i < views.size(); ++i) {
            std::vector<uint64_t> needle = RowHashes(views[i], columns);
            needle = std::vector<uint64_t>(needle.begin() + top, needle.end() - bottom);
            const int found = FindRows(hay, needle, at);
            if (found < 0 && std::getenv("GLIMMORA_TEST_DUMP")) {
                const std::string dump = std::getenv("GLIMMORA_TEST_DUMP");
                SaveImageFile(stitched, dump + "/stitched.png");
                SaveImageFile(views[i], dump + "/view.png");
            }
            ASSERT_GE(found, 0) << "view " << i << " of " << views.size() << " is not in the picture";
            if (i == 0) {
                EXPECT_EQ(found, top);
            }
            at = found;
        }
        EXPECT_EQ(at - top + h, stitched.Height()) << "the picture does not end where the last view ends";
    }

    std::unique_ptr<Platform> platform;
    std::unique_ptr<Child> child;
    std::string dir;
    Rect client;
    Point pointer;
};

TEST_F(ScrollTest, AnXtermHoldingNumberedLines) {
    const WindowId id =
        Start({"xterm", "-geometry", "60x30+100+100", "-sl", "1000", "-e", "sh", "-c",
               "i=1; while [ $i -le 150 ]; do echo \"line $i\"; i=$((i+1)); done; sleep 600"});
    ASSERT_NE(id, 0u);
    testing::SettledGrab(*platform, client);
    ScrollToTop();
    ScrollCapture scroll(*platform);
    Image stitched;
    ASSERT_TRUE(scroll.Run(id, pointer, stitched));
    EXPECT_NE(scroll.end(), ScrollCapture::End::Limit);
    ExpectStitchedShowsEveryView(stitched, stitched.Width());
}

TEST_F(ScrollTest, AQtTextView) {
    const WindowId id = Start({GLIMMORA_SCROLL_TARGET, "150", "150", "120", "500", "400"});
    ASSERT_NE(id, 0u);
    testing::SettledGrab(*platform, client);
    ScrollCapture scroll(*platform);
    Image stitched;
    ASSERT_TRUE(scroll.Run(id, pointer, stitched));
    ExpectStitchedShowsEveryView(stitched, stitched.Width());
}

// The text scrolls between a title and buttons that stay still; at its default size a notch moves the
// text by half its pane or more.
TEST_F(ScrollTest, AGtkDialogWithButtonsBelowItsText) {
    const WindowId id =
        Start({"zenity", "--text-info", "--filename=" + dir + "/lines.txt", "--title=scroll gtk"});
    ASSERT_NE(id, 0u);
    testing::SettledGrab(*platform, client);
    ScrollCapture scroll(*platform);
    Image stitched;
    ASSERT_TRUE(scroll.Run(id, pointer, stitched));
    // The text view's own scroll bar lies inside the window, left of the strip that is cut off.
    std::string steps;
    for (int d : scroll.shifts()) steps += std::to_string(d) + " ";
    SCOPED_TRACE("end " + std::to_string(static_cast<int>(scroll.end())) + ", steps " + steps);
    ExpectStitchedShowsEveryView(stitched, stitched.Width() - 40);
}

// The dialog at 700 x 500, the wheel at the middle of its text: GTK moves the text by a fractional amount
// a notch and repaints it; the picture still runs from the first line to the 300th.
TEST_F(ScrollTest, AGtkDialogAt700By500IsStitchedDownToItsLastLine) {
    const WindowId id = Start({"zenity", "--text-info", "--filename=" + dir + "/lines.txt",
                               "--title=scroll gtk", "--width=700", "--height=500"});
    ASSERT_NE(id, 0u);
    testing::SettledGrab(*platform, client);
    ScrollCapture scroll(*platform);
    Image stitched;
    ASSERT_TRUE(scroll.Run(id, pointer, stitched));
    std::string steps;
    for (int d : scroll.shifts()) steps += std::to_string(d) + " ";
    SCOPED_TRACE("end " + std::to_string(static_cast<int>(scroll.end())) + ", steps " + steps);
    EXPECT_GT(stitched.Height(), 10 * client.Height());
    ExpectStitchedShowsEveryView(stitched, stitched.Width() - 40);
}

// The dialog at a size of its own, 300 numbered lines, on a busy machine: the dialog is held up just as
// its overlay scroll bar starts to change, so the first notch first shows that change alone and the text
// moves only later. The picture still holds every line, down to the last.
TEST_F(ScrollTest, AGtkDialogHeldUpDuringTheFirstNotchScrollsToTheEnd) {
    const WindowId id = Start({"zenity", "--text-info", "--filename=" + dir + "/lines.txt",
                               "--title=scroll gtk", "--width=600", "--height=500"});
    ASSERT_NE(id, 0u);
    // The pointer comes in from outside when the capture starts, so the scroll bar shows and fades.
    platform->input().WarpPointer(Point{client.left - 20, client.top - 40});
    testing::SettledGrab(*platform, client);
    ScrollCapture scroll(*platform);
    std::thread resume;
    int asked = 0;
    scroll.SetStopCheck([&] {
        if (++asked != 1) return false;
        // The pointer came in a moment ago: the scroll bar shows and fades again. Hold the dialog at its
        // first change, for half a second.
        Image start;
        platform->screen().Grab(client, start);
        WaitUntil([&] {
            Image now;
            platform->screen().Grab(client, now);
            return !SameImage(now, start);
        });
        kill(child->pid(), SIGSTOP);
        resume = std::thread([pid = child->pid()] {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            kill(pid, SIGCONT);
        });
        return false;
    });
    Image stitched;
    const bool ran = scroll.Run(id, pointer, stitched);
    if (resume.joinable()) resume.join();
    ASSERT_TRUE(ran);
    EXPECT_GT(asked, 1) << "the capture ended at its first notch";
    std::string steps;
    for (int d : scroll.shifts()) steps += std::to_string(d) + " ";
    SCOPED_TRACE("end " + std::to_string(static_cast<int>(scroll.end())) + ", steps " + steps);
    // 300 lines of text are far taller than ten views.
    EXPECT_GT(stitched.Height(), 10 * client.Height());
    ExpectStitchedShowsEveryView(stitched, stitched.Width() - 40);
}

// A notch shows an overlay scroll bar at once and moves the text only a moment later: the step is measured
// once the text has moved, not on the first picture that differs.
TEST_F(ScrollTest, AViewThatMovesItsTextAMomentAfterTheNotch) {
    const WindowId id = Start({GLIMMORA_SCROLL_TARGET, "80", "150", "120", "500", "400", "3", "late"});
    ASSERT_NE(id, 0u);
    testing::SettledGrab(*platform, client);
    ScrollCapture scroll(*platform);
    Image stitched;
    ASSERT_TRUE(scroll.Run(id, pointer, stitched));
    // Left of the overlay scroll bar.
    ExpectStitchedShowsEveryView(stitched, stitched.Width() - 60);
}

TEST_F(ScrollTest, AQtTextViewThatMovesMoreThanHalfItsPaneANotch) {
    const WindowId id = Start({GLIMMORA_SCROLL_TARGET, "150", "150", "120", "500", "400", "16"});
    ASSERT_NE(id, 0u);
    testing::SettledGrab(*platform, client);
    ScrollCapture scroll(*platform);
    Image stitched;
    ASSERT_TRUE(scroll.Run(id, pointer, stitched));
    ASSERT_FALSE(scroll.shifts().empty());
    EXPECT_GE(scroll.shifts().front(), client.Height() / 2);
    ExpectStitchedShowsEveryView(stitched, stitched.Width());
}

// A notch that turns a page instead of scrolling cannot be measured: the picture is the view before it,
// never its top glued to the next page's bottom.
TEST_F(ScrollTest, AStepThatCannotBeMeasuredEndsWithTheViewBeforeIt) {
    const WindowId id = Start({GLIMMORA_SCROLL_TARGET, "150", "150", "120", "500", "400", "3", "flip"});
    ASSERT_NE(id, 0u);
    const Image view = testing::SettledGrab(*platform, client);
    ScrollCapture scroll(*platform);
    Image stitched;
    ASSERT_TRUE(scroll.Run(id, pointer, stitched));
    EXPECT_EQ(scroll.end(), ScrollCapture::End::Unmeasured);
    Image expected;
    ASSERT_TRUE(GrabRect(expected, view, Rect{0, 0, client.Width() - kScrollBarWidth, client.Height()}));
    EXPECT_TRUE(SameImage(stitched, expected));
    // The page did turn.
    EXPECT_FALSE(SameImage(testing::SettledGrab(*platform, client), view));
}

// Esc is taken from the target (which quits on Esc) while the capture runs.
TEST_F(ScrollTest, EscStopsTheLoopAndNeverReachesTheTarget) {
    const WindowId id = Start({GLIMMORA_SCROLL_TARGET, "400", "150", "120", "500", "400"});
    ASSERT_NE(id, 0u);
    testing::SettledGrab(*platform, client);
    ScrollCapture scroll(*platform);
    scroll.SetMaxSteps(40);
    int asked = 0;
    scroll.SetStopCheck([&] {
        if (++asked == 4) testing::Key("Escape");
        return false;
    });
    Image stitched;
    ASSERT_TRUE(scroll.Run(id, pointer, stitched));
    EXPECT_EQ(scroll.end(), ScrollCapture::End::Stopped);
    EXPECT_TRUE(child->running()) << "Esc reached the target";
    ASSERT_GE(scroll.shifts().size(), 3u);
    EXPECT_LT(scroll.shifts().size(), 8u);
    int moved = 0;
    for (int d : scroll.shifts()) moved += d;
    // First piece, three bands, and the rest of the view below the middle line: no row twice.
    EXPECT_EQ(stitched.Height(), client.Height() + moved);
    // The picture's bottom is the view as the loop left it.
    const Image view = testing::SettledGrab(*platform, client);
    Image bottom;
    const int h = client.Height(), hh = h / 2;
    ASSERT_TRUE(GrabRect(bottom, view, Rect{0, hh + 1, stitched.Width(), h}));
    Image ours;
    ASSERT_TRUE(GrabRect(ours, stitched,
                         Rect{0, stitched.Height() - (h - hh - 1), stitched.Width(), stitched.Height()}));
    EXPECT_TRUE(SameImage(bottom, ours));
}

TEST_F(ScrollTest, APictureAtTheSizeBoundEndsThereAndLeavesNoMarkers) {
    const WindowId id = Start({GLIMMORA_SCROLL_TARGET, "400", "150", "120", "500", "400"});
    ASSERT_NE(id, 0u);
    testing::SettledGrab(*platform, client);
    ScrollCapture scroll(*platform);
    const int width = client.Width() - kScrollBarWidth;
    const uint64_t rowCost = ((static_cast<uint64_t>(width) * 3 + 3) & ~uint64_t{3}) + sizeof(void*);
    scroll.SetMaxResultBytes(rowCost * static_cast<uint64_t>(client.Height() + 150));
    Image stitched;
    ASSERT_TRUE(scroll.Run(id, pointer, stitched));
    EXPECT_EQ(scroll.end(), ScrollCapture::End::SizeLimit);
    EXPECT_GT(stitched.Height(), client.Height());
    EXPECT_LE(stitched.Height(), client.Height() + 150);
    const Image view = testing::SettledGrab(*platform, client);
    const int c = client.Width() - client.Width() / 2;
    for (int y = 0; y < view.Height(); ++y)
        for (int x : {5, 6, 7, 8, c - 4, c - 3, c - 2, c - 1}) {
            const uint32_t p = view.PixelValue(x, y);
            ASSERT_TRUE(p != 0x0000FFu && p != 0xFF0000u) << "a marker is left at " << x << ", " << y;
        }
}

TEST_F(ScrollTest, AWindowThatDoesNotScrollGivesItsVisibleArea) {
    const WindowId id = Start({GLIMMORA_SCROLL_TARGET, "5", "150", "120", "500", "400"});
    ASSERT_NE(id, 0u);
    const Image view = testing::SettledGrab(*platform, client);
    ScrollCapture scroll(*platform);
    Image stitched;
    ASSERT_TRUE(scroll.Run(id, pointer, stitched));
    EXPECT_EQ(scroll.end(), ScrollCapture::End::NoMovement);
    ASSERT_EQ(stitched.Height(), client.Height());
    Image expected;
    ASSERT_TRUE(GrabRect(expected, view, Rect{0, 0, client.Width() - kScrollBarWidth, client.Height()}));
    EXPECT_TRUE(SameImage(stitched, expected));
}

TEST_F(ScrollTest, TheScrollingModeScrollsTheWindowTheUserClicked) {
    const WindowId id = Start({GLIMMORA_SCROLL_TARGET, "60", "150", "120", "500", "400"});
    ASSERT_NE(id, 0u);
    const Image view = testing::SettledGrab(*platform, client);
    testing::TestHost host(*platform);
    host.settings.CapDelayTime = 0;
    Capturer capturer(*platform, host);
    int result = 0;
    {
        testing::OverlayDriver driver(true, [&](Platform& p) { testing::Click(p, pointer); });
        result = capturer.CaptureScroll();
        EXPECT_TRUE(driver.ready()) << "the overlay never took input";
    }
    ASSERT_EQ(result, 1);
    ASSERT_EQ(host.documents.size(), 1u);
    const Image& stitched = host.clipboard;
    EXPECT_EQ(stitched.Width(), client.Width() - kScrollBarWidth);
    EXPECT_GT(stitched.Height(), client.Height());
    // It starts with the view as it was.
    Image top, expected;
    ASSERT_TRUE(GrabRect(top, stitched, Rect{0, 0, stitched.Width(), client.Height() / 2}));
    ASSERT_TRUE(GrabRect(expected, view, Rect{0, 0, stitched.Width(), client.Height() / 2}));
    EXPECT_TRUE(SameImage(top, expected));
    EXPECT_EQ(host.log.front(), "wait 0");
    EXPECT_EQ(host.log[1], "show Hide");
    const size_t n = host.log.size();
    ASSERT_GE(n, 3u);
    EXPECT_EQ(host.log[n - 3], "activate");
    EXPECT_EQ(host.log[n - 2], "show Show");
    EXPECT_EQ(host.log[n - 1], "invalidate");
}

TEST_F(ScrollTest, CancellingTheChoiceCapturesNothing) {
    testing::TestHost host(*platform);
    host.settings.CapDelayTime = 0;
    Capturer capturer(*platform, host);
    int result = -1;
    {
        testing::OverlayDriver driver(true, [&](Platform&) { testing::Key("Escape"); });
        result = capturer.CaptureScroll();
        EXPECT_TRUE(driver.ready()) << "the overlay never took input";
    }
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(host.documents.empty());
    EXPECT_EQ(host.LastShow(), "ShowNoActivate");
}

TEST_F(ScrollTest, AVanishedWindowFails) {
    ScrollCapture scroll(*platform);
    Image stitched;
    EXPECT_FALSE(scroll.Run(0x7ffff00, Point{10, 10}, stitched));
    EXPECT_FALSE(stitched.IsValid());
}

}  // namespace
}  // namespace glimmora
