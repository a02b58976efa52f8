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
    // The moving columns in groups of 4 (half a glyph, so a line that differs from another only in one digit
    // does not pass for it), one hash per row and group: a column that moves its own way (a scroll-bar thumb,
    // a caret) spoils only its own group. A group of one colour in a row matches anything and is not counted.
    constexpr size_t kGroup = 4;
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
    struct Fit {
        int d, matched, counted;
        // Agreement in thousandths.
        int Share() const { return static_cast<int>(1000LL * matched / counted); }
    };
    std::vector<Fit> fits;
    // Every shift the pictures can show, big steps included.
    for (int d = 1; d < rows; ++d) {
        int matched = 0, counted = 0;
        score(d, matched, counted);
        // Nearly every informative cell has to agree. Not all: rows under a view's fixed margins and a
        // scroll bar's thumb disagree at the true shift too (a tenth of the cells on a column of numbers).
        if (matched < kMinMatched || matched * 100 < counted * 85) continue;
        fits.push_back(Fit{d, matched, counted});
    }
    if (fits.empty()) return std::nullopt;
    // The best agreement wins, not the most cells: a big step overlaps few rows.
    const Fit best = *std::max_element(fits.begin(), fits.end(), [](const Fit& a, const Fit& b) {
        return a.Share() != b.Share() ? a.Share() < b.Share() : a.matched < b.matched;
    });
    // Repeating content fits several shifts about as well: taking one of them would glue unrelated rows.
    for (const Fit& other : fits)
        if (std::abs(other.d - best.d) > 1 && other.Share() + 50 >= best.Share() &&
            other.matched * 4 >= best.matched)
            return std::nullopt;
    return best.d;
}

bool ScrollCapture::GrabRows(int top, int bottom, Image& out) {
    return GrabScreenRect(platform_.screen(), out,
                          Rect{client_.left, client_.top + top, client_.left + w_, client_.top + bottom});
}

Image ScrollCapture::Masked(const Image& view) const {
    Image copy(view);
    if (!copy.IsValid() || copy.Depth() != 24 || w_ < 9) return copy;
    const int c = w_ - hw_;
    for (int y = 0; y < copy.Height(); ++y) {
        uint8_t* row = copy.Row(y);
        for (int x : {5, 6, 7, 8, c - 4, c - 3, c - 2, c - 1})
            if (x >= 0 && x < copy.Width()) std::memset(row + static_cast<ptrdiff_t>(x) * 3, 0, 3);
    }
    return copy;
}

bool ScrollCapture::SameView(const Image& a, const Image& b) const {
    return SameRows(Masked(a), Masked(b), resultWidth_);
}

bool ScrollCapture::ShowsMarker(const Image& view) const {
    for (int y = 0; y < view.Height(); ++y) {
        const bool left = IsColour(view, 6, y, kBlue) && IsColour(view, 8, y, kRed);
        const bool centre = IsColour(view, w_ - hw_ - 3, y, kBlue) && IsColour(view, w_ - hw_ - 1, y, kRed);
        if (left || centre) return true;
    }
    return false;
}

bool ScrollCapture::GrabSettled(const Image* previous, Image& out) {
    // The target repaints when it gets to it: wait until two grabs in a row agree, and wait longer while
    // nothing has changed at all, as a slow repaint must not look like the end of the content.
    constexpr int kPollMs = 25, kUnchangedMs = 1000, kLimitMs = 3000;
    const Image before = previous ? Masked(*previous) : Image();
    Image last, lastMasked;
    Sleep(kPollMs);
    if (!GrabRows(0, h_, last)) return false;
    lastMasked = Masked(last);
    for (int waited = kPollMs; waited < kLimitMs; waited += kPollMs) {
        Sleep(kPollMs);
        Image now;
        if (!GrabRows(0, h_, now)) return false;
        Image nowMasked = Masked(now);
        const bool stable = SameRows(nowMasked, lastMasked, resultWidth_);
        last = std::move(now);
        lastMasked = std::move(nowMasked);
        if (!stable) continue;
        if (previous && SameRows(lastMasked, before, resultWidth_) && waited < kUnchangedMs) continue;
        break;
    }
    out = std::move(last);
    return true;
}

