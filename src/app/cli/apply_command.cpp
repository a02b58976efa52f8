// apply: one image operation on a file, run the way the document runs it.
#include <charconv>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/commands.h"
#include "image/processors/colour.h"
#include "image/processors/filters.h"
#include "image/processors/geometry.h"
#include "image/redact.h"

namespace glimmora::cli {

namespace {

struct Param {
    const char* name;
    int64_t lowest, highest, fallback;
    // The fallback is the image's width or height rather than a number.
    enum { kNumber, kImageWidth, kImageHeight } from = kNumber;
};

using Values = std::vector<int64_t>;
using Factory = std::function<std::unique_ptr<PixelProcessor>(const Values&)>;

struct Operation {
    const char* name;
    const char* what;
    std::vector<Param> params;
    // Takes seed=N for the process-wide generator.
    bool random = false;
    // Null for resampling and redaction, which are not processors.
    Factory make;
    // Covers a rectangle the way the editor's Redact tool does; takes method= and colour= too.
    bool redact = false;
};

int I(int64_t v) {
    return static_cast<int>(v);
}

const std::vector<Operation>& Operations() {
    static const std::vector<Operation> ops = {
        {"rotate90",
         "quarter turn clockwise",
         {},
         false,
         [](const Values&) { return std::make_unique<Rotate90Processor>(); }},
        {"rotate270",
         "quarter turn counter-clockwise",
         {},
         false,
         [](const Values&) { return std::make_unique<Rotate270Processor>(); }},
        {"flip-h",
         "mirror left and right",
         {},
         false,
         [](const Values&) { return std::make_unique<FlipHorizontalProcessor>(); }},
        {"flip-v",
         "mirror top and bottom",
         {},
         false,
         [](const Values&) { return std::make_unique<FlipVerticalProcessor>(); }},
        {"rotate",
         "turn clockwise by whole degrees",
         {{"angle", 0, 360, 45}},
         false,
         [](const Values& v) { return std::make_unique<RotateProcessor>(I(v[0])); }},
        {"resize",
         "resample (quality 0 nearest, 1 bilinear)",
         {{"width", 1, 65535, 0, Param::kImageWidth},
          {"height", 1, 65535, 0, Param::kImageHeight},
          {"quality", 0, 1, 1}},
         false,
         nullptr},
        {"brightness",
         "scale channels by a percentage",
         {{"value", 0, 200, 100}},
         false,
         [](const Values& v) { return std::make_unique<BrightnessProcessor>(I(v[0])); }},
        {"contrast",
         "spread channels around 128 by a percentage",
         {{"value", 0, 200, 100}},
         false,
         [](const Values& v) { return std::make_unique<ContrastProcessor>(I(v[0])); }},
        {"hue-saturation",
         "scale hue and saturation by percentages",
         {{"hue", 0, 200, 100}, {"saturation", 0, 200, 100}},
         false,
         [](const Values& v) { return std::make_unique<HueSaturationProcessor>(I(v[0]), I(v[1])); }},
        {"tone",
         "shades of one colour by grey value",
         {{"red", 0, 255, 254}, {"green", 0, 255, 168}, {"blue", 0, 255, 33}},
         false,
         [](const Values& v) {
             return std::make_unique<ColourToneProcessor>(
                 static_cast<uint8_t>(v[0]), static_cast<uint8_t>(v[1]), static_cast<uint8_t>(v[2]));
         }},
        {"rgb",
         "add offsets to the channels",
         {{"red", -128, 128, 0}, {"green", -128, 128, 0}, {"blue", -128, 128, 0}},
         false,
         [](const Values& v) { return std::make_unique<RgbOffsetProcessor>(I(v[0]), I(v[1]), I(v[2])); }},
        {"levels",
         "stretch low..high over the full range (mask: 1 red, 2 green, 4 blue)",
         {{"low", 0, 255, 0}, {"high", 0, 255, 255}, {"mask", 1, 7, 7}},
         false,
         [](const Values& v) { return std::make_unique<LevelsProcessor>(false, I(v[0]), I(v[1]), I(v[2])); }},
        {"auto-levels",
         "levels from each channel's histogram",
         {},
         false,
         [](const Values&) { return std::make_unique<LevelsProcessor>(true, 0, 255, kMaskAll); }},
        {"grey", "grey values", {}, false, [](const Values&) { return std::make_unique<GreyProcessor>(); }},
        {"invert",
         "negative",
         {},
         false,
         [](const Values&) { return std::make_unique<InvertProcessor>(kMaskAll); }},
        {"halftone",
         "black and white by ordered dither",
         {},
         false,
         [](const Values&) { return std::make_unique<HalftoneProcessor>(); }},
        {"blur",
         "3 x 3 blur (1 2 1, 2 4 2, 1 2 1) / 16",
         {},
         false,
         [](const Values&) { return std::unique_ptr<PixelProcessor>(MakeBlurProcessor()); }},
        {"posterize",
         "fewer levels per channel",
         {{"levels", 2, 20, 3}},
         false,
         [](const Values& v) { return std::make_unique<PosterizeProcessor>(I(v[0])); }},
        {"noise",
         "independent noise per channel",
         {{"level", 1, 200, 100}},
         true,
         [](const Values& v) { return std::make_unique<UniformNoiseProcessor>(I(v[0])); }},
        {"blot",
         "colourless noise",
         {{"level", 1, 100, 50}},
         true,
         [](const Values& v) { return std::make_unique<GaussianNoiseProcessor>(I(v[0])); }},
        {"emboss",
         "grey relief",
         {{"strength", 1, 10, 2}},
         false,
         [](const Values& v) { return std::make_unique<EmbossProcessor>(I(v[0])); }},
        {"oil-paint",
         "most frequent grey level around each pixel",
         {{"radius", 1, 15, 2}},
         false,
         [](const Values& v) { return std::make_unique<OilPaintProcessor>(I(v[0])); }},
        {"splash",
         "scatter pixels randomly",
         {{"spread", 3, 64, 5}},
         true,
         [](const Values& v) { return std::make_unique<SplashProcessor>(I(v[0])); }},
        {"mosaic",
         "alpha-weighted block averages",
         {{"block", 2, 200, 10}},
         false,
         [](const Values& v) { return std::make_unique<MosaicProcessor>(I(v[0])); }},
        {"redact",
         "cover a rectangle as the editor's Redact tool does",
         {{"x", 0, 65535, 0},
          {"y", 0, 65535, 0},
          {"width", 1, 65535, 0, Param::kImageWidth},
          {"height", 1, 65535, 0, Param::kImageHeight},
          {"size", kMinRedactBlock, kMaxRedactSize, kDefaultRedactBlock}},
         false,
         nullptr,
         true},
        {"grid",
         "raised tiles",
         {{"cell", 0, 100, 64}, {"depth", 0, 100, 50}},
         false,
         [](const Values& v) { return std::make_unique<GridProcessor>(I(v[0]), I(v[1])); }},
    };
    return ops;
}

constexpr int64_t kSeedMax = std::numeric_limits<uint32_t>::max();

void PrintList() {
    for (const Operation& op : Operations()) {
        std::string line = op.name;
        char part[96];
        for (const Param& p : op.params) {
            if (p.from == Param::kNumber)
                std::snprintf(part, sizeof part, " %s=%lld..%lld[%lld]", p.name,
                              static_cast<long long>(p.lowest), static_cast<long long>(p.highest),
                              static_cast<long long>(p.fallback));
            else
                std::snprintf(part, sizeof part, " %s=%lld..%lld[image %s]", p.name,
                              static_cast<long long>(p.lowest), static_cast<long long>(p.highest),
                              p.from == Param::kImageWidth ? "width" : "height");
            line += part;
        }
        if (op.redact) line += " method=solid|pixelate|blur[solid] colour=RRGGBB[000000]";
        if (op.random) {
            std::snprintf(part, sizeof part, " seed=0..%lld[time]", static_cast<long long>(kSeedMax));
            line += part;
        }
        std::printf("%-60s %s\n", line.c_str(), op.what);
    }
}

std::optional<int> ParseMethod(const std::string& text) {
    if (text == "solid") return kRedactSolid;
    if (text == "pixelate") return kRedactPixelate;
    if (text == "blur") return kRedactBlur;
    return std::nullopt;
}

// RRGGBB as the editor's 0x00BBGGRR.
std::optional<uint32_t> ParseColour(const std::string& text) {
    uint32_t rgb = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, rgb, 16);
    if (text.size() != 6 || ec != std::errc() || ptr != end || text[0] == '+' || text[0] == '-')
        return std::nullopt;
    return (rgb >> 16) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

std::optional<int64_t> ParseInteger(const std::string& text) {
    int64_t v = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || ptr != end || text.empty()) return std::nullopt;
    return v;
}

class StderrProgress : public ProgressSink {
  public:
    void Start() override { last_ = -1; }
    void SetPercent(int percent) override {
        if (percent == last_) return;
        last_ = percent;
        std::fprintf(stderr, "%d%%\n", percent);
    }

