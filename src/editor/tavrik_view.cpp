#include "editor/tavrik_view.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "editor/image_commands.h"
#include "editor/overlay_edit.h"
#include "editor/overlay_render.h"
#include "editor/tavrik_doc.h"
#include "editor/view_host.h"

namespace glimmora {

namespace {

using view_rect::Bottom;
using view_rect::Empty;
using view_rect::MakeRect;
using view_rect::Right;

bool IsTrackTool(int tool) {
    return tool == kToolCrop || tool == kToolText || tool == kToolShape || tool == kToolHighlight ||
           tool == kToolStamp || tool == kToolRedact;
}

// In from another program at 32 bits with straight alpha.
Image FromQImage(const QImage& source) {
    Image out;
    const QImage q = source.convertToFormat(QImage::Format_ARGB32);
    if (q.isNull() || !out.Create(q.width(), q.height(), 32)) return out;
    for (int y = 0; y < q.height(); ++y) {
        const QRgb* s = reinterpret_cast<const QRgb*>(q.constScanLine(y));
        uint8_t* d = out.Row(y);
        for (int x = 0; x < q.width(); ++x, d += 4) {
            d[0] = static_cast<uint8_t>(qBlue(s[x]));
            d[1] = static_cast<uint8_t>(qGreen(s[x]));
            d[2] = static_cast<uint8_t>(qRed(s[x]));
            d[3] = static_cast<uint8_t>(qAlpha(s[x]));
        }
    }
    return out;
}

// Which corner zone of r holds p: 2 top-left, 3 bottom-left, 4 top-right, 5 bottom-right, 1 inside,
// 0 elsewhere.
int TrackZone(const QRect& r, QPoint p) {
    auto zone = [&](int x, int y) { return MakeRect(x - 8, y - 8, x + 8, y + 8).contains(p); };
    if (zone(r.x(), r.y())) return 2;
    if (zone(r.x(), Bottom(r))) return 3;
    if (zone(Right(r), r.y())) return 4;
    if (zone(Right(r), Bottom(r))) return 5;
    if (r.contains(p)) return 1;
    return 0;
}

QCursor HandleCursorShape(HandleCursor c) {
    switch (c) {
        case HandleCursor::kSizeNeSw:
            return Qt::SizeBDiagCursor;
        case HandleCursor::kSizeNwSe:
            return Qt::SizeFDiagCursor;
        case HandleCursor::kSizeWe:
            return Qt::SizeHorCursor;
        case HandleCursor::kSizeNs:
            return Qt::SizeVerCursor;
        case HandleCursor::kSelect:
            return ViewCursor(kCursorSelect);
        case HandleCursor::kNone:
            break;
    }
    return Qt::ArrowCursor;
}

QCursor ZoneCursor(int zone) {
    switch (zone) {
        case 2:
        case 5:
            return Qt::SizeFDiagCursor;
        case 3:
        case 4:
            return Qt::SizeBDiagCursor;
        case 1:
            return ViewCursor(kCursorMoveInside);
        default:
            return Qt::CrossCursor;
    }
}

int ObjectKindOfTool(int tool) {
    switch (tool) {
        case kToolLine:
            return kLineObject;
        case kToolArrow:
            return kArrowObject;
        case kToolShape:
            return kShapeObject;
        case kToolHighlight:
            return kHighlightObject;
        case kToolStamp:
            return kStampObject;
        case kToolRedact:
            return kRedactObject;
        default:
            return kTextObject;
    }
}

}  // namespace

CTavrikView::CTavrikView(CTavrikDoc* doc, QWidget* parent) : QAbstractScrollArea(parent), doc_(doc) {
    setAccessibleName(QStringLiteral("Image"));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    cursor = ToolCursor(tool);
    ShowCursor(cursor);
    if (doc_) {
        doc_->SetFirstView(this);
        connect(doc_, &CTavrikDoc::updated, this, &CTavrikView::OnUpdate);
        connect(doc_, &CTavrikDoc::objectRemoved, this, [this](OverlayObject* object) {
            if (selectedObject == object) selectedObject = nullptr;
        });
    }
    OnUpdate();
}

CTavrikView::~CTavrikView() {
    if (doc_) {
        disconnect(doc_, nullptr, this, nullptr);
        doc_->SetFirstView(nullptr);
    }
}

void CTavrikView::SetHost(ViewHost* host) {
    host_ = host;
    WriteStatus();
}

double CTavrikView::DeviceScale() const {
    const double dpr = devicePixelRatioF();
    return dpr > 0 ? dpr : 1.0;
}

// On a scaled screen one image pixel covers one device pixel at 100 %.
double CTavrikView::Zoom() const {
    return kZoomTable[zoomIndex] / DeviceScale();
}

int CTavrikView::ZoomedWidth() const {
    return static_cast<int>(Zoom() * imageWidth + 0.5);
}

int CTavrikView::ZoomedHeight() const {
    return static_cast<int>(Zoom() * imageHeight + 0.5);
}

QPoint CTavrikView::ScrollPosition() const {
    return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

QPoint CTavrikView::ImagePoint(QPoint client) const {
    const QPoint z = client - QPoint(kMargin, kMargin) + ScrollPosition();
    const double zoom = Zoom();
    return {static_cast<int>(z.x() / zoom + 0.5), static_cast<int>(z.y() / zoom + 0.5)};
}

QRect CTavrikView::TrackFromImageRect(const QRect& r) const {
    if (Empty(r)) return {};
    const double zoom = Zoom();
    auto z = [zoom](int v) { return static_cast<int>(v * zoom + 0.5); };
    return MakeRect(z(r.x()), z(r.y()), z(Right(r)), z(Bottom(r)));
}

QCursor CTavrikView::ToolCursor(int toolNumber) const {
    switch (toolNumber) {
        case kToolSelect:
            return ViewCursor(kCursorSelect);
        case kToolMove:
            return ViewCursor(kCursorHandOpen);
        case kToolZoom:
            return ViewCursor(kCursorZoom);
        default:
            return Qt::CrossCursor;
    }
}

void CTavrikView::ShowCursor(const QCursor& c) {
    viewport()->setCursor(c);
}

void CTavrikView::OnUpdate() {
    const Image* image = doc_ ? &doc_->image : nullptr;
    imageWidth = image && image->IsValid() ? image->Width() : 0;
    imageHeight = image && image->IsValid() ? image->Height() : 0;
    if (selectedObject && doc_) {
        const bool alive = std::any_of(doc_->objects.begin(), doc_->objects.end(),
                                       [this](const auto& o) { return o.get() == selectedObject; });
        if (!alive) selectedObject = nullptr;
    }
    // A stroke taken back while it is drawn (an undo in the middle of the drag) ends there.
    if (stroke_ && doc_ && std::none_of(doc_->objects.begin(), doc_->objects.end(), [this](const auto& o) {
            return o.get() == stroke_;
        }))
        stroke_ = nullptr;
    SetScrollRange();
    viewport()->update();
}

void CTavrikView::SetScrollRange() {
    const int totalW = ZoomedWidth() + 2 * kMargin, totalH = ZoomedHeight() + 2 * kMargin;
    const QSize page = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, totalW - page.width()));
    verticalScrollBar()->setRange(0, std::max(0, totalH - page.height()));
    horizontalScrollBar()->setPageStep(std::max(1, page.width()));
    verticalScrollBar()->setPageStep(std::max(1, page.height()));
    horizontalScrollBar()->setSingleStep(std::max(1, totalW / 100));
    verticalScrollBar()->setSingleStep(std::max(1, totalH / 100));
}

