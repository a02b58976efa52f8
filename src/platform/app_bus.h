// Requests from other programs over the session bus, on every desktop: the service each running instance
// offers (the sending side is bus_call.h).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/app_messages.h"
#include "platform/bus_call.h"

namespace glimmora {

// Takes a request or says why not (empty when taken). A taken request must run later, once the reply has
// gone: captures run event loops of their own.
using BusRequestHandler = std::function<std::string(const AppMessage&)>;

// Takes files to open (absolute paths) or says why not (empty when taken); they open later, as requests do.
using BusOpenHandler = std::function<std::string(const std::vector<std::string>&)>;

class BusAdaptor;

// The object on the session bus, with the methods Send(u message, x wParam, x lParam), Capture(s mode),
// Record(s mode), StopRecording() and Open(as paths).
class AppBusService {
  public:
    explicit AppBusService(BusRequestHandler handler, BusOpenHandler open = {});
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

}  // namespace glimmora
