#include "platform/wayland/wayland_connection.h"

#include <fcntl.h>
#include <pixman.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <ctime>
#include <system_error>
#include <thread>

#include "wlr-data-control-unstable-v1-client.h"
#include "wlr-screencopy-unstable-v1-client.h"
#include "wlr-virtual-pointer-unstable-v1-client.h"
#include "xdg-output-unstable-v1-client.h"

namespace glimmora::wayland {

namespace {

// A compositor that stops answering must not hang a capture for good.
constexpr int kReplyTimeoutMs = 5000;

// Linux input event codes of the mouse buttons (linux/input-event-codes.h).
constexpr uint32_t kBtnLeft = 0x110, kBtnRight = 0x111, kBtnMiddle = 0x112;

uint32_t NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

// ---- outputs ----

void OnOutputGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*,
                      const char*, int32_t transform) {
    auto* o = static_cast<Output*>(data);
    o->x = x;
    o->y = y;
    o->transform = transform;
}
void OnOutputMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
    auto* o = static_cast<Output*>(data);
    if (flags & WL_OUTPUT_MODE_CURRENT) {
        o->modeWidth = width;
        o->modeHeight = height;
    }
}
void OnOutputDone(void*, wl_output*) {}
void OnOutputScale(void* data, wl_output*, int32_t factor) {
    static_cast<Output*>(data)->scale = std::max(1, factor);
}
const wl_output_listener kOutputListener = {OnOutputGeometry, OnOutputMode, OnOutputDone,
                                            OnOutputScale,    nullptr,      nullptr};

// wlroots tells the layout only here: wl_output.geometry's position is always 0,0 there.
void OnXdgPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
    auto* o = static_cast<Output*>(data);
    const int w = o->logical.Width(), h = o->logical.Height();
    o->logical = Rect{x, y, x + w, y + h};
}
void OnXdgSize(void* data, zxdg_output_v1*, int32_t width, int32_t height) {
    auto* o = static_cast<Output*>(data);
    o->logical.right = o->logical.left + width;
    o->logical.bottom = o->logical.top + height;
}
void OnXdgDone(void*, zxdg_output_v1*) {}
void OnXdgName(void* data, zxdg_output_v1*, const char* name) {
    static_cast<Output*>(data)->outputName = name ? name : "";
}
void OnXdgDescription(void*, zxdg_output_v1*, const char*) {}
const zxdg_output_v1_listener kXdgOutputListener = {OnXdgPosition, OnXdgSize, OnXdgDone, OnXdgName,
                                                    OnXdgDescription};

// ---- screen copy ----

struct Frame {
    uint32_t format = 0, width = 0, height = 0, stride = 0;
    bool haveShm = false, bufferDone = false, ready = false, failed = false;
    uint32_t flags = 0;
};

void OnFrameBuffer(void* data, zwlr_screencopy_frame_v1*, uint32_t format, uint32_t width, uint32_t height,
                   uint32_t stride) {
    auto* f = static_cast<Frame*>(data);
    f->format = format;
    f->width = width;
    f->height = height;
    f->stride = stride;
    f->haveShm = true;
}
void OnFrameFlags(void* data, zwlr_screencopy_frame_v1*, uint32_t flags) {
    static_cast<Frame*>(data)->flags = flags;
}
void OnFrameReady(void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {
    static_cast<Frame*>(data)->ready = true;
}
void OnFrameFailed(void* data, zwlr_screencopy_frame_v1*) {
    static_cast<Frame*>(data)->failed = true;
}
void OnFrameDamage(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) {}
void OnFrameDmabuf(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {}
void OnFrameBufferDone(void* data, zwlr_screencopy_frame_v1*) {
    static_cast<Frame*>(data)->bufferDone = true;
}
const zwlr_screencopy_frame_v1_listener kFrameListener = {OnFrameBuffer,    OnFrameFlags,  OnFrameReady,
                                                          OnFrameFailed,    OnFrameDamage, OnFrameDmabuf,
                                                          OnFrameBufferDone};

// Shared memory the compositor copies a frame into.
class ShmBuffer {
  public:
    ~ShmBuffer() {
        if (buffer) wl_buffer_destroy(buffer);
        if (data && data != MAP_FAILED) munmap(data, size);
        if (fd >= 0) close(fd);
    }
    bool Create(wl_shm* shm, const Frame& f) {
        size = static_cast<size_t>(f.stride) * f.height;
        if (size == 0 || f.stride < f.width * 4) return false;
        fd = memfd_create("glimmora-screencopy", MFD_CLOEXEC);
        if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) return false;
        data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (data == MAP_FAILED) return false;
        wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(size));
        buffer =
            wl_shm_pool_create_buffer(pool, 0, static_cast<int32_t>(f.width), static_cast<int32_t>(f.height),
                                      static_cast<int32_t>(f.stride), f.format);
        wl_shm_pool_destroy(pool);
        return buffer != nullptr;
    }
    wl_buffer* buffer = nullptr;
    void* data = nullptr;
    size_t size = 0;
    int fd = -1;
};