void CTavrikView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    SetScrollRange();
}

void CTavrikView::scrollContentsBy(int, int) {
    viewport()->update();
}

void CTavrikView::RecomputeTrackRect() {
    trackRect = TrackFromImageRect(trackImageRect);
}

void CTavrikView::SetZoomIndex(int index) {
    if (index < 0 || index > 9) return;
    if (index != zoomIndex) {
        zoomIndex = index;
        SetScrollRange();
        RecomputeTrackRect();
        emit stateChanged();
    }
    viewport()->update();
    WriteStatus();
}

void CTavrikView::OnZoomIn() {
    SetZoomIndex(zoomIndex < 9 ? zoomIndex + 1 : zoomIndex);
}

void CTavrikView::OnZoomOut() {
    SetZoomIndex(zoomIndex > 0 ? zoomIndex - 1 : zoomIndex);
}

void CTavrikView::OnZoomActual() {
    if (zoomIndex != 4) SetZoomIndex(4);
}

void CTavrikView::ClearSelectionState() {
    selectedObject = nullptr;
    trackRect = trackImageRect = savedTrackRect = QRect();
    hasTrack = 0;
    viewport()->update();
}

void CTavrikView::SelectTool(int toolNumber) {
    if (toolNumber < kToolSelect || toolNumber > kToolMarker || tool == toolNumber) return;
    if (toolNumber == kToolSelect) {
        trackRect = trackImageRect = savedTrackRect = QRect();
        hasTrack = 0;
    } else {
        ClearSelectionState();
    }
    trackMode = 0;
    tool = toolNumber;
    cursor = ToolCursor(tool);
    ShowCursor(cursor);
    if (panel_) panel_->SetKind(tool);
    viewport()->update();
    emit stateChanged();
}

void CTavrikView::ReturnToSelectTool() {
    tool = kToolSelect;
    cursor = ViewCursor(kCursorSelect);
    ShowCursor(cursor);
    if (panel_) panel_->SetKind(0);
    trackRect = trackImageRect = savedTrackRect = QRect();
    trackMode = 0;
    hasTrack = 0;
    viewport()->update();
    emit stateChanged();
}

void CTavrikView::CopyToPanel() {
    if (!selectedObject) return;
    if (panel_) ObjectToPanel(*selectedObject, *panel_);
    setFocus();
}

