// info and convert, and the load/save routes every sub-command shares.
#include <sys/stat.h>

#include <cstdio>
#include <deque>
#include <memory>

#include "app/cli/commands.h"
#include "image/codecs/codecs.h"
#include "image/codecs/save_route.h"

namespace glimmora::cli {

namespace {
const char* FormatName(ImageFormatId id) {
    static const char* const names[] = {"unknown", "BMP", "PCX", "JPEG", "GIF", "TGA",
                                        "TIFF",    "PNG", "PSD", "ICO",  "XPM", "NBO"};
    return id >= 0 && id <= kFormatNative ? names[id] : "unknown";
}

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}
}  // namespace

bool LoadForEditing(const std::string& path, Image& image) {
    if (!FileExists(path)) {
        std::fprintf(stderr, "glimmora-cli: %s: no such file\n", path.c_str());
        return false;
    }
    SetFactory(std::make_unique<FreeImageCodecFactory>());
    if (!image.Load(path)) {
        std::fprintf(stderr, "glimmora-cli: %s: not a picture this program can read\n", path.c_str());
        return false;
    }
    if (!image.ConvertDepth(32)) {
        std::fprintf(stderr, "glimmora-cli: %s: picture too large to edit at 32 bits\n", path.c_str());
        return false;
    }
    return true;
}

bool SaveLikeDocument(const Image& image, const std::string& path) {
    if (!SaveImageFile(image, path)) {
        std::fprintf(stderr, "glimmora-cli: %s: could not be written (unknown extension or write error)\n",
                     path.c_str());
        return false;
    }
    return true;
}

int RunInfo(const Args& args) {
    if (args.size() != 1) {
        std::fputs("usage: glimmora-cli info FILE\n", stderr);
        return 2;
    }
    const std::string& path = args[0];
    if (!FileExists(path)) {
        std::fprintf(stderr, "glimmora-cli: %s: no such file\n", path.c_str());
        return 1;
    }
    FreeImageCodecFactory factory;
    const ImageFormatId id = factory.FormatFromPath(path);
    std::unique_ptr<ImageCodec> codec = factory.CreateCodec(id);
    if (!codec || !codec->LoadFile(path)) {
        std::fprintf(stderr, "glimmora-cli: %s: not a picture this program can read\n", path.c_str());
        return 1;
    }
    const std::deque<Image*> frames = codec->TakeFrames(false);
    if (frames.empty()) {
        std::fprintf(stderr, "glimmora-cli: %s: the file holds no pictures\n", path.c_str());
        return 1;
    }
    const Image& first = *frames.front();
    std::printf("format: %s\nsize: %dx%d\ndepth: %d\nframes: %zu\ndelays:", FormatName(id), first.Width(),
                first.Height(), first.Depth(), frames.size());
    for (const Image* frame : frames) std::printf(" %d", frame->FrameDelay());
    std::printf("\n");
    return 0;
}

int RunConvert(const Args& args) {
    if (args.size() != 2) {
        std::fputs("usage: glimmora-cli convert IN OUT\n", stderr);
        return 2;
    }
    Image image;
    if (!LoadForEditing(args[0], image)) return 1;
    return SaveLikeDocument(image, args[1]) ? 0 : 1;
}

}  // namespace glimmora::cli
