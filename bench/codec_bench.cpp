// Image core and codecs on a 1920x1080 screenshot-like picture and a 24-megapixel photo-like one, with a
// memcpy of the same bytes as the floor. Files go to /dev/shm so the disk does not set the pace.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "image/codecs/codecs.h"
#include "image/image.h"

namespace glimmora {
const Image& Picture(int which);
namespace {

// Flat panels, borders and dark "text" strokes: what a desktop capture looks like.
Image Screenshot() {
    Image img;
    img.Create(1920, 1080, 32);
    for (int y = 0; y < 1080; ++y) {
        uint8_t* p = img.Row(y);
        for (int x = 0; x < 1920; ++x, p += 4) {
            uint8_t v = (x / 240 + y / 135) % 2 ? 0xF0 : 0xE4;
            if (y % 24 < 14 && x % 400 > 40 && x % 400 < 360 && ((x * 7 + y * 3) % 11 < 4)) v = 0x20;
            if (x % 400 == 0 || y % 270 == 0) v = 0x80;
            p[0] = v;
            p[1] = static_cast<uint8_t>(v - (y < 40 ? 40 : 0));
            p[2] = v;
            p[3] = 255;
        }
    }
    return img;
}

// Smooth gradients with sensor-like noise.
Image Photo() {
    Image img;
    img.Create(6000, 4000, 32);
    uint32_t seed = 12345;
    for (int y = 0; y < 4000; ++y) {
        uint8_t* p = img.Row(y);
        for (int x = 0; x < 6000; ++x, p += 4) {
            seed = seed * 1103515245u + 12345u;
            const int n = static_cast<int>((seed >> 16) & 15) - 8;
            p[0] = static_cast<uint8_t>(std::clamp(x * 255 / 6000 + n, 0, 255));
            p[1] = static_cast<uint8_t>(std::clamp(y * 255 / 4000 + n, 0, 255));
            p[2] = static_cast<uint8_t>(std::clamp((x + y) * 255 / 10000 + n, 0, 255));
            p[3] = 255;
        }
    }
    return img;
}

}  // namespace

const Image& Picture(int which) {
    static const Image screen = Screenshot();
    static const Image photo = Photo();
    return which == 0 ? screen : photo;
}

namespace {

std::string ShmPath(const char* name) {
    return std::string("/dev/shm/glimmora-bench-") + name;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

void Label(benchmark::State& state, const Image& img) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(img.PixelBytes()));
    state.SetLabel(state.range(0) == 0 ? "screenshot 1920x1080" : "photo 6000x4000");
}

void BM_Memcpy(benchmark::State& state) {
    const Image& img = Picture(static_cast<int>(state.range(0)));
    std::vector<uint8_t> dst(img.PixelBytes());
    for (auto _ : state) {
        std::memcpy(dst.data(), img.Bits(), img.PixelBytes());
        benchmark::ClobberMemory();
    }
    Label(state, img);
}

// The kernel's share of every file codec: the same bytes written to a new file, and read back from the page
// cache into memory that already exists.
void BM_FileWriteFloor(benchmark::State& state) {
    const Image& img = Picture(static_cast<int>(state.range(0)));
    const std::string path = ShmPath("floor.raw");
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(img.Bits(), 1, img.PixelBytes(), f);
        std::fclose(f);
    }
    Label(state, img);
}

void BM_FileReadFloor(benchmark::State& state) {
    const Image& img = Picture(static_cast<int>(state.range(0)));
    const std::string path = ShmPath("floor.raw");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(img.Bits(), 1, img.PixelBytes(), f);
    std::fclose(f);
    std::vector<uint8_t> dst(img.PixelBytes());
    for (auto _ : state) {
        std::FILE* r = std::fopen(path.c_str(), "rb");
        benchmark::DoNotOptimize(std::fread(dst.data(), 1, dst.size(), r));
        std::fclose(r);
    }
    Label(state, img);
}

void BM_CopyFrom(benchmark::State& state) {
    const Image& img = Picture(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        Image copy;
        copy.CopyFrom(img);
        benchmark::DoNotOptimize(copy.Bits());
    }
    Label(state, img);
}

void BM_ConvertDepth32To24(benchmark::State& state) {
    const Image& img = Picture(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        Image copy(img);
        state.ResumeTiming();
        benchmark::DoNotOptimize(copy.ConvertDepth(24));
        benchmark::DoNotOptimize(copy.Bits());
    }
    Label(state, img);
}

void BM_ConvertDepth24To32(benchmark::State& state) {
    Image rgb(Picture(static_cast<int>(state.range(0))));
    if (!rgb.ConvertDepth(24)) return;
    for (auto _ : state) {
        state.PauseTiming();
        Image copy(rgb);
        state.ResumeTiming();
        benchmark::DoNotOptimize(copy.ConvertDepth(32));
        benchmark::DoNotOptimize(copy.Bits());
    }
    Label(state, Picture(static_cast<int>(state.range(0))));
}

