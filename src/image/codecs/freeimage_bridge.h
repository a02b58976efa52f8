// Moving pixels between FreeImage bitmaps and our images; used by the codecs built on FreeImage.
#pragma once

#include <FreeImage.h>

#include <memory>

#include "image/image.h"

namespace glimmora {

struct FreeImageDeleter {
    void operator()(FIBITMAP* dib) const {
        if (dib) FreeImage_Unload(dib);
    }
};
using FiBitmap = std::unique_ptr<FIBITMAP, FreeImageDeleter>;

// Initialises FreeImage; FreeImage counts these calls itself.
void FreeImageInitialise();
void FreeImageDeInitialise();
// Where FreeImage's messages go (null: nowhere). Does not load FreeImage: the listener is installed when
// FreeImageInitialise first runs, or at once when it already has.
void SetFreeImageListener(FreeImage_OutputMessageFunction listener);

// A plain copy of the bitmap's header, masks, palette and rows; null for pixel types we do not hold.
std::unique_ptr<Image> ImageFromBitmap(FIBITMAP* dib);
// Palette transparency becomes alpha (the image goes to 32 bits); "FrameTime" becomes the frame delay.
std::unique_ptr<Image> FrameFromBitmap(FIBITMAP* dib);
// The "FrameTime" animation metadata in milliseconds, 0 when absent.
int FrameDelayOf(FIBITMAP* dib);
// A FreeImage bitmap of the same size, depth, masks, palette and pixels.
FiBitmap BitmapFromImage(const Image& image);

}  // namespace glimmora

#include "image/codecs/byte_source.h"

namespace glimmora {
// FreeImage reading from one of our byte sources (a memory block or an open regular file). Every picture's
// declared size is checked against the size bound before any pixels are decoded, so a small file that
// declares a huge picture is refused at once.
class FreeImageInput {
  public:
    explicit FreeImageInput(const ByteSource& source);
    FreeImageInput(const FreeImageInput&) = delete;
    FreeImageInput& operator=(const FreeImageInput&) = delete;

    // The format by content; FIF_UNKNOWN (with the reason set) when it is none we can read safely.
    FREE_IMAGE_FORMAT Format() const { return format_; }
    // The first picture; null (with the reason set) when it cannot be decoded.
    FiBitmap LoadFirst();
    // Every page of a multi-page file; null when it cannot be opened. Close with FreeImage_CloseMultiBitmap.
    FIMULTIBITMAP* OpenPages();

  private:
    static unsigned Read(void* buffer, unsigned size, unsigned count, fi_handle handle);
    static unsigned Write(void* buffer, unsigned size, unsigned count, fi_handle handle);
    static int Seek(fi_handle handle, long offset, int origin);
    static long Tell(fi_handle handle);
    bool SizesFit();
    bool PagesFit();
    fi_handle Rewound();

    const ByteSource& source_;
    FreeImageIO io_{};
    size_t position_ = 0;
    FREE_IMAGE_FORMAT format_ = FIF_UNKNOWN;
};

// Detects the format of an in-memory file and decodes its first picture; null when it cannot. *format
// (when given) receives the detected format.
FiBitmap DecodeFromMemory(const uint8_t* data, size_t size, FREE_IMAGE_FORMAT* format = nullptr);

// Deep-colour and float bitmaps (16-bit PNG and TIFF, HDR) as 8 bits per channel; null when dib is
// already a plain bitmap or cannot be converted.
FiBitmap ToStandardBitmap(FIBITMAP* dib);
}  // namespace glimmora
