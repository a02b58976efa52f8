// Quarter turns, flips, rotation by any angle, resampling and the one-colour fill.
#pragma once

#include <cstdint>
#include <vector>

#include "image/processors/processor.h"

namespace glimmora {

// A quarter turn clockwise: the output pixel (x, y) is the source pixel (y, newWidth - 1 - x).
class Rotate90Processor : public PixelProcessor {
  public:
    bool ValidateImage(const Image& image) override;
    void OnEnter(Image& image) override;
    void ProcessPixel(Image& image, int x, int y, uint8_t* pixel) override;
    void ProcessRow(Image& image, int y, uint8_t* row) override;
    int BandGrain() const override { return 1; }

  protected:
    // Sets up the turned image; false when it could not be re-created (the image keeps its content).
    bool Prepare(Image& image);
    bool ready_ = false;
};

// A quarter turn counter-clockwise: the output pixel (x, y) is the source pixel (newHeight - 1 - y, x).
class Rotate270Processor : public Rotate90Processor {
  public:
    void ProcessPixel(Image& image, int x, int y, uint8_t* pixel) override;
    void ProcessRow(Image& image, int y, uint8_t* row) override;
};

// Mirrors left and right in place.
class FlipHorizontalProcessor : public PixelProcessor {
  public:
    bool ValidateImage(const Image& image) override;
    void ProcessPixel(Image& image, int x, int y, uint8_t* pixel) override;
    void ProcessRow(Image& image, int y, uint8_t* row) override;
    int BandGrain() const override { return 1; }
};

// Mirrors top and bottom in place.
class FlipVerticalProcessor : public PixelProcessor {
  public:
    bool ValidateImage(const Image& image) override;
    void ProcessPixel(Image& image, int x, int y, uint8_t* pixel) override;
    void ProcessRow(Image& image, int y, uint8_t* row) override;
    int BandGrain() const override { return 1; }
};

struct IntPoint {
    int64_t x = 0, y = 0;
};

// Rotation by any whole number of degrees, clockwise, onto a canvas that holds the whole turned
// picture; what lies outside the picture stays black (transparent at 32 bits).
class RotateProcessor final : public PixelProcessor {
  public:
    explicit RotateProcessor(int angle);

    bool ValidateImage(const Image& image) override;
    void OnEnter(Image& image) override;
    void ProcessPixel(Image& image, int x, int y, uint8_t* pixel) override;
    void ProcessRow(Image& image, int y, uint8_t* row) override;
    int BandGrain() const override { return 1; }

    struct SourcePoint {
        double sx = 0, sy = 0;
        bool inside = false;
    };
    // Where the output pixel (x, y) comes from in the source picture.
    virtual SourcePoint MapToSource(int x, int y) const;

    // Turns (x, y) by angle radians around (cx, cy); results rounded half away from zero.
    static IntPoint RotatePoint(int64_t x, int64_t y, double cx, double cy, double angle);

    int Degrees() const { return degrees_; }

  private:
    IntPoint Turn(int64_t x, int64_t y, double cx, double cy, double sinA, double cosA) const;
    void Sample(const SourcePoint& p, uint8_t* pixel, int bytes) const;

    int degrees_ = 0;
    double sinForward_ = 0, cosForward_ = 1;
    double sinInverse_ = 0, cosInverse_ = 1;
    int newWidth_ = 0, newHeight_ = 0;
    int sourceWidth_ = 0, sourceHeight_ = 0;
    bool ready_ = false;
    // Per output column: dx * cos and dx * sin of the inverse turn.
    std::vector<double> columnCos_, columnSin_;
};

// Nearest-neighbour resampling ("Good"). False, image unchanged, when there is nothing to do: no
// pixels, a size not positive, a depth below 8 or the same size.
bool ResizeNearest(Image& image, int width, int height);
// Bilinear resampling ("Better"), depth 24 and 32 only; progress after every row.
bool ResizeBilinear(Image& image, int width, int height, ProgressSink* progress);

// Fills every pixel with one colour. colour is 0x00BBGGRR (red in the low byte); alpha -1 keeps each
// pixel's alpha, otherwise it is written too (32-bit images only).
class FillColourProcessor : public PixelProcessor {
  public:
    explicit FillColourProcessor(uint32_t colour, int alpha = -1);

    bool ValidateImage(const Image& image) override;
    void ProcessPixel(Image& image, int x, int y, uint8_t* pixel) override;
    void ProcessRow(Image& image, int y, uint8_t* row) override;
    int BandGrain() const override { return 1; }

  private:
    uint8_t bytes_[4];
    int alpha_;
    bool writeAlpha_ = false;
};

}  // namespace glimmora
