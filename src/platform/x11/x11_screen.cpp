#include "platform/x11/x11_screen.h"

#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>
#include <unistd.h>
#include <xcb/randr.h>
#include <xcb/xfixes.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cstring>
#include <thread>
#include <vector>

namespace glimmora::x11 {

namespace {
int Shift(uint32_t mask) {
    return mask ? std::countr_zero(mask) : 0;
}
// Scales a channel of any width to 8 bits.
uint8_t Channel(uint32_t pixel, uint32_t mask) {
    if (!mask) return 0;
    const uint32_t v = (pixel & mask) >> Shift(mask);
    const int bits = std::popcount(mask);
    return bits >= 8 ? static_cast<uint8_t>(v >> (bits - 8))
                     : static_cast<uint8_t>((v * 255) / ((1u << bits) - 1));
}
// Four BGRX pixels become three 32-bit words of BGR.
void RowPortable(const uint8_t* s, uint8_t* d, int w) {
    int x = 0;
    for (; x + 4 <= w; x += 4, s += 16, d += 12) {
        uint32_t p[4];
        std::memcpy(p, s, 16);
        const uint32_t out[3] = {(p[0] & 0xFFFFFF) | (p[1] << 24), ((p[1] >> 8) & 0xFFFF) | (p[2] << 16),
                                 ((p[2] >> 16) & 0xFF) | (p[3] << 8)};
        std::memcpy(d, out, 12);
    }
    for (; x < w; ++x, s += 4, d += 3) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
    }
}

#if defined(__x86_64__)
// Eight pixels per step: each 128-bit lane drops its four spare bytes, the lanes are pushed together, and
// 32 bytes are stored of which 24 count (the next store covers the rest), so the loop stops while a
// whole store still fits in the row.
__attribute__((target("avx2"))) void RowAvx2(const uint8_t* s, uint8_t* d, int w) {
    const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4,
                                          5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
    int x = 0;
    for (; x + 11 <= w; x += 8) {
        const __m256i v =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + static_cast<ptrdiff_t>(x) * 4));
        const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(v, pack), join);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + static_cast<ptrdiff_t>(x) * 3), packed);
    }
    RowPortable(s + static_cast<ptrdiff_t>(x) * 4, d + static_cast<ptrdiff_t>(x) * 3, w - x);
}

__attribute__((target("ssse3"))) void RowSsse3(const uint8_t* s, uint8_t* d, int w) {
    const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int x = 0;
    for (; x + 6 <= w; x += 4) {
        const __m128i v =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + static_cast<ptrdiff_t>(x) * 4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + static_cast<ptrdiff_t>(x) * 3),
                         _mm_shuffle_epi8(v, pack));
    }
    RowPortable(s + static_cast<ptrdiff_t>(x) * 4, d + static_cast<ptrdiff_t>(x) * 3, w - x);
}
#endif

using RowFn = void (*)(const uint8_t*, uint8_t*, int);
// The widest the processor has, chosen once.
RowFn PickRow() {
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return RowAvx2;
    if (__builtin_cpu_supports("ssse3")) return RowSsse3;
#endif
    return RowPortable;
}

void ConvertRow(const uint8_t* s, uint8_t* d, int w) {
    static const RowFn row = PickRow();
    row(s, d, w);
}
// Maps a fresh block's pages in one call rather than one fault per page; a kernel without the call just
// leaves them to fault.
void Prefault(void* start, size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(start) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(start) + bytes) & ~(page - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
#else
    (void)start;
    (void)bytes;
#endif
}
}  // namespace