bool ScrollCapture::GrabWithoutMarkers(Image& out) {
    // A view that moves its pixels carries old markers along; one that repaints late still shows them.
    // Only a view free of them is taken, or a stale marker would be measured at the next step.
    constexpr int kPollMs = 25, kLimitMs = 3000;
    Image last;
    for (int waited = 0; waited < kLimitMs; waited += kPollMs) {
        Sleep(kPollMs);
        Image now;
        if (!GrabRows(0, h_, now)) return false;
        const bool clean = !ShowsMarker(now);
        const bool stable = clean && last.IsValid() && SameRows(now, last, resultWidth_);
        last = clean ? std::move(now) : Image();
        if (stable) {
            out = std::move(last);
            return true;
        }
    }
    return false;
}

bool ScrollCapture::ChangedRows(const Image& before, const Image& view, int& top, int& bottom) const {
    const Image masked = Masked(view);
    const size_t rowBytes = static_cast<size_t>(resultWidth_) * 3;
    top = bottom = -1;
    for (int y = 0; y < h_; ++y) {
        if (std::memcmp(before.Row(y), masked.Row(y), rowBytes) == 0) continue;
        if (top < 0) top = y;
        bottom = y + 1;
    }
    return top >= 0;
}

int ScrollCapture::MeasureStep(const Image& before, const Image& after, int top, int bottom,
                               int markerStep) const {
    if (bottom <= top) return 0;
    const Rect pane{0, top, w_, bottom};
    Image paneBefore, paneAfter;
    std::optional<int> byRows;
    if (GrabRect(paneBefore, before, pane) && GrabRect(paneAfter, Masked(after), pane))
        byRows = MatchRowShift(paneBefore, paneAfter, resultWidth_);
    int d = 0;
    if (markerStep > 0 && byRows) {
        d = markerStep == *byRows ? markerStep : 0;  // they disagree: neither can be trusted
    } else if (markerStep > 0) {
        d = markerStep;
    } else if (byRows) {
        d = *byRows;
    }
    return d < bottom - top ? d : 0;
}

void ScrollCapture::DrawMarkers(int row) {
    if (w_ < 9) return;
    WindowSystem& windows = platform_.windows();
    const int c = w_ - hw_;
    windows.DrawRow(target_, Point{5, row}, 7, kBlue);
    windows.DrawRow(target_, Point{7, row}, 9, kRed);
    windows.DrawRow(target_, Point{c - 4, row}, c - 2, kBlue);
    windows.DrawRow(target_, Point{c - 2, row}, c, kRed);
}

void ScrollCapture::EraseMarkers() {
    if (w_ < 9) return;
    const int c = w_ - hw_;
    const Rect left{5, 0, 9, h_}, centre{c - 4, 0, c, h_};
    platform_.windows().Invalidate(target_, &left);
    platform_.windows().Invalidate(target_, &centre);
}

