#include "capture/scroll_capture.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "capture/grab.h"

namespace glimmora {

namespace {
constexpr uint32_t kBlue = 0x0000FF;
constexpr uint32_t kRed = 0xFF0000;

void Sleep(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool IsColour(const Image& image, int x, int y, uint32_t rgb) {
    if (x < 0 || x >= image.Width()) return false;
    const uint8_t* p = image.PixelAddress(x, y);
    return p[0] == (rgb & 0xFF) && p[1] == ((rgb >> 8) & 0xFF) && p[2] == ((rgb >> 16) & 0xFF);
}

bool SameRows(const Image& a, const Image& b, int columns) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    const size_t bytes = static_cast<size_t>(std::min(columns, a.Width())) * 3;
    for (int y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.Row(y), b.Row(y), bytes) != 0) return false;
    return true;
}

uint64_t Mix(uint64_t h, uint64_t v) {
    h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
    return h * 0xFF51AFD7ED558CCDull;
}
}  // namespace

int FindMarkerShift(const Image& probe, int w) {
    const int n = probe.IsValid() ? probe.Height() : 0;
    const int hw = w / 2;
    // Row n lies below the probe and never matches; row 0 is never looked at.
    for (int y = n, count = 0; y >= 1; --y, ++count) {
        if (y >= n) continue;
        const bool left = IsColour(probe, 6, y, kBlue) && IsColour(probe, 8, y, kRed);
        const bool centre = IsColour(probe, w - hw - 3, y, kBlue) && IsColour(probe, w - hw - 1, y, kRed);
        if (left || centre) return count;
    }
    return n;
}

std::optional<int> MatchRowShift(const Image& before, const Image& after, int columns) {
    if (!before.IsValid() || !after.IsValid() || before.Width() != after.Width() ||
        before.Height() != after.Height() || before.Depth() != 24 || after.Depth() != 24)
        return std::nullopt;
    const int rows = before.Height();
    columns = std::clamp(columns, 0, before.Width());
    // Columns that stayed the same carry no movement: fixed borders, margins, a still scroll bar.
    std::vector<int> moving;
    for (int x = 0; x < columns; ++x) {
        for (int y = 0; y < rows; ++y) {
            if (std::memcmp(before.PixelAddress(x, y), after.PixelAddress(x, y), 3) != 0) {
                moving.push_back(x);
                break;
            }
        }
    }
    if (moving.empty()) return std::nullopt;
    // The moving columns in groups of 16, one hash per row and group: a column that moves its own way
    // (a scroll-bar thumb, a caret) spoils only its own group. A group of one colour in a row matches
    // anything and is not counted.
    constexpr size_t kGroup = 16;
    const size_t groups = (moving.size() + kGroup - 1) / kGroup;
    const size_t cells = static_cast<size_t>(rows) * groups;
    auto hashes = [&](const Image& image, std::vector<uint64_t>& hash, std::vector<char>& plain) {
        hash.assign(cells, 0);
        plain.assign(cells, 1);
        for (int y = 0; y < rows; ++y) {
            const uint8_t* row = image.Row(y);
            for (size_t g = 0; g < groups; ++g) {
                const size_t end = std::min(moving.size(), (g + 1) * kGroup);
                const uint8_t* first = row + moving[g * kGroup] * 3;
                uint64_t h = 1469598103934665603ull;
                char plainCell = 1;
                for (size_t i = g * kGroup; i < end; ++i) {
                    const uint8_t* p = row + moving[i] * 3;
                    h = Mix(h, static_cast<uint64_t>(p[0]) | static_cast<uint64_t>(p[1]) << 8 |
                                   static_cast<uint64_t>(p[2]) << 16);
                    if (std::memcmp(p, first, 3) != 0) plainCell = 0;
                }
                hash[static_cast<size_t>(y) * groups + g] = h;
                plain[static_cast<size_t>(y) * groups + g] = plainCell;
            }
        }
    };
    std::vector<uint64_t> hb, ha;
    std::vector<char> pb, pa;
    hashes(before, hb, pb);
    hashes(after, ha, pa);
    // Content that moved up by d shows after[y] == before[y + d]. A cell that shows the same as before
    // at its own place stayed put (a title, a frame, buttons) and tells nothing about the movement.
    auto score = [&](int d, int& matched, int& counted) {
        matched = counted = 0;
        for (int y = 0; y + d < rows; ++y) {
            const size_t a = static_cast<size_t>(y) * groups, b = static_cast<size_t>(y + d) * groups;
            for (size_t g = 0; g < groups; ++g) {
                if ((pa[a + g] && pb[b + g]) || ha[a + g] == hb[a + g]) continue;
                ++counted;
                if (ha[a + g] == hb[b + g]) ++matched;
            }
        }
    };
    constexpr int kMinMatched = 3;
    int best = -1, bestMatched = 0;
    for (int d = 1; d < rows; ++d) {
        int matched = 0, counted = 0;
        score(d, matched, counted);
        // Nearly every informative cell has to agree.
        if (matched < kMinMatched || matched * 10 < counted * 9) continue;
        if (matched > bestMatched) {
            best = d;
            bestMatched = matched;
        }
    }
    if (best < 0) return std::nullopt;
    return best;
}

bool ScrollCapture::GrabRows(int top, int bottom, Image& out) {
    return GrabScreenRect(platform_.screen(), out,
                          Rect{client_.left, client_.top + top, client_.left + w_, client_.top + bottom});
}

