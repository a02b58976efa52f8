// The view and its option bar in a window on a real X server, driven as a user drives them: pointer
// moves, presses and releases through XTest at screen positions, keys through xdotool.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QScrollBar>
#include <QTemporaryDir>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "editor/editor_test_util.h"
#include "editor/overlay_object.h"
#include "editor/tavrik_doc.h"
#include "editor/tavrik_view.h"
#include "editor/view_host.h"
#include "ui/tool_option_bar.h"
#include "x11_test_support.h"

namespace glimmora {
namespace {

using testing::PatternPicture;
using testing::PatternRgb;
using testing::RunOutput;
using testing::WaitUntil;

struct AnsweringHost : ViewHost {
    void SetStatusText(int, const QString&) override {}
    bool EditText(TextObject& object, bool) override {
        ++dialogs;
        object.text = QStringLiteral("Hello");
        return true;
    }
    int dialogs = 0;
};

bool SameBytes(const Image& a, const Image& b) {
    return a.Width() == b.Width() && a.Height() == b.Height() && a.Depth() == b.Depth() &&
           std::memcmp(a.Bits(), b.Bits(), a.PixelBytes()) == 0;
}

QRgb Rgb(const Image& image, int x, int y) {
    const uint8_t* p = image.PixelAddress(x, y);
    return qRgb(p[2], p[1], p[0]);
}

QRgb Dimmed(QRgb c) {
    return qRgb(qRed(c) >> 1, qGreen(c) >> 1, qBlue(c) >> 1);
}

// A 400 x 300 pattern at 100 % in a main window with the option bar docked above the view.
class ViewToolsX11 : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        platform = Platform::Open();
        ASSERT_TRUE(platform);
        original = PatternPicture(400, 300);
        doc.image = original;
        window = std::make_unique<QMainWindow>();
        window->setWindowTitle("view tools test");
        view = new CTavrikView(&doc);
        bar = new ToolOptionBar(window.get(), QStringLiteral(GLIMMORA_TEST_STAMPS));
        window->setCentralWidget(view);
        // Below the view, as in the main window: a panel of another height leaves the picture in place.
        window->addDockWidget(Qt::BottomDockWidgetArea, bar);
        view->SetToolPanel(bar);
        view->SetHost(&host);
        bar->SetKind(view->tool);
        QObject::connect(bar, &ToolOptionBar::panelChanged, view, &CTavrikView::OnPanelChanged);
        window->setGeometry(60, 60, 700, 520);
        window->show();
        view->setFocus();
        const auto id = static_cast<WindowId>(window->winId());
        // Framed by the window manager, the picture on the screen where the view says it is, and the
        // keyboard ours.
        ASSERT_TRUE(WaitUntil([&] {
            Rect client, frame;
            if (!platform->windows().ClientRect(id, client) || !platform->windows().WindowRect(id, frame) ||
                frame.top >= client.top)
                return false;
            if (!window->isActiveWindow()) window->activateWindow();
            return window->isActiveWindow() && view->hasFocus() && OnScreen({0, 0}) == PatternRgb(0, 0) &&
                   OnScreen({399, 299}) == PatternRgb(399, 299);
        })) << "the window did not show the picture";
    }

    void TearDown() override {
        // A button left down would confuse every later desktop test.
        if (platform && buttonDown_) {
            platform->input().Button(1, false);
            platform->input().Sync();
        }
    }

    // Where image pixel p is on the screen, in the screen's own pixels (Qt's coordinates times its scale).
    QPoint ScreenOf(QPoint p) const {
        const double zoom = view->Zoom();
        const QPointF client = QPointF(CTavrikView::kMargin, CTavrikView::kMargin) - view->ScrollPosition() +
                               QPointF(p.x() * zoom, p.y() * zoom);
        const QPointF global = view->viewport()->mapToGlobal(client);
        const double dpr = view->devicePixelRatioF();
        return QPoint(static_cast<int>(std::floor(global.x() * dpr + 0.5)),
                      static_cast<int>(std::floor(global.y() * dpr + 0.5)));
    }

    QRgb OnScreen(QPoint image) const {
        const QPoint s = ScreenOf(image);
        Image shot;
        if (!platform->screen().Grab(Rect{s.x(), s.y(), s.x() + 1, s.y() + 1}, shot)) return 0;
        return Rgb(shot, 0, 0) | 0xFF000000u;
    }

