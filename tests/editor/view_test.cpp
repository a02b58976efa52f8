// The editor view driven as a user drives it: mouse and keys on the viewport, the picture as shown.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMenu>
#include <QPrinter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <map>
#include <random>

#include "editor/overlay_object.h"
#include "editor/overlay_render.h"
#include "editor/tavrik_doc.h"
#include "editor/tavrik_view.h"
#include "editor/view_host.h"
#include "editor_test_util.h"
#include "image/redact.h"

namespace glimmora {
namespace {

using test::At;
using test::Bgra;

struct RecordingHost : ViewHost {
    void SetStatusText(int pane, const QString& text) override { panes[pane] = text; }
    bool EditText(TextObject& object, bool) override {
        ++dialogs;
        if (acceptText) object.text = QStringLiteral("Hello");
        return acceptText;
    }
    std::map<int, QString> panes;
    bool acceptText = true;
    int dialogs = 0;
};

struct PastePrompts : DocumentPrompts {
    Answer AskSaveImage() override { return Answer::kCancel; }
    std::optional<std::string> AskSavePath(const std::string&) override { return std::nullopt; }
    void ShowMessage(const std::string&) override {}
    Answer AskExpandForPaste() override {
        ++asked;
        return answer;
    }
    Answer answer = Answer::kCancel;
    int asked = 0;
};

// A 200 x 150 picture, left half blue, right half green, in a 400 x 300 view at 100 %.
class ViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        doc.image = test::Filled(200, 150, 32, {255, 0, 0, 255});
        doc.image.FillRect({100, 0, 200, 150}, std::array<uint8_t, 4>{0, 255, 0, 255}.data());
        doc.SetPrompts(&prompts);
        view = std::make_unique<CTavrikView>(&doc);
        view->SetToolPanel(&panel);
        view->SetHost(&host);
        view->resize(400, 300);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        doc.UpdateAllViews();
    }

    QWidget* port() { return view->viewport(); }
    // Image pixel (x, y) at 100 % without scrolling.
    static QPoint At100(int x, int y) { return {x + CTavrikView::kMargin, y + CTavrikView::kMargin}; }
    void Drag(QPoint from, QPoint to) {
        QTest::mousePress(port(), Qt::LeftButton, {}, from);
        QTest::mouseMove(port(), (from + to) / 2);
        QTest::mouseMove(port(), to);
        QTest::mouseRelease(port(), Qt::LeftButton, {}, to);
    }
    QRgb Shown(QPoint client) { return port()->grab().toImage().pixel(client); }

    CTavrikDoc doc;
    test::ScriptedPanel panel;
    RecordingHost host;
    PastePrompts prompts;
    std::unique_ptr<CTavrikView> view;
};

// Stacked covers each draw once per repaint, the same picture as each drawn on its own.
TEST_F(ViewTest, StackedRedactionsAreEachDrawnOncePerRepaint) {
    constexpr int kCovers = 14;
    for (int i = 0; i < kCovers; ++i) {
        auto cover = std::make_unique<RedactObject>();
        cover->method = i % 3;
        cover->left = 5 + 5 * i, cover->top = 5 + 3 * i, cover->right = 120 + 5 * i,
        cover->bottom = 90 + 3 * i;
        doc.objects.push_back(std::move(cover));
    }
    doc.UpdateAllViews();
    const uint64_t before = RedactionCoversDrawn();
    const QImage shown = view->ComposeWholeZoomed();
    EXPECT_EQ(RedactionCoversDrawn() - before, static_cast<uint64_t>(kCovers));
    // The last cover, on its own, is what the view shows there.
    const auto* last = dynamic_cast<const RedactObject*>(doc.objects.back().get());
    const ObjectCanvas alone = DrawRedaction(*last, doc.image, doc.objects);
    ASSERT_TRUE(alone.image.IsValid());
    for (int y = 0; y < alone.image.Height(); y += 7)
        for (int x = 0; x < alone.image.Width(); x += 5) {
            const uint8_t* p = alone.image.PixelAddress(x, y);
            ASSERT_EQ(shown.pixel(alone.x + x, alone.y + y), qRgb(p[2], p[1], p[0])) << x << "," << y;
        }
}

