#include "capture/cap_dialog.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <functional>

#include "capture/grab.h"

namespace glimmora {

namespace {
// QT_LOGGING_RULES="glimmora.overlay.debug=true" says when the overlay is up, for scripts that drive it.
Q_LOGGING_CATEGORY(lcOverlay, "glimmora.overlay", QtInfoMsg)

constexpr int kPanelW = 190;
constexpr int kRegionPanelH = 320;
constexpr int kExtraHintH = 75;  // four wrapped lines of the hint font
constexpr int kWindowPanelH = 130;
const QColor kPanelGrey(150, 150, 150);
const QColor kMouseYellow(255, 255, 123);

QRect ToQRect(const Rect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

// The device pixel a scaled position lies in. Positions reach us in logical units (Wayland's in 1/256ths):
// a pixel's own corner may come back a hair short of it, which must not count as the pixel before.
int DevicePixel(double v) {
    return static_cast<int>(std::floor(v + 0.02));
}

// A 1-pixel frame on the rectangle's edge (right and bottom exclusive) as a region.
QRegion FrameRegion(const QRect& r, int thickness = 1) {
    if (r.width() <= 0 || r.height() <= 0) return {};
    const QRect inner = r.adjusted(thickness, thickness, -thickness, -thickness);
    QRegion region(r);
    if (inner.width() > 0 && inner.height() > 0) region -= QRegion(inner);
    return region;
}

QFont BoldArial(int pixelSize) {
    QFont font("Arial");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(true);
    return font;
}

// The 24-bit picture as a 32-bit one for painting, into `view` (kept when it has the size already: a new
// screen-sized block costs more in page faults than the conversion itself).
void ConvertForView(const Image& image, QImage& view) {
    if (!image.IsValid() || image.Depth() != 24) {
        view = QImage();
        return;
    }
    if (view.size() != QSize(image.Width(), image.Height()) || view.format() != QImage::Format_RGB32)
        view = QImage(image.Width(), image.Height(), QImage::Format_RGB32);
    if (view.isNull()) return;
    for (int y = 0; y < image.Height(); ++y) {
        const uint8_t* s = image.Row(y);
        auto* d = reinterpret_cast<uint32_t*>(view.scanLine(y));
        for (int x = 0; x < image.Width(); ++x, s += 3) d[x] = 0xff000000u | s[2] << 16 | s[1] << 8 | s[0];
    }
}
}  // namespace

namespace {
// Every window of the overlay paints all of its pixels itself and follows the pointer.
void SetUpOverlayWindow(QWidget& w) {
    w.setWindowTitle("Glimmora capture");
    w.setAttribute(Qt::WA_OpaquePaintEvent);
    w.setAttribute(Qt::WA_NoSystemBackground);
    w.setMouseTracking(true);
    w.setFocusPolicy(Qt::StrongFocus);
}
}  // namespace

// A window of the overlay on one more output of a Wayland desktop: it shows that output's part of the
// frozen picture and hands its pointer and keys to the dialog, which keeps the one state.
class CCapDialog::Pane : public QWidget {
  public:
    Pane(CCapDialog& dialog, int monitor)
        : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
          dialog_(dialog),
          monitor_(monitor) {
        SetUpOverlayWindow(*this);
    }
    int monitor() const { return monitor_; }