    void Pointer(QPoint image) {
        const QPoint s = ScreenOf(image);
        platform->input().WarpPointer(Point{s.x(), s.y()});
        platform->input().Sync();
    }
    void Button(bool down) {
        platform->input().Button(1, down);
        platform->input().Sync();
        buttonDown_ = down;
    }
    // A press at from and moves through the middle to to; the button stays down.
    void PressAndMove(QPoint from, QPoint to) {
        Pointer(from);
        Button(true);
        ASSERT_TRUE(WaitUntil([&] { return view->dragging == 1; })) << "the view saw no press";
        Pointer((from + to) / 2);
        Pointer(to);
    }
    void Release() {
        Button(false);
        ASSERT_TRUE(WaitUntil([&] { return view->dragging == 0; })) << "the view saw no release";
    }

    std::unique_ptr<Platform> platform;
    Image original;
    CTavrikDoc doc;
    AnsweringHost host;
    std::unique_ptr<QMainWindow> window;
    CTavrikView* view = nullptr;
    ToolOptionBar* bar = nullptr;

  private:
    bool buttonDown_ = false;
};

// Run once more at QT_SCALE_FACTOR 1.5 and 2: at 100 % every picture pixel is one device pixel, copied
// as it is (no resampling), wherever the view's margin puts the picture.
TEST_F(ViewToolsX11, AtOneHundredPercentAPicturePixelIsADevicePixel) {
    if (const char* factor = std::getenv("QT_SCALE_FACTOR")) {
        EXPECT_DOUBLE_EQ(view->devicePixelRatioF(), std::atof(factor));
    }
    const QPoint at = ScreenOf({0, 0});
    Image shot;
    ASSERT_TRUE(platform->screen().Grab(Rect{at.x() - 2, at.y() - 2, at.x() + 402, at.y() + 302}, shot));
    bool found = false;
    for (int dy = 0; dy <= 4 && !found; ++dy)
        for (int dx = 0; dx <= 4 && !found; ++dx) {
            bool same = true;
            for (int y = 0; y < 300 && same; ++y)
                for (int x = 0; x < 400 && same; ++x)
                    same = (Rgb(shot, x + dx, y + dy) | 0xFF000000u) == PatternRgb(x, y);
            found = same;
        }
    EXPECT_TRUE(found) << "the picture is not on the screen pixel for pixel at scale "
                       << view->devicePixelRatioF();
}

