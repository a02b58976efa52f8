#include "platform/app_messages.h"

namespace glimmora {

namespace {
// Scrolling, fixed-rectangle and text captures have no mode of 0x466; they go as their menu commands
// (0x111).
constexpr struct {
    std::string_view mode;
    uint32_t message;
    int64_t wParam;
} kCaptureModes[] = {{"full", 0x466, 0},     {"window", 0x466, 1},     {"region", 0x466, 2},
                     {"active", 0x466, 3},   {"scroll", 0x111, 32921}, {"fixed", 0x111, 32929},
                     {"text", 0x111, 32961}, {"screen", 0x111, 32964}};
// The menu commands of the three recordings and of Stop (0x111).
constexpr struct {
    std::string_view mode;
    int64_t command;
} kRecordModes[] = {{"region", 33001}, {"window", 33002}, {"screen", 33003}};
constexpr int64_t kStopRecordingCommand = 33004;
}  // namespace

std::optional<AppMessage> CaptureModeRequest(std::string_view mode) {
    for (const auto& m : kCaptureModes)
        if (m.mode == mode) return AppMessage{m.message, m.wParam, 0};
    return std::nullopt;
}

std::string CaptureModeNames() {
    std::string names;
    for (const auto& m : kCaptureModes) {
        if (!names.empty()) names += ", ";
        names += m.mode;
    }
    return names;
}

std::optional<AppMessage> RecordModeRequest(std::string_view mode) {
    for (const auto& m : kRecordModes)
        if (m.mode == mode) return AppMessage{0x111, m.command, 0};
    return std::nullopt;
}

std::string RecordModeNames() {
    std::string names;
    for (const auto& m : kRecordModes) {
        if (!names.empty()) names += ", ";
        names += m.mode;
    }
    return names;
}

AppMessage StopRecordingRequest() {
    return AppMessage{0x111, kStopRecordingCommand, 0};
}

}  // namespace glimmora
