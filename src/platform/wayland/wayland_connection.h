// Our own connection to the Wayland compositor, beside Qt's: the outputs, and the wlroots protocols a
// screenshot tool needs (screen copy, a virtual pointer, the clipboard without focus).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/layout.h"
#include "platform/types.h"
#include "platform/wayland/shm_pixels.h"

struct wl_display;
struct wl_registry;
struct wl_shm;
struct wl_seat;
struct wl_output;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;
struct zwlr_screencopy_manager_v1;
struct zwlr_virtual_pointer_manager_v1;
struct zwlr_virtual_pointer_v1;
struct zwlr_data_control_manager_v1;
struct zwlr_data_control_device_v1;
struct zwlr_data_control_source_v1;
struct zwlr_data_control_offer_v1;

namespace glimmora::wayland {

class ClipboardWriters;

struct Output {
    wl_output* output = nullptr;
    zxdg_output_v1* xdgOutput = nullptr;
    uint32_t name = 0;                  // the registry's name of the global
    std::string outputName;             // HEADLESS-1, DP-2, ...
    int x = 0, y = 0;                   // wl_output.geometry's position: 0,0 on wlroots, whatever the layout
    int modeWidth = 0, modeHeight = 0;  // the current mode, in device pixels, before the transform
    int scale = 1;                      // the integer scale wl_output rounds up to
    int transform = 0;                  // wl_output.transform
    // The layout's own place of the output (logical pixels), from zxdg_output_v1; empty without it.
    Rect logical;
    // Device pixels with the transform applied.
    Size DeviceSize() const;
    // The place in the desktop's coordinates: xdg-output's where known, else wl_output's guess.
    Rect LogicalRect() const;
};

class Connection {
  public:
    // Null with a reason when no compositor answers on the display named ($WAYLAND_DISPLAY when empty).
    static std::unique_ptr<Connection> Open(std::string* error, const std::string& display = {});
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    wl_display* display() const { return display_; }
    int Fd() const;
    // Reads and handles whatever the compositor sent, without waiting. False once the connection is
    // broken (the compositor left, or ended it for a protocol error): nothing more will come.
    bool DispatchPending();
    bool Broken() const;
    // Waits until the compositor has handled everything sent so far.
    bool Roundtrip();

    // Every output with its place and scale.
    ScreenLayout Layout() const;
    // The full-screen picture's size: the layout at its highest scale.
    Size LayoutSize() const;
    bool HasScreencopy() const { return screencopy_ != nullptr; }
    bool HasVirtualPointer() const { return pointerManager_ != nullptr; }
    bool HasDataControl() const { return dataControl_ != nullptr && dataDevice_ != nullptr; }

    // Every output into one 24-bit picture of LayoutSize(), cursor drawn in when asked. False with a
    // reason when the compositor refused or failed any output.
    bool GrabLayout(Image& out, bool withCursor, std::string* error);
    // The part `box` of the desktop (logical pixels) at `scale` picture pixels per logical pixel, each
    // output scaled to it where its own scale differs, as grim composes its pictures.
    bool Compose(const Rect& box, double scale, bool withCursor, Image& out, std::string* error);

    // A pointer of our own on the seat: the position in device pixels of the layout.
    bool PointerMotion(Point p);
    bool PointerButton(int button, bool down);
    // Wheel notches, positive towards the user (the content scrolls down).
    bool PointerWheel(int notches);

    // Takes the clipboard with these bytes under the MIME type, answered from this connection for as
    // long as nobody else takes it.
    bool OfferClipboard(const std::string& mime, std::vector<uint8_t> bytes);

  private:
    Connection() = default;
    static void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
                         uint32_t version);
    static void OnGlobalRemove(void* data, wl_registry* registry, uint32_t name);
    // Dispatches until done() holds; false on a protocol error or after timeoutMs.
    template <typename Done>
    bool DispatchUntil(Done done, int timeoutMs);
    // Copies the output into `into`, whose top-left shows the desktop point box's top-left at `scale`.
    bool GrabOutput(const Output& output, const Rect& box, double scale, bool withCursor, Image& into,
                    std::string* error);
    zwlr_virtual_pointer_v1* VirtualPointer();

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_shm* shm_ = nullptr;
    wl_seat* seat_ = nullptr;
    std::vector<std::unique_ptr<Output>> outputs_;
    zxdg_output_manager_v1* xdgOutputs_ = nullptr;
    zwlr_screencopy_manager_v1* screencopy_ = nullptr;
    uint32_t screencopyVersion_ = 0;
    zwlr_virtual_pointer_manager_v1* pointerManager_ = nullptr;
    zwlr_virtual_pointer_v1* pointer_ = nullptr;
    zwlr_data_control_manager_v1* dataControl_ = nullptr;
    zwlr_data_control_device_v1* dataDevice_ = nullptr;

  public:
    // The clipboard data we offer, answered from the compositor's send events.
    struct Offer {
        zwlr_data_control_source_v1* source = nullptr;
        std::string mime;
        // Shared with the writers still serving it after the offer is gone.
        std::shared_ptr<const std::vector<uint8_t>> bytes;
        ClipboardWriters* writers = nullptr;
    };
    std::unique_ptr<ClipboardWriters> writers_;
    std::unique_ptr<Offer> offer_;
    std::vector<zwlr_data_control_offer_v1*> othersOffers_;
};

}  // namespace glimmora::wayland
