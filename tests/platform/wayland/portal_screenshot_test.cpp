// The desktop portal on the test session: screenshots with the same pixels grim reads, clear failures
// when no portal can be reached, no global shortcuts. No application object here: the calls must bring
// their own, as in glimmora-cli.
#include "platform/wayland/portal_screenshot.h"
#include "platform/wayland/portal_shortcuts.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdlib>
#include <string>

#include "image/codecs/image_codec.h"
#include "portal_test_support.h"

namespace glimmora {
namespace {

using namespace test;

bool GrimPicture(const std::string& path, Image& out) {
    if (std::system(("grim -t png '" + path + "'").c_str()) != 0) return false;
    FreeImageCodecFactory factory;
    return LoadFirstFrame(factory, path, out) && out.ConvertDepth(24);
}

TEST(PortalScreenshot, MatchesGrimPixelForPixel) {
    ASSERT_NE(std::getenv("WAYLAND_DISPLAY"), nullptr) << "run inside the Wayland test session";
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    // Text in the top-left corner, so rows upside down or channels swapped show.
    Child terminal({"foot", "-e", "sh", "-c", "seq 1 40; exec sleep 600"});
    ASSERT_TRUE(terminal.Started());
    Image before, after;
    // Settled: two grabs in a row agree, and the terminal's text is there.
    ASSERT_TRUE(WaitFor([&] {
        Image first;
        return GrimPicture(dir.path() + "/a.png", first) && GrimPicture(dir.path() + "/b.png", before) &&
               SamePixels(first, before) && first.PixelValue(0, 0) != first.PixelValue(1919, 1079);
    })) << "the terminal did not show";

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        Image shot;
        std::string error;
        ASSERT_TRUE(PortalScreenshot(shot, &error)) << error;
        EXPECT_EQ(shot.Width(), 1920);
        EXPECT_EQ(shot.Height(), 1080);
        EXPECT_EQ(shot.Depth(), 24);
        ASSERT_TRUE(GrimPicture(dir.path() + "/c.png", after));
        EXPECT_TRUE(SamePixels(before, after)) << "the screen changed during the test";
        EXPECT_TRUE(SamePixels(shot, after)) << "the portal's picture differs from grim's";
        // This portal hands over a file in /tmp, which is ours to remove.
        EXPECT_NE(::access("/tmp/out.png", F_OK), 0) << "the portal's file was left behind";
    }
}

TEST(PortalScreenshot, UnreachablePortalIsAnErrorWithAReason) {
    TempDir dir;
    BareBus bare(dir.path());
    ASSERT_FALSE(bare.address().empty());
    // The program's own application object is used when there is one.
    int argc = 1;
    char name[] = "portal_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    const std::string saved =
        std::getenv("DBUS_SESSION_BUS_ADDRESS") ? std::getenv("DBUS_SESSION_BUS_ADDRESS") : "";
    const struct {
        std::string address;
        const char* reason;
    } cases[] = {
        {"unix:path=" + dir.path() + "/no-bus-here", "no D-Bus session bus"},
        {bare.address(), "no desktop portal is running"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", c.address.c_str(), 1);
        Image shot;
        ASSERT_TRUE(shot.Create(2, 2, 24));
        std::string error;
        EXPECT_FALSE(PortalScreenshot(shot, &error, 5000));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_EQ(shot.Width(), 2) << "the picture was touched";
    }
    if (saved.empty())
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    else
        ::setenv("DBUS_SESSION_BUS_ADDRESS", saved.c_str(), 1);
}

// The test session's portal lists GlobalShortcuts, since KDE's backend is installed on the machine; sway
// has none of its own, and KDE's cannot take keys under sway: told apart, with the reason. The answer
// comes through the event loop, never at once, and is kept.
TEST(PortalShortcuts, AnotherDesktopsBackendIsNotTakenForThisOnes) {
    int argc = 1;
    char name[] = "portal_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    ASSERT_EQ(qEnvironmentVariable("XDG_CURRENT_DESKTOP"), QStringLiteral("sway"));
    std::string reason;
    EXPECT_EQ(PortalShortcutsOffer(&reason), PortalOffer::Unknown);
    bool known = false;
    WhenPortalShortcutsKnown([&] { known = true; });
    EXPECT_FALSE(known) << "answered without the event loop";
    QElapsedTimer clock;
    clock.start();
    while (!known && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    ASSERT_TRUE(known);
    EXPECT_EQ(PortalShortcutsOffer(&reason), PortalOffer::Missing);
    EXPECT_EQ(reason, "the desktop portal offers no global shortcuts for this desktop");
    // Known now: a second asker is answered from what is kept, again through the event loop.
    bool again = false;
    WhenPortalShortcutsKnown([&] { again = true; });
    EXPECT_FALSE(again);
    QCoreApplication::processEvents();
    EXPECT_TRUE(again);
}

}  // namespace
}  // namespace glimmora
