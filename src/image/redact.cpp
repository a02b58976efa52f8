#include "image/redact.h"

#include <algorithm>
#include <vector>

namespace glimmora {

namespace {

// Splits length into blocks of at least size pixels: as many as fit whole, the rest spread over them.
// Returns the start of each block and, last, the end.
std::vector<int> BlockEdges(int length, int size) {
    const int count = std::max(1, length / size);
    std::vector<int> edges(static_cast<size_t>(count) + 1);
    for (int i = 0; i <= count; ++i)
        edges[static_cast<size_t>(i)] = static_cast<int>(int64_t{length} * i / count);
    return edges;
}

struct Means {
    int columns = 0, rows = 0;
    std::vector<int> xEdges, yEdges;
    std::vector<uint8_t> bgr;  // per block, row by row

    const uint8_t* At(int column, int row) const {
        return bgr.data() + (static_cast<size_t>(row) * static_cast<size_t>(columns) + column) * 3;
    }
};

// The rounded mean colour of every block of the area (picture coordinates left, top).
Means BlockMeans(const Image& image, int left, int top, int width, int height, int size) {
    Means m;
    m.xEdges = BlockEdges(width, size);
    m.yEdges = BlockEdges(height, size);
    m.columns = static_cast<int>(m.xEdges.size()) - 1;
    m.rows = static_cast<int>(m.yEdges.size()) - 1;
    m.bgr.resize(static_cast<size_t>(m.columns) * static_cast<size_t>(m.rows) * 3);
    const int bpp = image.Depth() / 8;
    std::vector<uint64_t> sums(static_cast<size_t>(m.columns) * 3);
    for (int row = 0; row < m.rows; ++row) {
        std::fill(sums.begin(), sums.end(), 0);
        const int y0 = m.yEdges[static_cast<size_t>(row)], y1 = m.yEdges[static_cast<size_t>(row) + 1];
        for (int y = y0; y < y1; ++y) {
            const uint8_t* p = image.PixelAddress(left, top + y);
            for (int column = 0; column < m.columns; ++column) {
                const int x0 = m.xEdges[static_cast<size_t>(column)];
                const int x1 = m.xEdges[static_cast<size_t>(column) + 1];
                uint64_t* s = sums.data() + static_cast<size_t>(column) * 3;
                for (int x = x0; x < x1; ++x) {
                    const uint8_t* q = p + static_cast<ptrdiff_t>(x) * bpp;
                    s[0] += q[0];
                    s[1] += q[1];
                    s[2] += q[2];
                }
            }
        }
        for (int column = 0; column < m.columns; ++column) {
            const uint64_t area = static_cast<uint64_t>(m.xEdges[static_cast<size_t>(column) + 1] -
                                                        m.xEdges[static_cast<size_t>(column)]) *
                                  static_cast<uint64_t>(y1 - y0);
            uint8_t* out = m.bgr.data() + (static_cast<size_t>(row) * m.columns + column) * 3;
            for (int c = 0; c < 3; ++c)
                out[c] = static_cast<uint8_t>((sums[static_cast<size_t>(column) * 3 + c] + area / 2) / area);
        }
    }
    return m;
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
    const int size = style.method == kRedactPixelate ? style.block : style.radius;
    const Means means = BlockMeans(image, left, top, width, height, size);
    if (style.method == kRedactPixelate) {
        for (int row = 0; row < means.rows; ++row) {
            for (int y = means.yEdges[static_cast<size_t>(row)];
                 y < means.yEdges[static_cast<size_t>(row) + 1]; ++y) {
                uint8_t* p = image.PixelAddress(left, top + y);
                for (int column = 0; column < means.columns; ++column) {
                    const uint8_t* bgr = means.At(column, row);
                    for (int x = means.xEdges[static_cast<size_t>(column)];
                         x < means.xEdges[static_cast<size_t>(column) + 1]; ++x)
                        Put(p + static_cast<ptrdiff_t>(x) * bpp, bpp, bgr);
                }
            }
        }
        return true;
    }
    // Blur: the means blended bilinearly between the block centres.
    const std::vector<Blend> xs = BlendAxis(means.xEdges), ys = BlendAxis(means.yEdges);
    for (int y = 0; y < height; ++y) {
        const Blend& by = ys[static_cast<size_t>(y)];
        uint8_t* p = image.PixelAddress(left, top + y);
        for (int x = 0; x < width; ++x, p += bpp) {
            const Blend& bx = xs[static_cast<size_t>(x)];
            const uint8_t* a = means.At(bx.first, by.first);
            const uint8_t* b = means.At(bx.second, by.first);
            const uint8_t* c = means.At(bx.first, by.second);
            const uint8_t* d = means.At(bx.second, by.second);
            uint8_t bgr[3];
            for (int i = 0; i < 3; ++i) {
                const int upper = a[i] * (256 - bx.weight) + b[i] * bx.weight;
                const int lower = c[i] * (256 - bx.weight) + d[i] * bx.weight;
                bgr[i] = static_cast<uint8_t>((upper * (256 - by.weight) + lower * by.weight + 32768) >> 16);
            }
            Put(p, bpp, bgr);
        }
    }
    return true;
}

}  // namespace glimmora
