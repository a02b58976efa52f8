#include "platform/x11/x11_connection.h"

#include <cstring>

namespace glimmora::x11 {

std::unique_ptr<Connection> Connection::Open(const std::string& display, std::string* error) {
    const char* name = display.empty() ? nullptr : display.c_str();
    if (!name && !std::getenv("DISPLAY")) {
        if (error) *error = "no display (DISPLAY is not set)";
        return nullptr;
    }
    int screenNumber = 0;
    xcb_connection_t* conn = xcb_connect(name, &screenNumber);
    if (xcb_connection_has_error(conn)) {
        xcb_disconnect(conn);
        if (error) *error = "cannot open the display";
        return nullptr;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(conn));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(conn);
        if (error) *error = "the display has no such screen";
        return nullptr;
    }
    return std::unique_ptr<Connection>(new Connection(conn, it.data));
}

Connection::Connection(xcb_connection_t* conn, xcb_screen_t* screen) : conn_(conn), screen_(screen) {
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(conn_, screen_->root, XCB_CW_EVENT_MASK, &mask);
    auto geo = Get(xcb_get_geometry_reply, xcb_get_geometry(conn_, screen_->root));
    rootWidth_ = geo ? geo->width : screen_->width_in_pixels;
    rootHeight_ = geo ? geo->height : screen_->height_in_pixels;
}

Connection::~Connection() {
    xcb_disconnect(conn_);
}

void Connection::Handle(xcb_generic_event_t* event) {
    // Besides the root's own changes and a watched key, what arrives here are errors of unchecked
    // requests: dropped.
    if ((event->response_type & 0x7F) == XCB_KEY_PRESS) {
        const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
        if (watchedKey_ && key->detail == watchedKey_) ++keyPresses_;
    } else if ((event->response_type & 0x7F) == XCB_CONFIGURE_NOTIFY) {
        const auto* configure = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
        if (configure->window == screen_->root) {
            rootWidth_ = configure->width;
            rootHeight_ = configure->height;
        }
    }
    std::free(event);
}

void Connection::RootSize(int& width, int& height) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(conn_)) Handle(event);
    width = rootWidth_;
    height = rootHeight_;
}

int Connection::TakeKeyPresses() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(conn_)) Handle(event);
    const int presses = keyPresses_;
    keyPresses_ = 0;
    return presses;
}

bool Connection::Check(xcb_void_cookie_t cookie) {
    xcb_generic_error_t* error = xcb_request_check(conn_, cookie);
    if (error) {
        std::free(error);
        return false;
    }
    return !Broken();
}

void Connection::Sync() {
    Get(xcb_get_input_focus_reply, xcb_get_input_focus(conn_));
    while (xcb_generic_event_t* event = xcb_poll_for_event(conn_)) Handle(event);
}

xcb_atom_t Connection::Atom(const char* name) {
    auto found = atoms_.find(name);
    if (found != atoms_.end()) return found->second;
    auto reply =
        Get(xcb_intern_atom_reply, xcb_intern_atom(conn_, 0, static_cast<uint16_t>(std::strlen(name)), name));
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    if (atom != XCB_ATOM_NONE) atoms_.emplace(name, atom);
    return atom;
}

bool Connection::IsXwayland() {
    // Xwayland 23.1 and later name themselves with an extension; earlier ones can be told by an atom
    // they make at start, the one compositors use to hold back a window's drawing.
    constexpr char kExtension[] = "XWAYLAND";
    auto extension =
        Get(xcb_query_extension_reply, xcb_query_extension(conn_, sizeof kExtension - 1, kExtension));
    if (extension && extension->present) return true;
    constexpr char kAtom[] = "_XWAYLAND_ALLOW_COMMITS";
    auto atom = Get(xcb_intern_atom_reply, xcb_intern_atom(conn_, 1, sizeof kAtom - 1, kAtom));
    return atom && atom->atom != XCB_ATOM_NONE;
}

}  // namespace glimmora::x11
