#include "editor/overlay_render.h"

#include <QFont>
#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPolygon>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

#include "image/processors/processor.h"
#include "image/redact.h"

namespace glimmora {

namespace {

constexpr int kCanvasMargin = 10;  // lines, arrows and shapes get room for their pen on every side
constexpr int kShadowOffset = 5;
constexpr int kShadowRadius = 10;
constexpr int kShadowOpacity = 75;
// Object pixels further out than this from the target cannot reach it, shadow included.
constexpr int kVisibleMargin = 2 * kShadowRadius;

QColor ToQColor(ColorRef c, int alpha = 255) {
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF), alpha);
}

struct Box {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Empty() const { return right <= left || bottom <= top; }
};

// The part of a canvas that can show on the target.
Box VisiblePart(const Box& canvas, int targetWidth, int targetHeight) {
    return {std::max(canvas.left, -kVisibleMargin), std::max(canvas.top, -kVisibleMargin),
            std::min(canvas.right, targetWidth + kVisibleMargin),
            std::min(canvas.bottom, targetHeight + kVisibleMargin)};
}

// No gesture puts an object this far out; beyond it objects are not drawn, which keeps every canvas
// computation well inside int and the painter's fixed-point range.
constexpr int kMaxCoordinate = 1 << 24;

bool WithinDrawableRange(const OverlayObject& object) {
    const ObjectGeometry g = GetGeometry(object);
    for (int v : {g.a, g.b, g.c, g.d})
        if (v < -kMaxCoordinate || v > kMaxCoordinate) return false;
    return true;
}

Box MakeBox(int l, int t, int r, int b) {
    return {l, t, r, b};
}

Box PointCanvas(int x1, int y1, int x2, int y2) {
    return MakeBox(std::min(x1, x2) - kCanvasMargin, std::min(y1, y2) - kCanvasMargin,
                   std::max(x1, x2) + kCanvasMargin, std::max(y1, y2) + kCanvasMargin);
}

// A transparent canvas for the visible part, with a painter whose origin is the full canvas's
// top-left, at 96 dots per inch so point sizes come out as they do on screen.
struct Canvas {
    QImage image;
    Box visible;
};

Canvas MakeCanvas(const Box& full, int targetWidth, int targetHeight) {
    Canvas c;
    c.visible = VisiblePart(full, targetWidth, targetHeight);
    if (c.visible.Empty()) return c;
    c.image = QImage(c.visible.Width(), c.visible.Height(), QImage::Format_ARGB32_Premultiplied);
    if (c.image.isNull()) return c;
    c.image.fill(Qt::transparent);
    c.image.setDotsPerMeterX(3780);
    c.image.setDotsPerMeterY(3780);
    return c;
}

void PrepareTransform(QPainter& painter, const Box& full, const Box& visible) {
    painter.translate(full.left - visible.left, full.top - visible.top);
}

// Premultiplied canvas pixels to the image's straight blue, green, red, alpha bytes.
ObjectCanvas ToObjectCanvas(const Canvas& canvas) {
    ObjectCanvas out;
    if (canvas.image.isNull() || !out.image.Create(canvas.image.width(), canvas.image.height(), 32))
        return out;
    const int w = canvas.image.width();
    for (int y = 0; y < canvas.image.height(); ++y) {
        const QRgb* src = reinterpret_cast<const QRgb*>(canvas.image.constScanLine(y));
        uint8_t* dst = out.image.Row(y);
        for (int x = 0; x < w; ++x, dst += 4) {
            const QRgb p = src[x];
            const uint32_t a = qAlpha(p);
            if (a == 255) {
                dst[0] = static_cast<uint8_t>(qBlue(p));
                dst[1] = static_cast<uint8_t>(qGreen(p));
                dst[2] = static_cast<uint8_t>(qRed(p));
            } else if (a != 0) {
                dst[0] = static_cast<uint8_t>(std::min<uint32_t>(255, (qBlue(p) * 255 + a / 2) / a));
                dst[1] = static_cast<uint8_t>(std::min<uint32_t>(255, (qGreen(p) * 255 + a / 2) / a));
                dst[2] = static_cast<uint8_t>(std::min<uint32_t>(255, (qRed(p) * 255 + a / 2) / a));
            }
            dst[3] = static_cast<uint8_t>(a);
        }
    }
    out.x = canvas.visible.left;
    out.y = canvas.visible.top;
    return out;
}

}  // namespace

