// What the frame around a view does for it: the status bar's texts and the text dialog. The main frame
// implements this; a view without one shows no status and keeps a new text box's first text.
#pragma once

#include <QString>

namespace glimmora {

class TextObject;

class ViewHost {
  public:
    virtual ~ViewHost() = default;
    // Pane 0 holds the image size, pane 1 the zoom.
    virtual void SetStatusText(int pane, const QString& text) = 0;
    // The text dialog on the object; false when it was cancelled (the object is then unchanged). A new
    // object's dialog starts without alignment and styles, whatever the object holds.
    virtual bool EditText(TextObject& object, bool isNew) = 0;
    // A step counter's number; false when cancelled (the number is then unchanged).
    virtual bool EditNumber(int& number) {
        (void)number;
        return false;
    }
};

}  // namespace glimmora
