// One xcb connection of the platform layer's own, with replies and errors handled in one place.
#pragma once

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <unordered_map>

namespace glimmora::x11 {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

class Connection {
  public:
    // Null when the display cannot be opened.
    static std::unique_ptr<Connection> Open(const std::string& display, std::string* error);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    xcb_connection_t* get() const { return conn_; }
    xcb_screen_t* screen() const { return screen_; }
    xcb_window_t root() const { return screen_->root; }

    // Waits for the reply of a request; an X error (a window that vanished, ...) gives null.
    template <typename ReplyT, typename Cookie>
    Reply<ReplyT> Get(ReplyT* (*fetch)(xcb_connection_t*, Cookie, xcb_generic_error_t**), Cookie cookie) {
        xcb_generic_error_t* error = nullptr;
        Reply<ReplyT> reply(fetch(conn_, cookie, &error));
        if (error) {
            std::free(error);
            return nullptr;
        }
        return reply;
    }
    // True when a checked request went through.
    bool Check(xcb_void_cookie_t cookie);
    // Round trip: everything sent so far has been handled. Drops queued events and late errors.
    void Sync();
    bool Broken() const { return xcb_connection_has_error(conn_) != 0; }
    // The root window's size, kept current from its ConfigureNotify events (a resize through RandR)
    // without a round trip.
    void RootSize(int& width, int& height);

    xcb_atom_t Atom(const char* name);

    // Whether the server is Xwayland, whose root window shows none of the Wayland windows.
    bool IsXwayland();

    // Counts presses of one grabbed key (0: none) among the events that arrive.
    void WatchKey(xcb_keycode_t key) { watchedKey_ = key; }
    // The presses counted since the last call.
    int TakeKeyPresses();

  private:
    Connection(xcb_connection_t* conn, xcb_screen_t* screen);
    void Handle(xcb_generic_event_t* event);
    xcb_connection_t* conn_;
    xcb_screen_t* screen_;
    std::unordered_map<std::string, xcb_atom_t> atoms_;
    int rootWidth_ = 0, rootHeight_ = 0;
    xcb_keycode_t watchedKey_ = 0;
    int keyPresses_ = 0;
};

}  // namespace glimmora::x11
