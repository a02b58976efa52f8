// What an editor view shows of its document at one zoom, composed for any part of the zoomed picture.
#pragma once

#include <QImage>
#include <QRect>
#include <memory>
#include <unordered_map>
#include <vector>

#include "editor/overlay_object.h"
#include "editor/overlay_render.h"
#include "image/image.h"

namespace glimmora {

// A 24- or 32-bit picture as an opaque Qt image: the colour bytes are what the user sees, as other
// programs and windows of ours get it.
QImage OpaqueQImage(const Image& image);

// Rectangles of the view are left, top, right, bottom with right and bottom exclusive.
namespace view_rect {
inline QRect MakeRect(int l, int t, int r, int b) {
    return QRect(QPoint(l, t), QPoint(r - 1, b - 1));
}
inline int Right(const QRect& r) {
    return r.x() + r.width();
}
inline int Bottom(const QRect& r) {
    return r.y() + r.height();
}
inline bool Empty(const QRect& r) {
    return r.width() <= 0 || r.height() <= 0;
}
}  // namespace view_rect

// Everything that decides the picture on the screen; rectangles in image pixels.
struct ViewScene {
    const Image* picture = nullptr;
    const ObjectList* objects = nullptr;
    double zoom = 1.0;                        // device pixels per image pixel
    const Image* dimmed = nullptr;            // the crop tool's dimmed picture, shown outside cropRect
    QRect cropRect;                           // with a dotted black frame and corner squares, when dimmed
    QRect focusRect;                          // an inverted dotted frame (a new object's rubber band)
    const OverlayObject* selected = nullptr;  // drawn with its handles
};

// Keeps its pixel buffers and each object's drawn canvas between repaints, so a drag redraws only the
// object that changed.
class ViewCanvas {
  public:
    // Device pixels rect of the zoomed picture (0, 0 = its top-left corner), clipped to it. wholeBuffer:
    // the plain way, through a back buffer of the whole picture, which every part must match.
    QImage Compose(const ViewScene& scene, QRect rect, bool wholeBuffer);

  private:
    // Blends the objects (or only the redactions) onto partBuffer_, which holds the sampled picture.
    void DrawObjects(const ViewScene& scene, const QRect& span, const std::vector<int>& xs,
                     const std::vector<int>& ys, bool dense, bool redactionsOnly);

    Image partBuffer_, keepBuffer_;
    QImage backBuffer_, zoomedBuffer_;
    // Each object's drawn canvas (shadow included) for the image span it was drawn for, with a copy of
    // the object to see whether it changed since.
    struct CachedCanvas {
        std::unique_ptr<OverlayObject> copy;
        QRect span;
        ObjectCanvas canvas;
    };
    std::unordered_map<const OverlayObject*, CachedCanvas> canvasCache_;
};

}  // namespace glimmora
