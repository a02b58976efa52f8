// The concrete codecs behind the factories.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/codecs/image_codec.h"

namespace glimmora {

class ByteSource;

// Our own readers parse from memory or straight from the file, so pixels are copied once.
class BmpCodec : public ImageCodec {
  public:
    bool LoadFile(const std::string& path) override;
    bool LoadMemory(const uint8_t* data, size_t size) override;
    bool SaveFile(const std::string& path, int option) override;

  private:
    bool Parse(const ByteSource& source);
};

class TgaCodec : public ImageCodec {
  public:
    bool LoadFile(const std::string& path) override;
    bool LoadMemory(const uint8_t* data, size_t size) override;
    // option -1: uncompressed; 1: run-length coded.
    bool SaveFile(const std::string& path, int option) override;

  private:
    bool Parse(const ByteSource& source);
};

// Stands in for the platform's picture loader: any picture FreeImage reads from memory, as 24 bits.
class OlePictureCodec : public ImageCodec {
  public:
    bool LoadMemory(const uint8_t* data, size_t size) override;
};

// Stands in for the platform's codec library: readers map the decoded pixel format, writers pick the
// encoder by MIME type and accept every depth.
class GdiplusCodec : public ImageCodec {
  public:
    explicit GdiplusCodec(ImageFormatId format);
    ~GdiplusCodec() override;
    bool LoadFile(const std::string& path) override;
    bool LoadMemory(const uint8_t* data, size_t size) override;
    bool SaveFile(const std::string& path, int option) override;

  private:
    bool Load(const ByteSource& source);
    ImageFormatId format_;
};

// PNG for the editor's route: our own writer (png_writer.h) for every picture it covers, which never loads
// FreeImage; reading, and writing the few grey palettes FreeImage writes its own way, through GdiplusCodec.
class PngCodec : public ImageCodec {
  public:
    bool LoadFile(const std::string& path) override;
    bool LoadMemory(const uint8_t* data, size_t size) override;
    bool SaveFile(const std::string& path, int option) override;

  private:
    bool TakeFrom(GdiplusCodec& reader, bool loaded);
};

class FreeImageCodec : public ImageCodec {
  public:
    FreeImageCodec();
    ~FreeImageCodec() override;
    bool LoadFile(const std::string& path) override;
    bool LoadMemory(const uint8_t* data, size_t size) override;
    bool SaveFile(const std::string& path, int option) override;

  private:
    bool Load(const ByteSource& source);
};

// Writes the BMP file at bmpPath as a PCX file at pcxPath: 24 bits as three run-length planes, palette
// images as 8-bit PCX with the 256-colour palette. Nonzero when the PCX was written.
int ConvertBmpToPcx(const std::string& pcxPath, const std::string& bmpPath);

// Writes data to path through a temporary file in the same folder, so a failed write never leaves a
// partial file under the final name.
bool WriteFileAtomically(const std::string& path, const void* data, size_t size);
// The file header and bitmap info a BMP file of the picture starts with (its pixel block follows as
// stored); empty when the file would pass 4 GiB.
std::vector<uint8_t> BmpFileHead(const Image& image);

}  // namespace glimmora
