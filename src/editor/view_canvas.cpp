#include "editor/view_canvas.h"

#include <QPainter>
#include <algorithm>
#include <cstring>
#include <functional>

#include "editor/overlay_edit.h"

namespace glimmora {

QImage OpaqueQImage(const Image& img) {
    QImage out(img.Width(), img.Height(), QImage::Format_RGB32);
    if (out.isNull()) return out;
    const int bpp = img.Depth() / 8;
    for (int y = 0; y < img.Height(); ++y) {
        const uint8_t* s = img.Row(y);
        QRgb* d = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < img.Width(); ++x, s += bpp) d[x] = qRgb(s[2], s[1], s[0]);
    }
    return out;
}

namespace {

using view_rect::Bottom;
using view_rect::Empty;
using view_rect::MakeRect;
using view_rect::Right;

}  // namespace

// Each device pixel X of the zoomed image shows image pixel X * width / zoomedWidth. A repaint
// composes only the image pixels that the exposed device pixels show: a contiguous block when zoomed
// in, every n-th row and column when zoomed out. Compositing and the frames work pixel by pixel, so
// the sampled pixels come out exactly as in a full-size back buffer.
namespace {

// The image pixels that a run of device pixels shows, in order, and for each device pixel its index.
struct Samples {
    std::vector<int> source;  // ascending, no repeats
    std::vector<int> index;   // per device pixel
};

Samples SampleAxis(int first, int count, int imageSize, int zoomedSize) {
    Samples s;
    s.index.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const int v = static_cast<int>(int64_t{first + i} * imageSize / zoomedSize);
        if (s.source.empty() || s.source.back() != v) s.source.push_back(v);
        s.index.push_back(static_cast<int>(s.source.size()) - 1);
    }
    return s;
}

// The sample positions that fall in [from, to): a range of indices.
std::pair<int, int> SampleRange(const std::vector<int>& source, int from, int to) {
    const auto a = std::lower_bound(source.begin(), source.end(), from);
    const auto b = std::lower_bound(source.begin(), source.end(), to);
    return {static_cast<int>(a - source.begin()), static_cast<int>(b - source.begin())};
}

bool Contiguous(const std::vector<int>& source) {
    return source.empty() || source.back() - source.front() + 1 == static_cast<int>(source.size());
}

// The sampled pixels of a picture (any depth) as 32 bits, into out, which keeps its pixel block when
// it has the size already: a repaint should not fault in fresh pages for every frame.
bool SamplePicture(const Image& picture, const std::vector<int>& xs, const std::vector<int>& ys, Image& out) {
    if (xs.empty() || ys.empty()) return false;
    if (picture.Depth() != 24 && picture.Depth() != 32) {
        Image wide(picture);
        return wide.ConvertDepth(32) && SamplePicture(wide, xs, ys, out);
    }
    const int w = static_cast<int>(xs.size()), h = static_cast<int>(ys.size());
    if ((!out.IsValid() || out.Width() != w || out.Height() != h || out.Depth() != 32) &&
        !out.Create(w, h, 32))
        return false;
    const bool dense = Contiguous(xs);
    const int bpp = picture.Depth() / 8;
    for (int j = 0; j < h; ++j) {
        const uint8_t* row = picture.Row(ys[static_cast<size_t>(j)]);
        uint8_t* d = out.Row(j);
        if (dense && bpp == 4) {
            std::memcpy(d, row + static_cast<ptrdiff_t>(xs.front()) * 4, static_cast<size_t>(w) * 4);
            continue;
        }
        for (int i = 0; i < w; ++i, d += 4) {
            const uint8_t* p = row + static_cast<ptrdiff_t>(xs[static_cast<size_t>(i)]) * bpp;
            d[0] = p[0];
            d[1] = p[1];
            d[2] = p[2];
            d[3] = bpp == 4 ? p[3] : 255;
        }
    }
    return true;
}

}  // namespace

