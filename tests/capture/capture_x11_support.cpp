#include "capture_x11_support.h"

#include <QCoreApplication>
#include <QThread>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace glimmora::testing {

TestHost::TestHost(Platform& platform) : platform_(platform) {
    // What most tests want to see: every finishing step on, no delay.
    settings.HideWndBeforCap = 1;
    settings.RestoreWndAftCap = 1;
    settings.PlaySoundWhenCap = 1;
    settings.CopyToClipboard = 1;
    settings.CapDelayTime = 0;
    main_ = std::make_unique<QWidget>();
    main_->setWindowTitle("test main window");
    main_->setGeometry(1500, 800, 240, 140);
    main_->show();
    // Managed (framed) by the window manager.
    WaitUntil([&] {
        const auto id = static_cast<WindowId>(main_->winId());
        Rect client, frame;
        return platform_.windows().ClientRect(id, client) && platform_.windows().WindowRect(id, frame) &&
               frame.top < client.top;
    });
}

TestHost::~TestHost() = default;

WindowId TestHost::MainWindow() {
    return static_cast<WindowId>(main_->winId());
}

void TestHost::ShowMain(ShowState state) {
    static const char* const names[] = {"Hide", "Show", "ShowMinimized", "ShowNoActivate", "ShowNormal"};
    log.push_back(std::string("show ") + names[static_cast<int>(state)]);
    switch (state) {
        case ShowState::Hide:
            main_->hide();
            break;
        case ShowState::Show:
            main_->show();
            break;
        case ShowState::ShowMinimized:
            main_->showMinimized();
            break;
        case ShowState::ShowNoActivate:
            main_->setAttribute(Qt::WA_ShowWithoutActivating);
            main_->show();
            break;
        case ShowState::ShowNormal:
            main_->showNormal();
            break;
    }
    // Qt sends its requests when it handles events.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    platform_.input().Sync();
}

CaptureDocument* TestHost::NewDocumentForCapture() {
    log.push_back("new document");
    documents.push_back(std::make_unique<TestDocument>());
    active = documents.back().get();
    return active;
}

void TestHost::CopyToClipboard(const Image& image) {
    log.push_back("clipboard");
    clipboard = image;
}

bool TestHost::Wait(int ms) {
    log.push_back("wait " + std::to_string(ms));
    if (std::exchange(escapeInWait, false)) return false;
    QThread::msleep(static_cast<unsigned long>(ms));
    return true;
}

bool TestHost::EscapePressed() {
    const bool was = escape;
    escape = false;
    return was;
}

std::string TestHost::LastShow() const {
    for (auto it = log.rbegin(); it != log.rend(); ++it)
        if (it->rfind("show ", 0) == 0) return it->substr(5);
    return {};
}

bool TestHost::Logged(const std::string& entry) const {
    for (const std::string& e : log)
        if (e == entry) return true;
    return false;
}

bool PanelShown(Platform& platform, int corner, bool windowMode) {
    const Size s = platform.screen().ScreenSize();
    // The panel is drawn at Qt's scale; its blue edge is as thick.
    const char* factor = std::getenv("QT_SCALE_FACTOR");
    const double k = factor && std::atof(factor) > 0 ? std::atof(factor) : 1.0;
    const int w = static_cast<int>(std::lround(190 * k)),
              h = static_cast<int>(std::lround((windowMode ? 130 : 320) * k));
    const Point at = corner == 0 ? Point{0, 0} : Point{s.width - w, s.height - h};
    Image shot;
    if (!platform.screen().Grab(Rect{at.x, at.y, at.x + 6, at.y + 6}, shot)) return false;
    return shot.PixelValue(0, 0) == 0x0000FFu && shot.PixelValue(4, 4) == 0x969696u &&
           shot.PixelValue(5, 5) == 0x969696u;
}

void Click(Platform& platform, Point p, int button) {
    platform.input().WarpPointer(p);
    platform.input().Button(button, true);
    platform.input().Button(button, false);
    platform.input().Sync();
}

void Key(const std::string& name) {
    RunOutput("xdotool key " + name);
}

bool PollUntil(const std::function<bool()>& cond) {
    for (int i = 0; i < 2000; ++i) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

OverlayDriver::OverlayDriver(bool windowMode, std::function<void(Platform&)> steps) {
    thread_ = std::thread([this, windowMode, steps = std::move(steps)] {
        std::unique_ptr<Platform> platform = Platform::Open();
        if (!platform) return;
        // First the panel at the top-left; then a move next to the left edge sends it to the bottom-right,
        // which shows that the overlay's loop handles input (and has grabbed the keyboard).
        bool nudge = false;
        const bool top = PollUntil([&] { return PanelShown(*platform, 0, windowMode); });
        // Alternate between two points: a warp to where the pointer already is moves nothing.
        const bool shown = top && PollUntil([&] {
                               nudge = !nudge;
                               platform->input().WarpPointer(Point{nudge ? 100 : 101, 400});
                               platform->input().Sync();
                               return PanelShown(*platform, 1, windowMode);
                           });
        if (!shown) {
            // Never leave an overlay waiting: a right click ends it.
            Click(*platform, Point{100, 400}, 3);
            return;
        }
        ready_ = true;
        steps(*platform);
    });
}

OverlayDriver::~OverlayDriver() {
    thread_.join();
}

Image SettledGrab(Platform& platform, const Rect& rect) {
    Image last;
    platform.screen().Grab(rect, last);
    for (int i = 0; i < 200; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        Image now;
        platform.screen().Grab(rect, now);
        const bool same = now.PixelBytes() == last.PixelBytes() &&
                          std::memcmp(now.Bits(), last.Bits(), now.PixelBytes()) == 0;
        last = std::move(now);
        if (same) break;
    }
    return last;
}

}  // namespace glimmora::testing