TEST_F(ViewTest, LineIsSelectedWithHandlesAndItsEndHandleDrags) {
    panel.shadow = 0;
    panel.width = 3;
    panel.colour = 0x0000FF;  // red
    view->SelectTool(kToolLine);
    Drag(At100(20, 30), At100(120, 80));

    ASSERT_EQ(doc.objects.size(), 1u);
    auto* line = dynamic_cast<LineObject*>(doc.objects.front().get());
    ASSERT_NE(line, nullptr);
    EXPECT_EQ((std::array{line->x1, line->y1, line->x2, line->y2}), (std::array{20, 30, 120, 80}));
    EXPECT_EQ(line->width, 3);
    EXPECT_EQ(view->tool, kToolSelect);
    EXPECT_EQ(view->selectedObject, line);
    EXPECT_EQ(panel.kind, kToolLine);  // the selected line's panel
    EXPECT_TRUE(doc.CanUndo());

    // The handles are white discs over the red line's ends; its middle is red.
    EXPECT_EQ(Shown(At100(120, 80)), qRgb(255, 255, 255));
    EXPECT_EQ(Shown(At100(20, 30)), qRgb(255, 255, 255));
    EXPECT_EQ(Shown(At100(70, 55)), qRgb(255, 0, 0));

    // The end handle follows the mouse; the body moves the whole line.
    Drag(At100(120, 80), At100(150, 100));
    EXPECT_EQ((std::array{line->x1, line->y1, line->x2, line->y2}), (std::array{20, 30, 150, 100}));
    Drag(At100(85, 65), At100(95, 60));
    EXPECT_EQ((std::array{line->x1, line->y1, line->x2, line->y2}), (std::array{30, 25, 160, 95}));

    // Delete takes it away as one undo step.
    QTest::keyClick(view.get(), Qt::Key_Delete);
    EXPECT_TRUE(doc.objects.empty());
    EXPECT_EQ(view->selectedObject, nullptr);
    doc.OnEditUndo();
    EXPECT_EQ(doc.objects.size(), 1u);
}

// Arrow keys nudge the selected object (Shift: ten pixels), each press one undo step; Shift + wheel sizes
// the selected object, or the current tool when nothing is selected.
TEST_F(ViewTest, ArrowKeysNudgeAndShiftWheelSizes) {
    panel.shadow = 0;
    panel.width = 3;
    panel.colour = 0x0000FF;  // red
    view->SelectTool(kToolLine);
    Drag(At100(20, 30), At100(120, 30));
    auto* line = dynamic_cast<LineObject*>(doc.objects.front().get());
    ASSERT_NE(line, nullptr);
    ASSERT_EQ(view->selectedObject, line);
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int x1, y1;
    } presses[] = {{Qt::Key_Right, {}, 21, 30},
                   {Qt::Key_Down, Qt::ShiftModifier, 21, 40},
                   {Qt::Key_Left, Qt::ShiftModifier, 11, 40},
                   {Qt::Key_Up, {}, 11, 39}};
    for (const auto& press : presses) {
        QTest::keyClick(view.get(), press.key, press.modifiers);
        EXPECT_EQ((std::array{line->x1, line->y1, line->x2 - line->x1, line->y2 - line->y1}),
                  (std::array{press.x1, press.y1, 100, 0}));
    }
    // Where it now is on the screen, and nowhere it was.
    EXPECT_EQ(Shown(At100(60, 39)), qRgb(255, 0, 0));
    EXPECT_EQ(Shown(At100(60, 30)), qRgb(0, 0, 255));
    const int scrolled = view->horizontalScrollBar()->value() + view->verticalScrollBar()->value();
    EXPECT_EQ(scrolled, 0);

    auto wheel = [&](int notches) {
        QWheelEvent event(QPointF(At100(150, 120)), QPointF(port()->mapToGlobal(At100(150, 120))), QPoint(),
                          QPoint(0, 120 * notches), Qt::NoButton, Qt::ShiftModifier, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(port(), &event);
    };
    wheel(2);
    EXPECT_EQ(line->width, 5);
    EXPECT_EQ(panel.width, 5);
    wheel(-9);
    EXPECT_EQ(line->width, 1);  // not below the smallest

    // Undo steps back through the sizes and every nudge to where the line was drawn.
    for (int i = 0; i < 2 + 4; ++i) doc.OnEditUndo();
    line = dynamic_cast<LineObject*>(doc.objects.front().get());  // the history keeps copies
    ASSERT_NE(line, nullptr);
    EXPECT_EQ((std::array{line->x1, line->y1, line->width}), (std::array{20, 30, 3}));

    // Nothing selected: the tool's own size.
    view->SelectTool(kToolArrow);
    ASSERT_EQ(view->selectedObject, nullptr);
    wheel(1);
    EXPECT_EQ(panel.width, 2);
    EXPECT_EQ(line->width, 3);
}

