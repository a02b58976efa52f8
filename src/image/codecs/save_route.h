// How the editor writes one picture to a file: the encoder follows the file name's extension.
#pragma once

#include <string>

#include "image/image.h"

namespace glimmora {

// .pcx (any letter case) goes through a private temporary BMP and the PCX converter; everything else is
// saved with the platform-codec factory installed for the one save, the FreeImage factory afterwards.
bool SaveImageFile(const Image& image, const std::string& path);

}  // namespace glimmora