TEST_F(ViewToolsX11, LineHandleTextBoxAndCropByPointerAndKeys) {
    // A line with the bar's defaults (black, 2 wide, shadowed); it is selected and shows its handles
    // on its end points, where it is drawn (only its shadow lies further right and down).
    view->SelectTool(kToolLine);
    ASSERT_EQ(bar->Kind(), kToolLine);
    ASSERT_NO_FATAL_FAILURE(PressAndMove({40, 50}, {200, 150}));
    ASSERT_EQ(doc.objects.size(), 1u);
    auto* line = dynamic_cast<LineObject*>(doc.objects.front().get());
    ASSERT_NE(line, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return line->x2 == 200 && line->y2 == 150; }));
    ASSERT_NO_FATAL_FAILURE(Release());
    EXPECT_EQ((std::array{line->x1, line->y1, line->x2, line->y2}), (std::array{40, 50, 200, 150}));
    EXPECT_EQ(line->width, 2);
    EXPECT_EQ(line->shadow, 1);
    EXPECT_EQ(view->tool, kToolSelect);
    EXPECT_EQ(view->selectedObject, line);
    EXPECT_EQ(bar->Kind(), kToolLine);
    const QRgb white = qRgb(255, 255, 255);
    EXPECT_TRUE(WaitUntil([&] {
        return OnScreen({40, 50}) == white && OnScreen({200, 150}) == white;
    })) << "no handles on the screen";

    // The end handle drags the end alone, to the pointer.
    ASSERT_NO_FATAL_FAILURE(PressAndMove({200, 150}, {255, 185}));
    ASSERT_TRUE(WaitUntil([&] { return line->x2 == 255 && line->y2 == 185; }))
        << "end at " << line->x2 << ", " << line->y2;
    ASSERT_NO_FATAL_FAILURE(Release());
    EXPECT_EQ((std::array{line->x1, line->y1, line->x2, line->y2}), (std::array{40, 50, 255, 185}));
    EXPECT_TRUE(WaitUntil([&] { return OnScreen({255, 185}) == white; }));
    // The drag is one undo step, taken back before the line's creation.
    doc.OnEditUndo();
    ASSERT_EQ(doc.objects.size(), 1u);
    line = dynamic_cast<LineObject*>(doc.objects.front().get());
    ASSERT_NE(line, nullptr);
    EXPECT_EQ((std::array{line->x1, line->y1, line->x2, line->y2}), (std::array{40, 50, 200, 150}));
    doc.OnEditRedo();
    line = dynamic_cast<LineObject*>(doc.objects.front().get());
    ASSERT_NE(line, nullptr);

    // A click of the text tool makes the default box, and the host's dialog gives it its text.
    view->SelectTool(kToolText);
    Pointer({250, 200});
    Button(true);
    Button(false);
    ASSERT_TRUE(WaitUntil([&] { return doc.objects.size() == 2u && view->tool == kToolSelect; }))
        << "no text box";
    auto* text = dynamic_cast<TextObject*>(doc.objects.back().get());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ((std::array{text->left, text->top, text->right, text->bottom}),
              (std::array{250, 200, 350, 250}));
    EXPECT_EQ(text->text, QStringLiteral("Hello"));
    EXPECT_EQ(host.dialogs, 1);
    EXPECT_EQ(view->selectedObject, text);
    EXPECT_EQ(bar->Kind(), kToolText);

    // The crop tool's press burns both objects in; the drag draws the frame, the rest is dimmed.
    const int steps = doc.undo.UndoCount();
    view->SelectTool(kToolCrop);
    ASSERT_NO_FATAL_FAILURE(PressAndMove({20, 20}, {300, 220}));
    EXPECT_TRUE(doc.objects.empty());
    EXPECT_FALSE(SameBytes(doc.image, original));
    const Image burnt = doc.image;
    ASSERT_TRUE(WaitUntil([&] { return view->trackImageRect == QRect(20, 20, 280, 200); }))
        << "frame at " << view->trackImageRect.x() << ", " << view->trackImageRect.y() << ", "
        << view->trackImageRect.width() << " x " << view->trackImageRect.height();
    ASSERT_NO_FATAL_FAILURE(Release());
    EXPECT_TRUE(WaitUntil([&] {
        return OnScreen({350, 280}) == Dimmed(PatternRgb(350, 280)) &&
               OnScreen({100, 30}) == PatternRgb(100, 30);
    })) << "the part cut away is not dimmed";

    // Enter crops to the frame. The key goes to the window with the input focus: it must be the view.
    ASSERT_TRUE(WaitUntil([&] { return window->isActiveWindow() && view->hasFocus(); }));
    RunOutput("xdotool key Return");
    ASSERT_TRUE(WaitUntil([&] { return doc.image.Width() == 280 && doc.image.Height() == 200; }))
        << "Enter did not crop";
    int wrong = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 280; ++x) wrong += Rgb(doc.image, x, y) != Rgb(burnt, x + 20, y + 20);
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(WaitUntil([&] { return OnScreen({0, 0}) == PatternRgb(20, 20); }));

    // One undo takes the crop back; one more the press, which gives the objects back as objects.
    doc.OnEditUndo();
    EXPECT_TRUE(SameBytes(doc.image, burnt));
    EXPECT_TRUE(doc.objects.empty());
    doc.OnEditUndo();
    EXPECT_EQ(doc.undo.UndoCount(), steps);
    EXPECT_TRUE(SameBytes(doc.image, original));
    ASSERT_EQ(doc.objects.size(), 2u);
    EXPECT_EQ(doc.objects.front()->kind, kLineObject);
    EXPECT_EQ(doc.objects.back()->kind, kTextObject);
    EXPECT_TRUE(WaitUntil([&] { return OnScreen({350, 280}) == PatternRgb(350, 280); }));
}

