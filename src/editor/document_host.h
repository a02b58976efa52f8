// What the windows around a document do for it. The main frame and the view implement these; tests
// implement them with scripted answers. A document without them asks nothing and shows nothing.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "image/processors/processor.h"

namespace glimmora {

// The six file types the save dialog offers, in its filter notation.
inline constexpr char kSaveFilter[] =
    "BMP (*.bmp)|*.bmp|JPEG (*.jpg, *.jpeg)|*.jpg;*.jpeg|PNG (*.png)|*.png|GIF (*.gif)|*.gif|TIFF (*.tif, "
    "*.tiff)|*.tif;*.tiff|PCX (*.pcx)|*.pcx||";
inline constexpr char kSaveDefaultExtension[] = "png";

// Message boxes (no owner window, caption "Glimmora") and the save-file dialog.
class DocumentPrompts {
  public:
    enum class Answer { kYes, kNo, kCancel };
    virtual ~DocumentPrompts() = default;
    // "Do you want to save the image?" with Yes, No and Cancel.
    virtual Answer AskSaveImage() = 0;
    // The save-file dialog (kSaveFilter, default extension png, overwrite prompt) starting at
    // initialName; no value when cancelled.
    virtual std::optional<std::string> AskSavePath(const std::string& initialName) = 0;
    // An information box with the given text.
    virtual void ShowMessage(const std::string& text) = 0;
    // "Clipboard image is large than the image, expand the image?" with Yes, No and Cancel. Without a
    // box to show, the paste is cancelled and the picture stays as it is.
    virtual Answer AskExpandForPaste() { return Answer::kCancel; }
};

// The document's first view, as far as the document needs it.
class DocumentView {
  public:
    virtual ~DocumentView() = default;
    // No selected object, no crop or rubber-band rectangle.
    virtual void ClearSelectionState() = 0;
};

// The status bar's progress indicator and the wait cursor around long operations.
class ProgressHost {
  public:
    virtual ~ProgressHost() = default;
    // A fresh indicator, range 0 to 100; it disappears when the returned object is destroyed.
    virtual std::unique_ptr<ProgressSink> CreateProgress() = 0;
    virtual void SetWaitCursor(bool on) = 0;
};

}  // namespace glimmora