QFont MakeTextFont(const TextObject& o) {
    QFont font;
    if (QFontDatabase::hasFamily(o.fontName)) {
        font.setFamily(o.fontName);
    } else {
        font.setFamily(QStringLiteral("sans-serif"));
        font.setStyleHint(QFont::SansSerif);
    }
    font.setPointSizeF(static_cast<qreal>(o.fontSize));
    font.setBold(o.bold != 0);
    font.setItalic(o.italic != 0);
    font.setUnderline(o.underline != 0);
    return font;
}

int TextFlags(const TextObject& o) {
    const int horizontal = o.alignment == 0   ? Qt::AlignLeft
                           : o.alignment == 2 ? Qt::AlignRight
                                              : Qt::AlignHCenter;
    return horizontal | Qt::AlignTop | Qt::TextWordWrap;
}

namespace {

ObjectCanvas DrawLine(const LineObject& o, int tw, int th) {
    const Box full = PointCanvas(o.x1, o.y1, o.x2, o.y2);
    Canvas canvas = MakeCanvas(full, tw, th);
    if (canvas.image.isNull()) return {};
    {
        QPainter p(&canvas.image);
        PrepareTransform(p, full, canvas.visible);
        p.setRenderHint(QPainter::Antialiasing, true);
        QPen pen(ToQColor(o.colour), static_cast<qreal>(o.width));
        pen.setCapStyle(Qt::FlatCap);
        // The dash patterns of the original look: dots as long as the gaps, dashes three times that.
        if (o.lineStyle == 1)
            pen.setDashPattern({1.0, 1.0});
        else if (o.lineStyle == 2)
            pen.setDashPattern({3.0, 1.0});
        p.setPen(pen);
        p.drawLine(QPointF(o.x1 - full.left, o.y1 - full.top), QPointF(o.x2 - full.left, o.y2 - full.top));
    }
    return ToObjectCanvas(canvas);
}

ObjectCanvas DrawText(const TextObject& o, int tw, int th) {
    const Box full = MakeBox(o.left, o.top, o.right, o.bottom);
    if (full.Empty()) return {};
    Canvas canvas = MakeCanvas(full, tw, th);
    if (canvas.image.isNull()) return {};
    if (o.boxStyle == 0) canvas.image.fill(ToQColor(o.backColour));
    {
        QPainter p(&canvas.image);
        PrepareTransform(p, full, canvas.visible);
        p.setFont(MakeTextFont(o));
        p.setPen(ToQColor(o.textColour));
        p.drawText(QRectF(0, 0, full.Width(), full.Height()), TextFlags(o), o.text);
    }
    return ToObjectCanvas(canvas);
}

ObjectCanvas DrawShape(const ShapeObject& o, int tw, int th) {
    const Box full = MakeBox(o.left - kCanvasMargin, o.top - kCanvasMargin, o.right + kCanvasMargin,
                             o.bottom + kCanvasMargin);
    if (full.Empty()) return {};
    Canvas canvas = MakeCanvas(full, tw, th);
    if (canvas.image.isNull()) return {};
    {
        QPainter p(&canvas.image);
        PrepareTransform(p, full, canvas.visible);
        const bool ellipse = o.shape == 1 || o.shape == 3;
        p.setRenderHint(QPainter::Antialiasing, ellipse);
        const QRectF rect(kCanvasMargin, kCanvasMargin, static_cast<qreal>(o.right) - o.left,
                          static_cast<qreal>(o.bottom) - o.top);
        if (o.shape == 2 || o.shape == 3) {
            p.setPen(Qt::NoPen);
            p.setBrush(ToQColor(o.backColour));
            if (ellipse)
                p.drawEllipse(rect);
            else
                p.fillRect(rect, ToQColor(o.backColour));
        }
        QPen pen(ToQColor(o.borderColour), static_cast<qreal>(o.width));
        pen.setJoinStyle(Qt::MiterJoin);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        if (ellipse)
            p.drawEllipse(rect);
        else
            p.drawRect(rect);
    }
    return ToObjectCanvas(canvas);
}

ObjectCanvas DrawArrow(const ArrowObject& o, int tw, int th) {
    const Box full = PointCanvas(o.x1, o.y1, o.x2, o.y2);
    Canvas canvas = MakeCanvas(full, tw, th);
    if (canvas.image.isNull()) return {};
    const QPoint tail(o.x1 - full.left, o.y1 - full.top);
    const QPoint tip(o.x2 - full.left, o.y2 - full.top);
    const ArrowHead head = ComputeArrowHead(tail, tip);
    if (head.valid) {
        // Drawn like the device context of old: no smoothing, a 1-pixel black pen, the head's brush.
        QPainter p(&canvas.image);
        PrepareTransform(p, full, canvas.visible);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(Qt::black, 0));
        p.setBrush(ToQColor(o.colour));
        if (o.arrowStyle == 0) {
            p.drawLine(tail, tip);
            p.drawPolygon(QPolygon({tip, head.corner1, head.corner2}));
        } else {
            p.drawLine(tail, head.base);
            p.drawPolyline(QPolygon({head.base, head.corner1, tip, head.corner2, head.base}));
        }
    }
    return ToObjectCanvas(canvas);
}

