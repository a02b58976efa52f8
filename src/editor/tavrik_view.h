// The scrolling, zoomable view of one editor window and its editing tools.
#pragma once

#include <QAbstractScrollArea>
#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <memory>

#include "editor/document_host.h"
#include "editor/overlay_object.h"
#include "editor/overlay_render.h"
#include "editor/tool_panel.h"
#include "editor/view_canvas.h"
#include "image/image.h"

class QMenu;
class QPainter;
class QPrinter;

namespace glimmora {

class CTavrikDoc;
class ImageDialogs;
class ViewHost;

// Command identifiers the view answers.
namespace view_cmd {
inline constexpr int kSelect = 32809;
inline constexpr int kMove = 32836;
inline constexpr int kCrop = 32838;
inline constexpr int kText = 32812;
inline constexpr int kZoom = 32859;
inline constexpr int kLine = 32923;
inline constexpr int kArrow = 32945;
inline constexpr int kShape = 32943;
inline constexpr int kHighlight = 32946;
inline constexpr int kStamp = 32944;
inline constexpr int kRedact = 32960;
inline constexpr int kCounter = 32950;
inline constexpr int kPen = 32951;
inline constexpr int kMarker = 32952;
// By tool number.
inline constexpr int kToolCommands[14] = {kSelect, kMove,      kCrop,  kText,   kZoom,    kLine, kArrow,
                                          kShape,  kHighlight, kStamp, kRedact, kCounter, kPen,  kMarker};
inline constexpr int kZoomIn = 32830;
inline constexpr int kZoomOut = 32831;
inline constexpr int kZoomActual = 32832;
inline constexpr int kCopy = 57634;
inline constexpr int kCut = 57635;
inline constexpr int kPaste = 57637;
inline constexpr int kPrint = 57607;
inline constexpr int kPrintPreview = 57609;
inline constexpr int kDeleteTool = 32924;
inline constexpr int kBringToFront = 32934;
inline constexpr int kSendToBack = 32935;
inline constexpr int kDelete = 32938;
inline constexpr int kEditText = 32939;
inline constexpr int kFlatten = 32940;
}  // namespace view_cmd

// Cursor resources of the view.
enum ViewCursorId : int {
    kCursorMoveInside = 148,
    kCursorHandClosed = 192,
    kCursorHandOpen = 193,
    kCursorZoom = 208,
    kCursorSelect = 1037,
};
QCursor ViewCursor(int resource);

class CTavrikView : public QAbstractScrollArea, public DocumentView {
    Q_OBJECT

  public:
    static constexpr int kMargin = 5;
    static constexpr double kZoomTable[10] = {0.1, 0.25, 0.5, 0.75, 1.0, 1.5, 2.0, 4.0, 6.0, 8.0};
    static constexpr int kBackground = 0x949494;

    explicit CTavrikView(CTavrikDoc* doc, QWidget* parent = nullptr);
    ~CTavrikView() override;

    // Neither is owned; either may be null.
    void SetToolPanel(ToolPanel* panel) { panel_ = panel; }
    void SetHost(ViewHost* host);
    // The dialogs of the Image and Filter commands (ids 20000 to 20100), which the view runs on its
    // document; without them those commands do only what needs no dialog.
    void SetImageDialogs(ImageDialogs* dialogs) { imageDialogs_ = dialogs; }

    CTavrikDoc* Document() const { return doc_; }

    // Commands by number: whether the view handled it, and whether it is enabled and checked now.
    bool OnCommand(int id);
    bool CommandState(int id, bool* enabled, bool* checked) const;

    void SelectTool(int toolNumber);
    void OnZoomIn();
    void OnZoomOut();
    void OnZoomActual();
    void SetZoomIndex(int index);
    void OnEditCopy();
    void OnEditCut();
    void OnEditPaste();
    void OnFilePrint();
    void OnFilePrintPreview();
    // The printing both commands end in: the view's drawing, one printer pixel per zoomed pixel.
    void PrintTo(QPrinter& printer);
    void Crop();
    // The option bar changed a value: the selected object takes the panel's values (one undo step).
    void OnPanelChanged();
    // The view became the one the option bar serves: the bar shows the view's tool and its selected
    // object's style. Nothing flows back into the object.
    void ShowOnPanel();

    void ClearSelectionState() override;

    // The context menu for the selected object (null when none is selected); the view keeps it.
    QMenu* ContextMenu();

    // The visible part of the zoomed picture as it appears on screen: rect is in device pixels of
    // the zoomed image (0, 0 = the image's top-left corner), clipped to it.
    QImage ComposeZoomed(QRect rect);
    // The whole picture at the current zoom through a back buffer of the whole image: the plain way,
    // which every part must match.
    QImage ComposeWholeZoomed();

    // The state the tools work on.
    int tool = kToolMove;
    int zoomIndex = 4;
    QCursor cursor;
    int imageWidth = 0, imageHeight = 0;
    int dragging = 0;
    QPoint pressPoint;
    QPoint pressScroll;
    QRect trackRect;       // zoomed-image pixels, right and bottom exclusive
    QRect trackImageRect;  // image pixels
    QRect savedTrackRect;
    int trackMode = 0;
    int hasTrack = 0;
    Image dimmedImage;
    OverlayObject* selectedObject = nullptr;
    int handleCode = 0;
    ObjectGeometry savedGeometry;

    double Zoom() const;  // the factor in logical pixels (the table's value over the screen's scale)
    int ZoomedWidth() const;
    int ZoomedHeight() const;
    QPoint ScrollPosition() const;
    // A client position to image pixels.
    QPoint ImagePoint(QPoint client) const;

  signals:
    // The tool, zoom or selection changed (command states may differ now).
    void stateChanged();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    void OnUpdate();
    void SetScrollRange();
    void RecomputeTrackRect();
    void ShowCursor(const QCursor& c);
    QCursor ToolCursor(int toolNumber) const;
    void UpdateHasTrack();
    void WriteStatus();
    void LeftDown(QPoint client);
    void LeftUp(QPoint client);
    void MoveTo(QPoint client);
    void ReturnToSelectTool();
    void NudgeSelected(int dx, int dy);
    bool WheelToolSize(int notches);
    void CopyToPanel();
    void PressCropTool();
    void CreateRectObject(int objectKind);
    void PlaceCounter(QPoint at);
    void CreateTextObject();
    QRect TrackFromImageRect(const QRect& r) const;
    void PrintOn(QPainter& painter);
    QImage Compose(QRect rect, bool wholeBuffer);
    double DeviceScale() const;
    // The copy part of Copy and Cut; the part of the picture that went out (empty when nothing did).
    QRect PutOnClipboard();

    CTavrikDoc* doc_;
    ToolPanel* panel_ = nullptr;
    ViewHost* host_ = nullptr;
    ImageDialogs* imageDialogs_ = nullptr;
    QPoint pressImagePoint_;
    bool objectMoved_ = false;
    ObjectList dragBefore_;
    PenObject* stroke_ = nullptr;  // the pen or marker stroke being drawn
    int wheelRest_ = 0;
    QMenu* menu_ = nullptr;
    ViewCanvas canvas_;
};

}  // namespace glimmora
