// The whole screen through the desktop portal's Screenshot interface, where no compositor protocol gives
// the pixels directly.
#pragma once

#include <string>

#include "image/image.h"

namespace glimmora {

inline constexpr int kPortalScreenshotTimeoutMs = 30000;

// Asks the portal for a picture of the whole screen without a dialog and reads it into out as a 24-bit
// image. False with a reason in *error (out unchanged) when the portal is missing, refuses, does not
// answer in time or hands over a file that cannot be read: never a black picture.
bool PortalScreenshot(Image& out, std::string* error, int timeoutMs = kPortalScreenshotTimeoutMs);

// Whether the portal's file may be removed once read: a regular file of ours directly inside a
// temporary folder. Pictures the portal saves among the user's own files stay.
bool IsPortalTemporaryFile(const std::string& path);

}  // namespace glimmora
