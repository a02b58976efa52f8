// Screen grabs: ours (shared memory, converted to a 24-bit Image) against a bare shared-memory GetImage
// of the same rectangle, and the selection overlay's pointer move plus repaint. Run on a display at least
// 3840 x 2160 (bench/grab_peers.sh starts one); sizes that do not fit are skipped.
#include <benchmark/benchmark.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <cstdlib>
#include <memory>

#include "capture/cap_dialog.h"
#include "platform/platform.h"

namespace {

std::unique_ptr<glimmora::Platform>& SharedPlatform() {
    static std::unique_ptr<glimmora::Platform> platform = glimmora::Platform::Open();
    return platform;
}

bool Fits(benchmark::State& state, int w, int h) {
    auto& platform = SharedPlatform();
    if (!platform) {
        state.SkipWithError("no display");
        return false;
    }
    const glimmora::Size size = platform->screen().ScreenSize();
    if (size.width < w || size.height < h) {
        state.SkipWithError("the screen is smaller than the grab");
        return false;
    }
    return true;
}

void BM_GrabNewImage(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    if (!Fits(state, w, h)) return;
    for (auto _ : state) {
        glimmora::Image image;
        if (!SharedPlatform()->screen().Grab(glimmora::Rect{0, 0, w, h}, image))
            state.SkipWithError("grab failed");
        benchmark::DoNotOptimize(image.Bits());
    }
    state.SetBytesProcessed(state.iterations() * int64_t{w} * h * 4);
}

void BM_GrabReusedImage(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    if (!Fits(state, w, h)) return;
    glimmora::Image image;
    for (auto _ : state) {
        if (!SharedPlatform()->screen().Grab(glimmora::Rect{0, 0, w, h}, image))
            state.SkipWithError("grab failed");
        benchmark::DoNotOptimize(image.Bits());
    }
    state.SetBytesProcessed(state.iterations() * int64_t{w} * h * 4);
}

// The floor: the server copies the pixels into shared memory and answers; nothing is converted.
void BM_BareShmGetImage(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    if (!Fits(state, w, h)) return;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const size_t bytes = static_cast<size_t>(w) * static_cast<size_t>(h) * 4;
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    void* addr = shmat(id, nullptr, 0);
    const xcb_shm_seg_t seg = xcb_generate_id(c);
    xcb_shm_attach(c, seg, static_cast<uint32_t>(id), 0);
    shmctl(id, IPC_RMID, nullptr);
    for (auto _ : state) {
        xcb_shm_get_image_reply_t* reply = xcb_shm_get_image_reply(
            c,
            xcb_shm_get_image(c, screen->root, 0, 0, static_cast<uint16_t>(w), static_cast<uint16_t>(h), ~0u,
                              XCB_IMAGE_FORMAT_Z_PIXMAP, seg, 0),
            nullptr);
        if (!reply) state.SkipWithError("shm get image failed");
        std::free(reply);
        benchmark::DoNotOptimize(addr);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
    xcb_shm_detach(c, seg);
    shmdt(addr);
    xcb_disconnect(c);
}

// One pointer movement in the overlay and the repaint it causes, until the display has it. Alternates
// between two points so every round moves the magnifier, the selection and the fixed frame.
void BM_OverlayMoveRepaint(benchmark::State& state) {
    const int mode = static_cast<int>(state.range(0));
    if (!Fits(state, 3840, 2160)) return;
    glimmora::Platform& platform = *SharedPlatform();
    glimmora::CCapDialog dialog(platform, mode);
    dialog.SetFixedRectSize(400, 300);
    if (!dialog.Open()) {
        state.SkipWithError("overlay did not open");
        return;
    }
    QCoreApplication::processEvents();
    int i = 0;
    for (auto _ : state) {
        const int x = 1500 + (i % 2) * 37, y = 900 + (i % 2) * 23;
        ++i;
        dialog.MovePointer(x, y);
        QCoreApplication::processEvents();  // the repaint of what changed
        platform.input().Sync();            // and the display has drawn it
    }
    dialog.Close();
}

BENCHMARK(BM_GrabNewImage)
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_GrabReusedImage)
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_BareShmGetImage)
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_OverlayMoveRepaint)
    ->Arg(glimmora::CCapDialog::kRegion)
    ->Arg(glimmora::CCapDialog::kFixRect)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    // One device pixel per pixel, as in the program.
    setenv("QT_ENABLE_HIGHDPI_SCALING", "0", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    SharedPlatform().reset();
    return 0;
}