X11Screen::X11Screen(Connection& conn) : conn_(conn) {
    xcb_connection_t* c = conn_.get();
    const xcb_setup_t* setup = xcb_get_setup(c);
    const uint8_t depth = conn_.screen()->root_depth;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it)) {
        if (it.data->depth == depth) {
            layout_.bitsPerPixel = it.data->bits_per_pixel;
            layout_.scanlinePad = it.data->scanline_pad;
        }
    }
    layout_.msbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    for (auto d = xcb_screen_allowed_depths_iterator(conn_.screen()); d.rem; xcb_depth_next(&d)) {
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
            if (v.data->visual_id == conn_.screen()->root_visual) {
                layout_.red = v.data->red_mask;
                layout_.green = v.data->green_mask;
                layout_.blue = v.data->blue_mask;
            }
        }
    }
    auto shm = conn_.Get(xcb_shm_query_version_reply, xcb_shm_query_version(c));
    shmAvailable_ = shm != nullptr;
    useShm_ = shmAvailable_;
    auto fixes = conn_.Get(xcb_xfixes_query_version_reply, xcb_xfixes_query_version(c, 4, 0));
    xfixesReady_ = fixes && fixes->major_version >= 1;
}

X11Screen::~X11Screen() {
    ReleaseSegment();
}

Size X11Screen::ScreenSize() {
    Size size;
    conn_.RootSize(size.width, size.height);
    return size;
}

ScreenLayout X11Screen::Layout() {
    const Size size = ScreenSize();
    const Rect root{0, 0, size.width, size.height};
    std::vector<Monitor> monitors;
    xcb_connection_t* c = conn_.get();
    // The server answers a client by the RandR version it said it speaks; monitors came with 1.5.
    xcb_discard_reply(c, xcb_randr_query_version(c, 1, 5).sequence);
    auto reply = conn_.Get(xcb_randr_get_monitors_reply, xcb_randr_get_monitors(c, conn_.root(), 1));
    if (reply) {
        for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem;
             xcb_randr_monitor_info_next(&it)) {
            const xcb_randr_monitor_info_t* info = it.data;
            Monitor m;
            m.logical =
                Intersect(root, Rect{info->x, info->y, info->x + info->width, info->y + info->height});
            if (IsEmpty(m.logical)) continue;
            m.device = Size{m.logical.Width(), m.logical.Height()};
            auto name = conn_.Get(xcb_get_atom_name_reply, xcb_get_atom_name(c, info->name));
            if (name)
                m.name.assign(xcb_get_atom_name_name(name.get()),
                              static_cast<size_t>(xcb_get_atom_name_name_length(name.get())));
            monitors.push_back(std::move(m));
        }
    }
    // Without RandR, or with no monitor listed, the root is one monitor.
    if (monitors.empty()) {
        Monitor m;
        m.logical = root;
        m.device = size;
        monitors.push_back(m);
    }
    ScreenLayout layout = ScreenLayout::Of(std::move(monitors));
    layout.area = root;
    return layout;
}

bool X11Screen::EnsureSegment(size_t bytes) {
    if (shmAddr_ && shmSize_ >= bytes) return true;
    ReleaseSegment();
    shmId_ = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (shmId_ < 0) return false;
    void* addr = shmat(shmId_, nullptr, 0);
    if (addr == reinterpret_cast<void*>(-1)) {
        shmctl(shmId_, IPC_RMID, nullptr);
        shmId_ = -1;
        return false;
    }
    seg_ = xcb_generate_id(conn_.get());
    const bool attached =
        conn_.Check(xcb_shm_attach_checked(conn_.get(), seg_, static_cast<uint32_t>(shmId_), 0));
    // Marked for removal now, so the segment goes away with us whatever happens.
    shmctl(shmId_, IPC_RMID, nullptr);
    shmAddr_ = static_cast<uint8_t*>(addr);
    shmSize_ = bytes;
    Prefault(shmAddr_, bytes);
    if (!attached) {
        shmdt(shmAddr_);
        shmAddr_ = nullptr;
        shmSize_ = 0;
        seg_ = 0;
        return false;
    }
    return true;
}

void X11Screen::ReleaseSegment() {
    if (!shmAddr_) return;
    xcb_shm_detach(conn_.get(), seg_);
    // Waited for, not just sent: a server still unmapping a large segment when our connection closes
    // dropped the next client's connection (Xvfb at 3840 x 2160, about half the time).
    conn_.Sync();
    shmdt(shmAddr_);
    shmAddr_ = nullptr;
    shmSize_ = 0;
    seg_ = 0;
}

