#include "image/codecs/png_chunks.h"

#include <libdeflate.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "image/codecs/file_util.h"

namespace glimmora {

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// A chunk may be up to 2^31 - 1 bytes; none of ours comes near a quarter of that.
constexpr uint32_t kMaxChunk = 0x7FFFFFFF;

uint32_t Big32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

void PutBig32(std::string& out, uint32_t v) {
    for (int shift : {24, 16, 8, 0}) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool ReadAll(const std::string& path, std::string& out, size_t limit) {
    File f(std::fopen(path.c_str(), "rb"));
    if (!f) return false;
    char buffer[1 << 16];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) {
        if (out.size() + n > limit) return false;
        out.append(buffer, n);
    }
    return !std::ferror(f.get());
}

}  // namespace

bool ReadPngChunk(const std::string& path, const char type[4], std::string& data, size_t maxBytes) {
    File f(std::fopen(path.c_str(), "rb"));
    if (!f) return false;
    uint8_t head[8];
    if (std::fread(head, 1, 8, f.get()) != 8 || std::memcmp(head, kSignature, 8) != 0) return false;
    for (;;) {
        if (std::fread(head, 1, 8, f.get()) != 8) return false;
        const uint32_t length = Big32(head);
        if (length > kMaxChunk) return false;
        if (std::memcmp(head + 4, "IEND", 4) == 0) return false;
        if (std::memcmp(head + 4, type, 4) != 0) {
            if (std::fseek(f.get(), static_cast<long>(length) + 4, SEEK_CUR) != 0) return false;
            continue;
        }
        if (length > maxBytes) return false;
        std::string body(length, '\0');
        uint8_t crc[4];
        if (std::fread(body.data(), 1, length, f.get()) != length || std::fread(crc, 1, 4, f.get()) != 4)
            return false;
        const uint32_t want = libdeflate_crc32(libdeflate_crc32(0, type, 4), body.data(), body.size());
        if (want != Big32(crc)) return false;
        data = std::move(body);
        return true;
    }
}

bool AddPngChunk(const std::string& path, const char type[4], const std::string& data) {
    if (data.size() > kMaxChunk) return false;
    std::string file;
    // The file we just wrote: a picture's PNG is far below the pixel bound.
    if (!ReadAll(path, file, Image::kMaxPixelBytes + (size_t{64} << 20))) return false;
    // Our writers end with an empty IEND: its twelve bytes are the file's last.
    static const uint8_t kEnd[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    if (file.size() < 8 + 12 || std::memcmp(file.data(), kSignature, 8) != 0 ||
        std::memcmp(file.data() + file.size() - 12, kEnd, 12) != 0)
        return false;
    std::string chunk;
    PutBig32(chunk, static_cast<uint32_t>(data.size()));
    chunk.append(type, 4);
    chunk += data;
    PutBig32(chunk, libdeflate_crc32(libdeflate_crc32(0, type, 4), data.data(), data.size()));
    file.insert(file.size() - 12, chunk);
    return WriteStreamAtomically(
        path, [&](std::FILE* out) { return std::fwrite(file.data(), 1, file.size(), out) == file.size(); });
}

uint64_t PixelHash(const Image& image) {
    uint64_t h = 0xcbf29ce484222325ULL;
    auto mix = [&h](const uint8_t* p, size_t n) {
        for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 0x100000001b3ULL;
    };
    const int32_t head[3] = {image.Width(), image.Height(), image.Depth()};
    mix(reinterpret_cast<const uint8_t*>(head), sizeof head);
    if (!image.IsValid()) return h;
    const size_t row = (static_cast<size_t>(image.Width()) * static_cast<size_t>(image.Depth()) + 7) / 8;
    for (int y = 0; y < image.Height(); ++y) mix(image.Row(y), row);
    return h;
}

std::string PackDifference(const Image& a, const Image& b) {
    if (!a.IsValid() || !b.IsValid() || a.Depth() != 32 || b.Depth() != 32 || a.Width() != b.Width() ||
        a.Height() != b.Height())
        return {};
    const size_t row = static_cast<size_t>(a.Width()) * 4;
    std::vector<uint8_t> x(row * static_cast<size_t>(a.Height()));
    for (int y = 0; y < a.Height(); ++y) {
        const uint8_t* p = a.Row(y);
        const uint8_t* q = b.Row(y);
        uint8_t* d = x.data() + row * static_cast<size_t>(y);
        for (size_t i = 0; i < row; ++i) d[i] = p[i] ^ q[i];
    }
    libdeflate_compressor* c = libdeflate_alloc_compressor(6);
    if (!c) return {};
    std::string out(libdeflate_zlib_compress_bound(c, x.size()), '\0');
    const size_t n = libdeflate_zlib_compress(c, x.data(), x.size(), out.data(), out.size());
    libdeflate_free_compressor(c);
    out.resize(n);
    return out;
}

bool UnpackDifference(const std::string& packed, const Image& a, Image& b) {
    if (!a.IsValid() || a.Depth() != 32 || packed.empty()) return false;
    const size_t row = static_cast<size_t>(a.Width()) * 4;
    std::vector<uint8_t> x(row * static_cast<size_t>(a.Height()));
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    if (!d) return false;
    // Exactly the picture's bytes, or nothing: a shorter or longer stream is refused.
    const libdeflate_result r =
        libdeflate_zlib_decompress(d, packed.data(), packed.size(), x.data(), x.size(), nullptr);
    libdeflate_free_decompressor(d);
    if (r != LIBDEFLATE_SUCCESS) return false;
    Image out;
    if (!out.Create(a.Width(), a.Height(), 32)) return false;
    for (int y = 0; y < a.Height(); ++y) {
        const uint8_t* p = a.Row(y);
        const uint8_t* s = x.data() + row * static_cast<size_t>(y);
        uint8_t* q = out.Row(y);
        for (size_t i = 0; i < row; ++i) q[i] = p[i] ^ s[i];
    }
    b = std::move(out);
    return true;
}

}  // namespace glimmora
