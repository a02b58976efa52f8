// The main frame's menus, toolbars, status bar and tray menu: the tables of commands and where they go.
#include "app/frame/main_frame.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "app/frame/command_ids.h"
#include "app/frame/frame_icons.h"
#include "app/frame/main_frame_parts.h"
#include "editor/tavrik_view.h"
#include "ui/progress_bar.h"

namespace glimmora {

using namespace frame_parts;

QAction* CMainFrame::AddCommand(QWidget* menu, int id, const QString& text, bool checkable) {
    auto* action = new QAction(text, this);
    action->setData(id);
    action->setCheckable(checkable);
    // Run once the menu has closed and the caller has returned: a capture must not see the menu, and an
    // assistive tool's press returns before any dialog the command opens.
    connect(
        action, &QAction::triggered, this, [this, id] { OnCommand(id); }, Qt::QueuedConnection);
    if (menu) menu->addAction(action);
    actions_.emplace(id, action);
    return action;
}

void CMainFrame::BuildMenus() {
    using namespace cmd;
    QMenuBar* bar = menuBar();
    auto updateOnShow = [this](QMenu* menu) {
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUi);
    };

    QMenu* file = bar->addMenu("&File");
    updateOnShow(file);
    AddCommand(file, kNew, "&New\tCtrl+N")->setShortcut(QKeySequence("Ctrl+N"));
    AddCommand(file, kOpen, "&Open...\tCtrl+O")->setShortcut(QKeySequence("Ctrl+O"));
    AddCommand(file, kClose, "&Close");
    AddCommand(file, kSave, "&Save\tCtrl+S")->setShortcut(QKeySequence("Ctrl+S"));
    AddCommand(file, kSaveAs, "Save &As...");
    file->addSeparator();
    AddCommand(file, kPrint, "&Print...\tCtrl+P")->setShortcut(QKeySequence("Ctrl+P"));
    AddCommand(file, kPrintPreview, "Print Pre&view");
    AddCommand(file, kPrintSetup, "P&rint Setup...");
    file->addSeparator();
    recentPlaceholder_ = file->addAction("Recent File");
    recentPlaceholder_->setEnabled(false);
    recentMenuAnchor_ = file;
    file->addSeparator();
    AddCommand(file, kExit, "E&xit");

    QMenu* edit = bar->addMenu("&Edit");
    updateOnShow(edit);
    AddCommand(edit, kUndo, "&Undo\tCtrl+Z")
        ->setShortcuts({QKeySequence("Ctrl+Z"), QKeySequence("Alt+Backspace")});
    AddCommand(edit, kRedo, "&Redo\tCtrl+Y")
        ->setShortcuts({QKeySequence("Ctrl+Y"), QKeySequence("Ctrl+Shift+Z")});
    edit->addSeparator();
    AddCommand(edit, kCut, "Cu&t\tCtrl+X")->setShortcuts({QKeySequence("Ctrl+X"), QKeySequence("Shift+Del")});
    AddCommand(edit, kCopy, "&Copy\tCtrl+C")
        ->setShortcuts({QKeySequence("Ctrl+C"), QKeySequence("Ctrl+Ins")});
    AddCommand(edit, kPaste, "&Paste\tCtrl+V")
        ->setShortcuts({QKeySequence("Ctrl+V"), QKeySequence("Shift+Ins")});
    AddCommand(edit, kCopyText, "Copy Te&xt");

    QMenu* view = bar->addMenu("&View");
    updateOnShow(view);
    AddCommand(view, kViewToolbar, "&Main Toolbar", true);
    AddCommand(view, kViewToolsBar, "&Tools Bar", true);
    AddCommand(view, kViewOptionBar, "&Param Setting", true);
    AddCommand(view, kViewStatusBar, "&Status Bar", true);
    view->addSeparator();
    AddCommand(view, kZoomIn, "Zoom In");
    AddCommand(view, kZoomActual, "Acture");
    AddCommand(view, kZoomOut, "Zoom Out");

