#include "record/gif_writer.h"

#include <fcntl.h>
#include <gif_lib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wand/MagickWand.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace glimmora::record {

namespace {
std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, const uint8_t* data, size_t size, uint64_t offset) {
    while (size > 0) {
        const ssize_t n = pwrite(fd, data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

struct WandDeleter {
    void operator()(MagickWand* w) const { DestroyMagickWand(w); }
};
using Wand = std::unique_ptr<MagickWand, WandDeleter>;

Wand WandOf(const std::vector<uint8_t>& rgb, int width, int height) {
    Wand wand(NewMagickWand());
    if (MagickConstituteImage(wand.get(), static_cast<size_t>(width), static_cast<size_t>(height), "RGB",
                              CharPixel, rgb.data()) == MagickFalse)
        return nullptr;
    return wand;
}

uint32_t Key(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
}

const char* GifErrorText(int code) {
    const char* text = GifErrorString(code);
    return text ? text : "unknown GIF error";
}
}  // namespace

GifSpool::~GifSpool() {
    if (fd_ >= 0) close(fd_);
}

bool GifSpool::Open(const std::string& output, int width, int height, std::string* error) {
    const std::string folder = FolderOf(output);
    fd_ = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        // File systems without unnamed files: a named one, removed at once.
        std::string name = folder + "/.glimmora-gif-XXXXXX";
        fd_ = mkostemp(name.data(), O_CLOEXEC);
        if (fd_ >= 0) unlink(name.c_str());
    }
    if (fd_ < 0) {
        if (error) *error = "cannot make a temporary file in " + folder + ": " + std::strerror(errno);
        return false;
    }
    width_ = width;
    height_ = height;
    return true;
}

bool GifSpool::Add(const uint8_t* rgbx, int stride, uint64_t ptsNs, std::string* error) {
    const size_t rowBytes = static_cast<size_t>(width_) * 3;
    packed_.resize(rowBytes * static_cast<size_t>(height_));
    for (int y = 0; y < height_; ++y) {
        const uint8_t* src = rgbx + static_cast<ptrdiff_t>(y) * stride;
        uint8_t* dst = packed_.data() + rowBytes * static_cast<size_t>(y);
        for (int x = 0; x < width_; ++x, src += 4, dst += 3) std::memcpy(dst, src, 3);
    }
    // A still screen makes no new frames: the one before shows longer.
    if (!frames_.empty() && packed_ == last_) return true;
    uLongf size = compressBound(static_cast<uLong>(packed_.size()));
    compressed_.resize(size);
    if (compress2(compressed_.data(), &size, packed_.data(), static_cast<uLong>(packed_.size()), 1) != Z_OK) {
        if (error) *error = "a frame could not be compressed";
        return false;
    }
    if (!WriteAll(fd_, compressed_.data(), size, end_)) {
        if (error)
            *error = std::string("the frames could not be stored beside the file: ") + std::strerror(errno);
        return false;
    }
    frames_.push_back(Entry{end_, static_cast<uint32_t>(size), ptsNs});
    end_ += size;
    last_.swap(packed_);
    return true;
}

bool GifSpool::Read(const Entry& entry, std::vector<uint8_t>& rgb) const {
    std::vector<uint8_t> data(entry.size);
    size_t done = 0;
    while (done < entry.size) {
        const ssize_t n =
            pread(fd_, data.data() + done, entry.size - done, static_cast<off_t>(entry.offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    rgb.resize(static_cast<size_t>(width_) * 3 * static_cast<size_t>(height_));
    uLongf size = static_cast<uLongf>(rgb.size());
    return uncompress(rgb.data(), &size, data.data(), entry.size) == Z_OK && size == rgb.size();
}

bool GifSpool::WriteGif(const std::string& path, int quality, std::string* error, int64_t* written) {
    *written = 0;
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (frames_.empty()) return fail("no frame was recorded");
    static std::once_flag magick;
    std::call_once(magick, [] { MagickWandGenesis(); });
    // 70 (the default) and above: the whole palette; below, fewer colours for smaller files.
    const int maxColours = std::clamp(255 * quality / 70, 16, 255);
    const size_t pixels = static_cast<size_t>(width_) * static_cast<size_t>(height_);

    // The palette. Few enough colours over the whole recording are kept exactly (screens usually
    // have few); otherwise ImageMagick quantises frames spread over the recording together.
    std::vector<uint32_t> palette;
    std::vector<uint8_t> rgb;
    {
        std::unordered_map<uint32_t, int> exact;
        bool fits = true;
        for (const Entry& e : frames_) {
            if (!Read(e, rgb)) return fail("the stored frames could not be read back");
            for (size_t i = 0; i < pixels && fits; ++i) {
                exact.emplace(Key(&rgb[i * 3]), 0);
                fits = exact.size() <= static_cast<size_t>(maxColours);
            }
            if (!fits) break;
        }
        if (fits) {
            for (const auto& [colour, unused] : exact) palette.push_back(colour);
            std::sort(palette.begin(), palette.end());
        } else {
            // Up to about 4 megapixels of samples, evenly spread.
            const size_t count = std::clamp<size_t>((size_t{4} << 20) / std::max<size_t>(pixels, 1), 1, 32);
            const size_t step = std::max<size_t>(1, frames_.size() / count);
            Wand samples(NewMagickWand());
            for (size_t i = 0; i < frames_.size(); i += step) {
                if (!Read(frames_[i], rgb)) return fail("the stored frames could not be read back");
                Wand frame = WandOf(rgb, width_, height_);
                if (!frame) return fail("ImageMagick could not take a frame");
                MagickAddImage(samples.get(), frame.get());
            }
            // One palette for all of them (not one tall picture: ImageMagick's policy caps a picture's
            // height).
            if (MagickQuantizeImages(samples.get(), static_cast<size_t>(maxColours), sRGBColorspace, 0,
                                     MagickFalse, MagickFalse) == MagickFalse)
                return fail("ImageMagick could not choose the palette");
            std::unordered_map<uint32_t, int> seen;
            std::vector<uint8_t> quantised(pixels * 3);
            MagickResetIterator(samples.get());
            while (MagickNextImage(samples.get()) != MagickFalse) {
                MagickExportImagePixels(samples.get(), 0, 0, static_cast<size_t>(width_),
                                        static_cast<size_t>(height_), "RGB", CharPixel, quantised.data());
                for (size_t i = 0; i < pixels; ++i) seen.emplace(Key(&quantised[i * 3]), 0);
            }
            for (const auto& [colour, unused] : seen) palette.push_back(colour);
            std::sort(palette.begin(), palette.end());
            if (palette.size() > static_cast<size_t>(maxColours))
                palette.resize(static_cast<size_t>(maxColours));
        }
    }
    // The palette as an image for ImageMagick's remap, and the lookup from colour to index.
    std::vector<uint8_t> paletteRgb;
    std::unordered_map<uint32_t, uint8_t> indexOf;
    for (size_t i = 0; i < palette.size(); ++i) {
        paletteRgb.push_back(static_cast<uint8_t>(palette[i] >> 16));
        paletteRgb.push_back(static_cast<uint8_t>(palette[i] >> 8));
        paletteRgb.push_back(static_cast<uint8_t>(palette[i]));
        indexOf[palette[i]] = static_cast<uint8_t>(i);
    }
    Wand paletteWand = WandOf(paletteRgb, static_cast<int>(palette.size()), 1);
    if (!paletteWand) return fail("ImageMagick could not take the palette");
    // The last entry of 256 stays free for the pixels that did not change since the frame before.
    const int transparent = 255;
    ColorMapObject* colourMap = GifMakeMapObject(256, nullptr);
    if (!colourMap) return fail("out of memory");
    for (size_t i = 0; i < 256; ++i) {
        const uint32_t c = i < palette.size() ? palette[i] : 0;
        colourMap->Colors[i] = GifColorType{static_cast<GifByteType>(c >> 16),
                                            static_cast<GifByteType>(c >> 8), static_cast<GifByteType>(c)};
    }

    int gifError = 0;
    errno = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &gifError);
    if (!gif) {
        GifFreeMapObject(colourMap);
        return fail("cannot write " + path + ": " + (errno ? std::strerror(errno) : GifErrorText(gifError)));
    }
    EGifSetGifVersion(gif, true);
    bool ok = EGifPutScreenDesc(gif, width_, height_, 8, 0, colourMap) == GIF_OK;
    GifFreeMapObject(colourMap);
    // Loops for ever.
    static const GifByteType netscape[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    static const GifByteType loop[] = {1, 0, 0};
    ok = ok && EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
         EGifPutExtensionBlock(gif, sizeof netscape, netscape) == GIF_OK &&
         EGifPutExtensionBlock(gif, sizeof loop, loop) == GIF_OK && EGifPutExtensionTrailer(gif) == GIF_OK;

    // Each frame is written once the next one's time gives its delay; unchanged frames add their time
    // to the one before.
    std::vector<uint8_t> canvas(pixels, 0), previous;
    struct Pending {
        int left = 0, top = 0, width = 0, height = 0;
        std::vector<uint8_t> pixels;
        uint64_t startNs = 0;
        bool transparent = false;
    } pending;
    bool havePending = false;
    const uint64_t firstNs = frames_.front().ptsNs;
    auto centis = [&](uint64_t ns) { return static_cast<int64_t>((ns - firstNs + 5'000'000) / 10'000'000); };
    auto flush = [&](uint64_t untilNs) {
        const int64_t delay = centis(untilNs) - centis(pending.startNs);
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = DISPOSE_DO_NOT;
        gcb.UserInputFlag = false;
        gcb.DelayTime = static_cast<int>(std::clamp<int64_t>(delay, 1, 65535));
        gcb.TransparentColor = pending.transparent ? transparent : NO_TRANSPARENT_COLOR;
        GifByteType extension[4];
        EGifGCBToExtension(&gcb, extension);
        ok = ok && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_OK &&
             EGifPutImageDesc(gif, pending.left, pending.top, pending.width, pending.height, false,
                              nullptr) == GIF_OK;
        for (int y = 0; ok && y < pending.height; ++y)
            ok = EGifPutLine(gif, pending.pixels.data() + static_cast<size_t>(y) * pending.width,
                             pending.width) == GIF_OK;
        if (ok) ++*written;
    };
    // Frames go through in batches: ImageMagick sets up its colour search once per remap call, which
    // per frame cost more than the dithering itself.
    struct Staged {
        uint64_t ptsNs = 0;
        int left = 0, top = 0, width = 0, height = 0;
        std::vector<uint8_t> box;      // the changed rectangle's colours
        std::vector<uint8_t> changed;  // 1 where the colour differs from the frame before
        std::vector<uint8_t> indices;
        bool mapped = true;
    };
    size_t freedUpTo = 0, next = 0;
    bool first = true;
    while (ok && next < frames_.size()) {
        std::vector<Staged> batch;
        size_t staged = 0;
        while (ok && next < frames_.size() && staged < (size_t{8} << 20)) {
            const Entry& e = frames_[next++];
            if (!Read(e, rgb)) {
                ok = false;
                break;
            }
            // Space back to the disk as the GIF grows: a disk filled by the spool still takes the GIF.
            const uint64_t freeEnd = (e.offset + e.size) & ~uint64_t{4095};
            if (freeEnd > freedUpTo) {
                fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(freedUpTo),
                          static_cast<off_t>(freeEnd - freedUpTo));
                freedUpTo = freeEnd;
            }
            // The rectangle whose colours changed since the frame before (all of the first).
            const size_t rowBytes = static_cast<size_t>(width_) * 3;
            int left = width_, top = height_, right = -1, bottom = -1;
            if (first) {
                left = top = 0;
                right = width_ - 1;
                bottom = height_ - 1;
            } else {
                for (int y = 0; y < height_; ++y) {
                    const uint8_t* a = &rgb[static_cast<size_t>(y) * rowBytes];
                    const uint8_t* b = &previous[static_cast<size_t>(y) * rowBytes];
                    if (std::memcmp(a, b, rowBytes) == 0) continue;
                    top = std::min(top, y);
                    bottom = y;
                    int x = 0;
                    while (std::memcmp(a + x * 3, b + x * 3, 3) == 0) ++x;
                    left = std::min(left, x);
                    x = width_ - 1;
                    while (std::memcmp(a + x * 3, b + x * 3, 3) == 0) --x;
                    right = std::max(right, x);
                }
            }
            if (right < 0) continue;  // nothing changed: the frame before shows longer
            Staged st;
            st.ptsNs = e.ptsNs;
            st.left = left;
            st.top = top;
            st.width = right - left + 1;
            st.height = bottom - top + 1;
            const size_t count = static_cast<size_t>(st.width) * st.height;
            st.box.resize(count * 3);
            st.changed.resize(count);
            st.indices.resize(count);
            for (int y = 0; y < st.height; ++y) {
                const size_t at = static_cast<size_t>(top + y) * width_ + static_cast<size_t>(left);
                const size_t in = static_cast<size_t>(y) * st.width;
                std::memcpy(&st.box[in * 3], &rgb[at * 3], static_cast<size_t>(st.width) * 3);
                for (int x = 0; x < st.width; ++x)
                    st.changed[in + x] =
                        first || std::memcmp(&rgb[(at + x) * 3], &previous[(at + x) * 3], 3) != 0;
            }
            // Looked up where every colour is in the palette, else dithered by ImageMagick below.
            for (size_t i = 0; i < count && st.mapped; ++i) {
                const auto it = indexOf.find(Key(&st.box[i * 3]));
                if (it == indexOf.end())
                    st.mapped = false;
                else
                    st.indices[i] = it->second;
            }
            staged += count;
            previous.swap(rgb);
            first = false;
            batch.push_back(std::move(st));
        }
        std::vector<Staged*> toRemap;
        Wand list(NewMagickWand());
        for (Staged& st : batch) {
            if (st.mapped) continue;
            Wand frame = WandOf(st.box, st.width, st.height);
            if (!frame || MagickAddImage(list.get(), frame.get()) == MagickFalse) {
                ok = false;
                break;
            }
            toRemap.push_back(&st);
        }
        if (ok && !toRemap.empty()) {
            MagickResetIterator(list.get());
            QuantizeInfo* quantize = AcquireQuantizeInfo(nullptr);
            quantize->dither = MagickTrue;
            quantize->dither_method = FloydSteinbergDitherMethod;
            ok = RemapImages(quantize, GetImageFromMagickWand(list.get()),
                             GetImageFromMagickWand(paletteWand.get())) != MagickFalse;
            DestroyQuantizeInfo(quantize);
            std::vector<uint8_t> remapped;
            MagickResetIterator(list.get());
            for (size_t n = 0; ok && n < toRemap.size() && MagickNextImage(list.get()) != MagickFalse; ++n) {
                Staged& st = *toRemap[n];
                remapped.resize(st.box.size());
                MagickExportImagePixels(list.get(), 0, 0, static_cast<size_t>(st.width),
                                        static_cast<size_t>(st.height), "RGB", CharPixel, remapped.data());
                for (size_t i = 0; i < st.indices.size(); ++i) {
                    const auto it = indexOf.find(Key(&remapped[i * 3]));
                    st.indices[i] = it == indexOf.end() ? 0 : it->second;
                }
            }
        }
        for (Staged& st : batch) {
            if (!ok) break;
            if (havePending) flush(st.ptsNs);
            pending.left = st.left;
            pending.top = st.top;
            pending.width = st.width;
            pending.height = st.height;
            pending.startNs = st.ptsNs;
            pending.transparent = havePending && palette.size() <= static_cast<size_t>(transparent);
            pending.pixels.resize(st.indices.size());
            // A pixel whose colour did not change keeps what the viewer shows, whatever the dithering
            // around it did: no dither noise churns from frame to frame, and the runs of the transparent
            // index pack well.
            for (int y = 0; y < st.height; ++y)
                for (int x = 0; x < st.width; ++x) {
                    const size_t at =
                        static_cast<size_t>(st.top + y) * width_ + static_cast<size_t>(st.left + x);
                    const size_t in = static_cast<size_t>(y) * st.width + static_cast<size_t>(x);
                    if (st.changed[in]) canvas[at] = st.indices[in];
                    pending.pixels[in] = !st.changed[in] && pending.transparent
                                             ? static_cast<uint8_t>(transparent)
                                             : canvas[at];
                }
            havePending = true;
        }
    }
    if (ok && havePending) flush(std::max(endNs_, pending.startNs + 1));
    const int savedErrno = errno;
    const bool closed = EGifCloseFile(gif, &gifError) == GIF_OK;
    if (!ok || !closed)
        return fail(std::string("the GIF could not be written: ") +
                    (savedErrno ? std::strerror(savedErrno) : GifErrorText(gifError)));
    return true;
}

}  // namespace glimmora::record
