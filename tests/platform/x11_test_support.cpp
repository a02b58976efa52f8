#include "x11_test_support.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QPainter>
#include <QWheelEvent>
#include <cstdio>

extern char** environ;

namespace glimmora::testing {

PictureWindow::PictureWindow(QImage picture, QRect geometry, bool framed, const QString& title)
    : QWidget(nullptr,
              framed ? Qt::Window : Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint),
      picture_(std::move(picture)),
      framed_(framed) {
    setWindowTitle(title);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setGeometry(geometry);
    setFixedSize(geometry.size());
}

void PictureWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, picture_);
}

void PictureWindow::wheelEvent(QWheelEvent* e) {
    if (e->angleDelta().y() < 0) ++wheelDown;
}

bool PictureWindow::ShowAndWait(Platform& platform) {
    show();
    raise();
    return WaitUntil([&] {
        Rect client;
        if (!platform.windows().ClientRect(static_cast<WindowId>(winId()), client)) return false;
        Image shot;
        if (!platform.screen().Grab(client, shot)) return false;
        if (client.Width() != picture_.width() || client.Height() != picture_.height() ||
            !ShowsPicture(shot, picture_, 0, 0))
            return false;
        Rect frame;
        return !framed_ || (platform.windows().WindowRect(static_cast<WindowId>(winId()), frame) &&
                            frame.top < client.top);
    });
}

uint32_t Bgr(const Image& image, int x, int y) {
    return image.PixelValue(x, y);
}

bool ShowsPicture(const Image& image, const QImage& picture, int dx, int dy, std::string* why) {
    for (int y = 0; y < picture.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            const int ix = x + dx, iy = y + dy;
            if (ix < 0 || iy < 0 || ix >= image.Width() || iy >= image.Height()) {
                if (why) *why = "picture reaches outside the image";
                return false;
            }
            const uint8_t* p = image.PixelAddress(ix, iy);
            if (p[0] != qBlue(row[x]) || p[1] != qGreen(row[x]) || p[2] != qRed(row[x])) {
                if (why) *why = "differs at picture (" + std::to_string(x) + ", " + std::to_string(y) + ")";
                return false;
            }
        }
    }
    return true;
}

Child::Child(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) == 0) pid_ = pid;
}

bool Child::running() const {
    if (pid_ <= 0 || reaped_) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        reaped_ = true;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return false;
    }
    return true;
}

int Child::Wait(int limitMs) {
    WaitUntil([&] { return !running(); }, limitMs);
    return reaped_ ? status_ : -1;
}

Child::~Child() {
    if (running()) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
}

std::string RunOutput(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
    pclose(pipe);
    return out;
}

WindowId FindWindowOfPid(int pid, int limitMs) {
    WindowId found = 0;
    WaitUntil(
        [&] {
            const std::string out =
                RunOutput("xdotool search --onlyvisible --pid " + std::to_string(pid) + " 2>/dev/null");
            found = static_cast<WindowId>(std::strtoul(out.c_str(), nullptr, 10));
            return found != 0;
        },
        limitMs);
    return found;
}

}  // namespace glimmora::testing
