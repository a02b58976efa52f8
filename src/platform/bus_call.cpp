#include "platform/bus_call.h"

#include <dbus/dbus.h>

#include <cstring>
#include <functional>

namespace glimmora {

namespace {
// Long enough for a start by activation under a slow desktop.
constexpr int kCallTimeoutMs = 30000;
constexpr char kErrorPrefix[] = "org.glimmora.Glimmora.Error.";

BusDelivery Call(const char* method, const std::function<bool(DBusMessage*)>& addArguments,
                 std::string* reason, bool autoStart = true) {
    auto fail = [&](const std::string& why) {
        if (reason) *reason = why;
        return BusDelivery::NoInstance;
    };
    DBusError error;
    dbus_error_init(&error);
    // A private connection: libdbus would otherwise keep the shared one alive past exit.
    DBusConnection* bus = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (!bus) {
        const std::string why = std::string("no session bus: ") + (error.message ? error.message : "");
        dbus_error_free(&error);
        return fail(why);
    }
    dbus_connection_set_exit_on_disconnect(bus, false);
    BusDelivery delivery = BusDelivery::NoInstance;
    DBusMessage* call = dbus_message_new_method_call(kBusName, kBusPath, kBusName, method);
    if (call) dbus_message_set_auto_start(call, autoStart);
    if (!call || !addArguments(call)) {
        fail("out of memory");
    } else if (DBusMessage* reply =
                   dbus_connection_send_with_reply_and_block(bus, call, kCallTimeoutMs, &error)) {
        delivery = BusDelivery::Taken;
        dbus_message_unref(reply);
    } else {
        if (reason) *reason = error.message ? error.message : "no answer";
        if (error.name && std::strncmp(error.name, kErrorPrefix, sizeof kErrorPrefix - 1) == 0)
            delivery = BusDelivery::Refused;
        dbus_error_free(&error);
    }
    if (call) dbus_message_unref(call);
    dbus_connection_close(bus);
    dbus_connection_unref(bus);
    return delivery;
}

}  // namespace

BusDelivery SendOverBus(const AppMessage& message, std::string* reason) {
    const dbus_uint32_t id = message.message;
    const dbus_int64_t wParam = message.wParam, lParam = message.lParam;
    return Call(
        "Send",
        [&](DBusMessage* call) {
            return dbus_message_append_args(call, DBUS_TYPE_UINT32, &id, DBUS_TYPE_INT64, &wParam,
                                            DBUS_TYPE_INT64, &lParam, DBUS_TYPE_INVALID) != 0;
        },
        reason);
}

namespace {
// A method with one text argument.
BusDelivery CallWithText(const char* method, const std::string& text, std::string* reason) {
    // libdbus aborts the process on a string that is not UTF-8.
    if (!dbus_validate_utf8(text.c_str(), nullptr)) {
        if (reason) *reason = "the mode is not UTF-8 text";
        return BusDelivery::Refused;
    }
    const char* value = text.c_str();
    return Call(
        method,
        [&](DBusMessage* call) {
            return dbus_message_append_args(call, DBUS_TYPE_STRING, &value, DBUS_TYPE_INVALID) != 0;
        },
        reason);
}
}  // namespace

BusDelivery CaptureOverBus(const std::string& mode, std::string* reason) {
    return CallWithText("Capture", mode, reason);
}

BusDelivery RecordOverBus(const std::string& mode, std::string* reason) {
    return CallWithText("Record", mode, reason);
}

BusDelivery StopRecordingOverBus(std::string* reason) {
    // Nothing to stop in an instance the bus would start for it.
    return Call(
        "StopRecording", [](DBusMessage*) { return true; }, reason, false);
}

BusDelivery OpenOverBus(const std::vector<std::string>& paths, std::string* reason) {
    for (const std::string& path : paths)
        if (!dbus_validate_utf8(path.c_str(), nullptr)) {
            if (reason) *reason = path + ": the file name is not UTF-8 text, which the bus cannot carry";
            return BusDelivery::Refused;
        }
    return Call(
        "Open",
        [&](DBusMessage* call) {
            DBusMessageIter args, array;
            dbus_message_iter_init_append(call, &args);
            if (!dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, DBUS_TYPE_STRING_AS_STRING, &array))
                return false;
            for (const std::string& path : paths) {
                const char* text = path.c_str();
                if (!dbus_message_iter_append_basic(&array, DBUS_TYPE_STRING, &text)) {
                    dbus_message_iter_abandon_container(&args, &array);
                    return false;
                }
            }
            return dbus_message_iter_close_container(&args, &array) != 0;
        },
        reason, false);
}

}  // namespace glimmora
