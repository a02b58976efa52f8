// Feeds arbitrary bytes to the FreeImage route the editor opens files through, then takes every decoded
// picture down the paths a user's save would: 32, 24 and 8 bits, written as PCX, TGA and GIF and the PCX
// read back.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/codecs/codecs.h"
#include "image/codecs/freeimage_bridge.h"
#include "image/codecs/save_route.h"

namespace {
// The writers take file names: a private folder in memory-backed /dev/shm keeps them off the disk.
const std::string& Folder() {
    static const std::string folder = [] {
        char pattern[] = "/dev/shm/glimmora-fuzz-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        return std::string(made ? made : "/tmp");
    }();
    return folder;
}

void SaveEveryWay(const glimmora::Image& frame) {
    for (const char* name : {"/out.pcx", "/out.tga", "/out.gif"}) {
        const std::string path = Folder() + name;
        if (glimmora::SaveImageFile(frame, path) && std::string(name) == "/out.pcx") {
            glimmora::FreeImageCodec back;
            (void)back.LoadFile(path);
        }
        ::unlink(path.c_str());
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Kept initialised, so each input does not reload every plug-in.
    static const bool initialised = (glimmora::FreeImageInitialise(), true);
    (void)initialised;
    glimmora::FreeImageCodec codec;
    if (!codec.LoadMemory(data, size)) return 0;
    for (glimmora::Image* frame : codec.TakeFrames(false)) {
        glimmora::Image copy(*frame);
        SaveEveryWay(copy);  // as decoded: 1 to 32 bits, palettes and bit fields
        if (copy.ConvertDepth(32)) SaveEveryWay(copy);
        if (copy.ConvertDepth(24)) SaveEveryWay(copy);
    }
    return 0;
}
