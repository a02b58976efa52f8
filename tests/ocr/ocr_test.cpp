// Text recognition with the real engine and the installed English data, on text drawn as a desktop
// draws it.
#include <gtest/gtest.h>

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <cstdlib>
#include <random>

#include "ocr/text_recognition.h"

namespace glimmora {
namespace {

constexpr char kSentence[] = "Pack my box with five dozen liquor jugs, then call 555-0199 at 10:30.";

Image Render(const char* text, int px, bool dark) {
    QImage q(620, 3 * px + 16, QImage::Format_RGB32);
    q.fill(dark ? QColor(0x1e, 0x1e, 0x1e) : QColor(Qt::white));
    {
        QPainter p(&q);
        QFont font("DejaVu Sans");
        font.setPixelSize(px);
        p.setFont(font);
        p.setPen(dark ? QColor(0xe0, 0xe0, 0xe0) : QColor(Qt::black));
        p.drawText(QRect(8, 8, 604, 3 * px), Qt::TextWordWrap, text);
    }
    Image out;
    out.Create(q.width(), q.height(), 32);
    for (int y = 0; y < q.height(); ++y)
        for (int x = 0; x < q.width(); ++x) {
            const QRgb v = q.pixel(x, y);
            uint8_t* d = out.PixelAddress(x, y);
            d[0] = static_cast<uint8_t>(qBlue(v)), d[1] = static_cast<uint8_t>(qGreen(v));
            d[2] = static_cast<uint8_t>(qRed(v)), d[3] = 255;
        }
    return out;
}

class Recognition : public ::testing::Test {
  protected:
    void SetUp() override { SetOcrModulePath(GLIMMORA_OCR_MODULE); }
};

TEST_F(Recognition, SmallScreenTextLightOrDarkIsReadExactly) {
    for (bool dark : {false, true}) {
        for (int px : {11, 14}) {
            const OcrResult result = RecogniseText(Render(kSentence, px, dark), "eng");
            ASSERT_TRUE(result.ok) << result.error;
            EXPECT_EQ(result.text, kSentence) << (dark ? "dark " : "light ") << px << " px";
        }
    }
}

TEST_F(Recognition, PicturesWithoutTextAndBadInputDoNotFail) {
    Image noise;
    ASSERT_TRUE(noise.Create(64, 48, 24));
    std::mt19937 random(1);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64 * 3; ++x) noise.Row(y)[x] = static_cast<uint8_t>(random());
    const OcrResult fromNoise = RecogniseText(noise, "eng");
    EXPECT_TRUE(fromNoise.ok) << fromNoise.error;
    Image blank;
    ASSERT_TRUE(blank.Create(1, 1, 8));
    EXPECT_TRUE(RecogniseText(blank, "eng").ok);
    const OcrResult none = RecogniseText(Image(), "eng");
    EXPECT_FALSE(none.ok);
    EXPECT_FALSE(none.error.empty());
    const OcrResult missing = RecogniseText(noise, "xyz");
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.error.find("\"xyz\""), std::string::npos) << missing.error;
}

TEST(OcrLanguages, DesktopLanguageSettingAndEnglishInThatOrder) {
    const struct {
        const char* locale;
        const char* code;
    } locales[] = {{"de_DE.UTF-8", "deu"}, {"de", "deu"},      {"pt_BR", "por"}, {"zh_TW.UTF-8", "chi_tra"},
                   {"zh_CN", "chi_sim"},   {"en_GB", "eng"},   {"C", ""},        {"", ""},
                   {"dex_XX", ""},         {"sr@latin", "srp"}};
    for (const auto& l : locales) EXPECT_EQ(OcrLanguageForLocale(l.locale), l.code) << l.locale;
    EXPECT_EQ(OcrLanguageName("deu"), "German");
    EXPECT_EQ(OcrLanguageName("xyz"), "xyz");

    const std::vector<std::string> both = {"deu", "eng"}, english = {"eng"}, german = {"deu"}, none;
    const struct {
        const char* setting;
        const char* locale;
        const std::vector<std::string>* installed;
        const char* chosen;
    } cases[] = {
        {"", "de_DE.UTF-8", &both, "deu"},
        {"eng", "de_DE.UTF-8", &both, "eng"},
        {"", "de_DE.UTF-8", &english, "eng"},
        {"fra", "fr_FR", &english, "eng"},
        {"", "C", &german, "deu"},
        {"", "en_US", &none, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseOcrLanguage(c.setting, c.locale, *c.installed), c.chosen)
            << c.setting << " " << c.locale;
    EXPECT_NE(std::find(InstalledOcrLanguages().begin(), InstalledOcrLanguages().end(), "eng"),
              InstalledOcrLanguages().end());
}

TEST(OcrLanguages, WithoutLanguageDataTheMessageNamesThePackage) {
    QTemporaryDir empty;
    const char* before = std::getenv("TESSDATA_PREFIX");
    const std::string saved = before ? before : "";
    setenv("TESSDATA_PREFIX", empty.path().toLocal8Bit().constData(), 1);
    EXPECT_TRUE(InstalledOcrLanguages().empty());
    const OcrResult result = RecogniseText(Render(kSentence, 12, false));
    if (before)
        setenv("TESSDATA_PREFIX", saved.c_str(), 1);
    else
        unsetenv("TESSDATA_PREFIX");
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("tesseract-ocr-eng"), std::string::npos) << result.error;
}

}  // namespace
}  // namespace glimmora

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
