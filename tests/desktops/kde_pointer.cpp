// The pointer for the KDE test session: KWin's fake input protocol, which KWin offers only to programs
// whose launcher lists org_kde_kwin_fake_input in X-KDE-Wayland-Interfaces. Same lines as wl_pointer,
// read from stdin, each answered "ok" (or "failed") once KWin has handled it:
//   move X Y       absolute position in layout pixels
//   down N / up N  button N (1 left, 2 middle, 3 right)
//   wheel [N]      N notches (default 1) towards the user; negative ones away
// Prints "ready" first; lives until stdin closes.
#include <linux/input-event-codes.h>
#include <wayland-client.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include "fake-input-client-protocol.h"

namespace {

// Absolute motion came with version 3.
constexpr uint32_t kMinVersion = 3;

struct Globals {
    org_kde_kwin_fake_input* input = nullptr;
    uint32_t version = 0;
};

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    auto* globals = static_cast<Globals*>(data);
    if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= kMinVersion) {
        globals->version = std::min<uint32_t>(version, org_kde_kwin_fake_input_interface.version);
        globals->input = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, globals->version));
    }
}

void OnGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener = {OnGlobal, OnGlobalRemove};

uint32_t EvdevButton(int button) {
    switch (button) {
        case 1:
            return BTN_LEFT;
        case 2:
            return BTN_MIDDLE;
        case 3:
            return BTN_RIGHT;
        default:
            return 0;
    }
}

}  // namespace

int main() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "kde_pointer: no Wayland display\n");
        return 1;
    }
    Globals globals;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &globals);
    wl_display_roundtrip(display);
    if (!globals.input) {
        // KWin hides the global from programs its launchers do not grant it to.
        std::fprintf(stderr,
                     "kde_pointer: org_kde_kwin_fake_input (version %u) not offered; does a launcher "
                     "with X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input name this program?\n",
                     kMinVersion);
        wl_display_disconnect(display);
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(globals.input, "Glimmora tests",
                                         "moves the pointer for the desktop tests");
    if (wl_display_roundtrip(display) < 0) return 1;
    std::cout << "ready" << std::endl;

    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string verb;
        in >> verb;
        bool ok = false;
        if (verb == "move") {
            int x = 0, y = 0;
            if (in >> x >> y) {
                org_kde_kwin_fake_input_pointer_motion_absolute(globals.input, wl_fixed_from_int(x),
                                                                wl_fixed_from_int(y));
                ok = true;
            }
        } else if (verb == "down" || verb == "up") {
            int button = 0;
            if (in >> button && EvdevButton(button) != 0) {
                org_kde_kwin_fake_input_button(
                    globals.input, EvdevButton(button),
                    verb == "down" ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
                ok = true;
            }
        } else if (verb == "wheel") {
            int notches = 1;
            if (!(in >> notches)) notches = 1;
            // As a mouse wheel reports it: 15 units a notch, positive towards the user.
            if (notches != 0) {
                org_kde_kwin_fake_input_axis(globals.input, WL_POINTER_AXIS_VERTICAL_SCROLL,
                                             wl_fixed_from_int(15 * notches));
                ok = true;
            }
        }
        ok = ok && wl_display_roundtrip(display) >= 0;
        std::cout << (ok ? "ok" : "failed") << std::endl;
    }
    org_kde_kwin_fake_input_destroy(globals.input);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return 0;
}
