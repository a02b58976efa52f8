// What a screen recording reads from: the platform names the desktop's way of delivering frames, and the
// recorder (src/record/) turns it into a GStreamer source. No GStreamer here, no desktop there.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/types.h"

namespace glimmora {

// What the user asked to record. With none of rect, window or screen set: the whole screen.
struct CastRequest {
    enum class Kind { Screen, Monitor, Rect, Window } kind = Kind::Screen;
    Rect rect;            // Rect: in screen pixels
    WindowId window = 0;  // Window: followed wherever it moves
    int monitor = 0;      // Monitor: an index into Screen::Layout().monitors
    bool cursor = false;  // the pointer drawn into the frames
};

struct CastSource {
    enum class Kind {
        XImage,  // GStreamer's ximagesrc on the X display `display`
        Frames,  // frames grabbed by the platform, one call of `grab` each
    } kind = Kind::XImage;
    std::string display;  // XImage: the display name, as XOpenDisplay takes it
    Rect rect;            // XImage: the screen rectangle (empty when `xid` is recorded)
    uint32_t xid = 0;     // XImage: the window whose contents are recorded, followed when it moves
    bool cursor = false;  // XImage: ximagesrc draws the pointer (XFixes)
    Size size;            // the frames' size in pixels
    // Frames: fills the image (24 or 32 bits, `size`) with the next frame; false ends the recording.
    std::function<bool(Image&)> grab;
    // Polled while recording: false once the recorded thing is gone (its window closed); the recording
    // then ends cleanly.
    std::function<bool()> alive;
    // What ended the source, for the user, once alive() said false.
    std::string goneReason;
};

}  // namespace glimmora
