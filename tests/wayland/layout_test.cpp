// What the Wayland backend reads off the compositor without a session: sway's window tree, the output
// transforms and the layout's mapping to picture pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "platform/layout.h"
#include "platform/wayland/sway_windows.h"
#include "platform/wayland/wayland_connection.h"

namespace glimmora {
inline bool operator==(const Rect& a, const Rect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
}  // namespace glimmora

namespace glimmora::wayland {
namespace {

// A tree as sway 1.7 prints it, cut to what we read: two tiled views with title bars, a floating one on
// top, a view on a workspace not shown, and the scratchpad.
std::string Tree(bool overlay) {
    const std::string view = R"({"id": %ID%, "type": "con", "pid": %PID%, "visible": %VIS%, "focused": %FOC%,
        "fullscreen_mode": %FS%, "rect": {"x": %X%, "y": %Y%, "width": %W%, "height": %H%},
        "window_rect": {"x": 2, "y": 0, "width": %IW%, "height": %IH%},
        "deco_rect": {"x": 0, "y": 0, "width": %W%, "height": %DH%}, "nodes": [], "floating_nodes": []})";
    auto make = [&](int id, int pid, bool visible, bool focused, int fs, int x, int y, int w, int h,
                    int deco) {
        std::string s = view;
        auto put = [&](const std::string& key, const std::string& value) {
            for (size_t at; (at = s.find(key)) != std::string::npos;) s.replace(at, key.size(), value);
        };
        put("%ID%", std::to_string(id));
        put("%PID%", std::to_string(pid));
        put("%VIS%", visible ? "true" : "false");
        put("%FOC%", focused ? "true" : "false");
        put("%FS%", std::to_string(fs));
        put("%X%", std::to_string(x));
        put("%Y%", std::to_string(y));
        put("%W%", std::to_string(w));
        put("%H%", std::to_string(h));
        put("%IW%", std::to_string(w - 4));
        put("%IH%", std::to_string(h - 2));
        put("%DH%", std::to_string(deco));
        return s;
    };
    // Under our own full-screen overlay sway calls every other view invisible.
    const bool shown = !overlay;
    return R"({"id": 1, "type": "root", "name": "root", "nodes": [
        {"id": 2, "type": "output", "name": "__i3", "nodes": [{"id": 3, "type": "workspace", "name": "__i3_scratch",
            "nodes": [], "floating_nodes": [)" +
           make(90, 500, false, false, 0, 0, 0, 300, 300, 0) + R"(]}], "floating_nodes": []},
        {"id": 4, "type": "output", "name": "HEADLESS-1", "current_workspace": "1", "nodes": [
            {"id": 5, "type": "workspace", "name": "1", "nodes": [)" +
           make(10, 100, shown, !overlay, 0, 0, 25, 960, 1055, 25) + "," +
           make(11, 101, shown, false, 0, 960, 25, 960, 1055, 25) + R"(], "floating_nodes": [)" +
           make(12, 102, shown, false, 0, 700, 300, 400, 200, 0) +
           (overlay ? "," + make(13, 4242, true, true, 1, 0, 0, 1920, 1080, 0) : "") +
           R"(]},
            {"id": 6, "type": "workspace", "name": "2", "nodes": [)" +
           make(20, 200, false, false, 0, 0, 0, 1920, 1080, 0) + R"(], "floating_nodes": []}],
        "floating_nodes": []}], "floating_nodes": []})";
}

TEST(SwayTree, WindowsOfTheShownWorkspaceTopmostFirstWithTheirTitleBars) {
    for (const bool overlay : {false, true}) {
        SCOPED_TRACE(overlay ? "under our overlay" : "plain");
        const auto windows = ParseSwayTree(Tree(overlay), 4242);
        ASSERT_EQ(windows.size(), 3u);
        EXPECT_EQ(windows[0].id, 12u);  // floating above the tiled ones
        EXPECT_EQ(windows[1].id, 11u);
        EXPECT_EQ(windows[2].id, 10u);
        EXPECT_EQ(windows[1].frame, (Rect{960, 0, 1920, 1080}));  // the title bar belongs to the window
        EXPECT_EQ(windows[1].client, (Rect{962, 25, 1918, 1078}));
        EXPECT_EQ(windows[2].focused, !overlay);
    }
}

// On an output above the desktop's origin the title bar is still the window's; in a stack every
// sibling's bar is above the view; a view without a title bar has a deco_rect of no height.
TEST(SwayTree, TitleBarsAboveTheOriginAndInStacks) {
    const std::string tree = R"({"type": "root", "nodes": [{"type": "output", "name": "HEADLESS-2",
        "current_workspace": "2", "nodes": [{"type": "workspace", "name": "2", "layout": "splith", "nodes": [
        {"id": 30, "pid": 300, "visible": true, "rect": {"x": -1280, "y": -275, "width": 640, "height": 695},
         "window_rect": {"x": 2, "y": 0, "width": 636, "height": 693},
         "deco_rect": {"x": 0, "y": 0, "width": 640, "height": 25}, "nodes": [], "floating_nodes": []},
        {"id": 31, "layout": "stacked", "rect": {"x": -640, "y": -300, "width": 640, "height": 720}, "nodes": [
          {"id": 32, "pid": 301, "visible": true, "rect": {"x": -640, "y": -250, "width": 640, "height": 670},
           "window_rect": {"x": 2, "y": 0, "width": 636, "height": 668},
           "deco_rect": {"x": 0, "y": 25, "width": 640, "height": 25}, "nodes": [], "floating_nodes": []},
          {"id": 33, "pid": 302, "visible": false, "rect": {"x": -640, "y": -250, "width": 640, "height": 670},
           "window_rect": {"x": 2, "y": 0, "width": 636, "height": 668},
           "deco_rect": {"x": 0, "y": 0, "width": 640, "height": 25}, "nodes": [], "floating_nodes": []}],
         "floating_nodes": []}],
        "floating_nodes": [
        {"id": 34, "pid": 303, "visible": true, "rect": {"x": -1000, "y": -200, "width": 300, "height": 200},
         "window_rect": {"x": 2, "y": 0, "width": 296, "height": 198},
         "deco_rect": {"x": 0, "y": 0, "width": 300, "height": 0}, "nodes": [], "floating_nodes": []}]}]}]})";
    const auto windows = ParseSwayTree(tree, 1);
    ASSERT_EQ(windows.size(), 3u);
    EXPECT_EQ(windows[0].id, 34u);
    EXPECT_EQ(windows[0].frame, (Rect{-1000, -200, -700, 0}));
    EXPECT_EQ(windows[1].id, 32u);
    EXPECT_EQ(windows[1].frame, (Rect{-640, -300, 0, 420}));
    EXPECT_EQ(windows[2].id, 30u);
    EXPECT_EQ(windows[2].frame, (Rect{-1280, -300, -640, 420}));
    EXPECT_EQ(windows[2].client, (Rect{-1278, -275, -642, 418}));
}

