#include "editor/overlay_object.h"

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
    VisitGeometry(object, [&](int& a, int& b, int& c, int& d) {
        a = g.a;
        b = g.b;
        c = g.c;
        d = g.d;
    });
}

}  // namespace glimmora
