#include "editor/overlay_edit.h"

#include <QPainter>
#include <algorithm>
#include <cstdlib>

namespace glimmora {

namespace {

constexpr int kHandleHalf = 6;
constexpr int kMinEdgeGap = 20;

int PenWidth(const OverlayObject& o) {
    if (auto* line = dynamic_cast<const LineObject*>(&o)) return line->width;
    if (auto* arrow = dynamic_cast<const ArrowObject*>(&o)) return arrow->width;
    return 0;
}

bool InZone(QPoint p, int64_t x, int64_t y) {
    return p.x() >= x - kHandleHalf && p.x() < x + kHandleHalf && p.y() >= y - kHandleHalf &&
           p.y() < y + kHandleHalf;
}

int ToInt(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

int Flag(int value) {
    return value != 0 ? 1 : 0;
}

}  // namespace

bool LineHitTest(QPoint p, int x1, int y1, int x2, int y2, int width) {
    const int64_t dx = int64_t{x2} - x1, dy = int64_t{y2} - y1;
    const int64_t slack = int64_t{width} + 4;
    if (dx == 0 && dy == 0)
        return std::llabs(int64_t{p.x()} - x1) <= slack && std::llabs(int64_t{p.y()} - y1) <= slack;
    if (std::llabs(dx) >= std::llabs(dy)) {
        if (p.x() < std::min(x1, x2) || p.x() > std::max(x1, x2)) return false;
        const auto t =
            static_cast<int64_t>(static_cast<double>(dy) / static_cast<double>(dx) * (p.x() - x1) + y1);
        return t - slack <= p.y() && p.y() <= t + slack;
    }
    if (p.y() < std::min(y1, y2) || p.y() > std::max(y1, y2)) return false;
    const auto t =
        static_cast<int64_t>(static_cast<double>(dx) / static_cast<double>(dy) * (p.y() - y1) + x1);
    return t - slack <= p.x() && p.x() <= t + slack;
}

bool ObjectContains(const OverlayObject& object, QPoint p) {
    const ObjectGeometry g = GetGeometry(object);
    if (IsPointKind(object.kind)) {
        return LineHitTest(p, g.a, g.b, g.c, g.d, PenWidth(object));
    }
    if (auto* pen = dynamic_cast<const PenObject*>(&object)) {
        const std::vector<QPoint>& q = pen->points;
        const int reach = std::max(0, pen->width / 2 - 2);
        for (size_t i = 0; i < q.size(); ++i) {
            const QPoint& next = q[i + 1 < q.size() ? i + 1 : i];
            if (LineHitTest(p, q[i].x(), q[i].y(), next.x(), next.y(), reach)) return true;
        }
        return false;
    }
    if (object.kind < kLineObject || object.kind > kPenObject) return false;
    return p.x() >= g.a && p.x() < g.c && p.y() >= g.b && p.y() < g.d;
}

OverlayObject* SelectAtPoint(const ObjectList& objects, QPoint p) {
    for (const auto& object : objects)
        if (object && ObjectContains(*object, p)) return object.get();
    return nullptr;
}

HandleHit HandleAtPoint(const OverlayObject& object, QPoint p) {
    const ObjectGeometry g = GetGeometry(object);
    const int64_t a = g.a, b = g.b, c = g.c, d = g.d;
    if (IsPointKind(object.kind)) {
        if (InZone(p, a, b)) return {1, HandleCursor::kSizeNeSw};
        if (InZone(p, c, d)) return {2, HandleCursor::kSizeNwSe};
        if (LineHitTest(p, ToInt(a), ToInt(b), ToInt(c), ToInt(d), PenWidth(object)))
            return {3, HandleCursor::kSelect};
        return {};
    }
    if (object.kind < kLineObject || object.kind > kPenObject) return {};
    const int64_t mx = a + (c - a) / 2, my = b + (d - b) / 2;
    if (InZone(p, a, b)) return {4, HandleCursor::kSizeNwSe};
    if (InZone(p, a, d)) return {6, HandleCursor::kSizeNeSw};
    if (InZone(p, c, b)) return {7, HandleCursor::kSizeNeSw};
    if (InZone(p, c, d)) return {5, HandleCursor::kSizeNwSe};
    if (InZone(p, a, my)) return {8, HandleCursor::kSizeWe};
    if (InZone(p, c, my)) return {9, HandleCursor::kSizeWe};
    if (InZone(p, mx, b)) return {10, HandleCursor::kSizeNs};
    if (InZone(p, mx, d)) return {11, HandleCursor::kSizeNs};
    if (object.kind == kPenObject ? ObjectContains(object, p)
                                  : p.x() >= a && p.x() < c && p.y() >= b && p.y() < d)
        return {12, HandleCursor::kSelect};
    return {};
}

void DragObject(OverlayObject& object, int code, const ObjectGeometry& saved, QPoint press, QPoint p) {
    const int64_t dx = int64_t{p.x()} - press.x(), dy = int64_t{p.y()} - press.y();
    ObjectGeometry g = GetGeometry(object);
    if (IsPointKind(object.kind)) {
        switch (code) {
            case 1:
                g.a = p.x();
                g.b = p.y();
                break;
            case 2:
                g.c = p.x();
                g.d = p.y();
                break;
            case 3:
                g = {ToInt(saved.a + dx), ToInt(saved.b + dy), ToInt(saved.c + dx), ToInt(saved.d + dy)};
                break;
            default:
                return;
        }
        SetGeometry(object, g);
        return;
    }
    // Each moved edge keeps its distance from the opposite one.
    auto setLeft = [&] { g.a = ToInt(std::min<int64_t>(p.x(), int64_t{g.c} - kMinEdgeGap)); };
    auto setRight = [&] { g.c = ToInt(std::max<int64_t>(p.x(), int64_t{g.a} + kMinEdgeGap)); };
    auto setTop = [&] { g.b = ToInt(std::min<int64_t>(p.y(), int64_t{g.d} - kMinEdgeGap)); };
    auto setBottom = [&] { g.d = ToInt(std::max<int64_t>(p.y(), int64_t{g.b} + kMinEdgeGap)); };
    switch (code) {
        case 4:
            setLeft();
            setTop();
            break;
        case 5:
            setRight();
            setBottom();
            break;
        case 6:
            setLeft();
            setBottom();
            break;
        case 7:
            setRight();
            setTop();
            break;
        case 8:
            setLeft();
            break;
        case 9:
            setRight();
            break;
        case 10:
            setTop();
            break;
        case 11:
            setBottom();
            break;
        case 12:
            g = {ToInt(saved.a + dx), ToInt(saved.b + dy), ToInt(saved.c + dx), ToInt(saved.d + dy)};
            break;
        default:
            return;
    }
    SetGeometry(object, g);
}

void DrawHandles(const OverlayObject& object, QPainter& painter) {
    const ObjectGeometry g = GetGeometry(object);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor(0, 0, 0), 1));
    painter.setBrush(QColor(255, 255, 255));
    auto circle = [&](qreal x, qreal y) { painter.drawEllipse(QRectF(x - 4, y - 4, 8, 8)); };
    if (IsPointKind(object.kind)) {
        circle(g.a, g.b);
        circle(g.c, g.d);
    } else if (object.kind >= kLineObject && object.kind <= kPenObject) {
        const int mx = g.a + (g.c - g.a) / 2, my = g.b + (g.d - g.b) / 2;
        for (auto [x, y] : {std::pair{g.a, g.b},
                            {g.c, g.b},
                            {g.a, g.d},
                            {g.c, g.d},
                            {g.a, my},
                            {g.c, my},
                            {mx, g.b},
                            {mx, g.d}})
            circle(x, y);
    }
    painter.restore();
}

