// One repaint of the editor view while an object is dragged, on a 24-megapixel document with twenty
// shadowed objects: the exposed part only against the whole-image redraw, at 100 % and at 10 %.
#include <benchmark/benchmark.h>

#include "bench_picture.h"

#include "editor/overlay_render.h"
#include "editor/tavrik_doc.h"
#include "editor/tavrik_view.h"

namespace glimmora {
namespace {

constexpr int kWidth = 6000, kHeight = 4000;
// What a maximised editor window shows.
constexpr int kViewWidth = 1600, kViewHeight = 900;

using bench::PatternPicture;

// Twenty shadowed annotations of every kind spread over the picture; the first one is dragged.
void Annotate(CTavrikDoc& doc) {
    for (int i = 0; i < 20; ++i) {
        const int x = 200 + (i % 5) * 1150, y = 200 + (i / 5) * 950;
        std::unique_ptr<OverlayObject> object;
        switch (i % 5) {
            case 0: {
                auto shape = std::make_unique<ShapeObject>();
                shape->shape = 3;
                shape->left = x, shape->top = y, shape->right = x + 500, shape->bottom = y + 300;
                object = std::move(shape);
                break;
            }
            case 1: {
                auto arrow = std::make_unique<ArrowObject>();
                arrow->x1 = x, arrow->y1 = y + 300, arrow->x2 = x + 600, arrow->y2 = y;
                arrow->colour = 0x0000FF;
                object = std::move(arrow);
                break;
            }
            case 2: {
                auto text = std::make_unique<TextObject>();
                text->text = QStringLiteral("Click here to continue");
                text->left = x, text->top = y, text->right = x + 400, text->bottom = y + 120;
                object = std::move(text);
                break;
            }
            case 3: {
                auto line = std::make_unique<LineObject>();
                line->x1 = x, line->y1 = y, line->x2 = x + 700, line->y2 = y + 400;
                line->width = 4;
                object = std::move(line);
                break;
            }
            default: {
                auto box = std::make_unique<HighlightObject>();
                box->left = x, box->top = y, box->right = x + 600, box->bottom = y + 80;
                object = std::move(box);
                break;
            }
        }
        object->shadow = 1;
        doc.objects.push_back(std::move(object));
    }
}

struct Scene {
    Scene(int zoomIndex) : view(&doc) {
        doc.image = PatternPicture(kWidth, kHeight);
        Annotate(doc);
        doc.UpdateAllViews();
        view.resize(kViewWidth, kViewHeight);
        view.SetZoomIndex(zoomIndex);
        view.SelectTool(kToolSelect);
        view.selectedObject = doc.objects.front().get();
    }
    // One step of the drag: the object moves a pixel, the view shows it again.
    void Drag(int step) {
        auto* shape = static_cast<ShapeObject*>(view.selectedObject);
        const int dx = (step & 1) ? 1 : -1;
        shape->left += dx, shape->right += dx;
    }
    // The part of the zoomed picture the window shows, scrolled to the dragged object.
    QRect Exposed() const {
        const double zoom = CTavrikView::kZoomTable[view.zoomIndex];
        return QRect(static_cast<int>(100 * zoom), static_cast<int>(100 * zoom), kViewWidth, kViewHeight);
    }
    CTavrikDoc doc;
    CTavrikView view;
};

void BM_DragRepaintExposed(benchmark::State& state) {
    Scene scene(static_cast<int>(state.range(0)));
    int step = 0;
    for (auto _ : state) {
        scene.Drag(step++);
        QImage shown = scene.view.ComposeZoomed(scene.Exposed());
        benchmark::DoNotOptimize(shown.constBits());
    }
}
// Zoom index 4 is 100 %, 0 is 10 %.
BENCHMARK(BM_DragRepaintExposed)->Arg(4)->Arg(0)->Unit(benchmark::kMillisecond);

// The whole-image redraw: copy the picture, draw every object onto it, stretch all of it.
void BM_DragRepaintWholeImage(benchmark::State& state) {
    Scene scene(static_cast<int>(state.range(0)));
    const double zoom = CTavrikView::kZoomTable[scene.view.zoomIndex];
    const QSize zoomed(static_cast<int>(kWidth * zoom + 0.5), static_cast<int>(kHeight * zoom + 0.5));
    int step = 0;
    for (auto _ : state) {
        scene.Drag(step++);
        Image frame = scene.doc.image;
        RenderAll(scene.doc.objects, frame);
        const QImage buffer(frame.Row(frame.Height() - 1), frame.Width(), frame.Height(), frame.Stride(),
                            QImage::Format_RGB32);
        QImage shown = buffer.mirrored().scaled(zoomed, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        benchmark::DoNotOptimize(shown.constBits());
    }
}
BENCHMARK(BM_DragRepaintWholeImage)->Arg(4)->Arg(0)->Unit(benchmark::kMillisecond);

// Fifty redactions of every method on a full-HD capture, many overlapping the one before (a form with
// its fields covered): the whole picture composed at 100 %, as a repaint of a maximised window.
void BM_RepaintFiftyRedactionsFullHd(benchmark::State& state) {
    CTavrikDoc doc;
    doc.image = PatternPicture(1920, 1080);
    for (int i = 0; i < 50; ++i) {
        auto cover = std::make_unique<RedactObject>();
        cover->method = i % 3;
        const int x = 40 + (i % 10) * 180, y = 40 + (i / 10) * 200;
        cover->left = x, cover->top = y, cover->right = x + 260, cover->bottom = y + 120;
        doc.objects.push_back(std::move(cover));
    }
    CTavrikView view(&doc);
    view.resize(1920, 1080);
    for (auto _ : state) {
        QImage shown = view.ComposeWholeZoomed();
        benchmark::DoNotOptimize(shown.constBits());
    }
}
BENCHMARK(BM_RepaintFiftyRedactionsFullHd)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace glimmora