bool ScrollCapture::Run(WindowId target, Point pointer, Image& result) {
    WindowSystem& windows = platform_.windows();
    shifts_.clear();
    end_ = End::NoMovement;
    target_ = target;
    paneTop_ = paneBottom_ = 0;
    if (!windows.ClientRect(target, client_) || IsEmpty(client_)) return false;
    w_ = client_.Width();
    h_ = client_.Height();
    hw_ = w_ / 2;
    resultWidth_ = std::max(1, w_ - kScrollBarWidth);

    // The target holds the keyboard focus: Esc is ours while the capture runs, so it stops the capture
    // and never reaches the target.
    const std::unique_ptr<EscapeGrab> escape = platform_.input().GrabEscape();
    // However the run ends, the markers go.
    struct Wipe {
        WindowSystem& windows;
        WindowId target;
        bool marked = false;
        ~Wipe() {
            if (marked) windows.Invalidate(target);
        }
    } wipe{windows, target};

    // Preparing: bring the target forward so the wheel and our grabs reach it.
    Sleep(100);
    const WindowId top = windows.TopLevel(target);
    if (windows.ActiveWindow() != top && windows.Activate(top)) {
        for (int waited = 0; waited < 2000 && windows.ActiveWindow() != top; waited += 20) Sleep(20);
    }
    platform_.input().WarpPointer(pointer);
    Image first;
    if (!GrabSettled(nullptr, first)) return false;

    // The picture: the first view down to the pane's bottom, then the rows each notch brings in at the
    // pane's bottom, then what lies below the pane in the last view whose place is certain.
    Image view = first;
    std::vector<Image> bands;
    const uint64_t rowCost = ((static_cast<uint64_t>(resultWidth_) * 3 + 3) & ~uint64_t{3}) + sizeof(void*);
    const uint64_t maxRows = maxResultBytes_ / rowCost;
    uint64_t height = static_cast<uint64_t>(h_);
    end_ = End::Limit;
    for (int step = 1; step <= maxSteps_; ++step) {
        if ((stop_ && stop_()) || (escape && escape->Pressed())) {
            end_ = End::Stopped;
            break;
        }
        // On the middle line of the pane, or of the client area until the pane is known.
        const bool paneKnown = paneBottom_ > paneTop_;
        const int mid = paneKnown ? (paneTop_ + paneBottom_) / 2 : h_ / 2;
        DrawMarkers(mid);
        wipe.marked = true;
        platform_.input().WarpPointer(pointer);
        platform_.input().WheelNotchDown();
        Image after;
        if (!GrabSettled(&view, after)) return false;

        // The pane is what changed; toolbars, buttons and status bars stay still.
        const Image before = Masked(view);
        int changedTop = -1, changedBottom = -1;
        if (!ChangedRows(before, after, changedTop, changedBottom)) {
            end_ = End::NoMovement;
            break;
        }

        // A marker the content carried up tells the step exactly (rows just above where it was drawn).
        int markerStep = 0;
        Image probe;
        const int probeTop = paneKnown ? paneTop_ : changedTop,
                  probeBottom = paneKnown ? paneBottom_ : changedBottom;
        if (mid > probeTop && mid < probeBottom && GrabRect(probe, after, Rect{0, probeTop, w_, mid})) {
            const int found = FindMarkerShift(probe, w_);
            if (found < probe.Height()) markerStep = found;
        }
        EraseMarkers();
        Image clean;
        if (!GrabWithoutMarkers(clean)) {
            end_ = End::Unmeasured;
            break;
        }
        if (!SameView(clean, after)) markerStep = 0;  // it moved on meanwhile: measure what we keep

        // Measured on the picture that is kept, not on a passing one: a program that is held up may first
        // show a change of its own (an overlay scroll bar fading) and move its text only later. While the
        // picture goes on changing, the step is measured again on the newer one.
        int d = 0, top = paneTop_, bottom = paneBottom_;
        for (int retry = 0;; ++retry) {
            if (!paneKnown && !ChangedRows(before, clean, top, bottom)) top = bottom = 0;
            d = MeasureStep(before, clean, top, bottom, markerStep);
            if (d > 0 || retry == kMeasureRetries) break;
            Image later;
            if (!GrabSettled(&clean, later)) return false;
            if (SameView(later, clean) || ShowsMarker(later)) break;
            clean = std::move(later);
            markerStep = 0;
        }
        // A step that cannot be measured ends the picture with the view before it: never a seam that
        // was not matched.
        if (d <= 0) {
            end_ = End::Unmeasured;
            break;
        }
        paneTop_ = top;
        paneBottom_ = bottom;
        if (height + static_cast<uint64_t>(d) > maxRows) {
            end_ = End::SizeLimit;
            break;
        }
        Image band;
        if (!GrabRect(band, clean, Rect{0, paneBottom_ - d, w_, paneBottom_})) return false;
        bands.push_back(std::move(band));
        shifts_.push_back(d);
        height += static_cast<uint64_t>(d);
        view = std::move(clean);
    }

    Image stitched;
    if (!stitched.Create(resultWidth_, static_cast<int>(height), 24)) return false;
    int y = 0;
    Image piece;
    if (paneBottom_ > 0) {
        if (!GrabRect(piece, first, Rect{0, 0, w_, paneBottom_})) return false;
        stitched.Paste(piece, 0, y);
        y += piece.Height();
    }
    for (const Image& band : bands) {
        stitched.Paste(band, 0, y);
        y += band.Height();
    }
    if (paneBottom_ < h_) {
        if (!GrabRect(piece, view, Rect{0, paneBottom_, w_, h_})) return false;
        stitched.Paste(piece, 0, y);
    }
    result = std::move(stitched);
    return true;
}

}  // namespace glimmora
