// Requests other programs send to the running main window, and how they are sent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace glimmora {

struct AppMessage {
    uint32_t message = 0;  // 0x464 highlight a window, 0x465 capture a window, 0x466 start a capture
    int64_t wParam = 0;
    int64_t lParam = 0;  // a window id where a window is meant
};

// The request a capture mode by name stands for (full, window, region, active, scroll, fixed, text); none for
// any other name.
std::optional<AppMessage> CaptureModeRequest(std::string_view mode);
// The mode names, for messages: "full, window, region, active, scroll, fixed, text".
std::string CaptureModeNames();
// A recording by mode name (region, window, screen), sent as its menu command; none for any other name.
std::optional<AppMessage> RecordModeRequest(std::string_view mode);
std::string RecordModeNames();
// Ends the recording that runs.
AppMessage StopRecordingRequest();

}  // namespace glimmora