// Step counters number themselves: the next follows the highest, a deletion renumbers those after it
// when asked, undo brings the numbers back, and a picture without counters starts at the bar's number.
TEST_F(ViewTest, StepCountersNumberThemselves) {
    auto numbers = [&] {
        std::vector<int> found;
        for (const auto& object : doc.objects)
            if (auto* counter = dynamic_cast<const CounterObject*>(object.get()))
                found.push_back(counter->number);
        return found;
    };
    panel.shadow = 0;
    panel.colour = 0x000000;  // black: the number is white
    view->SelectTool(kToolCounter);
    for (int i = 0; i < 5; ++i) QTest::mouseClick(port(), Qt::LeftButton, {}, At100(20 + 35 * i, 40));
    EXPECT_EQ(numbers(), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(view->tool, kToolCounter);  // still in the hand
    // Drawn where clicked: black disc, white figure somewhere inside, the picture around it.
    const QImage shown = port()->grab().toImage();
    EXPECT_EQ(shown.pixel(At100(20 - 11, 40)), qRgb(0, 0, 0));
    EXPECT_EQ(shown.pixel(At100(20 - 16, 40)), qRgb(0, 0, 255));
    bool white = false;
    for (int y = 32; y < 48; ++y)
        for (int x = 15; x < 26; ++x) white |= shown.pixel(At100(x, y)) == qRgb(255, 255, 255);
    EXPECT_TRUE(white);

    for (const bool renumber : {true, false}) {
        panel.renumber = renumber;
        view->SelectTool(kToolSelect);
        QTest::mouseClick(port(), Qt::LeftButton, {}, At100(55, 40));
        ASSERT_NE(view->selectedObject, nullptr);
        QTest::keyClick(view.get(), Qt::Key_Delete);
        EXPECT_EQ(numbers(), renumber ? (std::vector<int>{1, 2, 3, 4}) : (std::vector<int>{1, 3, 4, 5}));
        doc.OnEditUndo();
        EXPECT_EQ(numbers(), (std::vector<int>{1, 2, 3, 4, 5}));
    }

    doc.objects.clear();
    doc.UpdateAllViews();
    panel.counterStart = 7;
    view->SelectTool(kToolCounter);
    QTest::mouseClick(port(), Qt::LeftButton, {}, At100(30, 100));
    QTest::mouseClick(port(), Qt::LeftButton, {}, At100(80, 100));
    EXPECT_EQ(numbers(), (std::vector<int>{7, 8}));
}

// A pen stroke follows the mouse as one object and one undo step; the marker is wide and lets the
// picture show through; a stroke moves and widens like any object.
TEST_F(ViewTest, PenAndMarkerStrokesFollowTheMouse) {
    panel.shadow = 0;
    panel.opacity = 0;
    panel.colour = 0x0000FF;  // red
    panel.width = 3;
    view->SelectTool(kToolPen);
    const std::vector<QPoint> path = {{20, 20}, {40, 30}, {60, 50}, {80, 50}, {90, 40}};
    QTest::mousePress(port(), Qt::LeftButton, {}, At100(path[0].x(), path[0].y()));
    for (size_t i = 1; i < path.size(); ++i) QTest::mouseMove(port(), At100(path[i].x(), path[i].y()));
    QTest::mouseRelease(port(), Qt::LeftButton, {}, At100(90, 40));
    ASSERT_EQ(doc.objects.size(), 1u);
    auto* stroke = dynamic_cast<PenObject*>(doc.objects.front().get());
    ASSERT_NE(stroke, nullptr);
    EXPECT_EQ(stroke->points, path);
    EXPECT_EQ(view->tool, kToolPen);
    // Under the pointer at each point the mouse gave (the stroke passes through them).
    for (const QPoint& p : {path.front(), path[3], path.back()})
        EXPECT_EQ(Shown(At100(p.x(), p.y())), qRgb(255, 0, 0));
    EXPECT_EQ(Shown(At100(20, 60)), qRgb(0, 0, 255));

    // The marker: four pixels per step of width, half see-through over the blue.
    panel.colour = 0x00FFFF;  // yellow
    panel.opacity = 50;
    panel.width = 4;
    view->SelectTool(kToolMarker);
    Drag(At100(20, 110), At100(150, 110));
    auto* marker = dynamic_cast<PenObject*>(doc.objects.back().get());
    ASSERT_NE(marker, nullptr);
    EXPECT_EQ(marker->marker, 1);
    EXPECT_EQ(marker->width, 16);
    const QRgb over = Shown(At100(50, 117));
    EXPECT_NEAR(qRed(over), 128, 3);
    EXPECT_NEAR(qGreen(over), 128, 3);
    EXPECT_NEAR(qBlue(over), 128, 3);
    EXPECT_EQ(Shown(At100(50, 125)), qRgb(0, 0, 255));

    // Selected by its stroke (not its box) and dragged: every point moves.
    view->SelectTool(kToolSelect);
    QTest::mouseClick(port(), Qt::LeftButton, {}, At100(30, 45));  // inside the box, off the stroke
    EXPECT_EQ(view->selectedObject, nullptr);
    QTest::mouseClick(port(), Qt::LeftButton, {}, At100(80, 50));
    ASSERT_EQ(view->selectedObject, stroke);
    Drag(At100(80, 50), At100(90, 60));
    EXPECT_EQ(stroke->points.front(), QPoint(30, 30));
    EXPECT_EQ(Shown(At100(100, 50)), qRgb(255, 0, 0));
    // Undo: the move, the marker, the stroke.
    doc.OnEditUndo();
    doc.OnEditUndo();
    doc.OnEditUndo();
    EXPECT_TRUE(doc.objects.empty());
}

// Every change the user makes to an object is one undo step of the object list alone: Ctrl+Z after
// a move undoes the move, not the object's creation, and the picture is never copied for it.
TEST_F(ViewTest, MovesRestylesTextEditsAndReordersAreUndoneOneByOne) {
    panel.shadow = 0;
    panel.colour = 0x0000FF;
    view->SelectTool(kToolLine);
    Drag(At100(20, 30), At100(120, 80));
    view->SelectTool(kToolText);
    QTest::mouseClick(port(), Qt::LeftButton, {}, At100(130, 90));
    ASSERT_EQ(doc.objects.size(), 2u);
    auto line = [&] { return dynamic_cast<LineObject*>(doc.objects.front().get()); };
    auto text = [&] { return dynamic_cast<TextObject*>(doc.objects.back().get()); };
    auto points = [&] { return std::array{line()->x1, line()->y1, line()->x2, line()->y2}; };
    const size_t created = doc.undo.UndoCount();

    // A drag of the body with many moves is one step; a press that moves nothing is none.
    view->SelectTool(kToolSelect);
    QTest::mouseClick(port(), Qt::LeftButton, {}, At100(70, 55));
    ASSERT_EQ(view->selectedObject, line());
    QTest::mousePress(port(), Qt::LeftButton, {}, At100(70, 55));
    for (int i = 1; i <= 10; ++i) QTest::mouseMove(port(), At100(70 + i, 55 - i));
    QTest::mouseRelease(port(), Qt::LeftButton, {}, At100(80, 45));
    EXPECT_EQ(points(), (std::array{30, 20, 130, 70}));
    QTest::mouseClick(port(), Qt::LeftButton, {}, At100(80, 45));
    // A restyle from the bar; the same values again change nothing.
    ASSERT_EQ(view->selectedObject, line());
    panel.colour = 0x00FF00;
    view->OnPanelChanged();
    view->OnPanelChanged();
    EXPECT_EQ(line()->colour, 0x00FF00u);
    // Edit Text on the text box, then it goes to the back.
    view->selectedObject = text();
    host.acceptText = true;
    text()->text = QStringLiteral("Before");
    ASSERT_TRUE(view->OnCommand(view_cmd::kEditText));
    EXPECT_EQ(text()->text, QStringLiteral("Hello"));
    ASSERT_TRUE(view->OnCommand(view_cmd::kSendToBack));
    ASSERT_EQ(doc.objects.front()->kind, kTextObject);
    EXPECT_EQ(doc.undo.UndoCount(), created + 4);

    doc.OnEditUndo();  // the reorder
    EXPECT_EQ(doc.objects.front()->kind, kLineObject);
    doc.OnEditUndo();  // the text edit
    EXPECT_EQ(text()->text, QStringLiteral("Before"));
    doc.OnEditUndo();  // the restyle
    EXPECT_EQ(line()->colour, 0x0000FFu);
    EXPECT_EQ(points(), (std::array{30, 20, 130, 70}));
    doc.OnEditUndo();  // the drag
    EXPECT_EQ(points(), (std::array{20, 30, 120, 80}));
    EXPECT_EQ(doc.objects.size(), 2u);
    doc.OnEditRedo();
    EXPECT_EQ(points(), (std::array{30, 20, 130, 70}));
    EXPECT_EQ(line()->colour, 0x0000FFu);
}

// The cover is drawn from what lies beneath it wherever it goes; whatever leaves the program (a saved
// file, the clipboard, the flattened picture) holds none of the pixels it covers.
TEST_F(ViewTest, RedactionCoversWhatLiesBeneathWhereverItGoes) {
    std::mt19937 random(3);
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 200 * 4; ++x) doc.image.Row(y)[x] = x % 4 == 3 ? 255 : random() & 0xFF;
    const Image original = doc.image;
    QTemporaryDir dir;
    const std::string path = dir.filePath("r.bmp").toStdString();
    // Pixels of the saved file in r that are still the original's, and whether all of r is.
    auto saved = [&] {
        Image out;
        EXPECT_TRUE(doc.OnSaveDocument(path));
        EXPECT_TRUE(out.Load(path));
        return out;
    };
    auto kept = [&](const Image& picture, QRect r) {
        int same = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                same += std::memcmp(picture.PixelAddress(x, y), original.PixelAddress(x, y), 3) == 0;
        return same;
    };
    const QRect first(10, 10, 80, 60), moved(90, 50, 80, 60);

    panel.redactMethod = kRedactPixelate;
    panel.redactBlock = 16;
    view->SelectTool(kToolRedact);
    EXPECT_EQ(panel.kind, kToolRedact);
    Drag(At100(10, 10), At100(90, 70));
    ASSERT_EQ(doc.objects.size(), 1u);
    auto* cover = dynamic_cast<RedactObject*>(doc.objects.front().get());
    ASSERT_NE(cover, nullptr);
    EXPECT_EQ((std::array{cover->left, cover->top, cover->right, cover->bottom}),
              (std::array{10, 10, 90, 70}));
    EXPECT_EQ(view->selectedObject, cover);
    Image picture = saved();
    EXPECT_EQ(kept(picture, first), 0);
    EXPECT_EQ(kept(picture, moved.adjusted(10, 30, 0, 0)), 70 * 30);
    // Each block of the cover's own grid is one colour, and the view shows the same picture.
    RedactStyle style;
    style.method = kRedactPixelate;
    style.random = cover->random;
    const std::vector<Rect> blocks = RedactBlocks(80, 60, style);
    ASSERT_GE(blocks.size(), 4u);
    for (const Rect& b : blocks) {
        EXPECT_EQ(std::memcmp(picture.PixelAddress(10 + b.left, 10 + b.top),
                              picture.PixelAddress(9 + b.right, 9 + b.bottom), 3),
                  0);
    }
    view->selectedObject = nullptr;
    const QImage shown = view->ComposeWholeZoomed();
    for (QPoint p : {QPoint(10, 10), QPoint(60, 40), QPoint(89, 69), QPoint(150, 120)}) {
        const uint8_t* q = picture.PixelAddress(p.x(), p.y());
        EXPECT_EQ(shown.pixel(p), qRgb(q[2], q[1], q[0])) << p.x() << "," << p.y();
    }

    // Moved: the old place shows the picture again, the new one is covered from its own pixels.
    view->SelectTool(kToolSelect);
    QTest::mouseClick(port(), Qt::LeftButton, {}, At100(50, 40));
    ASSERT_EQ(view->selectedObject, cover);
    Drag(At100(50, 40), At100(130, 80));
    EXPECT_EQ(cover->left, 90);
    picture = saved();
    EXPECT_EQ(kept(picture, first.adjusted(0, 0, -10, 0)), 70 * 60);
    EXPECT_EQ(kept(picture, moved), 0);
    // Restyled to a solid red cover, then Blur; below the least radius the panel's value is not used.
    view->selectedObject = cover;
    panel.redactMethod = kRedactSolid;
    panel.redactColour = 0x0000FF;
    view->OnPanelChanged();
    EXPECT_EQ(At(saved(), 100, 60), (Bgra{0, 0, 255, 255}));
    panel.redactMethod = kRedactBlur;
    panel.redactRadius = 4;
    view->OnPanelChanged();
    EXPECT_EQ(kept(saved(), moved), 0);
    // The copy holds the cover too.
    view->OnEditCopy();
    const QImage copied = QGuiApplication::clipboard()->image();
    ASSERT_EQ(copied.size(), QSize(200, 150));
    int same = 0;
    for (int y = 50; y < 110; ++y)
        for (int x = 90; x < 170; ++x) {
            const uint8_t* q = original.PixelAddress(x, y);
            same += copied.pixel(x, y) == qRgb(q[2], q[1], q[0]);
        }
    EXPECT_EQ(same, 0);

    // Undo takes back the restyles and the move, one step each.
    auto current = [&] { return dynamic_cast<RedactObject*>(doc.objects.front().get()); };
    doc.OnEditUndo();
    EXPECT_EQ(current()->method, kRedactSolid);
    doc.OnEditUndo();
    EXPECT_EQ(current()->method, kRedactPixelate);
    doc.OnEditUndo();
    EXPECT_EQ(current()->left, 10);
    // Flattened, the picture itself holds the cover.
    ASSERT_TRUE(view->OnCommand(view_cmd::kFlatten));
    EXPECT_TRUE(doc.objects.empty());
    EXPECT_EQ(kept(doc.image, first), 0);
}

