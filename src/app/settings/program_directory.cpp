#include "app/settings/program_directory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace glimmora {

std::string ProgramDirectory() {
    // readlink gives no length up front: grow until the target fits with room to spare.
    std::vector<char> buffer(512);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return {};
        if (static_cast<size_t>(n) < buffer.size()) {
            std::string path(buffer.data(), static_cast<size_t>(n));
            const size_t slash = path.rfind('/');
            return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        }
        if (buffer.size() >= (size_t{1} << 20)) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::string DataDirectory() {
    return DataDirectoryFor(ProgramDirectory());
}

std::string DataDirectoryFor(const std::string& program) {
    if (program.empty()) return program;
    const std::string installed = program + GLIMMORA_DATA_FROM_PROGRAM;
    struct stat st;
    if (::stat(installed.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return program;
    // Without the "..": the path may reach messages and the help viewer.
    char* resolved = ::realpath(installed.c_str(), nullptr);
    if (!resolved) return installed;
    std::string result = std::string(resolved) + "/";
    std::free(resolved);
    return result;
}

}  // namespace glimmora
