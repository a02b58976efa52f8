// Objects kept in a PNG file beside its flattened pixels, so the editor can reopen them editable: a private
// chunk holding the objects (redactions excepted: they are burnt in and the pixels beneath them are never
// kept) and the picture beneath the objects, as its difference from the flattened one. Other programs see
// the flattened picture alone.
#pragma once

#include <string>
#include <vector>

#include "editor/overlay_object.h"
#include "image/image.h"

namespace glimmora {

// The chunk's type: ancillary, private, not safe to copy into an edited picture.
inline constexpr char kObjectChunkType[5] = "glOB";
// No chunk of ours is larger; a larger one is not read.
inline constexpr size_t kMaxObjectChunk = size_t{256} << 20;

// The chunk for a picture whose pixels beneath the objects are base (redactions already burnt in) and
// whose saved pixels are flat; empty when there is nothing to keep (no objects but redactions) or the
// two pictures are not 32 bits of one size.
std::string MakeObjectChunk(const Image& base, const Image& flat, const ObjectList& objects);

// The picture beneath and the objects, from a chunk and the pixels the file holds. False, with both left
// alone, for a chunk of another version, one written for other pixels (the file was changed elsewhere),
// or anything malformed.
bool ReadObjectChunk(const std::string& chunk, const Image& flat, Image& base, ObjectList& objects);

// One line per object of a chunk ("line 10,20 - 110,80 width 3"); empty when the chunk is not readable.
std::vector<std::string> DescribeObjectChunk(const std::string& chunk);

}  // namespace glimmora
