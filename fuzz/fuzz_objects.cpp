// The editor's object chunk from a PNG file: whatever its bytes, reading it ends cleanly, and a chunk that
// does not belong to the pixels changes nothing.
#include <cstdint>
#include <cstring>
#include <string>

#include "editor/object_file.h"

using namespace glimmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Image flat = [] {
        Image white;
        white.Create(4, 4, 32);
        for (int y = 0; y < 4; ++y) std::memset(white.Row(y), 0xFF, 16);
        return white;
    }();
    const std::string chunk(reinterpret_cast<const char*>(data), size);
    DescribeObjectChunk(chunk);
    Image beneath;
    ObjectList objects;
    if (!ReadObjectChunk(chunk, flat, beneath, objects) && (beneath.IsValid() || !objects.empty()))
        __builtin_trap();
    return 0;
}