// A slider dragged across many values is one step; the next drag, or a click, is a step of its own.
TEST_F(ViewTest, ADraggedSliderIsOneRestyle) {
    panel.shadow = 0;
    view->SelectTool(kToolHighlight);
    Drag(At100(20, 20), At100(80, 60));
    ASSERT_NE(view->selectedObject, nullptr);
    const size_t created = doc.undo.UndoCount();
    struct Change {
        int drag;
        int opacity;
    } changes[] = {{1, 10}, {1, 20}, {1, 30}, {2, 40}, {2, 50}, {0, 60}, {0, 70}};
    for (const Change& c : changes) {
        panel.dragSerial = c.drag;
        panel.opacity = c.opacity;
        view->OnPanelChanged();
    }
    EXPECT_EQ(doc.undo.UndoCount(), created + 4);
    EXPECT_EQ(doc.objects.back()->transparency, 70);
    for (int expected : {60, 50, 30}) {
        doc.OnEditUndo();
        EXPECT_EQ(doc.objects.back()->transparency, expected);
    }
}

// Adjusting the crop rectangle many times keeps the history the user had.
TEST_F(ViewTest, CropPressesWithoutObjectsRecordNothing) {
    doc.RecordState(doc.image);
    doc.RecordState(doc.image);
    view->SelectTool(kToolCrop);
    Drag(At100(10, 10), At100(110, 60));
    for (int i = 0; i < 11; ++i) Drag(At100(50, 30), At100(51 + i % 2, 30));
    EXPECT_EQ(doc.undo.UndoCount(), 2u);
}