ObjectCanvas DrawHighlight(const HighlightObject& o, int tw, int th) {
    const Box full = MakeBox(o.left, o.top, o.right, o.bottom);
    const Box visible = VisiblePart(full, tw, th);
    ObjectCanvas out;
    if (visible.Empty() || !out.image.Create(visible.Width(), visible.Height(), 32)) return out;
    const uint8_t pixel[4] = {static_cast<uint8_t>(o.colour >> 16), static_cast<uint8_t>(o.colour >> 8),
                              static_cast<uint8_t>(o.colour), 255};
    out.image.FillRect({0, 0, visible.Width(), visible.Height()}, pixel);
    out.x = visible.left;
    out.y = visible.top;
    return out;
}

ObjectCanvas DrawCounter(const CounterObject& o, int tw, int th) {
    const Box full = MakeBox(o.left, o.top, o.right, o.bottom);
    if (full.Empty()) return {};
    Canvas canvas = MakeCanvas(full, tw, th);
    if (canvas.image.isNull()) return {};
    {
        QPainter p(&canvas.image);
        PrepareTransform(p, full, canvas.visible);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setRenderHint(QPainter::TextAntialiasing, true);
        const QRectF box(0, 0, full.Width(), full.Height());
        const QColor fill = ToQColor(o.colour);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        const qreal side = std::min(box.width(), box.height());
        if (o.shape == 1)
            p.drawRoundedRect(box, side / 5, side / 5);
        else
            p.drawEllipse(box);
        // White on dark colours, black on light ones.
        const bool dark = 299 * fill.red() + 587 * fill.green() + 114 * fill.blue() < 150000;
        p.setPen(dark ? Qt::white : Qt::black);
        const QString text = QString::number(o.number);
        QFont font(QStringLiteral("sans-serif"));
        font.setStyleHint(QFont::SansSerif);
        font.setBold(true);
        // As large as fits: the height for one digit, narrower for more.
        font.setPixelSize(std::max(1, static_cast<int>(side * (text.size() > 2   ? 0.42
                                                               : text.size() > 1 ? 0.52
                                                                                 : 0.6))));
        p.setFont(font);
        p.drawText(box, Qt::AlignCenter, text);
    }
    return ToObjectCanvas(canvas);
}