// ---- clipboard ----

// A reader that takes nothing for this long is given up, and its pipe closed.
constexpr int kClipboardStallMs = 30000;

}  // namespace

// Each reader of our clipboard is written to on a thread of its own, so one that stops reading holds up
// neither the window nor the other readers, and one that goes away costs a failed write, not SIGPIPE.
class ClipboardWriters {
  public:
    ClipboardWriters() : stop_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~ClipboardWriters() {
        if (stop_ >= 0) {
            const uint64_t one = 1;
            const ssize_t sent = write(stop_, &one, sizeof one);
            (void)sent;  // an eventfd takes it
        }
        for (Writer& w : writers_) w.thread.join();
        if (stop_ >= 0) close(stop_);
    }
    ClipboardWriters(const ClipboardWriters&) = delete;
    ClipboardWriters& operator=(const ClipboardWriters&) = delete;

    // Takes the descriptor: it is closed once written, given up or refused.
    void Serve(int fd, std::shared_ptr<const std::vector<uint8_t>> bytes) {
        std::erase_if(writers_, [](Writer& w) {
            if (!w.done->load()) return false;
            w.thread.join();
            return true;
        });
        auto done = std::make_shared<std::atomic<bool>>(false);
        try {
            writers_.push_back({std::thread(WriteAll, fd, std::move(bytes), stop_, done), done});
        } catch (const std::system_error&) {
            close(fd);
        }
    }

  private:
    struct Writer {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    static void WriteAll(int fd, std::shared_ptr<const std::vector<uint8_t>> bytes, int stop,
                         std::shared_ptr<std::atomic<bool>> done) {
        // A SIGPIPE raised by a write is this thread's own: blocked here, it stays pending and goes with
        // the thread.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        const int flags = fcntl(fd, F_GETFL);
        if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
        const uint8_t* p = bytes->data();
        size_t left = bytes->size();
        while (left > 0) {
            const ssize_t n = write(fd, p, left);
            if (n > 0) {
                p += n;
                left -= static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) break;  // the reader is gone
            pollfd wait[2] = {{fd, POLLOUT, 0}, {stop, POLLIN, 0}};
            const int ready = poll(wait, stop >= 0 ? 2 : 1, kClipboardStallMs);
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0 || (stop >= 0 && wait[1].revents)) break;  // stalled, or we are closing
        }
        close(fd);
        done->store(true);
    }

    int stop_;
    std::vector<Writer> writers_;
};

namespace {

void OnSourceSend(void* data, zwlr_data_control_source_v1*, const char* mime, int32_t fd) {
    auto* offer = static_cast<Connection::Offer*>(data);
    if (offer->mime != mime || !offer->bytes) {
        close(fd);
        return;
    }
    offer->writers->Serve(fd, offer->bytes);
}
void OnSourceCancelled(void* data, zwlr_data_control_source_v1* source) {
    auto* offer = static_cast<Connection::Offer*>(data);
    zwlr_data_control_source_v1_destroy(source);
    if (offer->source == source) {
        offer->source = nullptr;
        offer->bytes.reset();
    }
}
const zwlr_data_control_source_v1_listener kSourceListener = {OnSourceSend, OnSourceCancelled};

// Other programs' selections reach us as offers; we never read them, only let them go.
void OnDeviceDataOffer(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
    static_cast<Connection*>(data)->othersOffers_.push_back(offer);
}
void ReleaseOffers(Connection* c, zwlr_data_control_offer_v1* keep) {
    auto& offers = c->othersOffers_;
    for (zwlr_data_control_offer_v1* o : offers)
        if (o != keep) zwlr_data_control_offer_v1_destroy(o);
    offers.clear();
    if (keep) offers.push_back(keep);
}
void OnDeviceSelection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
    ReleaseOffers(static_cast<Connection*>(data), offer);
}
void OnDeviceFinished(void*, zwlr_data_control_device_v1*) {}
void OnDevicePrimary(void*, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1*) {}
const zwlr_data_control_device_v1_listener kDeviceListener = {OnDeviceDataOffer, OnDeviceSelection,
                                                              OnDeviceFinished, OnDevicePrimary};

}  // namespace

