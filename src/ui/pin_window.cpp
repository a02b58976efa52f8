#include "ui/pin_window.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "editor/view_canvas.h"

namespace glimmora {

namespace {

constexpr double kMinZoom = 0.1, kMaxZoom = 8.0, kZoomStep = 1.25;
constexpr double kMinOpacity = 0.2, kOpacityStep = 0.1;

}  // namespace

CPinWindow::CPinWindow(const Image& picture, const QString& name)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), picture_(picture) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString("Pinned - %1").arg(name));
    setAccessibleName(windowTitle());
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::SizeAllCursor);
    shown_ = OpaqueQImage(picture_);
    menu_ = new QMenu(this);
    menu_->addAction("Copy", this, &CPinWindow::CopyToClipboard);
    menu_->addAction("Save As...", this, [this] { emit saveAsRequested(this); });
    menu_->addSeparator();
    menu_->addAction("Close", this, &QWidget::close);
    // A picture larger than the screen starts zoomed out to fit.
    double zoom = 1.0;
    if (const QScreen* screen = QGuiApplication::primaryScreen(); screen && !shown_.isNull()) {
        const QSize room = screen->availableSize() * 0.9;
        zoom = std::min({1.0, static_cast<double>(room.width()) / shown_.width(),
                         static_cast<double>(room.height()) / shown_.height()});
    }
    SetZoom(zoom);
}

void CPinWindow::SetZoom(double zoom) {
    zoom_ = std::clamp(zoom, kMinZoom, kMaxZoom);
    const QSize size(std::max(1, static_cast<int>(std::lround(shown_.width() * zoom_))),
                     std::max(1, static_cast<int>(std::lround(shown_.height() * zoom_))));
    setFixedSize(size);
    update();
}

void CPinWindow::CopyToClipboard() {
    if (!shown_.isNull()) QGuiApplication::clipboard()->setImage(shown_);
}

void CPinWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, zoom_ < 1.0);
    painter.drawImage(rect(), shown_);
    // A thin frame tells the pin from the picture on the screen beneath it.
    painter.setPen(QColor(0x3d, 0x84, 0xf0));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void CPinWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
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
        return;
    }
    // Zoomed about the pointer: the pixel under it stays under it.
    const QPointF at = event->position();
    const double before = zoom_;
    SetZoom(zoom_ * std::pow(kZoomStep, notches));
    const double ratio = zoom_ / before;
    move(pos() + (at - at * ratio).toPoint());
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
