// Text recognition with the real engine and the installed English data, on text drawn as a desktop
// draws it.
#include <gtest/gtest.h>

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

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

// Lines of text drawn at their places on a white picture of the given size.
struct Placed {
    int x, y;
    std::string text;
};
Image Draw(int width, int height, const std::vector<Placed>& lines, int px = 13) {
    QImage q(width, height, QImage::Format_RGB32);
    q.fill(Qt::white);
    {
        QPainter p(&q);
        QFont font("DejaVu Sans");
        font.setPixelSize(px);
        p.setFont(font);
        p.setPen(QColor(0x20, 0x20, 0x20));
        for (const Placed& line : lines) p.drawText(line.x, line.y, QString::fromStdString(line.text));
    }
    Image out;
    out.Create(width, height, 32);
    for (int y = 0; y < height; ++y)
        std::memcpy(out.Row(y), q.constScanLine(y), static_cast<size_t>(width) * 4);
    return out;
}

// Where each expected piece is found in the text, in order; npos for one missing or out of order.
size_t InOrder(const std::string& text, const std::vector<std::string>& pieces) {
    size_t at = 0;
    for (const std::string& piece : pieces) {
        at = text.find(piece, at);
        if (at == std::string::npos) return at;
        at += piece.size();
    }
    return at;
}