void ViewCanvas::DrawObjects(const ViewScene& scene, const QRect& span, const std::vector<int>& xs,
                             const std::vector<int>& ys, bool dense, bool redactionsOnly) {
    Image& part = partBuffer_;
    std::unordered_map<const OverlayObject*, CachedCanvas> drawn;
    RedactionCovers covers(*scene.picture, *scene.objects);
    for (const auto& object : *scene.objects) {
        if (!part.IsValid()) break;
        if (!object || (redactionsOnly && object->kind != kRedactObject)) continue;
        // Drawn at full size where it meets the span, and kept while neither changes: a drag
        // redraws only the dragged object. Only the samples are blended.
        CachedCanvas entry;
        auto cached = canvasCache_.find(object.get());
        if (auto* redaction = dynamic_cast<const RedactObject*>(object.get())) {
            // Drawn from the pixels beneath, which any edit below may change: never kept.
            entry.copy = CloneObject(*object);
            entry.span = span;
            entry.canvas = covers.Cover(*redaction);
            entry.canvas.x -= span.x();
            entry.canvas.y -= span.y();
        } else if (cached != canvasCache_.end() && cached->second.span == span && cached->second.copy &&
                   SameObject(*cached->second.copy, *object)) {
            entry = std::move(cached->second);
        } else {
            entry.copy = CloneObject(*object);
            if (!entry.copy) continue;
            std::unique_ptr<OverlayObject> moved = CloneObject(*object);
            ObjectGeometry g = GetGeometry(*moved);
            g.a -= span.x(), g.b -= span.y(), g.c -= span.x(), g.d -= span.y();
            SetGeometry(*moved, g);
            ObjectCanvas made = DrawObjectCanvas(*moved, span.width(), span.height());
            if (moved->shadow == 1) AddDropShadow(made);
            entry.span = span;
            entry.canvas = std::move(made);
        }
        const OverlayObject* moved = entry.copy.get();
        const ObjectCanvas& canvas = entry.canvas;
        if (!canvas.image.IsValid()) {
            drawn.emplace(object.get(), std::move(entry));
            continue;
        }
        const int strength = moved->kind == kRedactObject ? 100 : 100 - moved->transparency;
        const int cx = canvas.x + span.x(), cy = canvas.y + span.y();
        if (dense) {
            Composite(part, canvas.image, cx - span.x(), cy - span.y(), strength);
        } else {
            const auto [i0, i1] = SampleRange(xs, cx, cx + canvas.image.Width());
            const auto [j0, j1] = SampleRange(ys, cy, cy + canvas.image.Height());
            Image sampled;
            if (i0 < i1 && j0 < j1 && sampled.Create(i1 - i0, j1 - j0, 32)) {
                for (int j = j0; j < j1; ++j) {
                    const uint8_t* row = canvas.image.Row(ys[static_cast<size_t>(j)] - cy);
                    uint32_t* d = reinterpret_cast<uint32_t*>(sampled.Row(j - j0));
                    for (int i = i0; i < i1; ++i)
                        std::memcpy(d + (i - i0),
                                    row + static_cast<ptrdiff_t>(xs[static_cast<size_t>(i)] - cx) * 4, 4);
                }
                Composite(part, sampled, i0, j0, strength);
            }
        }
        drawn.emplace(object.get(), std::move(entry));
    }
    canvasCache_ = std::move(drawn);
}