Size Output::DeviceSize() const {
    const bool turned = transform % 2 == 1;
    return turned ? Size{modeHeight, modeWidth} : Size{modeWidth, modeHeight};
}

Rect Output::LogicalRect() const {
    if (!IsEmpty(logical)) return logical;
    const Size d = DeviceSize();
    return Rect{x, y, x + d.width / scale, y + d.height / scale};
}

namespace {
void WatchXdgOutput(zxdg_output_manager_v1* manager, Output& o) {
    if (!manager || o.xdgOutput) return;
    o.xdgOutput = zxdg_output_manager_v1_get_xdg_output(manager, o.output);
    zxdg_output_v1_add_listener(o.xdgOutput, &kXdgOutputListener, &o);
}
}  // namespace

void Connection::OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
                          uint32_t version) {
    auto* c = static_cast<Connection*>(data);
    const std::string iface = interface;
    if (iface == wl_shm_interface.name) {
        c->shm_ = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (iface == wl_seat_interface.name && !c->seat_) {
        c->seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (iface == wl_output_interface.name) {
        auto o = std::make_unique<Output>();
        o->name = name;
        o->output = static_cast<wl_output*>(
            wl_registry_bind(registry, name, &wl_output_interface, std::min<uint32_t>(version, 2)));
        wl_output_add_listener(o->output, &kOutputListener, o.get());
        WatchXdgOutput(c->xdgOutputs_, *o);
        c->outputs_.push_back(std::move(o));
    } else if (iface == zxdg_output_manager_v1_interface.name) {
        // Version 2 names the outputs.
        c->xdgOutputs_ = static_cast<zxdg_output_manager_v1*>(wl_registry_bind(
            registry, name, &zxdg_output_manager_v1_interface, std::min<uint32_t>(version, 2)));
        for (auto& o : c->outputs_) WatchXdgOutput(c->xdgOutputs_, *o);
    } else if (iface == zwlr_screencopy_manager_v1_interface.name) {
        c->screencopyVersion_ = std::min<uint32_t>(version, 3);
        c->screencopy_ = static_cast<zwlr_screencopy_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_screencopy_manager_v1_interface, c->screencopyVersion_));
    } else if (iface == zwlr_virtual_pointer_manager_v1_interface.name) {
        c->pointerManager_ = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    } else if (iface == zwlr_data_control_manager_v1_interface.name) {
        c->dataControl_ = static_cast<zwlr_data_control_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, 1));
    }
}

void Connection::OnGlobalRemove(void* data, wl_registry*, uint32_t name) {
    auto* c = static_cast<Connection*>(data);
    auto& outs = c->outputs_;
    for (auto it = outs.begin(); it != outs.end(); ++it) {
        if ((*it)->name == name) {
            if ((*it)->xdgOutput) zxdg_output_v1_destroy((*it)->xdgOutput);
            wl_output_destroy((*it)->output);
            outs.erase(it);
            return;
        }
    }
}

std::unique_ptr<Connection> Connection::Open(std::string* error, const std::string& name) {
    wl_display* display = wl_display_connect(name.empty() ? nullptr : name.c_str());
    if (!display) {
        SetError(error, "cannot connect to the Wayland compositor");
        return nullptr;
    }
    std::unique_ptr<Connection> c(new Connection);
    c->display_ = display;
    c->registry_ = wl_display_get_registry(display);
    static const wl_registry_listener listener = {OnGlobal, OnGlobalRemove};
    wl_registry_add_listener(c->registry_, &listener, c.get());
    // Globals first, then the outputs' and seat's first events.
    if (!c->Roundtrip() || !c->Roundtrip()) {
        SetError(error, "the Wayland compositor does not answer");
        return nullptr;
    }
    if (c->dataControl_ && c->seat_) {
        c->dataDevice_ = zwlr_data_control_manager_v1_get_data_device(c->dataControl_, c->seat_);
        zwlr_data_control_device_v1_add_listener(c->dataDevice_, &kDeviceListener, c.get());
        c->Roundtrip();
    }
    return c;
}

