// The recorder as a window would drive it, on the real X display: pause, resume, stop, the elapsed time
// and the callbacks, for each format; the files read back with ffprobe.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "record/recorder.h"

namespace glimmora::record {
namespace {

using Clock = std::chrono::steady_clock;

template <typename Condition>
bool WaitFor(Condition condition, double seconds = 60) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// The file's duration as ffprobe reads it; negative when it does not read.
double ProbedSeconds(const std::string& path) {
    const std::string command =
        "ffprobe -v error -show_entries format=duration -of default=noprint_wrappers=1:nokey=1 '" + path +
        "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    double seconds = -1;
    if (std::fscanf(pipe, "%lf", &seconds) != 1) seconds = -1;
    pclose(pipe);
    return seconds;
}

TEST(RecorderX11, PausedTimeIsLeftOutAndTheFileIsFinished) {
    std::string error;
    std::unique_ptr<Platform> platform = Platform::Open({}, &error);
    ASSERT_TRUE(platform) << error;
    CastRequest request;
    request.kind = CastRequest::Kind::Rect;
    request.rect = Rect{0, 0, 64, 48};
    CastSource source;
    ASSERT_TRUE(platform->OpenCast(request, source, &error)) << error;
    char folder[] = "/tmp/glimmora-recorder-XXXXXX";
    ASSERT_TRUE(mkdtemp(folder));
    for (const char* name : {"paused.webm", "paused.mp4", "paused.gif"}) {
        SCOPED_TRACE(name);
        RecordOptions options;
        options.path = std::string(folder) + "/" + name;
        ASSERT_TRUE(FormatFromPath(options.path, options.format));
        Recorder recorder;
        std::atomic<int> finished{0}, errors{0};
        recorder.OnFinished([&](const RecordResult&) { ++finished; });
        recorder.OnError([&](const std::string&) { ++errors; });
        const auto start = Clock::now();
        ASSERT_TRUE(recorder.Start(source, options, &error)) << error;
        EXPECT_EQ(recorder.State(), RecordState::Recording);
        ASSERT_TRUE(WaitFor([&] { return recorder.Elapsed() >= 0.5; }));
        recorder.Pause();
        EXPECT_EQ(recorder.State(), RecordState::Paused);
        const double atPause = recorder.Elapsed();
        // What is under test is time itself: a second passes while paused.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        EXPECT_LT(recorder.Elapsed() - atPause, 0.1) << "frames were counted while paused";
        recorder.Resume();
        EXPECT_EQ(recorder.State(), RecordState::Recording);
        ASSERT_TRUE(WaitFor([&] { return recorder.Elapsed() >= atPause + 0.5; }));
        recorder.Stop();
        ASSERT_TRUE(recorder.Wait(120000));
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        const RecordResult result = recorder.Result();
        EXPECT_TRUE(result.ok) << result.error;
        EXPECT_TRUE(result.playable);
        EXPECT_EQ(recorder.State(), RecordState::Finished);
        EXPECT_EQ(finished, 1);
        EXPECT_EQ(errors, 0);
        EXPECT_GT(result.frames, 20);
        // The file lasts what was recorded, the paused second left out.
        const double seconds = ProbedSeconds(options.path);
        EXPECT_NEAR(seconds, result.seconds, 0.15);
        EXPECT_LT(seconds, wall - 0.8);
        std::remove(options.path.c_str());
    }
    rmdir(folder);
}

TEST(RecorderX11, StartRefusesWhatCannotWorkAndRunsNothing) {
    std::string error;
    std::unique_ptr<Platform> platform = Platform::Open({}, &error);
    ASSERT_TRUE(platform) << error;
    CastRequest request;
    request.kind = CastRequest::Kind::Rect;
    request.rect = Rect{0, 0, 64, 48};
    CastSource source;
    ASSERT_TRUE(platform->OpenCast(request, source, &error)) << error;
    struct Case {
        const char* path;
        int fps;
        const char* words;
    } cases[] = {
        {"/nonexistent-folder/a.webm", 30, "cannot write /nonexistent-folder/a.webm"},
        {"/tmp/a.webm", 0, "frame rate"},
        {"/tmp/a.gif", 121, "frame rate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        RecordOptions options;
        options.path = c.path;
        ASSERT_TRUE(FormatFromPath(options.path, options.format));
        options.fps = c.fps;
        Recorder recorder;
        error.clear();
        EXPECT_FALSE(recorder.Start(source, options, &error));
        EXPECT_NE(error.find(c.words), std::string::npos) << error;
        EXPECT_EQ(recorder.State(), RecordState::Idle);
        EXPECT_TRUE(recorder.Wait(0));  // nothing to wait for
    }
    // A window that does not exist is refused by the platform before the recorder is asked.
    request.kind = CastRequest::Kind::Window;
    request.window = 0x7ffffe;
    EXPECT_FALSE(platform->OpenCast(request, source, &error));
    EXPECT_NE(error.find("no window"), std::string::npos) << error;
}

}  // namespace
}  // namespace glimmora::record
