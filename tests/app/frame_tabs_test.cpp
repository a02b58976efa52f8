// The one option bar serves the active document window: switching tabs shows the view's tool and its
// selected object on the bar, and never writes the bar back into an object.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QMdiArea>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolBar>

#include "app/frame/child_frame.h"
#include "app/frame/command_ids.h"
#include "app/frame/main_frame.h"
#include "app/frame/tavrik_app.h"
#include "editor/tavrik_doc.h"
#include "editor/tavrik_view.h"
#include "ui/tool_option_bar.h"

namespace glimmora {
namespace {

TEST(FrameTabs, SwitchingShowsEachViewsStateAndChangesNothing) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    // No recovery entries of the user's own runs offered here.
    qputenv("XDG_STATE_HOME", home.path().toUtf8());
    CTavrikApp app;
    ASSERT_TRUE(app.InitInstance((home.path() + "/config.ini").toStdString()));
    CMainFrame* frame = app.MainFrame();
    ToolOptionBar* bar = frame->OptionBar();

    // Capture1 holds a selected blue arrow at 30 % without a shadow; Capture2 has the line tool.
    app.OnFileNew();
    CChildFrame* first = frame->Children().back();
    auto arrow = std::make_unique<ArrowObject>();
    arrow->x1 = 10, arrow->y1 = 10, arrow->x2 = 200, arrow->y2 = 100;
    arrow->colour = 0xFF0000;
    arrow->transparency = 30;
    arrow->shadow = 0;
    CTavrikDoc* doc = first->Document();
    OverlayObject* object = doc->AddObject(std::move(arrow));
    first->View()->selectedObject = object;
    doc->SetModified(0);
    const size_t steps = doc->undo.UndoCount();

    app.OnFileNew();
    CChildFrame* second = frame->Children().back();
    second->View()->SelectTool(kToolLine);
    EXPECT_EQ(bar->Kind(), kToolLine);
    bar->SetColour(0xFFFFFF);
    bar->SetOpacity(0);
    bar->SetShadow(1);

    for (int round = 0; round < 2; ++round) {
        frame->MdiArea()->setActiveSubWindow(first);
        ASSERT_EQ(frame->MdiArea()->currentSubWindow(), first);
        const auto* seen = dynamic_cast<const ArrowObject*>(doc->objects.back().get());
        ASSERT_NE(seen, nullptr);
        EXPECT_EQ(seen->colour, 0xFF0000u);
        EXPECT_EQ(seen->transparency, 30);
        EXPECT_EQ(seen->shadow, 0);
        EXPECT_EQ(doc->undo.UndoCount(), steps);
        EXPECT_EQ(doc->modified, 0);
        // The bar shows the arrow's style.
        EXPECT_EQ(bar->Kind(), kToolArrow);
        EXPECT_EQ(bar->Colour(), 0xFF0000u);
        EXPECT_EQ(bar->Opacity(), 30);
        EXPECT_EQ(bar->Shadow(), 0);

        frame->MdiArea()->setActiveSubWindow(second);
        ASSERT_EQ(frame->MdiArea()->currentSubWindow(), second);
        EXPECT_EQ(bar->Kind(), kToolLine);
    }
    for (CChildFrame* child : frame->Children()) child->Document()->SetModified(0);
}

// The recent files and the bar layout sit in state.ini beside config.ini, not in a folder of their own.
TEST(FrameState, RecentFilesAndBarsBesideConfigIni) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/xdg").toUtf8());
    const QString settings = home.path() + "/settings";
    ASSERT_TRUE(QDir().mkpath(settings));
    {
        CTavrikApp app;
        ASSERT_TRUE(app.InitInstance((settings + "/config.ini").toStdString()));
        app.AddToRecentFiles(home.path() + "/picture.png");
        ASSERT_TRUE(app.MainFrame()->RunCloseSequence());
    }
    QSettings state(settings + "/state.ini", QSettings::IniFormat);
    EXPECT_EQ(state.value("Recent File List/File1").toString(), home.path() + "/picture.png");
    EXPECT_FALSE(state.value("MainWindow/State").toByteArray().isEmpty());
    EXPECT_FALSE(QDir(home.path() + "/xdg").exists());

    // A new start reads them back from there.
    CTavrikApp again;
    ASSERT_TRUE(again.InitInstance((settings + "/config.ini").toStdString()));
    EXPECT_EQ(again.RecentFiles(), QStringList{home.path() + "/picture.png"});
}

// Bars hidden (and the option bar floated, as an assistive tool can) in a layout kept under the section
// name of earlier versions: the next start reads it, and the View menu brings each bar back, docked.
TEST(FrameState, HiddenBarsComeBackFromTheViewMenu) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/xdg").toUtf8());
    qputenv("XDG_STATE_HOME", home.path().toUtf8());
    const std::string config = (home.path() + "/config.ini").toStdString();
    const QString statePath = home.path() + "/state.ini";
    {
        CTavrikApp app;
        ASSERT_TRUE(app.InitInstance(config));
        CMainFrame* frame = app.MainFrame();
        frame->OptionBar()->setFloating(true);
        frame->OptionBar()->close();
        frame->findChild<QToolBar*>("ToolsToolBar")->hide();
        ASSERT_TRUE(frame->RunCloseSequence());
    }
    {
        QSettings state(statePath, QSettings::IniFormat);
        const QByteArray bars = state.value("MainWindow/State").toByteArray();
        ASSERT_FALSE(bars.isEmpty());
        state.remove("MainWindow");
        state.setValue("GuiTabbedDemo/State", bars);
    }
    CTavrikApp app;
    ASSERT_TRUE(app.InitInstance(config));
    CMainFrame* frame = app.MainFrame();
    QToolBar* tools = frame->findChild<QToolBar*>("ToolsToolBar");
    ASSERT_TRUE(tools);
    EXPECT_TRUE(frame->OptionBar()->isHidden());
    EXPECT_TRUE(tools->isHidden());
    EXPECT_FALSE(frame->OptionBar()->isFloating());
    for (const int id : {cmd::kViewOptionBar, cmd::kViewToolsBar}) {
        bool enabled = false, checked = true;
        frame->CommandState(id, &enabled, &checked);
        EXPECT_TRUE(enabled) << id;
        EXPECT_FALSE(checked) << id;
        frame->OnCommand(id);
        frame->CommandState(id, &enabled, &checked);
        EXPECT_TRUE(checked) << id;
    }
    EXPECT_FALSE(frame->OptionBar()->isHidden());
    EXPECT_FALSE(tools->isHidden());
    EXPECT_EQ(frame->dockWidgetArea(frame->OptionBar()), Qt::BottomDockWidgetArea);
    // Floated without a drag (an assistive tool pressing the hidden Float button), it docks again.
    frame->OptionBar()->setFloating(true);
    QDeadlineTimer deadline(5000);
    while (frame->OptionBar()->isFloating() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_FALSE(frame->OptionBar()->isFloating());
    ASSERT_TRUE(frame->RunCloseSequence());
    QSettings state(statePath, QSettings::IniFormat);
    EXPECT_FALSE(state.value("MainWindow/State").toByteArray().isEmpty());
    EXPECT_FALSE(state.contains("GuiTabbedDemo/State"));
}

}  // namespace
}  // namespace glimmora