Connection::~Connection() {
    if (!display_) return;
    if (offer_ && offer_->source) zwlr_data_control_source_v1_destroy(offer_->source);
    ReleaseOffers(this, nullptr);
    if (dataDevice_) zwlr_data_control_device_v1_destroy(dataDevice_);
    if (pointer_) zwlr_virtual_pointer_v1_destroy(pointer_);
    for (auto& o : outputs_) {
        if (o->xdgOutput) zxdg_output_v1_destroy(o->xdgOutput);
        wl_output_destroy(o->output);
    }
    if (xdgOutputs_) zxdg_output_manager_v1_destroy(xdgOutputs_);
    if (screencopy_) zwlr_screencopy_manager_v1_destroy(screencopy_);
    if (dataControl_) zwlr_data_control_manager_v1_destroy(dataControl_);
    if (pointerManager_) wl_proxy_destroy(reinterpret_cast<wl_proxy*>(pointerManager_));
    if (seat_) wl_seat_destroy(seat_);
    if (shm_) wl_shm_destroy(shm_);
    wl_registry_destroy(registry_);
    wl_display_flush(display_);
    wl_display_disconnect(display_);
}

int Connection::Fd() const {
    return wl_display_get_fd(display_);
}

bool Connection::Broken() const {
    return wl_display_get_error(display_) != 0;
}

bool Connection::DispatchPending() {
    // After an error the queue keeps what came with it, and prepare_read would refuse for ever.
    while (wl_display_prepare_read(display_) != 0)
        if (wl_display_dispatch_pending(display_) < 0) return false;
    wl_display_flush(display_);
    pollfd p{wl_display_get_fd(display_), POLLIN, 0};
    if (poll(&p, 1, 0) > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR)))
        wl_display_read_events(display_);
    else
        wl_display_cancel_read(display_);
    wl_display_dispatch_pending(display_);
    return !Broken();
}

template <typename Done>
bool Connection::DispatchUntil(Done done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (wl_display_get_error(display_) != 0) return false;
        while (wl_display_prepare_read(display_) != 0)
            if (wl_display_dispatch_pending(display_) < 0) return false;
        if (done()) {
            wl_display_cancel_read(display_);
            break;
        }
        wl_display_flush(display_);
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now())
                .count();
        if (left <= 0) {
            wl_display_cancel_read(display_);
            return false;
        }
        pollfd p{wl_display_get_fd(display_), POLLIN, 0};
        const int n = poll(&p, 1, static_cast<int>(left));
        if (n > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR))) {
            if (wl_display_read_events(display_) != 0) return false;
        } else {
            wl_display_cancel_read(display_);
            if (n < 0 && errno != EINTR) return false;
        }
        wl_display_dispatch_pending(display_);
    }
    return wl_display_get_error(display_) == 0;
}

bool Connection::Roundtrip() {
    bool done = false;
    wl_callback* cb = wl_display_sync(display_);
    static const wl_callback_listener listener = {
        [](void* data, wl_callback*, uint32_t) { *static_cast<bool*>(data) = true; }};
    wl_callback_add_listener(cb, &listener, &done);
    const bool ok = DispatchUntil([&] { return done; }, kReplyTimeoutMs);
    wl_callback_destroy(cb);
    return ok;
}

ScreenLayout Connection::Layout() const {
    std::vector<Monitor> monitors;
    for (const auto& o : outputs_) {
        Monitor m;
        m.name = o->outputName;
        m.logical = o->LogicalRect();
        m.device = o->DeviceSize();
        m.transform = o->transform;
        if (IsEmpty(m.logical) || m.device.width <= 0) continue;
        // What the compositor scales by, fractions too, as the mode against the logical size shows it.
        m.scale = static_cast<double>(m.device.width) / m.logical.Width();
        monitors.push_back(std::move(m));
    }
    return ScreenLayout::Of(std::move(monitors));
}

