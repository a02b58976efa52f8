// record: a screen recording to WebM, MP4 or GIF until a duration passes or SIGINT/SIGTERM comes.
#include <signal.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include "app/cli/commands.h"
#include "platform/platform.h"
#include "record/recorder.h"

namespace glimmora::cli {

namespace {
bool ParseSeconds(const std::string& text, double& out) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return !text.empty() && ec == std::errc() && ptr == end && std::isfinite(out);
}

int BadArgument(const std::string& option, const std::string& value, const char* want) {
    std::fprintf(stderr, "glimmora-cli: record: %s '%s': %s\n", option.c_str(), value.c_str(), want);
    PrintUsage("record", stderr);
    return 2;
}
}  // namespace

int RunRecord(const Args& args) {
    CastRequest request;
    long long fps = 30, quality = 70;
    double duration = 0;
    bool verbose = false;
    std::string out;
    bool optionsEnd = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        const bool sourceChosen = request.kind != CastRequest::Kind::Screen;
        if (optionsEnd || a.size() <= 1 || a[0] != '-') {
            if (!out.empty()) {
                std::fprintf(stderr, "glimmora-cli: record: one output file only ('%s' and '%s')\n",
                             out.c_str(), a.c_str());
                PrintUsage("record", stderr);
                return 2;
            }
            out = a;
        } else if (a == "--") {
            optionsEnd = true;
        } else if ((a == "--rect" || a == "--window" || a == "--screen") && sourceChosen) {
            std::fprintf(stderr, "glimmora-cli: record: %s: choose one of --rect, --window and --screen\n",
                         a.c_str());
            return 2;
        } else if ((a == "--rect" || a == "--window" || a == "--screen" || a == "--fps" ||
                    a == "--duration" || a == "--quality") &&
                   !hasValue) {
            std::fprintf(stderr, "glimmora-cli: record: %s needs a value\n", a.c_str());
            PrintUsage("record", stderr);
            return 2;
        } else if (a == "--rect") {
            const std::string& v = args[++i];
            long long n[4] = {};
            const bool ok = ParseInts(v, 4, n);
            if (!ok || n[2] < 2 || n[3] < 2 || n[0] < 0 || n[1] < 0 || n[0] + n[2] > 65535 ||
                n[1] + n[3] > 65535)
                return BadArgument(a, v, "want X,Y,W,H in pixels, the corner on the screen, at least 2x2");
            request.kind = CastRequest::Kind::Rect;
            request.rect = Rect{static_cast<int>(n[0]), static_cast<int>(n[1]), static_cast<int>(n[0] + n[2]),
                                static_cast<int>(n[1] + n[3])};
        } else if (a == "--window") {
            const std::string& v = args[++i];
            uint32_t id = 0;
            if (!ParseWindow(v, id))
                return BadArgument(a, v,
                                   "want a window id, decimal or 0x... as xwininfo and xdotool print it");
            request.kind = CastRequest::Kind::Window;
            request.window = static_cast<WindowId>(id);
        } else if (a == "--screen") {
            const std::string& v = args[++i];
            long long n = 0;
            if (!ParseInt(v, n) || n < 0 || n > 64) return BadArgument(a, v, "want a screen number from 0");
            request.kind = CastRequest::Kind::Monitor;
            request.monitor = static_cast<int>(n);
        } else if (a == "--fps") {
            if (!ParseInt(args[++i], fps) || fps < 1 || fps > 120)
                return BadArgument(a, args[i], "want a whole number of frames a second from 1 to 120");
        } else if (a == "--quality") {
            if (!ParseInt(args[++i], quality) || quality < 1 || quality > 100)
                return BadArgument(a, args[i],
                                   "want a whole number from 1 (smallest file) to 100 (best picture)");
        } else if (a == "--duration") {
            if (!ParseSeconds(args[++i], duration) || duration <= 0 || duration > 86400)
                return BadArgument(a, args[i], "want seconds above 0 (3, 2.5), at most a day");
        } else if (a == "--cursor") {
            request.cursor = true;
        } else if (a == "--verbose") {
            verbose = true;
        } else {
            std::fprintf(stderr, "glimmora-cli: record: unknown option '%s'\n", a.c_str());
            PrintUsage("record", stderr);
            return 2;
        }
    }
    if (out.empty()) {
        std::fputs("glimmora-cli: record: the output file is missing (OUT.webm, OUT.mp4 or OUT.gif)\n",
                   stderr);
        PrintUsage("record", stderr);
        return 2;
    }
    record::RecordOptions options;
    if (!record::FormatFromPath(out, options.format)) {
        std::fprintf(
            stderr,
            "glimmora-cli: record: '%s': the name must end in .webm (VP9), .mp4 (H.264) or .gif, which "
            "chooses the format\n",
            out.c_str());
        return 2;
    }
    options.path = out;
    options.fps = static_cast<int>(fps);
    options.quality = static_cast<int>(quality);

    // Blocked before any thread starts, so every thread leaves them to the loop below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::string error;
    std::unique_ptr<Platform> platform = Platform::Open({}, &error);
    if (!platform) {
        std::fprintf(stderr, "glimmora-cli: record: %s\n", error.c_str());
        return 1;
    }
    CastSource source;
    if (!platform->OpenCast(request, source, &error)) {
        std::fprintf(stderr, "glimmora-cli: record: nothing was recorded: %s\n", error.c_str());
        return 1;
    }
    record::Recorder recorder;
    if (!recorder.Start(source, options, &error)) {
        std::fprintf(stderr, "glimmora-cli: record: nothing was recorded: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "glimmora-cli: recording %dx%d at %d frames a second to %s (%s)%s\n",
                 source.size.width, source.size.height, options.fps, out.c_str(),
                 record::FormatName(options.format), duration > 0 ? "" : "; Ctrl+C or SIGTERM ends it");
    bool stopping = false, firstFrame = false;
    while (!recorder.Wait(0)) {
        if (verbose && !firstFrame && recorder.Frames() > 0) {
            firstFrame = true;
            std::fputs("glimmora-cli: record: first frame in\n", stderr);
        }
        const timespec wait{0, 20'000'000};
        const int signal = sigtimedwait(&stopSignals, nullptr, &wait);
        if (signal == SIGINT || signal == SIGTERM) {
            if (stopping) std::fputs("glimmora-cli: record: still finishing the file\n", stderr);
            stopping = true;
            recorder.Stop();
        } else if (!stopping && duration > 0 && recorder.Elapsed() >= duration) {
            stopping = true;
            recorder.Stop();
        }
    }
    const record::RecordResult result = recorder.Result();
    if (!result.note.empty()) std::fprintf(stderr, "glimmora-cli: record: ended: %s\n", result.note.c_str());
    if (!result.ok) {
        std::fprintf(stderr, "glimmora-cli: record: the recording stopped after %.1f s: %s\n", result.seconds,
                     result.error.c_str());
        if (result.playable)
            std::fprintf(stderr, "glimmora-cli: record: what was recorded before that is in %s and plays\n",
                         out.c_str());
        else
            std::fprintf(stderr, "glimmora-cli: record: %s holds nothing that plays\n", out.c_str());
        return 1;
    }
    std::fprintf(stderr, "glimmora-cli: recorded %.2f s, %lld frames (%lld dropped) to %s\n", result.seconds,
                 static_cast<long long>(result.frames), static_cast<long long>(result.dropped), out.c_str());
    return 0;
}

}  // namespace glimmora::cli