ObjectCanvas DrawPen(const PenObject& o, int tw, int th) {
    if (o.points.empty()) return {};
    const int reach = o.width / 2 + kCanvasMargin;
    const Box full = MakeBox(o.left - reach, o.top - reach, o.right + reach + 1, o.bottom + reach + 1);
    Canvas canvas = MakeCanvas(full, tw, th);
    if (canvas.image.isNull()) return {};
    {
        QPainter p(&canvas.image);
        PrepareTransform(p, full, canvas.visible);
        p.setRenderHint(QPainter::Antialiasing, true);
        // A marker's tip is square, a pen's round.
        QPen pen(ToQColor(o.colour), std::max(1, o.width), Qt::SolidLine,
                 o.marker ? Qt::SquareCap : Qt::RoundCap, o.marker ? Qt::BevelJoin : Qt::RoundJoin);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        const QPointF shift(full.left - 0.5, full.top - 0.5);
        auto at = [&](size_t i) { return QPointF(o.points[i]) - shift; };
        QPainterPath path(at(0));
        if (o.points.size() == 1) {
            path.lineTo(at(0) + QPointF(0.01, 0));
        } else {
            // Smoothed, yet through every point the mouse gave: a Catmull-Rom curve as cubic pieces.
            const size_t n = o.points.size();
            for (size_t i = 0; i + 1 < n; ++i) {
                const QPointF before = at(i > 0 ? i - 1 : i), from = at(i), to = at(i + 1);
                const QPointF after = at(i + 2 < n ? i + 2 : i + 1);
                path.cubicTo(from + (to - before) / 6, to - (after - from) / 6, to);
            }
        }
        p.drawPath(path);
    }
    return ToObjectCanvas(canvas);
}

// The stamp resampled to its box the way ResizeBilinear does it, but only the pixels that can show:
// a stamp dragged huge must not ask for the whole box on every repaint.
ObjectCanvas DrawStamp(const StampObject& o, int tw, int th) {
    ObjectCanvas out;
    const Box full = MakeBox(o.left, o.top, o.right, o.bottom);
    if (!o.stampImage.IsValid() || full.Empty()) return out;
    const Box visible = VisiblePart(full, tw, th);
    if (visible.Empty()) return out;
    Image src = o.stampImage;
    // Resampled at 32 bits, so palette stamps are scaled like the others.
    if (!src.ConvertDepth(32)) return out;
    const int64_t width = full.Width(), height = full.Height();
    const bool sameSize = width == src.Width() && height == src.Height();
    // A one-pixel-wide or -high stamp gets a replicated neighbour for every sample.
    if (!sameSize && (src.Width() == 1 || src.Height() == 1)) {
        src.ExpandCanvas(true, 0, 0, src.Width() == 1 ? 1 : 0, src.Height() == 1 ? 1 : 0);
        if (src.Width() < 2 || src.Height() < 2) return out;
    }
    if (!out.image.Create(visible.Width(), visible.Height(), 32)) return out;
    const int64_t sw = src.Width(), sh = src.Height();
    struct Step {
        int64_t index, rest;
    };
    auto step = [](int64_t i, int64_t sourceSize, int64_t size) {
        Step s{i * sourceSize / size, i * sourceSize % size};
        if (s.index >= sourceSize - 1) s = {sourceSize - 2, size - 1};
        return s;
    };
    for (int y = 0; y < visible.Height(); ++y) {
        const int64_t oy = int64_t{visible.top} - full.top + y;
        uint8_t* d = out.image.Row(y);
        if (sameSize) {
            std::memcpy(
                d,
                src.PixelAddress(static_cast<int>(int64_t{visible.left} - full.left), static_cast<int>(oy)),
                static_cast<size_t>(visible.Width()) * 4);
            continue;
        }
        const Step sy = step(oy, sh, height);
        const double fy = static_cast<double>(sy.rest) / static_cast<double>(height);
        const uint8_t* top = src.Row(static_cast<int>(sy.index));
        const uint8_t* bottom = src.Row(static_cast<int>(sy.index + 1));
        for (int x = 0; x < visible.Width(); ++x, d += 4) {
            const Step sx = step(int64_t{visible.left} - full.left + x, sw, width);
            const uint8_t* p00 = top + sx.index * 4;
            if (sx.rest == 0 && sy.rest == 0) {
                std::memcpy(d, p00, 4);
                continue;
            }
            const uint8_t* p01 = bottom + sx.index * 4;
            const auto mixed = BilinearSample(static_cast<double>(sx.rest) / static_cast<double>(width), fy,
                                              true, p00, p00 + 4, p01, p01 + 4);
            std::memcpy(d, mixed.data(), 4);
        }
    }
    out.x = visible.left;
    out.y = visible.top;
    return out;
}

}  // namespace

