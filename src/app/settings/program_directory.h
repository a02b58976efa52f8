// Where the running program lives (a portable config.ini sits there) and where its data is read from.
#pragma once

#include <string>

namespace glimmora {

// The directory of /proc/self/exe with a trailing '/'; empty when the link cannot be read.
std::string ProgramDirectory();

// The folder of the stamps, capture.wav and help/, with a trailing '/': the installed share/glimmora found
// from the program's own folder (so an unpacked package works too), else the program's folder itself
// (a build tree, a portable copy).
std::string DataDirectory();
std::string DataDirectoryFor(const std::string& programDirectory);

}  // namespace glimmora
