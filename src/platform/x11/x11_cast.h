// Screen recording on X11: GStreamer's ximagesrc reads the display through Xlib.
#pragma once

#include <string>

#include "platform/screencast.h"
#include "platform/x11/x11_screen.h"
#include "platform/x11/x11_windows.h"

namespace glimmora::x11 {

// Fills out for ximagesrc on `display` (empty: $DISPLAY). False with the reason in *error.
bool OpenX11Cast(const std::string& display, X11Screen& screen, X11Windows& windows,
                 const CastRequest& request, CastSource& out, std::string* error);

}  // namespace glimmora::x11