void CTavrikView::ShowOnPanel() {
    if (!panel_) return;
    const bool hadFocus = hasFocus();
    panel_->SetKind(tool);
    if (selectedObject) ObjectToPanel(*selectedObject, *panel_);
    // A panel may take the focus when it is built (the stamp list does); the keys stay with the view.
    if (hadFocus) setFocus();
}

void CTavrikView::OnPanelChanged() {
    if (!selectedObject || !panel_ || !doc_) return;
    // A value the object already has is no change (and no undo step).
    const std::unique_ptr<OverlayObject> restyled = CloneObject(*selectedObject);
    if (!restyled) return;
    PanelToObject(*panel_, *restyled);
    if (SameObject(*restyled, *selectedObject)) return;
    // A slider dragged with the mouse changes the object many times: one step for the whole drag.
    doc_->RecordRestyle(selectedObject, panel_->DragSerial());
    PanelToObject(*panel_, *selectedObject);
    doc_->NoteObjectChanged(selectedObject);
}

// A rectangle smaller than 4 zoomed pixels is no rectangle.
void CTavrikView::UpdateHasTrack() {
    if (trackRect.width() < 4 || trackRect.height() < 4) {
        trackRect = trackImageRect = QRect();
        hasTrack = 0;
    } else {
        hasTrack = 1;
    }
}

void CTavrikView::WriteStatus() {
    if (!host_) return;
    host_->SetStatusText(0, QString::asprintf("  Size: %d x %d", imageWidth, imageHeight));
    host_->SetStatusText(
        1, QString::asprintf("Zoom: %d", static_cast<int>(kZoomTable[zoomIndex] * 100)) + QLatin1Char('%'));
}

QImage CTavrikView::ComposeZoomed(QRect rect) {
    return Compose(rect, false);
}

QImage CTavrikView::ComposeWholeZoomed() {
    const double zoom = kZoomTable[zoomIndex];
    return Compose(
        QRect(0, 0, static_cast<int>(zoom * imageWidth + 0.5), static_cast<int>(zoom * imageHeight + 0.5)),
        true);
}

QImage CTavrikView::Compose(QRect rect, bool wholeBuffer) {
    if (!doc_) return {};
    ViewScene scene;
    scene.picture = &doc_->image;
    scene.objects = &doc_->objects;
    scene.zoom = kZoomTable[zoomIndex];
    if (tool == kToolCrop && hasTrack == 1) scene.dimmed = &dimmedImage;
    scene.cropRect = trackImageRect;
    if (tool == kToolText || tool == kToolShape || tool == kToolHighlight || tool == kToolStamp ||
        tool == kToolRedact)
        scene.focusRect = trackImageRect;
    scene.selected = selectedObject;
    return canvas_.Compose(scene, rect, wholeBuffer);
}

void CTavrikView::paintEvent(QPaintEvent* event) {
    UpdateHasTrack();
    QPainter painter(viewport());
    painter.fillRect(event->rect(), QColor(148, 148, 148));
    const double dpr = DeviceScale();
    // Where the image's top-left corner is in the viewport.
    const QPoint origin = QPoint(kMargin, kMargin) - ScrollPosition();
    const QRect exposed = event->rect().intersected(QRect(origin, QSize(ZoomedWidth(), ZoomedHeight())));
    if (!exposed.isEmpty()) {
        const QRect device(static_cast<int>(std::floor((exposed.x() - origin.x()) * dpr)),
                           static_cast<int>(std::floor((exposed.y() - origin.y()) * dpr)),
                           static_cast<int>(std::ceil(exposed.width() * dpr)) + 1,
                           static_cast<int>(std::ceil(exposed.height() * dpr)) + 1);
        const double zoom = kZoomTable[zoomIndex];
        const QRect clipped = device & QRect(0, 0, static_cast<int>(zoom * imageWidth + 0.5),
                                             static_cast<int>(zoom * imageHeight + 0.5));
        QImage picture = ComposeZoomed(clipped);
        if (!picture.isNull()) {
            picture.setDevicePixelRatio(dpr);
            painter.setClipRect(exposed);
            painter.drawImage(QPointF(origin.x() + clipped.x() / dpr, origin.y() + clipped.y() / dpr),
                              picture);
        }
    }
    WriteStatus();
}

// Mouse.
void CTavrikView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        LeftDown(event->position().toPoint());
    } else if (event->button() == Qt::RightButton && tool == kToolZoom) {
        OnZoomOut();
    }
    event->accept();
}

