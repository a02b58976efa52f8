// The full-screen selection overlay: shows the screen frozen at the moment it opened and lets the user
// drag a rectangle, pick a window, or place a rectangle of fixed size.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRegion>
#include <QWidget>
#include <memory>
#include <vector>

#include "image/image.h"
#include "platform/platform.h"

class QEventLoop;

namespace glimmora {

class CCapDialog : public QWidget {
  public:
    static constexpr int kRegion = 0, kWindow = 1, kFixRect = 3;
    static constexpr int kIdOk = 1, kIdCancel = 2;

    CCapDialog(Platform& platform, int mode);
    ~CCapDialog() override;

    // Before Open: a window made ahead of time takes the mode of the capture that uses it.
    void SetMode(int mode) { mode_ = mode; }
    void SetCursorShape(Qt::CursorShape shape) { cursorShape_ = shape; }
    // Window mode: the windows at (3c, 3r), row-major; owned by the caller.
    void SetWindowGrid(const std::vector<WindowId>* grid) { grid_ = grid; }
    void SetFixedRectSize(int w, int h) {
        fixedW_ = w;
        fixedH_ = h;
    }
    // Blend the cursor into the snapshot, as if it had been drawn on the screen before.
    void SetIncludeCursor(bool on) { includeCursor_ = on; }
    // One more line under the region hints (why a window cannot be picked, say).
    void SetExtraHint(const QString& text) { extraHint_ = text; }
    // The screen could not be grabbed: exec ended without showing anything.
    bool grabFailed() const { return grabFailed_; }

    // Takes the snapshot, covers the screen and runs until the user confirms (kIdOk) or cancels
    // (kIdCancel). kIdCancel at once when the screen cannot be read.
    int exec();
    // The two halves of exec around its event loop: snapshot and cover the screen (false when the screen
    // cannot be read), and take the overlay away again.
    bool Open();
    void Close();

    Rect selection() const { return selection_; }
    Rect windowRect() const { return windowRect_; }
    WindowId chosenWindow() const { return chosen_; }
    Rect fixedRect() const { return fixedRect_; }
    // Where the confirming click happened.
    Point clickPoint() const { return click_; }
    Point pointer() const { return pointer_; }
    int panelCorner() const { return panelCorner_; }
    const Image& snapshot() const { return snapshot_; }
    // The overlay's picture as it would be painted now (for tests and the benchmark).
    QImage Compose() const;
    // Handles a pointer movement to screen point (x, y) exactly as a mouse move event does.
    void MovePointer(int x, int y);

    // The panel's instructions as they are drawn now, in HintFont(), in the panel's own units (its top-left
    // corner at 0, 0; the panel is drawn at the desktop's scale).
    struct Hint {
        QString text;
        QRect rect;
        int flags;
        QColor colour;
    };
    std::vector<Hint> Hints() const;
    static QFont HintFont();
    // Makes the window and the block its picture will need, ahead of a capture.
    void Prepare();
    // Loads the hint font and its glyphs, so the first overlay after start shows without that wait.
    static void WarmUp();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    class Pane;
    struct Layout {
        QRect panel, magnifier, label, focus;
        QString labelText;
    };
    Layout ComputeLayout() const;
    int PanelHeight() const;
    // Everything the decorations cover in the present state.
    QRegion DecorationRegion() const;
    void PaintDecorations(QPainter& p) const;
    void Changed(const QRegion& before);
    WindowId WindowUnder(int x, int y) const;
    Point EventPoint(const QMouseEvent* event) const;
    // Where an event in the window showing monitor `monitor` points, in the picture.
    Point PanePoint(int monitor, const QMouseEvent* event) const;
    // Paints the window showing monitor `monitor`: its part of the picture and the decorations on it.
    void PaintPane(QWidget& window, int monitor, const QRect& dirty) const;
    // The user's actions, from whichever window of the overlay they reached, in picture pixels.
    void OnMove(Point p);
    void OnPress(Point p, Qt::MouseButton button);
    void OnRelease(Point p, Qt::MouseButton button, Qt::MouseButtons held);
    void OnDoubleClick(Qt::MouseButton button);
    void OnKey(int key);
    QRect MonitorUnderPointer() const;
    QSize PanelSize() const;
    // A rectangle given in the panel's own units, placed in the picture.
    QRect InPanel(const QRect& panel, const QRect& local) const;
    int WindowFrameWidth() const;
    // This window and the panes.
    std::vector<QWidget*> Windows();
    void End(int result);
    // Runs the events until the window is on the screen (at most 5 s: a grab on a window that is not
    // viewable yet would be refused).
    void WaitUntilExposed();

    Platform& platform_;
    int mode_;
    Qt::CursorShape cursorShape_ = Qt::ArrowCursor;
    const std::vector<WindowId>* grid_ = nullptr;
    int fixedW_ = 80, fixedH_ = 80;
    bool includeCursor_ = false;
    bool grabFailed_ = false;
    QString extraHint_;

    Point anchor_, lastPoint_, pointer_, click_;
    bool dragging_ = false;
    Rect selection_, windowRect_, fixedRect_;
    WindowId chosen_ = 0;
    int panelCorner_ = 0;
    int screenW_ = 0, screenH_ = 0;
    ScreenLayout layout_;
    // The monitor this window shows (Wayland: one window per output, this one and the panes); -1 where one
    // window covers the whole screen (X11).
    int ownMonitor_ = -1;
    std::vector<std::unique_ptr<Pane>> panes_;
    double decorationScale_ = 1;
    Image snapshot_;
    QImage snapshotView_;
    Image magnifier_;
    QImage magnifierView_;
    int result_ = kIdCancel;
    QEventLoop* loop_ = nullptr;
    bool closing_ = false;  // ended, waiting for the buttons to come up
};

}  // namespace glimmora
