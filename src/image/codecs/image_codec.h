// The codec layer: a file type from the name, a codec from the process-wide factory, frames in and out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "image/image.h"

namespace glimmora {

using ImageFormatId = int;
enum : ImageFormatId {
    kFormatNone = 0,
    kFormatBmp = 1,
    kFormatPcx = 2,
    kFormatJpeg = 3,
    kFormatGif = 4,
    kFormatTga = 5,
    kFormatTiff = 6,
    kFormatPng = 7,
    kFormatPsd = 8,
    kFormatIco = 9,
    kFormatXpm = 10,
    kFormatNative = 11,
};

// The text after the last '.' of the name, lower-cased; 0 when unknown or absent.
ImageFormatId FormatFromPath(const std::string& path);
// The extension as written (after the last '.' of the file name), empty when none.
std::string ExtensionOf(const std::string& path);
// The same in lower case (extensions are compared without regard to case).
std::string LowerExtensionOf(const std::string& path);

// Images produced by reading; the codec owns them until they are taken.
class LoadedFrames {
  public:
    virtual ~LoadedFrames();

  protected:
    std::deque<Image*> frames_;
};

class ImageCodec : public LoadedFrames {
  public:
    // Bigger files are refused before reading them into memory.
    static constexpr uint64_t kMaxFileBytes = uint64_t{2} << 30;

    ImageCodec() = default;
    ImageCodec(const ImageCodec&) = delete;
    ImageCodec& operator=(const ImageCodec&) = delete;

    virtual bool LoadFile(const std::string& path);
    virtual bool LoadMemory(const uint8_t* data, size_t size);
    virtual bool SaveFile(const std::string& path, int option);
    // transfer: the caller takes ownership and the codec keeps none; otherwise the codec still owns them.
    virtual std::deque<Image*> TakeFrames(bool transfer);
    ~ImageCodec() override = default;

    // Images to write; never destroyed by the codec. Every write uses the first one.
    std::deque<const Image*> saveList;
    // 32: the caller converts what it reads to 32 bits anyway, so readers that can widen 24-bit rows
    // as they read them do, instead of a second pass over the picture. 0: the file's own depth.
    int wantedDepth = 0;

  protected:
    void AddFrame(std::unique_ptr<Image> frame) { frames_.push_back(frame.release()); }
    const Image* FirstToSave() const {
        return saveList.empty() || !saveList.front() || !saveList.front()->IsValid() ? nullptr
                                                                                     : saveList.front();
    }
};

class ImageCodecFactory {
  public:
    virtual ~ImageCodecFactory() = default;
    virtual ImageFormatId FormatFromPath(const std::string& path) const;
    virtual std::unique_ptr<ImageCodec> CreateCodec(ImageFormatId id) const = 0;
};

class BuiltinCodecFactory : public ImageCodecFactory {
  public:
    std::unique_ptr<ImageCodec> CreateCodec(ImageFormatId id) const override;
};

class GdiplusCodecFactory : public ImageCodecFactory {
  public:
    std::unique_ptr<ImageCodec> CreateCodec(ImageFormatId id) const override;
};

class FreeImageCodecFactory : public ImageCodecFactory {
  public:
    std::unique_ptr<ImageCodec> CreateCodec(ImageFormatId id) const override;
};

// Reads path with the codec the factory picks for its name and moves the first picture into out. False
// (out unchanged, the reason in LastCodecError) when nothing could be read.
// wantedDepth as for ImageCodec::wantedDepth: a hint, the caller still converts what comes back.
bool LoadFirstFrame(const ImageCodecFactory& factory, const std::string& path, Image& out,
                    int wantedDepth = 0);

// Why the last read or write on this thread failed, in a few words for the user ("not a regular file",
// "picture too large: 32542 x 65536"); empty when the codec gave no reason.
const std::string& LastCodecError();
void SetCodecError(std::string why);
void ClearCodecError();

// The one current factory. Getting it when none is installed makes a built-in one.
ImageCodecFactory& CurrentFactory();
// Installs factory (taking it) and destroys the previous one; null only returns the current one.
ImageCodecFactory* SetFactory(std::unique_ptr<ImageCodecFactory> factory);

}  // namespace glimmora
