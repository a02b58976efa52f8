// Windows copied by KWin itself (org.kde.KWin.ScreenShot2): on KDE Plasma no client learns where other
// windows are, but KWin picks the window under a click, or the active one, and hands over its pixels.
// KWin answers only programs whose launcher lists the interface in X-KDE-DBUS-Restricted-Interfaces.
#pragma once

#include <string>

#include "image/image.h"

namespace glimmora {

// Whether KWin offers the interface on the session bus; asked once per process.
bool KWinOffersScreenshots();

// The name of the output KWin calls active (by default the one under the pointer); empty where there is
// no KWin or it does not say.
std::string KWinActiveOutput();

enum class KWinWindow { Picked, Active };

// The picked window (KWin waits for the user's click) or the active one, with its frame, as a 24-bit
// image. False with a reason in *error, or with *error empty when the user cancelled the pick.
bool KWinWindowScreenshot(KWinWindow which, Image& out, std::string* error);

// Turns KWin's raw pixels (a QImage format number, rows of stride bytes) into a 24-bit image. False for
// a format we do not know or a buffer too short for the size. Also used by the tests.
bool ConvertKWinPixels(const std::string& bytes, int width, int height, int stride, int format, Image& out);

}  // namespace glimmora
