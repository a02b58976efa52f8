// info and convert, and the load/save routes every sub-command shares.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>

#include "app/cli/commands.h"
#if GLIMMORA_CLI_OBJECTS
#include "editor/object_file.h"
#include "image/codecs/png_chunks.h"
#endif
#include "image/codecs/byte_source.h"
#include "image/codecs/codecs.h"
#include "image/codecs/file_util.h"
#include "image/codecs/freeimage_bridge.h"
#include "image/codecs/save_route.h"

namespace glimmora::cli {

namespace {
const char* FormatName(ImageFormatId id) {
    static const char* const names[] = {"unknown", "BMP", "PCX", "JPEG", "GIF", "TGA",
                                        "TIFF",    "PNG", "PSD", "ICO",  "XPM", "NBO"};
    return id >= 0 && id <= kFormatNative ? names[id] : "unknown";
}

// The last thing FreeImage's decoders said: the reason a file did not decode.
std::string g_decoderMessage;

void KeepDecoderMessage(FREE_IMAGE_FORMAT, const char* message) {
    g_decoderMessage = message ? message : "";
}

// Our listener replaces the silence FreeImage's initialisation installs; noting it does not load
// FreeImage, which BMP and TGA never need.
void ListenToDecoders() {
    static bool listening = false;
    if (listening) return;
    SetFreeImageListener(KeepDecoderMessage);
    listening = true;
}

// The format FreeImage finds in the content, whatever the name says.
FREE_IMAGE_FORMAT ContentFormat(const std::string& path) {
    ListenToDecoders();
    FreeImageInitialise();
    return FreeImage_GetFileType(path.c_str(), 0);
}

ImageFormatId ToFormatId(FREE_IMAGE_FORMAT fif) {
    switch (fif) {
        case FIF_BMP:
            return kFormatBmp;
        case FIF_PCX:
            return kFormatPcx;
        case FIF_JPEG:
            return kFormatJpeg;
        case FIF_GIF:
            return kFormatGif;
        case FIF_TARGA:
            return kFormatTga;
        case FIF_TIFF:
            return kFormatTiff;
        case FIF_PNG:
            return kFormatPng;
        case FIF_PSD:
            return kFormatPsd;
        case FIF_ICO:
            return kFormatIco;
        case FIF_XPM:
            return kFormatXpm;
        default:
            return kFormatNone;
    }
}

std::string ContentFormatName(FREE_IMAGE_FORMAT fif) {
    if (const ImageFormatId id = ToFormatId(fif); id != kFormatNone) return FormatName(id);
    const char* name = fif == FIF_UNKNOWN ? nullptr : FreeImage_GetFormatFromFIF(fif);
    return name ? name : "unknown";
}

// A regular file we may read, opened without blocking (a FIFO would wait for a writer forever);
// otherwise the reason it is none.
bool ReadableFile(const std::string& path, std::string& why) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        why = std::strerror(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        why = std::strerror(EISDIR);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        why = "not a regular file";
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    ::close(fd);
    if (st.st_size == 0) {
        why = "the file is empty";
        return false;
    }
    return true;
}

// Why a readable file gave no picture: what its content is, and what the decoder said.
std::string WhyNotDecoded(const std::string& path) {
    const FREE_IMAGE_FORMAT fif = ContentFormat(path);
    if (fif == FIF_UNKNOWN) return "not a picture format this program reads";
    std::string why = ContentFormatName(fif) + " data that could not be decoded";
    const std::string& reason = LastCodecError().empty() ? g_decoderMessage : LastCodecError();
    if (!reason.empty()) why += " (" + reason + ")";
    return why;
}

// Why path cannot be written: the extension, the folder, the file in the way.
std::string WhyNotWritten(const std::string& path, int saveErrno) {
    static const char* const written[] = {"bmp", "jpg", "jpeg", "gif", "tif", "tiff", "png", "tga", "pcx"};
    const std::string extension = LowerExtensionOf(path);
    bool known = false;
    for (const char* e : written) known |= extension == e;
    if (!known)
        return extension.empty() ? "no extension to choose a format by"
                                 : "no format is written for the extension '." + ExtensionOf(path) + "'";
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0) return folder + ": " + std::strerror(errno);
    if (!S_ISDIR(st.st_mode)) return folder + ": " + std::strerror(ENOTDIR);
    if (::access(folder.c_str(), W_OK | X_OK) != 0) return folder + ": " + std::strerror(errno);
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return std::strerror(EISDIR);
    if (!LastCodecError().empty()) return LastCodecError();
    if (saveErrno != 0) return std::strerror(saveErrno);
    return "the picture could not be encoded";
}
}  // namespace

bool LoadForEditing(const std::string& path, Image& image) {
    std::string why;
    if (!ReadableFile(path, why)) {
        std::fprintf(stderr, "glimmora-cli: %s: %s\n", path.c_str(), why.c_str());
        return false;
    }
    SetFactory(std::make_unique<FreeImageCodecFactory>());
    ListenToDecoders();
    g_decoderMessage.clear();
    // 32 bits wanted: our BMP reader widens its rows as it reads them.
    if (!LoadFirstFrame(CurrentFactory(), path, image, 32)) {
        std::fprintf(stderr, "glimmora-cli: %s: %s\n", path.c_str(), WhyNotDecoded(path).c_str());
        return false;
    }
    if (!image.ConvertDepth(32)) {
        std::fprintf(stderr, "glimmora-cli: %s: %dx%d is too large to edit (over %llu MiB at 32 bits)\n",
                     path.c_str(), image.Width(), image.Height(),
                     static_cast<unsigned long long>(Image::kMaxPixelBytes >> 20));
        return false;
    }
    return true;
}

