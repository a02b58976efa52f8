// A picture pinned to the desktop: a frameless window above the others that shows it, moved by
// dragging, zoomed with the wheel, made see-through with Ctrl and the wheel.
#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>

#include "image/image.h"

class QMenu;

namespace glimmora {

class CPinWindow : public QWidget {
    Q_OBJECT
  public:
    // picture: 24 or 32 bits, as saving would write it. Deletes itself when closed.
    CPinWindow(const Image& picture, const QString& name);

    const Image& Picture() const { return picture_; }
    double Zoom() const { return zoom_; }
    // The menu the right button opens: Copy, Save As..., Close.
    QMenu* Menu() const { return menu_; }
    void CopyToClipboard();

  signals:
    // Save As was chosen: the owner asks for a file and writes Picture() there.
    void saveAsRequested(CPinWindow* pin);

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
    void SetZoom(double zoom);

    Image picture_;
    QImage shown_;
    double zoom_ = 1.0;
    bool dragging_ = false;
    QPoint grip_;  // where the window was taken, from its top-left corner
    int wheelRest_ = 0;
    QMenu* menu_;
};

}  // namespace glimmora
