// The sub-commands of glimmora-cli. Each takes the words after its name and returns the exit status.
#pragma once

#include <cstdio>
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
// A screen recording to WebM, MP4 or GIF.
int RunRecord(const Args& args);
// The text of a picture: ocr [--lang L] IN.
int RunOcr(const Args& args);

// "usage: ..." of one command (all of them for an unknown name).
void PrintUsage(const std::string& command, FILE* out);
// The usage line, then what the command does and its options.
void PrintCommandHelp(const std::string& command, FILE* out);
// The words that are not options; "--" ends the options. False, with a message, at an option
// (a word starting with '-') of a command that takes none.
bool Operands(const std::string& command, const Args& args, Args& operands);

// Decimal only (a leading zero is not octal); "A,B[,C,D]" into count of them; a window id, decimal or 0x...
// as xwininfo and xdotool print it.
bool ParseInt(const std::string& text, long long& out);
bool ParseInts(const std::string& text, int count, long long* out);
bool ParseWindow(const std::string& text, uint32_t& out);

// Loads like the editor (FreeImage factory) and converts to 32 bits; false with a message on stderr
// saying why (the system's reason, the decoder's).
bool LoadForEditing(const std::string& path, Image& image);
// Saves through the document's route; false with a message on stderr saying why. Nothing is left
// behind on failure.
bool SaveLikeDocument(const Image& image, const std::string& path);

// Before a load: when out is a BMP file, starts reserving its space on another thread, sized for a
// 32-bit picture of width x height, or of in's size when those are 0 and in is a BMP file.
void ReserveOutput(const std::string& in, const std::string& out, int64_t width = 0, int64_t height = 0);

}  // namespace glimmora::cli
