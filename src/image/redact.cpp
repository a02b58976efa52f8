#include "image/redact.h"

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <vector>

namespace glimmora {

namespace {

// How far a cover's colour moves from the area's mean, and how far each block moves from that: wide
// enough that the mean itself, the only thing taken from the pixels, is lost among the draws.
constexpr int kCoverShift = 40;
constexpr int kBlockSpread = 24;

// A keyed stream (splitmix64): the cover's whole random part follows from its 64 random bits.
class Stream {
  public:
    explicit Stream(uint64_t key) : state_(key) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in 0 .. bound - 1 (bound small: the bias is far below anything measurable).
    int Below(int bound) { return static_cast<int>(Next() % static_cast<uint64_t>(bound)); }
    int Between(int low, int high) { return low + Below(high - low + 1); }

  private:
    uint64_t state_;
};

// Block edges along one axis: grid lines every size pixels from a random offset, without those that
// would leave a block thinner than size. Returns the start of each block and, last, the end.
std::vector<int> BlockEdges(int length, int size, int offset) {
    std::vector<int> edges{0};
    for (int at = offset; at < length; at += size)
        if (at - edges.back() >= size && length - at >= size) edges.push_back(at);
    edges.push_back(length);
    return edges;
}

struct Grid {
    std::vector<int> xEdges, yEdges;
    int Columns() const { return static_cast<int>(xEdges.size()) - 1; }
    int Rows() const { return static_cast<int>(yEdges.size()) - 1; }
};

int SizeOf(const RedactStyle& style) {
    return style.method == kRedactPixelate ? style.block : style.radius;
}

// The grid comes first in the stream, so RedactBlocks and Redact agree on it.
Grid MakeGrid(int width, int height, int size, Stream& stream) {
    const int ox = stream.Below(size), oy = stream.Below(size);
    return {BlockEdges(width, size, ox), BlockEdges(height, size, oy)};
}

void Put(uint8_t* p, int bpp, const uint8_t* bgr) {
    p[0] = bgr[0];
    p[1] = bgr[1];
    p[2] = bgr[2];
    if (bpp == 4) p[3] = 255;
}

// For each pixel of an axis, the two block centres around it and the weight of the second (0..256).
struct Blend {
    int first = 0, second = 0, weight = 0;
};
std::vector<Blend> BlendAxis(const std::vector<int>& edges) {
    const int count = static_cast<int>(edges.size()) - 1;
    const int length = edges.back();
    std::vector<double> centres(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        centres[static_cast<size_t>(i)] =
            (edges[static_cast<size_t>(i)] + edges[static_cast<size_t>(i) + 1] - 1) / 2.0;
    std::vector<Blend> out(static_cast<size_t>(length));
    int block = 0;
    for (int x = 0; x < length; ++x) {
        while (block + 1 < count && centres[static_cast<size_t>(block) + 1] <= x) ++block;
        Blend& b = out[static_cast<size_t>(x)];
        b.first = block;
        b.second = std::min(block + 1, count - 1);
        const double from = centres[static_cast<size_t>(block)];
        const double to = centres[static_cast<size_t>(b.second)];
        if (b.second != b.first && x > from)
            b.weight = static_cast<int>((x - from) / (to - from) * 256.0 + 0.5);
    }
    return out;
}

}  // namespace

bool ValidRedactStyle(const RedactStyle& s) {
    switch (s.method) {
        case kRedactPixelate:
            return s.block >= kMinRedactBlock && s.block <= kMaxRedactSize;
        case kRedactBlur:
            return s.radius >= kMinRedactRadius && s.radius <= kMaxRedactSize;
        case kRedactSolid:
            return true;
        default:
            return false;
    }
}

uint64_t RedactRandom() {
    uint64_t value = 0;
    for (;;) {
        // getrandom blocks only until the pool is first seeded, long before a desktop is up.
        const ssize_t got = getrandom(&value, sizeof value, 0);
        if (got == static_cast<ssize_t>(sizeof value)) {
            if (value != 0) return value;
        } else if (got < 0 && errno != EINTR) {
            std::random_device device;
            value = (uint64_t{device()} << 32) | device();
            if (value != 0) return value;
        }
    }
}

std::vector<Rect> RedactBlocks(int width, int height, const RedactStyle& style) {
    std::vector<Rect> out;
    if (style.method == kRedactSolid || !ValidRedactStyle(style) || width <= 0 || height <= 0) return out;
    Stream stream(style.random);
    const Grid grid = MakeGrid(width, height, SizeOf(style), stream);
    for (int row = 0; row < grid.Rows(); ++row)
        for (int column = 0; column < grid.Columns(); ++column)
            out.push_back({grid.xEdges[static_cast<size_t>(column)], grid.yEdges[static_cast<size_t>(row)],
                           grid.xEdges[static_cast<size_t>(column) + 1],
                           grid.yEdges[static_cast<size_t>(row) + 1]});
    return out;
}

bool Redact(Image& image, Rect rect, const RedactStyle& style) {
    if (!image.IsValid() || (image.Depth() != 24 && image.Depth() != 32) || !ValidRedactStyle(style))
        return false;
    const int left = std::max(rect.left, 0), top = std::max(rect.top, 0);
    const int right = std::min(rect.right, image.Width()), bottom = std::min(rect.bottom, image.Height());
    if (left >= right || top >= bottom) return false;
    const int width = right - left, height = bottom - top;
    const int bpp = image.Depth() / 8;
    if (style.method == kRedactSolid) {
        const uint8_t bgr[3] = {style.blue, style.green, style.red};
        for (int y = top; y < bottom; ++y) {
            uint8_t* p = image.PixelAddress(left, y);
            for (int x = 0; x < width; ++x, p += bpp) Put(p, bpp, bgr);
        }
        return true;
    }
    Stream stream(style.random ? style.random : RedactRandom());
    const Grid grid = MakeGrid(width, height, SizeOf(style), stream);

    // The area's mean, moved by one random shift (the same on every channel, so the hue stays) and
    // kept far enough from black and white that no block's variation is clipped.
    uint64_t sums[3] = {0, 0, 0};
    for (int y = top; y < bottom; ++y) {
        const uint8_t* p = image.PixelAddress(left, y);
        for (int x = 0; x < width; ++x, p += bpp) {
            sums[0] += p[0];
            sums[1] += p[1];
            sums[2] += p[2];
        }
    }
    const uint64_t area = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    const int shift = stream.Between(-kCoverShift, kCoverShift);
    int base[3];
    for (int c = 0; c < 3; ++c)
        base[c] = std::clamp(static_cast<int>((sums[c] + area / 2) / area) + shift, kBlockSpread,
                             255 - kBlockSpread);
    std::vector<uint8_t> colours(static_cast<size_t>(grid.Columns()) * static_cast<size_t>(grid.Rows()) * 3);
    for (size_t block = 0; block < colours.size() / 3; ++block) {
        const int spread = stream.Between(-kBlockSpread, kBlockSpread);
        for (int c = 0; c < 3; ++c)
            colours[block * 3 + static_cast<size_t>(c)] = static_cast<uint8_t>(base[c] + spread);
    }
    auto at = [&](int column, int row) {
        return colours.data() + (static_cast<size_t>(row) * static_cast<size_t>(grid.Columns()) + column) * 3;
    };
    if (style.method == kRedactPixelate) {
        // The first line of each row of blocks is drawn, the others copied from it.
        for (int row = 0; row < grid.Rows(); ++row) {
            const int y0 = grid.yEdges[static_cast<size_t>(row)],
                      y1 = grid.yEdges[static_cast<size_t>(row) + 1];
            uint8_t* first = image.PixelAddress(left, top + y0);
            for (int column = 0; column < grid.Columns(); ++column) {
                const uint8_t* bgr = at(column, row);
                for (int x = grid.xEdges[static_cast<size_t>(column)];
                     x < grid.xEdges[static_cast<size_t>(column) + 1]; ++x)
                    Put(first + static_cast<ptrdiff_t>(x) * bpp, bpp, bgr);
            }
            for (int y = y0 + 1; y < y1; ++y)
                std::memcpy(image.PixelAddress(left, top + y), first, static_cast<size_t>(width) * bpp);
        }
        return true;
    }
    // Blur: the block colours blended bilinearly between the block centres; per line the vertical
    // blend of each column of blocks first (the same integer sums as blending all four at each pixel).
    const std::vector<Blend> xs = BlendAxis(grid.xEdges), ys = BlendAxis(grid.yEdges);
    std::vector<int> line(static_cast<size_t>(grid.Columns()) * 3);
    for (int y = 0; y < height; ++y) {
        const Blend& by = ys[static_cast<size_t>(y)];
        for (int column = 0; column < grid.Columns(); ++column) {
            const uint8_t* upper = at(column, by.first);
            const uint8_t* lower = at(column, by.second);
            for (int i = 0; i < 3; ++i)
                line[static_cast<size_t>(column) * 3 + i] =
                    upper[i] * (256 - by.weight) + lower[i] * by.weight;
        }
        uint8_t* p = image.PixelAddress(left, top + y);
        for (int x = 0; x < width; ++x, p += bpp) {
            const Blend& bx = xs[static_cast<size_t>(x)];
            const int* l = line.data() + static_cast<size_t>(bx.first) * 3;
            const int* r = line.data() + static_cast<size_t>(bx.second) * 3;
            uint8_t bgr[3];
            for (int i = 0; i < 3; ++i)
                bgr[i] = static_cast<uint8_t>((l[i] * (256 - bx.weight) + r[i] * bx.weight + 32768) >> 16);
            Put(p, bpp, bgr);
        }
    }
    return true;
}

}  // namespace glimmora
