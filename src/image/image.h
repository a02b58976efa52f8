// The one in-memory raster type: a bottom-up device-independent bitmap with a top-down row table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace glimmora {

// The 40-byte Windows BITMAPINFOHEADER, byte for byte as it sits in BMP files and DIB blocks.
#pragma pack(push, 1)
struct BitmapInfoHeader {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};
#pragma pack(pop)
static_assert(sizeof(BitmapInfoHeader) == 40);

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;

// Bytes per palette entry: blue, green, red, reserved.
struct PaletteEntry {
    uint8_t blue = 0, green = 0, red = 0, reserved = 0;
};
static_assert(sizeof(PaletteEntry) == 4);

// Top-left, right and bottom exclusive.
struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// Serializable base with the two virtual operations the image overrides.
class SerializableObject {
  public:
    virtual ~SerializableObject() = default;
    // storing: write into buffer; otherwise read from it. Returns the byte count, 0 on failure.
    virtual size_t Serialize(bool storing, uint8_t* buffer, size_t capacity);
};

// Releases a pixel block; mappedBytes is non-zero for blocks that came from mmap.
struct PixelBlockDeleter {
    size_t mappedBytes = 0;
    void operator()(uint8_t* p) const;
};

class Image : public SerializableObject {
  public:
    // Larger pixel blocks are refused: no screen or photo we handle comes near it.
#ifdef GLIMMORA_MAX_PIXEL_BYTES
    static constexpr uint64_t kMaxPixelBytes = GLIMMORA_MAX_PIXEL_BYTES;  // smaller in fuzz builds
#else
    static constexpr uint64_t kMaxPixelBytes = uint64_t{1} << 30;
#endif

    Image() = default;
    Image(const Image& other);
    Image& operator=(const Image& other);
    Image(Image&& other) noexcept;
    Image& operator=(Image&& other) noexcept;
    ~Image() override;

    bool Create(int width, int height, int depth);
    // masks: the three 16-bit bit-field masks that may follow the header; used for depth 16 with
    // compression 3 only.
    bool Create(const BitmapInfoHeader* header, const uint32_t* masks = nullptr);
    Image& CopyFrom(const Image& other);
    void Clear();

    bool IsValid() const { return pixels_ != nullptr; }
    int Width() const { return header_.biWidth; }
    int Height() const { return header_.biHeight; }
    int Depth() const { return header_.biBitCount; }
    int Stride() const { return stride_; }
    size_t PixelBytes() const { return static_cast<size_t>(stride_) * static_cast<size_t>(Height()); }
    const BitmapInfoHeader& Header() const { return header_; }
    uint32_t RedMask() const { return masks_[0]; }
    uint32_t GreenMask() const { return masks_[1]; }
    uint32_t BlueMask() const { return masks_[2]; }
    // Stored bottom-up, exactly as a DIB.
    uint8_t* Bits() { return pixels_.get(); }
    const uint8_t* Bits() const { return pixels_.get(); }

    // Row 0 is the top row.
    uint8_t* Row(int y) { return rows_[static_cast<size_t>(y)]; }
    const uint8_t* Row(int y) const { return rows_[static_cast<size_t>(y)]; }
    // No bounds check: callers guarantee the range.
    uint8_t* PixelAddress(int x, int y) { return Row(y) + static_cast<ptrdiff_t>(x) * Depth() / 8; }
    const uint8_t* PixelAddress(int x, int y) const {
        return Row(y) + static_cast<ptrdiff_t>(x) * Depth() / 8;
    }
    // 0 outside the image.
    uint32_t PixelValue(int x, int y) const;

    int PaletteSize() const { return Depth() <= 8 && IsValid() ? 1 << Depth() : 0; }
    const PaletteEntry* Palette() const { return palette_.empty() ? nullptr : palette_.data(); }
    bool GetPalette(int first, int count, PaletteEntry* out) const;
    bool SetPalette(int first, int count, const PaletteEntry* in);
    void CopyPaletteFrom(const Image& other);

    void SetAlphaAll(uint8_t alpha);
    // Header followed by the palette (depth <= 8) or the three masks.
    std::vector<uint8_t> MakeBitmapInfo() const;

    // Whether the picture now has the target depth; a failed conversion leaves it unchanged.
    bool ConvertDepth(int target);
    void ExpandCanvas(bool replicateEdges, int left, int top, int right, int bottom);
    bool Paste(const Image& source, int x, int y);
    void FillRect(Rect rect, const uint8_t* pixelBytes);

    size_t Serialize(bool storing, uint8_t* buffer, size_t capacity) override;
    // Byte count of the Serialize layout.
    size_t SerializedSize() const { return IsValid() ? PixelBytes() + 60 : 0; }

    // The clipboard's DIB block: header then pixels (24 and 32 bits only); empty if not possible.
    std::vector<uint8_t> ToDibBlock() const;
    // Reads a DIB block (header, palette or masks, pixels) the way a pasted picture is taken:
    // ends at 32 bits. False, image unchanged, for a block that is short or malformed.
    bool FromDibBlock(const uint8_t* data, size_t size);

    int PositionX() const { return posX_; }
    int PositionY() const { return posY_; }
    void SetPosition(int x, int y) {
        posX_ = x;
        posY_ = y;
    }
    int FrameDelay() const { return frameDelay_; }
    void SetFrameDelay(int delay) { frameDelay_ = delay; }

    // Through the process-wide codec factory.
    bool Load(const std::string& path);
    bool Save(const std::string& path, int option) const;

    static int StrideFor(int width, int depth) {
        return static_cast<int>(((static_cast<int64_t>(width) * depth + 31) / 32) * 4);
    }

  private:
    using FreeDeleter = PixelBlockDeleter;
    // zeroed false: the caller writes every byte (whole-image copies and conversions).
    static std::unique_ptr<uint8_t[], FreeDeleter> AllocatePixels(size_t bytes, bool zeroed);
    bool CreateBlock(const BitmapInfoHeader* header, const uint32_t* masks, bool zeroed);

    int posX_ = 0;
    int posY_ = 0;
    BitmapInfoHeader header_{};
    std::unique_ptr<uint8_t[], FreeDeleter> pixels_;
    std::vector<uint8_t*> rows_;
    uint32_t masks_[3] = {0, 0, 0};
    std::vector<PaletteEntry> palette_;
    int frameDelay_ = 0;
    int stride_ = 0;
};

}  // namespace glimmora
