#include "image/codecs/file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "image/codecs/codecs.h"

namespace glimmora {

namespace {
mode_t DefaultFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}
}  // namespace

bool WriteBesideThenRename(const std::string& path, const std::function<bool(const std::string&)>& write) {
    if (path.empty() || path.back() == '/') return false;
    std::string temp = path + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return false;
    temp.assign(name.data());
    // mkstemp makes the file 0600; a saved picture gets the mode any new file would get.
    ::fchmod(fd, DefaultFileMode());
    ::close(fd);
    bool ok = write(temp);
    if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

bool WriteStreamAtomically(const std::string& path, const std::function<bool(std::FILE*)>& write) {
    return WriteBesideThenRename(path, [&](const std::string& temp) {
        std::FILE* f = std::fopen(temp.c_str(), "wb");
        if (!f) return false;
        bool ok = write(f);
        ok = (std::fflush(f) == 0) && ok;
        ok = (std::fclose(f) == 0) && ok;
        return ok;
    });
}

bool WriteFileAtomically(const std::string& path, const void* data, size_t size) {
    return WriteStreamAtomically(
        path, [&](std::FILE* f) { return size == 0 || std::fwrite(data, 1, size, f) == size; });
}

}  // namespace glimmora
