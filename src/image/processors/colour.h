// Colour adjustments: each pixel's blue, green and red change from the pixel alone; alpha never does.
#pragma once

#include <array>
#include <cstdint>

#include "image/processors/processor.h"

namespace glimmora {

// Channel masks.
constexpr int kMaskRed = 1;
constexpr int kMaskGreen = 2;
constexpr int kMaskBlue = 4;
constexpr int kMaskAll = 7;

// Table-driven adjustments: ChannelFunction is tabulated once per run and applied to the channels
// the mask selects.
class LookupProcessor : public PixelProcessor {
  public:
    LookupProcessor(int mask, int parameter);

    bool ValidateImage(const Image& image) override;
    void OnEnter(Image& image) override;
    void ProcessPixel(Image& image, int x, int y, uint8_t* pixel) override;
    void ProcessRow(Image& image, int y, uint8_t* row) override;
    int BandGrain() const override { return 1; }

    // The new value of a channel that holds v (0 to 255).
    virtual int ChannelFunction(int v) const = 0;

    int Parameter() const { return parameter_; }
    const std::array<int, 256>& Table() const { return table_; }

  protected:
    int parameter_;

  private:
    std::array<int, 256> table_{};
    bool red_, green_, blue_;
    // Blue, green and red tables for whole pixels, shifted into place (identity where not applied).
    std::array<std::array<uint32_t, 256>, 3> shifted_{};
    std::array<uint8_t, 256> bytes_{};
    // Blue, green and red flips when every table only flips bits (invert): no lookups needed.
    std::array<uint8_t, 3> flips_{};
    bool flipsOnly_ = false;
};

class BrightnessProcessor : public LookupProcessor {
  public:
    // percent >= 0; 100 leaves the picture alone.
    explicit BrightnessProcessor(int percent);
    int ChannelFunction(int v) const override;
};

class ContrastProcessor : public LookupProcessor {
  public:
    // percent >= 0; 100 leaves the picture alone, 0 makes it all 128.
    explicit ContrastProcessor(int percent);
    int ChannelFunction(int v) const override;
};

class InvertProcessor : public LookupProcessor {
  public:
    explicit InvertProcessor(int mask = kMaskAll);
    int ChannelFunction(int v) const override;
};

class PosterizeProcessor : public LookupProcessor {
  public:
    // levels >= 2.
    explicit PosterizeProcessor(int levels);
    int ChannelFunction(int v) const override;
};

// Hue, lightness and saturation as reals in 0 to 1.
struct Hls {
    double hue = 0, lightness = 0, saturation = 0;
};
Hls RgbToHls(uint8_t red, uint8_t green, uint8_t blue);
// Bytes blue, green, red.
std::array<uint8_t, 3> HlsToBgr(const Hls& hls);

// Scales hue and saturation by percentages (100 keeps them).
class HueSaturationProcessor : public PixelProcessor {
  public:
    HueSaturationProcessor(int huePercent, int saturationPercent);

    bool ValidateImage(const Image& image) override;
    void ProcessPixel(Image& image, int x, int y, uint8_t* pixel) override;
    void ProcessRow(Image& image, int y, uint8_t* row) override;
    int BandGrain() const override { return 1; }

  private:
    int hue_, saturation_;
};

// Adds an offset to each channel.
class RgbOffsetProcessor : public PixelProcessor {
  public:
    RgbOffsetProcessor(int red, int green, int blue);

    bool ValidateImage(const Image& image) override;
    void OnEnter(Image& image) override;
    void ProcessPixel(Image& image, int x, int y, uint8_t* pixel) override;
    void ProcessRow(Image& image, int y, uint8_t* row) override;
    int BandGrain() const override { return 1; }

  private:
    int red_, green_, blue_;
    // Blue, green, red.
    std::array<std::array<uint8_t, 256>, 3> tables_{};
};

// Stretches the input range lower..upper of the selected channels over 0 to 255. The automatic
// form finds the range of each channel from its histogram, clipping about 0.6 % at each end.
class LevelsProcessor : public PixelProcessor {
  public:
    LevelsProcessor(bool automatic, int lower, int upper, int mask);

    bool ValidateImage(const Image& image) override;
    void OnEnter(Image& image) override;
    void ProcessPixel(Image& image, int x, int y, uint8_t* pixel) override;
    void ProcessRow(Image& image, int y, uint8_t* row) override;
    int BandGrain() const override { return 1; }

    // Index 0 blue, 1 green, 2 red: the levels in force (after OnEnter for the automatic form).
    int Lower(int channel) const { return lower_[channel]; }
    int Upper(int channel) const { return upper_[channel]; }

  private:
    void FindLevels(const Image& image);
    void BuildTables();

    bool automatic_;
    std::array<int, 3> lower_, upper_;
    std::array<bool, 3> apply_;
    std::array<std::array<uint8_t, 256>, 3> tables_{};
};

// Recolours the picture by its grey values in shades of one tone colour.
class ColourToneProcessor : public PixelProcessor {
  public:
    ColourToneProcessor(uint8_t red, uint8_t green, uint8_t blue);

    bool ValidateImage(const Image& image) override;
    void ProcessPixel(Image& image, int x, int y, uint8_t* pixel) override;
    void ProcessRow(Image& image, int y, uint8_t* row) override;
    int BandGrain() const override { return 1; }

  private:
    std::array<int, 256> red_{}, green_{}, blue_{};
};

class GreyProcessor : public PixelProcessor {
  public:
    bool ValidateImage(const Image& image) override;
    void ProcessPixel(Image& image, int x, int y, uint8_t* pixel) override;
    void ProcessRow(Image& image, int y, uint8_t* row) override;
    int BandGrain() const override { return 1; }
};

}  // namespace glimmora
