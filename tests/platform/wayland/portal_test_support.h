// Shared by the portal tests: programs beside the test, waits on conditions, temporary folders and a
// private session bus on which no portal runs.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "image/image.h"

extern char** environ;

namespace glimmora::test {

// A program running beside the test, ended when the test ends.
class Child {
  public:
    explicit Child(std::vector<std::string> args) {
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) pid_ = 0;
    }
    ~Child() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    bool Started() const { return pid_ > 0; }

  private:
    pid_t pid_ = 0;
};

template <class Condition>
bool WaitFor(Condition condition, int seconds = 60) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

inline std::string Run(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
        ::pclose(p);
    }
    return out;
}

class TempDir {
  public:
    TempDir() {
        char pattern[] = "/tmp/glimmora-portal-test.XXXXXX";
        path_ = ::mkdtemp(pattern) ? pattern : "";
    }
    ~TempDir() {
        if (!path_.empty()) Run("rm -rf '" + path_ + "'");
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

inline bool SamePixels(const Image& a, const Image& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.Depth() != b.Depth()) return false;
    for (int y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.Row(y), b.Row(y), static_cast<size_t>(a.Width()) * 3) != 0) return false;
    return true;
}

// A bus of our own on which no portal runs (no services to start either).
class BareBus {
  public:
    explicit BareBus(const std::string& folder) {
        const std::string config = folder + "/bus.conf";
        std::ofstream(config)
            << "<busconfig><type>session</type><listen>unix:dir=" << folder
            << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
               "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
               "<allow own=\"*\"/></policy></busconfig>";
        const std::string info =
            Run("dbus-daemon --config-file='" + config + "' --fork --print-address=1 --print-pid=1");
        const size_t line = info.find('\n');
        if (line == std::string::npos) return;
        address_ = info.substr(0, line);
        pid_ = std::atoi(info.c_str() + line + 1);
    }
    ~BareBus() {
        if (pid_ > 0) ::kill(pid_, SIGTERM);
    }
    const std::string& address() const { return address_; }
    bool Owned(const std::string& name) const {
        return Run("dbus-send --bus='" + address_ +
                   "' --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus "
                   "org.freedesktop.DBus.NameHasOwner string:" +
                   name)
                   .find("boolean true") != std::string::npos;
    }

  private:
    std::string address_;
    pid_t pid_ = 0;
};

}  // namespace glimmora::test