void Composite(Image& target, const Image& source, int x, int y, int strength) {
    if (!target.IsValid() || !source.IsValid() || target.Depth() != 32 || source.Depth() != 32) return;
    strength = std::clamp(strength, 0, 100);
    const int64_t left = std::max<int64_t>(x, 0), top = std::max<int64_t>(y, 0);
    const int64_t right = std::min<int64_t>(int64_t{x} + source.Width(), target.Width());
    const int64_t bottom = std::min<int64_t>(int64_t{y} + source.Height(), target.Height());
    if (left >= right || top >= bottom) return;
    const int count = static_cast<int>(right - left);
    for (int ty = static_cast<int>(top); ty < bottom; ++ty) {
        const uint8_t* s = source.PixelAddress(static_cast<int>(left - x), ty - y);
        uint8_t* d = target.PixelAddress(static_cast<int>(left), ty);
        for (int i = 0; i < count; ++i, s += 4, d += 4) {
            const uint32_t a = strength == 100 ? s[3] : static_cast<uint32_t>(strength) * s[3] / 100;
            const uint32_t da = d[3];
            if (da == 0 && a == 0) {
                d[0] = d[1] = d[2] = 255;
                d[3] = 0;
            } else if (da == 0 || a == 255) {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
                d[3] = static_cast<uint8_t>(a);
            } else if (a == 0) {
                // unchanged
            } else if (da == 255) {
                // The general formula with e = 65025: every term carries a factor 255, so the
                // quotient is the same with it taken out (and division by a constant is cheap).
                const uint32_t keep = 255 - a;
                d[0] = static_cast<uint8_t>((s[0] * a + d[0] * keep) / 255);
                d[1] = static_cast<uint8_t>((s[1] * a + d[1] * keep) / 255);
                d[2] = static_cast<uint8_t>((s[2] * a + d[2] * keep) / 255);
            } else {
                const uint32_t c = a * 255, e = da * 255, m = a * da, f = c + e - m;
                d[0] = static_cast<uint8_t>((s[0] * c + d[0] * (e - m)) / f);
                d[1] = static_cast<uint8_t>((s[1] * c + d[1] * (e - m)) / f);
                d[2] = static_cast<uint8_t>((s[2] * c + d[2] * (e - m)) / f);
                d[3] = static_cast<uint8_t>(f / 255);
            }
        }
    }
}

void AddDropShadow(Image& image) {
    if (!image.IsValid() || image.Depth() != 32) return;
    const int w = image.Width(), h = image.Height();
    const int r = kShadowRadius, half = r / 2;
    const int cw = w + 2 * r, ch = h + 2 * r;
    Image canvas;
    if (!canvas.Create(cw, ch, 32)) return;

    // The shadow is black, and the blur's colour is the alpha-weighted mean of black: only the alpha
    // plane needs blurring. Window sums run incrementally, row sums first and then column sums, and give
    // exactly the sums of the r x r windows (offsets -half .. half - 1, nothing outside the canvas).
    // The canvas starts at offset - r, so the shadow of source pixel (x, y) is canvas pixel
    // (x + r, y + r) and the picture itself goes to (r - offset, r - offset).
    const int shift = r;
    // Shadow alpha per source alpha.
    uint32_t shade[256];
    for (uint32_t a = 0; a < 256; ++a) shade[a] = a * kShadowOpacity / 100;

    // padded[i] holds the shadow of canvas column i - half - 1 (zero outside the picture), so the row
    // window of column X gains padded[X + r] and loses padded[X] as X advances. The row sums of the last
    // r source rows are kept in a ring; canvas row Y gains those of source row Y + half - 1 - shift and
    // loses those of the row r above it.
    std::vector<uint32_t> padded(static_cast<size_t>(cw + r), 0);
    std::vector<uint32_t> ring(static_cast<size_t>(cw) * static_cast<size_t>(r));
    std::vector<uint32_t> column(static_cast<size_t>(cw), 0);
    const uint32_t area = static_cast<uint32_t>(r * r);
    for (int Y = 0; Y < ch; ++Y) {
        const int enter = Y + half - 1 - shift, leave = enter - r;
        if (leave >= h) break;  // nothing left to blur: the rest stays transparent
        uint32_t* slot = ring.data() + static_cast<size_t>((Y % r)) * static_cast<size_t>(cw);
        if (leave >= 0)
            for (int X = 0; X < cw; ++X) column[static_cast<size_t>(X)] -= slot[X];
        if (enter >= 0 && enter < h) {
            const uint8_t* src = image.Row(enter);
            uint32_t* in = padded.data() + shift + half + 1;
            for (int x = 0; x < w; ++x) in[x] = shade[src[4 * x + 3]];
            uint32_t running = 0;
            for (int X = 0; X < cw; ++X) {
                running += padded[static_cast<size_t>(X + r)] - padded[static_cast<size_t>(X)];
                slot[X] = running;
                column[static_cast<size_t>(X)] += running;
            }
        } else {
            std::fill(slot, slot + cw, 0u);
        }
        if (enter < 0) continue;
        uint8_t* out = canvas.Row(Y) + 3;
        for (int X = 0; X < cw; ++X) out[4 * X] = static_cast<uint8_t>(column[static_cast<size_t>(X)] / area);
    }

    Composite(canvas, image, r - kShadowOffset, r - kShadowOffset, 100);
    image = std::move(canvas);
}

