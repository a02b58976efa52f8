// The view's own cursors, drawn here so they need no files: the select arrow, the open and closed
// hand of the move tool, the magnifier of the zoom tool and the four-way arrow over a tracking
// rectangle.
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <map>

#include "editor/tavrik_view.h"

namespace glimmora {

namespace {

constexpr int kSize = 32;

QPixmap Canvas() {
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void Outline(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(Qt::black, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
}

QCursor SelectArrow() {
    QPixmap pm = Canvas();
    QPainter p(&pm);
    Outline(p);
    const QPointF arrow[] = {{1, 1}, {1, 17}, {5, 13}, {8, 20}, {11, 19}, {8, 12}, {13, 12}};
    p.drawPolygon(arrow, 7);
    // A small frame beside the arrow: this pointer picks objects.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::black, 1, Qt::DotLine));
    p.drawRect(QRectF(15.5, 15.5, 10, 8));
    p.end();
    return QCursor(pm, 1, 1);
}

QCursor Hand(bool closed) {
    QPixmap pm = Canvas();
    QPainter p(&pm);
    Outline(p);
    QPainterPath hand;
    hand.addRoundedRect(QRectF(8, 14, 15, 12), 4, 4);
    const int fingerLength = closed ? 4 : 10;
    for (int i = 0; i < 4; ++i)
        hand.addRoundedRect(QRectF(8.5 + i * 3.7, 14 - fingerLength, 3.6, fingerLength + 4), 1.8, 1.8);
    if (!closed) hand.addRoundedRect(QRectF(3, 15, 8, 3.6), 1.8, 1.8);  // thumb
    p.drawPath(hand.simplified());
    p.end();
    return QCursor(pm, 15, 16);
}

QCursor Magnifier() {
    QPixmap pm = Canvas();
    QPainter p(&pm);
    Outline(p);
    p.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(17, 17), QPointF(27, 27));
    p.setPen(QPen(Qt::black, 1.5));
    p.drawEllipse(QPointF(11, 11), 8, 8);
    p.drawLine(QPointF(7, 11), QPointF(15, 11));
    p.drawLine(QPointF(11, 7), QPointF(11, 15));
    p.end();
    return QCursor(pm, 11, 11);
}

QCursor FourWay() {
    QPixmap pm = Canvas();
    QPainter p(&pm);
    Outline(p);
    QPainterPath path;
    const QPointF c(15.5, 15.5);
    for (int turn = 0; turn < 4; ++turn) {
        QTransform t;
        t.translate(c.x(), c.y());
        t.rotate(90 * turn);
        const QPolygonF arrow =
            t.map(QPolygonF({{-1.5, 0}, {-1.5, -9}, {-4.5, -9}, {0, -14}, {4.5, -9}, {1.5, -9}, {1.5, 0}}));
        path.addPolygon(arrow);
        path.closeSubpath();
    }
    p.drawPath(path.simplified());
    p.end();
    return QCursor(pm, 15, 15);
}

}  // namespace

QCursor ViewCursor(int resource) {
    // Never destroyed: cursor pixmaps must not outlive the application's teardown.
    static auto* made = new std::map<int, QCursor>;
    auto it = made->find(resource);
    if (it != made->end()) return it->second;
    QCursor c;
    switch (resource) {
        case kCursorSelect:
            c = SelectArrow();
            break;
        case kCursorHandOpen:
            c = Hand(false);
            break;
        case kCursorHandClosed:
            c = Hand(true);
            break;
        case kCursorZoom:
            c = Magnifier();
            break;
        case kCursorMoveInside:
            c = FourWay();
            break;
        default:
            return QCursor(Qt::ArrowCursor);
    }
    made->emplace(resource, c);
    return c;
}

}  // namespace glimmora
