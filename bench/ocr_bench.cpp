// Text recognition of screen text: character accuracy of ours (scaled up, dark backgrounds inverted,
// the engine through its library) beside the engine's own command with its default options, on the same
// rendered pictures; and the time for an 8-line paragraph and a whole 1920 x 1080 screen of text. Prints
// Markdown tables. Run: ocr_bench [MODULE [--speed | --terminal]] (--speed: the timed part only;
// --terminal: terminal output, line by line, against the command at its best of three scales).
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

// Terminal output: a manual page, a long listing, a compiler error with its caret line, a unified diff.
const char* const kTerminal[] = {
    "LS(1)                            User Commands                           LS(1)\n"
    "NAME\n"
    "       ls - list directory contents\n"
    "SYNOPSIS\n"
    "       ls [OPTION]... [FILE]...\n"
    "DESCRIPTION\n"
    "       List information about the FILEs (the current directory by default).\n"
    "       Mandatory arguments to long options are mandatory for short options too.\n"
    "       -a, --all\n"
    "              do not ignore entries starting with .\n"
    "       -A, --almost-all\n"
    "              do not list implied . and ..\n"
    "       --author\n"
    "              with -l, print the author of each file\n"
    "       -b, --escape\n"
    "              print C-style escapes for nongraphic characters\n",
    "total 148\n"
    "drwxr-xr-x  2 alice alice  4096 Mar  3 09:41 bin\n"
    "-rw-r--r--  1 alice alice  1187 Feb 27 18:02 CMakeLists.txt\n"
    "-rw-r--r--  1 alice alice 35149 Jan 12  2024 LICENSE\n"
    "-rw-r--r--  1 alice alice  2873 Mar  3 09:40 README.md\n"
    "drwxr-xr-x  5 alice alice  4096 Mar  1 14:22 build-rel\n"
    "-rwxr-xr-x  1 alice alice 18232 Mar  3 09:41 configure\n"
    "lrwxrwxrwx  1 alice alice    11 Feb 20 11:05 current -> release-1.4\n"
    "-rw-------  1 alice alice   412 Mar  2 23:59 .env.local\n"
    "drwxr-xr-x  8 alice alice  4096 Mar  3 09:42 .git\n"
    "-rw-r--r--  1 alice alice    97 Feb 14 10:17 .gitignore\n"
    "-rw-r--r--  1 alice alice 61440 Mar  3 08:15 notes_2025-03-03.tar\n"
    "drwxr-xr-x 12 alice alice  4096 Mar  3 09:41 src\n"
    "-rw-r--r--  1 alice alice     0 Mar  3 09:43 Untitled-1\n",
    "src/net/socket.cpp: In member function 'int Socket::open(const Address&)':\n"
    "src/net/socket.cpp:142:17: error: 'timeout_ms' was not declared in this scope\n"
    "  142 |     if (poll(&fd, 1, timeout_ms) <= 0) {\n"
    "      |                      ^~~~~~~~~~\n"
    "src/net/socket.cpp:150:9: warning: unused variable 'n' [-Wunused-variable]\n"
    "  150 |     int n = 0;\n"
    "      |         ^\n"
    "make[2]: *** [CMakeFiles/net.dir/build.make:76: socket.cpp.o] Error 1\n"
    "make[1]: *** [CMakeFiles/Makefile2:83: CMakeFiles/net.dir/all] Error 2\n",
    "diff --git a/src/util/path.c b/src/util/path.c\n"
    "index 3f2a1c9..8be04d7 100644\n"
    "--- a/src/util/path.c\n"
    "+++ b/src/util/path.c\n"
    "@@ -41,9 +41,11 @@ static int join(char *out, size_t n, const char *a)\n"
    " {\n"
    "-    if (a == NULL || b == NULL)\n"
    "-        return -1;\n"
    "+    if (!a || !b)\n"
    "+        return -EINVAL;\n"
    "     size_t la = strlen(a);\n"
    "+    if (la && a[la - 1] == '/')\n"
    "+        la--;\n"
    "     return snprintf(out, n, \"%.*s/%s\", (int)la, a, b);\n"
    " }\n",
};
const char* const kTerminalNames[] = {"man page", "ls -l", "compiler error", "diff"};

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

