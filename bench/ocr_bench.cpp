// Text recognition of screen text: character accuracy of ours (scaled up, dark backgrounds inverted,
// the engine through its library) beside the engine's own command with its default options, on the same
// rendered pictures; and the time for an 8-line paragraph and a whole 1920 x 1080 screen of text. Prints
// Markdown tables. Run: ocr_bench [MODULE [--speed]] (--speed: the timed part only).
#include <QApplication>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "image/image.h"
#include "ocr/text_recognition.h"

namespace {

const char* const kParagraphs[] = {
    "The quick brown fox jumps over the lazy dog while five boxing wizards jump quickly. Pack my box with "
    "five dozen liquor jugs, then call 555-0199 before 10:30 on Monday, 14 March 2025.",
    "Error: cannot open file \"/home/user/report_final.txt\" (permission denied). Check the owner, run "
    "chmod 644 and try again; if that fails, send the log to support@example.com.",
    "Total: $1,284.50 for 3 items (VAT 20% included). Order #A-7731 ships within 2-3 business days; "
    "returns are accepted for 30 days after delivery.",
};

std::string Normalised(const std::string& s) {
    std::string out;
    bool space = false;
    for (char c : s) {
        if (c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\f') {
            space = !out.empty();
            continue;
        }
        if (space) out += ' ';
        space = false;
        out += c;
    }
    return out;
}

// Levenshtein distance over bytes (the texts are ASCII).
size_t Distance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

double Accuracy(const std::string& reference, const std::string& read) {
    const std::string r = Normalised(reference), t = Normalised(read);
    const double d = static_cast<double>(Distance(r, t));
    return std::max(0.0, 1.0 - d / static_cast<double>(r.size()));
}

glimmora::Image ToImage(const QImage& source) {
    const QImage q = source.convertToFormat(QImage::Format_RGB32);
    glimmora::Image out;
    out.Create(q.width(), q.height(), 24);
    for (int y = 0; y < q.height(); ++y) {
        const QRgb* s = reinterpret_cast<const QRgb*>(q.constScanLine(y));
        uint8_t* d = out.Row(y);
        for (int x = 0; x < q.width(); ++x, d += 3) {
            d[0] = static_cast<uint8_t>(qBlue(s[x]));
            d[1] = static_cast<uint8_t>(qGreen(s[x]));
            d[2] = static_cast<uint8_t>(qRed(s[x]));
        }
    }
    return out;
}

// A paragraph as a desktop shows it: a window-like margin, the font at px pixels times the screen scale.
QImage Render(const QString& family, int px, bool dark, int scale, const QString& text, int width) {
    QFont font(family);
    font.setPixelSize(px * scale);
    font.setHintingPreference(QFont::PreferFullHinting);
    const int margin = 12 * scale;
    const QRect box(margin, margin, width * scale - 2 * margin, 4000);
    QImage probe(1, 1, QImage::Format_RGB32);
    QRect used;
    {
        QPainter p(&probe);
        p.setFont(font);
        used = p.boundingRect(box, Qt::TextWordWrap, text);
    }
    QImage out(width * scale, used.bottom() + margin, QImage::Format_RGB32);
    out.fill(dark ? QColor(0x2b, 0x2b, 0x2b) : QColor(Qt::white));
    QPainter p(&out);
    p.setFont(font);
    p.setPen(dark ? QColor(0xdd, 0xdd, 0xdd) : QColor(0x1e, 0x1e, 0x1e));
    p.drawText(box, Qt::TextWordWrap, text);
    return out;
}

std::string RunCommand(const QString& png) {
    QProcess tesseract;
    tesseract.start("tesseract", {png, "stdout"});
    tesseract.waitForFinished(120000);
    return tesseract.readAllStandardOutput().toStdString();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 1) glimmora::SetOcrModulePath(argv[1]);
    QTemporaryDir dir;
    // --speed: only the timed part.
    const bool accuracy = !(argc > 2 && std::string(argv[2]) == "--speed");
    std::vector<QString> fonts = {"Liberation Sans", "Liberation Serif", "Liberation Mono", "DejaVu Sans"};
    if (!accuracy) fonts.clear();
    const int sizes[] = {10, 12, 14, 16};
    if (accuracy)
        std::printf(
            "| font | background | screen scale | ours | `tesseract` command |\n|---|---|---|---|---|\n");
    double allOurs = 0, allTheirs = 0;
    int sets = 0;
    for (const QString& family : fonts) {
        if (QFontInfo(QFont(family)).family() != family) {
            std::fprintf(stderr, "font %s is not installed\n", qPrintable(family));
            return 1;
        }
        for (bool dark : {false, true}) {
            for (int scale : {1, 2}) {
                double ours = 0, theirs = 0;
                int n = 0;
                for (int px : sizes) {
                    for (const char* paragraph : kParagraphs) {
                        const QImage picture = Render(family, px, dark, scale, paragraph, 560);
                        const QString png = dir.filePath(QString("p%1.png").arg(n));
                        picture.save(png);
                        const glimmora::OcrResult read = glimmora::RecogniseText(ToImage(picture), "eng");
                        if (!read.ok) {
                            std::fprintf(stderr, "%s\n", read.error.c_str());
                            return 1;
                        }
                        ours += Accuracy(paragraph, read.text);
                        theirs += Accuracy(paragraph, RunCommand(png));
                        ++n;
                    }
                }
                ours /= n;
                theirs /= n;
                allOurs += ours;
                allTheirs += theirs;
                ++sets;
                std::printf("| %s | %s | %dx | %.1f %% | %.1f %% |\n", qPrintable(family),
                            dark ? "dark" : "light", scale, 100 * ours, 100 * theirs);
                std::fflush(stdout);
            }
        }
    }
    if (accuracy)
        std::printf("| all sets | | | %.1f %% | %.1f %% |\n\n", 100 * allOurs / sets, 100 * allTheirs / sets);