  protected:
    void paintEvent(QPaintEvent* event) override { dialog_.PaintPane(*this, monitor_, event->rect()); }
    void mouseMoveEvent(QMouseEvent* event) override { dialog_.OnMove(dialog_.PanePoint(monitor_, event)); }
    void mousePressEvent(QMouseEvent* event) override {
        dialog_.OnPress(dialog_.PanePoint(monitor_, event), event->button());
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        dialog_.OnRelease(dialog_.PanePoint(monitor_, event), event->button(), event->buttons());
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override { dialog_.OnDoubleClick(event->button()); }
    void keyPressEvent(QKeyEvent* event) override { dialog_.OnKey(event->key()); }

  private:
    CCapDialog& dialog_;
    int monitor_;
};

CCapDialog::CCapDialog(Platform& platform, int mode)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint |
                           Qt::WindowStaysOnTopHint),
      platform_(platform),
      mode_(mode) {
    SetUpOverlayWindow(*this);
}

CCapDialog::~CCapDialog() = default;

QFont CCapDialog::HintFont() {
    // The hint font's height 14 is a cell height (ascent plus descent), not an em size: take the largest
    // pixel size whose lines are no taller.
    static const int pixelSize = [] {
        for (int size = 14; size > 6; --size)
            if (QFontMetrics(BoldArial(size)).height() <= 14) return size;
        return 6;
    }();
    return BoldArial(pixelSize);
}

void CCapDialog::Prepare() {
    winId();
    const Size size = platform_.screen().ScreenSize();
    if (size.width <= 0 || size.height <= 0) return;
    snapshotView_ = QImage(size.width, size.height, QImage::Format_RGB32);
    snapshotView_.fill(Qt::black);  // the pages are touched now rather than during the next capture
}

void CCapDialog::WarmUp() {
    QImage scratch(64, 16, QImage::Format_RGB32);
    QPainter p(&scratch);
    p.setFont(HintFont());
    p.drawText(QRect(0, 0, 64, 16), Qt::AlignLeft, "Mouse: x = 0; y = 0 - Click Release [Esc]");
}

std::vector<CCapDialog::Hint> CCapDialog::Hints() const {
    std::vector<Hint> hints;
    auto add = [&](const QString& text, int top, int bottom, const QColor& colour, bool wrap) {
        hints.push_back(Hint{
            text, QRect(15, top, kPanelW - 30, bottom - top),
            static_cast<int>(Qt::AlignLeft | Qt::AlignTop) | (wrap ? Qt::TextWordWrap : Qt::TextSingleLine),
            colour});
    };
    const QString mouse = QString::asprintf("Mouse: x = %d; y = %d", pointer_.x, pointer_.y);
    if (mode_ == kWindow) {
        add("- Left click to capture", 30, 45, Qt::white, false);
        add("- Right click or press [Esc] to cancel", 50, 80, Qt::white, true);
        add(mouse, 85, 100, kMouseYellow, true);
    } else {
        add("- Click and hold the left mouse button as you drag to select a region.", 185, 230, Qt::white,
            true);
        add("- Release the button to capture.", 230, 260, Qt::white, true);
        add("- Right click or press [Esc] to cancel.", 260, 290, Qt::white, true);
        add(mouse, 290, 305, kMouseYellow, true);
        if (!extraHint_.isEmpty()) add(extraHint_, 310, 310 + kExtraHintH - 10, kMouseYellow, true);
    }
    return hints;
}

namespace {
// The Qt screen showing a monitor: by name, else by where it lies.
QScreen* ScreenFor(const Monitor& m) {
    for (QScreen* screen : QGuiApplication::screens())
        if (!m.name.empty() && screen->name() == QString::fromStdString(m.name)) return screen;
    for (QScreen* screen : QGuiApplication::screens())
        if (screen->geometry().topLeft() == QPoint(m.logical.left, m.logical.top)) return screen;
    return nullptr;
}
}  // namespace

bool CCapDialog::Open() {
    const Size size = platform_.screen().ScreenSize();
    screenW_ = size.width;
    screenH_ = size.height;
    // The snapshot is taken before the window shows, so it holds what the user saw.
    grabFailed_ = false;
    if (!platform_.screen().Grab(Rect{0, 0, screenW_, screenH_}, snapshot_)) {
        grabFailed_ = true;
        return false;
    }
    if (includeCursor_) platform_.screen().DrawCursor(snapshot_, Point{0, 0});
    layout_ = platform_.screen().Layout();
    // A Wayland client cannot place a window or keep it above the others: a full-screen window on each
    // output is how it covers them. An X window covers the whole root.
    const bool wayland = QGuiApplication::platformName().startsWith("wayland");
    panes_.clear();
    ownMonitor_ = wayland && !layout_.monitors.empty() ? 0 : -1;
    const QScreen* primary = QGuiApplication::primaryScreen();
    // Drawn at the desktop's scale, so the instructions are as large and as sharp as its other text.
    decorationScale_ = wayland ? layout_.scale : (primary ? primary->devicePixelRatio() : 1.0);
    if (decorationScale_ < 1) decorationScale_ = 1;
    // The fixed rectangle follows the pointer: a click before the first movement must find it placed.
    Point at;
    if (mode_ == kFixRect && platform_.screen().PointerPosition(at)) MovePointer(at.x, at.y);
    const QCursor cursor = mode_ == kRegion ? QCursor(cursorShape_) : QCursor(Qt::ArrowCursor);
    setCursor(cursor);
    if (ownMonitor_ < 0) {
        // The window is sized in Qt's scaled units; it paints and reads the pointer in device pixels.
        const qreal dpr = primary ? primary->devicePixelRatio() : 1.0;
        setGeometry(0, 0, static_cast<int>(std::ceil(screenW_ / dpr)),
                    static_cast<int>(std::ceil(screenH_ / dpr)));
        // Before the window maps: an X window is on the screen at once, and keys typed before it has the
        // keyboard would go elsewhere.
        ConvertForView(snapshot_, snapshotView_);
        show();
    } else {
        for (size_t i = 1; i < layout_.monitors.size(); ++i) {
            QScreen* screen = ScreenFor(layout_.monitors[i]);
            if (!screen) continue;
            auto pane = std::make_unique<Pane>(*this, static_cast<int>(i));
            pane->setCursor(cursor);
            pane->setScreen(screen);
            pane->setGeometry(screen->geometry());
            panes_.push_back(std::move(pane));
        }
        if (QScreen* screen = ScreenFor(layout_.monitors[0])) {
            setScreen(screen);
            setGeometry(screen->geometry());
        }
        for (const auto& pane : panes_) pane->showFullScreen();
        showFullScreen();
    }
    // A Wayland window shows nothing until its first frame: the picture is converted while the compositor
    // maps it.
    if (ownMonitor_ >= 0) ConvertForView(snapshot_, snapshotView_);
    raise();
    activateWindow();
    WaitUntilExposed();
    grabMouse();
    grabKeyboard();
    result_ = kIdCancel;
    closing_ = false;
    qCDebug(lcOverlay, "overlay shown, %d x %d, %zu windows, exposed: %s", screenW_, screenH_,
            panes_.size() + 1, windowHandle() && windowHandle()->isExposed() ? "yes" : "no");
    return true;
}

namespace {
// Ends its loop once every window is exposed; the first paint happens as the last event is delivered.
class ExposeWatch : public QObject {
  public:
    ExposeWatch(std::vector<QWindow*> windows, QEventLoop& loop)
        : windows_(std::move(windows)), loop_(loop) {}
    bool AllExposed() const {
        return std::all_of(windows_.begin(), windows_.end(), [](QWindow* w) { return w->isExposed(); });
    }
    bool eventFilter(QObject*, QEvent* event) override {
        // A window's state is set before its expose event is sent; the loop ends after the delivery.
        if (event->type() == QEvent::Expose && AllExposed()) loop_.quit();
        return false;
    }