int PanelKindOf(int objectKind) {
    switch (objectKind) {
        case kLineObject:
            return kToolLine;
        case kTextObject:
            return kToolText;
        case kShapeObject:
            return kToolShape;
        case kArrowObject:
            return kToolArrow;
        case kHighlightObject:
            return kToolHighlight;
        case kStampObject:
            return kToolStamp;
        case kRedactObject:
            return kToolRedact;
        case kCounterObject:
            return kToolCounter;
        case kPenObject:
            return kToolPen;
        default:
            return kToolSelect;
    }
}

int PanelKindOf(const OverlayObject& object) {
    if (auto* pen = dynamic_cast<const PenObject*>(&object); pen && pen->marker) return kToolMarker;
    return PanelKindOf(object.kind);
}

void ObjectToPanel(const OverlayObject& object, ToolPanel& panel) {
    panel.SetKind(PanelKindOf(object));
    panel.SetOpacity(object.transparency);
    panel.SetShadow(object.shadow);
    if (auto* line = dynamic_cast<const LineObject*>(&object)) {
        panel.SetWidth(line->width);
        panel.SetLineStyle(line->lineStyle);
        panel.SetColour(line->colour);
    } else if (auto* text = dynamic_cast<const TextObject*>(&object)) {
        panel.SetBoxStyle(text->boxStyle);
        panel.SetTextBackColour(text->backColour);
    } else if (auto* shape = dynamic_cast<const ShapeObject*>(&object)) {
        panel.SetShape(shape->shape);
        panel.SetBorderColour(shape->borderColour);
        panel.SetShapeBackColour(shape->backColour);
        panel.SetWidth(shape->width);
    } else if (auto* arrow = dynamic_cast<const ArrowObject*>(&object)) {
        panel.SetArrowStyle(arrow->arrowStyle);
        panel.SetColour(arrow->colour);
    } else if (auto* box = dynamic_cast<const HighlightObject*>(&object)) {
        panel.SetColour(box->colour);
    } else if (auto* stamp = dynamic_cast<const StampObject*>(&object)) {
        panel.SetStampNumber(stamp->stampNumber);
    } else if (auto* redaction = dynamic_cast<const RedactObject*>(&object)) {
        panel.SetRedactMethod(redaction->method);
        panel.SetRedactBlock(redaction->blockSize);
        panel.SetRedactRadius(redaction->radius);
        panel.SetRedactColour(redaction->colour);
    } else if (auto* counter = dynamic_cast<const CounterObject*>(&object)) {
        panel.SetColour(counter->colour);
        panel.SetCounterShape(counter->shape);
        panel.SetWidth(std::clamp((counter->right - counter->left - kCounterBase) / kCounterStep, 1, 10));
    } else if (auto* pen = dynamic_cast<const PenObject*>(&object)) {
        panel.SetColour(pen->colour);
        panel.SetWidth(std::clamp(pen->width / (pen->marker ? kMarkerStep : 1), 1, 10));
    }
}

