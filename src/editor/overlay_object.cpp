#include "editor/overlay_object.h"

#include <algorithm>
#include <cstring>

namespace glimmora {

namespace {
template <typename T>
std::unique_ptr<OverlayObject> CopyAs(const OverlayObject& object) {
    const T* typed = dynamic_cast<const T*>(&object);
    return typed ? std::make_unique<T>(*typed) : nullptr;
}

// The four geometry fields of whichever kind the object is.
template <typename F>
void VisitGeometry(OverlayObject& o, F&& f) {
    if (auto* l = dynamic_cast<LineObject*>(&o))
        f(l->x1, l->y1, l->x2, l->y2);
    else if (auto* a = dynamic_cast<ArrowObject*>(&o))
        f(a->x1, a->y1, a->x2, a->y2);
    else if (auto* t = dynamic_cast<TextObject*>(&o))
        f(t->left, t->top, t->right, t->bottom);
    else if (auto* s = dynamic_cast<ShapeObject*>(&o))
        f(s->left, s->top, s->right, s->bottom);
    else if (auto* h = dynamic_cast<HighlightObject*>(&o))
        f(h->left, h->top, h->right, h->bottom);
    else if (auto* st = dynamic_cast<StampObject*>(&o))
        f(st->left, st->top, st->right, st->bottom);
    else if (auto* r = dynamic_cast<RedactObject*>(&o))
        f(r->left, r->top, r->right, r->bottom);
    else if (auto* n = dynamic_cast<CounterObject*>(&o))
        f(n->left, n->top, n->right, n->bottom);
    else if (auto* pen = dynamic_cast<PenObject*>(&o))
        f(pen->left, pen->top, pen->right, pen->bottom);
}

// A stroke's points carried from its old box into a new one: moved, or stretched with the box.
void MapPoints(PenObject& pen, const ObjectGeometry& to) {
    const int w = pen.right - pen.left, h = pen.bottom - pen.top;
    for (QPoint& p : pen.points) {
        const long long x = w > 0 ? static_cast<long long>(p.x() - pen.left) * (to.c - to.a) / w : 0;
        const long long y = h > 0 ? static_cast<long long>(p.y() - pen.top) * (to.d - to.b) / h : 0;
        p = QPoint(to.a + static_cast<int>(x), to.b + static_cast<int>(y));
    }
}
}  // namespace

std::unique_ptr<OverlayObject> CloneObject(const OverlayObject& object) {
    switch (object.kind) {
        case kLineObject:
            return CopyAs<LineObject>(object);
        case kTextObject:
            return CopyAs<TextObject>(object);
        case kShapeObject:
            return CopyAs<ShapeObject>(object);
        case kArrowObject:
            return CopyAs<ArrowObject>(object);
        case kHighlightObject:
            return CopyAs<HighlightObject>(object);
        case kStampObject:
            return CopyAs<StampObject>(object);
        case kRedactObject:
            return CopyAs<RedactObject>(object);
        case kCounterObject:
            return CopyAs<CounterObject>(object);
        case kPenObject:
            return CopyAs<PenObject>(object);
        default:
            return nullptr;
    }
}

void DeepCopy(ObjectList& dest, const ObjectList& source) {
    if (&dest == &source) return;
    dest.clear();
    for (const auto& object : source) {
        if (!object) continue;
        if (auto copy = CloneObject(*object)) dest.push_back(std::move(copy));
    }
}

void PenObject::Add(QPoint p) {
    if (points.empty()) {
        left = right = p.x();
        top = bottom = p.y();
    }
    points.push_back(p);
    left = std::min(left, p.x());
    top = std::min(top, p.y());
    right = std::max(right, p.x());
    bottom = std::max(bottom, p.y());
}

bool IsPointKind(int kind) {
    return kind == kLineObject || kind == kArrowObject;
}

ObjectGeometry GetGeometry(const OverlayObject& object) {
    ObjectGeometry g;
    VisitGeometry(const_cast<OverlayObject&>(object), [&](int& a, int& b, int& c, int& d) {
        g = {a, b, c, d};
    });
    return g;
}

void SetGeometry(OverlayObject& object, const ObjectGeometry& g) {
    if (auto* pen = dynamic_cast<PenObject*>(&object)) MapPoints(*pen, g);
    VisitGeometry(object, [&](int& a, int& b, int& c, int& d) {
        a = g.a;
        b = g.b;
        c = g.c;
        d = g.d;
    });
}

// Whether two objects draw the same picture: every field that drawing reads.
bool SameObject(const OverlayObject& a, const OverlayObject& b) {
    if (a.kind != b.kind || a.transparency != b.transparency || a.shadow != b.shadow) return false;
    const ObjectGeometry ga = GetGeometry(a), gb = GetGeometry(b);
    if (ga.a != gb.a || ga.b != gb.b || ga.c != gb.c || ga.d != gb.d) return false;
    if (auto* x = dynamic_cast<const LineObject*>(&a)) {
        auto* y = static_cast<const LineObject*>(&b);
        return x->width == y->width && x->colour == y->colour && x->lineStyle == y->lineStyle;
    }
    if (auto* x = dynamic_cast<const TextObject*>(&a)) {
        auto* y = static_cast<const TextObject*>(&b);
        return x->text == y->text && x->fontName == y->fontName && x->fontSize == y->fontSize &&
               x->textColour == y->textColour && x->backColour == y->backColour &&
               x->alignment == y->alignment && x->bold == y->bold && x->italic == y->italic &&
               x->underline == y->underline && x->boxStyle == y->boxStyle;
    }
    if (auto* x = dynamic_cast<const ShapeObject*>(&a)) {
        auto* y = static_cast<const ShapeObject*>(&b);
        return x->borderColour == y->borderColour && x->backColour == y->backColour && x->shape == y->shape &&
               x->width == y->width;
    }
    if (auto* x = dynamic_cast<const ArrowObject*>(&a)) {
        auto* y = static_cast<const ArrowObject*>(&b);
        return x->width == y->width && x->colour == y->colour && x->arrowStyle == y->arrowStyle;
    }
    if (auto* x = dynamic_cast<const HighlightObject*>(&a)) {
        return x->colour == static_cast<const HighlightObject*>(&b)->colour;
    }
    if (auto* x = dynamic_cast<const RedactObject*>(&a)) {
        auto* y = static_cast<const RedactObject*>(&b);
        return x->method == y->method && x->blockSize == y->blockSize && x->radius == y->radius &&
               x->colour == y->colour && x->random == y->random;
    }
    if (auto* x = dynamic_cast<const CounterObject*>(&a)) {
        auto* y = static_cast<const CounterObject*>(&b);
        return x->number == y->number && x->colour == y->colour && x->shape == y->shape;
    }
    if (auto* x = dynamic_cast<const PenObject*>(&a)) {
        auto* y = static_cast<const PenObject*>(&b);
        return x->points == y->points && x->width == y->width && x->colour == y->colour &&
               x->marker == y->marker;
    }
    if (auto* x = dynamic_cast<const StampObject*>(&a)) {
        const Image& p = x->stampImage;
        const Image& q = static_cast<const StampObject*>(&b)->stampImage;
        if (p.IsValid() != q.IsValid()) return false;
        if (!p.IsValid()) return true;
        return p.Width() == q.Width() && p.Height() == q.Height() && p.Depth() == q.Depth() &&
               p.PaletteSize() == q.PaletteSize() && std::memcmp(p.Bits(), q.Bits(), p.PixelBytes()) == 0 &&
               (p.PaletteSize() == 0 ||
                std::memcmp(p.Palette(), q.Palette(),
                            sizeof(PaletteEntry) * static_cast<size_t>(p.PaletteSize())) == 0);
    }
    return false;
}

}  // namespace glimmora
