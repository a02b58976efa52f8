// Helpers for tests that run against a real X server: skipping without one, waiting by polling, test
// windows with known pixels, and helper programs started and stopped by process id.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "image/image.h"
#include "platform/platform.h"

#define REQUIRE_DISPLAY()                                              \
    do {                                                               \
        if (!std::getenv("DISPLAY") || !*std::getenv("DISPLAY"))       \
            GTEST_SKIP() << "needs an X display (DISPLAY is not set)"; \
    } while (0)

namespace glimmora::testing {

// Polls cond, keeping Qt's events flowing, until it holds or a generous limit passes.
inline bool WaitUntil(const std::function<bool()>& cond, int limitMs = 20000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (true) {
        if (cond()) return true;
        if (std::chrono::steady_clock::now() > end) return false;
        if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Runs open(), which shows a modal dialog of type T with its own exec(); drive gets the dialog once it is
// up and active. False when no such dialog came.
template <typename T>
bool RunModalDialog(const std::function<void()>& open, const std::function<void(T*)>& drive) {
    bool driven = false;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog || driven || !dialog->isActiveWindow()) return;
        driven = true;
        timer.stop();
        drive(dialog);
    });
    timer.start();
    open();
    return driven;
}

// The test pattern: a distinct colour for every pixel of a 4096-wide area.
inline void PatternPixel(int x, int y, uint8_t& b, uint8_t& g, uint8_t& r) {
    b = static_cast<uint8_t>(x & 0xFF);
    g = static_cast<uint8_t>(y & 0xFF);
    r = static_cast<uint8_t>(((x >> 8) & 0x0F) | ((y >> 8) & 0x0F) << 4);
}

// One pixel of the pattern as Qt gives it.
inline QRgb PatternRgb(int x, int y) {
    uint8_t b, g, r;
    PatternPixel(x, y, b, g, r);
    return qRgb(r, g, b);
}

// The pattern as an opaque 32-bit picture; no pixel of it is white.
inline Image PatternPicture(int w, int h) {
    Image image;
    image.Create(w, h, 32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = image.PixelAddress(x, y);
            PatternPixel(x, y, p[0], p[1], p[2]);
            p[3] = 255;
        }
    return image;
}

// The pattern as seen from screen point `origin` (what a window placed there shows at (0, 0)).
inline QImage PatternImage(int w, int h, int seed = 0) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) row[x] = PatternRgb(x + seed, y + seed * 3);
    }
    return image;
}

// A Qt window that shows a fixed picture.
class PictureWindow : public QWidget {
  public:
    // framed: an ordinary managed window; otherwise override-redirect, placed exactly.
    PictureWindow(QImage picture, QRect geometry, bool framed, const QString& title = "glimmora test");
    WId id() const { return winId(); }
    const QImage& picture() const { return picture_; }
    // Shows the window and waits until its pixels are on the screen and, for a framed window, until the
    // window manager has put its frame around it (before that it ignores activation requests).
    bool ShowAndWait(Platform& platform);
    int wheelDown = 0;

  protected:
    void paintEvent(QPaintEvent*) override;
    void wheelEvent(QWheelEvent* e) override;

  private:
    QImage picture_;
    bool framed_;
};

// True when image shows picture with picture's (0, 0) at image's (dx, dy).
bool ShowsPicture(const Image& image, const QImage& picture, int dx, int dy, std::string* why = nullptr);
uint32_t Bgr(const Image& image, int x, int y);

// A program started for a test, stopped (by its process id) when the object goes.
class Child {
  public:
    explicit Child(const std::vector<std::string>& argv);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    int pid() const { return pid_; }
    bool running() const;
    // Waits for it to end by itself; the exit status, or -1.
    int Wait(int limitMs = 60000);

  private:
    int pid_ = -1;
    mutable int status_ = -1;
    mutable bool reaped_ = false;
};

// The managed top-level window of the process pid, found by _NET_WM_PID through xdotool.
WindowId FindWindowOfPid(int pid, int limitMs = 20000);
// Runs a command to the end and returns its standard output.
std::string RunOutput(const std::string& command);

}  // namespace glimmora::testing
