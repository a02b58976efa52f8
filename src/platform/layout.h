// Where the monitors are, and how the desktop's coordinates map to the pixels of our pictures. One model
// for X11 (RandR monitors of the root) and Wayland (outputs with fractional scales).
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"

namespace glimmora {

struct Monitor {
    std::string name;
    Rect logical;       // in the desktop's coordinates; may lie left of or above 0
    Size device;        // its own pixels, transform applied
    double scale = 1;   // device pixels per logical pixel (1.25, 1.5, ... on wlroots)
    int transform = 0;  // wl_output.transform; 0 on X11
};

// A full-screen picture shows the whole layout at the highest scale of its monitors, top-left at the
// layout's top-left corner. "Screen coordinates" everywhere else in the program are that picture's pixels.
struct ScreenLayout {
    std::vector<Monitor> monitors;
    double scale = 1;
    // The desktop's area when it is more than the monitors' (X11: the root window); else empty.
    Rect area;

    // Fills in scale from the monitors.
    static ScreenLayout Of(std::vector<Monitor> monitors);
    // The bounding box of all monitors, in the desktop's coordinates.
    Rect Bounds() const;
    Size PictureSize() const;
    // A rectangle of the desktop in the picture's pixels. Both edges are rounded alike, so rectangles that
    // touch in the desktop touch in the picture: no gap or overlap of a pixel at 1.25, 1.5 or 2.
    Rect ToPicture(const Rect& logical) const;
    Point ToPicture(Point logical) const;
    Point ToLogical(Point picture) const;
    // Where monitor i lies in the picture.
    Rect PlaceOf(size_t i) const { return ToPicture(monitors[i].logical); }
    // The monitor showing picture pixel p, or the nearest one; -1 with none at all.
    int MonitorAt(Point picture) const;
    // The highest scale among the monitors a desktop rectangle touches (1 when it touches none).
    double ScaleOver(const Rect& logical) const;
};

}  // namespace glimmora
