// The parts of the portal clients that need no session: the triggers proposed for stored combinations
// and which of the portal's files are ours to remove.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <cstdlib>
#include <fstream>
#include <string>

#include "image/codecs/image_codec.h"
#include "platform/gnome_keys.h"
#include "platform/key_names.h"
#include "platform/wayland/kwin_screenshot.h"
#include "platform/wayland/portal_screenshot.h"
#include "platform/wayland/portal_shortcuts.h"
#include "platform/x11/x11_hotkeys.h"
#include "portal_test_support.h"

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

// KWin hands over a window in one of Qt's image formats; each becomes the same blue-green-red pixels,
// and a short or unknown answer is refused rather than read past its end.
TEST(KWinScreenshot, EveryFormatKWinSendsBecomesTheSamePixels) {
    // Two pixels, red (10, 20, 30) and (200, 150, 100), rows padded to 12 bytes.
    const struct {
        int format;
        std::string row;
    } cases[] = {
        {4, std::string("\x1e\x14\x0a\xff\x64\x96\xc8\xff\0\0\0\0", 12)},
        {6, std::string("\x1e\x14\x0a\xff\x64\x96\xc8\xff\0\0\0\0", 12)},
        {17, std::string("\x0a\x14\x1e\xff\xc8\x96\x64\xff\0\0\0\0", 12)},
        {13, std::string("\x0a\x14\x1e\xc8\x96\x64\0\0\0\0\0\0", 12)},
        {29, std::string("\x1e\x14\x0a\x64\x96\xc8\0\0\0\0\0\0", 12)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        Image out;
        ASSERT_TRUE(ConvertKWinPixels(c.row + c.row, 2, 2, 12, c.format, out));
        ASSERT_EQ(out.Depth(), 24);
        for (int y = 0; y < 2; ++y) {
            const uint8_t* p = out.Row(y);
            EXPECT_EQ(std::vector<int>(p, p + 6), (std::vector<int>{30, 20, 10, 100, 150, 200}));
        }
        Image untouched;
        EXPECT_FALSE(ConvertKWinPixels(c.row + c.row.substr(0, 5), 2, 2, 12, c.format, untouched));
        EXPECT_FALSE(ConvertKWinPixels(c.row + c.row, 2, 2, 5, c.format, untouched));
        EXPECT_FALSE(untouched.IsValid());
    }
    Image out;
    EXPECT_FALSE(ConvertKWinPixels(std::string(64, '\0'), 2, 2, 12, 3 /* indexed */, out));
}

// What the desktops write back is read as the combination it means, so a binding equal to the one asked
// for is told apart from one the desktop changed.
TEST(DesktopTrigger, TheDesktopsWordsMeanTheStoredCombination) {
    const struct {
        const char* text;
        std::optional<KeyCombination> keys;
    } cases[] = {
        {"Ctrl+Shift+F", KeyCombination{70, 6}},  // KDE's words
        {"Shift+PgDown", KeyCombination{34, 4}},
        {"Alt+Print", KeyCombination{44, 1}},
        {"Ctrl+Alt+Del", KeyCombination{46, 3}},
        {"Ctrl+Num+5", KeyCombination{101, 2}},
        {"Ctrl+F10, Meta+F", KeyCombination{121, 2}},  // the first of several
        {"CTRL+SHIFT+f", KeyCombination{70, 6}},       // the portal's notation
        {"SHIFT+Page_Down", KeyCombination{34, 4}},
        {"<Control><Shift>f", KeyCombination{70, 6}},  // GNOME's
        {"<Alt>Print", KeyCombination{44, 1}},
        {"Meta+F", std::nullopt},  // a modifier no stored combination holds
        {"Ctrl+", std::nullopt},
        {"Ctrl+Launch", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseDesktopTrigger(c.text), c.keys) << c.text;
    // Every combination we can ask for in either notation reads back as itself.
    for (uint32_t key = 0; key < 256; ++key)
        for (uint32_t mask : {0u, 7u}) {
            for (const std::string& text : {PortalTrigger(key, mask), GnomeBinding(key, mask)})
                if (!text.empty()) {
                    EXPECT_EQ(ParseDesktopTrigger(text), (KeyCombination{key, mask})) << text;
                }
        }
    EXPECT_EQ(GnomeBinding(70, 6), "<Control><Shift>f");
    EXPECT_EQ(GnomeBinding(44, 1), "<Alt>Print");
}

// gsettings' own notation both ways, and a program path that needs quoting on the command line.
TEST(GnomeKeys, ListsAndStringsInGsettingsNotation) {
    std::vector<std::string> paths;
    ASSERT_TRUE(ParseGVariantStrings("@as []", paths));
    EXPECT_TRUE(paths.empty());
    ASSERT_TRUE(ParseGVariantStrings("['/a/custom0/', '/b/glimmora-full/']", paths));
    EXPECT_EQ(paths, (std::vector<std::string>{"/a/custom0/", "/b/glimmora-full/"}));
    ASSERT_TRUE(ParseGVariantStrings(R"(['it\'s', "say \"hi\""])", paths));
    EXPECT_EQ(paths, (std::vector<std::string>{"it's", "say \"hi\""}));
    EXPECT_FALSE(ParseGVariantStrings("['open", paths));
    EXPECT_FALSE(ParseGVariantStrings("3", paths));
    EXPECT_EQ(GVariantString("it's a \\ path"), R"('it\'s a \\ path')");
    const std::string written = GVariantString("/home/o'neil/x");
    ASSERT_TRUE(ParseGVariantStrings("[" + written + "]", paths));
    EXPECT_EQ(paths, std::vector<std::string>{"/home/o'neil/x"});
    EXPECT_EQ(DesktopCommandLine({"/usr/bin/glimmora", "--capture", "full"}),
              "/usr/bin/glimmora --capture full");
    EXPECT_EQ(DesktopCommandLine({"/opt/my apps/glimmora", "--capture", "region"}),
              "'/opt/my apps/glimmora' --capture region");
    EXPECT_EQ(DesktopCommandLine({"/home/o'neil/glimmora"}), R"('/home/o'\''neil/glimmora')");
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

// Every answer a portal can give, from a stand-in on a private bus: the real one cannot be made to refuse
// or stay silent.
TEST(PortalScreenshot, EachAnswerOfThePortalIsTakenOrRefusedWithItsReason) {
    using test::BareBus;
    using test::Child;
    test::TempDir dir;
    BareBus bus(dir.path());
    ASSERT_FALSE(bus.address().empty());
    ASSERT_EQ(::setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1), 0);

    Image picture;
    ASSERT_TRUE(picture.Create(5, 3, 24));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 15; ++x) picture.Row(y)[x] = static_cast<uint8_t>(17 * y + x);
    BuiltinCodecFactory builtin;
    auto bmp = builtin.CreateCodec(builtin.FormatFromPath("x.bmp"));
    ASSERT_TRUE(bmp);
    bmp->saveList.push_back(&picture);
    // Kept: inside a folder of its own. Removed: directly in /tmp, as the wlroots portal leaves them.
    const std::string kept = dir.path() + "/kept.bmp";
    const std::string inTemp[] = {dir.path() + ".1.bmp", dir.path() + ".2.bmp", dir.path() + ".3.bmp"};
    for (const std::string& path : {kept, inTemp[0], inTemp[1]}) ASSERT_TRUE(bmp->SaveFile(path, 0)) << path;
    std::ofstream(inTemp[2]) << "not a picture";

    const struct {
        std::vector<std::string> portal;
        const char* reason;  // empty: the picture comes through
        std::string file;
        bool fileStays;
    } cases[] = {
        {{"answer", "0", "file://" + kept}, "", kept, true},
        {{"early", "file://" + inTemp[0]}, "", inTemp[0], false},
        {{"elsewhere", "file://" + inTemp[1]}, "", inTemp[1], false},
        {{"answer", "1", "file://" + kept},
         "cancelled in the desktop's dialog; allow screenshots for Glimmora",
         kept,
         true},
        {{"answer", "2", "file://" + kept},
         "the desktop refused the screenshot; allow screenshots for Glimmora in the desktop's privacy",
         kept,
         true},
        {{"answer", "3", "file://" + kept},
         "the desktop portal ended the screenshot with code 3",
         kept,
         true},
        {{"answer", "0", "https://example.org/shot.png"}, "is not a local file", "", false},
        {{"answer", "0", "file://" + inTemp[2]}, "could not be read", inTemp[2], false},
        {{"answer", "0", "file://" + dir.path() + "/missing.bmp"}, "could not be read", "", false},
        {{"silent"},
         "did not answer within 2 seconds; if the desktop asked for permission, allow screenshots",
         "",
         false},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{STAND_IN_PORTAL};
        args.insert(args.end(), c.portal.begin(), c.portal.end());
        SCOPED_TRACE(args[1] + " " + args.back());
        {
            Child portal(args);
            ASSERT_TRUE(test::WaitFor([&] { return bus.Owned("org.freedesktop.portal.Desktop"); }));
            Image shot;
            ASSERT_TRUE(shot.Create(1, 1, 32));
            std::string error;
            const bool taken = PortalScreenshot(shot, &error, 2000);
            if (!*c.reason) {
                EXPECT_TRUE(taken) << error;
                EXPECT_TRUE(test::SamePixels(shot, picture));
            } else {
                EXPECT_FALSE(taken);
                EXPECT_NE(error.find(c.reason), std::string::npos) << error;
                EXPECT_EQ(shot.Width(), 1) << "the picture was touched";
            }
            if (!c.file.empty()) {
                EXPECT_EQ(::access(c.file.c_str(), F_OK) == 0, c.fileStays);
            }
        }
        // The next stand-in takes the name once this one has let go of it.
        ASSERT_TRUE(test::WaitFor([&] { return !bus.Owned("org.freedesktop.portal.Desktop"); }));
    }
    for (const std::string& path : inTemp) ::unlink(path.c_str());
}

// Runs the event loop until condition holds, for up to a minute.
template <class Condition>
bool Pump(Condition condition) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > 60000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// The order of the calls and what is made of the answers, from a stand-in on a private bus; the real
// portal's answers are taken in the KDE session's test (tests/desktops).
TEST(PortalShortcuts, BindsTheCombinationsTogetherAndReportsTheirPresses) {
    test::TempDir dir;
    test::BareBus bus(dir.path());
    ASSERT_FALSE(bus.address().empty());
    ASSERT_EQ(::setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1), 0);
    // No desktop named: the portal's offer is taken as it is (the stand-in has no backend behind it).
    ::unsetenv("XDG_CURRENT_DESKTOP");
    int argc = 1;
    char name[] = "portal_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QProcess portal;
    portal.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    portal.start(QStringLiteral(STAND_IN_PORTAL), {QStringLiteral("shortcuts")});
    QStringList out;
    const auto printed = [&](const QString& line) {
        return Pump([&] {
            while (portal.canReadLine()) out << QString::fromUtf8(portal.readLine()).trimmed();
            return out.contains(line);
        });
    };
    ASSERT_TRUE(printed("ready"));

    bool known = false;
    WhenPortalShortcutsKnown([&] { known = true; });
    ASSERT_TRUE(Pump([&] { return known; }));
    ASSERT_EQ(PortalShortcutsOffer(nullptr), PortalOffer::Offered);
    std::unique_ptr<PortalShortcutGrabber> grabber = PortalShortcutGrabber::Open();
    ASSERT_NE(grabber, nullptr);
    int changes = 0;
    grabber->SetBindingsChanged([&] { ++changes; });
    const struct {
        int id;
        uint32_t key, mask;
        const char* description;
        const char* bound;
    } hotkeys[] = {
        {0xC101, 70, 6, "Capture full screen", "hotkey-49409|Capture full screen|CTRL+SHIFT+f"},
        {0xC102, 87, 3, "Capture window / object", "hotkey-49410|Capture window / object|CTRL+ALT+w"},
        {0xC103, 44, 1, "Capture active Window", "hotkey-49411|Capture active Window|ALT+Print"},
        {0xC104, 120, 2, "Capture rectangle region", "hotkey-49412|Capture rectangle region|CTRL+F9"},
        {0xC105, 34, 4, "Capture scrolling window", "hotkey-49413|Capture scrolling window|SHIFT+Page_Down"},
        // No combination stored: offered without a trigger, for the user to choose one.
        {0xC106, 0, 0, "Capture fix-size Rectangle", "hotkey-49414|Capture fix-size Rectangle|"},
    };
    for (const auto& h : hotkeys) {
        grabber->Describe(h.id, h.description);
        EXPECT_TRUE(grabber->Register(h.id, h.key, h.mask)) << h.description;
        EXPECT_EQ(grabber->Binding(h.id).state, DesktopBinding::State::Waiting);
    }
    EXPECT_FALSE(grabber->Register(0xC1FF, 27, 0)) << "Esc alone offered to the portal";
    // The stand-in takes nothing with the session, so one BindShortcuts for the six.
    ASSERT_TRUE(printed("bind 6"));
    for (const auto& h : hotkeys) EXPECT_TRUE(out.contains(h.bound)) << h.bound;
    ASSERT_TRUE(Pump([&] { return grabber->Binding(0xC106).state != DesktopBinding::State::Waiting; }));
    EXPECT_GT(changes, 0);
    EXPECT_EQ(grabber->Binding(0xC101).state, DesktopBinding::State::Bound);
    EXPECT_EQ(grabber->Binding(0xC101).trigger, "CTRL+SHIFT+f");
    EXPECT_EQ(grabber->Binding(0xC105).state, DesktopBinding::State::Bound);
    EXPECT_EQ(grabber->Binding(0xC106).state, DesktopBinding::State::Unbound);

    const auto pressed = [&] {
        EXPECT_TRUE(Pump([&] {
            pollfd p{grabber->EventFd(), POLLIN, 0};
            return ::poll(&p, 1, 0) == 1;
        })) << "the event descriptor never became readable";
        return grabber->TakePressed();
    };
    portal.write("activate hotkey-49412\n");
    EXPECT_EQ(pressed(), std::vector<int>{0xC104});

    // Taken back: the desktop keeps the binding (nothing is asked of it), its presses no longer count.
    out.clear();
    grabber->Unregister(0xC104);
    portal.write("activate hotkey-49412\n");
    portal.write("activate hotkey-49409\n");
    EXPECT_EQ(pressed(), std::vector<int>{0xC101});
    EXPECT_TRUE(out.filter(QRegularExpression("^bind ")).isEmpty()) << out.join('\n').toStdString();

    // Registered again with another key: asked again, in the same session.
    EXPECT_TRUE(grabber->Register(0xC104, 121, 2));
    ASSERT_TRUE(printed("hotkey-49412|Capture rectangle region|CTRL+F10"));
    EXPECT_TRUE(out.contains("bind 6")) << out.join('\n').toStdString();
    ASSERT_TRUE(Pump([&] { return grabber->Binding(0xC104).trigger == "CTRL+F10"; }));
    EXPECT_EQ(grabber->Binding(0xC104).state, DesktopBinding::State::Bound);
    EXPECT_FALSE(out.contains("bind 6 to an unknown session"));

    grabber.reset();
    portal.closeWriteChannel();
    portal.kill();
    portal.waitForFinished();
}

}  // namespace
}  // namespace glimmora