// Where each tool puts its object, found from outside: the picture's pixels located in a grab of the
// screen by their pattern colours, the pointer moved there through XTest, the result read back from a
// saved file. At three zooms, scrolled and not.
TEST_F(ViewToolsX11, ObjectsLandWhereThePointerIs) {
    const Image picture = PatternPicture(1600, 1200);
    const Image plain = test::White(1600, 1200);
    const QPoint from(60, 50), to(260, 160);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string saved = (dir.path() + "/placed.png").toStdString();

    // The screen point that shows image pixel p: its top-left device pixel in a grab of the view.
    auto findOnScreen = [&](QPoint p) -> std::optional<QPoint> {
        const QPoint origin = view->viewport()->mapToGlobal(QPoint(0, 0));
        const QSize size = view->viewport()->size();
        Image shot;
        if (!platform->screen().Grab(
                Rect{origin.x(), origin.y(), origin.x() + size.width(), origin.y() + size.height()}, shot))
            return std::nullopt;
        const QRgb wanted = PatternRgb(p.x(), p.y());
        for (int y = 0; y < shot.Height(); ++y)
            for (int x = 0; x < shot.Width(); ++x)
                if ((Rgb(shot, x, y) | 0xFF000000u) == wanted) return origin + QPoint(x, y);
        return std::nullopt;
    };
    auto warp = [&](QPoint screen) {
        platform->input().WarpPointer(Point{screen.x(), screen.y()});
        platform->input().Sync();
    };
    // The bounding box of the white pixels of the saved picture (the pattern has none: its red is 0 here).
    auto whiteBox = [&]() {
        QRect box;
        const QImage file(QString::fromStdString(saved));
        for (int y = 0; y < std::min(file.height(), 400); ++y)
            for (int x = 0; x < std::min(file.width(), 400); ++x) {
                const QRgb c = file.pixel(x, y);
                if (qRed(c) >= 200 && qGreen(c) >= 200 && qBlue(c) >= 200) box |= QRect(x, y, 1, 1);
            }
        return box;
    };

    struct Case {
        const char* name;
        int tool;
        bool click;
    } tools[] = {{"line", kToolLine, false},   {"arrow", kToolArrow, false},
                 {"shape", kToolShape, false}, {"highlight", kToolHighlight, false},
                 {"text", kToolText, true},    {"stamp", kToolStamp, true},
                 {"crop", kToolCrop, false}};
    for (int zoom : {4, 6, 2}) {
        for (bool scrolled : {false, true}) {
            for (const Case& c : tools) {
                SCOPED_TRACE(std::string(c.name) + " at zoom " + std::to_string(zoom) +
                             (scrolled ? ", scrolled" : ""));
                // The state is set up on a plain picture of the same size; the pattern comes once the
                // screen shows that, so no earlier frame can be taken for this one.
                doc.objects.clear();
                doc.image = plain;
                doc.UpdateAllViews();
                view->SelectTool(kToolSelect);
                view->SetZoomIndex(zoom);
                view->horizontalScrollBar()->setValue(scrolled ? 16 : 0);
                view->verticalScrollBar()->setValue(scrolled ? 12 : 0);
                view->SelectTool(c.tool);
                bar->SetColour(0xFFFFFF);
                bar->SetBorderColour(0xFFFFFF);
                bar->SetShapeBackColour(0xFFFFFF);
                bar->SetTextBackColour(0xFFFFFF);
                bar->SetShape(2);
                bar->SetBoxStyle(0);
                bar->SetOpacity(0);
                bar->SetShadow(1);
                bar->SetStampNumber(1);
                ASSERT_TRUE(WaitUntil([&] {
                    const QPoint centre = view->viewport()->mapToGlobal(QPoint(100, 100));
                    Image shot;
                    return platform->screen().Grab(
                               Rect{centre.x(), centre.y(), centre.x() + 1, centre.y() + 1}, shot) &&
                           (Rgb(shot, 0, 0) | 0xFF000000u) == qRgb(255, 255, 255);
                }));
                doc.image = picture;
                doc.UpdateAllViews();
                std::optional<QPoint> a, b;
                ASSERT_TRUE(WaitUntil([&] { return (a = findOnScreen(from)) && (b = findOnScreen(to)); }))
                    << "the picture is not on the screen";
                warp(*a);
                Button(true);
                ASSERT_TRUE(WaitUntil([&] { return view->dragging == 1; }));
                if (!c.click) {
                    warp((*a + *b) / 2);
                    warp(*b);
                }
                ASSERT_NO_FATAL_FAILURE(Release());
                if (c.tool == kToolCrop) {
                    ASSERT_TRUE(WaitUntil([&] { return window->isActiveWindow() && view->hasFocus(); }));
                    RunOutput("xdotool key Return");
                    ASSERT_TRUE(WaitUntil([&] { return doc.image.Width() != picture.Width(); }));
                    ASSERT_TRUE(doc.OnSaveDocument(saved));
                    const QImage file(QString::fromStdString(saved));
                    EXPECT_EQ(file.size(), QSize(to.x() - from.x(), to.y() - from.y()));
                    EXPECT_EQ(file.pixel(0, 0) | 0xFF000000u, PatternRgb(from.x(), from.y()));
                    continue;
                }
                ASSERT_EQ(doc.objects.size(), 1u);
                ASSERT_TRUE(doc.OnSaveDocument(saved));
                if (c.tool == kToolStamp) {
                    // At its own size, its top-left corner at the click.
                    const Image* stamp = bar->StampImage();
                    ASSERT_NE(stamp, nullptr);
                    StampObject expected;
                    expected.shadow = 1;
                    expected.stampImage = *stamp;
                    expected.left = from.x(), expected.top = from.y();
                    expected.right = from.x() + stamp->Width(), expected.bottom = from.y() + stamp->Height();
                    Image drawn = picture;
                    RenderObject(expected, drawn);
                    const QImage file(QString::fromStdString(saved));
                    int wrong = 0;
                    for (int y = 0; y < 300; ++y)
                        for (int x = 0; x < 400; ++x)
                            wrong += (file.pixel(x, y) | 0xFF000000u) != (Rgb(drawn, x, y) | 0xFF000000u);
                    EXPECT_EQ(wrong, 0);
                    continue;
                }
                // A text click makes its 100 x 50 box at the click; the rest span the drag.
                const QRect expected = c.click ? QRect(from, QSize(100, 50)) : QRect(from, to - QPoint(1, 1));
                const QRect box = whiteBox();
                // The arrow's thin shaft is blended; its solid head ends at the pointer.
                if (c.tool != kToolArrow) {
                    EXPECT_LE(std::abs(box.left() - expected.left()), 1) << box.left();
                    EXPECT_LE(std::abs(box.top() - expected.top()), 1) << box.top();
                }
                if (c.tool == kToolArrow) {
                    // Its tip is blended too: the white ends a little before the pointer, never past it.
                    EXPECT_TRUE(box.right() <= expected.right() && box.right() >= expected.right() - 6)
                        << box.right();
                    EXPECT_TRUE(box.bottom() <= expected.bottom() && box.bottom() >= expected.bottom() - 6)
                        << box.bottom();
                } else {
                    EXPECT_LE(std::abs(box.right() - expected.right()), 1) << box.right();
                    EXPECT_LE(std::abs(box.bottom() - expected.bottom()), 1) << box.bottom();
                }
            }
        }
    }
}

TEST_F(ViewToolsX11, CutThenUndoGivesThePixelsBack) {
    view->SelectTool(kToolCrop);
    ASSERT_NO_FATAL_FAILURE(PressAndMove({260, 40}, {360, 100}));
    ASSERT_TRUE(WaitUntil([&] { return view->trackImageRect == QRect(260, 40, 100, 60); }));
    ASSERT_NO_FATAL_FAILURE(Release());
    const int steps = doc.undo.UndoCount();
    ASSERT_TRUE(view->OnCommand(view_cmd::kCut));
    EXPECT_EQ(doc.undo.UndoCount(), steps + 1);
    EXPECT_EQ(Rgb(doc.image, 300, 70), qRgb(255, 255, 255));
    EXPECT_TRUE(WaitUntil([&] { return OnScreen({300, 70}) == qRgb(255, 255, 255); }));

    doc.OnEditUndo();
    EXPECT_TRUE(SameBytes(doc.image, original));
    EXPECT_TRUE(WaitUntil([&] { return OnScreen({300, 70}) == PatternRgb(300, 70); }));
}

}  // namespace
}  // namespace glimmora