Size Connection::LayoutSize() const {
    return Layout().PictureSize();
}

namespace {

// The frame turned upright (the output's transform undone) as 32-bit x8r8g8b8 pixels, for pixman.
std::vector<uint32_t> Upright(const ShmFrame& f, int transform, Size size, std::string* error) {
    Image upright;
    if (!upright.Create(size.width, size.height, 24) ||
        !CopyShmFrame(f, transform, Rect{0, 0, size.width, size.height}, upright, error))
        return {};
    std::vector<uint32_t> pixels(static_cast<size_t>(size.width) * static_cast<size_t>(size.height));
    for (int y = 0; y < size.height; ++y) {
        const uint8_t* s = upright.Row(y);
        uint32_t* d = pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(size.width);
        for (int x = 0; x < size.width; ++x, s += 3)
            d[x] = 0xff000000u | static_cast<uint32_t>(s[2]) << 16 | static_cast<uint32_t>(s[1]) << 8 | s[0];
    }
    return pixels;
}

// An output at another scale than the picture: resampled as grim resamples it (bilinear when enlarging
// or shrinking a little, a Lanczos convolution when shrinking more), so both pictures agree to the pixel.
bool Resample(const std::vector<uint32_t>& upright, Size size, const Rect& logical, const Rect& box,
              double scale, Image& into) {
    pixman_image_t* source = pixman_image_create_bits(PIXMAN_x8r8g8b8, size.width, size.height,
                                                      const_cast<uint32_t*>(upright.data()), size.width * 4);
    if (!source) return false;
    // Output pixel -> picture pixel.
    pixman_f_transform toPicture;
    pixman_f_transform_init_identity(&toPicture);
    pixman_f_transform_scale(&toPicture, nullptr, static_cast<double>(logical.Width()) / size.width,
                             static_cast<double>(logical.Height()) / size.height);
    pixman_f_transform_translate(&toPicture, nullptr, logical.left - box.left, logical.top - box.top);
    pixman_f_transform_scale(&toPicture, nullptr, scale, scale);
    const double x0 = (logical.left - box.left) * scale, y0 = (logical.top - box.top) * scale;
    const double x1 = (logical.right - box.left) * scale, y1 = (logical.bottom - box.top) * scale;
    const Rect dest{static_cast<int>(std::floor(x0)), static_cast<int>(std::floor(y0)),
                    static_cast<int>(std::ceil(x1)), static_cast<int>(std::ceil(y1))};
    pixman_f_transform_translate(&toPicture, nullptr, -dest.left, -dest.top);
    pixman_f_transform toOutput;
    pixman_f_transform_invert(&toOutput, &toPicture);
    pixman_transform fixed;
    pixman_transform_from_pixman_f_transform(&fixed, &toOutput);
    pixman_image_set_transform(source, &fixed);
    const double sx = toPicture.m[0][0], sy = toPicture.m[1][1];
    if (sx >= 0.75 && sy >= 0.75) {
        pixman_image_set_filter(source, PIXMAN_FILTER_BILINEAR, nullptr, 0);
    } else {
        int n = 0;
        pixman_fixed_t* kernel = pixman_filter_create_separable_convolution(
            &n, pixman_double_to_fixed(std::fmax(1., 1. / sx)),
            pixman_double_to_fixed(std::fmax(1., 1. / sy)), PIXMAN_KERNEL_IMPULSE, PIXMAN_KERNEL_IMPULSE,
            PIXMAN_KERNEL_LANCZOS2, PIXMAN_KERNEL_LANCZOS2, 2, 2);
        pixman_image_set_filter(source, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, kernel, n);
        free(kernel);
    }
    std::vector<uint32_t> out(static_cast<size_t>(dest.Width()) * static_cast<size_t>(dest.Height()));
    pixman_image_t* target =
        pixman_image_create_bits(PIXMAN_a8r8g8b8, dest.Width(), dest.Height(), out.data(), dest.Width() * 4);
    if (!target) {
        pixman_image_unref(source);
        return false;
    }
    pixman_image_composite32(PIXMAN_OP_SRC, source, nullptr, target, 0, 0, 0, 0, 0, 0, dest.Width(),
                             dest.Height());
    pixman_image_unref(target);
    pixman_image_unref(source);
    // Only the part inside the picture.
    const Rect on = Intersect(dest, Rect{0, 0, into.Width(), into.Height()});
    for (int y = on.top; y < on.bottom; ++y) {
        const uint32_t* s =
            out.data() + static_cast<size_t>(y - dest.top) * static_cast<size_t>(dest.Width());
        uint8_t* d = into.Row(y) + static_cast<ptrdiff_t>(on.left) * 3;
        for (int x = on.left; x < on.right; ++x, d += 3) {
            const uint32_t p = s[x - dest.left];
            const uint32_t a = p >> 24;
            for (int c = 0; c < 3; ++c) {
                const uint32_t v = (p >> (8 * c)) & 0xff;
                // The rim half covered by the filter: its own colour, undarkened, as grim saves it.
                if (a == 0 || a == 255) {
                    d[c] = static_cast<uint8_t>(v);
                } else {
                    const uint32_t scaled = v * ((0xffu << 16) / a);
                    d[c] = static_cast<uint8_t>(scaled > (0xffu << 16) ? 0xff : scaled >> 16);
                }
            }
        }
    }
    return true;
}

}  // namespace

