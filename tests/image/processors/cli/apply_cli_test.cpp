// glimmora-cli apply end to end: a generated file in, the same bytes out as the processor run here.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>

#include "image/codecs/codecs.h"
#include "image/codecs/save_route.h"
#include "image/processors/colour.h"
#include "image/processors/filters.h"
#include "image/processors/geometry.h"
#include "image/processors/test_util.h"

namespace glimmora {
namespace {

class ApplyCli : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/glimmora-apply-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        // Enough rows and columns for every filter's neighbourhood, with alpha that varies.
        Image image = test::RandomImage(37, 23, 32, 5);
        ASSERT_TRUE(SaveImageFile(image, Path("in.bmp")));
        Image one = test::MakeImage(1, 1, 24);
        ASSERT_TRUE(SaveImageFile(one, Path("one.bmp")));
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    static int Run(const std::string& arguments) {
        const int status =
            std::system((std::string(GLIMMORA_CLI) + " apply " + arguments + " 2>/dev/null").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    static std::string Slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    static bool Exists(const std::string& path) {
        struct stat st;
        return stat(path.c_str(), &st) == 0;
    }

    // The picture as the editor loads it.
    Image Load(const std::string& path) const {
        SetFactory(std::make_unique<FreeImageCodecFactory>());
        Image image;
        EXPECT_TRUE(image.Load(path) && image.ConvertDepth(32)) << path;
        return image;
    }

    std::string dir_;
};

TEST_F(ApplyCli, SameBytesAsTheProcessorRunInProcess) {
    struct Case {
        std::string arguments;
        std::function<void(Image&)> run;
    };
    auto with = [](auto make) {
        return [make](Image& image) {
            auto p = make();
            RunProcessor(image, *p, nullptr);
        };
    };
    const std::vector<Case> cases = {
        {"invert", with([] { return std::make_unique<InvertProcessor>(kMaskAll); })},
        {"rotate90", with([] { return std::make_unique<Rotate90Processor>(); })},
        {"rotate angle=30", with([] { return std::make_unique<RotateProcessor>(30); })},
        {"contrast value=160", with([] { return std::make_unique<ContrastProcessor>(160); })},
        {"levels low=20 high=200 mask=5",
         with([] { return std::make_unique<LevelsProcessor>(false, 20, 200, 5); })},
        {"tone", with([] { return std::make_unique<ColourToneProcessor>(254, 168, 33); })},
        {"oil-paint radius=3", with([] { return std::make_unique<OilPaintProcessor>(3); })},
        {"mosaic block=4", with([] { return std::make_unique<MosaicProcessor>(4); })},
        {"blur", with([] { return MakeBlurProcessor(); })},
        {"grid cell=8 depth=30", with([] { return std::make_unique<GridProcessor>(8, 30); })},
        {"splash spread=9 seed=42",
         [](Image& image) {
             SplashProcessor p(9);
             SeedRandom(42);
             RunProcessor(image, p, nullptr);
         }},
        {"noise seed=7",
         [](Image& image) {
             UniformNoiseProcessor p(100);
             SeedRandom(7);
             RunProcessor(image, p, nullptr);
         }},
        {"resize width=50 height=10", [](Image& image) { ResizeBilinear(image, 50, 10, nullptr); }},
        {"resize width=11 height=40 quality=0", [](Image& image) { ResizeNearest(image, 11, 40); }},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Run(c.arguments + " " + Path("in.bmp") + " " + Path("out.bmp")), 0) << c.arguments;
        Image expected = Load(Path("in.bmp"));
        c.run(expected);
        ASSERT_TRUE(SaveImageFile(expected, Path("expected.bmp")));
        EXPECT_EQ(Slurp(Path("out.bmp")), Slurp(Path("expected.bmp"))) << c.arguments;
    }
}

TEST_F(ApplyCli, ErrorsLeaveNoOutput) {
    const std::string in = Path("in.bmp"), out = Path("out.bmp");
    ASSERT_TRUE(SaveImageFile(test::MakeImage(40000, 2, 24), Path("thin.bmp")));
    const std::string cases[] = {
        "sharpen " + in + " " + out,                  // unknown operation
        "posterize levels=1 " + in + " " + out,       // below the range
        "posterize levels=3x " + in + " " + out,      // not a number
        "posterize depth=3 " + in + " " + out,        // a value the operation does not take
        "invert seed=3 " + in + " " + out,            // no generator behind invert
        "invert " + in,                               // no output named
        "invert " + Path("missing.bmp") + " " + out,  // no input
        "rotate " + Path("one.bmp") + " " + out,      // a 1 x 1 picture cannot be turned
        "invert --fast " + in + " " + out,
        "rotate angle=45 " + Path("thin.bmp") + " " + out,  // the turned picture would pass the size bound
    };
    for (const std::string& c : cases) {
        EXPECT_NE(Run(c), 0) << c;
        EXPECT_FALSE(Exists(out)) << c;
    }
}

TEST_F(ApplyCli, ListAndProgress) {
    FILE* list = popen((std::string(GLIMMORA_CLI) + " apply --list").c_str(), "r");
    ASSERT_NE(list, nullptr);
    std::string text;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, list)) text += buffer;
    EXPECT_EQ(pclose(list), 0);
    EXPECT_NE(text.find("oil-paint radius=1..15[2]"), std::string::npos);
    EXPECT_NE(text.find("splash spread=3..64[5] seed="), std::string::npos);
    EXPECT_NE(text.find("redact x=0..65535[0] y=0..65535[0] width=1..65535[image width]"), std::string::npos);
    EXPECT_NE(text.find("method=solid|pixelate|blur[solid] colour=RRGGBB[000000]"), std::string::npos);

