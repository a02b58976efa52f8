// Keyboard lookups shared by the key grabs: keysyms to keycodes and the modifier bits of lock keys.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>

#include "platform/x11/x11_connection.h"

namespace glimmora::x11 {

inline constexpr xcb_keysym_t kNumLockKeysym = 0xFF7F;
inline constexpr xcb_keysym_t kAltLKeysym = 0xFFE9;

// The keycode that produces keysym, preferring one where it needs no Shift; 0 when no key has it.
xcb_keycode_t Keycode(Connection& conn, xcb_keysym_t keysym);
// The modifier bit a key carrying keysym sets, from the modifier mapping; 0 when it sets none.
uint16_t ModifierMaskOf(Connection& conn, xcb_keysym_t keysym);
// The bit Num Lock sets (0 when it sets none).
inline uint16_t NumLockMask(Connection& conn) {
    return ModifierMaskOf(conn, kNumLockKeysym);
}

}  // namespace glimmora::x11
