// Requests from other programs over the session bus, on every desktop: the service each running instance
// offers, and the sending side that `glimmora --send` and `--capture` try first.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/app_messages.h"

namespace glimmora {

// The bus name, the object path and the interface of the service.
inline constexpr char kBusName[] = "org.glimmora.Glimmora";
inline constexpr char kBusPath[] = "/org/glimmora/Glimmora";
// Errors a running instance answers with; the message says why.
inline constexpr char kBusRefusedError[] = "org.glimmora.Glimmora.Error.Refused";
inline constexpr char kBusUnknownModeError[] = "org.glimmora.Glimmora.Error.UnknownMode";

// Takes a request or says why not (empty when taken). A taken request must run later, once the reply has
// gone: captures run event loops of their own.
using BusRequestHandler = std::function<std::string(const AppMessage&)>;

class BusAdaptor;

// The object on the session bus, with the methods Send(u message, x wParam, x lParam) and Capture(s mode).
class AppBusService {
  public:
    explicit AppBusService(BusRequestHandler handler);
    ~AppBusService();
    AppBusService(const AppBusService&) = delete;
    AppBusService& operator=(const AppBusService&) = delete;

    // Offers the object and takes the name, queued: the newest instance owns it, and when it leaves the
    // bus hands it back to the newest one still running. False with a reason without a session bus.
    bool Publish(std::string* error);
    // Leaves the name (and its queue) and takes the object off the bus.
    void Withdraw();

  private:
    std::unique_ptr<BusAdaptor> adaptor_;
    bool published_ = false;
};

enum class BusDelivery {
    Taken,       // a running instance (or one the bus started for it) took the request
    Refused,     // a running instance answered with a reason
    NoInstance,  // no session bus, or nobody owns the name and the bus cannot start Glimmora
};

// Needs a QCoreApplication. *reason says what the bus or the instance answered.
BusDelivery SendOverBus(const AppMessage& message, std::string* reason);
BusDelivery CaptureOverBus(const std::string& mode, std::string* reason);

}  // namespace glimmora
