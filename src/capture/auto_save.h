// Numbered file names for automatically saved captures.
#pragma once

#include <string>

#include "capture/capture_host.h"

namespace glimmora {

// ImageSavePath + "/" + ImageSaveTitle + StartNum + the extension of ImageFormat (none for an unknown
// format). A number whose file already exists is skipped, so nothing is overwritten. StartNum moves past
// the number used.
std::string AutoSavePath(AppSettings& settings);
// The same numbering in folder with the extension given (".webm"): a screen recording's name.
std::string NumberedSavePath(AppSettings& settings, const std::string& folder, const std::string& extension);

}  // namespace glimmora
