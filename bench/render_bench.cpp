// What one repaint of the editor costs: copy the picture and render every overlay object onto it.
#include <benchmark/benchmark.h>

#include "bench_picture.h"


#include "editor/overlay_render.h"

namespace glimmora {
namespace {

using bench::PatternPicture;

// Twenty shadowed annotations of every kind, a few hundred pixels each, spread over a full-HD capture.
ObjectList Annotations() {
    ObjectList objects;
    for (int i = 0; i < 20; ++i) {
        const int x = 60 + (i % 5) * 360, y = 60 + (i / 5) * 250;
        std::unique_ptr<OverlayObject> object;
        switch (i % 6) {
            case 0: {
                auto line = std::make_unique<LineObject>();
                line->x1 = x, line->y1 = y, line->x2 = x + 280, line->y2 = y + 150;
                line->width = 4;
                object = std::move(line);
                break;
            }
            case 1: {
                auto arrow = std::make_unique<ArrowObject>();
                arrow->x1 = x, arrow->y1 = y + 150, arrow->x2 = x + 280, arrow->y2 = y;
                arrow->colour = 0x0000FF;
                object = std::move(arrow);
                break;
            }
            case 2: {
                auto text = std::make_unique<TextObject>();
                text->text = QStringLiteral("Click here to continue");
                text->left = x, text->top = y, text->right = x + 260, text->bottom = y + 80;
                text->boxStyle = i % 2;
                object = std::move(text);
                break;
            }
            case 3: {
                auto shape = std::make_unique<ShapeObject>();
                shape->shape = i % 4;
                shape->left = x, shape->top = y, shape->right = x + 280, shape->bottom = y + 160;
                object = std::move(shape);
                break;
            }
            case 4: {
                auto box = std::make_unique<HighlightObject>();
                box->left = x, box->top = y, box->right = x + 300, box->bottom = y + 60;
                object = std::move(box);
                break;
            }
            default: {
                auto stamp = std::make_unique<StampObject>();
                stamp->stampImage = PatternPicture(64, 64);
                stamp->left = x, stamp->top = y, stamp->right = x + 128, stamp->bottom = y + 128;
                object = std::move(stamp);
                break;
            }
        }
        object->shadow = 1;
        object->transparency = 20;
        objects.push_back(std::move(object));
    }
    return objects;
}

void BM_RepaintTwentyShadowedObjects(benchmark::State& state) {
    const Image picture = PatternPicture(1920, 1080);
    const ObjectList objects = Annotations();
    for (auto _ : state) {
        Image frame = picture;
        RenderAll(objects, frame);
        benchmark::DoNotOptimize(frame.Bits());
    }
}
BENCHMARK(BM_RepaintTwentyShadowedObjects)->Unit(benchmark::kMillisecond);

// The copy alone, to see what rendering adds to it.
void BM_CopyPictureOnly(benchmark::State& state) {
    const Image picture = PatternPicture(1920, 1080);
    for (auto _ : state) {
        Image frame = picture;
        benchmark::DoNotOptimize(frame.Bits());
    }
}
BENCHMARK(BM_CopyPictureOnly)->Unit(benchmark::kMillisecond);

void BM_DropShadow(benchmark::State& state) {
    const int side = static_cast<int>(state.range(0));
    const Image picture = PatternPicture(side, side);
    for (auto _ : state) {
        Image shadowed = picture;
        AddDropShadow(shadowed);
        benchmark::DoNotOptimize(shadowed.Bits());
    }
    state.SetItemsProcessed(state.iterations() * (side + 20) * (side + 20));
}
BENCHMARK(BM_DropShadow)->Arg(100)->Arg(300)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace glimmora
