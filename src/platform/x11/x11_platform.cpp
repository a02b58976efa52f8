#include "platform/x11/x11_platform.h"

#include "platform/x11/x11_cast.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_hotkeys.h"
#include "platform/x11/x11_input.h"
#include "platform/x11/x11_messages.h"
#include "platform/x11/x11_screen.h"
#include "platform/x11/x11_windows.h"

namespace glimmora {

namespace {
class X11Platform : public Platform {
  public:
    X11Platform(std::unique_ptr<x11::Connection> conn, std::string display)
        : display_(std::move(display)),
          conn_(std::move(conn)),
          screen_(*conn_),
          windows_(*conn_),
          input_(*conn_),
          messages_(*conn_) {}
    const char* Name() const override { return "x11"; }
    bool OpenCast(const CastRequest& request, CastSource& out, std::string* error) override {
        return x11::OpenX11Cast(display_, screen_, windows_, request, out, error);
    }
    Screen& screen() override { return screen_; }
    WindowSystem& windows() override { return windows_; }
    PointerInput& input() override { return input_; }
    std::unique_ptr<HotkeyGrabber> OpenHotkeys() override {
        std::unique_ptr<x11::Connection> conn = x11::Connection::Open(display_, nullptr);
        if (!conn) return nullptr;
        return std::make_unique<x11::X11HotkeyGrabber>(std::move(conn));
    }
    bool PublishMainWindow(WindowId window) override { return messages_.Publish(window); }
    void WithdrawMainWindow(WindowId window) override { messages_.Withdraw(window); }
    bool SendAppMessage(const AppMessage& message, std::string* error) override {
        return messages_.Send(message, error);
    }
    std::optional<AppMessage> DecodeAppMessage(const void* xcbEvent) override {
        return messages_.Decode(xcbEvent);
    }

  private:
    std::string display_;  // as given, so the hotkeys reach the same display
    // Declared before the facilities below: they use it and go before it.
    std::unique_ptr<x11::Connection> conn_;
    x11::X11Screen screen_;
    x11::X11Windows windows_;
    x11::X11Input input_;
    x11::X11Messages messages_;
};
}  // namespace

std::unique_ptr<Platform> OpenX11Platform(const std::string& display, std::string* error, bool* xwayland) {
    std::unique_ptr<x11::Connection> conn = x11::Connection::Open(display, error);
    if (!conn) return nullptr;
    if (xwayland) *xwayland = conn->IsXwayland();
    return std::make_unique<X11Platform>(std::move(conn), display);
}

}  // namespace glimmora
