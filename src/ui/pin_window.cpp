#include "ui/pin_window.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QToolTip>
#include <QWheelEvent>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "editor/view_canvas.h"

namespace glimmora {

namespace {

constexpr double kMinZoom = 0.1, kMaxZoom = 8.0, kZoomStep = 1.25;
constexpr double kMinOpacity = 0.2, kOpacityStep = 0.1;

}  // namespace

CPinWindow::CPinWindow(Image picture, const QString& name, QScreen* screen)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      picture_(std::move(picture)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString("Pinned - %1").arg(name));
    setAccessibleName(windowTitle());
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::SizeAllCursor);
    if (screen) setScreen(screen);
    if (picture_.IsValid() && (picture_.Depth() == 32 || picture_.Depth() == 24)) {
        // A 4K picture is 33 MB; a second copy for Qt's sake would double every pin.
        shown_ = QImage(picture_.Bits(), picture_.Width(), picture_.Height(), picture_.Stride(),
                        picture_.Depth() == 32 ? QImage::Format_RGB32 : QImage::Format_BGR888);
        bottomUp_ = picture_.Height() > 1 && picture_.Row(0) != picture_.Bits();
    }
    menu_ = new QMenu(this);
    menu_->addAction("Copy", this, &CPinWindow::CopyToClipboard);
    menu_->addAction("Save As...", this, [this] { emit saveAsRequested(this); });
    menu_->addSeparator();
    menu_->addAction("Close", this, &QWidget::close);
    // A picture larger than the screen starts zoomed out to fit.
    double zoom = 1.0;
    if (const QScreen* on = this->screen(); on && !shown_.isNull()) {
        const QSize room = on->availableSize() * 0.9;
        zoom = std::min({1.0, static_cast<double>(room.width()) / shown_.width(),
                         static_cast<double>(room.height()) / shown_.height()});
    }
    SetZoom(zoom);
}

bool CPinWindow::SetZoom(double zoom) {
    if (shown_.isNull()) {
        setFixedSize(1, 1);
        return true;
    }
    // Never larger than the screen it is on: 8x of a 4K picture would be a window of gigabytes.
    double largest = kMaxZoom, smallest = kMinZoom;
    if (const QScreen* on = screen()) {
        const QSize room = on->availableSize();
        largest = std::min({kMaxZoom, static_cast<double>(room.width()) / shown_.width(),
                            static_cast<double>(room.height()) / shown_.height()});
        smallest = std::min(smallest, largest);
    }
    zoom_ = std::clamp(zoom, smallest, largest);
    const QSize size(std::max(1, static_cast<int>(std::floor(shown_.width() * zoom_))),
                     std::max(1, static_cast<int>(std::floor(shown_.height() * zoom_))));
    setFixedSize(size);
    update();
    return zoom <= largest;
}

void CPinWindow::Say(const QString& text) {
    QToolTip::showText(QCursor::pos(), text, this);
    emit note(text);
}

void CPinWindow::CopyToClipboard() {
    if (!shown_.isNull())
        QGuiApplication::clipboard()->setImage(bottomUp_ ? shown_.mirrored() : shown_.copy());
}

void CPinWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, zoom_ < 1.0);
    if (!shown_.isNull()) {
        painter.save();
        if (bottomUp_) {
            painter.translate(0, height());
            painter.scale(1, -1);
        }
        painter.drawImage(rect(), shown_);
        painter.restore();
    }
    // A thin frame tells the pin from the picture on the screen beneath it.
    painter.setPen(QColor(0x3d, 0x84, 0xf0));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void CPinWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        // A Wayland compositor ignores where a program puts its window: only it can move one.
        if (QGuiApplication::platformName().startsWith("wayland") && windowHandle() &&
            windowHandle()->startSystemMove()) {
            event->accept();
            return;
        }
        dragging_ = true;
        grip_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
    }
    event->accept();
}

void CPinWindow::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) move(event->globalPosition().toPoint() - grip_);
    event->accept();
}

void CPinWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dragging_ = false;
    event->accept();
}

void CPinWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) close();
}

void CPinWindow::wheelEvent(QWheelEvent* event) {
    // A notch is 120; touchpads send parts of one, which add up.
    wheelRest_ += event->angleDelta().y();
    const int notches = wheelRest_ / 120;
    wheelRest_ -= notches * 120;
    if (notches == 0) return;
    if (event->modifiers() & Qt::ControlModifier) {
        setWindowOpacity(std::clamp(windowOpacity() + notches * kOpacityStep, kMinOpacity, 1.0));
        // Kept for when a compositor starts, but nothing shows now: said rather than left to puzzle over.
        if (canFade_ && !canFade_())
            Say("This desktop shows no window see-through: it runs no compositing manager.");
        return;
    }
    // Zoomed about the pointer: the pixel under it stays under it.
    const QPointF at = event->position();
    const double before = zoom_;
    const bool asked = SetZoom(zoom_ * std::pow(kZoomStep, notches));
    const double ratio = zoom_ / before;
    QPoint to = pos() + (at - at * ratio).toPoint();
    // Grown about the pointer it may reach past an edge; it fits, so it is kept whole on the screen.
    if (const QScreen* on = screen()) {
        const QRect room = on->availableGeometry();
        to.setX(std::clamp(to.x(), room.left(), std::max(room.left(), room.right() + 1 - width())));
        to.setY(std::clamp(to.y(), room.top(), std::max(room.top(), room.bottom() + 1 - height())));
    }
    move(to);
    if (!asked && notches > 0)
        Say(QString("The pin is as large as the screen allows (zoom %1%).").arg(std::lround(zoom_ * 100)));
}

void CPinWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
    } else if (event->matches(QKeySequence::Copy)) {
        CopyToClipboard();
    } else {
        QWidget::keyPressEvent(event);
    }
}

void CPinWindow::contextMenuEvent(QContextMenuEvent* event) {
    menu_->popup(event->globalPos());
}

}  // namespace glimmora
