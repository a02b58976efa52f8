#include "app/frame/frame_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "app/frame/command_ids.h"
#include "editor/tavrik_view.h"

namespace glimmora {

namespace {
const QColor kInk(0x2e, 0x34, 0x36);
const QColor kBlue(0x34, 0x65, 0xa4);
const QColor kPaper(0xfa, 0xfa, 0xf6);

// Every drawing works in a 32 x 32 box and is scaled to the size asked for.
void Draw(QPainter& p, int id) {
    using namespace cmd;
    QPen ink(kInk, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(ink);
    p.setBrush(Qt::NoBrush);
    auto page = [&] {
        QPainterPath path;
        path.moveTo(8, 4);
        path.lineTo(19, 4);
        path.lineTo(25, 10);
        path.lineTo(25, 28);
        path.lineTo(8, 28);
        path.closeSubpath();
        p.setBrush(kPaper);
        p.drawPath(path);
        p.setBrush(Qt::NoBrush);
    };
    auto arrowHead = [&](QPointF tip, QPointF from) {
        const QLineF l(tip, from);
        QLineF a = l;
        a.setLength(8);
        a.setAngle(l.angle() + 30);
        QLineF b = l;
        b.setLength(8);
        b.setAngle(l.angle() - 30);
        p.drawLine(a);
        p.drawLine(b);
    };
    auto screen = [&] {
        p.setBrush(QColor(0xd3, 0xe3, 0xf5));
        p.drawRect(QRectF(3, 5, 26, 18));
        p.setBrush(Qt::NoBrush);
        p.drawLine(QPointF(16, 23), QPointF(16, 27));
        p.drawLine(QPointF(10, 28), QPointF(22, 28));
    };
    switch (id) {
        case kNew:
            page();
            p.drawLine(QPointF(13, 18), QPointF(21, 18));
            p.drawLine(QPointF(17, 14), QPointF(17, 22));
            break;
        case kOpen:
            p.setBrush(QColor(0xfc, 0xe9, 0x4f));
            p.drawPolygon(QPolygonF({{3, 8}, {12, 8}, {14, 11}, {29, 11}, {29, 27}, {3, 27}}));
            break;
        case kSave:
            p.setBrush(kBlue);
            p.drawRoundedRect(QRectF(4, 4, 24, 24), 2, 2);
            p.setBrush(kPaper);
            p.drawRect(QRectF(9, 4, 14, 9));
            p.drawRect(QRectF(8, 18, 16, 10));
            break;
        case kCaptureFullScreen:
            screen();
            break;
        case kCaptureRegion:
            screen();
            p.setPen(QPen(Qt::red, 2, Qt::DashLine));
            p.drawRect(QRectF(8, 9, 12, 9));
            break;
        case kCaptureWindow:
        case kCaptureActiveWindow:
            screen();
            p.setBrush(kPaper);
            p.drawRect(QRectF(8, 9, 15, 10));
            p.setBrush(kBlue);
            p.drawRect(QRectF(8, 9, 15, 3));
            break;
        case kCaptureScroll:
            p.setBrush(kPaper);
            p.drawRect(QRectF(6, 3, 16, 26));
            p.drawLine(QPointF(10, 9), QPointF(18, 9));
            p.drawLine(QPointF(10, 14), QPointF(18, 14));
            p.drawLine(QPointF(10, 19), QPointF(18, 19));
            p.drawLine(QPointF(26, 6), QPointF(26, 26));
            arrowHead(QPointF(26, 27), QPointF(26, 6));
            break;
        case kUndo:
        case kRedo: {
            if (id == kRedo) {
                p.translate(32, 0);
                p.scale(-1, 1);
            }
            QPainterPath path;
            path.moveTo(7, 13);
            path.cubicTo(12, 5, 27, 7, 26, 18);
            path.cubicTo(25, 25, 18, 27, 13, 26);
            p.drawPath(path);
            arrowHead(QPointF(7, 13), QPointF(13, 8));
            break;
        }
        case kZoomIn:
        case kZoomOut:
        case kZoomActual:
        case view_cmd::kZoom:
            p.setBrush(QColor(0xee, 0xee, 0xec));
            p.drawEllipse(QRectF(4, 4, 18, 18));
            p.setPen(QPen(kInk, 4, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(20, 20), QPointF(28, 28));
            p.setPen(ink);
            if (id == kZoomIn || id == view_cmd::kZoom) p.drawLine(QPointF(13, 9), QPointF(13, 17));
            if (id != kZoomActual) p.drawLine(QPointF(9, 13), QPointF(17, 13));
            if (id == kZoomActual) {
                QFont f("Liberation Sans");
                f.setPixelSize(10);
                f.setBold(true);
                p.setFont(f);
                p.drawText(QRectF(4, 4, 18, 18), Qt::AlignCenter, "1");
            }
            break;
        case view_cmd::kMove:
            p.drawLine(QPointF(16, 3), QPointF(16, 29));
            p.drawLine(QPointF(3, 16), QPointF(29, 16));
            arrowHead(QPointF(16, 3), QPointF(16, 16));
            arrowHead(QPointF(16, 29), QPointF(16, 16));
            arrowHead(QPointF(3, 16), QPointF(16, 16));
            arrowHead(QPointF(29, 16), QPointF(16, 16));
            break;
        case view_cmd::kSelect:
            p.setBrush(Qt::white);
            p.drawPolygon(QPolygonF({{8, 3}, {8, 25}, {13, 20}, {17, 28}, {21, 26}, {17, 18}, {24, 18}}));
            break;
        case view_cmd::kCrop:
            p.setPen(QPen(kInk, 3));
            p.drawPolyline(QPolygonF({{9, 2}, {9, 23}, {30, 23}}));
            p.drawPolyline(QPolygonF({{2, 9}, {23, 9}, {23, 30}}));
            break;
        case view_cmd::kText: {
            QFont f("Liberation Serif");
            f.setPixelSize(28);
            f.setBold(true);
            p.setFont(f);
            p.drawText(QRectF(0, 0, 32, 32), Qt::AlignCenter, "T");
            break;
        }
        case view_cmd::kLine:
            p.setPen(QPen(kBlue, 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(5, 27), QPointF(27, 5));
            break;
        case view_cmd::kArrow:
            p.setPen(QPen(Qt::red, 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(5, 27), QPointF(27, 5));
            arrowHead(QPointF(27, 5), QPointF(5, 27));
            break;
        case view_cmd::kShape:
            p.setBrush(QColor(0x8a, 0xe2, 0x34));
            p.drawRect(QRectF(4, 8, 16, 16));
            p.setBrush(QColor(0xfc, 0xaf, 0x3e));
            p.drawEllipse(QRectF(13, 4, 15, 15));
            break;
        case view_cmd::kHighlight:
            p.setBrush(QColor(255, 255, 0, 160));
            p.setPen(QPen(QColor(0xc4, 0xa0, 0), 2));
            p.drawRect(QRectF(3, 9, 26, 14));
            p.setPen(ink);
            p.drawLine(QPointF(7, 16), QPointF(25, 16));
            break;
        case view_cmd::kStamp:
            p.setBrush(QColor(0xcc, 0, 0));
            p.drawEllipse(QRectF(4, 4, 24, 24));
            p.setPen(QPen(Qt::white, 3));
            p.drawLine(QPointF(10, 16), QPointF(15, 21));
            p.drawLine(QPointF(15, 21), QPointF(23, 11));
            break;
        case view_cmd::kRedact:
            // A line of text half covered by blocks.
            p.drawLine(QPointF(4, 8), QPointF(28, 8));
            p.drawLine(QPointF(4, 24), QPointF(28, 24));
            p.setPen(Qt::NoPen);
            for (int i = 0; i < 4; ++i) {
                p.setBrush(i % 2 ? QColor(0x55, 0x57, 0x53) : QColor(0x2e, 0x34, 0x36));
                p.drawRect(QRectF(4 + 6 * i, 12, 6, 8));
            }
            break;
        case view_cmd::kCounter:
            // A numbered disc.
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0xd0, 0x20, 0x20));
            p.drawEllipse(QRectF(4, 4, 24, 24));
            p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(17, 9), QPointF(17, 23));
            p.drawLine(QPointF(13, 12), QPointF(17, 9));
            break;
        case view_cmd::kPen:
        case view_cmd::kMarker: {
            // A wavy stroke: thin and dark for the pen, broad and yellow for the marker.
            const bool marker = id == view_cmd::kMarker;
            QPainterPath wave(QPointF(4, 22));
            wave.cubicTo(QPointF(10, 6), QPointF(18, 30), QPointF(28, 10));
            p.setPen(QPen(marker ? QColor(0xf5, 0xd0, 0x00) : QColor(0x20, 0x4a, 0x87), marker ? 7 : 3,
                          Qt::SolidLine, marker ? Qt::SquareCap : Qt::RoundCap));
            p.setBrush(Qt::NoBrush);
            p.drawPath(wave);
            break;
        }
        case view_cmd::kDeleteTool:
            p.setPen(QPen(QColor(0xcc, 0, 0), 4, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(7, 7), QPointF(25, 25));
            p.drawLine(QPointF(25, 7), QPointF(7, 25));
            break;
        default:
            screen();
            break;
    }
}

QIcon Drawn(int id) {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 32.0, size / 32.0);
        Draw(p, id);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

const char* ThemeName(int id) {
    using namespace cmd;
    switch (id) {
        case kNew:
            return "document-new";
        case kOpen:
            return "document-open";
        case kSave:
            return "document-save";
        case kUndo:
            return "edit-undo";
        case kRedo:
            return "edit-redo";
        case kZoomIn:
            return "zoom-in";
        case kZoomOut:
            return "zoom-out";
        case kZoomActual:
            return "zoom-original";
        case view_cmd::kDeleteTool:
            return "edit-delete";
        default:
            return nullptr;
    }
}
}  // namespace

QIcon CommandIcon(int id) {
    if (const char* name = ThemeName(id)) {
        const QIcon themed = QIcon::fromTheme(name);
        if (!themed.isNull()) return themed;
    }
    return Drawn(id);
}

QIcon ApplicationIcon() {
    const QIcon themed = QIcon::fromTheme("glimmora");
    return themed.isNull() ? Drawn(cmd::kCaptureRegion) : themed;
}

QIcon DocumentIcon() {
    const QIcon themed = QIcon::fromTheme("image-x-generic");
    return themed.isNull() ? Drawn(cmd::kNew) : themed;
}

}  // namespace glimmora
