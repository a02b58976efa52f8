// The values of the tool option panel as the editor sees them. The panel window implements this;
// tests implement it with plain fields.
#pragma once

#include "editor/overlay_object.h"
#include "image/image.h"

namespace glimmora {

// Tool numbers, which also choose the option panel.
enum ToolNumber : int {
    kToolSelect = 0,
    kToolMove = 1,
    kToolCrop = 2,
    kToolText = 3,
    kToolZoom = 4,
    kToolLine = 5,
    kToolArrow = 6,
    kToolShape = 7,
    kToolHighlight = 8,
    kToolStamp = 9,
    kToolRedact = 10,
    kToolCounter = 11,
    kToolPen = 12,
    kToolMarker = 13,
};

class ToolPanel {
  public:
    virtual ~ToolPanel() = default;

    // Shows the panel of a tool number (keeping its values when it already shows that one).
    virtual void SetKind(int toolNumber) = 0;

    virtual int Width() const = 0;  // 1 ... 10
    virtual void SetWidth(int width) = 0;
    virtual int LineStyle() const = 0;
    virtual void SetLineStyle(int style) = 0;
    virtual int BoxStyle() const = 0;
    virtual void SetBoxStyle(int style) = 0;
    virtual int ArrowStyle() const = 0;
    virtual void SetArrowStyle(int style) = 0;
    virtual int Shape() const = 0;
    virtual void SetShape(int shape) = 0;
    // Line, arrow and highlight-box colour.
    virtual ColorRef Colour() const = 0;
    virtual void SetColour(ColorRef colour) = 0;
    virtual ColorRef TextBackColour() const = 0;
    virtual void SetTextBackColour(ColorRef colour) = 0;
    virtual ColorRef BorderColour() const = 0;
    virtual void SetBorderColour(ColorRef colour) = 0;
    virtual ColorRef ShapeBackColour() const = 0;
    virtual void SetShapeBackColour(ColorRef colour) = 0;
    virtual int Opacity() const = 0;  // the slider, 0 ... 100: the objects' transparency
    virtual void SetOpacity(int value) = 0;
    virtual int Shadow() const = 0;
    virtual void SetShadow(int on) = 0;
    virtual int StampNumber() const = 0;  // selected stamp + 1, 0 for none
    virtual void SetStampNumber(int number) = 0;
    // The picture of the selected stamp at full size; null when none is selected or it cannot load.
    virtual const Image* StampImage() const = 0;
    // The redaction tool: method (RedactMethod), pixelate block size, blur radius, solid colour.
    virtual int RedactMethod() const = 0;
    virtual void SetRedactMethod(int method) = 0;
    virtual int RedactBlock() const = 0;
    virtual void SetRedactBlock(int size) = 0;
    virtual int RedactRadius() const = 0;
    virtual void SetRedactRadius(int radius) = 0;
    virtual ColorRef RedactColour() const = 0;
    virtual void SetRedactColour(ColorRef colour) = 0;
    // The step counter: its shape (0 circle, 1 rounded square), the number a picture without counters
    // starts at, and whether deleting one renumbers those after it.
    virtual int CounterShape() const { return 0; }
    virtual void SetCounterShape(int) {}
    virtual int CounterStart() const { return 1; }
    virtual void SetCounterStart(int) {}
    virtual bool Renumber() const { return true; }
    virtual void SetRenumber(bool) {}
    // While the user drags a control (the opacity slider held down), a number that stays the same for
    // that whole drag and differs for the next one; 0 otherwise. A drag is one edit of the object.
    virtual int DragSerial() const { return 0; }
};

}  // namespace glimmora
