// Joining raw deflate streams compressed apart. A whole-buffer compressor (libdeflate) ends every stream
// with a final block and says neither where that block starts nor how many bits the stream has; to let
// another stream follow, the final block must become an ordinary one and the stream end byte-aligned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace glimmora {

// Walks every block of the raw deflate stream in stream[from, end) (one complete stream, nothing after it),
// clears the final block's BFINAL bit and appends an empty stored block, which ends on a byte boundary, so
// the next stream's blocks can follow. False, stream unchanged, when the bytes are not exactly one valid
// deflate stream.
bool OpenDeflateEnd(std::vector<uint8_t>& stream, size_t from);

}  // namespace glimmora