    // An 8-line paragraph, the usual size of a Capture Text selection, and a whole screen of text:
    // paragraphs in columns until 1920 x 1080 is full. Medians of runs interleaved with the command's.
    const std::string paragraph = std::string(kParagraphs[0]) + " " + kParagraphs[1] + " " + kParagraphs[2];
    const QImage small = Render("Liberation Sans", 13, false, 1, QString::fromStdString(paragraph), 440);
    QImage screen(1920, 1080, QImage::Format_RGB32);
    screen.fill(Qt::white);
    {
        QPainter p(&screen);
        QFont font("Liberation Sans");
        font.setPixelSize(13);
        p.setFont(font);
        p.setPen(QColor(0x1e, 0x1e, 0x1e));
        int i = 0;
        for (int column = 0; column < 3; ++column)
            for (int y = 10; y < 1060; y += 80, ++i)
                p.drawText(QRect(10 + 640 * column, y, 620, 76), Qt::TextWordWrap, kParagraphs[i % 3]);
    }
    std::printf(
        "| picture | ours (engine loaded) | `tesseract` command (whole process) | ratio | characters: "
        "ours / command | accuracy: ours / command |\n|---|---|---|---|---|---|\n");
    const struct {
        const char* name;
        const QImage* picture;
        int runs;
        const std::string* reference;
    } timed[] = {{"8-line paragraph", &small, 7, &paragraph},
                 {"1920 x 1080 screen of text", &screen, 3, nullptr}};
    for (const auto& t : timed) {
        const QString png = dir.filePath("timed.png");
        t.picture->save(png);
        const glimmora::Image picture = ToImage(*t.picture);
        glimmora::RecogniseText(picture, "eng");  // the engine loaded once, as in a running program
        std::vector<double> ours, theirs;
        glimmora::OcrResult read;
        std::string command;
        for (int run = 0; run < t.runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            read = glimmora::RecogniseText(picture, "eng");
            ours.push_back(timer.nsecsElapsed() / 1e9);
            timer.restart();
            command = RunCommand(png);
            theirs.push_back(timer.nsecsElapsed() / 1e9);
        }
        std::sort(ours.begin(), ours.end());
        std::sort(theirs.begin(), theirs.end());
        const double o = ours[ours.size() / 2], c = theirs[theirs.size() / 2];
        std::string accuracy = "-";
        if (t.reference) {
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%.1f %% / %.1f %%", 100 * Accuracy(*t.reference, read.text),
                          100 * Accuracy(*t.reference, command));
            accuracy = buffer;
        }
        std::printf("| %s (%d x %d) | %.3f s | %.3f s | %.2f | %zu / %zu | %s |\n", t.name,
                    t.picture->width(), t.picture->height(), o, c, o / c, read.text.size(), command.size(),
                    accuracy.c_str());
        std::fflush(stdout);
    }
    return 0;
}
