// Writing image files without ever leaving a partial file under the user's name.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace glimmora {

// Creates a private file beside path, lets write fill it by name, then renames it over path. The temporary
// file is removed when write fails or the rename does.
bool WriteBesideThenRename(const std::string& path,
                           const std::function<bool(const std::string& temp)>& write);

// The same, for writers that stream into an open file.
bool WriteStreamAtomically(const std::string& path, const std::function<bool(std::FILE* file)>& write);

}  // namespace glimmora
