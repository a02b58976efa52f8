// glimmora-cli grab and scroll as a script runs them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "capture_x11_support.h"
#include "image/codecs/codecs.h"

namespace glimmora {
namespace {

using testing::PictureWindow;
using testing::RunOutput;

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/glimmora-cli-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    // The exit status of glimmora-cli with the arguments.
    int Run(const std::string& args, const std::string& env = {}) {
        const std::string out = RunOutput(env + " " GLIMMORA_CLI " " + args + " >/dev/null 2>&1; echo $?");
        return std::atoi(out.c_str());
    }
    bool Load(const std::string& path, Image& image) {
        SetFactory(std::make_unique<FreeImageCodecFactory>());
        return image.Load(path) && image.ConvertDepth(24);
    }
    std::string dir;
};

TEST_F(CliTest, BadRequestsFailWithoutWritingAFile) {
    const std::string out = dir + "/out.png";
    struct Case {
        const char* name;
        std::string args, env;
    };
    const std::vector<Case> cases = {
        {"no display", "grab " + out, "env -u DISPLAY"},
        {"empty rectangle", "grab --rect 10,10,0,20 " + out, ""},
        {"negative size", "grab --rect 10,10,20,-5 " + out, ""},
        {"bad rectangle", "grab --rect 10,10,20 " + out, ""},
        {"no such window", "grab --window 0x7ffff00 " + out, ""},
        {"window id zero", "grab --window 0 " + out, ""},
        {"scroll without window", "scroll " + out, ""},
        {"scroll no such window", "scroll --window 0x7ffff00 " + out, ""},
        {"scroll no display", "scroll --window 0x400001 " + out, "env -u DISPLAY"},
        {"no output", "grab", ""},
    };
    for (const Case& c : cases) {
        if (c.env.empty() && !std::getenv("DISPLAY")) continue;
        EXPECT_NE(Run(c.args, c.env), 0) << c.name;
        struct stat st;
        EXPECT_NE(::stat(out.c_str(), &st), 0) << c.name << ": wrote " << out;
    }
}

class CliX11Test : public CliTest {
  protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        CliTest::SetUp();
        platform = Platform::Open();
        ASSERT_NE(platform, nullptr);
    }
    std::unique_ptr<Platform> platform;
};

TEST_F(CliX11Test, GrabWritesTheScreenARectangleAndAWindowWithItsFrame) {
    const Size size = platform->screen().ScreenSize();
    auto cover = std::make_unique<PictureWindow>(testing::PatternImage(size.width, size.height),
                                                 QRect(0, 0, size.width, size.height), false);
    ASSERT_TRUE(cover->ShowAndWait(*platform));
    Image image;
    ASSERT_EQ(Run("grab " + dir + "/full.bmp"), 0);
    ASSERT_TRUE(Load(dir + "/full.bmp", image));
    EXPECT_TRUE(testing::ShowsPicture(image, cover->picture(), 0, 0));

    ASSERT_EQ(Run("grab --rect 1900,1000,50,100 " + dir + "/rect.png"), 0);
    ASSERT_TRUE(Load(dir + "/rect.png", image));
    ASSERT_EQ(image.Width(), 50);
    ASSERT_EQ(image.Height(), 100);
    EXPECT_TRUE(testing::ShowsPicture(image, cover->picture().copy(1900, 1000, 20, 80), 0, 0));
    EXPECT_EQ(image.PixelValue(30, 90), 0u);  // off the screen: black
    cover.reset();                            // a managed window would stay beneath it

    PictureWindow win(testing::PatternImage(200, 120, 4), QRect(300, 300, 200, 120), true, "cli window");
    ASSERT_TRUE(win.ShowAndWait(*platform));
    const auto id = static_cast<WindowId>(win.id());
    Rect frame, client;
    ASSERT_TRUE(platform->windows().WindowRect(id, frame));
    ASSERT_TRUE(platform->windows().ClientRect(id, client));
    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%x", id);
    ASSERT_EQ(Run(std::string("grab --window ") + hex + " " + dir + "/win.png"), 0);
    ASSERT_TRUE(Load(dir + "/win.png", image));
    EXPECT_EQ(image.Width(), frame.Width());
    EXPECT_EQ(image.Height(), frame.Height());
    EXPECT_TRUE(
        testing::ShowsPicture(image, win.picture(), client.left - frame.left, client.top - frame.top));
}

TEST_F(CliX11Test, GrabWithCursorChangesOnlyWhatLiesBelowAndRightOfThePointer) {
    const Size size = platform->screen().ScreenSize();
    PictureWindow cover(testing::PatternImage(size.width, size.height), QRect(0, 0, size.width, size.height),
                        false);
    ASSERT_TRUE(cover.ShowAndWait(*platform));
    platform->input().WarpPointer(Point{400, 300});
    platform->input().Sync();
    Image plain, with;
    ASSERT_EQ(Run("grab --rect 380,280,60,60 " + dir + "/plain.png"), 0);
    ASSERT_EQ(Run("grab --cursor --rect 380,280,60,60 " + dir + "/cursor.png"), 0);
    ASSERT_TRUE(Load(dir + "/plain.png", plain));
    ASSERT_TRUE(Load(dir + "/cursor.png", with));
    int changed = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x)
            if (plain.PixelValue(x, y) != with.PixelValue(x, y)) {
                ++changed;
                EXPECT_GE(x, 20);
                EXPECT_GE(y, 20);
            }
    EXPECT_GT(changed, 10);
}

}  // namespace
}  // namespace glimmora
