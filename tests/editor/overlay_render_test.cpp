#include "editor/overlay_render.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <random>

#include "editor/editor_test_util.h"
#include "image/processors/geometry.h"

namespace glimmora {
namespace {

using test::At;
using test::Bgra;
using test::White;

const Bgra kWhite = {255, 255, 255, 255};
const Bgra kBlack = {0, 0, 0, 255};

TEST(Composite, BlendRulesPerDestinationAlpha) {
    struct Case {
        const char* name;
        Bgra source, destination;
        int strength;
        Bgra expected;
    } cases[] = {
        {"both transparent gives transparent white", {10, 20, 30, 0}, {1, 2, 3, 0}, 100, {255, 255, 255, 0}},
        {"onto transparent takes the source", {10, 20, 30, 90}, {1, 2, 3, 0}, 100, {10, 20, 30, 90}},
        {"opaque source replaces", {10, 20, 30, 255}, {1, 2, 3, 77}, 100, {10, 20, 30, 255}},
        {"transparent source leaves alone", {10, 20, 30, 0}, {1, 2, 3, 77}, 100, {1, 2, 3, 77}},
        {"both partial", {10, 20, 30, 100}, {200, 100, 50, 128}, 100, {93, 55, 38, 177}},
        {"strength scales source alpha", {10, 20, 30, 200}, {200, 100, 50, 128}, 50, {93, 55, 38, 177}},
        {"partial over opaque", {10, 20, 30, 100}, {200, 100, 50, 255}, 100, {125, 68, 42, 255}},
        {"strength 40 over white", {0, 0, 255, 255}, {255, 255, 255, 255}, 40, {153, 153, 255, 255}},
        {"strength clamped above 100", {10, 20, 30, 255}, {1, 2, 3, 255}, 500, {10, 20, 30, 255}},
        {"strength clamped below 0", {10, 20, 30, 255}, {1, 2, 3, 255}, -5, {1, 2, 3, 255}},
    };
    for (const Case& c : cases) {
        Image target = test::Filled(1, 1, 32, c.destination);
        const Image source = test::Filled(1, 1, 32, c.source);
        Composite(target, source, 0, 0, c.strength);
        EXPECT_EQ(At(target, 0, 0), c.expected) << c.name;
    }
}

TEST(Composite, ClipsToTargetAndNeedsThirtyTwoBits) {
    Image target = White(4, 4);
    const Image source = test::Filled(3, 3, 32, {0, 0, 0, 255});
    Composite(target, source, -2, 2, 100);  // only (0, 2), (0, 3) overlap
    EXPECT_EQ(At(target, 0, 2), kBlack);
    EXPECT_EQ(At(target, 0, 3), kBlack);
    EXPECT_EQ(At(target, 1, 2), kWhite);
    EXPECT_EQ(At(target, 0, 1), kWhite);
    Composite(target, source, 4, 0, 100);
    Composite(target, source, -3, -3, 100);
    EXPECT_EQ(At(target, 3, 0), kWhite);
    EXPECT_EQ(At(target, 0, 0), kWhite);

    Image rgb = test::Filled(2, 2, 24, {255, 255, 255, 255});
    Composite(rgb, source, 0, 0, 100);
    EXPECT_EQ(At(rgb, 0, 0), kWhite);
    Image target32 = White(2, 2);
    Composite(target32, test::Filled(2, 2, 24, {0, 0, 0, 255}), 0, 0, 100);
    EXPECT_EQ(At(target32, 0, 0), kWhite);
}

// The shadow by its definition: every canvas pixel is the 10 x 10 window (offsets -5 .. 4) of the
// 75 % shadow alpha placed at +10, colours black, then the picture on top at (5, 5).
Image ShadowByDefinition(const Image& picture) {
    const int w = picture.Width(), h = picture.Height();
    std::vector<int> alpha((w + 20) * (h + 20), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            alpha[(y + 10) * (w + 20) + x + 10] = picture.PixelAddress(x, y)[3] * 75 / 100;
    Image out;
    out.Create(w + 20, h + 20, 32);
    for (int Y = 0; Y < h + 20; ++Y)
        for (int X = 0; X < w + 20; ++X) {
            int sum = 0;
            for (int dy = -5; dy <= 4; ++dy)
                for (int dx = -5; dx <= 4; ++dx) {
                    const int sx = X + dx, sy = Y + dy;
                    if (sx >= 0 && sy >= 0 && sx < w + 20 && sy < h + 20) sum += alpha[sy * (w + 20) + sx];
                }
            out.PixelAddress(X, Y)[3] = static_cast<uint8_t>(sum / 100);
        }
    Composite(out, picture, 5, 5, 100);
    return out;
}

TEST(DropShadow, RunningSumsMatchTheWindowDefinition) {
    std::mt19937 random(7);
    for (auto [w, h] : {std::pair{1, 1}, {3, 17}, {25, 9}, {40, 40}}) {
        Image picture;
        ASSERT_TRUE(picture.Create(w, h, 32));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int i = 0; i < 4; ++i) picture.PixelAddress(x, y)[i] = static_cast<uint8_t>(random());
        const Image expected = ShadowByDefinition(picture);
        AddDropShadow(picture);
        ASSERT_EQ(picture.Width(), w + 20);
        ASSERT_EQ(picture.Height(), h + 20);
        for (int y = 0; y < h + 20; ++y)
            for (int x = 0; x < w + 20; ++x)
                ASSERT_EQ(At(picture, x, y), At(expected, x, y)) << w << "x" << h << " at " << x << "," << y;
    }
}

TEST(RenderObject, HighlightBoxColourOpacityAndEdges) {
    Image target = White(100, 100);
    HighlightObject box;
    box.colour = 0x0000FF;  // red
    box.left = 10, box.top = 20, box.right = 50, box.bottom = 60;
    box.transparency = 0;
    RenderObject(box, target);
    EXPECT_EQ(At(target, 10, 20), (Bgra{0, 0, 255, 255}));
    EXPECT_EQ(At(target, 49, 59), (Bgra{0, 0, 255, 255}));
    EXPECT_EQ(At(target, 50, 59), kWhite);
    EXPECT_EQ(At(target, 49, 60), kWhite);
    EXPECT_EQ(At(target, 9, 20), kWhite);

    Image faded = White(100, 100);
    box.transparency = 60;  // the default: 40 % strength
    RenderObject(box, faded);
    EXPECT_EQ(At(faded, 30, 30), (Bgra{153, 153, 255, 255}));

    Image invisible = White(100, 100);
    box.transparency = 100;
    RenderObject(box, invisible);
    EXPECT_EQ(At(invisible, 30, 30), kWhite);
}

TEST(RenderObject, ShadowFallsFiveRightAndDownOfTheObjectWhichStaysPut) {
    Image target = White(120, 120);
    HighlightObject box;
    box.colour = 0x008000;
    box.transparency = 0;
    box.shadow = 1;
    box.left = 50, box.top = 50, box.right = 70, box.bottom = 70;
    RenderObject(box, target);
    // Drawn where it is stored, as without a shadow.
    EXPECT_EQ(At(target, 50, 50), (Bgra{0, 128, 0, 255}));
    EXPECT_EQ(At(target, 69, 69), (Bgra{0, 128, 0, 255}));
    EXPECT_NE(At(target, 70, 70), (Bgra{0, 128, 0, 255}));
    // Shadow windows: 5 x 5 shadow pixels of alpha 191 at (75, 75) give 47; 8 x 5 at (72, 55) give 76.
    EXPECT_EQ(At(target, 75, 75), (Bgra{208, 208, 208, 255}));
    EXPECT_EQ(At(target, 72, 55), (Bgra{179, 179, 179, 255}));
    EXPECT_EQ(At(target, 80, 80), kWhite);
    // Just past the object's corner the window is full: 100 pixels of 191 give alpha 191.
    EXPECT_EQ(At(target, 70, 70), (Bgra{64, 64, 64, 255}));
    EXPECT_EQ(At(target, 72, 72), (Bgra{133, 133, 133, 255}));
}

TEST(RenderObject, PartlyOutsideGivesTheSamePixelsAsFullyInside) {
    // The same shadowed objects, once crossing the target's top-left corner and once well inside a
    // larger target: where both show, they must agree.
    auto render = [](int shift, int size) {
        Image target = White(size, size);
        ShapeObject shape;
        shape.shape = 3;
        shape.shadow = 1;
        shape.left = -40 + shift, shape.top = -30 + shift, shape.right = 30 + shift,
        shape.bottom = 25 + shift;
        RenderObject(shape, target);
        LineObject line;
        line.shadow = 1;
        line.width = 5;
        line.x1 = -60 + shift, line.y1 = 10 + shift, line.x2 = 40 + shift, line.y2 = -50 + shift;
        RenderObject(line, target);
        return target;
    };
    const Image clipped = render(0, 80);
    const Image whole = render(200, 300);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 80; ++x)
            ASSERT_EQ(At(clipped, x, y), At(whole, x + 200, y + 200)) << x << "," << y;
}

TEST(RenderObject, LineColourWidthAndDots) {
    Image target = White(200, 200);
    LineObject line;
    line.colour = 0xFF0000;  // blue
    line.width = 4;
    line.x1 = 20, line.y1 = 100, line.x2 = 180, line.y2 = 100;
    RenderObject(line, target);
    for (int y : {98, 99, 100, 101}) EXPECT_EQ(At(target, 100, y), (Bgra{255, 0, 0, 255})) << y;
    EXPECT_EQ(At(target, 100, 97), kWhite);
    EXPECT_EQ(At(target, 100, 102), kWhite);
    EXPECT_EQ(At(target, 19, 100), kWhite);  // flat ends
    EXPECT_EQ(At(target, 181, 100), kWhite);

    Image dotted = White(200, 200);
    line.lineStyle = 1;
    RenderObject(line, dotted);
    int blue = 0, white = 0;
    for (int x = 24; x < 176; ++x) {
        const Bgra p = At(dotted, x, 99);
        blue += p == Bgra{255, 0, 0, 255};
        white += p == kWhite;
    }
    EXPECT_GT(blue, 50);
    EXPECT_GT(white, 50);
}

TEST(ArrowHead, CornersTruncateTowardZero) {
    struct Case {
        QPoint tail, head, base, corner1, corner2;
    } cases[] = {
        {{20, 100}, {120, 100}, {94, 100}, {94, 104}, {94, 96}},
        {{0, 0}, {30, 40}, {14, 19}, {10, 21}, {17, 16}},
        {{0, 0}, {-30, -40}, {-14, -19}, {-10, -21}, {-17, -16}},
    };
    for (const Case& c : cases) {
        const ArrowHead head = ComputeArrowHead(c.tail, c.head);
        ASSERT_TRUE(head.valid);
        EXPECT_EQ(head.base, c.base);
        EXPECT_EQ(head.corner1, c.corner1);
        EXPECT_EQ(head.corner2, c.corner2);
    }
    EXPECT_FALSE(ComputeArrowHead({5, 5}, {5, 5}).valid);
}

TEST(RenderObject, FilledArrowHasBlackShaftAndColouredHead) {
    Image target = White(200, 200);
    ArrowObject arrow;
    arrow.colour = 0x0000FF;
    arrow.x1 = 20, arrow.y1 = 100, arrow.x2 = 120, arrow.y2 = 100;
    RenderObject(arrow, target);
    EXPECT_EQ(At(target, 50, 100), kBlack);                   // shaft
    EXPECT_EQ(At(target, 100, 102), (Bgra{0, 0, 255, 255}));  // inside the head
    EXPECT_EQ(At(target, 94, 104), kBlack);                   // head corners
    EXPECT_EQ(At(target, 94, 96), kBlack);
    // Only the arrow shows: the rest of its canvas is transparent.
    EXPECT_EQ(At(target, 50, 95), kWhite);
    EXPECT_EQ(At(target, 15, 95), kWhite);
    EXPECT_EQ(At(target, 125, 105), kWhite);
}

TEST(RenderObject, OpenArrowShaftStopsAtTheBaseOfTheHead) {
    Image target = White(200, 200);
    ArrowObject arrow;
    arrow.arrowStyle = 1;
    arrow.colour = 0x0000FF;
    arrow.x1 = 20, arrow.y1 = 100, arrow.x2 = 120, arrow.y2 = 100;
    RenderObject(arrow, target);
    EXPECT_EQ(At(target, 50, 100), kBlack);
    EXPECT_EQ(At(target, 94, 100), kBlack);  // the base, where the head's sides meet
    EXPECT_EQ(At(target, 94, 104), kBlack);
    EXPECT_EQ(At(target, 105, 100), kWhite);  // no shaft inside the open head
    EXPECT_EQ(At(target, 100, 102), kWhite);
}

TEST(RenderObject, ZeroLengthArrowAndLineDrawNothingAndDoNotFail) {
    Image target = White(50, 50);
    ArrowObject arrow;
    arrow.x1 = arrow.x2 = 25;
    arrow.y1 = arrow.y2 = 25;
    arrow.shadow = 1;
    RenderObject(arrow, target);
    EXPECT_EQ(At(target, 25, 25), kWhite);
    LineObject far;
    far.x1 = -2000000000, far.y1 = -2000000000, far.x2 = 2000000000, far.y2 = 2000000000;
    RenderObject(far, target);  // clipped to what can show; must not try a canvas of that size
}

TEST(RenderObject, ShapesOutlineAndFill) {
    struct Case {
        int shape;
        Bgra centre, nearCorner;
    } cases[] = {
        {0, kWhite, kWhite},
        {1, kWhite, kWhite},
        {2, {128, 128, 0, 255}, {128, 128, 0, 255}},
        {3, {128, 128, 0, 255}, kWhite},
    };
    for (const Case& c : cases) {
        Image target = White(150, 120);
        ShapeObject shape;
        shape.shape = c.shape;
        shape.backColour = 0x808000;
        shape.borderColour = 0x000000;
        shape.left = 20, shape.top = 20, shape.right = 120, shape.bottom = 80;
        RenderObject(shape, target);
        EXPECT_EQ(At(target, 70, 50), c.centre) << c.shape;
        EXPECT_EQ(At(target, 24, 24), c.nearCorner) << c.shape;
        EXPECT_EQ(At(target, 10, 50), kWhite) << c.shape;
    }
    // The rectangle's border runs along its left edge; the ellipse touches the middle of it.
    for (int shape : {0, 2}) {
        Image target = White(150, 120);
        ShapeObject s;
        s.shape = shape;
        s.left = 20, s.top = 20, s.right = 120, s.bottom = 80;
        RenderObject(s, target);
        EXPECT_EQ(At(target, 20, 50), kBlack) << shape;
        EXPECT_EQ(At(target, 20, 25), kBlack) << shape;
    }
}

TEST(RenderObject, TextBoxSolidOrTransparent) {
    TextObject text;
    text.text = QStringLiteral("Hi there");
    text.left = 10, text.top = 10, text.right = 150, text.bottom = 60;
    text.backColour = 0x00FFFF;  // yellow
    text.boxStyle = 0;
    Image solid = White(200, 100);
    RenderObject(text, solid);
    EXPECT_EQ(At(solid, 12, 58), (Bgra{0, 255, 255, 255}));
    EXPECT_EQ(At(solid, 149, 10), (Bgra{0, 255, 255, 255}));
    EXPECT_EQ(At(solid, 150, 10), kWhite);
    int dark = 0;
    for (int y = 10; y < 40; ++y)
        for (int x = 10; x < 150; ++x) dark += At(solid, x, y)[2] < 100;
    EXPECT_GT(dark, 20);

    text.boxStyle = 1;
    Image clear = White(200, 100);
    RenderObject(text, clear);
    EXPECT_EQ(At(clear, 12, 58), kWhite);
}

TEST(TextFont, UnknownFamilyFallsBackToSansSerif) {
    TextObject text;
    text.fontName = QStringLiteral("No Such Font 12345");
    text.fontSize = 20;
    text.bold = 1;
    const QFont font = MakeTextFont(text);
    QFont sans(QStringLiteral("sans-serif"));
    sans.setStyleHint(QFont::SansSerif);
    EXPECT_EQ(QFontInfo(font).family(), QFontInfo(sans).family());
    EXPECT_EQ(font.pointSizeF(), 20.0);
    EXPECT_TRUE(font.bold());
    EXPECT_FALSE(font.italic());
}

TEST(RenderObject, StampIsScaledToItsBoxWhateverItsDepth) {
    for (int depth : {8, 24, 32}) {
        StampObject stamp;
        stamp.stampImage = test::Filled(2, 2, depth, {0, 0, 255, 255});
        if (depth == 8) {
            const PaletteEntry red{0, 0, 255, 0};
            std::vector<PaletteEntry> palette(256, red);
            stamp.stampImage.SetPalette(0, 256, palette.data());
        }
        stamp.left = 10, stamp.top = 10, stamp.right = 30, stamp.bottom = 40;
        Image target = White(60, 60);
        RenderObject(stamp, target);
        EXPECT_EQ(At(target, 10, 10), (Bgra{0, 0, 255, 255})) << depth;
        EXPECT_EQ(At(target, 29, 39), (Bgra{0, 0, 255, 255})) << depth;
        EXPECT_EQ(At(target, 30, 39), kWhite) << depth;
        EXPECT_EQ(At(target, 29, 40), kWhite) << depth;
    }
    StampObject empty;
    empty.right = empty.bottom = 10;
    Image target = White(20, 20);
    RenderObject(empty, target);
    EXPECT_EQ(At(target, 5, 5), kWhite);
}

TEST(RenderObject, StampIsCutToWhatShowsLikeTheOtherKinds) {
    // A 3 x 2 stamp of six colours with alpha; every box gives the pixels of the whole stamp resampled
    // to the box and laid over the target, however much of it lies outside.
    Image picture;
    ASSERT_TRUE(picture.Create(3, 2, 32));
    for (int i = 0; i < 6; ++i) {
        uint8_t* p = picture.PixelAddress(i % 3, i / 3);
        p[0] = static_cast<uint8_t>(40 * i), p[1] = static_cast<uint8_t>(200 - 30 * i);
        p[2] = static_cast<uint8_t>(17 * i + 5), p[3] = static_cast<uint8_t>(255 - 20 * i);
    }
    struct Case {
        const char* name;
        int left, top, right, bottom;
    } cases[] = {
        {"inside", 5, 4, 45, 30},
        {"over the top-left corner", -37, -23, 31, 19},
        {"over the bottom-right corner", 20, 15, 97, 88},
        {"native size", 7, 9, 10, 11},
        {"far larger than the target", -700, -500, 900, 800},
    };
    for (const Case& c : cases) {
        StampObject stamp;
        stamp.shadow = 1;
        stamp.stampImage = picture;
        stamp.left = c.left, stamp.top = c.top, stamp.right = c.right, stamp.bottom = c.bottom;
        Image target = White(60, 50);
        RenderObject(stamp, target);

        Image expected = White(60, 50);
        Image scaled = picture;
        ResizeBilinear(scaled, c.right - c.left, c.bottom - c.top, nullptr);
        ObjectCanvas shadowed{scaled, c.left, c.top};
        AddDropShadow(shadowed);
        Composite(expected, shadowed.image, shadowed.x, shadowed.y, 100);
        for (int y = 0; y < 50; ++y)
            for (int x = 0; x < 60; ++x)
                ASSERT_EQ(At(target, x, y), At(expected, x, y)) << c.name << " " << x << "," << y;
    }

    // A box whose whole resampled picture would pass the size bound is still drawn where it is.
    StampObject huge;
    huge.transparency = 0;
    huge.stampImage = test::Filled(2, 2, 32, {0, 0, 255, 255});
    huge.left = -20000, huge.top = -20000, huge.right = 20000, huge.bottom = 20000;
    Image target = White(60, 50);
    RenderObject(huge, target);
    EXPECT_EQ(At(target, 0, 0), (Bgra{0, 0, 255, 255}));
    EXPECT_EQ(At(target, 59, 49), (Bgra{0, 0, 255, 255}));
}

TEST(RenderAll, ListOrderStacksAndOtherDepthsBecomeThirtyTwoBits) {
    ObjectList objects;
    auto lower = std::make_unique<HighlightObject>();
    lower->transparency = 0;
    lower->colour = 0x0000FF;
    lower->left = 0, lower->top = 0, lower->right = 20, lower->bottom = 20;
    auto upper = std::make_unique<HighlightObject>();
    upper->transparency = 0;
    upper->colour = 0xFF0000;
    upper->left = 10, upper->top = 10, upper->right = 30, upper->bottom = 30;
    objects.push_back(std::move(lower));
    objects.push_back(std::move(upper));

    // After an image command the picture has 24 bits; the objects must still show.
    Image target = test::Filled(40, 40, 24, {255, 255, 255, 255});
    RenderAll(objects, target);
    ASSERT_EQ(target.Depth(), 32);
    EXPECT_EQ(At(target, 5, 5), (Bgra{0, 0, 255, 255}));
    EXPECT_EQ(At(target, 15, 15), (Bgra{255, 0, 0, 255}));
    EXPECT_EQ(At(target, 35, 35), kWhite);

    Image untouched = test::Filled(4, 4, 24, {1, 2, 3, 255});
    RenderAll(ObjectList{}, untouched);
    EXPECT_EQ(untouched.Depth(), 24);
}

}  // namespace
}  // namespace glimmora