void AddDropShadow(ObjectCanvas& canvas) {
    if (!canvas.image.IsValid() || canvas.image.Depth() != 32) return;
    AddDropShadow(canvas.image);
    canvas.x -= kShadowRadius - kShadowOffset;
    canvas.y -= kShadowRadius - kShadowOffset;
}

ArrowHead ComputeArrowHead(QPoint tail, QPoint head) {
    constexpr double kHeadWidth = 8.0;
    constexpr double kHeadAngle = 0.3;
    ArrowHead out;
    const double vx = static_cast<double>(head.x()) - tail.x();
    const double vy = static_cast<double>(head.y()) - tail.y();
    const double length = std::sqrt(vx * vx + vy * vy);
    if (length == 0.0) return out;
    const double t = kHeadWidth / (length * std::tan(kHeadAngle));
    out.base = QPoint(static_cast<int>(head.x() - t * vx), static_cast<int>(head.y() - t * vy));
    const double n = kHeadWidth / (2.0 * length);
    out.corner1 = QPoint(static_cast<int>(out.base.x() - n * vy), static_cast<int>(out.base.y() + n * vx));
    out.corner2 = QPoint(static_cast<int>(out.base.x() + n * vy), static_cast<int>(out.base.y() - n * vx));
    out.valid = true;
    return out;
}

ObjectCanvas DrawObjectCanvas(const OverlayObject& object, int targetWidth, int targetHeight) {
    if (!WithinDrawableRange(object)) return {};
    if (auto* line = dynamic_cast<const LineObject*>(&object))
        return DrawLine(*line, targetWidth, targetHeight);
    if (auto* text = dynamic_cast<const TextObject*>(&object))
        return DrawText(*text, targetWidth, targetHeight);
    if (auto* shape = dynamic_cast<const ShapeObject*>(&object))
        return DrawShape(*shape, targetWidth, targetHeight);
    if (auto* arrow = dynamic_cast<const ArrowObject*>(&object))
        return DrawArrow(*arrow, targetWidth, targetHeight);
    if (auto* box = dynamic_cast<const HighlightObject*>(&object))
        return DrawHighlight(*box, targetWidth, targetHeight);
    if (auto* stamp = dynamic_cast<const StampObject*>(&object))
        return DrawStamp(*stamp, targetWidth, targetHeight);
    if (auto* counter = dynamic_cast<const CounterObject*>(&object))
        return DrawCounter(*counter, targetWidth, targetHeight);
    if (auto* pen = dynamic_cast<const PenObject*>(&object)) return DrawPen(*pen, targetWidth, targetHeight);
    return {};
}

namespace {
RedactStyle StyleOf(const RedactObject& o) {
    RedactStyle style;
    style.method = o.method;
    style.block = o.blockSize;
    style.radius = o.radius;
    style.red = static_cast<uint8_t>(o.colour);
    style.green = static_cast<uint8_t>(o.colour >> 8);
    style.blue = static_cast<uint8_t>(o.colour >> 16);
    style.random = o.random;
    // A style no user could set (an edited setting, a bad value) still covers: with the least block.
    if (!ValidRedactStyle(style)) {
        style.method = kRedactPixelate;
        style.block = kMinRedactBlock;
    }
    return style;
}
}  // namespace

