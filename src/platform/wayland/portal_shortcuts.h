// Global hotkeys through the desktop portal's GlobalShortcuts interface, for compositors that give
// clients no key grabs: one session, every combination bound in one request, presses from its
// Activated signal.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/hotkeys.h"

namespace glimmora {

// The trigger proposed to the portal for a stored combination, in the notation of the shortcuts
// portal documents ("CTRL+SHIFT+f", "ALT+Print"); empty when the key has no name there.
std::string PortalTrigger(uint32_t key, uint32_t mask);

// Whether the session's portal offers GlobalShortcuts. False with a reason when it does not (the
// portal of Debian 12 has no such interface) or cannot be reached.
bool PortalOffersShortcuts(std::string* reason);

class PortalShortcutGrabber : public HotkeyGrabber {
  public:
    // Null with a reason when the portal offers no GlobalShortcuts or refuses a session. The presses
    // come in through the program's event loop.
    static std::unique_ptr<PortalShortcutGrabber> Open(std::string* error);
    ~PortalShortcutGrabber() override;

    // Combinations are bound together once control returns to the event loop, so six registrations
    // make one request (the portal may show the user one dialog for it). Only Esc alone is refused: the
    // desktop would ask the user to confirm a binding wanted for a few seconds.
    bool Register(int id, uint32_t key, uint32_t mask) override;
    void Unregister(int id) override;
    void Describe(int id, const std::string& text) override;
    int EventFd() const override;
    std::vector<int> TakePressed() override;

    // Binds what is registered now instead of on the next turn of the event loop. False with a reason
    // when the portal refuses.
    bool BindNow(std::string* error);

    struct Impl;

  private:
    explicit PortalShortcutGrabber(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace glimmora