void CTavrikView::LeftDown(QPoint client) {
    if (!doc_) return;
    UpdateHasTrack();
    pressPoint = client - QPoint(kMargin, kMargin);
    pressScroll = ScrollPosition();
    if (tool == kToolZoom) {
        OnZoomIn();
        return;
    }
    const QPoint q = ImagePoint(client);
    pressImagePoint_ = q;
    objectMoved_ = false;
    if (tool == kToolSelect) {
        handleCode = 0;
        if (selectedObject) {
            const HandleHit hit = HandleAtPoint(*selectedObject, q);
            handleCode = hit.code;
            if (hit.code != 0) {
                savedGeometry = GetGeometry(*selectedObject);
                // The list as it was before the drag: the drag is one undo step when it moves anything.
                DeepCopy(dragBefore_, doc_->objects);
                cursor = HandleCursorShape(hit.cursor);
                ShowCursor(cursor);
            }
        }
        if (handleCode == 0) selectedObject = SelectAtPoint(doc_->objects, q);
        CopyToPanel();
        viewport()->update();
        emit stateChanged();
    } else if ((tool == kToolPen || tool == kToolMarker) && panel_) {
        // The stroke shows as it is drawn; it is one object and one undo step.
        auto stroke = std::make_unique<PenObject>();
        stroke->marker = tool == kToolMarker ? 1 : 0;
        PanelToObject(*panel_, *stroke);
        stroke->Add(q);
        stroke_ = static_cast<PenObject*>(doc_->AddObject(std::move(stroke)));
        viewport()->update();
    } else if (tool == kToolCounter && panel_) {
        PlaceCounter(q);
    } else if ((tool == kToolLine || tool == kToolArrow) && panel_) {
        std::unique_ptr<OverlayObject> object = CreateObject(ObjectKindOfTool(tool), *panel_);
        if (object) {
            SetGeometry(*object, {q.x(), q.y(), q.x(), q.y()});
            selectedObject = doc_->AddObject(std::move(object));
            handleCode = 2;
            if (selectedObject) savedGeometry = GetGeometry(*selectedObject);
            viewport()->update();
        }
    }
    // The press as a zoomed-image position within the picture.
    const QPoint P(std::clamp(pressPoint.x() + pressScroll.x(), 0, ZoomedWidth()),
                   std::clamp(pressPoint.y() + pressScroll.y(), 0, ZoomedHeight()));
    pressPoint = P - pressScroll;
    if (tool == kToolCrop) PressCropTool();
    if (tool == kToolMove) {
        cursor = ViewCursor(kCursorHandClosed);
        ShowCursor(cursor);
    }
    if (IsTrackTool(tool)) {
        if (selectedObject) {
            selectedObject = nullptr;
            viewport()->update();
        }
        // Without a rectangle a drag always draws a new one.
        trackMode = 0;
        if (hasTrack == 1) {
            savedTrackRect = trackRect;
            trackMode = TrackZone(trackRect, P);
            if (trackMode == 0) trackImageRect = QRect();
        }
    }
    dragging = 1;
}

// The crop tool works on flat pixels: objects are burnt in (one undo step brings them back) and a
// dimmed copy shows what the crop will cut away.
void CTavrikView::PressCropTool() {
    doc_->BurnInObjects();
    dimmedImage = doc_->image;
    if (dimmedImage.IsValid() && dimmedImage.Depth() != 24 && dimmedImage.Depth() != 32 &&
        !dimmedImage.ConvertDepth(32))
        dimmedImage.Clear();
    if (dimmedImage.IsValid()) {
        const int bpp = dimmedImage.Depth() / 8;
        for (int y = 0; y < dimmedImage.Height(); ++y) {
            uint8_t* p = dimmedImage.Row(y);
            for (int x = 0; x < dimmedImage.Width(); ++x, p += bpp) {
                p[0] >>= 1;
                p[1] >>= 1;
                p[2] >>= 1;
            }
        }
    }
    selectedObject = nullptr;
    viewport()->update();
}

void CTavrikView::mouseMoveEvent(QMouseEvent* event) {
    MoveTo(event->position().toPoint());
}

