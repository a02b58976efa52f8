// One recovery write of a full-HD document (32-bit BMP and sidecar, each renamed into place) against the
// same picture as PNG through FreeImage, the lossless format that was the other choice. Into /dev/shm,
// so the file system's own pace stays out, and into /tmp. Then what one round of writes costs the window's
// thread for a tall 1920 x 20000 page: writing on it, as it once did, against handing a copy to the writer's
// thread.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <string>

#include "app/recovery/recovery_store.h"
#include "app/recovery/recovery_writer.h"
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

const Image& TallPage() {
    static const Image picture = bench::PatternPicture(1920, 20000);
    return picture;
}

// Arg 0: the copy and the whole write on the calling thread. Arg 1: the copy, then queued; the writer's
// work is waited for outside the timing.
void RecoveryRoundOnWindowThread(benchmark::State& state) {
    const RecoveryStore store(Folder(1));
    RecoveryWriter writer(store, nullptr);
    RecoveryEntry entry;
    entry.name = RecoveryStore::EntryName(getpid(), 2);
    entry.pid = getpid();
    entry.title = "Capture1";
    const bool queued = state.range(0) == 1;
    for (auto _ : state) {
        Image copy = TallPage();
        if (queued) {
            writer.Write(entry, std::move(copy));
        } else {
            benchmark::DoNotOptimize(store.Write(entry, copy));
        }
        state.PauseTiming();
        writer.Finish();
        state.ResumeTiming();
    }
    store.Remove(entry.name);
}
BENCHMARK(RecoveryRoundOnWindowThread)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace glimmora

BENCHMARK_MAIN();
