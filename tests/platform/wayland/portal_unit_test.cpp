// The parts of the portal clients that need no session: the triggers proposed for stored combinations
// and which of the portal's files are ours to remove.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/wayland/portal_screenshot.h"
#include "platform/wayland/portal_shortcuts.h"
#include "platform/x11/x11_hotkeys.h"

// From Xlib, declared here: its header's macros (None, Status) break gtest's.
extern "C" unsigned long XStringToKeysym(const char* name);

namespace glimmora {
namespace {

TEST(PortalTrigger, ModifiersThenTheKeysymName) {
    const struct {
        uint32_t key, mask;
        const char* trigger;
    } cases[] = {
        {70, 6, "CTRL+SHIFT+f"},
        {65, 5, "ALT+SHIFT+a"},
        {88, 0, "x"},
        {48, 7, "CTRL+ALT+SHIFT+0"},
        {112, 0, "F1"},
        {135, 2, "CTRL+F24"},
        {44, 1, "ALT+Print"},
        {36, 3, "CTRL+ALT+Home"},
        {34, 4, "SHIFT+Page_Down"},
        {101, 2, "CTRL+KP_5"},
        {189, 6, "CTRL+SHIFT+minus"},
        {32, 1, "ALT+space"},
        {0, 0, ""},  // a mode without a combination
        {0, 6, ""},
        {7, 2, ""},  // no key of that code
        {255, 2, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(PortalTrigger(c.key, c.mask), c.trigger) << c.key << " " << c.mask;
}

// Every key the X11 hotkeys can take gets a trigger, and its name means the same keysym there.
TEST(PortalTrigger, NamesTheSameKeysAsTheX11Hotkeys) {
    for (uint32_t key = 0; key < 256; ++key) {
        const std::string name = PortalTrigger(key, 0);
        const unsigned long x11 = x11::KeysymOfVirtualKey(key);
        EXPECT_EQ(name.empty(), x11 == 0) << key << " " << name;
        if (!name.empty()) {
            EXPECT_EQ(XStringToKeysym(name.c_str()), x11) << key << " " << name;
        }
    }
}

TEST(PortalScreenshot, OnlyOurOwnFilesDirectlyInATemporaryFolderAreRemoved) {
    char pattern[] = "/tmp/glimmora-portal-test.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    const std::string inTemp = dir + ".png";  // beside the folder, directly in /tmp
    const std::string link = dir + ".link.png";
    std::ofstream(inTemp) << "x";
    std::ofstream(dir + "/nested.png") << "x";
    ASSERT_EQ(::symlink(inTemp.c_str(), link.c_str()), 0);
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "/nonexistent";
    const struct {
        std::string path;
        bool removable;
    } cases[] = {
        {inTemp, true},
        {dir + "/nested.png", false},
        {link, false},
        {dir + "/missing.png", false},
        {home + "/Pictures/Screenshot.png", false},
        {"relative.png", false},
        {"/tmp", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsPortalTemporaryFile(c.path), c.removable) << c.path;
    ::unlink(inTemp.c_str());
    ::unlink(link.c_str());
    ::unlink((dir + "/nested.png").c_str());
    ::rmdir(dir.c_str());
}

}  // namespace
}  // namespace glimmora