void CTavrikView::MoveTo(QPoint client) {
    const QPoint m = client - QPoint(kMargin, kMargin);
    if (tool == kToolMove && dragging) {
        QScrollBar* bars[2] = {horizontalScrollBar(), verticalScrollBar()};
        const int target[2] = {pressScroll.x() + pressPoint.x() - m.x(),
                               pressScroll.y() + pressPoint.y() - m.y()};
        for (int i = 0; i < 2; ++i) bars[i]->setValue(bars[i]->maximum() > 0 ? std::max(0, target[i]) : 0);
    }
    if (IsTrackTool(tool)) {
        const QPoint c = m + ScrollPosition();
        const int W = ZoomedWidth(), H = ZoomedHeight();
        if (dragging) {
            const QPoint P = pressPoint + pressScroll;
            const QPoint d = c - P;
            QRect next;
            if (trackMode == 0) {
                const QPoint e(std::clamp(c.x(), 0, W), std::clamp(c.y(), 0, H));
                next = MakeRect(std::min(P.x(), e.x()), std::min(P.y(), e.y()), std::max(P.x(), e.x()),
                                std::max(P.y(), e.y()));
            } else if (trackMode == 1) {
                next = savedTrackRect.translated(d);
            } else {
                int l = savedTrackRect.x(), t = savedTrackRect.y();
                int r = Right(savedTrackRect), b = Bottom(savedTrackRect);
                if (trackMode == 2 || trackMode == 3) l = std::min(l + d.x(), r - 8);
                if (trackMode == 4 || trackMode == 5) r = std::max(r + d.x(), l + 8);
                if (trackMode == 2 || trackMode == 4) t = std::min(t + d.y(), b - 8);
                if (trackMode == 3 || trackMode == 5) b = std::max(b + d.y(), t + 8);
                next = MakeRect(l, t, r, b);
            }
            // A rectangle that would leave the picture stays where it was.
            if (next.x() >= 0 && next.y() >= 0 && Right(next) <= W && Bottom(next) <= H) trackRect = next;
            const double zoom = Zoom();
            auto unzoom = [zoom](int v) { return static_cast<int>(v / zoom + 0.5); };
            trackImageRect = Empty(trackRect) ? QRect()
                                              : MakeRect(unzoom(trackRect.x()), unzoom(trackRect.y()),
                                                         unzoom(Right(trackRect)), unzoom(Bottom(trackRect)));
            if (Empty(trackRect)) trackRect = QRect();
            viewport()->update();
        } else if (hasTrack == 1) {
            cursor = ZoneCursor(TrackZone(trackRect, c));
            ShowCursor(cursor);
        }
    }
    if (stroke_ && dragging) {
        const QPoint q = ImagePoint(client);
        if (q != stroke_->points.back()) {
            stroke_->Add(q);
            doc_->NoteObjectChanged(stroke_);
        }
        return;
    }
    if (selectedObject) {
        const QPoint q = ImagePoint(client);
        if (dragging) {
            if (handleCode != 0) {
                DragObject(*selectedObject, handleCode, savedGeometry, pressImagePoint_, q);
                objectMoved_ = true;
                viewport()->update();
            }
        } else {
            const HandleHit hit = HandleAtPoint(*selectedObject, q);
            ShowCursor(hit.code != 0 ? HandleCursorShape(hit.cursor) : cursor);
        }
    }
}

void CTavrikView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) LeftUp(event->position().toPoint());
    event->accept();
}

void CTavrikView::LeftUp(QPoint client) {
    if (!doc_ || !dragging) return;
    // A rubber band under 4 zoomed pixels is gone before it can make an object.
    UpdateHasTrack();
    if (tool == kToolMove) {
        cursor = ViewCursor(kCursorHandOpen);
        ShowCursor(cursor);
    }
    if (objectMoved_ && selectedObject && tool == kToolSelect) {
        doc_->RecordObjects(dragBefore_);
        doc_->NoteObjectChanged(selectedObject);
    }
    dragBefore_.clear();
    objectMoved_ = false;
    if (stroke_) {
        const QPoint q = ImagePoint(client);
        if (q != stroke_->points.back()) stroke_->Add(q);
        doc_->NoteObjectChanged(stroke_);
        // The pen stays in the hand for the next stroke.
        stroke_ = nullptr;
        dragging = 0;
        return;
    }
    if (tool == kToolText) {
        CreateTextObject();
    } else if ((tool == kToolShape || tool == kToolHighlight || tool == kToolStamp || tool == kToolRedact) &&
               trackImageRect.width() >= 1 && trackImageRect.height() >= 1) {
        CreateRectObject(ObjectKindOfTool(tool));
    } else if (tool == kToolStamp && Empty(trackImageRect) && panel_ && panel_->StampImage()) {
        // A click places the stamp at its own size, its top-left corner at the click.
        const Image* stamp = panel_->StampImage();
        trackImageRect = QRect(pressImagePoint_, QSize(stamp->Width(), stamp->Height()));
        CreateRectObject(kStampObject);
    } else if ((tool == kToolLine || tool == kToolArrow) && selectedObject) {
        ObjectGeometry g = GetGeometry(*selectedObject);
        const QPoint q = ImagePoint(client);
        g.c = q.x();
        g.d = q.y();
        SetGeometry(*selectedObject, g);
        doc_->NoteObjectChanged(selectedObject);
        ReturnToSelectTool();
    }
    CopyToPanel();
    dragging = 0;
}

// The next number follows the highest on the picture; the first is the bar's start number.
void CTavrikView::PlaceCounter(QPoint at) {
    int next = 0;
    for (const auto& object : doc_->objects)
        if (auto* counter = dynamic_cast<const CounterObject*>(object.get()))
            next = std::max(next, counter->number + 1);
    auto counter = std::make_unique<CounterObject>();
    counter->number = next > 0 ? next : panel_->CounterStart();
    const int side = CounterSide(panel_->Width());
    counter->left = at.x() - side / 2;
    counter->top = at.y() - side / 2;
    counter->right = counter->left + side;
    counter->bottom = counter->top + side;
    PanelToObject(*panel_, *counter);
    doc_->AddObject(std::move(counter));
    viewport()->update();
}