// Terminal output as a terminal draws it: a cell a character, greyscale antialiasing, a little padding.
Image Terminal(const char* family, int px, bool dark, const std::vector<std::string>& lines) {
    QFont font(family);
    font.setPixelSize(px);
    font.setStyleStrategy(QFont::NoSubpixelAntialias);
    const QFontMetrics metrics(font);
    size_t columns = 0;
    for (const std::string& line : lines) columns = std::max(columns, line.size());
    const int cell = metrics.horizontalAdvance('M'), height = metrics.height();
    QImage q(static_cast<int>(columns) * cell + 4, static_cast<int>(lines.size()) * height + 4,
             QImage::Format_RGB32);
    q.fill(dark ? QColor(0x1d, 0x1f, 0x21) : QColor(Qt::white));
    {
        QPainter p(&q);
        p.setFont(font);
        p.setPen(dark ? QColor(0xc5, 0xc8, 0xc6) : QColor(Qt::black));
        for (size_t row = 0; row < lines.size(); ++row)
            for (size_t column = 0; column < lines[row].size(); ++column)
                p.drawText(2 + static_cast<int>(column) * cell,
                           2 + static_cast<int>(row) * height + metrics.ascent(),
                           QString(QChar(lines[row][column])));
    }
    Image out;
    out.Create(q.width(), q.height(), 32);
    for (int y = 0; y < q.height(); ++y)
        std::memcpy(out.Row(y), q.constScanLine(y), static_cast<size_t>(q.width()) * 4);
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

// The options of a manual page and a listing in a terminal at its usual sizes: the short options, the
// dots, "l" beside "1" and the columns' spaces are what such text is copied for.
TEST_F(Recognition, TerminalTextIsReadExactlyLineForLine) {
    const std::vector<std::string> manual = {
        "NAME",
        "       ls - list directory contents",
        "       -a, --all",
        "              do not ignore entries starting with .",
        "       -A, --almost-all",
        "              do not list implied . and ..",
        "       -l     use a long listing format",
    };
    const std::vector<std::string> listing = {
        "$ ls -l /etc/ssh",
        "total 24",
        "-rw-r--r-- 1 root root 1650 Feb 27 18:02 moduli.d",
        "-rw-r--r-- 1 root root 1531 Jan 10 09:40 ssh_config",
        "drwxr-xr-x 2 root root 4096 Jan 10 09:40 ssh_config.d",
        "-rw------- 1 root root  505 Mar  3 10:14 ssh_host_key",
        "-rw-r--r-- 1 root root 3041 Mar  3 10:14 sshd_config",
    };
    const struct {
        const char* family;
        int px;
        bool dark;
        const std::vector<std::string>* lines;
    } cases[] = {
        {"DejaVu Sans Mono", 10, true, &manual},  {"DejaVu Sans Mono", 12, false, &manual},
        {"Liberation Mono", 11, false, &manual},  {"Liberation Mono", 12, true, &listing},
        {"DejaVu Sans Mono", 11, true, &listing},
    };
    for (const auto& c : cases) {
        const OcrResult result = RecogniseText(Terminal(c.family, c.px, c.dark, *c.lines), "eng");
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_TRUE(result.monospace);
        // Each line as drawn; runs of spaces within a line may be read shorter.
        std::string expected, read;
        for (const std::string& line : *c.lines) {
            std::string folded;
            for (const char ch : line)
                if (ch != ' ' || (!folded.empty() && folded.back() != ' ')) folded += ch;
            expected += (expected.empty() ? "" : "\n") + folded;
        }
        for (const char ch : result.text)
            if (ch != ' ' || (!read.empty() && read.back() != ' ' && read.back() != '\n')) read += ch;
        EXPECT_EQ(read, expected) << c.family << " " << c.px << " px " << (c.dark ? "dark" : "light");
    }
    // Proportional text is not taken for a terminal's.
    EXPECT_FALSE(RecogniseText(Render(kSentence, 14, false), "eng").monospace);
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

// QR and bar codes in the picture come first, each on a line in reading order, then the text around them.
TEST_F(Recognition, CodesAreDecodedBesideTheText) {
    Image picture = Draw(520, 320, {{20, 30, "Scan the code below or read the link."}}, 16);
    const struct {
        ZXing::BarcodeFormat format;
        const char* text;
        int x, y, w, h;
    } codes[] = {{ZXing::BarcodeFormat::QRCode, "https://glimmora.org/qr-1", 20, 60, 150, 150},
                 {ZXing::BarcodeFormat::Code128, "GLM-0042", 240, 90, 240, 70},
                 {ZXing::BarcodeFormat::QRCode, "second code", 300, 200, 110, 110}};
    for (const auto& code : codes) {
        const ZXing::BitMatrix m =
            ZXing::MultiFormatWriter(code.format).setMargin(4).encode(code.text, code.w, code.h);
        for (int y = 0; y < m.height(); ++y)
            for (int x = 0; x < m.width(); ++x) {
                uint8_t* p = picture.PixelAddress(code.x + x, code.y + y);
                std::memset(p, m.get(x, y) ? 0 : 255, 3);
            }
    }
    const OcrResult result = RecogniseText(picture, "eng");
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.codes, "https://glimmora.org/qr-1\nGLM-0042\nsecond code");
    EXPECT_EQ(result.text.rfind(result.codes + "\n\n", 0), 0u) << result.text;
    EXPECT_NE(result.text.find("Scan the code below"), std::string::npos) << result.text;
    // A picture without codes has none.
    EXPECT_TRUE(RecogniseText(Draw(200, 40, {{5, 25, "No codes here"}}), "eng").codes.empty());
}

TEST_F(Recognition, LinesAndColumnsComeInReadingOrderWhateverEngineReadsThem) {
    const char* const words[] = {"apple", "banana",  "cherry", "damson", "elder", "fig",    "grape", "hazel",
                                 "iris",  "juniper", "kiwi",   "lemon",  "mango", "nutmeg", "olive", "peach"};
    std::vector<Placed> lines;
    std::vector<std::string> expected;
    for (int column = 0; column < 2; ++column)
        for (int row = 0; row < 8; ++row) {
            const std::string text = std::string(column ? "Right " : "Left ") + std::to_string(row + 1) +
                                     " " + words[column * 8 + row] + " tree";
            lines.push_back({20 + 400 * column, 30 + 20 * row, text});
            expected.push_back(text);
        }
    const OcrResult result = RecogniseText(Draw(800, 200, lines), "eng");
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_NE(InOrder(result.text, expected), std::string::npos) << result.text;
}

TEST_F(Recognition, TallPicturesAreReadInStripsCutBetweenLines) {
    // Taller than the engine takes once scaled; one line sits where a blind cut would split it.
    const int cut = kOcrStripRows;
    const std::vector<Placed> lines = {{20, 40, "First line of a long page"},
                                       {20, cut + 4, "Across the first strip end"},
                                       {20, 12000, "Further down the scroll"},
                                       {20, 16980, "The very last line here"}};
    const Image tall = Draw(600, 17000, lines);
    const std::vector<int> ends = OcrStripEnds(tall);
    EXPECT_GE(ends.size(), 2u);
    EXPECT_EQ(ends.back(), 17000);
    const OcrResult result = RecogniseText(tall, "eng");
    ASSERT_TRUE(result.ok) << result.error;
    std::vector<std::string> expected;
    for (const Placed& line : lines) expected.push_back(line.text);
    EXPECT_NE(InOrder(result.text, expected), std::string::npos) << result.text;
}

TEST_F(Recognition, ACancelledReadStopsAndTheNextOneWorks) {
    std::vector<Placed> lines;
    for (int y = 20; y < 1060; y += 18)
        for (int x = 10; x < 1900; x += 640)
            lines.push_back({x, y, "Words that fill a whole screen, column by column."});
    const Image screen = Draw(1920, 1080, lines);

    std::atomic<bool> cancel{true};
    const OcrResult before = RecogniseText(screen, "eng", &cancel);
    EXPECT_FALSE(before.ok);
    EXPECT_TRUE(before.cancelled);
    EXPECT_NE(before.error.find("cancelled"), std::string::npos) << before.error;

    // Cancelled while the engines are at work: a whole screen takes them seconds.
    cancel = false;
    OcrResult during;
    std::thread reader([&] { during = RecogniseText(screen, "eng", &cancel); });
    cancel = true;
    reader.join();
    EXPECT_TRUE(during.cancelled) << during.text.size() << " characters read";

    const OcrResult after = RecogniseText(Render(kSentence, 14, false), "eng");
    ASSERT_TRUE(after.ok) << after.error;
    EXPECT_EQ(after.text, kSentence);
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
    const std::vector<std::string> languages = InstalledOcrLanguages();
    EXPECT_NE(std::find(languages.begin(), languages.end(), "eng"), languages.end());
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