void ReserveOutput(const std::string& in, const std::string& out, int64_t width, int64_t height) {
    if (LowerExtensionOf(out) != "bmp") return;
    if (width <= 0 || height <= 0) {
        // Only a BMP header tells the size without decoding anything.
        uint8_t head[14 + sizeof(BitmapInfoHeader)];
        FileSource source(in);
        if (!source.IsOpen() || source.Read(0, head, sizeof head) != sizeof head || head[0] != 'B' ||
            head[1] != 'M')
            return;
        BitmapInfoHeader info;
        std::memcpy(static_cast<void*>(&info), head + 14, sizeof info);
        width = info.biWidth;
        height = info.biHeight < 0 ? -int64_t{info.biHeight} : info.biHeight;
    }
    if (width <= 0 || height <= 0) return;
    const uint64_t bytes = 4 * static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    // Small files gain nothing from a head start; absurd sizes are the loader's to refuse.
    if (bytes < (uint64_t{8} << 20) || bytes > Image::kMaxPixelBytes) return;
    ReserveWriteBeside(out, static_cast<size_t>(bytes) + 66);
}

bool SaveLikeDocument(const Image& image, const std::string& path) {
    errno = 0;
    if (!SaveImageFile(image, path)) {
        const int saveErrno = errno;
        std::fprintf(stderr, "glimmora-cli: %s: cannot be written: %s\n", path.c_str(),
                     WhyNotWritten(path, saveErrno).c_str());
        return false;
    }
    return true;
}

bool Operands(const std::string& command, const Args& args, Args& operands) {
    bool optionsEnd = false;
    for (const std::string& a : args) {
        if (!optionsEnd && a == "--") {
            optionsEnd = true;
        } else if (!optionsEnd && a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "glimmora-cli: %s: unknown option '%s'\n", command.c_str(), a.c_str());
            return false;
        } else {
            operands.push_back(a);
        }
    }
    return true;
}

int RunInfo(const Args& args) {
    Args files;
    if (!Operands("info", args, files) || files.size() != 1) {
        PrintUsage("info", stderr);
        return 2;
    }
    const std::string& path = files[0];
    std::string why;
    if (!ReadableFile(path, why)) {
        std::fprintf(stderr, "glimmora-cli: %s: %s\n", path.c_str(), why.c_str());
        return 1;
    }
    // The content decides the format and the reader, not the name. Only a file FreeImage does not
    // recognise (a TGA without its footer) goes to the reader its extension names, and is named after
    // the reader that decoded it.
    const FREE_IMAGE_FORMAT fif = ContentFormat(path);
    g_decoderMessage.clear();
    FreeImageCodecFactory factory;
    const ImageFormatId id = fif != FIF_UNKNOWN ? ToFormatId(fif) : factory.FormatFromPath(path);
    std::unique_ptr<ImageCodec> codec = id != kFormatNone ? factory.CreateCodec(id) : nullptr;
    if (!codec && fif != FIF_UNKNOWN) codec = std::make_unique<FreeImageCodec>();
    if (!codec || !codec->LoadFile(path)) {
        std::fprintf(stderr, "glimmora-cli: %s: %s\n", path.c_str(), WhyNotDecoded(path).c_str());
        return 1;
    }
    const std::deque<Image*> frames = codec->TakeFrames(false);
    if (frames.empty()) {
        std::fprintf(stderr, "glimmora-cli: %s: the file holds no pictures\n", path.c_str());
        return 1;
    }
    const Image& first = *frames.front();
    const std::string format = fif != FIF_UNKNOWN ? ContentFormatName(fif) : FormatName(id);
    std::printf("format: %s\nsize: %dx%d\ndepth: %d\nframes: %zu\ndelays:", format.c_str(), first.Width(),
                first.Height(), first.Depth(), frames.size());
    for (const Image* frame : frames) std::printf(" %d", frame->FrameDelay());
    std::printf("\n");
#if GLIMMORA_CLI_OBJECTS
    // The objects the editor keeps beside a PNG's pixels, when they still belong to them.
    std::string chunk;
    ObjectList objects;
    Image beneath, flat = first;
    if (fif == FIF_PNG && ReadPngChunk(path, kObjectChunkType, chunk, kMaxObjectChunk) &&
        flat.ConvertDepth(32)) {
        const bool current = ReadObjectChunk(chunk, flat, beneath, objects);
        const std::vector<std::string> lines = DescribeObjectChunk(chunk);
        std::printf("objects: %zu%s\n", lines.size(), current ? "" : " (kept for other pixels: not used)");
        for (const std::string& line : lines) std::printf("  %s\n", line.c_str());
    }
#endif
    return 0;
}

int RunConvert(const Args& args) {
    Args files;
    if (!Operands("convert", args, files) || files.size() != 2) {
        PrintUsage("convert", stderr);
        return 2;
    }
    ReserveOutput(files[0], files[1]);
    Image image;
    if (!LoadForEditing(files[0], image)) return 1;
    return SaveLikeDocument(image, files[1]) ? 0 : 1;
}

}  // namespace glimmora::cli