bool ScrollCapture::GrabSettled(int top, int bottom, const Image* previous, Image& out) {
    // The target repaints when it gets to it: wait until two grabs in a row agree, and wait longer while
    // nothing has changed at all, as a slow repaint must not look like the end of the content.
    constexpr int kPollMs = 25, kUnchangedMs = 1000, kLimitMs = 3000;
    Image last;
    Sleep(kPollMs);
    if (!GrabRows(top, bottom, last)) return false;
    for (int waited = kPollMs; waited < kLimitMs; waited += kPollMs) {
        Sleep(kPollMs);
        Image now;
        if (!GrabRows(top, bottom, now)) return false;
        const bool stable = SameRows(now, last, resultWidth_);
        last = std::move(now);
        if (!stable) continue;
        if (previous && SameRows(last, *previous, resultWidth_) && waited < kUnchangedMs) continue;
        break;
    }
    out = std::move(last);
    return true;
}

void ScrollCapture::DrawMarkers() {
    if (w_ < 9) return;
    WindowSystem& windows = platform_.windows();
    const int c = w_ - hw_;
    windows.DrawRow(target_, Point{5, hh_}, 7, kBlue);
    windows.DrawRow(target_, Point{7, hh_}, 9, kRed);
    windows.DrawRow(target_, Point{c - 4, hh_}, c - 2, kBlue);
    windows.DrawRow(target_, Point{c - 2, hh_}, c, kRed);
}

void ScrollCapture::EraseMarkers() {
    if (w_ < 9) return;
    const int c = w_ - hw_;
    const Rect left{5, 0, 9, hh_ + 1}, centre{c - 4, 0, c, hh_ + 1};
    platform_.windows().Invalidate(target_, &left);
    platform_.windows().Invalidate(target_, &centre);
}

bool ScrollCapture::Run(WindowId target, Point pointer, Image& result) {
    WindowSystem& windows = platform_.windows();
    shifts_.clear();
    end_ = End::NoMovement;
    target_ = target;
    if (!windows.ClientRect(target, client_) || IsEmpty(client_)) return false;
    w_ = client_.Width();
    h_ = client_.Height();
    hw_ = w_ / 2;
    hh_ = h_ / 2;
    resultWidth_ = std::max(1, w_ - kScrollBarWidth);

    // Preparing: bring the target forward so the wheel and our grabs reach it.
    Sleep(100);
    const WindowId top = windows.TopLevel(target);
    if (windows.ActiveWindow() != top && windows.Activate(top)) {
        for (int waited = 0; waited < 2000 && windows.ActiveWindow() != top; waited += 20) Sleep(20);
    }
    platform_.input().WarpPointer(pointer);
    Image first;
    if (!GrabSettled(0, hh_ + 1, nullptr, first)) return false;

    std::vector<Image> bands;
    int s = 0;
    end_ = End::Limit;
    for (int step = 1; step <= maxSteps_; ++step) {
        if (stop_ && stop_()) {
            end_ = End::Stopped;
            break;
        }
        DrawMarkers();
        Image before;
        if (!GrabRows(0, hh_ + 1, before)) return false;
        platform_.input().WarpPointer(pointer);
        platform_.input().WheelNotchDown();
        Image after;
        if (!GrabSettled(0, hh_ + 1, &before, after)) return false;

        // The probe: the rows just above the middle line.
        const int probeTop = step == 1 ? 0 : std::max(0, hh_ - s - 1);
        Image probe;
        int d = -1;
        if (hh_ > probeTop && GrabRect(probe, after, Rect{0, probeTop, w_, hh_})) {
            const int n = probe.Height();
            const int marker = FindMarkerShift(probe, w_);
            if (marker < n) d = marker;
        }
        if (d < 0) {
            const std::optional<int> matched = MatchRowShift(before, after, resultWidth_);
            if (matched) d = *matched;
        }
        if (d <= 0 || d > hh_) {
            end_ = End::NoMovement;
            break;
        }
        // A step shorter than the one before is not taken for the end: the first notch of a view may
        // include a margin, and views that scroll by fractions of a pixel alternate (48, 49, 48, ...).
        // Only a notch that moves nothing ends the loop, so the last band always ends at the middle line.
        s = d;
        shifts_.push_back(d);
        // Views that scroll by moving their pixels carry the markers along, and one that moves them by
        // fractions smears them over a row of the new band: have the marker columns repainted first.
        EraseMarkers();
        Image band;
        if (!GrabSettled(hh_ + 1 - d, hh_ + 1, nullptr, band)) return false;
        bands.push_back(std::move(band));
    }
    // Finishing: wipe the markers, then the rest of the client area.
    windows.Invalidate(target);
    Image last;
    const int lastTop = hh_ + 1;
    if (lastTop < h_ && !GrabSettled(lastTop, h_, nullptr, last)) return false;

    int height = first.Height() + (last.IsValid() ? last.Height() : 0);
    for (const Image& band : bands) height += band.Height();
    Image stitched;
    if (!stitched.Create(resultWidth_, height, 24)) return false;
    int y = 0;
    stitched.Paste(first, 0, y);
    y += first.Height();
    for (const Image& band : bands) {
        stitched.Paste(band, 0, y);
        y += band.Height();
    }
    if (last.IsValid()) stitched.Paste(last, 0, y);
    result = std::move(stitched);
    return true;
}

}  // namespace glimmora
