// Shared by the codec tests: a private folder and small pictures with known pixels.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "image/image.h"

namespace glimmora::test {

class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "glimmora-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

inline std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

inline void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline uint8_t PatternByte(int i, int y) {
    return static_cast<uint8_t>((i * 37 + y * 101 + 13) ^ (y << 3));
}

// A picture whose every pixel differs from its neighbours; alpha varies too at 32 bits.
inline Image Pattern(int w, int h, int depth) {
    Image img;
    img.Create(w, h, depth);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = img.Row(y);
        const int bytes = depth >= 8 ? w * depth / 8 : (w * depth + 7) / 8;
        for (int i = 0; i < bytes; ++i) row[i] = static_cast<uint8_t>(PatternByte(i, y));
    }
    return img;
}

inline bool SamePixels(const Image& a, const Image& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.Depth() != b.Depth()) return false;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (a.PixelValue(x, y) != b.PixelValue(x, y)) return false;
    return true;
}

}  // namespace glimmora::test