bool Connection::GrabOutput(const Output& output, const Rect& box, double scale, bool withCursor, Image& into,
                            std::string* error) {
    Frame f;
    zwlr_screencopy_frame_v1* frame =
        zwlr_screencopy_manager_v1_capture_output(screencopy_, withCursor ? 1 : 0, output.output);
    zwlr_screencopy_frame_v1_add_listener(frame, &kFrameListener, &f);
    struct FrameGuard {
        zwlr_screencopy_frame_v1* frame;
        ~FrameGuard() { zwlr_screencopy_frame_v1_destroy(frame); }
    } guard{frame};
    // Version 3 lists every buffer kind and then says so; earlier versions offer shared memory only.
    const bool listed = DispatchUntil(
        [&] { return f.failed || (screencopyVersion_ >= 3 ? f.bufferDone : f.haveShm); }, kReplyTimeoutMs);
    if (!listed || f.failed || !f.haveShm) {
        SetError(error, "the compositor did not offer the screen's pixels");
        return false;
    }
    if (!ReadableShmFormat(f.format)) {
        SetError(error, "the compositor offers the screen in a pixel format Glimmora cannot read");
        return false;
    }
    ShmBuffer shm;
    if (!shm.Create(shm_, f)) {
        SetError(error, "no shared memory for the screen's pixels");
        return false;
    }
    zwlr_screencopy_frame_v1_copy(frame, shm.buffer);
    if (!DispatchUntil([&] { return f.ready || f.failed; }, kReplyTimeoutMs) || !f.ready) {
        SetError(error, "the compositor refused to copy the screen");
        return false;
    }
    const ShmFrame pixels{static_cast<const uint8_t*>(shm.data),
                          f.format,
                          static_cast<int>(f.width),
                          static_cast<int>(f.height),
                          f.stride,
                          (f.flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0};
    const Rect logical = output.LogicalRect();
    const Size device = output.DeviceSize();
    const double fx = (logical.left - box.left) * scale, fy = (logical.top - box.top) * scale;
    const Rect place{static_cast<int>(fx), static_cast<int>(fy), static_cast<int>(fx) + device.width,
                     static_cast<int>(fy) + device.height};
    // At the picture's own scale on whole pixels inside the picture, a plain copy: the usual case.
    const bool asIs = std::abs(logical.Width() * scale - device.width) < 1e-9 &&
                      std::abs(logical.Height() * scale - device.height) < 1e-9 && fx == place.left &&
                      fy == place.top && place.left >= 0 && place.top >= 0 && place.right <= into.Width() &&
                      place.bottom <= into.Height();
    if (asIs) return CopyShmFrame(pixels, output.transform, place, into, error);
    const std::vector<uint32_t> upright = Upright(pixels, output.transform, device, error);
    if (upright.empty()) return false;
    if (!Resample(upright, device, logical, box, scale, into)) {
        SetError(error, "not enough memory to scale a screen");
        return false;
    }
    return true;
}

bool Connection::GrabLayout(Image& out, bool withCursor, std::string* error) {
    const ScreenLayout layout = Layout();
    return Compose(layout.Bounds(), layout.scale, withCursor, out, error);
}

bool Connection::Compose(const Rect& box, double scale, bool withCursor, Image& out, std::string* error) {
    if (!screencopy_ || !shm_) {
        SetError(error, "this compositor offers no screen copy");
        return false;
    }
    const Size size{static_cast<int>(box.Width() * scale), static_cast<int>(box.Height() * scale)};
    if (outputs_.empty() || size.width <= 0 || size.height <= 0) {
        SetError(error, "no screen to capture");
        return false;
    }
    Image picture;
    if (!picture.Create(size.width, size.height, 24)) {
        SetError(error, "not enough memory for the screen");
        return false;
    }
    for (const auto& o : outputs_) {
        if (IsEmpty(Intersect(o->LogicalRect(), box))) continue;
        if (!GrabOutput(*o, box, scale, withCursor, picture, error)) return false;
    }
    out = std::move(picture);
    return true;
}

zwlr_virtual_pointer_v1* Connection::VirtualPointer() {
    if (!pointer_ && pointerManager_) {
        pointer_ = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointerManager_, seat_);
        // Where it is the seat's first pointer, clients bind theirs only now: let them, or the first
        // events would go to windows that cannot hear them yet.
        Roundtrip();
    }
    return pointer_;
}

