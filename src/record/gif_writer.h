// GIF recordings in two passes, as one palette for the whole recording needs every frame first: while
// recording, frames go compressed into a spool file beside the output (identical frames kept once); at
// the end ImageMagick chooses the palette and dithers each frame to it, and giflib writes the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace glimmora::record {

class GifSpool {
  public:
    GifSpool() = default;
    ~GifSpool();
    GifSpool(const GifSpool&) = delete;
    GifSpool& operator=(const GifSpool&) = delete;

    // An unnamed temporary file in the folder of `output` (so a full disk shows while recording).
    bool Open(const std::string& output, int width, int height, std::string* error);
    // One frame of RGBx rows shown from ptsNs on. False with the reason (the disk is full).
    bool Add(const uint8_t* rgbx, int stride, uint64_t ptsNs, std::string* error);
    // When the last frame stops showing.
    void End(uint64_t endNs) { endNs_ = endNs; }
    int64_t Frames() const { return static_cast<int64_t>(frames_.size()); }

    // Writes the GIF. quality 1..100 sets the palette's size (70 and above: 255 colours and a transparent
    // entry). The spool's space is given back frame by frame as the GIF grows, so the frames spooled
    // before a disk filled up still fit. False with the reason; *written counts the frames in the file,
    // which play even when it could not be finished.
    bool WriteGif(const std::string& path, int quality, std::string* error, int64_t* written);

  private:
    struct Entry {
        uint64_t offset = 0;
        uint32_t size = 0;
        uint64_t ptsNs = 0;
    };
    bool Read(const Entry& entry, std::vector<uint8_t>& rgb) const;
    int fd_ = -1;
    int width_ = 0, height_ = 0;
    uint64_t end_ = 0;  // bytes written
    uint64_t endNs_ = 0;
    std::vector<Entry> frames_;
    std::vector<uint8_t> last_;  // the last frame added, packed RGB
    std::vector<uint8_t> packed_, compressed_;
};

}  // namespace glimmora::record
