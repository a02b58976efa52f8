// What the capture routines need from the main window, its settings and the documents. The main frame
// implements it; tests drive the routines with a host of their own.
#pragma once

#include <string>

#include "capture/settings_record.h"
#include "image/image.h"
#include "platform/types.h"

namespace glimmora {

// How the main window is shown again; the names are the show commands they stand for.
enum class ShowState { Hide, Show, ShowMinimized, ShowNoActivate, ShowNormal };

// A document that receives a capture.
class CaptureDocument {
  public:
    virtual ~CaptureDocument() = default;
    // Pushes an undo step holding the present image and objects.
    virtual void RecordState() = 0;
    // Takes the 32-bit image as the document's picture, marks the document modified and updates its
    // views.
    virtual void TakeCapture(Image image) = 0;
    // The file the document now stands for; added to the recent-file list.
    virtual void SetPathName(const std::string& path) = 0;
};

class CaptureHost {
  public:
    virtual ~CaptureHost() = default;

    // The main frame's own record: the routines read it as they run and advance StartNum in it.
    virtual AppSettings& Settings() = 0;
    // The main window's id, 0 when it has none (yet).
    virtual WindowId MainWindow() = 0;
    // Each returns once the display has seen the change.
    virtual void ShowMain(ShowState state) = 0;
    virtual void ActivateMain() = 0;
    virtual void InvalidateMain() = 0;
    // The document of the active child window, or null.
    virtual CaptureDocument* ActiveDocument() = 0;
    // A new, empty document in a new child window, which becomes the active one.
    virtual CaptureDocument* NewDocumentForCapture() = 0;
    virtual void CopyToClipboard(const Image& image) = 0;
    virtual void PlaySound(const std::string& path) = 0;
    // The folder holding capture.wav, with a trailing '/'.
    virtual std::string ProgramDirectory() = 0;
    // A message box without owner, caption "Glimmora".
    virtual void MessageBox(const std::string& text) = 0;
    // Waits ms milliseconds while the window keeps painting but takes no other input; false when the user
    // pressed Esc meanwhile, which cancels the capture.
    virtual bool Wait(int ms) = 0;
    // Handles pending input (between scroll steps); true when Esc was pressed since the last call.
    virtual bool EscapePressed() = 0;
    // The capture has returned: the next one may start.
    virtual void CaptureEnded() {}
};

}  // namespace glimmora