bool Connection::PointerMotion(Point p) {
    zwlr_virtual_pointer_v1* vp = VirtualPointer();
    if (!vp || outputs_.empty()) return false;
    // Absolute positions are fractions of the layout; ours is in device pixels, and so is the extent.
    const Size size = LayoutSize();
    if (size.width <= 0 || size.height <= 0) return false;
    const auto x = static_cast<uint32_t>(std::clamp(p.x, 0, size.width - 1));
    const auto y = static_cast<uint32_t>(std::clamp(p.y, 0, size.height - 1));
    zwlr_virtual_pointer_v1_motion_absolute(vp, NowMs(), x, y, static_cast<uint32_t>(size.width),
                                            static_cast<uint32_t>(size.height));
    zwlr_virtual_pointer_v1_frame(vp);
    return wl_display_flush(display_) >= 0;
}

bool Connection::PointerButton(int button, bool down) {
    zwlr_virtual_pointer_v1* vp = VirtualPointer();
    if (!vp) return false;
    const uint32_t code = button == 3 ? kBtnRight : button == 2 ? kBtnMiddle : kBtnLeft;
    zwlr_virtual_pointer_v1_button(vp, NowMs(), code,
                                   down ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
    zwlr_virtual_pointer_v1_frame(vp);
    return wl_display_flush(display_) >= 0;
}

bool Connection::PointerWheel(int notches) {
    zwlr_virtual_pointer_v1* vp = VirtualPointer();
    if (!vp) return false;
    // As a mouse wheel reports it: 15 units and one discrete step a notch, positive towards the user.
    const uint32_t t = NowMs();
    zwlr_virtual_pointer_v1_axis_source(vp, WL_POINTER_AXIS_SOURCE_WHEEL);
    zwlr_virtual_pointer_v1_axis_discrete(vp, t, WL_POINTER_AXIS_VERTICAL_SCROLL,
                                          wl_fixed_from_int(15 * notches), notches);
    zwlr_virtual_pointer_v1_frame(vp);
    return wl_display_flush(display_) >= 0;
}

bool Connection::OfferClipboard(const std::string& mime, std::vector<uint8_t> bytes) {
    if (!HasDataControl()) return false;
    if (offer_ && offer_->source) zwlr_data_control_source_v1_destroy(offer_->source);
    offer_ = std::make_unique<Offer>();
    offer_->mime = mime;
    offer_->bytes = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    if (!writers_) writers_ = std::make_unique<ClipboardWriters>();
    offer_->writers = writers_.get();
    offer_->source = zwlr_data_control_manager_v1_create_data_source(dataControl_);
    zwlr_data_control_source_v1_add_listener(offer_->source, &kSourceListener, offer_.get());
    zwlr_data_control_source_v1_offer(offer_->source, mime.c_str());
    zwlr_data_control_device_v1_set_selection(dataDevice_, offer_->source);
    return Roundtrip();
}

}  // namespace glimmora::wayland