  private:
    std::vector<QWindow*> windows_;
    QEventLoop& loop_;
};
}  // namespace

void CCapDialog::WaitUntilExposed() {
    std::vector<QWindow*> windows;
    for (QWidget* w : Windows())
        if (QWindow* handle = w->windowHandle()) windows.push_back(handle);
    QEventLoop loop;
    ExposeWatch watch(windows, loop);
    if (watch.AllExposed()) return;
    for (QWindow* w : windows) w->installEventFilter(&watch);
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(5000);
    // Clicks and keys wait until the overlay is up and has grabbed them.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    for (QWindow* w : windows) w->removeEventFilter(&watch);
}

std::vector<QWidget*> CCapDialog::Windows() {
    std::vector<QWidget*> windows{this};
    for (const auto& pane : panes_) windows.push_back(pane.get());
    return windows;
}

void CCapDialog::Close() {
    releaseKeyboard();
    releaseMouse();
    for (const auto& pane : panes_) pane->hide();
    hide();
    // Let the display take the overlay away before anything grabs the live screen again.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    platform_.input().Sync();
}

int CCapDialog::exec() {
    if (!Open()) return kIdCancel;
    QEventLoop loop;
    loop_ = &loop;
    loop.exec(QEventLoop::DialogExec);
    loop_ = nullptr;
    Close();
    return result_;
}

void CCapDialog::End(int result) {
    if (closing_) return;
    result_ = result;
    // Closing while a button is held would send its release to some other window, and Qt would go on
    // believing the button down: the next overlay would then see no pointer movement. The overlay stays
    // until the buttons are up and takes the release itself.
    if (QGuiApplication::mouseButtons() != Qt::NoButton) {
        closing_ = true;
        return;
    }
    if (loop_) loop_->exit(result);
}

Point CCapDialog::PanePoint(int monitor, const QMouseEvent* event) const {
    // The desktop's coordinates are logical; the picture has the layout's scale. A drag held beyond the
    // window's output still reports to it, in the same coordinates.
    const Rect place = layout_.PlaceOf(static_cast<size_t>(monitor));
    const QPointF p = event->position() * layout_.scale;
    return Point{place.left + DevicePixel(p.x()), place.top + DevicePixel(p.y())};
}

Point CCapDialog::EventPoint(const QMouseEvent* event) const {
    if (ownMonitor_ >= 0) return PanePoint(ownMonitor_, event);
    // One device pixel per overlay pixel, whatever scaling Qt applies.
    const qreal dpr = devicePixelRatioF();
    const QPointF scaled = event->position() * dpr;
    Point p{DevicePixel(scaled.x()), DevicePixel(scaled.y())};
    // Scaled, Qt hands out whole logical pixels: the display's own pointer position says which of the
    // device pixels they cover is meant.
    Point at;
    const int slack = static_cast<int>(std::ceil(dpr));
    if (dpr != 1.0 && platform_.screen().PointerPosition(at) && std::abs(at.x - p.x) <= slack &&
        std::abs(at.y - p.y) <= slack)
        p = at;
    return p;
}

WindowId CCapDialog::WindowUnder(int x, int y) const {
    if (!grid_ || x < 0 || y < 0) return 0;
    const size_t columns = static_cast<size_t>(screenW_ / 3);
    const size_t index = static_cast<size_t>(y / 3) * columns + static_cast<size_t>(x / 3);
    return index < grid_->size() && static_cast<size_t>(x / 3) < columns ? (*grid_)[index] : 0;
}

void CCapDialog::MovePointer(int x, int y) {
    const QRegion before = DecorationRegion();
    pointer_ = Point{x, y};
    const QRect mon = MonitorUnderPointer();
    const QSize panel = PanelSize();
    if (x - mon.left() <= panel.width() || y - mon.top() <= panel.height()) panelCorner_ = 1;
    if (mon.right() + 1 - x <= panel.width() || mon.bottom() + 1 - y <= panel.height()) panelCorner_ = 0;
    if (mode_ == kWindow) {
        const WindowId under = WindowUnder(x, y);
        Rect rect;
        if (!under || !platform_.windows().WindowRect(under, rect)) rect = Rect{};
        windowRect_ = rect;
    } else {
        if (GrabRect(magnifier_, snapshot_, Rect{x - 15, y - 15, x + 16, y + 16})) {
            // The crosshair is applied once here, so every paint shows the same picture.
            for (int i = 0; i < 31; ++i) {
                if (i == 15) continue;
                for (uint8_t* p : {magnifier_.PixelAddress(i, 15), magnifier_.PixelAddress(15, i)})
                    for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(~p[c]);
            }
            ConvertForView(magnifier_, magnifierView_);
        }
        if (mode_ == kRegion && dragging_) {
            lastPoint_ = pointer_;
            selection_ = Rect{std::min(anchor_.x, x), std::min(anchor_.y, y), std::max(anchor_.x, x),
                              std::max(anchor_.y, y)};
        }
        if (mode_ == kFixRect) {
            Rect r{x - fixedW_ / 2, y - fixedH_ / 2, x + fixedW_ / 2, y + fixedH_ / 2};
            r.left = std::max(r.left, 0);
            r.top = std::max(r.top, 0);
            r.right = std::min(r.right, screenW_);
            r.bottom = std::min(r.bottom, screenH_);
            fixedRect_ = r;
        }
    }
    Changed(before);
}

void CCapDialog::Changed(const QRegion& before) {
    if (!isVisible()) return;
    // Only what the decorations covered before or cover now needs painting again.
    const QRegion dirty = before | DecorationRegion();
    if (ownMonitor_ < 0) {
        if (devicePixelRatioF() == 1.0)
            update(dirty);
        else
            update();
        return;
    }
    for (QWidget* w : Windows()) {
        const int monitor = w == this ? ownMonitor_ : static_cast<Pane*>(w)->monitor();
        const QRect place = ToQRect(layout_.PlaceOf(static_cast<size_t>(monitor)));
        for (const QRect& r : QRegion(dirty & place)) {
            const QRectF local((r.left() - place.left()) / layout_.scale,
                               (r.top() - place.top()) / layout_.scale, r.width() / layout_.scale,
                               r.height() / layout_.scale);
            w->update(local.toAlignedRect().adjusted(-1, -1, 1, 1));
        }
    }
}

QRect CCapDialog::MonitorUnderPointer() const {
    const int m = layout_.MonitorAt(pointer_);
    if (m < 0) return QRect(0, 0, screenW_, screenH_);
    return ToQRect(layout_.PlaceOf(static_cast<size_t>(m))) & QRect(0, 0, screenW_, screenH_);
}

QSize CCapDialog::PanelSize() const {
    return QSize(static_cast<int>(std::lround(kPanelW * decorationScale_)),
                 static_cast<int>(std::lround(PanelHeight() * decorationScale_)));
}

QRect CCapDialog::InPanel(const QRect& panel, const QRect& local) const {
    const double k = decorationScale_;
    return QRect(panel.left() + static_cast<int>(std::lround(local.left() * k)),
                 panel.top() + static_cast<int>(std::lround(local.top() * k)),
                 static_cast<int>(std::lround(local.width() * k)),
                 static_cast<int>(std::lround(local.height() * k)));
}

int CCapDialog::PanelHeight() const {
    if (mode_ == kWindow) return kWindowPanelH;
    return kRegionPanelH + (extraHint_.isEmpty() ? 0 : kExtraHintH);
}

CCapDialog::Layout CCapDialog::ComputeLayout() const {
    Layout l;
    const QRect mon = MonitorUnderPointer();
    const QSize panel = PanelSize();
    l.panel = panelCorner_ == 0 ? QRect(mon.topLeft(), panel)
                                : QRect(mon.right() + 1 - panel.width(), mon.bottom() + 1 - panel.height(),
                                        panel.width(), panel.height());
    if (mode_ == kWindow) return l;
    l.magnifier = InPanel(l.panel, QRect(15, 15, 160, 160));
    l.labelText = QString::asprintf("%dX%d", selection_.Width(), selection_.Height());
    const QFontMetrics fm{QFont()};
    const int tw = static_cast<int>(std::ceil(fm.horizontalAdvance(l.labelText) * decorationScale_));
    const int th = static_cast<int>(std::ceil(fm.height() * decorationScale_));
    int lx = selection_.left + (selection_.Width() - tw) / 2;
    int ly = selection_.top + (selection_.Height() - th) / 2;
    if (lx < selection_.left || ly < selection_.top) {
        lx = selection_.left - tw;
        ly = selection_.top - th;
    }
    l.label = QRect(lx, ly, tw, th);
    if (mode_ == kFixRect)
        l.focus = QRect(pointer_.x - fixedW_ / 2, pointer_.y - fixedH_ / 2, fixedW_ / 2 * 2, fixedH_ / 2 * 2);
    return l;
}

QRegion CCapDialog::DecorationRegion() const {
    const Layout l = ComputeLayout();
    QRegion region(l.panel);
    if (mode_ == kWindow) {
        region |= FrameRegion(ToQRect(windowRect_), WindowFrameWidth());
    } else {
        region |= l.label;
        region |= FrameRegion(ToQRect(selection_));
        if (mode_ == kFixRect) region |= FrameRegion(l.focus);
    }
    return region & QRect(0, 0, screenW_, screenH_);
}

void CCapDialog::PaintDecorations(QPainter& p) const {
    const Layout l = ComputeLayout();
    const QRect& panel = l.panel;
    // The panel's lines and words in its own units, scaled to the desktop's.
    auto inPanel = [&](const std::function<void()>& draw) {
        p.save();
        p.translate(panel.topLeft());
        p.scale(decorationScale_, decorationScale_);
        draw();
        p.restore();
    };
    // Edges as thick as the scale, on whole pixels.
    const int edge = std::max(1, static_cast<int>(std::lround(decorationScale_)));
    auto outline = [&](const QRect& r, const QColor& colour) {
        for (const QRect& strip : FrameRegion(r, edge)) p.fillRect(strip, colour);
    };
    auto hints = [&] {
        inPanel([&] {
            p.setFont(HintFont());
            for (const Hint& h : Hints()) {
                p.setPen(h.colour);
                p.drawText(h.rect, h.flags, h.text);
            }
        });
    };
    if (mode_ == kWindow) {
        const QRect r = ToQRect(windowRect_);
        if (r.width() > 0 && r.height() > 0) {
            // Red combined with what lies beneath (not-xor): red kept, green and blue inverted.
            p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
            for (const QRect& strip : FrameRegion(r, WindowFrameWidth()))
                p.fillRect(strip, QColor(255, 0, 0));
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
        p.fillRect(panel, kPanelGrey);
        outline(panel, QColor(0, 0, 255));
        hints();
        return;
    }
    p.fillRect(panel, kPanelGrey);
    if (!magnifierView_.isNull()) p.drawImage(l.magnifier, magnifierView_);  // nearest pixel: no smoothing
    outline(l.magnifier, QColor(0, 255, 0));
    outline(panel, QColor(0, 0, 255));
    p.save();
    p.translate(l.label.topLeft());
    p.scale(decorationScale_, decorationScale_);
    p.setFont(QFont());
    p.setBackgroundMode(Qt::OpaqueMode);
    p.setBackground(Qt::black);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, 1000, 1000), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, l.labelText);
    p.restore();
    hints();
    const QRect sel = ToQRect(selection_);
    if (sel.width() > 0 && sel.height() > 0) {
        p.setPen(Qt::black);
        p.drawRect(sel.adjusted(0, 0, -1, -1));
    }
    if (mode_ == kFixRect && l.focus.width() > 0 && l.focus.height() > 0) {
        // The dotted inverting frame: every other pixel of the edge inverted.
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        QPen dotted(Qt::white, 1);
        dotted.setCosmetic(true);
        dotted.setDashPattern({1, 1});
        p.setPen(dotted);
        p.drawRect(l.focus.adjusted(0, 0, -1, -1));
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
}

QImage CCapDialog::Compose() const {
    QImage out = snapshotView_.copy();
    QPainter p(&out);
    PaintDecorations(p);
    return out;
}

void CCapDialog::paintEvent(QPaintEvent* event) {
    if (ownMonitor_ >= 0) {
        PaintPane(*this, ownMonitor_, event->rect());
        return;
    }
    QPainter p(this);
    const qreal dpr = devicePixelRatioF();
    if (dpr != 1.0) p.scale(1.0 / dpr, 1.0 / dpr);
    const QRegion region = dpr == 1.0 ? event->region() : QRegion(0, 0, screenW_, screenH_);
    p.setClipRegion(region);
    for (const QRect& r : region) p.drawImage(r.topLeft(), snapshotView_, r);
    PaintDecorations(p);
}

void CCapDialog::PaintPane(QWidget& window, int monitor, const QRect& dirty) const {
    QPainter p(&window);
    p.setClipRect(dirty);
    const double s = layout_.scale;
    const QRect place = ToQRect(layout_.PlaceOf(static_cast<size_t>(monitor)));
    // An output below the picture's scale shows it reduced: smoothly, or thin lines and text break up.
    if (std::abs(window.devicePixelRatioF() - s) > 1e-9) p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.scale(1 / s, 1 / s);
    p.translate(-place.topLeft());
    const QRect area = QRectF(place.left() + dirty.left() * s, place.top() + dirty.top() * s,
                              dirty.width() * s, dirty.height() * s)
                           .toAlignedRect() &
                       place;
    p.drawImage(area.topLeft(), snapshotView_, area);
    PaintDecorations(p);
}

int CCapDialog::WindowFrameWidth() const {
    return std::max(4, static_cast<int>(std::lround(4 * decorationScale_)));
}

void CCapDialog::mouseMoveEvent(QMouseEvent* event) {
    OnMove(EventPoint(event));
}

void CCapDialog::mousePressEvent(QMouseEvent* event) {
    OnPress(EventPoint(event), event->button());
}

void CCapDialog::mouseReleaseEvent(QMouseEvent* event) {
    OnRelease(EventPoint(event), event->button(), event->buttons());
}

void CCapDialog::mouseDoubleClickEvent(QMouseEvent* event) {
    OnDoubleClick(event->button());
}

void CCapDialog::keyPressEvent(QKeyEvent* event) {
    OnKey(event->key());
}

void CCapDialog::OnMove(Point p) {
    if (closing_) return;
    MovePointer(p.x, p.y);
}

void CCapDialog::OnPress(Point p, Qt::MouseButton button) {
    qCDebug(lcOverlay, "button %d down at %d, %d", static_cast<int>(button), p.x, p.y);
    if (closing_) return;
    if (button == Qt::RightButton) {
        End(kIdCancel);
        return;
    }
    if (button != Qt::LeftButton) return;
    if (mode_ == kRegion) {
        const QRegion before = DecorationRegion();
        anchor_ = p;
        selection_ = Rect{p.x, p.y, p.x, p.y};
        dragging_ = true;
        Changed(before);
    }
}

void CCapDialog::OnRelease(Point p, Qt::MouseButton button, Qt::MouseButtons held) {
    qCDebug(lcOverlay, "button %d up at %d, %d", static_cast<int>(button), p.x, p.y);
    if (closing_) {
        if (held == Qt::NoButton && loop_) loop_->exit(result_);
        return;
    }
    if (button != Qt::LeftButton) return;
    click_ = p;
    if (mode_ == kRegion) {
        dragging_ = false;
        lastPoint_ = p;
    } else if (mode_ == kWindow) {
        chosen_ = WindowUnder(p.x, p.y);
        Rect rect;
        if (!chosen_ || !platform_.windows().WindowRect(chosen_, rect)) rect = Rect{};
        windowRect_ = rect;
    }
    End(kIdOk);
}

void CCapDialog::OnDoubleClick(Qt::MouseButton button) {
    if (button == Qt::LeftButton) End(kIdOk);
}

void CCapDialog::OnKey(int key) {
    Point p = pointer_;
    switch (key) {
        case Qt::Key_Up:
            --p.y;
            break;
        case Qt::Key_Down:
            ++p.y;
            break;
        case Qt::Key_Left:
            --p.x;
            break;
        case Qt::Key_Right:
            ++p.x;
            break;
        case Qt::Key_Escape:
            End(kIdCancel);
            return;
        default:
            return;  // Enter and Space do not confirm
    }
    // The move comes back as an ordinary pointer movement.
    platform_.input().WarpPointer(p);
    platform_.input().Sync();
}

}  // namespace glimmora