    const std::string command = std::string(GLIMMORA_CLI) + " apply grey --progress " + Path("in.bmp") + " " +
                                Path("grey.png") + " 2>&1";
    FILE* run = popen(command.c_str(), "r");
    ASSERT_NE(run, nullptr);
    std::string progress;
    while (fgets(buffer, sizeof buffer, run)) progress += buffer;
    EXPECT_EQ(pclose(run), 0);
    EXPECT_EQ(progress.rfind("4%\n", 0), 0u);  // 1 of 23 rows
    EXPECT_NE(progress.find("\n100%\n"), std::string::npos);
    EXPECT_TRUE(Exists(Path("grey.png")));
}

// redact covers the rectangle as the editor does and leaves the rest; Pixelate and Blur differ run to
// run (a fresh random part each time); bad words are refused without output.
TEST_F(ApplyCli, RedactCoversTheRectangleOnly) {
    const Image in = Load(Path("in.bmp"));
    const struct {
        std::string arguments;
        bool solid;
    } cases[] = {
        {"x=5 y=4 width=20 height=12 method=solid colour=FF8000", true},
        {"x=5 y=4 width=20 height=12 method=pixelate size=12", false},
        {"x=5 y=4 width=20 height=12 method=blur", false},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(Run("redact " + c.arguments + " " + Path("in.bmp") + " " + Path("a.bmp")), 0)
            << c.arguments;
        ASSERT_EQ(Run("redact " + c.arguments + " " + Path("in.bmp") + " " + Path("b.bmp")), 0)
            << c.arguments;
        const Image a = Load(Path("a.bmp"));
        ASSERT_EQ(a.Width(), in.Width());
        int inside = 0, kept = 0, changedOutside = 0;
        for (int y = 0; y < in.Height(); ++y)
            for (int x = 0; x < in.Width(); ++x) {
                const bool within = x >= 5 && x < 25 && y >= 4 && y < 16;
                const bool same = std::memcmp(a.PixelAddress(x, y), in.PixelAddress(x, y), 3) == 0;
                if (within) {
                    kept += same;
                    const uint8_t* p = a.PixelAddress(x, y);
                    inside += c.solid ? (p[0] == 0x00 && p[1] == 0x80 && p[2] == 0xFF) : 0;
                } else {
                    changedOutside += !same;
                }
            }
        EXPECT_EQ(kept, 0) << c.arguments;
        EXPECT_EQ(changedOutside, 0) << c.arguments;
        if (c.solid) {
            EXPECT_EQ(inside, 20 * 12);
            EXPECT_EQ(Slurp(Path("a.bmp")), Slurp(Path("b.bmp")));
        } else {
            // A small area is one block whose random part takes few values: two runs may meet by chance,
            // five in a row never.
            bool differs = Slurp(Path("a.bmp")) != Slurp(Path("b.bmp"));
            for (int run = 0; run < 4 && !differs; ++run) {
                ASSERT_EQ(Run("redact " + c.arguments + " " + Path("in.bmp") + " " + Path("b.bmp")), 0);
                differs = Slurp(Path("a.bmp")) != Slurp(Path("b.bmp"));
            }
            EXPECT_TRUE(differs) << c.arguments;
        }
    }
    for (const char* bad : {"method=mosaic", "colour=GG0000", "colour=FFF", "size=11", "x=37", "shade=1"}) {
        EXPECT_NE(Run(std::string("redact ") + bad + " " + Path("in.bmp") + " " + Path("bad.bmp")), 0) << bad;
        EXPECT_FALSE(Exists(Path("bad.bmp"))) << bad;
    }
}

}  // namespace
}  // namespace glimmora
