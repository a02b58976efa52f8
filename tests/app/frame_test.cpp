// The main frame without a desktop: the start-up entry, the close prompt's keys, filters, menus and panes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>
#include <map>

#include "app/frame/autorun.h"
#include "app/frame/child_frame.h"
#include "app/frame/command_ids.h"
#include "app/frame/exit_hint_dlg.h"
#include "app/frame/main_frame.h"
#include "app/frame/record_control.h"
#include "app/frame/tavrik_app.h"
#include "editor/document_host.h"
#include "editor/tavrik_doc.h"
#include "editor/tavrik_view.h"
#include "ui/progress_bar.h"

namespace {

class AutoRunTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        old_ = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", home_.path().toUtf8());
    }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", old_); }
    std::string Entry() const { return glimmora::AutostartFilePath("Glimmora"); }

    QTemporaryDir home_;
    QByteArray old_;
};

TEST_F(AutoRunTest, WritesOnlyWhenThePathDiffersAndRemoves) {
    EXPECT_EQ(Entry(), home_.path().toStdString() + "/autostart/Glimmora.desktop");
    EXPECT_FALSE(glimmora::RemoveAutoRun("Glimmora"));  // none yet
    ASSERT_TRUE(glimmora::SetAutoRun("Glimmora", "/opt/glimmora/glimmora"));
    EXPECT_EQ(glimmora::ReadAutoRun("Glimmora"), "/opt/glimmora/glimmora");
    struct stat before {};
    ASSERT_EQ(stat(Entry().c_str(), &before), 0);
    // The same path: nothing written (the replace-by-rename would give a new inode).
    ASSERT_TRUE(glimmora::SetAutoRun("Glimmora", "/opt/glimmora/glimmora"));
    struct stat same {};
    ASSERT_EQ(stat(Entry().c_str(), &same), 0);
    EXPECT_EQ(same.st_ino, before.st_ino);
    // Compared exactly, case included: a start from elsewhere rewrites it.
    ASSERT_TRUE(glimmora::SetAutoRun("Glimmora", "/opt/Glimmora/glimmora"));
    EXPECT_EQ(glimmora::ReadAutoRun("Glimmora"), "/opt/Glimmora/glimmora");
    EXPECT_TRUE(glimmora::RemoveAutoRun("Glimmora"));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Entry())));
}

TEST_F(AutoRunTest, PathsWithAwkwardCharactersSurviveTheExecLine) {
    for (const std::string path : {"/home/a b/glimmora", "/x/100%/glimmora", "/x/\"q\"/$HOME/glim\\mora",
                                   "/x/back`tick`/g;rm", "/plain/path"}) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(glimmora::SetAutoRun("Glimmora", path));
        EXPECT_EQ(glimmora::ReadAutoRun("Glimmora"), path);
    }
    EXPECT_EQ(glimmora::QuoteExecArgument("/home/a b/g"), "\"/home/a b/g\"");
    EXPECT_EQ(glimmora::QuoteExecArgument("/plain/path"), "/plain/path");
}

// Enter and Escape must never let the close go on past a changed picture.
TEST(ExitHintDialog, EnterAndEscapeAnswerCancelAndTheButtonsTheirOwnIds) {
    struct Case {
        int key;
        const char* button;
        int expected;
    } cases[] = {{Qt::Key_Return, nullptr, glimmora::CExitHintDlg::kCancel},
                 {Qt::Key_Enter, nullptr, glimmora::CExitHintDlg::kCancel},
                 {Qt::Key_Escape, nullptr, glimmora::CExitHintDlg::kCancel},
                 {0, "Yes", glimmora::CExitHintDlg::kYes},
                 {0, "No", glimmora::CExitHintDlg::kNo},
                 {0, "Save None", glimmora::CExitHintDlg::kSaveNone},
                 {0, "Cancel", glimmora::CExitHintDlg::kCancel}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button ? c.button : "key");
        glimmora::CExitHintDlg dialog("Capture1");
        QTimer::singleShot(0, &dialog, [&] {
            if (c.button) {
                for (QPushButton* b : dialog.findChildren<QPushButton*>())
                    if (b->text() == c.button) b->click();
                return;
            }
            // Sent to a focused button, as a user's key would arrive.
            QWidget* target = dialog.focusWidget() ? dialog.focusWidget() : &dialog;
            QKeyEvent press(QEvent::KeyPress, c.key, Qt::NoModifier);
            QApplication::sendEvent(target, &press);
        });
        EXPECT_EQ(dialog.exec(), c.expected);
        EXPECT_EQ(dialog.windowTitle(), "Save image");
    }
}