    QMenu* capture = bar->addMenu("&Capture");
    updateOnShow(capture);
    AddCommand(capture, kCaptureFullScreen, "&Full Screen");
    AddCommand(capture, kCaptureRegion, "&Rectangle Region");
    AddCommand(capture, kCaptureWindow, "&Window / Object");
    AddCommand(capture, kCaptureActiveWindow, "&Active Window");
    AddCommand(capture, kCaptureScroll, "&Scrolling Window");
    AddCommand(capture, kCaptureFixRect, "Fixed Rectangle");
    AddCommand(capture, kCaptureText, "Capture &Text");
    AddCommand(capture, kCaptureScreen, "&Current Screen");
    capture->addSeparator();
    AddCommand(capture, kRecordRegion, "Record Re&gion");
    AddCommand(capture, kRecordWindow, "Record Wi&ndow");
    AddCommand(capture, kRecordScreen, "Record Scr&een");
    AddCommand(capture, kPauseRecording, "&Pause Recording", true);
    AddCommand(capture, kStopRecording, "Sto&p Recording");

    QMenu* image = bar->addMenu("&Image");
    updateOnShow(image);
    // Only the menu shown without a document has these two at the top.
    cropSelection_ = AddCommand(image, kCropSelection, "Crop Selection");
    cropSeparator_ = image->addSeparator();
    const struct {
        int id;
        const char* text;
    } imageItems[] = {{20004, "&Rotate 90"},       {20007, "Rotate 270"}, {20002, "Rotate..."},
                      {20009, "Resize..."},        {0, nullptr},          {20010, "Brightness/Contrast"},
                      {20012, "Hue/Saturation"},   {20016, "&RGB Value"}, {20017, "&Color Level"},
                      {20051, "Auto Color Level"}, {0, nullptr},          {20005, "Filp Horizontally"},
                      {20006, "Filp Vertically"},  {20019, "&GrayImage"}, {20020, "&Invert"},
                      {20014, "Color Tone"}},
      filterItems[] = {{20033, "Noisy"},  {20034, "Blot"},      {20035, "Emboss"}, {20036, "OilPaint"},
                       {20037, "Splash"}, {20038, "Posterize"}, {20040, "Mosaic"}, {20041, "Halftone"},
                       {20042, "Blur"},   {20050, "3D Grid"}};
    for (const auto& item : imageItems) {
        if (item.text)
            AddCommand(image, item.id, item.text);
        else
            image->addSeparator();
    }
    QMenu* filter = bar->addMenu("F&ilter");
    updateOnShow(filter);
    for (const auto& item : filterItems) AddCommand(filter, item.id, item.text);

    QMenu* setting = bar->addMenu("&Setting");
    updateOnShow(setting);
    AddCommand(setting, kCaptureSetting, "&Capture Setting");
    setting->addSeparator();
    AddCommand(setting, kDefineHotkey, "Define hotkey");
    AddCommand(setting, kEnableHotkey, "Enable hotkey", true);
    setting->addSeparator();
    AddCommand(setting, kTrayMode, "Run as &tray mode", true);
    AddCommand(setting, kAutoRun, "AutoRun when startup", true);
    setting->addSeparator();
    BuildTextLanguageMenu(setting);

    QMenu* window = bar->addMenu("&Window");
    updateOnShow(window);
    AddCommand(window, kNewWindow, "&New Window");
    AddCommand(window, kCascade, "&Cascade");
    AddCommand(window, kTile, "&Tile");
    AddCommand(window, kArrangeIcons, "&Arrange Icons");
    window->addSeparator();
    AddCommand(window, kPinToDesktop, "&Pin to Desktop");

    QMenu* help = bar->addMenu("&Help");
    updateOnShow(help);
    AddCommand(help, kVisitHomepage, "Visit &Homepage");
    AddCommand(help, kHelp, "Help")->setShortcut(QKeySequence("F1"));
    help->addSeparator();
    AddCommand(help, kAbout, "&About...");