bool X11Screen::Convert(const uint8_t* src, size_t srcStride, int w, int h, Image& image, int dx,
                        int dy) const {
    const bool fast = layout_.bitsPerPixel == 32 && !layout_.msbFirst && layout_.red == 0xFF0000 &&
                      layout_.green == 0xFF00 && layout_.blue == 0xFF;
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = src + static_cast<size_t>(y) * srcStride;
        uint8_t* d = image.Row(dy + y) + static_cast<ptrdiff_t>(dx) * 3;
        if (fast) {
            ConvertRow(s, d, w);
            continue;
        }
        const int bytes = layout_.bitsPerPixel / 8;
        for (int x = 0; x < w; ++x, s += bytes, d += 3) {
            uint32_t v = 0;
            for (int i = 0; i < bytes; ++i) {
                const int shift = layout_.msbFirst ? 8 * (bytes - 1 - i) : 8 * i;
                v |= static_cast<uint32_t>(s[i]) << shift;
            }
            d[0] = Channel(v, layout_.blue);
            d[1] = Channel(v, layout_.green);
            d[2] = Channel(v, layout_.red);
        }
    }
    return true;
}

bool X11Screen::Grab(const Rect& rect, Image& out) {
    if (IsEmpty(rect)) return false;
    // Palette displays are refused, as 8 bits or fewer cannot give true colours.
    if (layout_.bitsPerPixel != 16 && layout_.bitsPerPixel != 24 && layout_.bitsPerPixel != 32) return false;
    const Size size = ScreenSize();
    const Rect on = Intersect(rect, Rect{0, 0, size.width, size.height});
    const int w = rect.Width(), h = rect.Height();

    Image fresh;
    const bool reuse = !IsEmpty(on) && on.Width() == w && on.Height() == h && out.IsValid() &&
                       out.Depth() == 24 && out.Width() == w && out.Height() == h;
    Image& target = reuse ? out : fresh;
    // A new picture's pages are mapped on another thread while this one sets up the shared segment
    // (mapping its pages too) and asks for the bands, so neither waits for the other.
    std::jthread prefault;
    if (!reuse) {
        if (!fresh.Create(w, h, 24)) return false;
        prefault = std::jthread(Prefault, fresh.Bits(), fresh.PixelBytes());
    }
    if (!IsEmpty(on)) {
        const int ow = on.Width(), oh = on.Height();
        const int dx = on.left - rect.left, dy = on.top - rect.top;
        // Room for padded rows of any depth up to 32 bits.
        const size_t bytes = (static_cast<size_t>(ow) + 1) * static_cast<size_t>(oh) * 4;
        bool done = false;
        if (useShm_ && EnsureSegment(bytes)) {
            // In bands, all asked for at once: the server copies the next band while we convert one.
            const int bands = std::clamp(oh / 128, 1, 16);
            const int bandRows = (oh + bands - 1) / bands;
            // The server pads every row (to 32 bits here): each band starts a whole number of padded
            // rows into the segment, or bands of 16-bit odd widths and packed 24-bit rows overlap.
            const size_t pad = static_cast<size_t>(std::max(8, layout_.scanlinePad));
            const size_t rowBits = static_cast<size_t>(ow) * static_cast<size_t>(layout_.bitsPerPixel);
            const size_t rowBytes = (rowBits + pad - 1) / pad * pad / 8;
            std::vector<xcb_shm_get_image_cookie_t> cookies;
            for (int top = 0; top < oh; top += bandRows) {
                const int rows = std::min(bandRows, oh - top);
                cookies.push_back(
                    xcb_shm_get_image(conn_.get(), conn_.root(), static_cast<int16_t>(on.left),
                                      static_cast<int16_t>(on.top + top), static_cast<uint16_t>(ow),
                                      static_cast<uint16_t>(rows), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, seg_,
                                      static_cast<uint32_t>(rowBytes * static_cast<size_t>(top))));
            }
            done = true;
            if (prefault.joinable()) prefault.join();
            for (size_t k = 0; k < cookies.size(); ++k) {
                auto reply = conn_.Get(xcb_shm_get_image_reply, cookies[k]);
                // Every reply is collected, even after a failure, so none is left behind.
                if (!reply || !done) {
                    done = false;
                    continue;
                }
                const int top = static_cast<int>(k) * bandRows;
                const int rows = std::min(bandRows, oh - top);
                const size_t stride = reply->size / static_cast<size_t>(rows);
                if (stride != rowBytes) {
                    done = false;
                    continue;
                }
                Convert(shmAddr_ + rowBytes * static_cast<size_t>(top), stride, ow, rows, target, dx,
                        dy + top);
            }
        }
        if (prefault.joinable()) prefault.join();
        if (!done) {
            auto reply = conn_.Get(xcb_get_image_reply,
                                   xcb_get_image(conn_.get(), XCB_IMAGE_FORMAT_Z_PIXMAP, conn_.root(),
                                                 static_cast<int16_t>(on.left), static_cast<int16_t>(on.top),
                                                 static_cast<uint16_t>(ow), static_cast<uint16_t>(oh), ~0u));
            if (!reply) return false;
            const size_t length = static_cast<size_t>(xcb_get_image_data_length(reply.get()));
            const size_t stride = length / static_cast<size_t>(oh);
            if (stride * 8 < static_cast<size_t>(ow) * static_cast<size_t>(layout_.bitsPerPixel))
                return false;
            done = Convert(xcb_get_image_data(reply.get()), stride, ow, oh, target, dx, dy);
        }
        if (!done) return false;
    }
    if (!reuse) out = std::move(fresh);
    return true;
}

