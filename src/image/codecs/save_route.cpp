#include "image/codecs/save_route.h"

#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "image/codecs/codecs.h"

namespace glimmora {

namespace {
bool SaveAsPcx(const Image& image, const std::string& path) {
    const char* tmpdir = std::getenv("TMPDIR");
    std::string pattern = std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") + "/glimmora-XXXXXX.bmp";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemps(name.data(), 4);
    if (fd < 0) return false;
    ::close(fd);
    const std::string temp(name.data());
    const bool ok = image.Save(temp, -1) && ConvertBmpToPcx(path, temp) != 0;
    ::unlink(temp.c_str());
    return ok;
}
}  // namespace

bool SaveImageFile(const Image& image, const std::string& path) {
    if (LowerExtensionOf(path) == "pcx") return SaveAsPcx(image, path);
    SetFactory(std::make_unique<GdiplusCodecFactory>());
    const bool ok = image.Save(path, -1);
    SetFactory(std::make_unique<FreeImageCodecFactory>());
    return ok;
}

}  // namespace glimmora
