#include "capture/capture_routines.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <algorithm>

#include "capture/auto_save.h"
#include "capture/cap_dialog.h"
#include "capture/grab.h"
#include "capture/scroll_capture.h"
#include "image/codecs/save_route.h"

namespace glimmora {

namespace {
constexpr const char* kNoWindowsHint =
    "- This desktop does not let Glimmora pick a window: drag around it instead.";

// The monitor of our main window (the first visible ordinary top-level window), or the first one.
int MonitorOfOwnWindow(const ScreenLayout& layout) {
    if (layout.monitors.empty()) return -1;
    for (const QWindow* w : QGuiApplication::topLevelWindows()) {
        if (!w->isVisible() || w->type() != Qt::Window || !w->screen()) continue;
        const std::string name = w->screen()->name().toStdString();
        for (size_t i = 0; i < layout.monitors.size(); ++i)
            if (layout.monitors[i].name == name) return static_cast<int>(i);
        break;
    }
    return 0;
}
}  // namespace

// One capture at a time: a request that arrives while one runs (a hotkey during the overlay) is ignored.
class Capturer::Busy {
  public:
    explicit Busy(Capturer& capturer) : capturer_(capturer), acquired_(!capturer.busy_) {
        if (!acquired_) return;
        capturer_.busy_ = true;
        capturer_.pictureDecided_ = false;
    }
    ~Busy() {
        if (!acquired_) return;
        capturer_.busy_ = false;
        capturer_.pictureDecided_ = false;
        capturer_.host_.CaptureEnded();
    }
    bool acquired() const { return acquired_; }

