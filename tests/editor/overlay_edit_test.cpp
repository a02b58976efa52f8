#include "editor/overlay_edit.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "editor/editor_test_util.h"

namespace glimmora {
namespace {

TEST(LineHitTest, WithinWidthPlusFourAlongTheLine) {
    struct Case {
        const char* name;
        QPoint p;
        int x1, y1, x2, y2, width;
        bool hit;
    } cases[] = {
        {"on a flat line", {50, 10}, 0, 10, 100, 10, 2, true},
        {"width + 4 below", {50, 16}, 0, 10, 100, 10, 2, true},
        {"width + 5 below", {50, 17}, 0, 10, 100, 10, 2, false},
        {"past the end", {101, 10}, 0, 10, 100, 10, 2, false},
        {"reversed points", {0, 10}, 100, 10, 0, 10, 2, true},
        {"diagonal", {50, 52}, 0, 0, 100, 100, 1, true},
        {"diagonal off", {50, 60}, 0, 0, 100, 100, 1, false},
        {"straight up, middle", {33, 150}, 30, 200, 30, 100, 1, true},
        {"straight up, width + 4 right", {35, 120}, 30, 200, 30, 100, 1, true},
        {"straight up, too far right", {36, 120}, 30, 200, 30, 100, 1, false},
        {"straight up, above its top", {30, 99}, 30, 200, 30, 100, 1, false},
        {"steep line", {12, 50}, 10, 0, 20, 100, 0, true},
        {"zero length, on its point", {7, 7}, 7, 7, 7, 7, 2, true},
        {"zero length, width + 4 away", {13, 1}, 7, 7, 7, 7, 2, true},
        {"zero length, beyond", {14, 7}, 7, 7, 7, 7, 2, false},
    };
    for (const Case& c : cases) EXPECT_EQ(LineHitTest(c.p, c.x1, c.y1, c.x2, c.y2, c.width), c.hit) << c.name;
}

std::unique_ptr<HighlightObject> Box(int l, int t, int r, int b, int shadow = 0) {
    auto box = std::make_unique<HighlightObject>();
    box->left = l, box->top = t, box->right = r, box->bottom = b;
    box->shadow = shadow;
    return box;
}

TEST(SelectAtPoint, LowestObjectWinsAndEdgesAreExclusive) {
    ObjectList objects;
    objects.push_back(Box(0, 0, 50, 50));
    objects.push_back(Box(30, 30, 80, 80));
    auto line = std::make_unique<LineObject>();
    line->x1 = 100, line->y1 = 10, line->x2 = 190, line->y2 = 10;
    line->shadow = 1;
    objects.push_back(std::move(line));
    OverlayObject* lower = objects.front().get();
    OverlayObject* upper = std::next(objects.begin())->get();
    OverlayObject* shadowed = objects.back().get();

    EXPECT_EQ(SelectAtPoint(objects, {40, 40}), lower);
    EXPECT_EQ(SelectAtPoint(objects, {0, 0}), lower);
    EXPECT_EQ(SelectAtPoint(objects, {50, 40}), upper);
    EXPECT_EQ(SelectAtPoint(objects, {79, 79}), upper);
    EXPECT_EQ(SelectAtPoint(objects, {80, 79}), nullptr);
    // A shadowed line is hit where it is drawn, not on its shadow.
    EXPECT_EQ(SelectAtPoint(objects, {150, 10}), shadowed);
    EXPECT_EQ(SelectAtPoint(objects, {150, 20}), nullptr);
    // Invisible objects are still found.
    lower->transparency = 100;
    EXPECT_EQ(SelectAtPoint(objects, {10, 10}), lower);
}

TEST(HandleAtPoint, RectangleCodesAndCursors) {
    struct Case {
        QPoint p;
        int code;
        HandleCursor cursor;
    } cases[] = {
        {{20, 10}, 4, HandleCursor::kSizeNwSe},  {{25, 15}, 4, HandleCursor::kSizeNwSe},
        {{26, 15}, 12, HandleCursor::kSelect},   {{14, 4}, 4, HandleCursor::kSizeNwSe},
        {{13, 4}, 0, HandleCursor::kNone},       {{20, 50}, 6, HandleCursor::kSizeNeSw},
        {{120, 10}, 7, HandleCursor::kSizeNeSw}, {{120, 50}, 5, HandleCursor::kSizeNwSe},
        {{20, 30}, 8, HandleCursor::kSizeWe},    {{120, 30}, 9, HandleCursor::kSizeWe},
        {{70, 10}, 10, HandleCursor::kSizeNs},   {{70, 50}, 11, HandleCursor::kSizeNs},
        {{70, 30}, 12, HandleCursor::kSelect},   {{125, 30}, 9, HandleCursor::kSizeWe},
        {{126, 30}, 0, HandleCursor::kNone},     {{70, 60}, 0, HandleCursor::kNone},
    };
    auto box = Box(20, 10, 120, 50);
    for (const Case& c : cases) {
        const HandleHit hit = HandleAtPoint(*box, c.p);
        EXPECT_EQ(hit.code, c.code) << c.p.x() << "," << c.p.y();
        EXPECT_EQ(hit.cursor, c.cursor) << c.p.x() << "," << c.p.y();
    }
    // A shadow does not move the handles: they sit on the object's corners, where it is drawn.
    auto shadowed = Box(20, 10, 120, 50, 1);
    for (const Case& c : cases)
        EXPECT_EQ(HandleAtPoint(*shadowed, c.p).code, c.code) << c.p.x() << "," << c.p.y();
}

TEST(HandleAtPoint, LineEndsAndBody) {
    ArrowObject arrow;
    arrow.x1 = 10, arrow.y1 = 10, arrow.x2 = 110, arrow.y2 = 10;
    EXPECT_EQ(HandleAtPoint(arrow, {12, 12}).code, 1);
    EXPECT_EQ(HandleAtPoint(arrow, {12, 12}).cursor, HandleCursor::kSizeNeSw);
    EXPECT_EQ(HandleAtPoint(arrow, {115, 5}).code, 2);
    EXPECT_EQ(HandleAtPoint(arrow, {115, 5}).cursor, HandleCursor::kSizeNwSe);
    EXPECT_EQ(HandleAtPoint(arrow, {60, 14}).code, 3);
    EXPECT_EQ(HandleAtPoint(arrow, {60, 14}).cursor, HandleCursor::kSelect);
    EXPECT_EQ(HandleAtPoint(arrow, {60, 20}).code, 0);
    arrow.shadow = 1;
    EXPECT_EQ(HandleAtPoint(arrow, {12, 12}).code, 1);
    EXPECT_EQ(HandleAtPoint(arrow, {17, 17}).code, 0);
}

TEST(DragObject, CornersStopTwentyShortAndMovesKeepTheSize) {
    struct Case {
        int code;
        QPoint p;
        ObjectGeometry expected;
    } cases[] = {
        {4, {500, 400}, {100, 30, 120, 50}},  // top-left dragged past bottom-right
        {4, {5, 6}, {5, 6, 120, 50}},         {5, {0, 0}, {20, 10, 40, 30}},
        {6, {200, 200}, {100, 10, 120, 200}}, {7, {-50, 300}, {20, 30, 40, 50}},
        {8, {119, 0}, {100, 10, 120, 50}},    {9, {300, 0}, {20, 10, 300, 50}},
        {10, {0, 45}, {20, 30, 120, 50}},     {11, {0, 5}, {20, 10, 120, 30}},
        {12, {60, 70}, {30, 30, 130, 70}},  // moved by (10, 20) from the press at (50, 50)
        {0, {60, 70}, {20, 10, 120, 50}},
    };
    for (const Case& c : cases) {
        auto box = Box(20, 10, 120, 50);
        const ObjectGeometry saved = GetGeometry(*box);
        DragObject(*box, c.code, saved, {50, 50}, c.p);
        const ObjectGeometry g = GetGeometry(*box);
        EXPECT_EQ((std::array{g.a, g.b, g.c, g.d}),
                  (std::array{c.expected.a, c.expected.b, c.expected.c, c.expected.d}))
            << "code " << c.code;
    }
}

TEST(DragObject, LinePointsAndWholeLine) {
    LineObject line;
    line.x1 = 10, line.y1 = 20, line.x2 = 30, line.y2 = 40;
    const ObjectGeometry saved = GetGeometry(line);
    DragObject(line, 1, saved, {10, 20}, {0, 5});
    EXPECT_EQ((std::array{line.x1, line.y1, line.x2, line.y2}), (std::array{0, 5, 30, 40}));
    DragObject(line, 2, saved, {30, 40}, {99, 98});
    EXPECT_EQ((std::array{line.x1, line.y1, line.x2, line.y2}), (std::array{0, 5, 99, 98}));
    DragObject(line, 3, saved, {15, 25}, {18, 21});
    EXPECT_EQ((std::array{line.x1, line.y1, line.x2, line.y2}), (std::array{13, 16, 33, 36}));
}

TEST(DrawHandles, WhiteDotsWithBlackRimsOnTheObjectEvenWithAShadow) {
    QImage buffer(100, 100, QImage::Format_ARGB32);
    buffer.fill(QColor(0, 0, 255));
    QPainter painter(&buffer);
    auto box = Box(20, 20, 60, 40, 1);
    DrawHandles(*box, painter);
    painter.end();
    for (QPoint centre : {QPoint(20, 20), QPoint(60, 20), QPoint(20, 40), QPoint(60, 40), QPoint(40, 20),
                          QPoint(40, 40), QPoint(20, 30), QPoint(60, 30)}) {
        EXPECT_EQ(buffer.pixelColor(centre), QColor(255, 255, 255)) << centre.x() << "," << centre.y();
        EXPECT_EQ(buffer.pixelColor(centre + QPoint(0, 4)), QColor(0, 0, 0))
            << centre.x() << "," << centre.y();
    }
    EXPECT_EQ(buffer.pixelColor(25, 25), QColor(0, 0, 255));
    EXPECT_EQ(buffer.pixelColor(35, 30), QColor(0, 0, 255));
}

TEST(Panel, ObjectValuesShowInTheirKindsPanel) {
    test::ScriptedPanel panel;
    ShapeObject shape;
    shape.transparency = 30;
    shape.shadow = 0;
    shape.shape = 3;
    shape.borderColour = 0x123456;
    shape.backColour = 0x654321;
    shape.width = 7;
    ObjectToPanel(shape, panel);
    EXPECT_EQ(panel.kind, kToolShape);
    EXPECT_EQ(panel.opacity, 30);
    EXPECT_EQ(panel.shadow, 0);
    EXPECT_EQ(panel.shape, 3);
    EXPECT_EQ(panel.border, 0x123456u);
    EXPECT_EQ(panel.shapeBack, 0x654321u);
    EXPECT_EQ(panel.width, 7);

    LineObject line;
    line.width = 9;
    line.lineStyle = 1;
    line.colour = 0xABCDEF;
    ObjectToPanel(line, panel);
    EXPECT_EQ(panel.kind, kToolLine);
    EXPECT_EQ(panel.width, 9);
    EXPECT_EQ(panel.lineStyle, 1);
    EXPECT_EQ(panel.colour, 0xABCDEFu);

    struct KindCase {
        std::unique_ptr<OverlayObject> object;
        int panelKind;
    };
    KindCase kinds[] = {{std::make_unique<TextObject>(), kToolText},
                        {std::make_unique<ArrowObject>(), kToolArrow},
                        {std::make_unique<HighlightObject>(), kToolHighlight},
                        {std::make_unique<StampObject>(), kToolStamp}};
    for (auto& k : kinds) {
        ObjectToPanel(*k.object, panel);
        EXPECT_EQ(panel.kind, k.panelKind);
    }
}

TEST(Panel, PanelValuesRestyleTheObject) {
    test::ScriptedPanel panel;
    panel.opacity = 45;
    panel.shadow = 1;
    panel.width = 6;
    panel.colour = 0x0000FF;
    panel.lineStyle = 2;
    panel.arrowStyle = 1;
    panel.boxStyle = 0;
    panel.textBack = 0x00FF00;
    LineObject line;
    PanelToObject(panel, line);
    EXPECT_EQ((std::array{line.transparency, line.shadow, line.width, line.lineStyle}),
              (std::array{45, 1, 6, 2}));
    EXPECT_EQ(line.colour, 0x0000FFu);
    ArrowObject arrow;
    PanelToObject(panel, arrow);
    EXPECT_EQ((std::array{arrow.arrowStyle, arrow.width}), (std::array{1, 6}));
    TextObject text;
    text.text = QStringLiteral("kept");
    PanelToObject(panel, text);
    EXPECT_EQ(text.boxStyle, 0);
    EXPECT_EQ(text.backColour, 0x00FF00u);
    EXPECT_EQ(text.text, QStringLiteral("kept"));

    // A stamp keeps its picture while the panel has none selected.
    StampObject stamp;
    stamp.stampImage = test::White(3, 3);
    panel.stampNumber = 0;
    PanelToObject(panel, stamp);
    EXPECT_EQ(stamp.stampImage.Width(), 3);
    panel.stampNumber = 2;
    panel.stamp = test::White(8, 5);
    PanelToObject(panel, stamp);
    EXPECT_EQ(stamp.stampNumber, 2);
    EXPECT_EQ(stamp.stampImage.Width(), 8);
    // A copy, not the panel's own picture.
    panel.stamp.Clear();
    EXPECT_TRUE(stamp.stampImage.IsValid());
}

TEST(Panel, NewObjectsTakeThePanelsStyle) {
    test::ScriptedPanel panel;
    panel.opacity = 12;
    panel.shadow = 1;
    panel.colour = 0x00AA00;
    panel.width = 4;
    panel.shape = 2;
    panel.border = 0x111111;
    panel.shapeBack = 0x222222;
    auto shape = CreateObject(kShapeObject, panel);
    ASSERT_TRUE(shape);
    auto* s = dynamic_cast<ShapeObject*>(shape.get());
    ASSERT_TRUE(s);
    EXPECT_EQ((std::array{s->transparency, s->shadow, s->width, s->shape}), (std::array{12, 1, 4, 2}));
    EXPECT_EQ(s->borderColour, 0x111111u);
    EXPECT_EQ(s->backColour, 0x222222u);

    auto box = CreateObject(kHighlightObject, panel);
    EXPECT_EQ(box->transparency, 12);  // the panel's, not the record's default of 60
    EXPECT_EQ(dynamic_cast<HighlightObject*>(box.get())->colour, 0x00AA00u);
    auto text = CreateObject(kTextObject, panel);
    EXPECT_EQ(dynamic_cast<TextObject*>(text.get())->fontName, QStringLiteral("Arial"));
    // A redaction takes the bar's method and sizes, never its opacity or shadow.
    panel.redactMethod = 1;
    panel.redactRadius = 20;
    auto cover = CreateObject(kRedactObject, panel);
    auto* r = dynamic_cast<RedactObject*>(cover.get());
    ASSERT_TRUE(r);
    EXPECT_EQ((std::array{r->transparency, r->shadow, r->method, r->radius}), (std::array{0, 0, 1, 20}));
    EXPECT_EQ(CreateObject(kPenObject + 1, panel), nullptr);
}

TEST(ObjectRecords, DefaultsAndDeepCopies) {
    HighlightObject box;
    EXPECT_EQ(box.transparency, 60);
    EXPECT_EQ(box.colour, 0x800000u);
    ShapeObject shape;
    EXPECT_EQ(shape.backColour, 0x7B1700u);
    EXPECT_EQ(shape.width, 2);
    TextObject text;
    EXPECT_EQ(text.fontSize, 16);
    EXPECT_EQ(text.alignment, 1);
    EXPECT_EQ(text.backColour, 0xFFFFFFu);

    ObjectList source;
    auto t = std::make_unique<TextObject>();
    t->text = QStringLiteral("one");
    source.push_back(std::move(t));
    auto stamp = std::make_unique<StampObject>();
    stamp->stampImage = test::White(2, 2);
    source.push_back(std::move(stamp));

    struct Odd : OverlayObject {
        Odd() : OverlayObject(9) {}
    };
    source.push_back(std::make_unique<Odd>());

    ObjectList copy;
    copy.push_back(std::make_unique<LineObject>());
    DeepCopy(copy, source);
    ASSERT_EQ(copy.size(), 2u);  // the unknown kind is left out, the old content is gone
    auto* copiedText = dynamic_cast<TextObject*>(copy.front().get());
    ASSERT_TRUE(copiedText);
    copiedText->text = QStringLiteral("two");
    EXPECT_EQ(dynamic_cast<TextObject*>(source.front().get())->text, QStringLiteral("one"));
    auto* copiedStamp = dynamic_cast<StampObject*>(copy.back().get());
    copiedStamp->stampImage.PixelAddress(0, 0)[0] = 7;
    EXPECT_EQ(dynamic_cast<StampObject*>(std::next(source.begin())->get())->stampImage.PixelAddress(0, 0)[0],
              255);
}

}  // namespace
}  // namespace glimmora
