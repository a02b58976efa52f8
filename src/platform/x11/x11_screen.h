// Screen pixels through MIT-SHM (plain GetImage when shared memory is not to be had), the pointer and
// the cursor shape through XFixes.
#pragma once

#include <xcb/shm.h>

#include <cstddef>
#include <cstdint>

#include "platform/screen.h"
#include "platform/x11/x11_connection.h"

namespace glimmora::x11 {

class X11Screen : public Screen {
  public:
    explicit X11Screen(Connection& conn);
    ~X11Screen() override;

    Size ScreenSize() override;
    // Every RandR monitor of the root (xrandr --setmonitor ones too), all at scale 1.
    ScreenLayout Layout() override;
    bool Grab(const Rect& rect, Image& out) override;
    bool PointerPosition(Point& out) override;
    bool DrawCursor(Image& image, Point origin) override;
    std::string Route() const override { return useShm_ ? "X11 shared memory" : "X11 GetImage"; }

    // For the benchmark: turn shared memory off to measure the fallback.
    void SetUseShm(bool on) { useShm_ = on && shmAvailable_; }

  private:
    struct PixelLayout {
        int bitsPerPixel = 0;
        int scanlinePad = 32;
        uint32_t red = 0, green = 0, blue = 0;
        bool msbFirst = false;
    };
    bool EnsureSegment(size_t bytes);
    void ReleaseSegment();
    // Copies w x h server pixels (rows of srcStride bytes) into image at (dx, dy).
    bool Convert(const uint8_t* src, size_t srcStride, int w, int h, Image& image, int dx, int dy) const;

    Connection& conn_;
    PixelLayout layout_;
    bool shmAvailable_ = false;
    bool useShm_ = false;
    bool xfixesReady_ = false;
    xcb_shm_seg_t seg_ = 0;
    int shmId_ = -1;
    uint8_t* shmAddr_ = nullptr;
    size_t shmSize_ = 0;
};

}  // namespace glimmora::x11