template <typename Make>
void Encode(benchmark::State& state, const char* file, Make make) {
    const Image& img = Picture(static_cast<int>(state.range(0)));
    const std::string path = ShmPath(file);
    for (auto _ : state) {
        auto codec = make();
        codec->saveList.push_back(&img);
        if (!codec->SaveFile(path, -1)) state.SkipWithError("save failed");
    }
    Label(state, img);
    state.counters["file_MB"] = static_cast<double>(ReadAll(path).size()) / 1e6;
}

// The file is written the way the editor saves; make gives the reader.
template <typename Write, typename Make>
void Decode(benchmark::State& state, const char* file, Write write, Make make) {
    const Image& img = Picture(static_cast<int>(state.range(0)));
    const std::string path = ShmPath(file);
    auto writer = write();
    writer->saveList.push_back(&img);
    if (!writer->SaveFile(path, -1)) {
        state.SkipWithError("save failed");
        return;
    }
    for (auto _ : state) {
        auto codec = make();
        if (!codec->LoadFile(path)) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(codec->TakeFrames(false).front()->Bits());
    }
    Label(state, img);
}

auto MakeBmp = [] { return std::make_unique<BmpCodec>(); };
auto MakeTga = [] { return std::make_unique<TgaCodec>(); };
auto MakePng = [] { return std::make_unique<PngCodec>(); };
auto MakeFreeImagePng = [] { return std::make_unique<GdiplusCodec>(kFormatPng); };
auto MakeJpeg = [] { return std::make_unique<GdiplusCodec>(kFormatJpeg); };
auto MakeGif = [] { return std::make_unique<GdiplusCodec>(kFormatGif); };

void BM_BmpEncode(benchmark::State& s) {
    Encode(s, "a.bmp", MakeBmp);
}
void BM_BmpDecode(benchmark::State& s) {
    Decode(s, "b.bmp", MakeBmp, MakeBmp);
}
void BM_TgaEncode(benchmark::State& s) {
    Encode(s, "a.tga", MakeTga);
}
void BM_TgaDecode(benchmark::State& s) {
    Decode(s, "b.tga", MakeTga, MakeTga);
}
void BM_PngEncode(benchmark::State& s) {
    Encode(s, "a.png", MakePng);
}
// The editor's PNG encoder before our own writer, for comparison.
void BM_PngEncodeFreeImage(benchmark::State& s) {
    Encode(s, "f.png", MakeFreeImagePng);
}
void BM_PngDecode(benchmark::State& s) {
    Decode(s, "b.png", MakePng, [] { return std::make_unique<FreeImageCodec>(); });
}
void BM_JpegEncode(benchmark::State& s) {
    Encode(s, "a.jpg", MakeJpeg);
}
void BM_JpegDecode(benchmark::State& s) {
    Decode(s, "b.jpg", MakeJpeg, [] { return std::make_unique<FreeImageCodec>(); });
}
void BM_GifEncode(benchmark::State& s) {
    Encode(s, "a.gif", MakeGif);
}

#define PICTURES ->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()
BENCHMARK(BM_Memcpy) PICTURES;
BENCHMARK(BM_FileWriteFloor) PICTURES;
BENCHMARK(BM_FileReadFloor) PICTURES;
BENCHMARK(BM_CopyFrom) PICTURES;
BENCHMARK(BM_ConvertDepth32To24) PICTURES;
BENCHMARK(BM_ConvertDepth24To32) PICTURES;
BENCHMARK(BM_BmpEncode) PICTURES;
BENCHMARK(BM_BmpDecode) PICTURES;
BENCHMARK(BM_TgaEncode) PICTURES;
BENCHMARK(BM_TgaDecode) PICTURES;
BENCHMARK(BM_PngEncode) PICTURES;
BENCHMARK(BM_PngEncodeFreeImage) PICTURES;
BENCHMARK(BM_PngDecode) PICTURES;
BENCHMARK(BM_JpegEncode) PICTURES;
BENCHMARK(BM_JpegDecode) PICTURES;
BENCHMARK(BM_GifEncode) PICTURES;

}  // namespace
}  // namespace glimmora

// codec_bench --samples DIR writes the two benchmark pictures as BMP files for the whole-process comparison
// with other tools (bench/codec_peers.sh); anything else runs the benchmarks.
int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--samples") {
        const std::string dir = argv[2];
        for (int which : {0, 1}) {
            glimmora::BmpCodec codec;
            codec.saveList.push_back(&glimmora::Picture(which));
            if (!codec.SaveFile(dir + (which == 0 ? "/screenshot.bmp" : "/photo.bmp"), -1)) return 1;
        }
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
