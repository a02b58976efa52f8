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

// Starts making the private file for a later write of path and reserving bytes for it on another thread,
// so the file system's allocation of the new file overlaps the caller's work (reading and editing the
// picture) instead of following it. The file has no name until the next WriteBesideThenRename of path
// takes it over, so one nobody takes leaves nothing behind. Best effort: failures only lose the head start.
void ReserveWriteBeside(const std::string& path, size_t bytes);

// The same, for writers that stream into an open file.
bool WriteStreamAtomically(const std::string& path, const std::function<bool(std::FILE* file)>& write);

}  // namespace glimmora
