// The attack a pixelated or blurred cover must withstand: someone who knows the font, size and place
// of a short secret, the method and the block size renders every candidate, covers each the same way
// and picks the one nearest to the published cover.
#include <gtest/gtest.h>

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <set>
#include <vector>

#include "image/image.h"
#include "image/redact.h"

namespace glimmora {
namespace {

constexpr int kCandidates = 100;
constexpr int kTrials = 25;  // per text size and method
constexpr int kAttackerDraws = 3;

Image Render(const QString& text, const QFont& font, QSize size) {
    QImage canvas(size, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter p(&canvas);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(QPoint(4, 4 + QFontMetrics(font).ascent()), text);
    }
    Image out;
    out.Create(size.width(), size.height(), 24);
    for (int y = 0; y < size.height(); ++y) {
        const QRgb* s = reinterpret_cast<const QRgb*>(canvas.constScanLine(y));
        uint8_t* d = out.Row(y);
        for (int x = 0; x < size.width(); ++x, d += 3) {
            d[0] = static_cast<uint8_t>(qBlue(s[x]));
            d[1] = static_cast<uint8_t>(qGreen(s[x]));
            d[2] = static_cast<uint8_t>(qRed(s[x]));
        }
    }
    return out;
}

std::vector<double> Pixels(const Image& image) {
    std::vector<double> out;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width() * 3; ++x) out.push_back(image.Row(y)[x]);
    return out;
}

double Distance(const std::vector<double>& a, const std::vector<double>& b) {
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
    return sum;
}

double Mean(const std::vector<double>& v) {
    double sum = 0;
    for (double x : v) sum += x;
    return sum / static_cast<double>(v.size());
}

// 1-based rank of the truth among the candidates by score (lower is nearer), ties shared.
double RankOf(const std::vector<double>& score, int truth) {
    double better = 0, same = 0;
    for (int i = 0; i < kCandidates; ++i) {
        if (i == truth) continue;
        if (score[static_cast<size_t>(i)] < score[static_cast<size_t>(truth)]) ++better;
        if (score[static_cast<size_t>(i)] == score[static_cast<size_t>(truth)]) ++same;
    }
    return 1 + better + same / 2;
}

TEST(RedactAttack, RenderingEveryCandidatePinDoesNotFindTheSecret) {
    std::mt19937 random(20240611);
    std::set<QString> pins;
    while (pins.size() < static_cast<size_t>(kCandidates))
        pins.insert(QString::asprintf("%04u", static_cast<unsigned>(random() % 10000)));
    const std::vector<QString> candidates(pins.begin(), pins.end());

    // Two attackers: the nearest cover among the candidates' own covers, and the nearest mean colour
    // of the cover, the one thing of the pixels a cover keeps.
    int hits[2] = {0, 0};
    double rankSum[2] = {0, 0};
    int trials = 0;
    for (int pixels : {14, 28}) {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(pixels);
        const QFontMetrics metrics(font);
        const QSize size(metrics.horizontalAdvance(QStringLiteral("0000")) + 8, metrics.height() + 8);
        const Rect place{2, 2, size.width() - 2, size.height() - 2};
        std::vector<Image> pictures;
        for (const QString& pin : candidates) pictures.push_back(Render(pin, font, size));
        for (int method : {kRedactPixelate, kRedactBlur}) {
            RedactStyle style;
            style.method = method;
            std::vector<std::vector<std::vector<double>>> theirs(kCandidates);
            std::vector<double> theirMeans(kCandidates);
            for (int c = 0; c < kCandidates; ++c) {
                for (int d = 0; d < kAttackerDraws; ++d) {
                    Image covered = pictures[static_cast<size_t>(c)];
                    ASSERT_TRUE(Redact(covered, place, style));
                    theirs[static_cast<size_t>(c)].push_back(Pixels(covered));
                }
                theirMeans[static_cast<size_t>(c)] = Mean(Pixels(pictures[static_cast<size_t>(c)]));
            }
            for (int trial = 0; trial < kTrials; ++trial, ++trials) {
                const int truth = static_cast<int>(random() % kCandidates);
                Image published = pictures[static_cast<size_t>(truth)];
                ASSERT_TRUE(Redact(published, place, style));
                const std::vector<double> seen = Pixels(published);
                std::vector<double> nearest(kCandidates), byMean(kCandidates);
                for (int c = 0; c < kCandidates; ++c) {
                    double best = INFINITY;
                    for (const auto& cover : theirs[static_cast<size_t>(c)])
                        best = std::min(best, Distance(seen, cover));
                    nearest[static_cast<size_t>(c)] = best;
                    byMean[static_cast<size_t>(c)] =
                        std::abs(Mean(seen) - theirMeans[static_cast<size_t>(c)]);
                }
                const std::vector<double>* scores[2] = {&nearest, &byMean};
                for (int a = 0; a < 2; ++a) {
                    const double rank = RankOf(*scores[a], truth);
                    rankSum[a] += rank;
                    hits[a] += rank <= 1.0;
                }
            }
        }
    }
    // Guessing finds the secret once in a hundred and ranks it 50.5 on average (spread about 2.9 over
    // 100 trials); more than 5 finds would happen by chance less than once in a thousand runs.
    for (int a = 0; a < 2; ++a) {
        const double meanRank = rankSum[a] / trials;
        std::printf("attacker %d: %d of %d found, mean rank %.1f\n", a, hits[a], trials, meanRank);
        EXPECT_LE(hits[a], 5) << "attacker " << a;
        EXPECT_GT(meanRank, 40.0) << "attacker " << a;
    }
}

}  // namespace
}  // namespace glimmora
