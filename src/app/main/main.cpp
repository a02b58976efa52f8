// glimmora: the main window, or a request to the one already running. A request is a plain bus call: Qt
// and the rest of the program are loaded (from glimmora-gui.so beside the program) only for the window.
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/main/file_arguments.h"
#include "app/main/gui_module.h"
#include "platform/bus_call.h"

namespace {

void PrintHelp(FILE* out) {
    std::fputs(
        "Usage: glimmora [FILE...]            start the main window and open the files in it; with\n"
        "                                     Glimmora running, the files open there instead\n"
        "       glimmora --capture MODE       ask the running Glimmora to capture; MODE is one of\n"
        "                                     full, window, region, active, scroll, fixed, text, screen\n"
        "       glimmora --record MODE        ask the running Glimmora to record the screen; MODE is\n"
        "                                     region, window or screen\n"
        "       glimmora --stop-recording     end the recording the running Glimmora makes\n"
        "       glimmora --send MSG WPARAM LPARAM\n"
        "                                     send a request to the running Glimmora:\n"
        "                                     0x464 (1124) frame the window LPARAM,\n"
        "                                     0x465 (1125) capture the window LPARAM when WPARAM is 1,\n"
        "                                       else only take the frame away,\n"
        "                                     0x466 (1126) start a capture: WPARAM 0 full screen,\n"
        "                                       1 window/object, 2 region, 3 active window\n"
        "       glimmora --version            print the version (" GLIMMORA_VERSION
        ")\n"
        "       glimmora --help               show this text\n"
        "Numbers are decimal or 0x hexadecimal. A request goes to the running Glimmora over the session\n"
        "bus (org.glimmora.Glimmora), which starts Glimmora first where it is installed with its service\n"
        "file; else as an X message to the main window on this display. With no Glimmora to take it, or\n"
        "when Glimmora refuses it (a dialog is open, it is closing), it fails with status 1 and the "
        "reason.\n",
        out);
}

bool ParseNumber(const char* text, int64_t& out) {
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 0);
    if (errno != 0 || *end != '\0') return false;
    out = v;
    return true;
}

// The module's symbol, or null with the reason on stderr.
void* GuiEntry(const char* symbol) {
    std::string path = "glimmora-gui.so";
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        exe[n] = '\0';
        if (char* slash = std::strrchr(exe, '/')) path = std::string(exe, slash + 1) + path;
    }
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    void* entry = module ? dlsym(module, symbol) : nullptr;
    if (!entry) std::fprintf(stderr, "glimmora: cannot load %s: %s\n", path.c_str(), dlerror());
    return entry;
}

// Over the session bus first (it answers refusals, and starts Glimmora where it is installed), then as an
// X client message. The bus call is the method the option names (Send when none).
enum class Method { Send, Capture, Record, StopRecording };

int Send(int argc, char** argv, const glimmora::AppMessage& message, const char* mode,
         Method method = Method::Capture) {
    std::string busReason;
    glimmora::BusDelivery delivery;
    switch (mode ? method : Method::Send) {
        case Method::Capture:
            delivery = glimmora::CaptureOverBus(mode, &busReason);
            break;
        case Method::Record:
            delivery = glimmora::RecordOverBus(mode, &busReason);
            break;
        case Method::StopRecording:
            delivery = glimmora::StopRecordingOverBus(&busReason);
            break;
        default:
            delivery = glimmora::SendOverBus(message, &busReason);
            break;
    }
    if (delivery == glimmora::BusDelivery::Taken) return 0;
    if (delivery == glimmora::BusDelivery::Refused) {
        std::fprintf(stderr, "glimmora: %s\n", busReason.c_str());
        return 1;
    }
    const auto sendOverX = reinterpret_cast<GlimmoraGuiSendOverXFn>(GuiEntry(GLIMMORA_GUI_SEND_OVER_X));
    if (!sendOverX) return 1;
    return sendOverX(argc, argv, message.message, message.wParam, message.lParam, busReason.c_str());
}

// Returns -1 when the arguments ask for the main window.
int RunRequest(int argc, char** argv) {
    if (argc < 2) return -1;
    const std::string first = argv[1];
    if (first == "--help" || first == "-h") {
        PrintHelp(stdout);
        return 0;
    }
    if (first == "--version" || first == "-V") {
        std::puts("glimmora " GLIMMORA_VERSION);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
    if (first == "--send") {
        glimmora::AppMessage m;
        int64_t msg = 0;
        if (argc != 5 || !ParseNumber(argv[2], msg) || !ParseNumber(argv[3], m.wParam) ||
            !ParseNumber(argv[4], m.lParam) || msg < 0 || msg > 0xFFFFFFFFll) {
            PrintHelp(stderr);
            return 2;
        }
        m.message = static_cast<uint32_t>(msg);
        return Send(argc, argv, m, nullptr);
    }
    if (first == "--capture") {
        if (argc == 3)
            if (const auto m = glimmora::CaptureModeRequest(argv[2])) return Send(argc, argv, *m, argv[2]);
        PrintHelp(stderr);
        return 2;
    }
    if (first == "--record") {
        if (argc == 3)
            if (const auto m = glimmora::RecordModeRequest(argv[2]))
                return Send(argc, argv, *m, argv[2], Method::Record);
        PrintHelp(stderr);
        return 2;
    }
    if (first == "--stop-recording") {
        if (argc == 2) return Send(argc, argv, glimmora::StopRecordingRequest(), "", Method::StopRecording);
        PrintHelp(stderr);
        return 2;
    }
    // Anything else starts the window, or hands the files named to the one running.
    return -1;
}

// The files go to the running Glimmora, which opens them as tabs; -1 when none runs, so this one starts.
int OpenInRunning(int argc, char** argv) {
    std::vector<std::string> files = glimmora::FileArguments(argc, argv);
    if (files.empty()) return -1;
    for (std::string& file : files) file = glimmora::AbsolutePath(file);
    std::string reason;
    switch (glimmora::OpenOverBus(files, &reason)) {
        case glimmora::BusDelivery::Taken:
            return 0;
        case glimmora::BusDelivery::Refused:
            std::fprintf(stderr, "glimmora: %s\n", reason.c_str());
            return 1;
        case glimmora::BusDelivery::NoInstance:
            break;
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    int status = RunRequest(argc, argv);
    if (status < 0) status = OpenInRunning(argc, argv);
    if (status >= 0) return status;
    const auto guiMain = reinterpret_cast<GlimmoraGuiMainFn>(GuiEntry(GLIMMORA_GUI_MAIN));
    return guiMain ? guiMain(argc, argv) : 1;
}
