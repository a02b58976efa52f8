// Requests from other programs: the main window's id published on the root window, and client messages
// sent to it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/app_messages.h"
#include "platform/types.h"
#include "platform/x11/x11_connection.h"

namespace glimmora::x11 {

class X11Messages {
  public:
    explicit X11Messages(Connection& conn) : conn_(conn) {}
    bool Publish(WindowId window);
    void Withdraw(WindowId window);
    bool Send(const AppMessage& message, std::string* error);
    std::optional<AppMessage> Decode(const void* xcbEvent);

  private:
    // The window a WINDOW property of `owner` names; 0 when absent or unreadable.
    xcb_window_t ReadWindow(xcb_window_t owner, xcb_atom_t property);
    // A window that still names itself with the property: an instance that is running.
    bool Alive(xcb_window_t window, xcb_atom_t property);
    // The running instances of the root's list, oldest first.
    std::vector<xcb_window_t> ReadInstances(xcb_atom_t list, xcb_atom_t property);
    void WriteInstances(xcb_atom_t list, const std::vector<xcb_window_t>& windows);

    Connection& conn_;
    xcb_atom_t messageAtom_ = XCB_ATOM_NONE;
};

}  // namespace glimmora::x11
