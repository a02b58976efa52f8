// A full-screen window of one colour that prints the pointer events it receives, one a line, so the
// desktop tests see what a Qt program gets from the session's pointer:
//   ready              once the window has painted
//   enter X Y          the pointer came into the window (a pointer's first motion may be only this)
//   move X Y           motion, in the window's pixels (full screen: the output's)
//   press N X Y        button N (1 left, 2 middle, 3 right) went down
//   release N X Y      and up
//   wheel DY           vertical wheel, in Qt's eighths of a degree (positive away from the user)
// Usage: pointer_probe [COLOUR]   (default #2e8b57)
#include <QApplication>
#include <QColor>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QWidget>
#include <cstdio>

namespace {

int ButtonNumber(Qt::MouseButton button) {
    switch (button) {
        case Qt::LeftButton:
            return 1;
        case Qt::MiddleButton:
            return 2;
        case Qt::RightButton:
            return 3;
        default:
            return 0;
    }
}

class Probe : public QWidget {
  public:
    explicit Probe(const QColor& colour) : colour_(colour) {
        setMouseTracking(true);
        setWindowTitle("pointer probe");
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), colour_);
        if (!ready_) {
            ready_ = true;
            Print("ready\n");
        }
    }
    void enterEvent(QEnterEvent* e) override {
        Print("enter %d %d\n", e->position().toPoint().x(), e->position().toPoint().y());
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        Print("move %d %d\n", e->position().toPoint().x(), e->position().toPoint().y());
    }
    void mousePressEvent(QMouseEvent* e) override { Button("press", e); }
    void mouseReleaseEvent(QMouseEvent* e) override { Button("release", e); }
    void wheelEvent(QWheelEvent* e) override { Print("wheel %d\n", e->angleDelta().y()); }

  private:
    void Button(const char* what, QMouseEvent* e) {
        Print("%s %d %d %d\n", what, ButtonNumber(e->button()), e->position().toPoint().x(),
              e->position().toPoint().y());
    }
    template <typename... Args>
    static void Print(const char* format, Args... args) {
        std::printf(format, args...);
        std::fflush(stdout);
    }

    QColor colour_;
    bool ready_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName("glimmora-pointer-probe");
    const QColor colour(argc > 1 ? argv[1] : "#2e8b57");
    if (!colour.isValid()) {
        std::fprintf(stderr, "pointer_probe: not a colour: %s\n", argv[1]);
        return 2;
    }
    Probe probe(colour);
    probe.showFullScreen();
    return app.exec();
}
