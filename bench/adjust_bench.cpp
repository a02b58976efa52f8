// An adjustment dialog on a 24-megapixel document: what one slider move costs the user-interface
// thread (the thumbnail, plus handing the whole picture to the preview thread when "Preview" is
// ticked), and the whole-picture run that the preview thread makes.
#include <benchmark/benchmark.h>

#include "bench_picture.h"

#include <QCheckBox>
#include <QSlider>
#include <chrono>
#include <thread>

#include "editor/image_commands.h"
#include "editor/tavrik_doc.h"
#include "ui/adjust_dlg.h"

namespace glimmora {
namespace {

constexpr int kWidth = 6000, kHeight = 4000;

CTavrikDoc& Document() {
    static CTavrikDoc doc;
    if (!doc.image.IsValid()) doc.image = bench::PatternPicture(kWidth, kHeight);
    return doc;
}

constexpr int kTemplates[] = {adjust_template::kHueSaturation, adjust_template::kRgbValue,
                              adjust_template::kOilPaint, adjust_template::kMosaic, adjust_template::kRotate};

// One slider move: the thumbnail, and with "Preview" the request to the preview thread (not its run).
void BM_SliderMove(benchmark::State& state) {
    const int templateId = kTemplates[state.range(0)];
    const bool preview = state.range(1) != 0;
    AdjustDlg dialog(&Document(), templateId);
    dialog.PreviewBox()->setChecked(preview);
    QSlider* slider = dialog.Sliders()[0];
    const int start = std::min(slider->value(), slider->maximum() - 2);
    int step = 0;
    for (auto _ : state) {
        slider->setValue(start + (++step % 2) + 1);
        benchmark::DoNotOptimize(dialog.PreviewImage().Bits());
    }
    state.SetLabel(FindAdjustTemplate(templateId)->title);
    dialog.reject();
}
BENCHMARK(BM_SliderMove)
    ->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

// The preview thread's work for one value: a copy of the picture and the processor over it.
void BM_WholePicture(benchmark::State& state) {
    const int templateId = kTemplates[state.range(0)];
    AdjustValues values;
    const AdjustTemplate* t = FindAdjustTemplate(templateId);
    values.value1 = t->sliders[0].start;
    values.value2 = t->sliders[1].start;
    for (auto _ : state) {
        Image picture(Document().image);
        // At full strength: the dialog scales the size-dependent ones down by its zoom.
        auto processor = MakeAdjustProcessor(templateId, values, 1.0);
        if (templateId == adjust_template::kMosaic) (void)picture.ConvertDepth(32);
        RunProcessor(picture, *processor, nullptr);
        benchmark::DoNotOptimize(picture.Bits());
    }
    state.SetLabel(t->title);
}
BENCHMARK(BM_WholePicture)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->Iterations(3);

// Opening the dialog: the backup and the shrunken working copy.
void BM_Open(benchmark::State& state) {
    for (auto _ : state) {
        AdjustDlg dialog(&Document(), adjust_template::kHueSaturation);
        benchmark::DoNotOptimize(dialog.WorkingCopy().Bits());
    }
}
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace glimmora
