#include "platform/x11/x11_messages.h"

#include <cstdio>
#include <cstring>

namespace glimmora::x11 {

namespace {
constexpr const char* kMainWindowProperty = "_GLIMMORA_MAIN_WINDOW";
constexpr const char* kMessageType = "_GLIMMORA_MESSAGE";

std::string Hex(xcb_window_t window) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(window));
    return text;
}
}  // namespace

xcb_window_t X11Messages::ReadWindow(xcb_window_t owner, xcb_atom_t property) {
    auto reply = conn_.Get(xcb_get_property_reply,
                           xcb_get_property(conn_.get(), 0, owner, property, XCB_ATOM_WINDOW, 0, 1));
    if (!reply || reply->type != XCB_ATOM_WINDOW || reply->format != 32 ||
        xcb_get_property_value_length(reply.get()) < 4)
        return XCB_WINDOW_NONE;
    return *static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
}

// Every running instance, oldest first: when the newest one leaves, the name passes to the one before.
constexpr const char* kInstancesProperty = "_GLIMMORA_MAIN_WINDOWS";

bool X11Messages::Alive(xcb_window_t window, xcb_atom_t property) {
    return window != XCB_WINDOW_NONE && ReadWindow(window, property) == window;
}

std::vector<xcb_window_t> X11Messages::ReadInstances(xcb_atom_t list, xcb_atom_t property) {
    std::vector<xcb_window_t> out;
    auto reply = conn_.Get(xcb_get_property_reply,
                           xcb_get_property(conn_.get(), 0, conn_.root(), list, XCB_ATOM_WINDOW, 0, 64));
    if (!reply || reply->type != XCB_ATOM_WINDOW || reply->format != 32) return out;
    const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    // Instances that died without withdrawing drop out here.
    for (int i = 0; i < count; ++i)
        if (Alive(ids[i], property)) out.push_back(ids[i]);
    return out;
}

void X11Messages::WriteInstances(xcb_atom_t list, const std::vector<xcb_window_t>& windows) {
    if (windows.empty())
        xcb_delete_property(conn_.get(), conn_.root(), list);
    else
        xcb_change_property(conn_.get(), XCB_PROP_MODE_REPLACE, conn_.root(), list, XCB_ATOM_WINDOW, 32,
                            static_cast<uint32_t>(windows.size()), windows.data());
}

bool X11Messages::Publish(WindowId window) {
    const xcb_atom_t property = conn_.Atom(kMainWindowProperty);
    const xcb_atom_t list = conn_.Atom(kInstancesProperty);
    if (!window || property == XCB_ATOM_NONE || list == XCB_ATOM_NONE) return false;
    const auto id = static_cast<xcb_window_t>(window);
    // The window names itself too: a window id left on the root by an instance that died may be reused by
    // another program's window, which will not carry the property.
    if (!conn_.Check(xcb_change_property_checked(conn_.get(), XCB_PROP_MODE_REPLACE, id, property,
                                                 XCB_ATOM_WINDOW, 32, 1, &id)))
        return false;
    // Read, change and write the list as one step against other instances doing the same.
    xcb_grab_server(conn_.get());
    std::vector<xcb_window_t> instances = ReadInstances(list, property);
    std::erase(instances, id);
    instances.push_back(id);
    WriteInstances(list, instances);
    const bool ok = conn_.Check(xcb_change_property_checked(conn_.get(), XCB_PROP_MODE_REPLACE, conn_.root(),
                                                            property, XCB_ATOM_WINDOW, 32, 1, &id));
    xcb_ungrab_server(conn_.get());
    conn_.Sync();
    return ok;
}

void X11Messages::Withdraw(WindowId window) {
    const xcb_atom_t property = conn_.Atom(kMainWindowProperty);
    const xcb_atom_t list = conn_.Atom(kInstancesProperty);
    if (!window || property == XCB_ATOM_NONE || list == XCB_ATOM_NONE) return;
    const auto id = static_cast<xcb_window_t>(window);
    xcb_grab_server(conn_.get());
    std::vector<xcb_window_t> instances = ReadInstances(list, property);
    std::erase(instances, id);
    WriteInstances(list, instances);
    // The name passes to the newest instance still running; one published meanwhile keeps it.
    const xcb_window_t named = ReadWindow(conn_.root(), property);
    if (named == id || !Alive(named, property)) {
        if (instances.empty())
            xcb_delete_property(conn_.get(), conn_.root(), property);
        else
            xcb_change_property(conn_.get(), XCB_PROP_MODE_REPLACE, conn_.root(), property, XCB_ATOM_WINDOW,
                                32, 1, &instances.back());
    }
    xcb_ungrab_server(conn_.get());
    // The window may be gone already; the error is dropped.
    xcb_delete_property(conn_.get(), id, property);
    conn_.Sync();
}

bool X11Messages::Send(const AppMessage& message, std::string* error) {
    const xcb_atom_t property = conn_.Atom(kMainWindowProperty);
    const xcb_atom_t type = conn_.Atom(kMessageType);
    xcb_window_t target = property == XCB_ATOM_NONE ? xcb_window_t{0} : ReadWindow(conn_.root(), property);
    if (!target) {
        if (error) *error = "Glimmora is not running on this display (no main window is published)";
        return false;
    }
    const std::string gone = "Glimmora is not running on this display (its published main window " +
                             Hex(target) + " no longer exists)";
    if (!Alive(target, property)) {
        // The newest instance died without a word: the newest one still running answers instead.
        const std::vector<xcb_window_t> instances = ReadInstances(conn_.Atom(kInstancesProperty), property);
        if (instances.empty()) {
            if (error) *error = gone;
            return false;
        }
        target = instances.back();
    }
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = target;
    event.type = type;
    // 32 bits each on the wire, as the values of the message always were.
    event.data.data32[0] = message.message;
    event.data.data32[1] = static_cast<uint32_t>(message.wParam);
    event.data.data32[2] = static_cast<uint32_t>(message.lParam);
    // Event mask 0: the event goes to the client that created the window.
    if (!conn_.Check(xcb_send_event_checked(conn_.get(), 0, target, XCB_EVENT_MASK_NO_EVENT,
                                            reinterpret_cast<const char*>(&event)))) {
        if (error) *error = gone;
        return false;
    }
    return true;
}

std::optional<AppMessage> X11Messages::Decode(const void* xcbEvent) {
    const auto* event = static_cast<const xcb_generic_event_t*>(xcbEvent);
    if (!event || (event->response_type & 0x7F) != XCB_CLIENT_MESSAGE) return std::nullopt;
    const auto* client = static_cast<const xcb_client_message_event_t*>(xcbEvent);
    // Atoms are the server's, so the one interned here matches the one on Qt's connection.
    if (messageAtom_ == XCB_ATOM_NONE) messageAtom_ = conn_.Atom(kMessageType);
    if (client->format != 32 || messageAtom_ == XCB_ATOM_NONE || client->type != messageAtom_)
        return std::nullopt;
    AppMessage message;
    message.message = client->data.data32[0];
    message.wParam = client->data.data32[1];
    message.lParam = client->data.data32[2];
    return message;
}

}  // namespace glimmora::x11
