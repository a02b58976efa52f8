// Resize with Keep Aspect on a real X server, typed into key by key as a user does: the field being
// typed keeps exactly the keys pressed, the other one follows, and OK resizes the picture to that.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QTimer>
#include <functional>

#include "editor/image_commands.h"
#include "editor/tavrik_doc.h"
#include "editor/tavrik_view.h"
#include "ui/image_dialogs.h"
#include "ui/resize_dlg.h"
#include "x11_test_support.h"

namespace glimmora {
namespace {

using testing::RunOutput;
using testing::WaitUntil;

class ResizeX11 : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        platform = Platform::Open();
        ASSERT_TRUE(platform);
        ASSERT_TRUE(doc.SetNewImage(testing::PatternPicture(1920, 1080)));
        window = std::make_unique<QMainWindow>();
        window->setWindowTitle("resize test");
        view = new CTavrikView(&doc);
        view->SetImageDialogs(&dialogs);
        window->setCentralWidget(view);
        window->setGeometry(40, 40, 600, 480);
        window->show();
        ASSERT_TRUE(WaitUntil([&] { return window->isVisible() && view->isVisible(); }));
    }

    void Click(QWidget* w, QPoint at) {
        const QPoint global = w->mapToGlobal(at);
        platform->input().WarpPointer(Point{global.x(), global.y()});
        platform->input().Button(1, true);
        platform->input().Button(1, false);
        platform->input().Sync();
    }

    // Runs Resize; drive gets the dialog once it is up and active.
    void RunResize(std::function<void(CResizeDlg*)> drive) {
        EXPECT_TRUE(testing::RunModalDialog<CResizeDlg>([&] { view->OnCommand(image_cmd::kResize); }, drive));
    }

    // Clicks into the field, selects its text and types the keys one at a time.
    void TypeInto(QLineEdit* edit, const char* keys) {
        Click(edit, QPoint(edit->width() / 2, edit->height() / 2));
        ASSERT_TRUE(WaitUntil([&] { return edit->hasFocus(); })) << "the field did not take the focus";
        RunOutput("xdotool key --clearmodifiers ctrl+a");
        ASSERT_TRUE(WaitUntil([&] { return edit->selectedText() == edit->text(); }));
        for (const char* key = keys; *key; ++key) {
            const QString before = edit->text();
            RunOutput(std::string("xdotool key --clearmodifiers ") + *key);
            ASSERT_TRUE(WaitUntil([&] { return edit->text() != before; })) << "key " << *key << " not seen";
        }
    }

    std::unique_ptr<Platform> platform;
    ImageDialogRunner dialogs;
    CTavrikDoc doc;
    std::unique_ptr<QMainWindow> window;
    CTavrikView* view = nullptr;
};

TEST_F(ResizeX11, TypedFieldKeepsItsKeysAndTheOtherFollows) {
    struct Row {
        bool width;  // typed into the width field, else the height field
        const char* keys;
        int expectedWidth, expectedHeight;
    };
    const Row rows[] = {
        {true, "1000", 1000, 563},  // 562.5 rounds up
        {false, "300", 533, 300},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.keys);
        const int before = doc.image.Width(), beforeHeight = doc.image.Height();
        RunResize([&](CResizeDlg* dialog) {
            ASSERT_TRUE(dialog->KeepAspectBox()->isChecked());
            QLineEdit* typed = row.width ? dialog->WidthEdit() : dialog->HeightEdit();
            TypeInto(typed, row.keys);
            EXPECT_EQ(typed->text(), QString(row.keys));
            EXPECT_EQ(dialog->WidthEdit()->text(), QString::number(row.expectedWidth));
            EXPECT_EQ(dialog->HeightEdit()->text(), QString::number(row.expectedHeight));
            RunOutput("xdotool key --clearmodifiers Return");
        });
        EXPECT_EQ(doc.image.Width(), row.expectedWidth) << "from " << before << " x " << beforeHeight;
        EXPECT_EQ(doc.image.Height(), row.expectedHeight);
        // Put the picture back for the next row.
        doc.OnEditUndo();
        ASSERT_EQ(doc.image.Width(), 1920);
    }
}

}  // namespace
}  // namespace glimmora