// White space folded within each line, blank lines dropped, line breaks kept: terminal text is read
// line for line.
std::string NormalisedLines(const std::string& s) {
    std::string out, line;
    size_t start = 0;
    while (start <= s.size()) {
        size_t end = s.find('\n', start);
        if (end == std::string::npos) end = s.size();
        line = Normalised(s.substr(start, end - start));
        if (!line.empty()) out += (out.empty() ? "" : "\n") + line;
        start = end + 1;
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

// Terminal output as a terminal draws it: one cell a character, greyscale antialiasing, 2 pixels of
// padding; diff lines in the usual green and red.
QImage RenderTerminal(const QString& family, int px, bool dark, const char* text) {
    QFont font(family);
    font.setPixelSize(px);
    font.setStyleStrategy(QFont::NoSubpixelAntialias);
    const QFontMetrics metrics(font);
    const QStringList lines = QString(text).split('\n');
    int columns = 0;
    for (const QString& line : lines) columns = std::max(columns, static_cast<int>(line.size()));
    const int cell = metrics.horizontalAdvance('M'), height = metrics.height(), pad = 2;
    QImage out(columns * cell + 2 * pad, static_cast<int>(lines.size()) * height + 2 * pad,
               QImage::Format_RGB32);
    out.fill(dark ? QColor(0x1d, 0x1f, 0x21) : QColor(Qt::white));
    QPainter p(&out);
    p.setFont(font);
    const bool diff = QString(text).startsWith("diff ");
    for (int row = 0; row < lines.size(); ++row) {
        const QString& line = lines[row];
        QColor pen = dark ? QColor(0xc5, 0xc8, 0xc6) : QColor(Qt::black);
        if (diff && line.startsWith('+') && !line.startsWith("+++"))
            pen = dark ? QColor(0x8a, 0xe2, 0x34) : QColor(0x4e, 0x9a, 0x06);
        else if (diff && line.startsWith('-') && !line.startsWith("---"))
            pen = dark ? QColor(0xef, 0x29, 0x29) : QColor(0xcc, 0x00, 0x00);
        p.setPen(pen);
        for (int column = 0; column < line.size(); ++column)
            p.drawText(pad + column * cell, pad + row * height + metrics.ascent(), QString(line[column]));
    }
    return out;
}

std::string RunCommand(const QString& png) {
    QProcess tesseract;
    tesseract.start("tesseract", {png, "stdout"});
    tesseract.waitForFinished(120000);
    return tesseract.readAllStandardOutput().toStdString();
}

// Each terminal picture read by ours and by the command on the same pixels scaled 1x, 2x and 3x (its
// best counts); a table row per font, size and background. --show prints what ours read wrong, --ours-only
// leaves the command out, --save DIR keeps the pictures.
struct TerminalOptions {
    bool show = false;
    bool oursOnly = false;
    QString save;
};

int Terminal(const QTemporaryDir& dir, const TerminalOptions& options) {
    const bool show = options.show;
    const bool oursOnly = options.oursOnly;
    std::printf(
        "| font | px | background | ours | `tesseract` command, best of 1x 2x 3x | its best scale |\n"
        "|---|---|---|---|---|---|\n");
    double allOurs = 0, allTheirs = 0, worst = 1;
    int rows = 0;
    for (const char* family : {"DejaVu Sans Mono", "Liberation Mono"}) {
        if (QFontInfo(QFont(family)).family() != QString(family)) {
            std::fprintf(stderr, "font %s is not installed\n", family);
            return 1;
        }
        for (int px : {10, 11, 12, 13, 14}) {
            for (bool dark : {true, false}) {
                double ours = 0, theirs = 0;
                int bestScales[4] = {};
                for (size_t k = 0; k < std::size(kTerminal); ++k) {
                    const char* text = kTerminal[k];
                    const QImage picture = RenderTerminal(family, px, dark, text);
                    if (const QString& save = options.save; !save.isEmpty())
                        picture.save(QString("%1/%2-%3-%4-%5.png")
                                         .arg(save, QString(family).remove(' '))
                                         .arg(px)
                                         .arg(dark ? "dark" : "light")
                                         .arg(k));
                    const std::string reference = NormalisedLines(text);
                    const glimmora::OcrResult read = glimmora::RecogniseText(ToImage(picture), "eng");
                    if (!read.ok) {
                        std::fprintf(stderr, "%s\n", read.error.c_str());
                        return 1;
                    }
                    const std::string got = NormalisedLines(read.text);
                    ours += std::max(0.0, 1.0 - static_cast<double>(Distance(reference, got)) /
                                                    static_cast<double>(reference.size()));
                    if (show && got != reference)
                        std::fprintf(stderr, "--- %s %d px %s\n%s\n", family, px, dark ? "dark" : "light",
                                     got.c_str());
                    double best = 0;
                    int bestScale = 1;
                    for (int scale = 1; scale <= 3 && !oursOnly; ++scale) {
                        const QString png = dir.filePath(QString("t%1.png").arg(scale));
                        picture
                            .scaled(picture.size() * scale, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                            .save(png);
                        const std::string command = NormalisedLines(RunCommand(png));
                        const double a =
                            std::max(0.0, 1.0 - static_cast<double>(Distance(reference, command)) /
                                                    static_cast<double>(reference.size()));
                        if (a > best) best = a, bestScale = scale;
                    }
                    theirs += best;
                    ++bestScales[bestScale];
                }
                const double n = std::size(kTerminal);
                ours /= n;
                theirs /= n;
                allOurs += ours;
                allTheirs += theirs;
                worst = std::min(worst, ours);
                ++rows;
                std::printf("| %s | %d | %s | %.1f %% | %.1f %% | 1x: %d, 2x: %d, 3x: %d |\n", family, px,
                            dark ? "dark" : "light", 100 * ours, 100 * theirs, bestScales[1], bestScales[2],
                            bestScales[3]);
                std::fflush(stdout);
            }
        }
    }
    std::printf("| all | | | %.2f %% (lowest %.1f %%) | %.2f %% | |\n", 100 * allOurs / rows, 100 * worst,
                100 * allTheirs / rows);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 1) glimmora::SetOcrModulePath(argv[1]);
    QTemporaryDir dir;
    if (argc > 2 && std::string(argv[2]) == "--terminal") {
        TerminalOptions options;
        for (int i = 3; i < argc; ++i) {
            const std::string a = argv[i];
            if (a == "--show") {
                options.show = true;
            } else if (a == "--ours-only") {
                options.oursOnly = true;
            } else if (a == "--save" && i + 1 < argc) {
                options.save = QString::fromLocal8Bit(argv[++i]);
            } else {
                std::fprintf(stderr,
                             "usage: ocr_bench MODULE --terminal [--show] [--ours-only] [--save DIR]\n");
                return 2;
            }
        }
        return Terminal(dir, options);
    }
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
