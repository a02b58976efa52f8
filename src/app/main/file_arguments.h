// The files named on glimmora's command line, read the same way by the program and by its window module.
#pragma once

#include <string>
#include <vector>

namespace glimmora {

// The words that are not options, and every word after "--". The toolkit's own options that take a value
// (-platform NAME, -style NAME, ...) keep it.
std::vector<std::string> FileArguments(int argc, char** argv);

// path made absolute from the current folder (not resolved further: the file may not exist).
std::string AbsolutePath(const std::string& path);

}  // namespace glimmora
