// Hue/Saturation on a captured picture on a real X server, driven with the pointer: "Preview" shows
// the effect on the picture, Cancel gives it back byte for byte, OK applies it once and one Undo takes
// it back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QMainWindow>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTimer>
#include <cstring>
#include <functional>

#include "editor/image_commands.h"
#include "editor/tavrik_doc.h"
#include "editor/tavrik_view.h"
#include "image/processors/colour.h"
#include "ui/adjust_dlg.h"
#include "ui/image_dialogs.h"
#include "x11_test_support.h"

namespace glimmora {
namespace {

using testing::PatternImage;
using testing::PictureWindow;
using testing::WaitUntil;

bool SameBytes(const Image& a, const Image& b) {
    return a.Width() == b.Width() && a.Height() == b.Height() && a.Depth() == b.Depth() &&
           std::memcmp(a.Bits(), b.Bits(), a.PixelBytes()) == 0;
}

class AdjustX11 : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        platform = Platform::Open();
        ASSERT_TRUE(platform);
        // The picture comes from the screen, as a capture's does.
        {
            PictureWindow shown(PatternImage(320, 240, 5), QRect(100, 100, 320, 240), false);
            ASSERT_TRUE(shown.ShowAndWait(*platform));
            Image shot;
            ASSERT_TRUE(platform->screen().Grab(Rect{100, 100, 420, 340}, shot));
            ASSERT_TRUE(doc.SetNewImage(shot));
        }
        original = doc.image;
        window = std::make_unique<QMainWindow>();
        window->setWindowTitle("adjust test");
        view = new CTavrikView(&doc);
        view->SetImageDialogs(&dialogs);
        window->setCentralWidget(view);
        window->setGeometry(40, 40, 600, 480);
        window->show();
        ASSERT_TRUE(WaitUntil([&] { return window->isVisible() && view->isVisible(); }));
    }

    void TearDown() override {
        if (platform && buttonDown_) Button(false);
    }

    void Pointer(QPoint global) {
        platform->input().WarpPointer(Point{global.x(), global.y()});
        platform->input().Sync();
    }
    void Button(bool down) {
        platform->input().Button(1, down);
        platform->input().Sync();
        buttonDown_ = down;
    }
    void Click(QWidget* w, QPoint at) {
        Pointer(w->mapToGlobal(at));
        Button(true);
        Button(false);
    }

    // Runs the Hue/Saturation command; drive gets the dialog once it is up and on the screen.
    void RunHueSaturation(std::function<void(AdjustDlg*)> drive) {
        EXPECT_TRUE(
            testing::RunModalDialog<AdjustDlg>([&] { view->OnCommand(image_cmd::kHueSaturation); }, drive));
    }

    // Ticks "Preview" and drags the hue slider's handle to the right; returns the values it ends at.
    AdjustValues PreviewAndDrag(AdjustDlg* dialog) {
        QCheckBox* box = dialog->PreviewBox();
        Click(box, QPoint(8, box->height() / 2));
        EXPECT_TRUE(WaitUntil([&] { return box->isChecked(); })) << "Preview was not ticked";
        QSlider* slider = dialog->Sliders()[0];
        QStyleOptionSlider option;
        option.initFrom(slider);
        option.orientation = slider->orientation();
        option.minimum = slider->minimum();
        option.maximum = slider->maximum();
        option.sliderPosition = option.sliderValue = slider->value();
        const QRect handle =
            slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
        const int start = slider->value();
        Pointer(slider->mapToGlobal(handle.center()));
        Button(true);
        for (int dx = 5; dx <= 40; dx += 5) Pointer(slider->mapToGlobal(handle.center() + QPoint(dx, 0)));
        Button(false);
        EXPECT_TRUE(WaitUntil([&] { return slider->value() > start; })) << "the slider did not move";
        // The whole picture shows the newest value.
        EXPECT_TRUE(WaitUntil([&] { return !dialog->PreviewPending() && !SameBytes(doc.image, original); }))
            << "no preview on the picture";
        return dialog->Values();
    }

    QPushButton* ButtonNamed(AdjustDlg* dialog, const QString& name) {
        for (QPushButton* b : dialog->findChildren<QPushButton*>())
            if (b->accessibleName() == name) return b;
        return nullptr;
    }

    std::unique_ptr<Platform> platform;
    ImageDialogRunner dialogs;
    CTavrikDoc doc;
    Image original;
    std::unique_ptr<QMainWindow> window;
    CTavrikView* view = nullptr;
    bool buttonDown_ = false;
};

TEST_F(AdjustX11, PreviewThenCancelGivesThePictureBack) {
    RunHueSaturation([&](AdjustDlg* dialog) {
        const AdjustValues values = PreviewAndDrag(dialog);
        HueSaturationProcessor expected(values.value1, values.value2);
        Image previewed = original;
        ASSERT_TRUE(RunProcessor(previewed, expected, nullptr));
        EXPECT_TRUE(SameBytes(doc.image, previewed));
        QPushButton* cancel = ButtonNamed(dialog, "Cancel");
        ASSERT_TRUE(cancel);
        Click(cancel, cancel->rect().center());
    });
    EXPECT_TRUE(SameBytes(doc.image, original));
    EXPECT_EQ(doc.undo.UndoCount(), 0u);
}

TEST_F(AdjustX11, PreviewThenOkAppliesOnceAndUndoGivesItBack) {
    AdjustValues values;
    RunHueSaturation([&](AdjustDlg* dialog) {
        values = PreviewAndDrag(dialog);
        QPushButton* ok = ButtonNamed(dialog, "OK");
        ASSERT_TRUE(ok);
        Click(ok, ok->rect().center());
    });
    HueSaturationProcessor once(values.value1, values.value2);
    Image expected = original;
    ASSERT_TRUE(RunProcessor(expected, once, nullptr));
    ASSERT_TRUE(expected.ConvertDepth(24));
    EXPECT_TRUE(SameBytes(doc.image, expected));
    EXPECT_EQ(doc.undo.UndoCount(), 1u);
    doc.OnEditUndo();
    EXPECT_TRUE(SameBytes(doc.image, original));
}

}  // namespace
}  // namespace glimmora