TEST_F(ViewTest, CropBurnsObjectsInAndEnterCropsTheRectangle) {
    auto box = std::make_unique<HighlightObject>();
    box->left = 40, box->top = 20, box->right = 60, box->bottom = 40;
    box->transparency = 0;
    box->colour = 0x0000FF;
    doc.AddObject(std::move(box));
    const int steps = doc.undo.UndoCount();

    view->SelectTool(kToolCrop);
    Drag(At100(10, 10), At100(110, 60));
    // The press burnt the highlight box into the picture as one step.
    EXPECT_TRUE(doc.objects.empty());
    EXPECT_EQ(doc.undo.UndoCount(), steps + 1);
    EXPECT_EQ(At(doc.image, 50, 30), (Bgra{0, 0, 255, 255}));
    EXPECT_EQ(view->trackImageRect, QRect(10, 10, 100, 50));
    // Outside the rectangle the picture is dimmed, inside it is not; the frame is dotted black.
    EXPECT_EQ(Shown(At100(150, 100)), qRgb(0, 127, 0));
    EXPECT_EQ(Shown(At100(30, 45)), qRgb(0, 0, 255));
    EXPECT_EQ(Shown(At100(61, 59)), qRgb(0, 0, 0));

    // Moving it partly out of the picture leaves it; a corner stops 8 pixels before the other.
    Drag(At100(50, 30), At100(250, 30));
    EXPECT_EQ(view->trackImageRect, QRect(10, 10, 100, 50));
    Drag(At100(110, 60), At100(0, 0));
    EXPECT_EQ(view->trackImageRect, QRect(10, 10, 8, 8));
    Drag(At100(18, 18), At100(110, 60));
    EXPECT_EQ(view->trackImageRect, QRect(10, 10, 100, 50));

    QTest::keyClick(view.get(), Qt::Key_Return);
    EXPECT_EQ(doc.image.Width(), 100);
    EXPECT_EQ(doc.image.Height(), 50);
    EXPECT_EQ(At(doc.image, 40, 20), (Bgra{0, 0, 255, 255}));
    EXPECT_TRUE(view->trackImageRect.isEmpty());
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);

    // The presses that adjusted the rectangle recorded nothing: one undo gives back the burnt-in
    // picture, the next the box as an object.
    EXPECT_EQ(doc.undo.UndoCount(), steps + 2);
    doc.OnEditUndo();
    EXPECT_EQ(doc.image.Width(), 200);
    EXPECT_TRUE(doc.objects.empty());
    doc.OnEditUndo();
    ASSERT_EQ(doc.objects.size(), 1u);
    EXPECT_EQ(doc.objects.front()->kind, kHighlightObject);
    EXPECT_EQ(At(doc.image, 50, 30), (Bgra{255, 0, 0, 255}));
}