    tabMenu_ = new QMenu(this);
    AddCommand(tabMenu_, kSave, "Save");
    AddCommand(tabMenu_, kSaveAs, "Save As");
    AddCommand(tabMenu_, kPinToDesktop, "Pin to Desktop");
    tabMenu_->addSeparator();
    AddCommand(tabMenu_, kClose, "Close");

    // Shortcuts work while the window has the focus, wherever it is.
    for (auto& [id, action] : actions_) {
        (void)id;
        action->setShortcutContext(Qt::WindowShortcut);
    }
}

void CMainFrame::BuildToolBars() {
    using namespace cmd;
    struct Button {
        int id;
        const char* text;
        const char* tip;
        const char* key = nullptr;
    };
    const Button mainButtons[] = {{kNew, "New", "New"},
                                  {kOpen, "Open", "Open"},
                                  {kSave, "Save", "Save"},
                                  {0, nullptr, nullptr},
                                  {kCaptureFullScreen, "Full Screen", "Capture full screen"},
                                  {kCaptureRegion, "Rectangle Region", "Capture region"},
                                  {kCaptureWindow, "Window / Object", "Capture windows"},
                                  {kCaptureScroll, "Scrolling Window", "Capture scrolling window"},
                                  {0, nullptr, nullptr},
                                  {kUndo, "Undo", "Undo"},
                                  {kRedo, "Redo", "Redo"},
                                  {0, nullptr, nullptr},
                                  {kZoomIn, "Zoom In", "Zoom In"},
                                  {kZoomOut, "Zoom Out", "Zoom Out"},
                                  {kZoomActual, "Actual", "Actual size"}};
    const Button toolButtons[] = {{view_cmd::kMove, "Move", "Move", "Ctrl+1"},
                                  {view_cmd::kSelect, "Select", "Select", "Ctrl+2"},
                                  {view_cmd::kCrop, "Crop", "Crop", "Ctrl+3"},
                                  {view_cmd::kZoom, "Zoom", "Zoom", "Ctrl+4"},
                                  {0, nullptr, nullptr},
                                  {view_cmd::kText, "Text", "Text", "Ctrl+5"},
                                  {view_cmd::kLine, "Line", "Line", "Ctrl+6"},
                                  {view_cmd::kShape, "Shape", "Shape", "Ctrl+7"},
                                  {view_cmd::kHighlight, "Highlight box", "Highlight box", "Ctrl+8"},
                                  {view_cmd::kArrow, "Arrow", "Arrow", "Ctrl+9"},
                                  {view_cmd::kStamp, "Stamp", "Stamp", "Ctrl+0"},
                                  {view_cmd::kRedact, "Redact", "Redact", "Ctrl+-"},
                                  {view_cmd::kCounter, "Step counter", "Step counter: numbered steps"},
                                  {view_cmd::kPen, "Pen", "Pen: freehand"},
                                  {view_cmd::kMarker, "Marker", "Marker: a highlighter pen"},
                                  {0, nullptr, nullptr},
                                  {view_cmd::kDeleteTool, "Delete object", "Delete object"}};

    mainBar_ = new QToolBar("Main Toolbar", this);
    mainBar_->setObjectName("MainToolBar");
    mainBar_->setIconSize(QSize(32, 32));
    mainBar_->setMovable(false);
    mainBar_->setFloatable(false);
    mainBar_->setAllowedAreas(Qt::TopToolBarArea);
    for (const auto& b : mainButtons) {
        if (!b.text) {
            mainBar_->addSeparator();
            continue;
        }
        QAction* action = AddCommand(mainBar_, b.id, b.text);
        action->setIcon(CommandIcon(b.id));
        action->setToolTip(b.tip);
        action->setShortcutContext(Qt::WidgetShortcut);
    }
    addToolBar(Qt::TopToolBarArea, mainBar_);

    toolsBar_ = new QToolBar("Tools", this);
    toolsBar_->setObjectName("ToolsToolBar");
    toolsBar_->setIconSize(QSize(24, 24));
    toolsBar_->setAllowedAreas(Qt::LeftToolBarArea | Qt::RightToolBarArea);
    toolsBar_->setFloatable(false);
    // Docked at a side the bar is one column of buttons.
    toolsBar_->setOrientation(Qt::Vertical);
    for (const auto& b : toolButtons) {
        if (!b.text) {
            toolsBar_->addSeparator();
            continue;
        }
        QAction* action = AddCommand(toolsBar_, b.id, b.text, b.id != view_cmd::kDeleteTool);
        action->setIcon(CommandIcon(b.id));
        action->setToolTip(b.tip);
        action->setShortcutContext(Qt::WidgetShortcut);
        if (b.key) {
            // Tools from the keyboard: Ctrl and a digit, then the key after 0 (Ctrl+Shift+R would be the
            // region capture's default hotkey), which no menu uses.
            action->setShortcut(QKeySequence(b.key));
            action->setShortcutContext(Qt::WindowShortcut);
            action->setToolTip(
                QString("%1 (%2)").arg(b.tip, QKeySequence(b.key).toString(QKeySequence::NativeText)));
        }
        // Assistive tools toggle the button itself, which flips the check but triggers nothing: a toggle
        // that neither a click (which triggers) nor the state refresh made chooses the tool.
        if (auto* button = qobject_cast<QAbstractButton*>(toolsBar_->widgetForAction(action))) {
            auto clicked = std::make_shared<bool>(false);
            connect(action, &QAction::triggered, this, [clicked] { *clicked = true; });
            connect(button, &QAbstractButton::toggled, this, [this, clicked, id = b.id] {
                if (refreshingUi_) return;
                *clicked = false;
                QTimer::singleShot(0, this, [this, clicked, id] {
                    if (!*clicked) OnCommand(id);
                });
            });
        }
    }
    addToolBar(Qt::LeftToolBarArea, toolsBar_);
}

