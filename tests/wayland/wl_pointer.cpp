// A pointer device for the Wayland tests: the headless compositor has none, so no window would get
// pointer events. Reads lines from stdin and answers "ok" (or "failed") to each once the compositor
// has handled it:
//   move X Y       absolute position in layout pixels
//   down N / up N  button N (1 left, 2 middle, 3 right)
//   wheel          one notch down
// It lives until stdin closes; the device goes with it.
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "platform/wayland/wayland_connection.h"

int main() {
    std::string error;
    auto conn = glimmora::wayland::Connection::Open(&error);
    if (!conn || !conn->HasVirtualPointer()) {
        std::fprintf(stderr, "wl_pointer: %s\n", conn ? "no virtual pointer offered" : error.c_str());
        return 1;
    }
    // The device appears with the first event: park the pointer so it exists from the start.
    conn->PointerMotion({0, 0});
    conn->Roundtrip();
    std::cout << "ready" << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string verb;
        in >> verb;
        bool ok = false;
        if (verb == "move") {
            int x = 0, y = 0;
            ok = static_cast<bool>(in >> x >> y) && conn->PointerMotion({x, y});
        } else if (verb == "down" || verb == "up") {
            int button = 0;
            ok = static_cast<bool>(in >> button) && conn->PointerButton(button, verb == "down");
        } else if (verb == "wheel") {
            ok = conn->PointerWheelDown();
        }
        ok = ok && conn->Roundtrip();
        std::cout << (ok ? "ok" : "failed") << std::endl;
    }
    return 0;
}
