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

CCapDialog::CCapDialog(Platform& platform, int mode)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint |
                           Qt::WindowStaysOnTopHint),
      platform_(platform),
      mode_(mode) {
    setWindowTitle("Glimmora capture");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
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
    const QRect panel = ComputeLayout().panel;
    std::vector<Hint> hints;
    auto add = [&](const QString& text, int top, int bottom, const QColor& colour, bool wrap) {
        hints.push_back(Hint{
            text, QRect(panel.left() + 15, panel.top() + top, panel.width() - 30, bottom - top),
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
    // The fixed rectangle follows the pointer: a click before the first movement must find it placed.
    Point at;
    if (mode_ == kFixRect && platform_.screen().PointerPosition(at)) MovePointer(at.x, at.y);
    setCursor(mode_ == kRegion ? QCursor(cursorShape_) : QCursor(Qt::ArrowCursor));
    // The window is sized in Qt's scaled units; it paints and reads the pointer in device pixels.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal dpr = screen ? screen->devicePixelRatio() : 1.0;
    setGeometry(0, 0, static_cast<int>(std::ceil(screenW_ / dpr)),
                static_cast<int>(std::ceil(screenH_ / dpr)));
    // A Wayland client cannot place a window or keep it above the others: full screen is how it
    // covers the output.
    if (QGuiApplication::platformName().startsWith("wayland"))
        showFullScreen();
    else
        show();
    // Converted while the display maps the window: nothing is painted before the events are processed, and
    // until then a Wayland window shows nothing and an X window (no background) leaves the screen as it is.
    ConvertForView(snapshot_, snapshotView_);
    raise();
    activateWindow();
    WaitUntilExposed();
    grabMouse();
    grabKeyboard();
    result_ = kIdCancel;
    closing_ = false;
    qCDebug(lcOverlay, "overlay shown, %d x %d, exposed: %s", screenW_, screenH_,
            windowHandle() && windowHandle()->isExposed() ? "yes" : "no");
    return true;
}

namespace {
// Ends its loop once the window is exposed; the first paint happens as the event is delivered.
class ExposeWatch : public QObject {
  public:
    ExposeWatch(QWindow* window, QEventLoop& loop) : window_(window), loop_(loop) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        // The window's state is set before its expose event is sent; the loop ends after the delivery.
        if (watched == window_ && event->type() == QEvent::Expose && window_->isExposed()) loop_.quit();
        return false;
    }

  private:
    QWindow* window_;
    QEventLoop& loop_;
};
}  // namespace

void CCapDialog::WaitUntilExposed() {
    QWindow* window = windowHandle();
    if (!window || window->isExposed()) return;
    QEventLoop loop;
    ExposeWatch watch(window, loop);
    window->installEventFilter(&watch);
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(5000);
    // Clicks and keys wait until the overlay is up and has grabbed them.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    window->removeEventFilter(&watch);
}

void CCapDialog::Close() {
    releaseKeyboard();
    releaseMouse();
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

Point CCapDialog::EventPoint(const QMouseEvent* event) const {
    // One device pixel per overlay pixel, whatever scaling Qt applies.
    const qreal dpr = devicePixelRatioF();
    const QPointF p = event->position() * dpr;
    return Point{static_cast<int>(p.x()), static_cast<int>(p.y())};
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
    const int panelH = PanelHeight();
    if (x <= kPanelW || y <= panelH) panelCorner_ = 1;
    if (screenW_ - x <= kPanelW || screenH_ - y <= panelH) panelCorner_ = 0;
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
    const qreal dpr = devicePixelRatioF();
    if (dpr == 1.0) {
        update(dirty);
    } else {
        update();
    }
}

int CCapDialog::PanelHeight() const {
    if (mode_ == kWindow) return kWindowPanelH;
    return kRegionPanelH + (extraHint_.isEmpty() ? 0 : kExtraHintH);
}

CCapDialog::Layout CCapDialog::ComputeLayout() const {
    Layout l;
    const int panelH = PanelHeight();
    l.panel = panelCorner_ == 0 ? QRect(0, 0, kPanelW, panelH)
                                : QRect(screenW_ - kPanelW, screenH_ - panelH, kPanelW, panelH);
    if (mode_ == kWindow) return l;
    l.magnifier = QRect(l.panel.left() + 15, l.panel.top() + 15, 160, 160);
    l.labelText = QString::asprintf("%dX%d", selection_.Width(), selection_.Height());
    const QFontMetrics fm{QFont()};
    const int tw = fm.horizontalAdvance(l.labelText), th = fm.height();
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
        region |= FrameRegion(ToQRect(windowRect_), 4);
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
    auto hints = [&] {
        p.setFont(HintFont());
        for (const Hint& h : Hints()) {
            p.setPen(h.colour);
            p.drawText(h.rect, h.flags, h.text);
        }
    };
    if (mode_ == kWindow) {
        const QRect r = ToQRect(windowRect_);
        if (r.width() > 0 && r.height() > 0) {
            // Red combined with what lies beneath (not-xor): red kept, green and blue inverted.
            p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
            for (const QRect& strip : FrameRegion(r, 4)) p.fillRect(strip, QColor(255, 0, 0));
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
        p.fillRect(panel, kPanelGrey);
        p.setPen(QColor(0, 0, 255));
        p.drawRect(panel.adjusted(0, 0, -1, -1));
        hints();
        return;
    }
    p.fillRect(panel, kPanelGrey);
    if (!magnifierView_.isNull()) p.drawImage(l.magnifier, magnifierView_);  // nearest pixel: no smoothing
    p.setPen(QColor(0, 255, 0));
    p.drawRect(l.magnifier.adjusted(0, 0, -1, -1));
    p.setPen(QColor(0, 0, 255));
    p.drawRect(panel.adjusted(0, 0, -1, -1));
    p.setFont(QFont());
    p.setBackgroundMode(Qt::OpaqueMode);
    p.setBackground(Qt::black);
    p.setPen(Qt::white);
    p.drawText(l.label, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, l.labelText);
    p.setBackgroundMode(Qt::TransparentMode);
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
    QPainter p(this);
    const qreal dpr = devicePixelRatioF();
    if (dpr != 1.0) p.scale(1.0 / dpr, 1.0 / dpr);
    const QRegion region = dpr == 1.0 ? event->region() : QRegion(0, 0, screenW_, screenH_);
    p.setClipRegion(region);
    for (const QRect& r : region) p.drawImage(r.topLeft(), snapshotView_, r);
    PaintDecorations(p);
}

void CCapDialog::mouseMoveEvent(QMouseEvent* event) {
    if (closing_) return;
    const Point p = EventPoint(event);
    MovePointer(p.x, p.y);
}

void CCapDialog::mousePressEvent(QMouseEvent* event) {
    if (closing_) return;
    const Point p = EventPoint(event);
    if (event->button() == Qt::RightButton) {
        End(kIdCancel);
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    if (mode_ == kRegion) {
        const QRegion before = DecorationRegion();
        anchor_ = p;
        selection_ = Rect{p.x, p.y, p.x, p.y};
        dragging_ = true;
        Changed(before);
    }
}

void CCapDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (closing_) {
        if (event->buttons() == Qt::NoButton && loop_) loop_->exit(result_);
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    const Point p = EventPoint(event);
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

void CCapDialog::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) End(kIdOk);
}

void CCapDialog::keyPressEvent(QKeyEvent* event) {
    Point p = pointer_;
    switch (event->key()) {
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
