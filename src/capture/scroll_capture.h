// Capturing a scrollable window whole: scroll it one wheel notch at a time, measure how far the content
// moved, keep the newly revealed rows, and stack everything into one tall picture.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "image/image.h"
#include "platform/platform.h"

namespace glimmora {

// Room left on the right for a vertical scroll bar, cut off the stitched picture.
constexpr int kScrollBarWidth = 16;
constexpr int kMaxScrollSteps = 199;

// The row (counted from the probe's bottom) at which a marker was found, i.e. how many rows the content
// moved up; probe.Height() when no row holds a marker. w is the target's width, hw = w / 2.
int FindMarkerShift(const Image& probe, int w);
// How many rows the content moved up between two pictures of the same rows, found by matching rows;
// columns at or past `columns` and columns that did not change are left out. Empty when no shift fits
// (nothing moved, or more than the pictures can show).
std::optional<int> MatchRowShift(const Image& before, const Image& after, int columns);

class ScrollCapture {
  public:
    enum class End { Limit, Stopped, NoMovement };

    explicit ScrollCapture(Platform& platform) : platform_(platform) {}
    // Asked before every step; true ends the loop (the user pressed Esc).
    void SetStopCheck(std::function<bool()> check) { stop_ = std::move(check); }
    void SetMaxSteps(int steps) { maxSteps_ = steps; }

    // Scrolls `target` with the pointer at `pointer` (a screen point on the pane to scroll) and
    // stitches the result. False when the window cannot be read.
    bool Run(WindowId target, Point pointer, Image& result);

    // What the last run did.
    End end() const { return end_; }
    const std::vector<int>& shifts() const { return shifts_; }

  private:
    bool GrabRows(int top, int bottom, Image& out);
    // Grabs rows [top, bottom) until two grabs in a row agree; `previous` is what the rows showed
    // before the change we wait for.
    bool GrabSettled(int top, int bottom, const Image* previous, Image& out);
    void DrawMarkers();
    void EraseMarkers();

    Platform& platform_;
    std::function<bool()> stop_;
    int maxSteps_ = kMaxScrollSteps;
    WindowId target_ = 0;
    Rect client_;
    int w_ = 0, h_ = 0, hw_ = 0, hh_ = 0, resultWidth_ = 0;
    End end_ = End::NoMovement;
    std::vector<int> shifts_;
};

}  // namespace glimmora
