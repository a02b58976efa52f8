// The small window shown while a screen recording runs: the time recorded, Pause/Resume and Stop. It stays
// on top and out of the recorded area where the screen leaves room for it.
#pragma once

#include <QRect>
#include <QWidget>

class QLabel;
class QMouseEvent;
class QPushButton;

namespace glimmora {

class RecordControl : public QWidget {
    Q_OBJECT

  public:
    explicit RecordControl(QWidget* parent = nullptr);

    // Seconds recorded, pauses left out.
    void SetElapsed(double seconds);
    void SetPaused(bool paused);
    // The file is being completed: the buttons have nothing left to do.
    void SetFinishing();
    // Moves the window next to area (in the desktop's pixels), on a screen that shows it, without
    // covering it; false when no screen has room outside it and the window sits in a corner of it.
    bool PlaceOutside(const QRect& area);

    QPushButton* PauseButton() const { return pause_; }
    QPushButton* StopButton() const { return stop_; }

  signals:
    void pauseClicked();
    void stopClicked();

  protected:
    // Without a frame, the window is moved by dragging it anywhere outside its buttons.
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void ShowTime();

    QLabel* time_;
    QPushButton* pause_;
    QPushButton* stop_;
    double seconds_ = 0;
    bool paused_ = false;
};

// "0:07", "12:30", "1:02:03".
QString ElapsedText(double seconds);

}  // namespace glimmora
