// Where the running program lives: config.ini, capture.wav, the help page and the stamps folder sit there.
#pragma once

#include <string>

namespace glimmora {

// The directory of /proc/self/exe with a trailing '/'; empty when the link cannot be read.
std::string ProgramDirectory();

}  // namespace glimmora