TEST_F(ViewTest, CropKeepsEveryDepth) {
    for (int depth : {1, 4, 8, 16, 24}) {
        SCOPED_TRACE(depth);
        Image picture;
        ASSERT_TRUE(picture.Create(200, 150, depth));
        for (int y = 0; y < 150; ++y)
            for (int i = 0; i < picture.Stride(); ++i)
                picture.Row(y)[i] = static_cast<uint8_t>(i * 7 + y * 13);
        doc.image = picture;
        doc.UpdateAllViews();
        view->SelectTool(kToolMove);
        view->SelectTool(kToolCrop);
        Drag(At100(13, 21), At100(70, 60));
        QTest::keyClick(view.get(), Qt::Key_Return);
        ASSERT_EQ(doc.image.Width(), 57);
        ASSERT_EQ(doc.image.Height(), 39);
        ASSERT_EQ(doc.image.Depth(), depth);
        int wrong = 0;
        for (int y = 0; y < 39; ++y)
            for (int x = 0; x < 57; ++x)
                wrong += doc.image.PixelValue(x, y) != picture.PixelValue(x + 13, y + 21);
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(ViewTest, TextToolClickMakesDefaultBoxCutAtTheEdges) {
    struct Case {
        QPoint click;
        bool accept;
        QRect box;  // empty: no object
    };
    const Case cases[] = {
        {{20, 20}, true, QRect(20, 20, 100, 50)},
        {{150, 120}, true, QRect(150, 120, 50, 30)},
        {{30, 40}, false, QRect()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.click.x());
        doc.objects.clear();
        const int steps = doc.undo.UndoCount();
        host.acceptText = c.accept;
        view->SelectTool(kToolText);
        QTest::mouseClick(port(), Qt::LeftButton, {}, At100(c.click.x(), c.click.y()));
        EXPECT_EQ(view->tool, kToolSelect);
        if (c.box.isEmpty()) {
            EXPECT_TRUE(doc.objects.empty());
            EXPECT_EQ(doc.undo.UndoCount(), steps);  // the cancelled box leaves no step
            continue;
        }
        ASSERT_EQ(doc.objects.size(), 1u);
        auto* text = dynamic_cast<TextObject*>(doc.objects.front().get());
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(QRect(QPoint(text->left, text->top), QPoint(text->right - 1, text->bottom - 1)), c.box);
        EXPECT_EQ(text->text, QStringLiteral("Hello"));
        EXPECT_EQ(view->selectedObject, text);
        EXPECT_EQ(view->ContextMenu()->actions().at(0)->text(), QStringLiteral("Edit Text"));
        EXPECT_TRUE(view->ContextMenu()->actions().at(0)->isEnabled());
    }
    EXPECT_EQ(host.dialogs, 3);

    // A double click on a selected text box opens its dialog again.
    host.acceptText = true;
    auto text = std::make_unique<TextObject>();
    text->left = 10, text->top = 10, text->right = 90, text->bottom = 40;
    doc.AddObject(std::move(text));
    QTest::mouseClick(port(), Qt::LeftButton, {}, At100(50, 25));
    ASSERT_NE(view->selectedObject, nullptr);
    QTest::mouseDClick(port(), Qt::LeftButton, {}, At100(50, 25));
    EXPECT_EQ(host.dialogs, 4);
}

TEST_F(ViewTest, ZoomStepsStatusAndContextMenu) {
    view->viewport()->repaint();
    EXPECT_EQ(host.panes[0], QStringLiteral("  Size: 200 x 150"));
    EXPECT_EQ(host.panes[1], QStringLiteral("Zoom: 100%"));

    bool enabled = false, checked = false;
    view->OnZoomOut();
    view->viewport()->repaint();
    EXPECT_EQ(host.panes[1], QStringLiteral("Zoom: 75%"));
    for (int i = 0; i < 5; ++i) view->OnZoomOut();
    view->viewport()->repaint();
    EXPECT_EQ(host.panes[1], QStringLiteral("Zoom: 10%"));
    ASSERT_TRUE(view->CommandState(view_cmd::kZoomOut, &enabled, &checked));
    EXPECT_FALSE(enabled);

    // Ctrl + wheel steps up; the zoom tool zooms in on a click and out on a right click.
    QWheelEvent wheel(QPointF(50, 50), view->mapToGlobal(QPointF(50, 50)), {}, {0, 240}, Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &wheel);
    EXPECT_EQ(view->zoomIndex, 2);
    view->SelectTool(kToolZoom);
    view->CommandState(view_cmd::kZoom, &enabled, &checked);
    EXPECT_TRUE(checked);
    for (int i = 0; i < 9; ++i) QTest::mouseClick(port(), Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(view->zoomIndex, 9);
    view->viewport()->repaint();
    EXPECT_EQ(host.panes[1], QStringLiteral("Zoom: 800%"));
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 1600 + 10 - view->viewport()->width());
    QTest::mouseClick(port(), Qt::RightButton, {}, QPoint(20, 20));
    EXPECT_EQ(view->zoomIndex, 8);
    // The move tool drags the picture; a plain wheel scrolls.
    view->SelectTool(kToolMove);
    Drag(QPoint(200, 200), QPoint(150, 170));
    EXPECT_EQ(view->ScrollPosition(), QPoint(50, 30));
    QWheelEvent down(QPointF(50, 50), view->mapToGlobal(QPointF(50, 50)), {}, {0, -120}, Qt::NoButton, {},
                     Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &down);
    EXPECT_GT(view->ScrollPosition().y(), 30);
    EXPECT_EQ(view->zoomIndex, 8);
    view->OnZoomActual();
    EXPECT_EQ(view->zoomIndex, 4);

    // No object, no menu; with one, the menu has every entry by name.
    EXPECT_EQ(view->ContextMenu(), nullptr);
    auto shape = std::make_unique<ShapeObject>();
    shape->left = 10, shape->top = 10, shape->right = 60, shape->bottom = 60;
    doc.AddObject(std::move(shape));
    view->SelectTool(kToolSelect);
    QTest::mouseClick(port(), Qt::LeftButton, {}, At100(30, 30));
    ASSERT_NE(view->selectedObject, nullptr);
    QMenu* menu = view->ContextMenu();
    ASSERT_NE(menu, nullptr);
    QStringList names;
    for (QAction* a : menu->actions()) {
        names << a->text();
        if (a->menu())
            for (QAction* b : a->menu()->actions()) names << b->text();
    }
    EXPECT_EQ(names,
              (QStringList{"Edit Text", "Flatten", "Layer", "Bring to Front", "Send to Back", "", "Delete"}));
    EXPECT_FALSE(menu->actions().at(0)->isEnabled());
}

// The view composes only what is exposed; every part must show what the whole picture shows.
TEST_F(ViewTest, PartsOfTheViewMatchTheWholePicture) {
    for (int i = 0; i < 4; ++i) {
        auto shape = std::make_unique<ShapeObject>();
        shape->shadow = 1;
        shape->shape = 3;
        shape->left = 10 + 40 * i, shape->top = 15 + 20 * i, shape->right = 70 + 40 * i,
        shape->bottom = 80 + 10 * i;
        doc.AddObject(std::move(shape));
    }
    auto cover = std::make_unique<RedactObject>();
    cover->left = 25, cover->top = 5, cover->right = 140, cover->bottom = 70, cover->method = 1;
    doc.AddObject(std::move(cover));
    auto text = std::make_unique<TextObject>();
    text->text = QStringLiteral("Glimmora");
    text->left = 30, text->top = 90, text->right = 170, text->bottom = 140, text->shadow = 1;
    doc.AddObject(std::move(text));
    view->selectedObject = doc.objects.front().get();
    auto compareParts = [&](const char* what) {
        for (int zoom : {0, 1, 2, 3, 4, 5, 8}) {
            SCOPED_TRACE(std::string(what) + " at zoom index " + std::to_string(zoom));
            view->SetZoomIndex(zoom);
            const QImage whole = view->ComposeWholeZoomed();
            ASSERT_FALSE(whole.isNull());
            for (QRect part : {QRect(0, 0, 7, 9), QRect(13, 17, 61, 33),
                               QRect(whole.width() / 3, whole.height() / 2, 29, 41),
                               QRect(whole.width() - 11, whole.height() - 5, 11, 5)}) {
                part &= whole.rect();
                if (part.isEmpty()) continue;
                const QImage a = view->ComposeZoomed(part), b = whole.copy(part);
                ASSERT_EQ(a.size(), b.size());
                int bad = 0;
                for (int y = 0; y < a.height(); ++y)
                    for (int x = 0; x < a.width(); ++x)
                        if (a.pixel(x, y) != b.pixel(x, y) && bad++ < 3)
                            ADD_FAILURE() << "at " << part.x() + x << "," << part.y() + y << " " << std::hex
                                          << a.pixel(x, y) << " vs " << b.pixel(x, y);
            }
        }
    };
    compareParts("objects and handles");
    // A part shown again after its objects changed (kept drawings must not linger).
    view->SetZoomIndex(3);
    const QRect part(0, 0, 150, 112);
    view->ComposeZoomed(part);
    auto* first = static_cast<ShapeObject*>(doc.objects.front().get());
    first->left += 7, first->right += 7, first->backColour = 0x00FF00;
    static_cast<TextObject*>(doc.objects.back().get())->text = QStringLiteral("Changed");
    EXPECT_EQ(view->ComposeZoomed(part), view->ComposeWholeZoomed().copy(part));
    view->SetZoomIndex(4);
    view->SelectTool(kToolShape);
    Drag(At100(21, 13), At100(120, 76));
    compareParts("rubber band");
    view->SetZoomIndex(4);
    view->SelectTool(kToolCrop);
    Drag(At100(21, 13), At100(121, 77));
    ASSERT_EQ(view->hasTrack, 1);
    compareParts("crop frame");
    // A small frame whose corner squares reach past the picture's corner.
    view->SetZoomIndex(8);
    Drag(At100(21, 13), At100(121, 77));
    compareParts("crop frame at the corner");
}

TEST_F(ViewTest, CutAndPasteAreUndoStepsAndPasteAsksAboutALargerPicture) {
    const Image original = doc.image;
    doc.SetModified(0);
    view->trackImageRect = QRect(90, 10, 20, 10);
    view->OnEditCut();
    const QImage cut = QGuiApplication::clipboard()->image();
    ASSERT_EQ(cut.size(), QSize(20, 10));
    EXPECT_EQ(cut.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(cut.pixel(19, 9), qRgb(0, 255, 0));
    EXPECT_EQ(At(doc.image, 95, 15), (Bgra{255, 255, 255, 255}));
    EXPECT_EQ(doc.modified, 1);
    doc.OnEditUndo();
    EXPECT_EQ(At(doc.image, 95, 15), At(original, 95, 15));
    EXPECT_EQ(At(doc.image, 105, 15), At(original, 105, 15));

    // Copy of the whole picture with no rectangle, then a larger picture from another program.
    view->trackImageRect = QRect();
    view->OnEditCopy();
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(200, 150));
    QImage red(300, 100, QImage::Format_RGB32);
    red.fill(qRgb(255, 0, 0));
    QGuiApplication::clipboard()->setImage(red);

    using Answer = DocumentPrompts::Answer;
    prompts.answer = Answer::kCancel;
    const int steps = doc.undo.UndoCount();
    view->OnEditPaste();
    EXPECT_EQ(prompts.asked, 1);
    EXPECT_EQ(doc.undo.UndoCount(), steps);
    EXPECT_EQ(At(doc.image, 0, 0), At(original, 0, 0));

    prompts.answer = Answer::kNo;
    view->OnEditPaste();
    EXPECT_EQ(doc.image.Width(), 200);
    EXPECT_EQ(At(doc.image, 199, 99), (Bgra{0, 0, 255, 255}));
    EXPECT_EQ(At(doc.image, 199, 100), At(original, 199, 100));
    doc.OnEditUndo();
    EXPECT_EQ(At(doc.image, 0, 0), At(original, 0, 0));

    prompts.answer = Answer::kYes;
    view->OnEditPaste();
    EXPECT_EQ(doc.image.Width(), 300);
    EXPECT_EQ(doc.image.Height(), 150);
    EXPECT_EQ(At(doc.image, 250, 50), (Bgra{0, 0, 255, 255}));
    EXPECT_EQ(At(doc.image, 250, 120), (Bgra{255, 255, 255, 255}));
    EXPECT_EQ(At(doc.image, 10, 120), At(original, 10, 120));
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);
    doc.OnEditUndo();
    EXPECT_EQ(doc.image.Width(), 200);
}

TEST_F(ViewTest, PrintsTheViewsDrawingToAFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("view.pdf"));
    host.panes.clear();
    view->PrintTo(printer);
    QFile pdf(dir.filePath("view.pdf"));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5) == "%PDF-");
    EXPECT_GT(pdf.size(), 1000);
    EXPECT_EQ(host.panes[0], QStringLiteral("  Size: 200 x 150"));
}

}  // namespace
}  // namespace glimmora
