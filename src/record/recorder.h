// Screen recording on GStreamer: a source the platform names (CastSource), an encoder and a muxer chosen
// by the file's format, written to the file as it goes. Made to be driven by a window as well as by
// glimmora-cli: Start, Pause, Resume, Stop, the elapsed time, and callbacks for errors and the end.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/screencast.h"

namespace glimmora::record {

enum class Format { WebM, Mp4, Gif };

// By the extension, in any letter case: .webm, .mp4, .gif. False for anything else.
bool FormatFromPath(const std::string& path, Format& out);
const char* FormatName(Format format);

struct RecordOptions {
    Format format = Format::WebM;
    std::string path;
    int fps = 30;      // 1..120
    int quality = 70;  // 1..100: higher is better and larger
};

enum class RecordState { Idle, Recording, Paused, Finishing, Finished };

// How a recording ended, once Finished.
struct RecordResult {
    bool ok = false;        // ended as asked (Stop, the window closed) with the file completed
    std::string error;      // why it stopped early, for the user; empty when ok
    std::string note;       // an end that is not an error ("the window was closed or hidden")
    bool playable = false;  // the file holds what was recorded up to the end, and plays
    double seconds = 0;     // recorded time, pauses left out
    int64_t frames = 0;     // frames that reached the encoder
    int64_t dropped = 0;    // frames the frame rate asked for that never came or were dropped
};

// The GStreamer elements a format needs that are not installed, each with its Debian package
// ("x264enc (gstreamer1.0-plugins-ugly)"); empty when everything is there.
std::string MissingElements(const CastSource& source, Format format);

class Recorder {
  public:
    Recorder();
    ~Recorder();  // stops and waits for the file to be finished
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Called on a thread of the recorder's own; a window posts them to its own thread. The error
    // callback runs once, when a recording stops on its own (a full disk, a failing encoder);
    // the finished callback runs once the file is complete, after every stop.
    void OnError(std::function<void(const std::string&)> callback);
    void OnFinished(std::function<void(const RecordResult&)> callback);

    // Checks the plugins, builds the pipeline and starts recording. False with the reason in *error
    // (a missing plugin names its package; a file that cannot be written says why); nothing runs then.
    bool Start(const CastSource& source, const RecordOptions& options, std::string* error);
    // Frames while paused are left out; the file plays on as if the pause had not been.
    void Pause();
    void Resume();
    // Ends the recording: the frames so far are encoded, the file completed. Returns at once; Wait or
    // the finished callback tell when the file is done.
    void Stop();
    // Waits up to timeoutMs (negative: for ever) for the end; true when no recording runs (Finished, or
    // never started).
    bool Wait(int timeoutMs);

    RecordState State() const;
    // Seconds recorded so far, pauses left out.
    double Elapsed() const;
    int64_t Frames() const;
    // After Finished.
    RecordResult Result() const;

    struct Impl;  // the GStreamer side, in recorder.cpp

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace glimmora::record
