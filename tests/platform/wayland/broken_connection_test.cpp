// Our connection to the compositor after it broke: a protocol error, or a compositor that went away and
// came back. Run inside the Wayland test session; the second test starts a compositor of its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <wayland-client.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <cstdlib>
#include <string>

#include "platform/wayland/wayland_connection.h"
#include "platform/wayland/wayland_platform.h"
#include "portal_test_support.h"

namespace glimmora {
namespace {

using namespace test;

// A headless sway with its sockets in a folder of its own, as the test session starts its own.
class PrivateCompositor {
  public:
    explicit PrivateCompositor(const std::string& folder) : folder_(folder) {
        std::ofstream(folder + "/sway.conf") << "output HEADLESS-1 resolution 640x480\nxwayland disable\n";
    }
    ~PrivateCompositor() { Stop(); }
    // The path of its display socket, once it takes connections; empty when it did not start.
    std::string Start() {
        std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + folder_, "WLR_BACKENDS=headless",
                                        "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman"};
        for (char** e = environ; *e; ++e) {
            const std::string v = *e;
            if (v.rfind("WAYLAND_DISPLAY=", 0) != 0 && v.rfind("SWAYSOCK=", 0) != 0 &&
                v.rfind("XDG_RUNTIME_DIR=", 0) != 0)
                env.push_back(v);
        }
        std::vector<char*> envp;
        for (std::string& v : env) envp.push_back(v.data());
        envp.push_back(nullptr);
        std::string conf = folder_ + "/sway.conf";
        char sway[] = "sway", c[] = "-c";
        char* argv[] = {sway, c, conf.data(), nullptr};
        const std::string log = folder_ + "/sway.log";
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        const int spawned = posix_spawnp(&pid_, "sway", &files, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&files);
        if (spawned != 0) return {};
        // sway names the socket itself; the first free name in an empty folder.
        std::string socket;
        WaitFor([&] {
            const std::string found = Run("ls '" + folder_ + "' | grep -x 'wayland-[0-9]*' | head -n 1");
            if (found.empty()) return false;
            socket = folder_ + "/" + found.substr(0, found.find('\n'));
            return true;
        });
        return socket;
    }
    void Stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }

  private:
    std::string folder_;
    pid_t pid_ = 0;
};

TEST(BrokenWaylandConnection, AProtocolErrorEndsDispatching) {
    ASSERT_NE(std::getenv("WAYLAND_DISPLAY"), nullptr) << "run inside the Wayland test session";
    std::string error;
    auto conn = wayland::Connection::Open(&error);
    ASSERT_TRUE(conn) << error;
    // An event queued behind the compositor's error: binding a global that does not exist is one.
    wl_display* display = conn->display();
    wl_callback* sync = wl_display_sync(display);
    wl_registry* registry = wl_display_get_registry(display);
    auto* missing = static_cast<wl_proxy*>(wl_registry_bind(registry, 0xFFFFFF, &wl_output_interface, 1));
    wl_display_flush(display);
    pollfd p{wl_display_get_fd(display), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 10000), 1) << "the compositor did not answer";
    // In a process of its own, so a dispatch that never returns fails the test instead of hanging it.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        conn->DispatchPending();
        conn->DispatchPending();
        std::_Exit(wl_display_get_error(display) != 0 ? 0 : 2);
    }
    int status = -1;
    const bool ended = WaitFor([&] { return waitpid(child, &status, WNOHANG) == child; }, 20);
    if (!ended) {
        ::kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    EXPECT_TRUE(ended) << "dispatching went on for good after the protocol error";
    EXPECT_TRUE(ended && WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the error was not seen";
    wl_proxy_destroy(missing);
    wl_registry_destroy(registry);
    wl_callback_destroy(sync);
}

TEST(BrokenWaylandConnection, ACompositorThatLeftIsLetGoAndTheNextGrabConnectsAgain) {
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    PrivateCompositor sway(dir.path());
    const std::string socket = sway.Start();
    ASSERT_FALSE(socket.empty()) << "sway did not start";
    const std::string saved = std::getenv("WAYLAND_DISPLAY") ? std::getenv("WAYLAND_DISPLAY") : "";
    ::setenv("WAYLAND_DISPLAY", socket.c_str(), 1);
    int argc = 1;
    char name[] = "broken_connection_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    std::string error;
    std::unique_ptr<Platform> platform = OpenWaylandPlatform(&error);
    ASSERT_TRUE(platform) << error;
    Image shot;
    ASSERT_TRUE(platform->screen().Grab(Rect{0, 0, 640, 480}, shot)) << platform->screen().LastError();

    sway.Stop();
    // Nothing is left to read: the event loop comes to rest instead of being woken for good.
    QAbstractEventDispatcher* events = QAbstractEventDispatcher::instance();
    int rounds = 0;
    const bool rests = WaitFor(
        [&] {
            for (int i = 0; i < 100; ++i, ++rounds)
                if (!events->processEvents(QEventLoop::AllEvents)) return true;
            return false;
        },
        10);
    EXPECT_TRUE(rests) << "the event loop was still woken after " << rounds << " rounds";

    ASSERT_EQ(sway.Start(), socket) << "sway did not come back on the same socket";
    Image again;
    EXPECT_TRUE(platform->screen().Grab(Rect{0, 0, 640, 480}, again)) << platform->screen().LastError();
    EXPECT_EQ(again.Width(), 640);
    platform.reset();
    if (saved.empty())
        ::unsetenv("WAYLAND_DISPLAY");
    else
        ::setenv("WAYLAND_DISPLAY", saved.c_str(), 1);
}

}  // namespace
}  // namespace glimmora
