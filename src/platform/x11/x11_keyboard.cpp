#include "platform/x11/x11_keyboard.h"

namespace glimmora::x11 {

xcb_keycode_t Keycode(Connection& conn, xcb_keysym_t keysym) {
    const xcb_setup_t* setup = xcb_get_setup(conn.get());
    const int first = setup->min_keycode, count = setup->max_keycode - setup->min_keycode + 1;
    auto map =
        conn.Get(xcb_get_keyboard_mapping_reply,
                 xcb_get_keyboard_mapping(conn.get(), setup->min_keycode, static_cast<uint8_t>(count)));
    if (!map || !map->keysyms_per_keycode) return 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
    const int length = xcb_get_keyboard_mapping_keysyms_length(map.get());
    const int per = map->keysyms_per_keycode;
    // Unshifted first: "1" is on the digit row, not on a key where it is a shifted symbol.
    for (int i = 0; i < length; i += per)
        if (syms[i] == keysym) return static_cast<xcb_keycode_t>(first + i / per);
    for (int i = 0; i < length; ++i)
        if (syms[i] == keysym) return static_cast<xcb_keycode_t>(first + i / per);
    return 0;
}

uint16_t ModifierMaskOf(Connection& conn, xcb_keysym_t keysym) {
    const xcb_keycode_t key = Keycode(conn, keysym);
    auto map = conn.Get(xcb_get_modifier_mapping_reply, xcb_get_modifier_mapping(conn.get()));
    if (!key || !map) return 0;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(map.get());
    const int perModifier = map->keycodes_per_modifier;
    for (int mod = 0; mod < 8; ++mod)
        for (int i = 0; i < perModifier; ++i)
            if (codes[mod * perModifier + i] == key) return static_cast<uint16_t>(1u << mod);
    return 0;
}

}  // namespace glimmora::x11