QImage ViewCanvas::Compose(const ViewScene& scene, QRect rect, bool wholeBuffer) {
    if (!scene.picture || !scene.picture->IsValid()) return {};
    const Image& picture = *scene.picture;
    const int w = picture.Width(), h = picture.Height();
    const double zoom = scene.zoom;
    const int zw = static_cast<int>(zoom * w + 0.5), zh = static_cast<int>(zoom * h + 0.5);
    rect &= QRect(0, 0, zw, zh);
    if (rect.isEmpty()) return {};
    Samples sx = SampleAxis(rect.x(), rect.width(), w, zw);
    Samples sy = SampleAxis(rect.y(), rect.height(), h, zh);
    if (wholeBuffer) {
        // The plain way: a back buffer of the whole picture, stretched.
        for (Samples* s : {&sx, &sy}) {
            for (int& i : s->index) i = s->source[static_cast<size_t>(i)];
            const int size = s == &sx ? w : h;
            s->source.resize(static_cast<size_t>(size));
            for (int i = 0; i < size; ++i) s->source[static_cast<size_t>(i)] = i;
        }
    }
    const std::vector<int>& xs = sx.source;
    const std::vector<int>& ys = sy.source;
    // The image pixels the samples span.
    const QRect span = MakeRect(xs.front(), ys.front(), xs.back() + 1, ys.back() + 1);
    const bool dense = Contiguous(xs) && Contiguous(ys);

    Image& part = partBuffer_;
    const Image* dimmed = scene.dimmed;
    const bool cropView = dimmed && dimmed->IsValid() && dimmed->Width() == w && dimmed->Height() == h;
    const QRect& cropRect = scene.cropRect;
    if (cropView) {
        // The dimmed picture with the part to keep at full brightness.
        if (!SamplePicture(*dimmed, xs, ys, part)) part.Clear();
        const auto [i0, i1] = SampleRange(xs, cropRect.x(), Right(cropRect));
        const auto [j0, j1] = SampleRange(ys, cropRect.y(), Bottom(cropRect));
        if (part.IsValid() && i0 < i1 && j0 < j1) {
            const std::vector<int> keepX(xs.begin() + i0, xs.begin() + i1),
                keepY(ys.begin() + j0, ys.begin() + j1);
            if (SamplePicture(picture, keepX, keepY, keepBuffer_)) part.Paste(keepBuffer_, i0, j0);
        }
        // The other objects wait while cropping; what a redaction hides stays hidden.
        DrawObjects(scene, span, xs, ys, dense, true);
    } else {
        if (!SamplePicture(picture, xs, ys, part)) part.Clear();
        DrawObjects(scene, span, xs, ys, dense, false);
    }
    if (!part.IsValid()) return {};

    // The back buffer at the sampled pixels.
    if (backBuffer_.size() != QSize(part.Width(), part.Height()))
        backBuffer_ = QImage(part.Width(), part.Height(), QImage::Format_RGB32);
    QImage& buffer = backBuffer_;
    if (buffer.isNull()) return {};
    for (int y = 0; y < part.Height(); ++y) {
        const uint8_t* s = part.Row(y);
        QRgb* d = reinterpret_cast<QRgb*>(buffer.scanLine(y));
        for (int x = 0; x < part.Width(); ++x, s += 4) d[x] = qRgb(s[2], s[1], s[0]);
    }
    // Pen drawing (handles, corner squares) is done at full size on a transparent patch around each
    // item, always the whole item, so the painter never sees a different clip; its painted pixels
    // replace the sampled ones. Nothing here is antialiased, so painted means opaque.
    auto paintPatch = [&](const QRect& bounds, const std::function<void(QPainter&)>& draw) {
        const QRect shown = bounds & span;
        if (shown.isEmpty()) return;
        const auto [i0, i1] = SampleRange(xs, shown.x(), Right(shown));
        const auto [j0, j1] = SampleRange(ys, shown.y(), Bottom(shown));
        if (i0 >= i1 || j0 >= j1) return;
        QImage patch(bounds.size(), QImage::Format_ARGB32);
        if (patch.isNull()) return;
        patch.fill(Qt::transparent);
        {
            QPainter p(&patch);
            p.translate(-bounds.topLeft());
            draw(p);
        }
        for (int j = j0; j < j1; ++j) {
            const QRgb* s =
                reinterpret_cast<const QRgb*>(patch.constScanLine(ys[static_cast<size_t>(j)] - bounds.y()));
            QRgb* d = reinterpret_cast<QRgb*>(buffer.scanLine(j));
            for (int i = i0; i < i1; ++i) {
                const QRgb v = s[xs[static_cast<size_t>(i)] - bounds.x()];
                if (qAlpha(v) != 0) d[i] = v | 0xFF000000u;
            }
        }
    };
    // Every other pixel of a rectangle's edges: black for the crop frame, inverted for the focus frame.
    auto dottedFrame = [&](const QRect& r, bool invert) {
        const int l = r.x(), t = r.y(), rr = Right(r) - 1, b = Bottom(r) - 1;
        auto dot = [&](size_t i, size_t j) {
            if (((xs[i] + ys[j]) & 1) != 0) return;
            QRgb* p = reinterpret_cast<QRgb*>(buffer.scanLine(static_cast<int>(j))) + i;
            *p = invert ? (*p ^ 0x00FFFFFFu) : qRgb(0, 0, 0);
        };
        auto exact = [](const std::vector<int>& v, int value) -> int {
            const auto it = std::lower_bound(v.begin(), v.end(), value);
            return it != v.end() && *it == value ? static_cast<int>(it - v.begin()) : -1;
        };
        const auto [i0, i1] = SampleRange(xs, l, rr + 1);
        for (int y : {t, b}) {
            const int j = exact(ys, y);
            if (j < 0 || (y == b && b == t)) continue;
            for (int i = i0; i < i1; ++i) dot(static_cast<size_t>(i), static_cast<size_t>(j));
        }
        const auto [j0, j1] = SampleRange(ys, t + 1, b);
        for (int x : {l, rr}) {
            const int i = exact(xs, x);
            if (i < 0 || (x == rr && rr == l)) continue;
            for (int j = j0; j < j1; ++j) dot(static_cast<size_t>(i), static_cast<size_t>(j));
        }
    };
    if (cropView && !Empty(cropRect)) {
        const QRect& r = cropRect;
        dottedFrame(r, false);
        for (QPoint c :
             {r.topLeft(), QPoint(Right(r), r.y()), QPoint(r.x(), Bottom(r)), QPoint(Right(r), Bottom(r))})
            paintPatch(QRect(c.x() - 4, c.y() - 4, 8, 8), [c](QPainter& p) {
                p.setPen(QPen(Qt::black, 0));
                p.setBrush(Qt::white);
                p.drawRect(QRect(c.x() - 4, c.y() - 4, 7, 7));
            });
    }
    if (const OverlayObject* object = scene.selected) {
        // One patch per handle: a large object must not ask for a patch of its size.
        const ObjectGeometry g = GetGeometry(*object);
        std::vector<QPoint> centres;
        if (IsPointKind(object->kind)) {
            centres = {{g.a, g.b}, {g.c, g.d}};
        } else {
            const int mx = g.a + (g.c - g.a) / 2, my = g.b + (g.d - g.b) / 2;
            centres = {{g.a, g.b}, {g.c, g.b}, {g.a, g.d}, {g.c, g.d},
                       {g.a, my},  {g.c, my},  {mx, g.b},  {mx, g.d}};
        }
        for (QPoint c : centres)
            paintPatch(QRect(c.x() - 6, c.y() - 6, 12, 12),
                       [object](QPainter& p) { DrawHandles(*object, p); });
    }
    if (!Empty(scene.focusRect)) dottedFrame(scene.focusRect, true);

    // Nearest-pixel stretch of the buffer onto the requested device pixels.
    if (zoomedBuffer_.size() != rect.size()) zoomedBuffer_ = QImage(rect.size(), QImage::Format_RGB32);
    QImage& out = zoomedBuffer_;
    if (out.isNull()) return {};
    for (int j = 0; j < rect.height(); ++j) {
        const int row = sy.index[static_cast<size_t>(j)];
        QRgb* d = reinterpret_cast<QRgb*>(out.scanLine(j));
        if (j > 0 && row == sy.index[static_cast<size_t>(j) - 1]) {
            std::memcpy(d, out.constScanLine(j - 1), static_cast<size_t>(rect.width()) * 4);
            continue;
        }
        const QRgb* s = reinterpret_cast<const QRgb*>(buffer.constScanLine(row));
        for (int i = 0; i < rect.width(); ++i) d[i] = s[sx.index[static_cast<size_t>(i)]];
    }
    return out;
}

}  // namespace glimmora
