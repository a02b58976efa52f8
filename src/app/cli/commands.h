// The sub-commands of glimmora-cli. Each takes the words after its name and returns the exit status.
#pragma once

#include <string>
#include <vector>

#include "image/image.h"

namespace glimmora::cli {

using Args = std::vector<std::string>;

int RunInfo(const Args& args);
int RunConvert(const Args& args);
// Runs one image operation on a file: apply OPERATION [NAME=VALUE ...] IN OUT.
int RunApply(const Args& args);
// Captures the screen, a rectangle, a window or the active window to a file.
int RunGrab(const Args& args);
// The scrolling capture of one window.
int RunScroll(const Args& args);

// Loads like the editor (FreeImage factory) and converts to 32 bits; false with a message on stderr.
bool LoadForEditing(const std::string& path, Image& image);
// Saves through the document's route; false with a message on stderr. Nothing is left behind on failure.
bool SaveLikeDocument(const Image& image, const std::string& path);

}  // namespace glimmora::cli
