// One recovery write of a full-HD document (32-bit BMP and sidecar, each renamed into place) against the
// same picture as PNG through FreeImage, the lossless format that was the other choice. Into /dev/shm,
// so the file system's own pace stays out, and into /tmp.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <string>

#include "app/recovery/recovery_store.h"
#include "bench_picture.h"
#include "image/codecs/codecs.h"

namespace glimmora {
namespace {

const Image& FullHd() {
    static const Image picture = bench::PatternPicture(1920, 1080);
    return picture;
}

std::string Folder(int where) {
    return where == 0 ? "/dev/shm/glimmora-recovery-bench" : "/tmp/glimmora-recovery-bench";
}

void RecoveryEntryWrite(benchmark::State& state) {
    const RecoveryStore store(Folder(static_cast<int>(state.range(0))));
    RecoveryEntry entry;
    entry.name = RecoveryStore::EntryName(getpid(), 1);
    entry.pid = getpid();
    entry.title = "Capture1";
    for (auto _ : state) benchmark::DoNotOptimize(store.Write(entry, FullHd()));
    store.Remove(entry.name);
}
BENCHMARK(RecoveryEntryWrite)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void PngWrite(benchmark::State& state) {
    const std::string path = Folder(static_cast<int>(state.range(0))) + ".png";
    for (auto _ : state) {
        FreeImageCodec codec;
        codec.saveList.push_back(&FullHd());
        benchmark::DoNotOptimize(codec.SaveFile(path, 0));
    }
    unlink(path.c_str());
}
BENCHMARK(PngWrite)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace glimmora

BENCHMARK_MAIN();
