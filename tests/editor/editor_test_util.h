// Pictures and a scripted option panel for the editor tests.
#pragma once

#include <array>
#include <cstdint>

#include "editor/tool_panel.h"
#include "image/image.h"

namespace glimmora::test {

using Bgra = std::array<int, 4>;

inline Image Filled(int w, int h, int depth, Bgra colour) {
    Image image;
    image.Create(w, h, depth);
    const uint8_t bytes[4] = {static_cast<uint8_t>(colour[0]), static_cast<uint8_t>(colour[1]),
                              static_cast<uint8_t>(colour[2]), static_cast<uint8_t>(colour[3])};
    image.FillRect({0, 0, w, h}, bytes);
    return image;
}

inline Image White(int w, int h) {
    return Filled(w, h, 32, {255, 255, 255, 255});
}

inline Bgra At(const Image& image, int x, int y) {
    const uint8_t* p = image.PixelAddress(x, y);
    return {p[0], p[1], p[2], image.Depth() == 32 ? p[3] : 255};
}

// The panel's values as plain fields; every call is what a user could have set in the panel.
class ScriptedPanel : public ToolPanel {
  public:
    void SetKind(int k) override { kind = k; }
    int Width() const override { return width; }
    void SetWidth(int v) override { width = v; }
    int LineStyle() const override { return lineStyle; }
    void SetLineStyle(int v) override { lineStyle = v; }
    int BoxStyle() const override { return boxStyle; }
    void SetBoxStyle(int v) override { boxStyle = v; }
    int ArrowStyle() const override { return arrowStyle; }
    void SetArrowStyle(int v) override { arrowStyle = v; }
    int Shape() const override { return shape; }
    void SetShape(int v) override { shape = v; }
    ColorRef Colour() const override { return colour; }
    void SetColour(ColorRef v) override { colour = v; }
    ColorRef TextBackColour() const override { return textBack; }
    void SetTextBackColour(ColorRef v) override { textBack = v; }
    ColorRef BorderColour() const override { return border; }
    void SetBorderColour(ColorRef v) override { border = v; }
    ColorRef ShapeBackColour() const override { return shapeBack; }
    void SetShapeBackColour(ColorRef v) override { shapeBack = v; }
    int Opacity() const override { return opacity; }
    void SetOpacity(int v) override { opacity = v; }
    int Shadow() const override { return shadow; }
    void SetShadow(int v) override { shadow = v; }
    int StampNumber() const override { return stampNumber; }
    void SetStampNumber(int v) override { stampNumber = v; }
    const Image* StampImage() const override { return stamp.IsValid() ? &stamp : nullptr; }
    int DragSerial() const override { return dragSerial; }
    int RedactMethod() const override { return redactMethod; }
    void SetRedactMethod(int v) override { redactMethod = v; }
    int RedactBlock() const override { return redactBlock; }
    void SetRedactBlock(int v) override { redactBlock = v; }
    int RedactRadius() const override { return redactRadius; }
    void SetRedactRadius(int v) override { redactRadius = v; }
    ColorRef RedactColour() const override { return redactColour; }
    void SetRedactColour(ColorRef v) override { redactColour = v; }
    int CounterShape() const override { return counterShape; }
    void SetCounterShape(int v) override { counterShape = v; }
    int CounterStart() const override { return counterStart; }
    void SetCounterStart(int v) override { counterStart = v; }
    bool Renumber() const override { return renumber; }
    void SetRenumber(bool v) override { renumber = v; }

    int kind = -1, width = 2, lineStyle = 0, boxStyle = 1, arrowStyle = 0, shape = 0;
    ColorRef colour = 0, textBack = 0xFFFFFF, border = 0, shapeBack = 0x808000;
    int opacity = 0, shadow = 1, stampNumber = 0;
    Image stamp;
    int dragSerial = 0;
    int redactMethod = 0, redactBlock = 16, redactRadius = 16;
    ColorRef redactColour = 0;
    int counterShape = 0, counterStart = 1;
    bool renumber = true;
};

}  // namespace glimmora::test
