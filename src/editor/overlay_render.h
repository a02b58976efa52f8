// Drawing overlay objects onto an image: each object on its own canvas, an optional drop shadow, then
// blended onto the target.
#pragma once

#include <QFont>
#include <QPoint>
#include <cstdint>
#include <unordered_map>

#include "editor/overlay_object.h"
#include "image/image.h"

namespace glimmora {

// Blends a 32-bit source onto a 32-bit target with its top-left at (x, y), at strength percent
// (clamped to 0..100). Nothing happens unless both images have 32 bits per pixel.
void Composite(Image& target, const Image& source, int x, int y, int strength);

// The drop shadow: a 32-bit image of w x h becomes (w + 20) x (h + 20) with a blurred black shadow
// (75 % alpha, offset 5, 10 x 10 box blur) under the picture, which now sits at (5, 5).
void AddDropShadow(Image& image);

// The object's own picture before the shadow: 32 bits, with the target position of its top-left.
// Only the part that can show on a target of targetWidth x targetHeight is drawn; an invalid image
// means nothing to draw.
struct ObjectCanvas {
    Image image;
    int x = 0, y = 0;
};

// The shadow added to an object's canvas, whose origin moves so that the object stays where it was
// drawn (where the user put it) and only its shadow lies 5 pixels right and down.
void AddDropShadow(ObjectCanvas& canvas);
ObjectCanvas DrawObjectCanvas(const OverlayObject& object, int targetWidth, int targetHeight);

// The cover a redaction shows: the pixels beneath it (picture and the objects before it in the list)
// redacted, as an opaque 32-bit canvas over the object's part of the picture. Invalid when it lies
// outside the picture. Neither the picture nor the list is changed.
ObjectCanvas DrawRedaction(const RedactObject& object, const Image& picture, const ObjectList& objects);

// The covers of a list's redactions for one repaint, each drawn at most once: a cover beneath a later
// one is reused, not drawn again. Picture and list must outlive it and stay unchanged.
class RedactionCovers {
  public:
    RedactionCovers(const Image& picture, const ObjectList& objects) : picture_(picture), objects_(objects) {}
    const ObjectCanvas& Cover(const RedactObject& object);

  private:
    const Image& picture_;
    const ObjectList& objects_;
    std::unordered_map<const RedactObject*, ObjectCanvas> drawn_;
};

// How many covers have been drawn since the program started; for tests of the repaint's work.
uint64_t RedactionCoversDrawn();

// One object onto a 32-bit target, shadow included; other depths are left alone.
void RenderObject(const OverlayObject& object, Image& target);

// Every object in list order. A target of another depth is turned into a 32-bit image first, so
// objects show (and are saved and flattened) whatever the picture's depth; without objects the
// target is not touched. False, target unchanged, when there are objects but the target has no
// pixels or cannot become 32 bits (it would pass the size bound): nothing could be drawn.
bool RenderAll(const ObjectList& objects, Image& target);

// The font of a text object: its family when installed, else the generic sans-serif family.
QFont MakeTextFont(const TextObject& object);
// Alignment and wrapping of the text in its box.
int TextFlags(const TextObject& object);

// Where the arrow's head goes: the base of the head on the shaft and its two outer corners.
struct ArrowHead {
    bool valid = false;  // false for an arrow of zero length, which has no direction
    QPoint base, corner1, corner2;
};
ArrowHead ComputeArrowHead(QPoint tail, QPoint head);

}  // namespace glimmora