  private:
    Capturer& capturer_;
    bool acquired_;
};

Capturer::Capturer(Platform& platform, CaptureHost& host) : platform_(platform), host_(host) {}

Capturer::~Capturer() = default;

void Capturer::PrepareOverlay() {
    if (spare_ || busy_) return;
    spare_ = std::make_unique<CCapDialog>(platform_, CCapDialog::kRegion);
    spare_->Prepare();
}

std::unique_ptr<CCapDialog> Capturer::Overlay(int mode) {
    std::unique_ptr<CCapDialog> dialog = std::move(spare_);
    if (!dialog) return std::make_unique<CCapDialog>(platform_, mode);
    dialog->SetMode(mode);
    return dialog;
}

int Capturer::Cancel() {
    PictureDecided();
    host_.ShowMain(ShowState::ShowNoActivate);
    return 0;
}

int Capturer::GrabFailed() {
    PictureDecided();
    // Never a black picture in silence: the user learns why nothing was captured.
    const std::string why = platform_.screen().LastError();
    host_.ShowMain(ShowState::ShowNoActivate);
    host_.MessageBox("The screen could not be captured" +
                     (why.empty() ? std::string(".") : ": " + why + "."));
    return 0;
}

int Capturer::RegionInstead(const char* hint) {
    AppSettings& s = host_.Settings();
    const std::unique_ptr<CCapDialog> overlay = Overlay(CCapDialog::kRegion);
    CCapDialog& dialog = *overlay;
    dialog.SetCursorShape(Qt::CrossCursor);
    dialog.SetExtraHint(hint);
    return TakeFromOverlay(dialog, s.IncludeCursor, &CCapDialog::selection, Mode::Region);
}

int Capturer::WindowFromCompositor(bool active, Mode mode) {
    Screen& screen = platform_.screen();
    Image image;
    if (!(active ? screen.GrabActiveWindow(image) : screen.GrabPickedWindow(image)))
        return screen.LastError().empty() ? Cancel() : GrabFailed();
    Finish(image, mode);
    host_.InvalidateMain();
    return 1;
}

int Capturer::CaptureFullScreen() {
    Busy busy(*this);
    if (!busy.acquired()) return 0;
    AppSettings& s = host_.Settings();
    if (s.HideWndBeforCap) host_.ShowMain(ShowState::Hide);
    if (!host_.Wait(std::max(0, s.CapDelayTime))) return Cancel();
    Image image;
    if (!GrabFullScreen(platform_.screen(), image, s.IncludeCursor)) return GrabFailed();
    Finish(image, Mode::FullScreen);
    return 1;
}

int Capturer::CaptureCurrentScreen() {
    Busy busy(*this);
    if (!busy.acquired()) return 0;
    AppSettings& s = host_.Settings();
    Screen& screen = platform_.screen();
    // Asked before our window hides: where the pointer is may only be known over it. Where the desktop
    // never says, the screen our window is on.
    int monitor = screen.CurrentMonitor();
    if (monitor < 0) monitor = MonitorOfOwnWindow(screen.Layout());
    if (s.HideWndBeforCap) host_.ShowMain(ShowState::Hide);
    if (!host_.Wait(std::max(0, s.CapDelayTime))) return Cancel();
    Image image;
    if (monitor < 0 || !screen.GrabMonitor(static_cast<size_t>(monitor), image)) return GrabFailed();
    Finish(image, Mode::FullScreen);
    return 1;
}

int Capturer::RunOverlay(CCapDialog& dialog, bool includeCursor) {
    dialog.SetIncludeCursor(includeCursor);
    const int result = dialog.exec();
    if (dialog.grabFailed()) GrabFailed();
    return result;
}

int Capturer::CaptureRegion() {
    Busy busy(*this);
    if (!busy.acquired()) return 0;
    AppSettings& s = host_.Settings();
    if (s.HideWndBeforCap) host_.ShowMain(ShowState::Hide);
    if (!host_.Wait(std::max(0, s.CapDelayTime))) return Cancel();
    const std::unique_ptr<CCapDialog> overlay = Overlay(CCapDialog::kRegion);
    CCapDialog& dialog = *overlay;
    dialog.SetCursorShape(Qt::CrossCursor);
    return TakeFromOverlay(dialog, s.IncludeCursor, &CCapDialog::selection, Mode::Region);
}

int Capturer::CaptureRegionPicture(Image& picture) {
    Busy busy(*this);
    if (!busy.acquired()) return 0;
    AppSettings& s = host_.Settings();
    const bool hide = s.HideWndBeforCap != 0;
    if (hide) host_.ShowMain(ShowState::Hide);
    const auto done = [&](int result) {
        PictureDecided();
        if (hide) host_.ShowMain(ShowState::ShowNoActivate);
        return result;
    };
    if (!host_.Wait(std::max(0, s.CapDelayTime))) return done(0);
    const std::unique_ptr<CCapDialog> overlay = Overlay(CCapDialog::kRegion);
    CCapDialog& dialog = *overlay;
    dialog.SetCursorShape(Qt::CrossCursor);
    // The pointer would only be in the way of the text.
    if (RunOverlay(dialog, false) != CCapDialog::kIdOk) return done(0);
    const Rect rect = dialog.selection();
    if (IsEmpty(rect) || !GrabRect(picture, dialog.snapshot(), rect)) return done(0);
    return done(1);
}

int Capturer::CaptureFixRect() {
    Busy busy(*this);
    if (!busy.acquired()) return 0;
    AppSettings& s = host_.Settings();
    if (s.HideWndBeforCap) host_.ShowMain(ShowState::Hide);
    if (!host_.Wait(std::max(0, s.CapDelayTime))) return Cancel();
    const std::unique_ptr<CCapDialog> overlay = Overlay(CCapDialog::kFixRect);
    CCapDialog& dialog = *overlay;
    dialog.SetCursorShape(Qt::CrossCursor);
    dialog.SetFixedRectSize(s.FixRectWidth, s.FixRectHeight);
    return TakeFromOverlay(dialog, s.IncludeCursor, &CCapDialog::fixedRect, Mode::FixRect);
}

// The three overlay modes end alike: the chosen area of the frozen snapshot is the capture.
int Capturer::TakeFromOverlay(CCapDialog& dialog, bool includeCursor, Rect (CCapDialog::*area)() const,
                              Mode mode) {
    if (RunOverlay(dialog, includeCursor) != CCapDialog::kIdOk) return Cancel();
    const Rect rect = (dialog.*area)();
    Image image;
    if (IsEmpty(rect) || !GrabRect(image, dialog.snapshot(), rect)) return Cancel();
    Finish(image, mode);
    host_.InvalidateMain();
    return 1;
}

void Capturer::RaiseNext(WindowId next) {
    // There is no counterpart to enabling the window; raising is all that is needed.
    if (next) platform_.windows().Raise(next);
}

int Capturer::CaptureWindow() {
    Busy busy(*this);
    if (!busy.acquired()) return 0;
    AppSettings& s = host_.Settings();
    const WindowId next = platform_.windows().NextInStacking(host_.MainWindow());
    host_.ShowMain(ShowState::Hide);  // always, whatever HideWndBeforCap says
    if (!host_.Wait(std::max(0, s.CapDelayTime))) return Cancel();
    if (!platform_.windows().CanPickWindows())
        return platform_.screen().CanGrabWindows() ? WindowFromCompositor(false, Mode::Window)
                                                   : RegionInstead(kNoWindowsHint);
    RaiseNext(next);
    platform_.input().Sync();
    const Size size = platform_.screen().ScreenSize();
    // Sampled before the overlay covers the screen, so it names the windows the user sees.
    const std::vector<WindowId> grid = platform_.windows().WindowGrid(size.width / 3, size.height / 3, 3, 0);
    const std::unique_ptr<CCapDialog> overlay = Overlay(CCapDialog::kWindow);
    CCapDialog& dialog = *overlay;
    dialog.SetWindowGrid(&grid);
    return TakeFromOverlay(dialog, s.IncludeCursor, &CCapDialog::windowRect, Mode::Window);
}

int Capturer::CaptureActiveWindow() {
    Busy busy(*this);
    if (!busy.acquired()) return 0;
    AppSettings& s = host_.Settings();
    if (s.HideWndBeforCap) {
        host_.ShowMain(ShowState::Hide);
        RaiseNext(platform_.windows().NextInStacking(host_.MainWindow()));
    }
    // A fixed wait, whatever CapDelayTime says; this mode never draws the cursor in.
    if (!host_.Wait(1000)) return Cancel();
    if (!platform_.windows().CanPickWindows())
        return platform_.screen().CanGrabWindows() ? WindowFromCompositor(true, Mode::ActiveWindow)
                                                   : RegionInstead(kNoWindowsHint);
    Rect rect;
    Image image;
    if (!ActiveWindowRect(platform_.windows(), rect)) {
        host_.ActivateMain();
        return Cancel();
    }
    if (!GrabScreenRect(platform_.screen(), image, rect)) return GrabFailed();
    Finish(image, Mode::ActiveWindow);
    return 1;
}

int Capturer::CaptureWindowByMessage(WindowId window) {
    Busy busy(*this);
    if (!busy.acquired()) return 0;
    Rect rect;
    Image image;
    const bool grabbed =
        platform_.windows().WindowRect(window, rect) && GrabScreenRect(platform_.screen(), image, rect);
    PictureDecided();
    if (!grabbed) {
        host_.ShowMain(ShowState::ShowNormal);
        return 0;
    }
    if (host_.Settings().CopyToClipboard) host_.CopyToClipboard(image);
    host_.Wait(200);
    AutoSave(image, HandOver(image));
    ShowAfter(Mode::Message);
    return 1;
}

int Capturer::CaptureScroll() {
    Busy busy(*this);
    if (!busy.acquired()) return 0;
    AppSettings& s = host_.Settings();
    if (!platform_.windows().CanPickWindows() || !platform_.input().CanScroll()) {
        host_.MessageBox(
            "This desktop lets no program pick a window or turn the mouse wheel, so a scrolling window "
            "cannot be captured here.");
        return 0;
    }
    host_.EscapePressed();  // an Esc from before the capture does not stop it
    if (!host_.Wait(std::max(0, s.CapDelayTime))) return Cancel();
    const WindowId next = platform_.windows().NextInStacking(host_.MainWindow());
    host_.ShowMain(ShowState::Hide);
    RaiseNext(next);
    platform_.input().Sync();
    const Size size = platform_.screen().ScreenSize();
    const std::vector<WindowId> grid = platform_.windows().WindowGrid(size.width / 3, size.height / 3, 3, 0);
    const std::unique_ptr<CCapDialog> overlay = Overlay(CCapDialog::kWindow);
    CCapDialog& dialog = *overlay;
    dialog.SetWindowGrid(&grid);
    if (RunOverlay(dialog, false) != CCapDialog::kIdOk || IsEmpty(dialog.windowRect())) return Cancel();

    ScrollCapture scroll(platform_);
    scroll.SetStopCheck([this] { return host_.EscapePressed(); });
    Image image;
    if (!scroll.Run(dialog.chosenWindow(), dialog.clickPoint(), image)) return Cancel();
    PictureDecided();
    if (scroll.end() == ScrollCapture::End::SizeLimit)
        host_.MessageBox(
            "The scrolled picture has reached the largest size a picture may have; it ends there.");
    if (s.CopyToClipboard) host_.CopyToClipboard(image);
    AutoSave(image, HandOver(image));
    ShowAfter(Mode::Scroll);
    host_.InvalidateMain();
    return 1;
}

int Capturer::PickRecordArea(RecordArea area, CastRequest& request) {
    Busy busy(*this);
    if (!busy.acquired()) return 0;
    AppSettings& s = host_.Settings();
    Screen& screen = platform_.screen();
    request = CastRequest{};
    request.cursor = s.RecordCursor != 0;
    const WindowId next = platform_.windows().NextInStacking(host_.MainWindow());
    int monitor = area == RecordArea::Screen ? screen.CurrentMonitor() : -1;
    // The window picker needs our window out of the way, whatever the settings say.
    if (s.HideWndBeforCap || area == RecordArea::Window) host_.ShowMain(ShowState::Hide);
    if (!host_.Wait(std::max(0, s.CapDelayTime))) return Cancel();
    if (area == RecordArea::Screen) {
        PictureDecided();
        if (monitor >= 0 && screen.Layout().monitors.size() > 1) {
            request.kind = CastRequest::Kind::Monitor;
            request.monitor = monitor;
        }
        return 1;
    }
    const bool pickWindow = area == RecordArea::Window && platform_.windows().CanPickWindows();
    std::unique_ptr<CCapDialog> overlay = Overlay(pickWindow ? CCapDialog::kWindow : CCapDialog::kRegion);
    CCapDialog& dialog = *overlay;
    std::vector<WindowId> grid;
    if (pickWindow) {
        RaiseNext(next);
        platform_.input().Sync();
        const Size size = screen.ScreenSize();
        grid = platform_.windows().WindowGrid(size.width / 3, size.height / 3, 3, 0);
        dialog.SetWindowGrid(&grid);
    } else {
        dialog.SetCursorShape(Qt::CrossCursor);
        if (area == RecordArea::Window) dialog.SetExtraHint(kNoWindowsHint);
    }
    if (RunOverlay(dialog, false) != CCapDialog::kIdOk) return Cancel();
    PictureDecided();
    const Rect rect = pickWindow ? dialog.windowRect() : dialog.selection();
    // Encoders want at least two pixels each way.
    if (IsEmpty(rect) || rect.right - rect.left < 2 || rect.bottom - rect.top < 2) return Cancel();
    if (pickWindow && dialog.chosenWindow()) {
        request.kind = CastRequest::Kind::Window;
        request.window = dialog.chosenWindow();
    } else {
        request.kind = CastRequest::Kind::Rect;
    }
    request.rect = rect;
    return 1;
}

void Capturer::Finish(const Image& image, Mode mode) {
    PictureDecided();
    if (host_.Settings().CopyToClipboard) host_.CopyToClipboard(image);
    AutoSave(image, HandOver(image));
    ShowAfter(mode);
}

CaptureDocument* Capturer::HandOver(const Image& image) {
    AppSettings& s = host_.Settings();
    if (s.PlaySoundWhenCap) host_.PlaySound(host_.ProgramDirectory() + "capture.wav");
    CaptureDocument* target = nullptr;
    if (s.CapAppViewMode == 0) {
        target = host_.NewDocumentForCapture();
    } else if (s.CapAppViewMode == 1) {
        target = host_.ActiveDocument();
        if (!target) target = host_.NewDocumentForCapture();
        if (target) target->RecordState();  // the replacement can be undone
    }
    if (!target) return nullptr;
    Image copy(image);
    if (!copy.ConvertDepth(32)) return nullptr;
    target->TakeCapture(std::move(copy));
    return target;
}

void Capturer::AutoSave(const Image& image, CaptureDocument* document) {
    if (!host_.Settings().IsAudoSave) return;
    // The number is used up whatever becomes of the save.
    const std::string path = AutoSavePath(host_.Settings());
    if (!SaveImageFile(image, path)) {
        // Silently losing the capture is worse than a message.
        host_.MessageBox("The capture could not be saved to \"" + path + "\".");
        return;
    }
    const int mode = host_.Settings().CapAppViewMode;
    if (document && (mode == 0 || mode == 1)) document->SetPathName(path);
}

void Capturer::ShowAfter(Mode mode) {
    const bool restore = host_.Settings().RestoreWndAftCap;
    switch (mode) {
        case Mode::ActiveWindow:
            if (restore) {
                host_.ActivateMain();
                host_.ShowMain(ShowState::ShowNoActivate);
            } else {
                // Minimised like the other modes: hidden, a window without tray or hotkeys is lost.
                host_.ShowMain(ShowState::ShowMinimized);
            }
            break;
        case Mode::Scroll:
            if (restore) {
                host_.ActivateMain();
                host_.ShowMain(ShowState::Show);
            } else {
                host_.ShowMain(ShowState::ShowMinimized);
            }
            break;
        case Mode::Message:
            host_.ShowMain(ShowState::ShowNormal);
            break;
        default:
            host_.ShowMain(restore ? ShowState::Show : ShowState::ShowMinimized);
            break;
    }
}

}  // namespace glimmora