namespace {
// A new object takes the same values from the panel as a restyled one.
void ApplyStyle(const ToolPanel& panel, OverlayObject& object) {
    object.shadow = Flag(panel.Shadow());
    object.transparency = panel.Opacity();
    if (auto* line = dynamic_cast<LineObject*>(&object)) {
        line->width = panel.Width();
        line->colour = panel.Colour();
        line->lineStyle = panel.LineStyle();
    } else if (auto* text = dynamic_cast<TextObject*>(&object)) {
        text->boxStyle = panel.BoxStyle();
        text->backColour = panel.TextBackColour();
    } else if (auto* shape = dynamic_cast<ShapeObject*>(&object)) {
        shape->borderColour = panel.BorderColour();
        shape->backColour = panel.ShapeBackColour();
        shape->width = panel.Width();
        shape->shape = panel.Shape();
    } else if (auto* arrow = dynamic_cast<ArrowObject*>(&object)) {
        arrow->arrowStyle = panel.ArrowStyle();
        arrow->width = panel.Width();
        arrow->colour = panel.Colour();
    } else if (auto* box = dynamic_cast<HighlightObject*>(&object)) {
        box->colour = panel.Colour();
    } else if (auto* stamp = dynamic_cast<StampObject*>(&object)) {
        stamp->stampNumber = panel.StampNumber();
        // Without a stamp chosen in the panel the object keeps the picture it has.
        if (const Image* picture = panel.StampImage(); picture && picture->IsValid())
            stamp->stampImage = *picture;
    } else if (auto* redaction = dynamic_cast<RedactObject*>(&object)) {
        // Always opaque and unshadowed: a see-through cover would show what it hides.
        redaction->transparency = 0;
        redaction->shadow = 0;
        redaction->method = panel.RedactMethod();
        redaction->blockSize = panel.RedactBlock();
        redaction->radius = panel.RedactRadius();
        redaction->colour = panel.RedactColour();
    } else if (auto* counter = dynamic_cast<CounterObject*>(&object)) {
        counter->colour = panel.Colour();
        counter->shape = panel.CounterShape();
        // The size from the centre, so a restyled counter stays where it is.
        const int side = CounterSide(panel.Width());
        const int cx = counter->left + (counter->right - counter->left) / 2;
        const int cy = counter->top + (counter->bottom - counter->top) / 2;
        counter->left = cx - side / 2;
        counter->top = cy - side / 2;
        counter->right = counter->left + side;
        counter->bottom = counter->top + side;
    } else if (auto* pen = dynamic_cast<PenObject*>(&object)) {
        pen->colour = panel.Colour();
        pen->width = panel.Width() * (pen->marker ? kMarkerStep : 1);
    }
}
}  // namespace

void PanelToObject(const ToolPanel& panel, OverlayObject& object) {
    ApplyStyle(panel, object);
}

std::unique_ptr<OverlayObject> CreateObject(int objectKind, const ToolPanel& panel) {
    std::unique_ptr<OverlayObject> object;
    switch (objectKind) {
        case kLineObject:
            object = std::make_unique<LineObject>();
            break;
        case kTextObject:
            object = std::make_unique<TextObject>();
            break;
        case kShapeObject:
            object = std::make_unique<ShapeObject>();
            break;
        case kArrowObject:
            object = std::make_unique<ArrowObject>();
            break;
        case kHighlightObject:
            object = std::make_unique<HighlightObject>();
            break;
        case kStampObject:
            object = std::make_unique<StampObject>();
            break;
        case kRedactObject:
            object = std::make_unique<RedactObject>();
            break;
        case kCounterObject:
            object = std::make_unique<CounterObject>();
            break;
        case kPenObject:
            object = std::make_unique<PenObject>();
            break;
        default:
            return nullptr;
    }
    ApplyStyle(panel, *object);
    return object;
}

}  // namespace glimmora
