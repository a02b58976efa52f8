// Annotations kept apart from the picture until they are flattened: lines, texts, shapes, arrows,
// highlight boxes, stamps and redactions, as plain records chosen by their kind tag.
#pragma once

#include <QPoint>
#include <QString>
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "image/image.h"
#include "image/redact.h"

namespace glimmora {

// 0x00BBGGRR: red in the low byte.
using ColorRef = uint32_t;

enum ObjectKind : int {
    kLineObject = 0,
    kTextObject = 1,
    kShapeObject = 2,
    kArrowObject = 3,
    kHighlightObject = 4,
    kStampObject = 5,
    kRedactObject = 6,
    kCounterObject = 7,
    kPenObject = 8,
};

class OverlayObject {
  public:
    virtual ~OverlayObject() = default;

    int transparency = 0;  // 0 opaque ... 100 invisible
    int shadow = 0;
    const int kind;

  protected:
    explicit OverlayObject(int k) : kind(k) {}
    OverlayObject(const OverlayObject&) = default;
};

class LineObject : public OverlayObject {
  public:
    LineObject() : OverlayObject(kLineObject) {}
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    int width = 2;
    ColorRef colour = 0;
    int lineStyle = 0;  // 0 solid, 1 dot, 2 dash
};

class TextObject : public OverlayObject {
  public:
    TextObject() : OverlayObject(kTextObject) {}
    QString text;
    QString fontName = QStringLiteral("Arial");
    int left = 0, top = 0, right = 0, bottom = 0;
    int fontSize = 16;  // points
    ColorRef textColour = 0;
    ColorRef backColour = 0xFFFFFF;
    int alignment = 1;  // 0 left, 1 centre, 2 right
    int bold = 0, italic = 0, underline = 0;
    int boxStyle = 0;  // 0 solid box, 1 transparent box
};

class ShapeObject : public OverlayObject {
  public:
    ShapeObject() : OverlayObject(kShapeObject) {}
    ColorRef borderColour = 0;
    ColorRef backColour = 0x7B1700;
    int shape = 0;  // 0 rectangle, 1 ellipse, 2 filled rectangle, 3 filled ellipse
    int left = 0, top = 0, right = 0, bottom = 0;
    int width = 2;
};

class ArrowObject : public OverlayObject {
  public:
    ArrowObject() : OverlayObject(kArrowObject) {}
    int x1 = 0, y1 = 0;  // tail
    int x2 = 0, y2 = 0;  // head
    int width = 2;
    ColorRef colour = 0;
    int arrowStyle = 0;  // 0 filled head, 1 open head
};

class HighlightObject : public OverlayObject {
  public:
    HighlightObject() : OverlayObject(kHighlightObject) { transparency = 60; }
    ColorRef colour = 0x800000;
    int left = 0, top = 0, right = 0, bottom = 0;
};

class StampObject : public OverlayObject {
  public:
    StampObject() : OverlayObject(kStampObject) {}
    int left = 0, top = 0, right = 0, bottom = 0;
    int stampNumber = 0;
    Image stampImage;
};

// Covers the pixels beneath it (the picture and the objects before it) so nothing of them can be read;
// drawn from those pixels, always opaque and without a shadow.
class RedactObject : public OverlayObject {
  public:
    RedactObject() : OverlayObject(kRedactObject) {}
    int left = 0, top = 0, right = 0, bottom = 0;
    int method = kRedactSolid;  // 0 pixelate, 1 blur, 2 solid (RedactMethod)
    int blockSize = 16;         // pixelate
    int radius = 16;            // blur
    ColorRef colour = 0;        // solid
    // Drawn once per cover and copied with it, so every repaint shows the same cover; kept in memory
    // only, never written anywhere it could be read back.
    uint64_t random = RedactRandom();
};

// A numbered step: the number in a filled circle or rounded square, in white or black, whichever reads
// better on the colour.
class CounterObject : public OverlayObject {
  public:
    CounterObject() : OverlayObject(kCounterObject) {}
    int left = 0, top = 0, right = 0, bottom = 0;
    int number = 1;
    ColorRef colour = 0x2020D0;
    int shape = 0;  // 0 circle, 1 rounded square
};

// A freehand stroke through its points, smoothed; the marker is a wide translucent one, like a
// highlighter pen. The box is the points' bounds, kept with them.
class PenObject : public OverlayObject {
  public:
    PenObject() : OverlayObject(kPenObject) {}
    std::vector<QPoint> points;
    int left = 0, top = 0, right = 0, bottom = 0;
    int width = 3;  // pixels
    ColorRef colour = 0x0000FF;
    int marker = 0;
    // Appends a point and widens the box to hold it.
    void Add(QPoint p);
};

// Front is drawn first (bottom), back last (top).
using ObjectList = std::list<std::unique_ptr<OverlayObject>>;

// A new object of the same kind with every field copied; null for an unknown kind.
std::unique_ptr<OverlayObject> CloneObject(const OverlayObject& object);
// Whether two objects draw the same picture: every field that drawing reads.
bool SameObject(const OverlayObject& a, const OverlayObject& b);
// Empties dest, then appends a copy of each object of source in order.
void DeepCopy(ObjectList& dest, const ObjectList& source);

// Line and arrow objects keep two points; the other kinds a rectangle.
bool IsPointKind(int kind);

// The geometry that moves during a drag: the two points or the four edges.
struct ObjectGeometry {
    int a = 0, b = 0, c = 0, d = 0;  // x1, y1, x2, y2 or left, top, right, bottom
};
ObjectGeometry GetGeometry(const OverlayObject& object);
void SetGeometry(OverlayObject& object, const ObjectGeometry& geometry);

}  // namespace glimmora
