// The artistic filters: noise, blot, emboss, oil paint, splash, mosaic, halftone, convolution, 3D grid.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "image/processors/processor.h"

namespace glimmora {

// The same as a copy of source grown by ExpandCanvas(true, left, top, right, bottom), in one pass.
Image MakeExpandedCopy(const Image& source, int left, int top, int right, int bottom);

// Adds independent noise to blue, green and red: each up to level / 2 either way.
// Seeds the process-wide generator from the time.
class UniformNoiseProcessor : public PixelProcessor {
  public:
    explicit UniformNoiseProcessor(int level);

    bool ValidateImage(const Image& image) override;
    void OnEnter(Image& image) override;
    void ProcessPixel(Image& image, int x, int y, uint8_t* pixel) override;
    void ProcessRow(Image& image, int y, uint8_t* row) override;
    int BandGrain() const override { return 1; }
    int RandomDrawsPerPixel() const override { return 3; }

  private:
    int level_;
    // Noise for every value of the generator, clipped to what can still change a byte.
    std::vector<int16_t> noise_;
};

// Adds the same roughly normal noise to all three channels (colourless blots). Level 0 to 100.
// Seeds the process-wide generator from the time.
class GaussianNoiseProcessor : public PixelProcessor {
  public:
    explicit GaussianNoiseProcessor(int level);

    bool ValidateImage(const Image& image) override;
    void OnEnter(Image& image) override;
    void ProcessPixel(Image& image, int x, int y, uint8_t* pixel) override;
    void ProcessRow(Image& image, int y, uint8_t* row) override;
    int BandGrain() const override { return 1; }
    int RandomDrawsPerPixel() const override { return 4; }

  private:
    int level_;
    // Noise for every sum of four draws (0 to 4 * 32767).
    std::vector<int16_t> noise_;
};

// Grey relief from the difference to the right-hand neighbour.
class EmbossProcessor : public PixelProcessor {
  public:
    explicit EmbossProcessor(int strength);

    bool ValidateImage(const Image& image) override;
    void OnEnter(Image& image) override;
    void ProcessPixel(Image& image, int x, int y, uint8_t* pixel) override;
    void ProcessRow(Image& image, int y, uint8_t* row) override;
    int BandGrain() const override { return 1; }

  private:
    int strength_;
    // Output grey for every difference of channel sums, -765 to 765.
    std::array<int32_t, 1531> value_{};  // 32 bits wide for the vector lookups
};

// Each pixel takes the colour of the most frequent grey level in the square around it.
class OilPaintProcessor : public PixelProcessor {
  public:
    explicit OilPaintProcessor(int radius);

    bool ValidateImage(const Image& image) override;
    void OnEnter(Image& image) override;
    void ProcessPixel(Image& image, int x, int y, uint8_t* pixel) override;
    void ProcessRow(Image& image, int y, uint8_t* row) override;
    int BandGrain() const override { return 1; }

    int Radius() const { return radius_; }

  private:
    int radius_;
    Image expanded_;
    Image grey_;
};

// Each pixel takes a randomly chosen nearby pixel of the source. Seeds the generator from the time.
class SplashProcessor : public PixelProcessor {
  public:
    explicit SplashProcessor(int spread);

    bool ValidateImage(const Image& image) override;
    void OnEnter(Image& image) override;
    void ProcessPixel(Image& image, int x, int y, uint8_t* pixel) override;
    void ProcessRow(Image& image, int y, uint8_t* row) override;
    int BandGrain() const override { return 1; }
    int RandomDrawsPerPixel() const override { return 2; }

  private:
    int spread_;
};

// Alpha-weighted block averages; 32-bit images only.
class MosaicProcessor : public PixelProcessor {
  public:
    explicit MosaicProcessor(int block);

    bool ValidateImage(const Image& image) override;
    void ProcessPixel(Image& image, int x, int y, uint8_t* pixel) override;
    void ProcessRow(Image& image, int y, uint8_t* row) override;
    // A block's first row holds its colour for the rows below: bands start at whole blocks.
    int BandGrain() const override { return block_; }

  private:
    // Writes the average of the block whose top-left is (x, y) into that pixel and returns it.
    uint32_t AverageBlock(Image& image, int x, int y) const;
    int block_;
};

// Black and white by an 8 x 8 ordered-dither matrix.
class HalftoneProcessor : public PixelProcessor {
  public:
    bool ValidateImage(const Image& image) override;
    void ProcessPixel(Image& image, int x, int y, uint8_t* pixel) override;
    void ProcessRow(Image& image, int y, uint8_t* row) override;
    int BandGrain() const override { return 1; }
};

// A square integer kernel over the edge-replicated picture: clamp(sum / divisor + offset) per channel.
class ConvolutionProcessor : public PixelProcessor {
  public:
    // kernel holds side * side values, row by row.
    ConvolutionProcessor(const int* kernel, int side, int divisor, int offset);

    // A null kernel or a side below 1 keeps the kernel in place.
    void SetKernel(const int* kernel, int side);

    bool ValidateImage(const Image& image) override;
    void OnEnter(Image& image) override;
    void ProcessPixel(Image& image, int x, int y, uint8_t* pixel) override;
    void ProcessRow(Image& image, int y, uint8_t* row) override;
    int BandGrain() const override { return grain_; }

  private:
    int Channel(int64_t sum) const;
    // expanded_ from image; false (and none) when it cannot be made.
    bool TakeExpandedCopy(const Image& image);
    // The edge-expanded original of row r for a row y being worked on.
    const uint8_t* OriginalLine(const Image& image, int r, int y) const;

    std::vector<int> kernel_{1};
    int side_ = 1;
    int divisor_;
    int offset_;
    // The whole picture expanded at its edges, for kernels whose sums need more than 32 bits and for
    // the per-pixel calls; row runs keep originals line by line instead.
    Image expanded_;
    // Row runs: bands start at multiples of grain_ rows. The lines on either side of every such start are
    // kept (expanded) before the run, as the neighbouring band may change them first; within a band each
    // thread keeps the originals of the lines it has just changed.
    int grain_ = 1;
    size_t lineBytes_ = 0;
    std::vector<uint8_t> kept_;
    std::vector<int> keptIndex_;  // per row: its line in kept_, or -1
    uint64_t run_ = 0;
    // Whole-row sums fit 32 bits (or even 16) for this kernel.
    bool narrowSums_ = false;
    bool shortSums_ = false;
    int64_t lowestSum_ = 0;
    // Output byte for every possible sum when their range is small.
    std::vector<uint8_t> channelTable_;
    // log2 of the divisor when it is a power of two and no sum is negative (the output is then a
    // shift), else -1.
    int shift_ = -1;
};

// The blur of the Filter menu: (1 2 1, 2 4 2, 1 2 1) / 16.
std::unique_ptr<ConvolutionProcessor> MakeBlurProcessor();

// Raised tiles: lines darkened and lightened near the edges of square cells.
class GridProcessor : public PixelProcessor {
  public:
    GridProcessor(int cellSize, int depth);

    bool ValidateImage(const Image& image) override;
    void OnEnter(Image& image) override;
    void ProcessPixel(Image& image, int x, int y, uint8_t* pixel) override;
    void ProcessRow(Image& image, int y, uint8_t* row) override;
    int BandGrain() const override { return 1; }

  private:
    int Shift(int x, int y) const;

    int cell_;
    int depth_;
    // Per column: inside the cell's width, on the lightened left line, on the darkened right line.
    std::vector<uint8_t> insideX_, leftLine_, rightLine_;
};

}  // namespace glimmora
