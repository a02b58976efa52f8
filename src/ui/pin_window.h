// A picture pinned to the desktop: a frameless window above the others that shows it, moved by
// dragging, zoomed with the wheel, made see-through with Ctrl and the wheel.
#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <functional>

#include "image/image.h"

class QMenu;
class QScreen;

namespace glimmora {

class CPinWindow : public QWidget {
    Q_OBJECT
  public:
    // picture: 24 or 32 bits, as saving would write it; shown from this one copy at every zoom. screen:
    // the one it opens on, fitted into. Deletes itself when closed.
    CPinWindow(Image picture, const QString& name, QScreen* screen = nullptr);

    const Image& Picture() const { return picture_; }
    double Zoom() const { return zoom_; }
    // The menu the right button opens: Copy, Save As..., Close.
    QMenu* Menu() const { return menu_; }
    void CopyToClipboard();
    // Asked on Ctrl + wheel: whether the desktop can show a window see-through at all.
    void SetCanFade(std::function<bool()> canFade) { canFade_ = std::move(canFade); }

  signals:
    // Save As was chosen: the owner asks for a file and writes Picture() there.
    void saveAsRequested(CPinWindow* pin);
    // Why a wheel turn changed less than asked, for the status bar.
    void note(const QString& text);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    // Clamped so the window never grows past the screen it is on; false when that held it back.
    bool SetZoom(double zoom);
    void Say(const QString& text);

    Image picture_;
    // Over picture_'s own rows, which run bottom-up: painted mirrored, never copied.
    QImage shown_;
    bool bottomUp_ = false;
    std::function<bool()> canFade_;
    double zoom_ = 1.0;
    bool dragging_ = false;
    QPoint grip_;  // where the window was taken, from its top-left corner
    int wheelRest_ = 0;
    QMenu* menu_;
};

}  // namespace glimmora
