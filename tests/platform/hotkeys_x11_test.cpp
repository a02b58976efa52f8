// Global hotkeys against a real X server, pressed through XTest.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_keyboard.h"
#include "x11_test_support.h"

namespace glimmora {
namespace {

using testing::RunOutput;
using testing::WaitUntil;

// The keyboard modifier state the server reports (lock keys included).
uint16_t ModifierState(x11::Connection& conn) {
    auto reply = conn.Get(xcb_query_pointer_reply, xcb_query_pointer(conn.get(), conn.root()));
    return reply ? static_cast<uint16_t>(reply->mask & 0xFF) : 0;
}

// Turns a lock key on for the scope of a test and off again, whatever happens in between.
class LockOn {
  public:
    LockOn(x11::Connection& conn, const char* keysymName, uint16_t bit)
        : conn_(conn), name_(keysymName), bit_(bit) {
        if (!(ModifierState(conn_) & bit_)) RunOutput(std::string("xdotool key ") + name_);
        on_ = WaitUntil([&] { return (ModifierState(conn_) & bit_) != 0; });
    }
    ~LockOn() {
        if (ModifierState(conn_) & bit_) RunOutput(std::string("xdotool key ") + name_);
        WaitUntil([&] { return !(ModifierState(conn_) & bit_); });
    }
    bool on() const { return on_; }

  private:
    x11::Connection& conn_;
    const char* name_;
    uint16_t bit_;
    bool on_ = false;
};

class X11HotkeyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        platform = Platform::Open();
        ASSERT_NE(platform, nullptr);
        hotkeys = platform->OpenHotkeys();
        ASSERT_NE(hotkeys, nullptr);
        std::string error;
        probe = x11::Connection::Open({}, &error);
        ASSERT_NE(probe, nullptr) << error;
    }
    // Presses keys and returns the ids that arrive for them.
    std::vector<int> Press(const std::string& keys) {
        RunOutput("xdotool key " + keys);
        std::vector<int> got;
        WaitUntil([&] {
            for (int id : hotkeys->TakePressed()) got.push_back(id);
            return !got.empty();
        });
        return got;
    }
    std::unique_ptr<Platform> platform;
    std::unique_ptr<HotkeyGrabber> hotkeys;
    std::unique_ptr<x11::Connection> probe;
};

struct Combination {
    int id;
    uint32_t key, mask;
    const char* keys;  // as xdotool names them
};

TEST_F(X11HotkeyTest, RegisteredCombinationsArriveAsTheirIdsWithTheLockKeysEitherWay) {
    const Combination combinations[] = {
        {11, 70, kHotkeyCtrl | kHotkeyShift, "ctrl+shift+f"},
        {12, 81, kHotkeyAlt | kHotkeyShift, "alt+shift+q"},
        {13, 123, kHotkeyCtrl, "ctrl+F12"},
        {14, 36, kHotkeyCtrl | kHotkeyAlt, "ctrl+alt+Home"},
        {15, 44, 0, "Print"},
        {16, 189, kHotkeyCtrl, "ctrl+minus"},
        {17, 55, kHotkeyShift | kHotkeyCtrl, "ctrl+shift+7"},
    };
    for (const Combination& c : combinations) ASSERT_TRUE(hotkeys->Register(c.id, c.key, c.mask)) << c.keys;
    ASSERT_GE(hotkeys->EventFd(), 0);
    for (const Combination& c : combinations) EXPECT_EQ(Press(c.keys), std::vector<int>{c.id}) << c.keys;

    // Other modifiers than the registered ones are not the combination.
    RunOutput("xdotool key ctrl+f alt+ctrl+shift+f");
    EXPECT_EQ(Press("ctrl+shift+f"), std::vector<int>{11});

    const uint16_t numLock = x11::NumLockMask(*probe);
    ASSERT_NE(numLock, 0);
    {
        LockOn lock(*probe, "Num_Lock", numLock);
        ASSERT_TRUE(lock.on());
        EXPECT_EQ(Press("ctrl+shift+f"), std::vector<int>{11});
        LockOn caps(*probe, "Caps_Lock", XCB_MOD_MASK_LOCK);
        ASSERT_TRUE(caps.on());
        EXPECT_EQ(Press("alt+shift+q"), std::vector<int>{12});
    }
    {
        LockOn caps(*probe, "Caps_Lock", XCB_MOD_MASK_LOCK);
        ASSERT_TRUE(caps.on());
        EXPECT_EQ(Press("ctrl+F12"), std::vector<int>{13});
    }

    // Released: the key goes back to the focused window, and a later press of another one still comes.
    hotkeys->Unregister(11);
    RunOutput("xdotool key ctrl+shift+f");
    EXPECT_EQ(Press("ctrl+F12"), std::vector<int>{13});
}