void CTavrikView::CreateRectObject(int objectKind) {
    if (!panel_) return;
    std::unique_ptr<OverlayObject> object = CreateObject(objectKind, *panel_);
    if (!object) return;
    const QRect& r = trackImageRect;
    SetGeometry(*object, {r.x(), r.y(), Right(r), Bottom(r)});
    selectedObject = doc_->AddObject(std::move(object));
    viewport()->update();
    ReturnToSelectTool();
}

void CTavrikView::CreateTextObject() {
    if (trackImageRect.width() < 1 || trackImageRect.height() < 1) {
        // A click makes a box of 100 x 50 at the press, cut at the picture's edges.
        const QPoint P = pressPoint + pressScroll;
        const double zoom = Zoom();
        const int x = static_cast<int>(P.x() / zoom + 0.5), y = static_cast<int>(P.y() / zoom + 0.5);
        const QRect box = MakeRect(x, y, std::min(x + 100, imageWidth), std::min(y + 50, imageHeight));
        if (Empty(box)) return;
        trackImageRect = box;
        RecomputeTrackRect();
    }
    if (!panel_) return;
    std::unique_ptr<OverlayObject> object = CreateObject(kTextObject, *panel_);
    auto* text = dynamic_cast<TextObject*>(object.get());
    if (!text) return;
    const QRect& r = trackImageRect;
    SetGeometry(*text, {r.x(), r.y(), Right(r), Bottom(r)});
    text->text = QStringLiteral("Text");
    selectedObject = doc_->AddObject(std::move(object));
    viewport()->update();
    if (host_ && selectedObject) {
        if (host_->EditText(*text, true)) {
            doc_->NoteObjectChanged(text);
        } else {
            doc_->CancelNewObject(text);
            selectedObject = nullptr;
            trackRect = QRect();
            viewport()->update();
        }
    }
    ReturnToSelectTool();
}

void CTavrikView::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton || !doc_) return;
    UpdateHasTrack();
    if (tool == kToolCrop && hasTrack == 1 && !Empty(trackImageRect)) {
        Crop();
        return;
    }
    if (tool == kToolSelect && selectedObject &&
        (selectedObject->kind == kTextObject || selectedObject->kind == kCounterObject)) {
        OnCommand(view_cmd::kEditText);
        return;
    }
    // Otherwise the second click of a quick pair is a press like the first: two lines drawn quickly
    // from one point are two lines.
    LeftDown(event->position().toPoint());
}

void CTavrikView::Crop() {
    if (!doc_ || !doc_->CropTo(trackImageRect)) return;
    trackRect = trackImageRect = savedTrackRect = QRect();
    hasTrack = 0;
    trackMode = 0;
    cursor = Qt::CrossCursor;
    ShowCursor(cursor);
    viewport()->update();
}

