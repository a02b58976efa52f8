#include "image/text_prep.h"

#include <algorithm>
#include <cstdlib>

namespace glimmora {

int TextLineHeight(const std::vector<uint8_t>& grey, int width, int height, uint8_t background) {
    // Ink: clearly darker than the background.
    const int threshold = std::max(0, background - 64);
    std::vector<int> runs;
    int run = 0;
    for (int y = 0; y <= height; ++y) {
        bool ink = false;
        if (y < height) {
            const uint8_t* row = grey.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
            ink = std::any_of(row, row + width, [&](uint8_t v) { return v < threshold; });
        }
        if (ink) {
            ++run;
        } else if (run > 0) {
            // A rule or an underline is not a line of text.
            if (run > 2) runs.push_back(run);
            run = 0;
        }
    }
    if (runs.empty()) return 0;
    std::nth_element(runs.begin(), runs.begin() + static_cast<std::ptrdiff_t>(runs.size() / 2), runs.end());
    return runs[runs.size() / 2];
}

int TextScaleFor(int lineHeight, int width, int height) {
    const int most = int64_t{width} * height <= kTripleScaleLimit ? 3 : 2;
    if (lineHeight <= 0) return most;
    return std::clamp((kTextLineTarget + lineHeight - 1) / lineHeight, 1, most);
}

int CharacterPitch(const std::vector<uint8_t>& grey, int width, int height, uint8_t background) {
    // Ink: the cores of strokes, at least halfway from the background to the farthest shade, either way
    // (a dark terminal in a light window frame may not have been inverted); the antialiased fringes
    // would otherwise fill the gaps between cells.
    int farthest = 0;
    for (uint8_t v : grey) farthest = std::max(farthest, std::abs(v - background));
    const auto isInk = [&](uint8_t v) {
        const int d = std::abs(v - background);
        return d > 64 && 2 * d >= farthest;
    };
    // Columns inked nearly all the way down are rules or a window's edges, not glyphs: they would join
    // every row into one band.
    std::vector<int> down(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = grey.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x)
            if (isInk(row[x])) ++down[static_cast<size_t>(x)];
    }
    std::vector<bool> rule(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x)
        rule[static_cast<size_t>(x)] = 10 * down[static_cast<size_t>(x)] >= 9 * height;
    // Ink per column of each band of rows holding ink (a line of text, or a title bar above a terminal).
    std::vector<std::vector<int64_t>> bands;
    std::vector<int64_t> heights;
    std::vector<int64_t> ink(static_cast<size_t>(width));
    bool open = false;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = grey.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        bool any = false;
        for (int x = 0; x < width; ++x)
            if (!rule[static_cast<size_t>(x)] && isInk(row[x])) {
                if (!open) {
                    bands.emplace_back(static_cast<size_t>(width));
                    heights.push_back(0);
                }
                if (!any) ++heights.back();
                open = any = true;
                ++bands.back()[static_cast<size_t>(x)];
                ++ink[static_cast<size_t>(x)];
            }
        open = any;
    }
    int first = 0, last = width - 1;
    while (first < width && ink[static_cast<size_t>(first)] == 0) ++first;
    while (last > first && ink[static_cast<size_t>(last)] == 0) --last;
    if (first >= width) return 0;
    const int span = last - first + 1;
    std::vector<int64_t> sums, agreeing;
    int64_t allHeights = 0;
    for (const int64_t h : heights) allHeights += h;
    int64_t total = 0;
    for (int x = first; x <= last; ++x) total += ink[static_cast<size_t>(x)];
    for (int pitch = 4; pitch <= 48 && span >= kPitchCells * pitch; ++pitch) {
        // All the picture's ink on one grid, the odd caret line of tildes that fill their cells and all.
        sums.assign(static_cast<size_t>(pitch), 0);
        for (int x = first; x <= last; ++x)
            sums[static_cast<size_t>((x - first) % pitch)] += ink[static_cast<size_t>(x)];
        if (*std::min_element(sums.begin(), sums.end()) * pitch * 5 < total) return pitch;
        // The ink of the bands that keep one phase of the cell clear, by phase: glyphs keep clear of
        // their cell's edge, proportional text drifts across every phase. A fifth of the band's mean
        // allows for the odd underscore or box line that runs through. Two thirds of the bands' rows on
        // one grid make the picture monospace too, whatever else (a title bar, an icon) it shows.
        agreeing.assign(static_cast<size_t>(pitch), 0);
        for (size_t b = 0; b < bands.size(); ++b) {
            sums.assign(static_cast<size_t>(pitch), 0);
            int64_t inBand = 0;
            for (int x = first; x <= last; ++x) {
                // A column inked all the way down the band is a rule or a window's edge, not a glyph.
                const int64_t v = bands[b][static_cast<size_t>(x)];
                if (v >= heights[b] && heights[b] > 2) continue;
                sums[static_cast<size_t>((x - first) % pitch)] += v;
                inBand += v;
            }
            const auto least = std::min_element(sums.begin(), sums.end());
            if (*least * pitch * 5 < inBand)
                agreeing[static_cast<size_t>(least - sums.begin())] += heights[b];
        }
        if (*std::max_element(agreeing.begin(), agreeing.end()) * 3 >= allHeights * 2) return pitch;
    }
    return 0;
}