  private:
    int last_ = -1;
};

}  // namespace

int RunApply(const Args& args) {
    if (args.size() == 1 && args[0] == "--list") {
        PrintList();
        return 0;
    }
    if (args.empty() || args[0].rfind("-", 0) == 0) {
        PrintUsage("apply", stderr);
        return 2;
    }
    const Operation* op = nullptr;
    for (const Operation& candidate : Operations())
        if (args[0] == candidate.name) op = &candidate;
    if (!op) {
        std::fprintf(stderr, "glimmora-cli: unknown operation '%s' (apply --list shows them)\n",
                     args[0].c_str());
        return 2;
    }

    std::vector<std::optional<int64_t>> given(op->params.size());
    std::optional<int64_t> seed;
    int method = kRedactSolid;
    uint32_t colour = 0;
    bool progress = false;
    std::vector<std::string> files;
    bool optionsEnd = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        // After "--" every word is a file, whatever it looks like.
        if (optionsEnd) {
            files.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnd = true;
            continue;
        }
        if (a == "--progress") {
            progress = true;
            continue;
        }
        if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "glimmora-cli: apply: unknown option '%s'\n", a.c_str());
            return 2;
        }
        const size_t eq = a.find('=');
        if (eq == std::string::npos) {
            files.push_back(a);
            continue;
        }
        const std::string name = a.substr(0, eq);
        if (op->redact && name == "method") {
            const std::optional<int> m = ParseMethod(a.substr(eq + 1));
            if (!m) {
                std::fprintf(stderr, "glimmora-cli: redact: method must be solid, pixelate or blur\n");
                return 2;
            }
            method = *m;
            continue;
        }
        if (op->redact && name == "colour") {
            const std::optional<uint32_t> c = ParseColour(a.substr(eq + 1));
            if (!c) {
                std::fprintf(stderr, "glimmora-cli: redact: colour must be six hexadecimal digits, RRGGBB\n");
                return 2;
            }
            colour = *c;
            continue;
        }
        const std::optional<int64_t> value = ParseInteger(a.substr(eq + 1));
        bool known = false;
        for (size_t k = 0; k < op->params.size(); ++k) {
            const Param& p = op->params[k];
            if (name != p.name) continue;
            known = true;
            if (!value || *value < p.lowest || *value > p.highest) {
                std::fprintf(stderr, "glimmora-cli: %s: %s must be a whole number from %lld to %lld\n",
                             op->name, p.name, static_cast<long long>(p.lowest),
                             static_cast<long long>(p.highest));
                return 2;
            }
            given[k] = value;
        }
        if (!known && op->random && name == "seed") {
            known = true;
            if (!value || *value < 0 || *value > kSeedMax) {
                std::fprintf(stderr, "glimmora-cli: %s: seed must be a whole number from 0 to %lld\n",
                             op->name, static_cast<long long>(kSeedMax));
                return 2;
            }
            seed = value;
        }
        if (!known) {
            std::fprintf(stderr, "glimmora-cli: %s takes no value '%s' (apply --list shows them)\n", op->name,
                         name.c_str());
            return 2;
        }
    }
    if (files.size() != 2) {
        PrintUsage("apply", stderr);
        return 2;
    }

    // The output's space is reserved while the picture loads and changes; resampling knows its size.
    int64_t outWidth = 0, outHeight = 0;
    if (!op->make && !op->redact && given[0] && given[1]) {
        outWidth = *given[0];
        outHeight = *given[1];
    }
    ReserveOutput(files[0], files[1], outWidth, outHeight);
    Image image;
    if (!LoadForEditing(files[0], image)) return 1;
    Values values;
    for (size_t k = 0; k < op->params.size(); ++k) {
        const Param& p = op->params[k];
        if (given[k])
            values.push_back(*given[k]);
        else if (p.from == Param::kImageWidth)
            values.push_back(image.Width());
        else if (p.from == Param::kImageHeight)
            values.push_back(image.Height());
        else
            values.push_back(p.fallback);
    }

    StderrProgress sink;
    ProgressSink* progressSink = progress ? &sink : nullptr;
    if (op->redact) {
        // As the editor draws a cover: on the picture at 32 bits, with the style the object would hold.
        RedactStyle style;
        style.method = method;
        style.block = style.radius = I(values[4]);
        style.red = static_cast<uint8_t>(colour);
        style.green = static_cast<uint8_t>(colour >> 8);
        style.blue = static_cast<uint8_t>(colour >> 16);
        const Rect rect{I(values[0]), I(values[1]), I(values[0] + values[2]), I(values[1] + values[3])};
        if (!image.ConvertDepth(32)) {
            std::fprintf(stderr, "glimmora-cli: redact: the result would be too large (over %llu MiB)\n",
                         static_cast<unsigned long long>(Image::kMaxPixelBytes >> 20));
            return 1;
        }
        if (!Redact(image, rect, style)) {
            std::fprintf(stderr, "glimmora-cli: redact: the rectangle lies outside the %dx%d picture\n",
                         image.Width(), image.Height());
            return 1;
        }
    } else if (!op->make) {
        // Resampling: an unchanged size leaves the picture as it is.
        const int width = I(values[0]), height = I(values[1]);
        if (width != image.Width() || height != image.Height()) {
            const bool done = values[2] == 0 ? ResizeNearest(image, width, height)
                                             : ResizeBilinear(image, width, height, progressSink);
            if (!done) {
                // Said before anything else: the bound is what a resize usually meets.
                if (!Image::FitsBound(width, height, image.Depth()))
                    std::fprintf(stderr,
                                 "glimmora-cli: resize: the picture would be too large: %dx%d at %d bits is "
                                 "%llu MiB, over the bound of %llu MiB\n",
                                 width, height, image.Depth(),
                                 static_cast<unsigned long long>(
                                     (static_cast<uint64_t>(Image::StrideFor(width, image.Depth())) *
                                          static_cast<uint64_t>(height) +
                                      (1u << 20) - 1) >>
                                     20),
                                 static_cast<unsigned long long>(Image::kMaxPixelBytes >> 20));
                else
                    std::fprintf(stderr, "glimmora-cli: resize: there is not enough memory for %dx%d\n",
                                 width, height);
                return 1;
            }
        }
    } else {
        std::unique_ptr<PixelProcessor> processor = op->make(values);
        if (seed) SeedRandom(static_cast<uint32_t>(*seed));
        if (!RunProcessor(image, *processor, progressSink)) {
            if (processor->PreparationFailed())
                std::fprintf(stderr, "glimmora-cli: %s: the result would be too large (over %llu MiB)\n",
                             op->name, static_cast<unsigned long long>(Image::kMaxPixelBytes >> 20));
            else
                std::fprintf(stderr, "glimmora-cli: %s: this operation does not accept %s\n", op->name,
                             files[0].c_str());
            return 1;
        }
    }
    return SaveLikeDocument(image, files[1]) ? 0 : 1;
}

}  // namespace glimmora::cli