TEST(SwayTree, NonsenseGivesNoWindows) {
    for (const char* text : {"", "[]", "{", "{\"nodes\": 5}", "null", "{\"nodes\": [{\"pid\": \"x\"}]}"})
        EXPECT_TRUE(ParseSwayTree(text, 1).empty()) << text;
}

TEST(OutputTransform, EveryTransformMapsTheCornersOfTheScreenOntoTheBuffer) {
    // A 4 x 2 buffer: turned outputs show it as 2 x 4.
    struct Case {
        int transform;
        Point topLeft, topRight, bottomLeft;
    } cases[] = {
        {0, {0, 0}, {3, 0}, {0, 1}}, {1, {0, 1}, {0, 0}, {3, 1}}, {2, {3, 1}, {0, 1}, {3, 0}},
        {3, {3, 0}, {3, 1}, {0, 0}}, {4, {3, 0}, {0, 0}, {3, 1}}, {5, {0, 0}, {0, 1}, {3, 0}},
        {6, {0, 1}, {3, 1}, {0, 0}}, {7, {3, 1}, {3, 0}, {0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.transform);
        const bool turned = c.transform % 2 == 1;
        const int lw = turned ? 2 : 4, lh = turned ? 4 : 2;
        EXPECT_EQ(BufferPixelFor(c.transform, 0, 0, 4, 2), c.topLeft);
        EXPECT_EQ(BufferPixelFor(c.transform, lw - 1, 0, 4, 2), c.topRight);
        EXPECT_EQ(BufferPixelFor(c.transform, 0, lh - 1, 4, 2), c.bottomLeft);
    }
}

}  // namespace
}  // namespace glimmora::wayland

namespace glimmora {
namespace {

// The desktop's rectangles into picture pixels: two monitors side by side, one left of and above the
// other, at 1, 1.25, 1.5 and 2; windows that touch in the desktop touch in the picture.
TEST(ScreenLayoutTest, RectanglesMapToPicturePixelsWithoutGapsOrOffsets) {
    const struct {
        double firstScale;
        Rect second;  // logical
        Size picture;
    } cases[] = {
        {1, Rect{1920, 0, 3200, 720}, Size{3200, 1080}},    {1, Rect{-1280, -300, 0, 420}, Size{3200, 1380}},
        {2, Rect{960, 0, 2240, 720}, Size{4480, 1440}},     {1.5, Rect{1280, 0, 2560, 720}, Size{3840, 1080}},
        {1.25, Rect{1536, 0, 2816, 720}, Size{3520, 1080}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.firstScale);
        Monitor first{
            "HEADLESS-1",
            Rect{0, 0, static_cast<int>(1920 / c.firstScale), static_cast<int>(1080 / c.firstScale)},
            Size{1920, 1080}, c.firstScale, 0};
        Monitor second{"HEADLESS-2", c.second, Size{1280, 720}, 1, 0};
        const ScreenLayout layout = ScreenLayout::Of({first, second});
        EXPECT_EQ(layout.PictureSize(), c.picture);
        // The first monitor covers exactly its device pixels when it has the highest scale.
        const Rect place = layout.PlaceOf(0);
        EXPECT_EQ(layout.scale, std::max(1.0, c.firstScale));
        EXPECT_EQ((Size{place.Width(), place.Height()}), (Size{1920, 1080}));
        EXPECT_GE(place.left, 0);
        EXPECT_GE(place.top, 0);
        // Windows side by side at every odd position: the right edge of one is the left edge of the next.
        for (int x = 1; x < 300; x += 7) {
            const Rect a = layout.ToPicture(Rect{x, 3, x + 101, 203});
            const Rect b = layout.ToPicture(Rect{x + 101, 3, x + 257, 203});
            EXPECT_EQ(a.right, b.left);
            EXPECT_LE(std::abs(a.Width() - static_cast<int>(101 * layout.scale)), 1);
        }
        // Each monitor's middle is found in the picture.
        for (size_t i = 0; i < 2; ++i) {
            const Rect p = layout.PlaceOf(i);
            EXPECT_EQ(layout.MonitorAt(Point{(p.left + p.right) / 2, (p.top + p.bottom) / 2}),
                      static_cast<int>(i));
        }
    }
}

}  // namespace
}  // namespace glimmora
