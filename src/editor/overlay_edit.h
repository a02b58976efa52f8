// Finding, moving and restyling overlay objects: what the select tool and the option panel do to them.
#pragma once

#include <QPoint>

#include "editor/overlay_object.h"
#include "editor/tool_panel.h"

class QPainter;

namespace glimmora {

// p lies on the line from (x1, y1) to (x2, y2) drawn with the given width (4 pixels of slack either
// side). A line of zero length is hit within width + 4 pixels of its point.
bool LineHitTest(QPoint p, int x1, int y1, int x2, int y2, int width);

// Whether the object, as seen (shadowed points 5 pixels right and down), contains p.
bool ObjectContains(const OverlayObject& object, QPoint p);

// The first object from the bottom of the list that contains p, or null.
OverlayObject* SelectAtPoint(const ObjectList& objects, QPoint p);

enum class HandleCursor {
    kNone,
    kSizeNeSw,  // north-east / south-west
    kSizeNwSe,  // north-west / south-east
    kSizeWe,
    kSizeNs,
    kSelect,  // the select tool's own cursor
};

// Handle codes: 1 and 2 the end points of a line or arrow, 3 its body; 4 top-left, 5 bottom-right,
// 6 bottom-left, 7 top-right, 8 left, 9 right, 10 top, 11 bottom, 12 inside a rectangle; 0 none.
struct HandleHit {
    int code = 0;
    HandleCursor cursor = HandleCursor::kNone;
};
HandleHit HandleAtPoint(const OverlayObject& object, QPoint p);

// Moves the part named by code to the pointer p; press is where the drag began and saved the object's
// geometry at that moment. A dragged edge stays at least 20 pixels from the opposite one.
void DragObject(OverlayObject& object, int code, const ObjectGeometry& saved, QPoint press, QPoint p);

// Round white handles with a black outline on the end points, or the corners and edge midpoints.
void DrawHandles(const OverlayObject& object, QPainter& painter);

// The option panel kind that shows an object of this kind.
int PanelKindOf(int objectKind);
// The same for the object itself: a marker stroke shows the marker's panel.
int PanelKindOf(const OverlayObject& object);

// Sizes from the option bar's width (1 to 10): a counter's side, and a marker's stroke per step.
inline constexpr int kCounterBase = 16, kCounterStep = 4, kMarkerStep = 4;
inline int CounterSide(int width) {
    return kCounterBase + kCounterStep * width;
}

// Shows the object's panel and its values there.
void ObjectToPanel(const OverlayObject& object, ToolPanel& panel);
// Sets the object's style from the panel (the option bar's change message).
void PanelToObject(const ToolPanel& panel, OverlayObject& object);
// A new object of the kind with its style from the panel; the caller sets the geometry.
std::unique_ptr<OverlayObject> CreateObject(int objectKind, const ToolPanel& panel);

}  // namespace glimmora
