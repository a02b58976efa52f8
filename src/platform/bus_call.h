// The sending side of requests to the running Glimmora over the session bus, on libdbus alone: `glimmora
// --capture` answers a key press, and loading Qt would be most of its time.
#pragma once

#include <string>
#include <vector>

#include "platform/app_messages.h"

namespace glimmora {

// The bus name, the object path and the interface of the service.
inline constexpr char kBusName[] = "org.glimmora.Glimmora";
inline constexpr char kBusPath[] = "/org/glimmora/Glimmora";
// Errors a running instance answers with; the message says why.
inline constexpr char kBusRefusedError[] = "org.glimmora.Glimmora.Error.Refused";
inline constexpr char kBusUnknownModeError[] = "org.glimmora.Glimmora.Error.UnknownMode";

enum class BusDelivery {
    Taken,       // a running instance (or one the bus started for it) took the request
    Refused,     // a running instance answered with a reason
    NoInstance,  // no session bus, or nobody owns the name and the bus cannot start Glimmora
};

// Send(u message, x wParam, x lParam) and Capture(s mode). Autostart stays on: where Glimmora's service file
// is installed, the bus starts it for the call. *reason says what the bus or the instance answered.
BusDelivery SendOverBus(const AppMessage& message, std::string* reason);
BusDelivery CaptureOverBus(const std::string& mode, std::string* reason);
// Record(s mode): region, window or screen; StopRecording(): ends the recording that runs (no instance is
// started for it).
BusDelivery RecordOverBus(const std::string& mode, std::string* reason);
BusDelivery StopRecordingOverBus(std::string* reason);
// Open(as paths): the running instance opens each file (absolute paths) as a tab. Nothing is started for
// it: with no instance the caller opens the window itself.
BusDelivery OpenOverBus(const std::vector<std::string>& paths, std::string* reason);

}  // namespace glimmora
