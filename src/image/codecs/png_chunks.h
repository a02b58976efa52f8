// Private chunks in PNG files: one put in before the end of a file we wrote, one read back out, and the
// byte tools a chunk that describes pixels needs. Every other program skips a chunk it does not know.
#pragma once

#include <cstdint>
#include <string>

#include "image/image.h"

namespace glimmora {

// Puts a chunk of the given four-letter type just before IEND, rewriting the file beside itself and
// renaming it over the old one. False (the file unchanged) when it is no PNG we can follow or the write
// fails.
bool AddPngChunk(const std::string& path, const char type[4], const std::string& data);

// The data of the first chunk of that type whose checksum is right; false when the file is no PNG, has
// none, or the chunk is larger than maxBytes.
bool ReadPngChunk(const std::string& path, const char type[4], std::string& data, size_t maxBytes);

// FNV-1a over the picture's size, depth and every row's pixel bytes (padding left out).
uint64_t PixelHash(const Image& image);

// The bytes where two 32-bit pictures of one size differ, as a compressed XOR of the two (nearly all
// zeros where little differs); empty when they are not both 32 bits of one size.
std::string PackDifference(const Image& a, const Image& b);
// b from a and the packed difference; false when it does not unpack to exactly a's size.
bool UnpackDifference(const std::string& packed, const Image& a, Image& b);

}  // namespace glimmora