TEST(FileFilters, TheStoredNotationBecomesQtFilters) {
    EXPECT_EQ(glimmora::QtFileFilter("BMP (*.bmp)|*.bmp|JPEG (*.jpg, *.jpeg)|*.jpg;*.jpeg||"),
              "BMP (*.bmp);;JPEG (*.jpg *.jpeg)");
    // Each name shows its patterns once.
    const QString save = glimmora::QtFileFilter(glimmora::kSaveFilter);
    EXPECT_EQ(save.count("*.bmp"), 1) << save.toStdString();
    EXPECT_EQ(save.count("*.tiff"), 1) << save.toStdString();
    EXPECT_FALSE(save.contains(',')) << save.toStdString();
    EXPECT_TRUE(glimmora::QtFileFilter(glimmora::kOpenFilter).startsWith("All Support Files ("));
}

// What the frame shows before and after a document: menu texts, shortcuts, panes, the window icon.
TEST(FrameLook, MenusShortcutsPanesAndIcons) {
    using namespace glimmora;
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    // No recovery entries of the user's own runs offered here.
    qputenv("XDG_STATE_HOME", home.path().toUtf8());
    CTavrikApp app;
    ASSERT_TRUE(app.InitInstance((home.path() + "/config.ini").toStdString()));
    CMainFrame* frame = app.MainFrame();

    // Redo on both of the desktop's keys, and the menu says so.
    QAction* redo = frame->ActionFor(cmd::kRedo);
    ASSERT_NE(redo, nullptr);
    EXPECT_TRUE(redo->shortcuts().contains(QKeySequence("Ctrl+Y")));
    EXPECT_TRUE(redo->shortcuts().contains(QKeySequence("Ctrl+Shift+Z")));
    EXPECT_TRUE(redo->text().endsWith("\tCtrl+Y")) << redo->text().toStdString();

    // "..." only where the menus always had it.
    QStringList dotted;
    for (QAction* top : frame->menuBar()->actions())
        if (top->menu())
            for (QAction* a : top->menu()->actions())
                if (a->text().section('\t', 0, 0).endsWith("...")) dotted << a->text().section('\t', 0, 0);
    dotted.sort();
    EXPECT_EQ(dotted, QStringList({"&About...", "&Open...", "&Print...", "P&rint Setup...", "Resize...",
                                   "Rotate...", "Save &As..."}));

    // Every tool has a key of its own, and no two commands share one.
    std::map<QString, int> owner;
    for (int id :
         {view_cmd::kMove, view_cmd::kSelect, view_cmd::kCrop, view_cmd::kZoom, view_cmd::kText,
          view_cmd::kLine, view_cmd::kShape, view_cmd::kHighlight, view_cmd::kArrow, view_cmd::kStamp})
        EXPECT_FALSE(frame->ActionFor(id)->shortcut().isEmpty()) << id;
    for (QAction* a : frame->findChildren<QAction*>())
        for (const QKeySequence& key : a->shortcuts()) {
            const int id = a->data().toInt();
            const auto [it, added] = owner.emplace(key.toString(), id);
            EXPECT_TRUE(added || it->second == id) << key.toString().toStdString();
        }

    // No size without a picture; the pane keeps its place.
    auto* size = frame->statusBar()->findChild<QLabel*>(StatusPaneName(0));
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(size->text(), "");
    app.OnFileNew();
    // The view writes its size when it paints.
    QDeadlineTimer deadline(5000);
    while (!size->text().contains("640 x 480") && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(size->text().contains("640 x 480")) << size->text().toStdString();
    // A document window has an icon of its own (Qt's logo otherwise, in the cascaded view).
    EXPECT_TRUE(frame->Children().back()->testAttribute(Qt::WA_SetWindowIcon));
    for (CChildFrame* child : frame->Children()) child->Document()->SetModified(0);
}

TEST(RecordControl, StaysOutOfTheRecordedAreaAndNamesItsButtons) {
    using namespace glimmora;
    RecordControl control;
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect areas[] = {
        QRect(100, 100, 200, 150),                                                  // room below
        QRect(screen.left(), screen.bottom() - 199, screen.width(), 200),           // only above
        QRect(screen.left(), screen.top(), screen.width() - 400, screen.height()),  // only right
    };
    for (const QRect& area : areas) {
        EXPECT_TRUE(control.PlaceOutside(area));
        const QRect placed(control.pos(), control.size());
        EXPECT_FALSE(placed.intersects(area)) << placed.x() << "," << placed.y();
        EXPECT_TRUE(screen.contains(placed)) << placed.x() << "," << placed.y();
    }
    // No room anywhere: a corner of the screen, and the caller is told.
    EXPECT_FALSE(control.PlaceOutside(screen));

    EXPECT_EQ(control.PauseButton()->accessibleName(), "Pause recording");
    EXPECT_EQ(control.StopButton()->accessibleName(), "Stop recording");
    control.SetElapsed(3725.4);
    EXPECT_NE(control.findChild<QLabel*>("RecordTime")->text().indexOf("Recording 1:02:05"), -1);
    control.SetPaused(true);
    EXPECT_EQ(control.PauseButton()->accessibleName(), "Resume recording");
    EXPECT_EQ(control.findChild<QLabel*>("RecordTime")->text(), "Paused 1:02:05");
    EXPECT_EQ(ElapsedText(59.9), "0:59");
    EXPECT_EQ(ElapsedText(-1), "0:00");
}

TEST(FrameRecording, WithoutADesktopTheCommandsAreGreyAndSayWhy) {
    using namespace glimmora;
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    qputenv("XDG_STATE_HOME", home.path().toUtf8());
    // No desktop, whatever the suite runs beside (its X server would open a real overlay and wait).
    const QByteArray display = qgetenv("DISPLAY"), wayland = qgetenv("WAYLAND_DISPLAY");
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    const auto restore = qScopeGuard([&] {
        if (!display.isEmpty()) qputenv("DISPLAY", display);
        if (!wayland.isEmpty()) qputenv("WAYLAND_DISPLAY", wayland);
    });
    CTavrikApp app;
    ASSERT_TRUE(app.InitInstance((home.path() + "/config.ini").toStdString()));
    CMainFrame* frame = app.MainFrame();
    auto* pane = frame->statusBar()->findChild<QLabel*>(StatusPaneName(2));
    ASSERT_NE(pane, nullptr);
    // Grey without a desktop, as the captures are; Stop while nothing records.
    frame->UpdateCommandUi();
    for (int id : {cmd::kRecordRegion, cmd::kStopRecording, cmd::kPauseRecording})
        EXPECT_FALSE(frame->ActionFor(id)->isEnabled()) << id;
    frame->OnCommand(cmd::kRecordRegion);
    EXPECT_FALSE(frame->Recording());
    EXPECT_EQ(frame->RecordRefusal(cmd::kRecordScreen), "Glimmora has no desktop to record.");
    EXPECT_EQ(frame->RecordRefusal(cmd::kStopRecording), "No recording is running.");
    // Beside the captures in the Capture menu, and in the tray menu.
    for (int id : {cmd::kRecordRegion, cmd::kRecordWindow, cmd::kRecordScreen, cmd::kStopRecording}) {
        QAction* action = frame->ActionFor(id);
        ASSERT_NE(action, nullptr) << id;
        bool inTray = false;
        for (QAction* a : frame->TrayMenu()->actions()) inTray = inTray || a->data().toInt() == id;
        EXPECT_TRUE(inTray) << id;
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Listing the tests at build time happens without a display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