namespace {
std::atomic<uint64_t> coversDrawn{0};
}  // namespace

uint64_t RedactionCoversDrawn() {
    return coversDrawn.load();
}

ObjectCanvas DrawRedaction(const RedactObject& object, const Image& picture, const ObjectList& objects) {
    RedactionCovers covers(picture, objects);
    return covers.Cover(object);
}

const ObjectCanvas& RedactionCovers::Cover(const RedactObject& object) {
    if (auto found = drawn_.find(&object); found != drawn_.end()) return found->second;
    ObjectCanvas out;
    const Image& picture = picture_;
    auto done = [&]() -> const ObjectCanvas& { return drawn_[&object] = std::move(out); };
    if (!picture.IsValid() || !WithinDrawableRange(object)) return done();
    const int left = std::max(object.left, 0), top = std::max(object.top, 0);
    const int right = std::min(object.right, picture.Width()),
              bottom = std::min(object.bottom, picture.Height());
    if (left >= right || top >= bottom) return done();
    ++coversDrawn;
    const Image* source = &picture;
    Image wide;
    if (picture.Depth() != 24 && picture.Depth() != 32) {
        wide = picture;
        if (!wide.ConvertDepth(32)) return done();
        source = &wide;
    }
    // The pixels beneath: the picture there, then every object before this one, drawn where it lies.
    Image& part = out.image;
    if (!part.Create(right - left, bottom - top, 32)) return done();
    const int bpp = source->Depth() / 8;
    for (int y = top; y < bottom; ++y) {
        const uint8_t* s = source->PixelAddress(left, y);
        uint8_t* d = part.Row(y - top);
        for (int x = left; x < right; ++x, s += bpp, d += 4) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            d[3] = bpp == 4 ? s[3] : 255;
        }
    }
    for (const auto& below : objects_) {
        if (!below || below.get() == &object) break;
        if (auto* earlier = dynamic_cast<const RedactObject*>(below.get())) {
            // Its cover depends on pixels outside this part, so it is drawn whole (once) and pasted.
            if (earlier->right <= left || earlier->left >= right || earlier->bottom <= top ||
                earlier->top >= bottom)
                continue;
            const ObjectCanvas& cover = Cover(*earlier);
            if (cover.image.IsValid()) Composite(part, cover.image, cover.x - left, cover.y - top, 100);
            continue;
        }
        std::unique_ptr<OverlayObject> moved = CloneObject(*below);
        if (!moved) continue;
        ObjectGeometry g = GetGeometry(*moved);
        g.a -= left, g.b -= top, g.c -= left, g.d -= top;
        SetGeometry(*moved, g);
        RenderObject(*moved, part);
    }
    Redact(part, {0, 0, part.Width(), part.Height()}, StyleOf(object));
    out.x = left;
    out.y = top;
    return done();
}

void RenderObject(const OverlayObject& object, Image& target) {
    if (!target.IsValid() || target.Depth() != 32) return;
    if (auto* redaction = dynamic_cast<const RedactObject*>(&object)) {
        // The target holds what lies beneath by now: covered in place, whatever the object's opacity.
        if (WithinDrawableRange(object))
            Redact(target, {redaction->left, redaction->top, redaction->right, redaction->bottom},
                   StyleOf(*redaction));
        return;
    }
    ObjectCanvas canvas = DrawObjectCanvas(object, target.Width(), target.Height());
    if (!canvas.image.IsValid()) return;
    if (object.shadow == 1) AddDropShadow(canvas);
    Composite(target, canvas.image, canvas.x, canvas.y, 100 - object.transparency);
}

bool RenderAll(const ObjectList& objects, Image& target) {
    if (objects.empty()) return true;
    if (!target.ConvertDepth(32)) return false;
    for (const auto& object : objects)
        if (object) RenderObject(*object, target);
    return true;
}

}  // namespace glimmora
