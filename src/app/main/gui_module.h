// The entry points of glimmora-gui.so, the module the program loads beside itself for everything that needs
// Qt. The program alone answers --help, --version and requests that the session bus takes.
#pragma once

#include <cstdint>

#define GLIMMORA_GUI_MAIN "GlimmoraGuiMain"
#define GLIMMORA_GUI_SEND_OVER_X "GlimmoraGuiSendOverX"

extern "C" {
// Runs the main window until it quits; the process's exit status.
using GlimmoraGuiMainFn = int (*)(int argc, char** argv);
// Sends a request as an X client message to the main window on this display, for a session bus with no
// Glimmora on it; busReason is what the bus said. Status 0 when sent, 1 (with the reasons on stderr) if not.
using GlimmoraGuiSendOverXFn = int (*)(int argc, char** argv, uint32_t message, int64_t wParam,
                                       int64_t lParam, const char* busReason);
}
