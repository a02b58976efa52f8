#include "platform/x11/x11_hotkeys.h"

#include <algorithm>

#include "platform/x11/x11_keyboard.h"

namespace glimmora::x11 {

xcb_keysym_t KeysymOfVirtualKey(uint32_t key) {
    if (key >= 'A' && key <= 'Z') return key - 'A' + 'a';
    if (key >= '0' && key <= '9') return key;
    if (key >= 112 && key <= 135) return 0xFFBE + (key - 112);  // F1..F24
    if (key >= 96 && key <= 105) return 0xFFB0 + (key - 96);    // numeric keypad 0..9
    switch (key) {
        case 8:
            return 0xFF08;  // Backspace
        case 9:
            return 0xFF09;  // Tab
        case 12:
            return 0xFF0B;  // Clear
        case 13:
            return 0xFF0D;  // Return
        case 19:
            return 0xFF13;  // Pause
        case 27:
            return 0xFF1B;  // Escape
        case 32:
            return 0x20;  // space
        case 33:
            return 0xFF55;  // Page Up
        case 34:
            return 0xFF56;  // Page Down
        case 35:
            return 0xFF57;  // End
        case 36:
            return 0xFF50;  // Home
        case 37:
            return 0xFF51;  // Left
        case 38:
            return 0xFF52;  // Up
        case 39:
            return 0xFF53;  // Right
        case 40:
            return 0xFF54;  // Down
        case 44:
            return 0xFF61;  // Print
        case 45:
            return 0xFF63;  // Insert
        case 46:
            return 0xFFFF;  // Delete
        case 93:
            return 0xFF67;  // Menu
        case 106:
            return 0xFFAA;  // keypad *
        case 107:
            return 0xFFAB;  // keypad +
        case 108:
            return 0xFFAC;  // keypad separator
        case 109:
            return 0xFFAD;  // keypad -
        case 110:
            return 0xFFAE;  // keypad decimal point
        case 111:
            return 0xFFAF;  // keypad /
        case 145:
            return 0xFF14;  // Scroll Lock
        // Punctuation keys by their unshifted symbol on a US keyboard.
        case 186:
            return ';';
        case 187:
            return '=';
        case 188:
            return ',';
        case 189:
            return '-';
        case 190:
            return '.';
        case 191:
            return '/';
        case 192:
            return '`';
        case 219:
            return '[';
        case 220:
            return '\\';
        case 221:
            return ']';
        case 222:
            return '\'';
        default:
            return 0;
    }
}

X11HotkeyGrabber::X11HotkeyGrabber(std::unique_ptr<Connection> conn) : conn_(std::move(conn)) {
    numLock_ = NumLockMask(*conn_);
    // Alt is Mod1 on nearly every keyboard map; the modifier mapping has the last word.
    if (const uint16_t alt = ModifierMaskOf(*conn_, kAltLKeysym)) alt_ = alt;
}

X11HotkeyGrabber::~X11HotkeyGrabber() {
    for (const Grab& grab : grabs_) Ungrab(grab);
    xcb_flush(conn_->get());
}

std::vector<uint16_t> X11HotkeyGrabber::LockVariants() const {
    std::vector<uint16_t> variants = {0, XCB_MOD_MASK_LOCK};
    if (numLock_)
        variants.insert(variants.end(), {numLock_, static_cast<uint16_t>(numLock_ | XCB_MOD_MASK_LOCK)});
    return variants;
}

void X11HotkeyGrabber::Ungrab(const Grab& grab) {
    for (uint16_t lock : LockVariants())
        xcb_ungrab_key(conn_->get(), grab.key, conn_->root(), static_cast<uint16_t>(grab.modifiers | lock));
}

bool X11HotkeyGrabber::Register(int id, uint32_t key, uint32_t mask) {
    Unregister(id);
    const xcb_keysym_t keysym = KeysymOfVirtualKey(key);
    if (!keysym || conn_->Broken()) return false;
    const xcb_keycode_t code = Keycode(*conn_, keysym);
    if (!code) return false;
    uint16_t modifiers = 0;
    if (mask & kHotkeyAlt) modifiers |= alt_;
    if (mask & kHotkeyCtrl) modifiers |= XCB_MOD_MASK_CONTROL;
    if (mask & kHotkeyShift) modifiers |= XCB_MOD_MASK_SHIFT;
    // The server would let us grab a combination twice and hand the second grab over the first; the
    // combination belongs to the id that took it first.
    for (const Grab& grab : grabs_)
        if (grab.key == code && grab.modifiers == modifiers) return false;

    const std::vector<uint16_t> variants = LockVariants();
    std::vector<xcb_void_cookie_t> cookies;
    for (uint16_t lock : variants)
        cookies.push_back(xcb_grab_key_checked(conn_->get(), 0, conn_->root(),
                                               static_cast<uint16_t>(modifiers | lock), code,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    // Every cookie is checked, so no error is left to arrive among the events later.
    bool all = true;
    for (xcb_void_cookie_t cookie : cookies) all = conn_->Check(cookie) && all;
    const Grab grab{id, code, modifiers};
    if (!all) {
        // Another program holds one of the variants (BadAccess): ours would work only with some lock
        // states, so none is kept. Releasing a variant we never got is harmless.
        Ungrab(grab);
        xcb_flush(conn_->get());
        return false;
    }
    grabs_.push_back(grab);
    return true;
}

void X11HotkeyGrabber::Unregister(int id) {
    auto it = std::find_if(grabs_.begin(), grabs_.end(), [id](const Grab& g) { return g.id == id; });
    if (it == grabs_.end()) return;
    Ungrab(*it);
    grabs_.erase(it);
    xcb_flush(conn_->get());
}

int X11HotkeyGrabber::EventFd() const {
    return xcb_get_file_descriptor(conn_->get());
}

std::vector<int> X11HotkeyGrabber::TakePressed() {
    std::vector<int> pressed;
    const uint16_t ignored = static_cast<uint16_t>(XCB_MOD_MASK_LOCK | numLock_);
    while (xcb_generic_event_t* event = xcb_poll_for_event(conn_->get())) {
        if ((event->response_type & 0x7F) == XCB_KEY_PRESS) {
            const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event);
            // Keyboard modifiers only: the state also carries the pointer buttons held.
            const uint16_t modifiers = press->state & 0xFF & ~ignored;
            for (const Grab& grab : grabs_)
                if (grab.key == press->detail && grab.modifiers == modifiers) {
                    pressed.push_back(grab.id);
                    break;
                }
        }
        std::free(event);
    }
    return pressed;
}

}  // namespace glimmora::x11