bool X11Screen::PointerPosition(Point& out) {
    auto reply = conn_.Get(xcb_query_pointer_reply, xcb_query_pointer(conn_.get(), conn_.root()));
    if (!reply || !reply->same_screen) return false;
    out = Point{reply->root_x, reply->root_y};
    return true;
}

bool X11Screen::DrawCursor(Image& image, Point origin) {
    if (!xfixesReady_ || !image.IsValid() || image.Depth() < 24) return false;
    auto reply = conn_.Get(xcb_xfixes_get_cursor_image_reply, xcb_xfixes_get_cursor_image(conn_.get()));
    if (!reply) return false;
    const uint32_t* argb = xcb_xfixes_get_cursor_image_cursor_image(reply.get());
    const int length = xcb_xfixes_get_cursor_image_cursor_image_length(reply.get());
    const int cw = reply->width, ch = reply->height;
    if (!argb || length < cw * ch) return false;
    const int bpp = image.Depth() / 8;
    // The reply's x, y is the pointer position at the moment the cursor was read.
    const int left = reply->x - origin.x, top = reply->y - origin.y;
    for (int cy = 0; cy < ch; ++cy) {
        const int y = top + cy;
        if (y < 0 || y >= image.Height()) continue;
        for (int cx = 0; cx < cw; ++cx) {
            const int x = left + cx;
            if (x < 0 || x >= image.Width()) continue;
            const uint32_t p = argb[cy * cw + cx];
            const uint32_t a = p >> 24;
            if (!a) continue;
            uint8_t* d = image.Row(y) + static_cast<ptrdiff_t>(x) * bpp;
            // Premultiplied: out = src + dst * (255 - alpha) / 255.
            const uint32_t src[3] = {p & 0xFF, (p >> 8) & 0xFF, (p >> 16) & 0xFF};
            for (int i = 0; i < 3; ++i)
                d[i] = static_cast<uint8_t>(std::min<uint32_t>(255, src[i] + (d[i] * (255 - a) + 127) / 255));
        }
    }
    return true;
}

}  // namespace glimmora::x11
