// Invert on a full-HD document through the document's undo-recording run, with the status-bar progress
// bar the main window gives it and without any: what showing progress costs a short operation.
#include <benchmark/benchmark.h>

#include "bench_picture.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QWindow>

#include "editor/tavrik_doc.h"
#include "image/processors/colour.h"
#include "ui/progress_bar.h"

namespace glimmora {
namespace {

// The main window's status bar as far as the progress bar needs it: three panes, the bar goes in 2.
QMainWindow& Window() {
    static QMainWindow* window = [] {
        auto* w = new QMainWindow;
        QStatusBar* status = w->statusBar();
        for (int pane = 0; pane < 3; ++pane) {
            auto* label = new QLabel(pane == 0 ? "Ready" : "", status);
            label->setObjectName(StatusPaneName(pane));
            status->addWidget(label, pane == 2 ? 2 : 1);
        }
        w->resize(1200, 800);
        w->show();
        // Until the window is on the screen a bar's paint would cost nothing.
        while (!w->windowHandle() || !w->windowHandle()->isExposed()) QApplication::processEvents();
        QApplication::processEvents();
        return w;
    }();
    return *window;
}

void BM_Invert(benchmark::State& state) {
    const bool withBar = state.range(0) != 0;
    StatusBarProgressHost host(&Window());
    CTavrikDoc doc;
    doc.image = bench::PatternPicture(1920, 1080);
    if (withBar) doc.SetProgressHost(&host);
    InvertProcessor invert(kMaskAll);
    for (auto _ : state) {
        doc.ApplyProcessor(&invert);
        benchmark::DoNotOptimize(doc.image.Bits());
    }
    state.SetLabel(withBar ? "with the progress bar" : "without a progress bar");
}
BENCHMARK(BM_Invert)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace
}  // namespace glimmora
