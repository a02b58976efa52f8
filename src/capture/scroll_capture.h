// Capturing a scrollable window whole: scroll it one wheel notch at a time, measure how far the content
// moved, keep the newly revealed rows, and stack everything into one tall picture.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "image/image.h"
#include "platform/platform.h"

namespace glimmora {

// Room left on the right for a vertical scroll bar, cut off the stitched picture.
constexpr int kScrollBarWidth = 16;
constexpr int kMaxScrollSteps = 199;
// How often a step that cannot be measured is measured again while the picture goes on changing.
constexpr int kMeasureRetries = 3;

// The row (counted from the probe's bottom) at which a marker was found, i.e. how many rows the content
// moved up; probe.Height() when no row holds a marker. w is the target's width, hw = w / 2.
int FindMarkerShift(const Image& probe, int w);
// How many rows the content moved up between two pictures of the same rows, found by matching rows over
// every shift the pictures can show; columns at or past `columns` and columns that did not change are
// left out. Empty when no shift fits (nothing moved, or more than the pictures can show) and when more
// than one does (repeating content).
std::optional<int> MatchRowShift(const Image& before, const Image& after, int columns);

class ScrollCapture {
  public:
    // Limit: the step limit. Stopped: Esc or the stop check. NoMovement: a notch moved nothing (the end).
    // Unmeasured: a notch moved the content in a way that could not be measured; the picture ends with the
    // view before it. SizeLimit: the picture reached the largest size an image may have.
    enum class End { Limit, Stopped, NoMovement, Unmeasured, SizeLimit };

    explicit ScrollCapture(Platform& platform) : platform_(platform) {}
    // Asked before every step; true ends the loop. Esc ends it too: it is grabbed while the capture runs.
    void SetStopCheck(std::function<bool()> check) { stop_ = std::move(check); }
    void SetMaxSteps(int steps) { maxSteps_ = steps; }
    // The largest pixel block the stitched picture may take (the image bound unless a test asks less).
    void SetMaxResultBytes(uint64_t bytes) { maxResultBytes_ = bytes; }

    // Scrolls `target` with the pointer at `pointer` (a screen point on the pane to scroll) and
    // stitches the result. False when the window cannot be read.
    bool Run(WindowId target, Point pointer, Image& result);

    // What the last run did.
    End end() const { return end_; }
    const std::vector<int>& shifts() const { return shifts_; }
    // The rows of the client area that scroll, [top, bottom); empty when nothing moved.
    int paneTop() const { return paneTop_; }
    int paneBottom() const { return paneBottom_; }

  private:
    bool GrabRows(int top, int bottom, Image& out);
    // Grabs the client area until two grabs in a row agree (marker columns left out); `previous` is what
    // it showed before the change we wait for.
    bool GrabSettled(const Image* previous, Image& out);
    // Grabs the client area once the marker colours have gone from the marker columns and it is still.
    // False when they stay.
    bool GrabWithoutMarkers(Image& out);
    bool ShowsMarker(const Image& view) const;
    // The rows of `view` that differ from `before` (already masked), [top, bottom); false when none do.
    bool ChangedRows(const Image& before, const Image& view, int& top, int& bottom) const;
    // How far the content of the rows [top, bottom) moved up from `before` (masked) to `after`, by rows and,
    // when markerStep is above 0, by the marker too; 0 when that cannot be told.
    int MeasureStep(const Image& before, const Image& after, int top, int bottom, int markerStep) const;
    bool SameView(const Image& a, const Image& b) const;
    void DrawMarkers(int row);
    void EraseMarkers();
    // A copy with the marker columns blanked, for comparisons.
    Image Masked(const Image& view) const;

    Platform& platform_;
    std::function<bool()> stop_;
    int maxSteps_ = kMaxScrollSteps;
    uint64_t maxResultBytes_ = Image::kMaxPixelBytes;
    WindowId target_ = 0;
    Rect client_;
    int w_ = 0, h_ = 0, hw_ = 0, resultWidth_ = 0;
    int paneTop_ = 0, paneBottom_ = 0;
    End end_ = End::NoMovement;
    std::vector<int> shifts_;
};

}  // namespace glimmora
