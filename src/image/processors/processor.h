// The pixel-processor framework: one driver runs a processor over an image, pixel by pixel or whole.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "image/image.h"

namespace glimmora {

// Where a run reports how far it has got. The caller decides which window shows it.
class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    // Before the first row.
    virtual void Start() = 0;
    // 0 to 100.
    virtual void SetPercent(int percent) = 0;
    // Asked after each row: true ends a per-pixel run there, the picture partly processed. For runs
    // whose result is thrown away once a newer one is wanted (a live preview).
    virtual bool Cancelled() { return false; }
};

// Which images a processor accepts. Every rule also needs pixels.
enum class ImageRule {
    kTrueColour,  // depth >= 24
    kBytePixels,  // depth >= 8
    kAlpha,       // depth == 32
    kRotatable,   // depth >= 24, width > 1 and height > 1
    kAny,         // any depth
};
bool ImageMeetsRule(const Image& image, ImageRule rule);

enum ProcessKind : int {
    kProcessWholeImage = 0,
    kProcessPerPixel = 1,
};

class PixelProcessor {
  public:
    PixelProcessor() = default;
    PixelProcessor(const PixelProcessor&) = delete;
    PixelProcessor& operator=(const PixelProcessor&) = delete;
    virtual ~PixelProcessor();

    // False: the run stops at once and the image is left exactly as it was.
    virtual bool ValidateImage(const Image& image) = 0;
    virtual int ProcessKind() const { return kProcessPerPixel; }
    virtual void OnEnter(Image& /*image*/) {}
    // pixel is the address of (x, y) in image.
    virtual void ProcessPixel(Image& /*image*/, int /*x*/, int /*y*/, uint8_t* /*pixel*/) {}
    virtual void ProcessWholeImage(Image& /*image*/, ProgressSink* /*progress*/) {}
    virtual void OnLeave(Image& /*image*/) {}

    // One row of a per-pixel run: the same bytes as ProcessPixel for x = 0 .. width - 1 in turn.
    // Processors override it with a tight loop; the default makes the per-pixel calls.
    virtual void ProcessRow(Image& image, int y, uint8_t* row);

    // Above 0: ProcessRow may run for several rows at once on other threads, in bands that start at
    // multiples of this many rows. 0, the default, keeps every row on the calling thread in order,
    // for processors that carry state from one pixel to the next.
    virtual int BandGrain() const { return 0; }
    // Draws that ProcessRow takes from the process-wide generator per pixel, so that every band can
    // start from the generator's exact state at its first row.
    virtual int RandomDrawsPerPixel() const { return 0; }

    // The copy OnEnter took, or null.
    const Image* Source() const { return source_.get(); }
    // The last run's preparation could not make what it needed (a copy, the re-created picture): the
    // picture was left as it was and the run reported failure.
    bool PreparationFailed() const { return preparationFailed_; }

  protected:
    // Releases the previous copy first; an image without pixels makes no copy.
    void TakeSourceCopy(const Image& image);
    // Moves the image's pixels into the source copy instead of copying them, for processors that
    // re-create the image at once anyway. The image is left without pixels until re-created.
    void TakeSourceByMove(Image& image);
    // Gives the pixels back after a failed re-create, so the image keeps its old content; the run
    // then ends without its pixel pass and reports failure.
    void RestoreFromSource(Image& image);
    void ReleaseSource() { source_.reset(); }
    // For OnEnter: nothing can be computed; the image must be unchanged.
    void MarkPreparationFailed() { preparationFailed_ = true; }

    std::unique_ptr<Image> source_;

  private:
    friend bool RunProcessor(Image& image, PixelProcessor& processor, ProgressSink* progress);
    bool preparationFailed_ = false;
};

// Runs processor over image: ValidateImage, OnEnter, Start, the pixels (rows top down, pixels left
// to right, SetPercent((y + 1) * 100 / height) after each row) or the whole image, OnLeave.
// Processors with a BandGrain run their rows in bands on RowBandThreads() threads with the same
// bytes out; the progress calls still come on the calling thread, one per row, rising to 100.
// Returns false when the processor rejected the image (nothing was called then) or its preparation
// failed (the image is unchanged, PreparationFailed() tells, and only OnLeave followed).
bool RunProcessor(Image& image, PixelProcessor& processor, ProgressSink* progress);

// Mixes four neighbouring pixels: p00 is (x, y), p10 (x + 1, y), p01 (x, y + 1), p11 (x + 1, y + 1);
// fx and fy are the distances from p00. With hasAlpha the pixels are 4 bytes and the colours are
// weighted by alpha; without, 3 bytes are read and alpha comes out 255. Bytes: blue, green, red, alpha.
std::array<uint8_t, 4> BilinearSample(double fx, double fy, bool hasAlpha, const uint8_t* p00,
                                      const uint8_t* p10, const uint8_t* p01, const uint8_t* p11);

// The process-wide pseudo-random generator of the noise and splash filters: values 0 to 32767,
// the same sequence for the same seed.
constexpr int kRandomMax = 32767;
void SeedRandom(uint32_t seed);
// Seeds from the current time in seconds.
void SeedRandomFromTime();
int Random();

}  // namespace glimmora
