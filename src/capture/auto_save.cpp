#include "capture/auto_save.h"

#include <sys/stat.h>

#include <algorithm>
#include <limits>

namespace glimmora {

namespace {
bool PathExists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

const char* Extension(int format) {
    switch (format) {
        case 0:
            return ".bmp";
        case 1:
            return ".jpg";
        case 2:
            return ".png";
        case 3:
            return ".gif";
        default:
            return "";
    }
}
}  // namespace

std::string AutoSavePath(AppSettings& settings) {
    return NumberedSavePath(settings, settings.ImageSavePath, Extension(settings.ImageFormat));
}

std::string NumberedSavePath(AppSettings& settings, const std::string& folder, const std::string& extension) {
    // No separator is suppressed: a folder ending in '/' gets a second one, which the system accepts.
    const std::string stem = folder + "/" + settings.ImageSaveTitle;
    // Wide enough that a counter near the top of int cannot overflow while skipping.
    long long number = settings.StartNum;
    std::string path = stem + std::to_string(number) + extension;
    // Bounded, in case of a wildly full folder; the last name tried is then used.
    for (int tries = 0; tries < 100000 && PathExists(path); ++tries)
        path = stem + std::to_string(++number) + extension;
    settings.StartNum = static_cast<int>(std::min<long long>(number + 1, std::numeric_limits<int>::max()));
    return path;
}

}  // namespace glimmora
