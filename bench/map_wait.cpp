// Times how long a program takes to put a window on the screen: from starting a command (or pressing a key
// through XTest) to the first new top-level window mapped, and optionally until a file appears.
//   map_wait [--key KEYSYM_NAME[+...]] [--file PATH] [--exit] [--no-map] -- COMMAND ARGS...
// --exit waits for the command to end instead (for tools that write their file and quit).
// Prints the milliseconds and leaves the command running (its pid on the second line) for the caller to stop.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {
using Clock = std::chrono::steady_clock;

xcb_keycode_t KeycodeFor(xcb_connection_t* c, const char* name) {
    // Only the names the benchmarks use: letters, Control_L, Shift_L.
    xcb_keysym_t sym = 0;
    if (std::strlen(name) == 1)
        sym = static_cast<unsigned char>(std::tolower(name[0]));
    else if (std::strcmp(name, "ctrl") == 0)
        sym = 0xffe3;
    else if (std::strcmp(name, "shift") == 0)
        sym = 0xffe1;
    const xcb_setup_t* setup = xcb_get_setup(c);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* map =
        xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), nullptr);
    if (!map) return 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
    xcb_keycode_t found = 0;
    for (int k = 0; k < count && !found; ++k)
        for (int i = 0; i < map->keysyms_per_keycode; ++i)
            if (syms[k * map->keysyms_per_keycode + i] == sym)
                found = static_cast<xcb_keycode_t>(setup->min_keycode + k);
    std::free(map);
    return found;
}
}  // namespace

int main(int argc, char** argv) {
    std::string keys, file;
    bool waitMap = true;
    bool waitExit = false;
    int i = 1;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--key") == 0 && i + 1 < argc)
            keys = argv[++i];
        else if (std::strcmp(argv[i], "--file") == 0 && i + 1 < argc)
            file = argv[++i];
        else if (std::strcmp(argv[i], "--no-map") == 0)
            waitMap = false;
        else if (std::strcmp(argv[i], "--exit") == 0)
            waitExit = true;
    }
    std::vector<char*> command(argv + std::min(i + 1, argc), argv + argc);
    command.push_back(nullptr);
    // A tool that never shows its window must not stall the whole run: give up after 30 s (no figure).
    alarm(30);
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) return 2;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    std::vector<xcb_keycode_t> codes;
    for (size_t start = 0; !keys.empty() && start <= keys.size();) {
        const size_t plus = keys.find('+', start);
        codes.push_back(KeycodeFor(c, keys.substr(start, plus - start).c_str()));
        if (plus == std::string::npos) break;
        start = plus + 1;
    }
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));

    const auto t0 = Clock::now();
    pid_t pid = 0;
    // The command's output goes nowhere: it outlives us, and our caller reads our output to its end.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (command.size() > 1 && posix_spawnp(&pid, command[0], &actions, nullptr, command.data(), environ) != 0)
        return 2;
    posix_spawn_file_actions_destroy(&actions);
    for (xcb_keycode_t k : codes) xcb_test_fake_input(c, XCB_KEY_PRESS, k, XCB_CURRENT_TIME, root, 0, 0, 0);
    for (auto it = codes.rbegin(); it != codes.rend(); ++it)
        xcb_test_fake_input(c, XCB_KEY_RELEASE, *it, XCB_CURRENT_TIME, root, 0, 0, 0);
    xcb_flush(c);
    double mapped = -1;
    while (waitMap) {
        xcb_generic_event_t* e = xcb_wait_for_event(c);
        if (!e) return 3;
        const bool isMap = (e->response_type & 0x7f) == XCB_MAP_NOTIFY;
        std::free(e);
        if (isMap) {
            mapped = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
            break;
        }
    }
    double written = -1;
    if (!file.empty()) {
        struct stat st {};
        while (stat(file.c_str(), &st) != 0 || st.st_size == 0) usleep(200);
        written = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    }
    if (waitExit && pid > 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        written = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    }
    std::printf("%.1f\n%d\n", written >= 0 ? written : mapped, static_cast<int>(pid));
    xcb_disconnect(c);
    return 0;
}
