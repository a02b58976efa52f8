// Global hotkeys through the desktop portal's GlobalShortcuts interface, for compositors that give
// clients no key grabs: one session, every combination bound in one request, presses from its
// Activated signal. Nothing here waits for the bus: every answer comes through the event loop.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/hotkeys.h"
#include "platform/key_names.h"

namespace glimmora {

// Whether the session's portal offers GlobalShortcuts, asked of the bus once per process.
enum class PortalOffer { Unknown, Offered, Missing };
// The answer so far; when Missing, *reason says why (the portal of the session has no such interface,
// or cannot be reached).
PortalOffer PortalShortcutsOffer(std::string* reason);
// Asks, the first time; then runs from the event loop once the answer is known (at once, queued, when it
// already is). Needs an application object.
void WhenPortalShortcutsKnown(std::function<void()> then);

class PortalShortcutGrabber : public HotkeyGrabber {
  public:
    // The session is asked for on the first binding; the application object must exist.
    static std::unique_ptr<PortalShortcutGrabber> Open();
    ~PortalShortcutGrabber() override;

    // Combinations are bound together once control returns to the event loop, so six registrations
    // make one request (the desktop may show the user one dialog for it); Binding tells the outcome.
    // Only Esc alone is refused: the desktop would ask the user to confirm a binding wanted for a few
    // seconds. Unregister only stops the presses counting: the desktop keeps what the user confirmed.
    bool Register(int id, uint32_t key, uint32_t mask) override;
    void Unregister(int id) override;
    void Describe(int id, const std::string& text) override;
    int EventFd() const override;
    std::vector<int> TakePressed() override;

    bool DesktopBindsKeys() const override { return true; }
    DesktopBinding Binding(int id) const override;
    void SetBindingsChanged(std::function<void()> changed) override;
    void RefreshBindings() override;

    // The name the portal knows the combination by.
    static std::string ShortcutId(int id);

    struct Impl;

  private:
    explicit PortalShortcutGrabber(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace glimmora
