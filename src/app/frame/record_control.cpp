#include "app/frame/record_control.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <cmath>

namespace glimmora {

namespace {
// Room between the recorded area and the window, so the area's edge stays clear of its shadow.
constexpr int kGap = 8;
}  // namespace

QString ElapsedText(double seconds) {
    const long long whole = seconds > 0 ? static_cast<long long>(std::floor(seconds)) : 0;
    const long long h = whole / 3600, m = whole / 60 % 60, s = whole % 60;
    if (h > 0) return QString("%1:%2:%3").arg(h).arg(m, 2, 10, QChar('0')).arg(s, 2, 10, QChar('0'));
    return QString("%1:%2").arg(m).arg(s, 2, 10, QChar('0'));
}

RecordControl::RecordControl(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("RecordControl");
    setWindowTitle("Glimmora recording");
    setAccessibleName("Glimmora recording");
    // Clicks go to the buttons; the window the user works in keeps the keyboard.
    setAttribute(Qt::WA_ShowWithoutActivating);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 4, 4, 4);
    time_ = new QLabel(this);
    time_->setObjectName("RecordTime");
    time_->setAccessibleDescription("Time recorded");
    // Wide enough for an hour's text, so the buttons do not move as the time grows.
    time_->setMinimumWidth(time_->fontMetrics().horizontalAdvance("Paused 00:00:00") + 4);
    pause_ = new QPushButton("&Pause", this);
    pause_->setObjectName("RecordPause");
    pause_->setAccessibleName("Pause recording");
    stop_ = new QPushButton("&Stop", this);
    stop_->setObjectName("RecordStop");
    stop_->setAccessibleName("Stop recording");
    for (QPushButton* b : {pause_, stop_}) b->setFocusPolicy(Qt::NoFocus);
    row->addWidget(time_);
    row->addWidget(pause_);
    row->addWidget(stop_);
    connect(pause_, &QPushButton::clicked, this, &RecordControl::pauseClicked);
    connect(stop_, &QPushButton::clicked, this, &RecordControl::stopClicked);
    setStyleSheet("#RecordControl { border: 1px solid palette(mid); }");
    ShowTime();
    adjustSize();
}

void RecordControl::SetElapsed(double seconds) {
    seconds_ = seconds;
    ShowTime();
}

void RecordControl::SetPaused(bool paused) {
    paused_ = paused;
    pause_->setText(paused ? "&Resume" : "&Pause");
    pause_->setAccessibleName(paused ? "Resume recording" : "Pause recording");
    ShowTime();
}

void RecordControl::SetFinishing() {
    pause_->setEnabled(false);
    stop_->setEnabled(false);
    time_->setText("Saving...");
}

void RecordControl::ShowTime() {
    time_->setText((paused_ ? "Paused " : "Recording ") + ElapsedText(seconds_));
}

void RecordControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && windowHandle() && windowHandle()->startSystemMove()) {
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

bool RecordControl::PlaceOutside(const QRect& area) {
    adjustSize();
    const QSize size = sizeHint().expandedTo(minimumSizeHint());
    resize(size);
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty()) return false;
    // The area is in device pixels; Qt places windows in its own units.
    const qreal ratio = screens.front()->devicePixelRatio();
    const QRect inUnits(QPoint(qRound(area.left() / ratio), qRound(area.top() / ratio)),
                        QSize(qRound(area.width() / ratio), qRound(area.height() / ratio)));
    const QRect clear = inUnits.adjusted(-kGap, -kGap, kGap, kGap);
    // Below the area first, then above, right, left: where a reader's eye looks for it.
    const QPoint tries[] = {
        {inUnits.right() - size.width() + 1, inUnits.bottom() + 1 + kGap},
        {inUnits.right() - size.width() + 1, inUnits.top() - kGap - size.height()},
        {inUnits.right() + 1 + kGap, inUnits.bottom() - size.height() + 1},
        {inUnits.left() - kGap - size.width(), inUnits.bottom() - size.height() + 1},
    };
    for (QScreen* screen : screens) {
        const QRect room = screen->availableGeometry();
        if (!room.intersects(inUnits)) continue;
        for (QPoint at : tries) {
            at.setX(qBound(room.left(), at.x(), room.right() - size.width() + 1));
            at.setY(qBound(room.top(), at.y(), room.bottom() - size.height() + 1));
            const QRect placed(at, size);
            if (room.contains(placed) && !placed.intersects(clear)) {
                move(at);
                return true;
            }
        }
    }
    // Another screen the area does not reach: its bottom-right corner.
    for (QScreen* screen : screens) {
        const QRect room = screen->availableGeometry();
        if (room.intersects(clear)) continue;
        move(room.bottomRight() - QPoint(size.width() + kGap, size.height() + kGap));
        return true;
    }
    const QRect room = screens.front()->availableGeometry();
    move(room.bottomRight() - QPoint(size.width() + kGap, size.height() + kGap));
    return false;
}

}  // namespace glimmora
