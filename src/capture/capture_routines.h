// The capture modes and the sequence that finishes every capture.
#pragma once

#include <memory>

#include "capture/capture_host.h"
#include "image/image.h"
#include "platform/platform.h"
#include "platform/screencast.h"

namespace glimmora {

class CCapDialog;

class Capturer {
  public:
    enum class Mode { FullScreen, Region, Window, ActiveWindow, Scroll, FixRect, Message };

    Capturer(Platform& platform, CaptureHost& host);
    ~Capturer();

    // Each returns 1 when an image was captured and finished, 0 when nothing was (cancelled, empty
    // selection, rejected window, failed grab, or another capture still running).
    int CaptureFullScreen();
    // The monitor under the pointer, at its own device resolution.
    int CaptureCurrentScreen();
    int CaptureRegion();
    int CaptureWindow();
    int CaptureActiveWindow();
    int CaptureFixRect();
    // The region overlay for a picture that is not finished like a capture (no document, clipboard, file
    // or sound): 1 with the chosen part of the screen in picture, 0 when cancelled or empty. A main window
    // the settings hid is shown again, without taking the focus.
    int CaptureRegionPicture(Image& picture);
    int CaptureScroll();
    // What a recording records, chosen as the captures choose: the region or the window overlay (Esc
    // cancels), or the monitor under the pointer. The main window hides as for a capture and stays
    // hidden; 1 with *request filled, 0 when cancelled (the window shown again).
    enum class RecordArea { Region, Window, Screen };
    int PickRecordArea(RecordArea area, CastRequest& request);
    // A window named by another program: grabbed at once from the live screen.
    int CaptureWindowByMessage(WindowId window);

    // Makes the next overlay's window now, so a capture shows it sooner (a new window on Wayland costs
    // several round trips to the compositor).
    void PrepareOverlay();

    bool busy() const { return busy_; }
    // A capture still taking its picture: the delay, the overlay, the grab. Its last steps (the document,
    // the save, the window shown again) come after.
    bool takingPicture() const { return busy_ && !pictureDecided_; }

  private:
    class Busy;
    // The picture is taken, or there will be none: the rest is the capture's last steps.
    void PictureDecided() { pictureDecided_ = true; }
    // Ends a run that captured nothing.
    int Cancel();
    // Ends a run whose grab failed, saying why.
    int GrabFailed();
    // The region overlay with a hint, where the desktop cannot tell us its windows.
    int RegionInstead(const char* hint);
    // The window as the compositor picks and copies it (KWin), where no program may find windows.
    int WindowFromCompositor(bool active, Mode mode);
    void Finish(const Image& image, Mode mode);
    CaptureDocument* HandOver(const Image& image);
    void AutoSave(const Image& image, CaptureDocument* document);
    void ShowAfter(Mode mode);
    // The window made ahead of time when there is one, else a new one.
    std::unique_ptr<CCapDialog> Overlay(int mode);
    // Runs the overlay after the cursor has been drawn into its snapshot when asked; IDOK is 1.
    int RunOverlay(CCapDialog& dialog, bool includeCursor);
    int TakeFromOverlay(CCapDialog& dialog, bool includeCursor, Rect (CCapDialog::*area)() const, Mode mode);
    void RaiseNext(WindowId next);

    Platform& platform_;
    CaptureHost& host_;
    bool busy_ = false;
    bool pictureDecided_ = false;
    std::unique_ptr<CCapDialog> spare_;
};

}  // namespace glimmora