GreyPlane PrepareTextPicture(const Image& picture, int scale) {
    GreyPlane out;
    if (!picture.IsValid() || scale < 0 || scale > 4) return out;
    const Image* source = &picture;
    Image wide;
    if (picture.Depth() != 24 && picture.Depth() != 32) {
        wide = picture;
        if (!wide.ConvertDepth(24)) return out;
        source = &wide;
    }
    const int w = source->Width(), h = source->Height(), bpp = source->Depth() / 8;
    std::vector<uint8_t> grey(static_cast<size_t>(w) * static_cast<size_t>(h));
    // Rows of one grey hold no text: a solid redaction cover across the picture would otherwise decide
    // the background and stand beside the text as one big blot the recogniser cuts letters from. The
    // background is what the picture's left and right edges show in the other rows.
    std::vector<bool> plain(static_cast<size_t>(h));
    uint64_t sum = 0, counted = 0, edgeSumAll = 0;
    for (int y = 0; y < h; ++y) {
        const uint8_t* p = source->Row(y);
        uint8_t* d = grey.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
        for (int x = 0; x < w; ++x, p += bpp) d[x] = Luminance(p);
        plain[static_cast<size_t>(y)] = std::all_of(d, d + w, [&](uint8_t v) { return v == d[0]; });
        const uint64_t edges = uint64_t{d[0]} + d[w - 1];
        edgeSumAll += edges;
        if (!plain[static_cast<size_t>(y)]) {
            sum += edges;
            counted += 2;
        }
    }
    if (counted == 0) {
        sum = edgeSumAll;
        counted = 2 * static_cast<uint64_t>(h);
    }
    // A dark background: the text is the light part, and the recogniser wants it dark.
    if (sum < uint64_t{128} * counted)
        for (uint8_t& v : grey) v = static_cast<uint8_t>(255 - v);
    if (counted != 2 * static_cast<uint64_t>(h))
        for (int y = 0; y < h; ++y)
            if (plain[static_cast<size_t>(y)])
                std::fill_n(grey.data() + static_cast<size_t>(y) * static_cast<size_t>(w), w, uint8_t{255});
    size_t histogram[256] = {};
    for (uint8_t v : grey) ++histogram[v];
    auto background = static_cast<uint8_t>(std::max_element(histogram, histogram + 256) - histogram);
    out.pitch = CharacterPitch(grey, w, h, background);
    if (out.pitch > 0) {
        // Shade by distance from the background's colour, the farthest ink black.
        int64_t bgSum[3] = {}, bgCount = 0;
        for (int y = 0; y < h; ++y) {
            const uint8_t* p = source->Row(y);
            const uint8_t* g = grey.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
            for (int x = 0; x < w; ++x, p += bpp)
                if (g[x] == background && !plain[static_cast<size_t>(y)]) {
                    for (int c = 0; c < 3; ++c) bgSum[c] += p[c];
                    ++bgCount;
                }
        }
        if (bgCount > 0) {
            int bg[3];
            for (int c = 0; c < 3; ++c) bg[c] = static_cast<int>(bgSum[c] / bgCount);
            int farthest = 1;
            for (int y = 0; y < h; ++y) {
                if (plain[static_cast<size_t>(y)]) continue;
                const uint8_t* p = source->Row(y);
                uint8_t* g = grey.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
                for (int x = 0; x < w; ++x, p += bpp) {
                    const int d =
                        std::max({std::abs(p[0] - bg[0]), std::abs(p[1] - bg[1]), std::abs(p[2] - bg[2])});
                    g[x] = static_cast<uint8_t>(d);
                    farthest = std::max(farthest, d);
                }
            }
            for (int y = 0; y < h; ++y) {
                uint8_t* g = grey.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
                if (plain[static_cast<size_t>(y)]) {
                    std::fill_n(g, w, uint8_t{255});
                    continue;
                }
                for (int x = 0; x < w; ++x) g[x] = static_cast<uint8_t>(255 - g[x] * 255 / farthest);
            }
            background = 255;
            // A window's edges or a rule down the whole picture (ink as TextLineHeight counts it) join
            // every line into one for the line height, and are no text: background.
            std::vector<int> down(static_cast<size_t>(w));
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if (grey[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] <
                        255 - 64)
                        ++down[static_cast<size_t>(x)];
            for (int x = 0; x < w; ++x)
                if (10 * down[static_cast<size_t>(x)] >= 9 * h)
                    for (int y = 0; y < h; ++y)
                        grey[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] = 255;
        }
    }
    if (scale == 0) scale = TextScaleFor(TextLineHeight(grey, w, h, background), w, h);
    const int64_t sw = int64_t{w} * scale, sh = int64_t{h} * scale, border = int64_t{kTextBorder} * scale;
    const int64_t ow = sw + 2 * border, oh = sh + 2 * border;
    if (!Image::FitsBound(ow, oh, 8)) return out;

    out.scale = scale;
    out.width = static_cast<int>(ow);
    out.height = static_cast<int>(oh);
    out.pixels.assign(static_cast<size_t>(ow) * static_cast<size_t>(oh), background);
    const auto target = [&](int64_t x, int64_t y) {
        return out.pixels.data() + static_cast<size_t>((y + border) * ow + border + x);
    };
    if (scale == 1) {
        for (int y = 0; y < h; ++y)
            std::copy_n(grey.data() + static_cast<size_t>(y) * static_cast<size_t>(w), w, target(0, y));
        return out;
    }
    // Bilinear with pixel centres aligned; the samples at the border repeat the edge.
    std::vector<int> x0(static_cast<size_t>(sw)), x1(static_cast<size_t>(sw)), fx(static_cast<size_t>(sw));
    for (int64_t X = 0; X < sw; ++X) {
        const int num = static_cast<int>(2 * X + 1 - scale), den = 2 * scale;  // source x = num / den
        const int base = num < 0 ? -1 : num / den;
        const size_t i = static_cast<size_t>(X);
        x0[i] = std::clamp(base, 0, w - 1);
        x1[i] = std::clamp(base + 1, 0, w - 1);
        fx[i] = num < 0 ? 0 : (num % den) * 256 / den;
    }
    for (int64_t Y = 0; Y < sh; ++Y) {
        const int num = static_cast<int>(2 * Y + 1 - scale), den = 2 * scale;
        const int base = num < 0 ? -1 : num / den;
        const int fy = num < 0 ? 0 : (num % den) * 256 / den;
        const uint8_t* a =
            grey.data() + static_cast<size_t>(std::clamp(base, 0, h - 1)) * static_cast<size_t>(w);
        const uint8_t* b =
            grey.data() + static_cast<size_t>(std::clamp(base + 1, 0, h - 1)) * static_cast<size_t>(w);
        uint8_t* d = target(0, Y);
        for (size_t X = 0; X < static_cast<size_t>(sw); ++X) {
            const int top = a[x0[X]] * (256 - fx[X]) + a[x1[X]] * fx[X];
            const int bottom = b[x0[X]] * (256 - fx[X]) + b[x1[X]] * fx[X];
            d[X] = static_cast<uint8_t>((top * (256 - fy) + bottom * fy + 32768) >> 16);
        }
    }
    return out;
}

}  // namespace glimmora