TEST_F(X11HotkeyTest, KeysWithoutACounterpartAndSecondClaimsAreRefused) {
    EXPECT_FALSE(hotkeys->Register(1, 0, kHotkeyCtrl));
    EXPECT_FALSE(hotkeys->Register(2, 7, kHotkeyCtrl));  // no key has this code
    EXPECT_FALSE(hotkeys->Register(3, 400, kHotkeyCtrl));
    // The same combination for a second id stays with the first.
    ASSERT_TRUE(hotkeys->Register(4, 88, kHotkeyCtrl | kHotkeyShift));
    EXPECT_FALSE(hotkeys->Register(5, 88, kHotkeyCtrl | kHotkeyShift));
    EXPECT_EQ(Press("ctrl+shift+x"), std::vector<int>{4});
}

// Which lock variant another program holds decides which of our grabs fails first.
class X11HotkeyHeldElsewhere : public X11HotkeyTest, public ::testing::WithParamInterface<int> {};

TEST_P(X11HotkeyHeldElsewhere, IsRefusedAndLeavesNoGrabBehind) {
    const xcb_keycode_t g = x11::Keycode(*probe, 'g');
    ASSERT_NE(g, 0);
    const uint16_t numLock = x11::NumLockMask(*probe);
    ASSERT_NE(numLock, 0);
    const uint16_t variants[] = {0, XCB_MOD_MASK_LOCK, numLock,
                                 static_cast<uint16_t>(numLock | XCB_MOD_MASK_LOCK)};
    const uint16_t ctrlShift = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT;
    std::string error;
    auto other = x11::Connection::Open({}, &error);
    ASSERT_NE(other, nullptr) << error;
    ASSERT_TRUE(other->Check(xcb_grab_key_checked(other->get(), 0, other->root(),
                                                  static_cast<uint16_t>(ctrlShift | variants[GetParam()]), g,
                                                  XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));

    EXPECT_FALSE(hotkeys->Register(21, 71, kHotkeyCtrl | kHotkeyShift));

    // Nothing of ours is left: a third program gets every variant.
    auto third = x11::Connection::Open({}, &error);
    ASSERT_NE(third, nullptr) << error;
    for (int v = 0; v < 4; ++v) {
        if (v == GetParam()) continue;
        EXPECT_TRUE(third->Check(xcb_grab_key_checked(third->get(), 0, third->root(),
                                                      static_cast<uint16_t>(ctrlShift | variants[v]), g,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)))
            << "variant " << v;
    }
    third.reset();
    other.reset();
    // Once the others let go, the combination is ours and works.
    ASSERT_TRUE(WaitUntil([&] { return hotkeys->Register(21, 71, kHotkeyCtrl | kHotkeyShift); }));
    EXPECT_EQ(Press("ctrl+shift+g"), std::vector<int>{21});
}

INSTANTIATE_TEST_SUITE_P(Variants, X11HotkeyHeldElsewhere, ::testing::Values(0, 1, 2, 3));

}  // namespace
}  // namespace glimmora