// Keys.
void CTavrikView::keyPressEvent(QKeyEvent* event) {
    UpdateHasTrack();
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (tool == kToolCrop && hasTrack == 1 && trackImageRect.width() > 0 &&
                trackImageRect.height() > 0)
                Crop();
            break;
        case Qt::Key_Escape:
            trackRect = trackImageRect = QRect();
            hasTrack = 0;
            cursor = Qt::CrossCursor;
            ShowCursor(cursor);
            viewport()->update();
            break;
        case Qt::Key_Delete:
            if (selectedObject && doc_) doc_->DeleteObject(selectedObject, panel_ && panel_->Renumber());
            break;
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
            if (selectedObject && doc_) {
                // The selected object by one pixel, ten with Shift; the view does not scroll.
                const int step = (event->modifiers() & Qt::ShiftModifier) ? 10 : 1;
                const int dx = event->key() == Qt::Key_Left    ? -step
                               : event->key() == Qt::Key_Right ? step
                                                               : 0;
                const int dy = event->key() == Qt::Key_Up ? -step : event->key() == Qt::Key_Down ? step : 0;
                NudgeSelected(dx, dy);
                event->accept();
                return;
            }
            break;
        default:
            break;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void CTavrikView::NudgeSelected(int dx, int dy) {
    ObjectList before;
    DeepCopy(before, doc_->objects);
    ObjectGeometry g = GetGeometry(*selectedObject);
    g.a += dx;
    g.c += dx;
    g.b += dy;
    g.d += dy;
    SetGeometry(*selectedObject, g);
    doc_->RecordObjects(before);
    doc_->NoteObjectChanged(selectedObject);
    RecomputeTrackRect();
    viewport()->update();
}

// Shift + wheel: the size of the selected object or, with none, of the current tool: the width, or a
// redaction's block or blur radius.
bool CTavrikView::WheelToolSize(int notches) {
    if (!panel_ || notches == 0) return false;
    switch (selectedObject ? PanelKindOf(*selectedObject) : tool) {
        case kToolLine:
        case kToolArrow:
        case kToolShape:
        case kToolCounter:
        case kToolPen:
        case kToolMarker:
            panel_->SetWidth(std::clamp(panel_->Width() + notches, 1, 10));
            break;
        case kToolRedact:
            if (panel_->RedactMethod() == kRedactPixelate)
                panel_->SetRedactBlock(std::clamp(panel_->RedactBlock() + 2 * notches, 4, 64));
            else if (panel_->RedactMethod() == kRedactBlur)
                panel_->SetRedactRadius(std::clamp(panel_->RedactRadius() + 2 * notches, 2, 64));
            else
                return false;
            break;
        default:
            return false;
    }
    if (selectedObject) OnPanelChanged();
    return true;
}

void CTavrikView::wheelEvent(QWheelEvent* event) {
    if (event->modifiers() & Qt::ShiftModifier) {
        // Some platforms turn a wheel held with Shift sideways.
        const QPoint delta = event->angleDelta();
        wheelRest_ += delta.y() != 0 ? delta.y() : delta.x();
        const int notches = wheelRest_ / 120;
        wheelRest_ -= notches * 120;
        if (WheelToolSize(notches) || notches == 0) {
            event->accept();
            return;
        }
    }
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    // Ctrl + wheel: one zoom step per notch.
    wheelRest_ += event->angleDelta().y();
    while (wheelRest_ >= 120) {
        wheelRest_ -= 120;
        OnZoomIn();
    }
    while (wheelRest_ <= -120) {
        wheelRest_ += 120;
        OnZoomOut();
    }
    event->accept();
}

// The object's menu.
QMenu* CTavrikView::ContextMenu() {
    if (!selectedObject) return nullptr;
    if (!menu_) {
        menu_ = new QMenu(this);
        menu_->setAccessibleName(QStringLiteral("Object"));
        auto add = [this](QMenu* menu, const char* text, int id) {
            QAction* action = menu->addAction(QString::fromLatin1(text));
            action->setData(id);
            connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
            return action;
        };
        add(menu_, "Edit Text", view_cmd::kEditText);
        add(menu_, "Flatten", view_cmd::kFlatten);
        QMenu* layer = menu_->addMenu(QStringLiteral("Layer"));
        layer->setAccessibleName(QStringLiteral("Layer"));
        add(layer, "Bring to Front", view_cmd::kBringToFront);
        add(layer, "Send to Back", view_cmd::kSendToBack);
        menu_->addSeparator();
        add(menu_, "Delete", view_cmd::kDelete);
    }
    for (QAction* action : menu_->actions())
        if (action->data().toInt() == view_cmd::kEditText)
            action->setEnabled(selectedObject->kind == kTextObject || selectedObject->kind == kCounterObject);
    return menu_;
}

void CTavrikView::contextMenuEvent(QContextMenuEvent* event) {
    if (QMenu* menu = ContextMenu()) menu->popup(event->globalPos());
}

// Commands.
bool CTavrikView::OnCommand(int id) {
    using namespace view_cmd;
    if (IsImageCommand(id)) {
        if (doc_) RunImageCommand(*doc_, id, imageDialogs_, this);
        return true;
    }
    for (int i = 0; i < static_cast<int>(std::size(kToolCommands)); ++i) {
        if (kToolCommands[i] == id) {
            SelectTool(i);
            return true;
        }
    }
    switch (id) {
        case kZoomIn:
            OnZoomIn();
            return true;
        case kZoomOut:
            OnZoomOut();
            return true;
        case kZoomActual:
            OnZoomActual();
            return true;
        case kCopy:
            OnEditCopy();
            return true;
        case kCut:
            OnEditCut();
            return true;
        case kPaste:
            OnEditPaste();
            return true;
        case kPrint:
            OnFilePrint();
            return true;
        case kPrintPreview:
            OnFilePrintPreview();
            return true;
        case kDelete:
        case kDeleteTool:
            if (selectedObject && doc_) doc_->DeleteObject(selectedObject, panel_ && panel_->Renumber());
            return true;
        case kFlatten:
            if (doc_) doc_->Flatten();
            return true;
        case kBringToFront:
            if (selectedObject && doc_) doc_->BringToFront(selectedObject);
            return true;
        case kSendToBack:
            if (selectedObject && doc_) doc_->SendToBack(selectedObject);
            return true;
        case kEditText:
            if (auto* text = dynamic_cast<TextObject*>(selectedObject); text && host_ && doc_) {
                ObjectList before;
                DeepCopy(before, doc_->objects);
                const std::unique_ptr<OverlayObject> was = CloneObject(*text);
                if (host_->EditText(*text, false) && was && !SameObject(*was, *text)) {
                    doc_->RecordObjects(before);
                    doc_->NoteObjectChanged(text);
                }
            } else if (auto* counter = dynamic_cast<CounterObject*>(selectedObject);
                       counter && host_ && doc_) {
                int number = counter->number;
                if (host_->EditNumber(number) && number != counter->number) {
                    ObjectList before;
                    DeepCopy(before, doc_->objects);
                    counter->number = number;
                    doc_->RecordObjects(before);
                    doc_->NoteObjectChanged(counter);
                }
            }
            return true;
        default:
            return false;
    }
}

bool CTavrikView::CommandState(int id, bool* enabled, bool* checked) const {
    using namespace view_cmd;
    bool on = true, mark = false;
    bool known = true;
    if (IsImageCommand(id)) {
        // Always offered: without pixels a command has nothing to change and changes nothing.
        if (enabled) *enabled = true;
        if (checked) *checked = false;
        return true;
    }
    const int* found = std::find(std::begin(kToolCommands), std::end(kToolCommands), id);
    if (found != std::end(kToolCommands)) {
        mark = tool == static_cast<int>(found - std::begin(kToolCommands));
    } else {
        switch (id) {
            case kZoomIn:
                on = zoomIndex < 9;
                break;
            case kZoomOut:
                on = zoomIndex > 0;
                break;
            case kZoomActual:
                on = zoomIndex != 4;
                break;
            case kDeleteTool:
            case kDelete:
            case kBringToFront:
            case kSendToBack:
                on = selectedObject != nullptr;
                break;
            case kEditText:
                on = selectedObject && selectedObject->kind == kTextObject;
                break;
            case kCopy:
            case kCut:
            case kPaste:
            case kPrint:
            case kPrintPreview:
            case kFlatten:
                break;
            default:
                known = false;
        }
    }
    if (enabled) *enabled = on;
    if (checked) *checked = mark;
    return known;
}

// Clipboard. Only 24- and 32-bit pictures go out; the part is the tracking rectangle's, or all of it.
QRect CTavrikView::PutOnClipboard() {
    if (!doc_ || !doc_->image.IsValid()) return {};
    const Image& picture = doc_->image;
    if (picture.Depth() != 24 && picture.Depth() != 32) return {};
    const QRect part = Empty(trackImageRect)
                           ? QRect(0, 0, picture.Width(), picture.Height())
                           : trackImageRect & QRect(0, 0, picture.Width(), picture.Height());
    if (part.isEmpty()) return {};
    // Redactions cover the copy as well: what they hide must not leave through the clipboard.
    Image covered;
    const Image* source = &picture;
    ObjectList redactions;
    for (const auto& object : doc_->objects)
        if (object && object->kind == kRedactObject) redactions.push_back(CloneObject(*object));
    if (!redactions.empty()) {
        covered = picture;
        if (covered.IsValid() != picture.IsValid() || !RenderAll(redactions, covered)) return {};
        source = &covered;
    }
    const QImage out = OpaqueQImage(CropCopy(*source, part));
    if (out.isNull()) return {};
    QGuiApplication::clipboard()->setImage(out);
    return part;
}

void CTavrikView::OnEditCopy() {
    if (selectedObject) {
        selectedObject = nullptr;
        emit stateChanged();
    }
    viewport()->update();
    PutOnClipboard();
}

// The cut pixels become opaque white; it is one undo step.
void CTavrikView::OnEditCut() {
    PutOnClipboard();
    if (doc_ && !Empty(trackImageRect)) doc_->WhitenRect(trackImageRect);
}

// A picture another program offers, in at 32 bits, copied to the top-left corner. A larger one may
// grow the picture. One undo step.
void CTavrikView::OnEditPaste() {
    if (!doc_) return;
    const QImage offered = QGuiApplication::clipboard()->image();
    if (offered.isNull()) return;
    const Image pasted = FromQImage(offered);
    if (!pasted.IsValid()) {
        if (DocumentPrompts* prompts = doc_->Prompts())
            prompts->ShowMessage("The clipboard's picture is too large to paste.");
        return;
    }
    const Image& picture = doc_->image;
    const bool fits =
        picture.IsValid() && picture.Width() >= pasted.Width() && picture.Height() >= pasted.Height();
    DocumentPrompts::Answer answer = DocumentPrompts::Answer::kNo;
    if (!fits) {
        DocumentPrompts* prompts = doc_->Prompts();
        answer = prompts ? prompts->AskExpandForPaste() : DocumentPrompts::Answer::kCancel;
    }
    if (answer == DocumentPrompts::Answer::kCancel) return;
    const bool expand = answer == DocumentPrompts::Answer::kYes;
    if (doc_->PastePicture(pasted, expand) && expand) trackRect = QRect();
}

// Printing: the same drawing, one printer pixel per zoomed pixel.
void CTavrikView::PrintOn(QPainter& painter) {
    UpdateHasTrack();
    const QImage picture = ComposeWholeZoomed();
    if (!picture.isNull()) painter.drawImage(QPoint(kMargin, kMargin), picture);
    WriteStatus();
}

void CTavrikView::OnFilePrint() {
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) return;
    PrintTo(printer);
}

void CTavrikView::PrintTo(QPrinter& printer) {
    QPainter painter(&printer);
    if (painter.isActive()) PrintOn(painter);
}

void CTavrikView::OnFilePrintPreview() {
    QPrinter printer;
    QPrintPreviewDialog dialog(&printer, this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* target) { PrintTo(*target); });
    dialog.exec();
}

}  // namespace glimmora