void CMainFrame::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    for (int pane = 0; pane < 3; ++pane) {
        auto* label = new QLabel(PaneText(pane), bar);
        label->setObjectName(StatusPaneName(pane));
        label->setMinimumWidth(label->sizeHint().width());
        label->setText(IdlePaneText(pane));
        panes_[pane] = label;
        bar->addWidget(label, pane == 2 ? 1 : 0);
    }
    progressHost_ = std::make_unique<StatusBarProgressHost>(this);
}

void CMainFrame::BuildTray() {
    using namespace cmd;
    trayMenu_ = new QMenu(this);
    AddCommand(trayMenu_, kShowHideMain, "Show/Hide Main window");
    AddCommand(trayMenu_, kCaptureFullScreen, "Capture Full screen");
    AddCommand(trayMenu_, kCaptureWindow, "Capture Windows");
    AddCommand(trayMenu_, kCaptureRegion, "Capture Region");
    AddCommand(trayMenu_, kCaptureActiveWindow, "Capture Active window");
    trayMenu_->addSeparator();
    AddCommand(trayMenu_, kRecordRegion, "Record Region");
    AddCommand(trayMenu_, kRecordWindow, "Record Window");
    AddCommand(trayMenu_, kRecordScreen, "Record Screen");
    AddCommand(trayMenu_, kStopRecording, "Stop Recording");
    trayMenu_->addSeparator();
    AddCommand(trayMenu_, kExit, "Exit Glimmora");
    connect(trayMenu_, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUi);
    tray_.Init(this, kTrayIconId, ApplicationIcon(), kCaption);
    tray_.SetMenu(trayMenu_);
    connect(&tray_, &TrayIcon::leftClicked, this, &CMainFrame::TrayLeftClick);
}

}  // namespace glimmora
