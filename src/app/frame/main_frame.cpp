#include "app/frame/main_frame.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QMessageBox>
#include <QScopeGuard>
#include <QSettings>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <cstdio>

#include "app/capture_settings/cap_setting_dlg.h"
#include "app/frame/about_dlg.h"
#include "app/frame/autorun.h"
#include "app/frame/child_frame.h"
#include "app/frame/command_ids.h"
#include "app/frame/exit_hint_dlg.h"
#include "app/frame/frame_icons.h"
#include "app/frame/tavrik_app.h"
#include "app/hotkeys/def_hotkey_dlg.h"
#include "app/hotkeys/hotkey_text.h"
#include "app/settings/app_settings.h"
#include "app/settings/program_directory.h"
#include "editor/tavrik_doc.h"
#include "editor/tavrik_view.h"
#include "platform/sound.h"
#include "ui/edit_txt_dlg.h"
#include "ui/progress_bar.h"
#include "ui/stamp_list.h"
#include "ui/tool_option_bar.h"

namespace glimmora {

namespace {
constexpr char kCaption[] = "Glimmora";
constexpr char kBarState[] = "GuiTabbedDemo/State";

// Stable numbers standing in for the six registration names, in mode order.
struct HotkeyName {
    const char* name;
    int id;
};
constexpr HotkeyName kHotkeyNames[kHotkeyModeCount] = {
    {"TV_CapFull", 0xC101},   {"TV_CapWnd", 0xC102},    {"TV_CapAWnd", 0xC103},
    {"TV_CapRegion", 0xC104}, {"TV_CapScroll", 0xC105}, {"TV_CapFixRect", 0xC106},
};
// Esc, taken for the whole desktop while a capture's delay runs (the window is hidden then).
constexpr int kEscapeGrabId = 0xC1FF;
constexpr uint32_t kVirtualKeyEscape = 27;
// The labels of the define dialog, to name a combination that could not be taken.
constexpr const char* kHotkeyLabels[kHotkeyModeCount] = {
    "Capture full screen",      "Capture window / object",  "Capture active Window",
    "Capture rectangle region", "Capture scrolling window", "Capture fix-size Rectangle"};

void Warn(const QString& text) {
    QMessageBox box(QMessageBox::Warning, kCaption, text, QMessageBox::Ok);
    box.exec();
}

QString PaneText(int pane) {
    static const char* const texts[3] = {"  Size: 0 x 0          ", "Zoom: 100%    ", "  "};
    return texts[pane];
}

// Without a document there is no size to speak of; the pane keeps its width.
QString IdlePaneText(int pane) {
    return pane == 0 ? QString() : PaneText(pane);
}

}  // namespace

CMainFrame::CMainFrame(CTavrikApp& app, Platform* platform) : app_(app), platform_(platform) {
    setWindowTitle(kCaption);
    setWindowIcon(ApplicationIcon());
    if (platform_) capturer_ = std::make_unique<Capturer>(*platform_, *this);
    sound_ = CreateDesktopSoundPlayer();
}

CMainFrame::~CMainFrame() {
    QCoreApplication::instance()->removeNativeEventFilter(this);
    qApp->removeEventFilter(this);
    if (platform_ && publishedId_) platform_->WithdrawMainWindow(publishedId_);
    // The documents go before the frame's members they point at.
    for (CChildFrame* child : Children()) {
        child->Document()->modified = 0;
        delete child;
    }
}

// ---- Creation ----

bool CMainFrame::Create(const std::string& settingsPath) {
    settingsPath_ = settingsPath;
    setObjectName("MainFrame");
    mdi_ = new QMdiArea(this);
    mdi_->setViewMode(QMdiArea::TabbedView);
    mdi_->setTabsClosable(true);
    mdi_->setTabsMovable(true);
    mdi_->setDocumentMode(true);
    setCentralWidget(mdi_);
    connect(mdi_, &QMdiArea::subWindowActivated, this, &CMainFrame::OnActiveChildChanged);

    BuildMenus();
    BuildStatusBar();
    BuildToolBars();

    optionBar_ = new ToolOptionBar(this, QString::fromStdString(::glimmora::ProgramDirectory() + "stamps"));
    optionBar_->setWindowTitle("Param Setting");
    optionBar_->setAllowedAreas(Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea);
    optionBar_->setFeatures(QDockWidget::DockWidgetMovable);
    addDockWidget(Qt::BottomDockWidgetArea, optionBar_);
    // Only the user's edits in the bar reach an object; a view shown on the bar never takes its values.
    connect(optionBar_, &ToolOptionBar::panelChanged, this, [this] {
        if (CChildFrame* child = ActiveChild()) child->View()->OnPanelChanged();
    });
    ShowCurrentToolPanel();

    // The bars as the user left them.
    QSettings profile(kProfileOrganisation, kProfileApplication);
    restoreState(profile.value(kBarState).toByteArray());

    if (QTabBar* tabs = mdi_->findChild<QTabBar*>()) {
        tabs->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(tabs, &QWidget::customContextMenuRequested, this, [this, tabs](const QPoint& at) {
            const int index = tabs->tabAt(at);
            const QList<QMdiSubWindow*> windows = mdi_->subWindowList();
            if (index < 0 || index >= windows.size()) return;
            mdi_->setActiveSubWindow(windows[index]);
            UpdateCommandUi();
            tabMenu_->exec(tabs->mapToGlobal(at));
        });
    }

    LoadAppSettings(m_settings, settingsPath_);

    BuildTray();
    if (m_settings.IsTrayMode) {
        tray_.Add();
        if (!TrayUsable()) SayTrayMissing();
    }
    if (m_settings.IsEnableHotkey && !RegisterHotkeys().empty())
        SetStatusText(2, "Some hotkeys could not be taken; Enable hotkey tells which.");
    if (m_settings.IsAutoStartup) SetAutoRun("Glimmora", ExecutablePath());

    // Escape anywhere in the window is noted for a running scroll capture.
    qApp->installEventFilter(this);
    QCoreApplication::instance()->installNativeEventFilter(this);
    if (platform_) {
        publishedId_ = static_cast<WindowId>(winId());
        platform_->PublishMainWindow(publishedId_);
    }

    // Toolbar buttons follow the documents' state.
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &CMainFrame::UpdateCommandUi);
    timer->start(250);
    UpdateCommandUi();
    return true;
}

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

    QMenu* view = bar->addMenu("&View");
    updateOnShow(view);
    AddCommand(view, kViewToolbar, "&Main Toolbar", true);
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

    QMenu* window = bar->addMenu("&Window");
    updateOnShow(window);
    AddCommand(window, kNewWindow, "&New Window");
    AddCommand(window, kCascade, "&Cascade");
    AddCommand(window, kTile, "&Tile");
    AddCommand(window, kArrangeIcons, "&Arrange Icons");

    QMenu* help = bar->addMenu("&Help");
    updateOnShow(help);
    AddCommand(help, kVisitHomepage, "Visit &Homepage");
    AddCommand(help, kHelp, "Help")->setShortcut(QKeySequence("F1"));
    help->addSeparator();
    AddCommand(help, kAbout, "&About...");

    tabMenu_ = new QMenu(this);
    AddCommand(tabMenu_, kSave, "Save");
    AddCommand(tabMenu_, kSaveAs, "Save As");
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
            // Tools from the keyboard: Ctrl and a digit, which no menu uses.
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
    AddCommand(trayMenu_, kExit, "Exit Glimmora");
    connect(trayMenu_, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUi);
    tray_.Init(this, kTrayIconId, ApplicationIcon(), kCaption);
    tray_.SetMenu(trayMenu_);
    connect(&tray_, &TrayIcon::leftClicked, this, &CMainFrame::TrayLeftClick);
}

// ---- Routing ----

QAction* CMainFrame::ActionFor(int id) const {
    const auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

void CMainFrame::OnCommand(int id) {
    bool enabled = false;
    bool checked = false;
    CommandState(id, &enabled, &checked);
    // Shortcuts and other programs reach disabled commands too; they do nothing, as a grey menu entry.
    if (!enabled) return;
    CChildFrame* child = ActiveChild();
    if (child) {
        if (child->View()->OnCommand(id)) return;
        CTavrikDoc* doc = child->Document();
        switch (id) {
            case cmd::kSave:
            case cmd::kSaveAs:
                // A file the user saved is one to reopen, as much as one opened.
                if (id == cmd::kSave ? doc->OnFileSave() : doc->OnFileSaveAs())
                    app_.AddToRecentFiles(QFile::decodeName(doc->PathName().c_str()));
                return;
            case cmd::kClose:
                child->close();
                return;
            case cmd::kUndo:
                doc->OnEditUndo();
                return;
            case cmd::kRedo:
                doc->OnEditRedo();
                return;
            default:
                break;
        }
    }
    if (FrameCommand(id)) return;
    app_.OnCommand(id);
}

void CMainFrame::CommandState(int id, bool* enabled, bool* checked) {
    *enabled = false;
    *checked = false;
    if (CChildFrame* child = ActiveChild()) {
        if (child->View()->CommandState(id, enabled, checked)) return;
        CTavrikDoc* doc = child->Document();
        switch (id) {
            case cmd::kSave:
            case cmd::kSaveAs:
            case cmd::kClose:
                *enabled = true;
                return;
            case cmd::kUndo:
                *enabled = doc->CanUndo();
                return;
            case cmd::kRedo:
                *enabled = doc->CanRedo();
                return;
            default:
                break;
        }
    }
    if (FrameCommandState(id, enabled, checked)) return;
    *enabled = app_.HasCommand(id);
}

void CMainFrame::UpdateCommandUi() {
    const bool hasDocument = ActiveChild() != nullptr;
    cropSelection_->setVisible(!hasDocument);
    cropSeparator_->setVisible(!hasDocument);
    refreshingUi_ = true;
    for (auto& [id, action] : actions_) {
        bool enabled = false;
        bool checked = false;
        CommandState(id, &enabled, &checked);
        action->setEnabled(enabled);
        if (action->isCheckable()) action->setChecked(checked);
    }
    refreshingUi_ = false;
    // The recent files, kept in step with the list.
    const QStringList& recent = app_.RecentFiles();
    bool same = static_cast<int>(recentActions_.size()) == recent.size();
    for (size_t i = 0; same && i < recentActions_.size(); ++i)
        same = recentActions_[i]->data().toString() == recent[static_cast<int>(i)];
    if (!same) SetRecentFiles(recent);
}

void CMainFrame::SetRecentFiles(const QStringList& paths) {
    for (QAction* a : recentActions_) delete a;
    recentActions_.clear();
    recentPlaceholder_->setVisible(paths.isEmpty());
    for (int i = 0; i < paths.size(); ++i) {
        auto* action = new QAction(QString("&%1 %2").arg(i + 1).arg(paths[i]), this);
        action->setData(paths[i]);
        connect(action, &QAction::triggered, this, [this, i] { app_.OpenRecentFile(i); });
        recentMenuAnchor_->insertAction(recentPlaceholder_, action);
        recentActions_.push_back(action);
    }
}

bool CMainFrame::FrameCommand(int id) {
    using namespace cmd;
    switch (id) {
        case kViewToolbar:
            mainBar_->setVisible(mainBar_->isHidden());
            return true;
        case kViewStatusBar:
            statusBar()->setVisible(statusBar()->isHidden());
            return true;
        case kTrayMode:
            ToggleTrayMode();
            return true;
        case kAutoRun:
            ToggleAutoRun();
            return true;
        case kShowHideMain:
            ShowHideMain();
            return true;
        case kVisitHomepage:
            QDesktopServices::openUrl(QUrl(kHomePage));
            return true;
        case kCaptureSetting:
            OnCaptureSetting();
            return true;
        case kDefineHotkey:
            OnDefineHotkey();
            return true;
        case kEnableHotkey:
            OnEnableHotkey();
            return true;
        case kExit:
            close();
            return true;
        case kCascade:
            mdi_->setViewMode(QMdiArea::SubWindowView);
            mdi_->cascadeSubWindows();
            return true;
        case kTile:
            mdi_->setViewMode(QMdiArea::SubWindowView);
            mdi_->tileSubWindows();
            return true;
        case kArrangeIcons:
            mdi_->setViewMode(QMdiArea::TabbedView);
            return true;
        default:
            return false;
    }
}

bool CMainFrame::FrameCommandState(int id, bool* enabled, bool* checked) {
    using namespace cmd;
    switch (id) {
        // Not hidden rather than visible: a minimised or not yet shown window still has its bars.
        case kViewToolbar:
            *enabled = true;
            *checked = !mainBar_->isHidden();
            return true;
        case kViewStatusBar:
            *enabled = true;
            *checked = !statusBar()->isHidden();
            return true;
        case kTrayMode:
            *enabled = true;
            *checked = m_settings.IsTrayMode != 0;
            return true;
        case kAutoRun:
            *enabled = true;
            *checked = m_settings.IsAutoStartup != 0;
            return true;
        case kEnableHotkey:
            *enabled = true;
            *checked = m_settings.IsEnableHotkey != 0;
            return true;
        case kShowHideMain:
        case kVisitHomepage:
        case kCaptureSetting:
        case kDefineHotkey:
        case kExit:
            *enabled = true;
            return true;
        case kCascade:
        case kTile:
            *enabled = !mdi_->subWindowList().isEmpty();
            return true;
        case kArrangeIcons:
            *enabled = mdi_->viewMode() != QMdiArea::TabbedView;
            return true;
        default:
            return false;
    }
}

// ---- Documents ----

CChildFrame* CMainFrame::AddDocumentWindow(std::unique_ptr<CTavrikDoc> doc) {
    doc->SetPrompts(this);
    doc->SetProgressHost(progressHost_.get());
    auto* child = new CChildFrame(std::move(doc));
    child->setWindowIcon(DocumentIcon());
    child->View()->SetToolPanel(optionBar_);
    child->View()->SetHost(this);
    child->View()->SetImageDialogs(&imageDialogs_);
    connect(child, &CChildFrame::pathEntered, &app_, &CTavrikApp::AddToRecentFiles);
    connect(child->Document(), &CTavrikDoc::titleChanged, this, &CMainFrame::UpdateTitle);
    mdi_->addSubWindow(child);
    child->showMaximized();
    mdi_->setActiveSubWindow(child);
    child->View()->setFocus();
    connect(child, &QObject::destroyed, this, &CMainFrame::OnActiveChildChanged, Qt::QueuedConnection);
    OnActiveChildChanged();
    return child;
}

CChildFrame* CMainFrame::ActiveChild() const {
    // The current one, not the active one: while another program has the focus (a capture started by a
    // hotkey or a request) no sub-window counts as active.
    return mdi_ ? qobject_cast<CChildFrame*>(mdi_->currentSubWindow()) : nullptr;
}

std::vector<CChildFrame*> CMainFrame::Children() const {
    std::vector<CChildFrame*> out;
    if (!mdi_) return out;
    for (QMdiSubWindow* w : mdi_->subWindowList(QMdiArea::CreationOrder))
        if (auto* child = qobject_cast<CChildFrame*>(w)) out.push_back(child);
    return out;
}

// The bar serves the active view: its tool's panel and its selected object's style.
void CMainFrame::ShowCurrentToolPanel() {
    if (!optionBar_) return;
    if (CChildFrame* child = ActiveChild())
        child->View()->ShowOnPanel();
    else
        optionBar_->SetKind(kToolMove);
}

void CMainFrame::OnActiveChildChanged() {
    UpdateTitle();
    if (CChildFrame* child = ActiveChild()) {
        // The panes show the new view's picture.
        child->View()->update();
    } else {
        for (int pane = 0; pane < 2; ++pane) panes_[pane]->setText(IdlePaneText(pane));
    }
    ShowCurrentToolPanel();
    UpdateCommandUi();
}

void CMainFrame::UpdateTitle() {
    CChildFrame* child = ActiveChild();
    setWindowTitle(child ? QString("%1 - %2").arg(kCaption, child->Document()->Title()) : QString(kCaption));
}

// ---- Tray, show and hide, auto-run ----

void CMainFrame::ToggleTrayMode() {
    m_settings.IsTrayMode = m_settings.IsTrayMode ? 0 : 1;
    if (m_settings.IsTrayMode) {
        tray_.Add();
        if (!TrayUsable()) SayTrayMissing();
    } else {
        tray_.Remove();
    }
}

// Asked each time: a notification area may start (or stop) while the program runs.
bool CMainFrame::TrayUsable() const {
    return m_settings.IsTrayMode && QSystemTrayIcon::isSystemTrayAvailable();
}

void CMainFrame::SayTrayMissing() {
    if (traySaidMissing_) return;
    traySaidMissing_ = true;
    SetStatusText(2,
                  "No notification area is running: the window minimises to the taskbar until one starts.");
}

void CMainFrame::ToggleAutoRun() {
    const bool wasOn = m_settings.IsAutoStartup != 0;
    m_settings.IsAutoStartup = wasOn ? 0 : 1;
    if (wasOn)
        RemoveAutoRun("Glimmora");
    else
        SetAutoRun("Glimmora", ExecutablePath());
}

// Hidden without minimising first: on X the window manager may carry out the minimise request after the
// hide, and so minimise the window again as soon as it is shown.
void CMainFrame::ShowHideMain() {
    if (isVisible()) {
        hide();
    } else {
        setAttribute(Qt::WA_ShowWithoutActivating, true);
        showNormal();
        setAttribute(Qt::WA_ShowWithoutActivating, false);
    }
}

void CMainFrame::TrayLeftClick() {
    // A minimised window counts as away: one click always brings it back.
    if (isVisible() && !isMinimized()) {
        hide();
    } else {
        showNormal();
        raise();
        activateWindow();
    }
}

void CMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // In tray mode a minimised window leaves the taskbar; the tray icon brings it back. Without a
    // notification area there would be no way back, so it stays minimised.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && m_settings.IsTrayMode) {
        if (!TrayUsable()) {
            SayTrayMissing();
            return;
        }
        QTimer::singleShot(0, this, [this] {
            if (isMinimized() && TrayUsable()) hide();
        });
    }
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == this) m_bEscapePressed = 1;
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- Hotkeys ----

HotkeyGrabber* CMainFrame::Grabber() {
    if (hotkeys_ || !platform_) return hotkeys_.get();
    hotkeys_ = platform_->OpenHotkeys();
    if (!hotkeys_) return nullptr;
    hotkeyNotifier_ = new QSocketNotifier(hotkeys_->EventFd(), QSocketNotifier::Read, this);
    connect(hotkeyNotifier_, &QSocketNotifier::activated, this, [this] {
        for (int id : hotkeys_->TakePressed()) {
            if (id == kEscapeGrabId)
                m_bEscapePressed = 1;
            else
                QTimer::singleShot(0, this, [this, id] { OnHotkey(id); });
        }
    });
    return hotkeys_.get();
}

std::vector<int> CMainFrame::RegisterHotkeys() {
    for (int mode = 0; mode < kHotkeyModeCount; ++mode) hotkeyIds_[mode] = kHotkeyNames[mode].id;
    std::vector<int> refused;
    HotkeyGrabber* grabber = Grabber();
    if (!grabber) return refused;
    for (int mode = 0; mode < kHotkeyModeCount; ++mode) {
        const HotkeySetting& k = m_settings.hotkeys[mode];
        // A combination another program holds is not active; the caller names it to the user.
        if (!grabber->Register(hotkeyIds_[mode], static_cast<uint32_t>(k.Hotkey),
                               static_cast<uint32_t>(k.HotkeyMask)) &&
            k.Hotkey != 0)
            refused.push_back(mode);
    }
    hotkeysRegistered_ = true;
    // Presses read while the grabs were answered wait in the queue without waking the notifier.
    for (int id : grabber->TakePressed())
        if (id != kEscapeGrabId) QTimer::singleShot(0, this, [this, id] { OnHotkey(id); });
    return refused;
}

void CMainFrame::ReportRefusedHotkeys(const std::vector<int>& modes) {
    if (modes.empty()) return;
    QStringList lines;
    for (int mode : modes)
        lines << QString("%1 (%2)").arg(
            FormatHotkeyText(m_settings.hotkeys[mode].Hotkey, m_settings.hotkeys[mode].HotkeyMask),
            kHotkeyLabels[mode]);
    Warn("These hotkeys could not be taken, another program holds them:\n\n" + lines.join("\n") +
         "\n\nChoose other combinations in Define hotkey, or turn Enable hotkey off and on again to retry.");
}

void CMainFrame::UnregisterHotkeys() {
    if (hotkeys_)
        for (int mode = 0; mode < kHotkeyModeCount; ++mode) hotkeys_->Unregister(hotkeyIds_[mode]);
    hotkeysRegistered_ = false;
}

QString CMainFrame::RequestRefusal() const {
    if (closing_ || inCloseSequence_) return "No capture while Glimmora is closing.";
    // Any modal dialog (an adjustment previewing, a message, the close prompt) holds the documents.
    if (QApplication::activeModalWidget()) return "No capture while a dialog is open; close it first.";
    return {};
}

bool CMainFrame::RunCapture(int mode) {
    if (!capturer_ || mode < 0 || mode >= kHotkeyModeCount) return false;
    if (const QString why = RequestRefusal(); !why.isEmpty()) {
        SetStatusText(2, why);
        return false;
    }
    switch (mode) {
        case kHotkeyFullScreen:
            capturer_->CaptureFullScreen();
            break;
        case kHotkeyWindow:
            capturer_->CaptureWindow();
            break;
        case kHotkeyActiveWindow:
            capturer_->CaptureActiveWindow();
            break;
        case kHotkeyRegion:
            capturer_->CaptureRegion();
            break;
        case kHotkeyScroll:
            capturer_->CaptureScroll();
            break;
        case kHotkeyFixRect:
            capturer_->CaptureFixRect();
            break;
        default:
            return false;
    }
    return true;
}

void CMainFrame::OnHotkey(int id) {
    if (!hotkeysRegistered_) return;
    int mode = 0;
    while (mode < kHotkeyModeCount && hotkeyIds_[mode] != id) ++mode;
    if (RunCapture(mode)) emit requestHandled(0);
}

void CMainFrame::OnEnableHotkey() {
    const bool wasOn = m_settings.IsEnableHotkey != 0;
    m_settings.IsEnableHotkey = wasOn ? 0 : 1;
    if (wasOn) {
        UnregisterHotkeys();
        return;
    }
    ReportRefusedHotkeys(RegisterHotkeys());
    bool any = false;
    for (const HotkeySetting& k : m_settings.hotkeys) any = any || k.Hotkey != 0;
    if (!any)
        Warn(
            "No hotkey is defined yet, so none is active.\n\nChoose Define hotkey, then Default for "
            "Ctrl + Shift + F, W, A, R, S and X, or press combinations of your own.");
}

void CMainFrame::OnDefineHotkey() {
    // Off while the dialog runs, so the combinations being recorded do not start captures.
    UnregisterHotkeys();
    CDefHotKeyDlg dialog(settingsPath_, this);
    ClearSettingsWriteFailure();
    if (dialog.exec() == QDialog::Accepted) {
        for (int mode = 0; mode < kHotkeyModeCount; ++mode) m_settings.hotkeys[mode] = dialog.Hotkeys()[mode];
        ReportSettingsWrite();
    }
    if (m_settings.IsEnableHotkey) ReportRefusedHotkeys(RegisterHotkeys());
}

void CMainFrame::OnCaptureSetting() {
    ClearSettingsWriteFailure();
    if (RunCaptureSettings(this, m_settings, settingsPath_)) ReportSettingsWrite();
}

void CMainFrame::ReportSettingsWrite() {
    const std::string failure = TakeSettingsWriteFailure();
    if (!failure.empty()) Warn(QString::fromStdString(failure));
}

// ---- Other programs' requests ----

bool CMainFrame::nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) {
    if (!platform_ || eventType != "xcb_generic_event_t") return false;
    const std::optional<AppMessage> request = platform_->DecodeAppMessage(message);
    if (!request) return false;
    if (result) *result = 0;
    // Captures run their own event loops: never inside the native event handler.
    const AppMessage m = *request;
    QTimer::singleShot(0, this, [this, m] { OnAppMessage(m); });
    return true;
}

void CMainFrame::RemoveHighlight() {
    if (platform_ && m_hHighlightWnd && platform_->windows().Exists(m_hHighlightWnd))
        platform_->windows().Invalidate(m_hHighlightWnd);
}

void CMainFrame::OnAppMessage(const AppMessage& m) {
    constexpr uint32_t kWmCommand = 0x111;
    const auto window = static_cast<WindowId>(m.lParam);
    if (const QString why = RequestRefusal(); !why.isEmpty()) {
        SetStatusText(2, why);
        emit requestHandled(m.message);
        return;
    }
    switch (m.message) {
        case cmd::kWmHighlightWnd:
            RemoveHighlight();
            m_hHighlightWnd = window;
            if (platform_ && window) platform_->windows().DrawFrame(window, 3, 0x000000);
            break;
        case cmd::kWmCaptureWnd:
            RemoveHighlight();
            if (m.wParam == 1 && capturer_) {
                m_hHighlightWnd = window;
                capturer_->CaptureWindowByMessage(window);
            }
            break;
        case cmd::kWmStartCapture: {
            // The message's modes: 0 full screen, 1 window/object, 2 region, 3 active window.
            static constexpr int kModes[] = {kHotkeyFullScreen, kHotkeyWindow, kHotkeyRegion,
                                             kHotkeyActiveWindow};
            if (m.wParam >= 0 && m.wParam < 4) RunCapture(kModes[m.wParam]);
            break;
        }
        case kWmCommand:
            // Only the two captures the other messages cannot start; no other menu command is anyone's
            // business outside the program.
            if (m.wParam == cmd::kCaptureScroll || m.wParam == cmd::kCaptureFixRect)
                OnCommand(static_cast<int>(m.wParam));
            break;
        default:
            break;
    }
    emit requestHandled(m.message);
}

// ---- Close ----

void CMainFrame::CloseChildNow(CChildFrame* child) {
    child->Document()->modified = 0;
    child->close();
}

bool CMainFrame::RunCloseSequence() {
    // Captures and requests wait outside while the prompts run.
    inCloseSequence_ = true;
    const auto done = qScopeGuard([this] { inCloseSequence_ = false; });
    bool asking = true;
    for (CChildFrame* child : Children()) {
        if (!asking) break;
        CTavrikDoc* doc = child->Document();
        if (doc->modified == 0) {
            CloseChildNow(child);
            continue;
        }
        mdi_->setActiveSubWindow(child);
        CExitHintDlg prompt(doc->Title(), this);
        switch (prompt.exec()) {
            case CExitHintDlg::kCancel:
                return false;
            case CExitHintDlg::kYes:
                // A failed save was reported by name; the document stays open and the close ends here.
                if (doc->SaveWithDialog(true) != CTavrikDoc::SaveResult::kSaved) return false;
                CloseChildNow(child);
                break;
            case CExitHintDlg::kNo:
                CloseChildNow(child);
                break;
            case CExitHintDlg::kSaveNone:
                asking = false;
                break;
            default:
                break;
        }
    }
    for (CChildFrame* child : Children()) child->Document()->modified = 0;

    if (m_settings.IsTrayMode) tray_.Remove();
    UnregisterHotkeys();
    ClearSettingsWriteFailure();
    WriteCloseSettings(m_settings, settingsPath_);
    ReportSettingsWrite();
    QSettings profile(kProfileOrganisation, kProfileApplication);
    profile.setValue(kBarState, saveState());
    return true;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->accept();
        return;
    }
    // A second close (Exit from the tray during the prompt) or one during a capture waits its turn.
    if (inCloseSequence_ || (capturer_ && capturer_->busy())) {
        event->ignore();
        return;
    }
    if (!RunCloseSequence()) {
        event->ignore();
        return;
    }
    closing_ = true;
    for (CChildFrame* child : Children()) child->close();
    if (platform_ && publishedId_) {
        platform_->WithdrawMainWindow(publishedId_);
        publishedId_ = 0;
    }
    event->accept();
    // A hidden tray-mode window is not the last one Qt would wait for.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

// ---- CaptureHost ----

WindowId CMainFrame::MainWindow() {
    return static_cast<WindowId>(winId());
}

void CMainFrame::ShowMain(ShowState state) {
    switch (state) {
        case ShowState::Hide:
            hide();
            break;
        case ShowState::Show:
            show();
            break;
        case ShowState::ShowMinimized:
            // In tray mode the icon is the way back: the window leaves the taskbar at once.
            if (TrayUsable())
                hide();
            else
                showMinimized();
            break;
        case ShowState::ShowNoActivate:
            setAttribute(Qt::WA_ShowWithoutActivating, true);
            if (isMinimized())
                showNormal();
            else
                show();
            setAttribute(Qt::WA_ShowWithoutActivating, false);
            break;
        case ShowState::ShowNormal:
            showNormal();
            break;
    }
    // Qt sends its requests when it handles events; the server has them once the round trip returns.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (platform_) platform_->input().Sync();
}

void CMainFrame::ActivateMain() {
    raise();
    activateWindow();
}

void CMainFrame::InvalidateMain() {
    update();
}

CaptureDocument* CMainFrame::ActiveDocument() {
    return ActiveChild();
}

CaptureDocument* CMainFrame::NewDocumentForCapture() {
    return app_.NewDocumentForCapture();
}

void CMainFrame::CopyToClipboard(const Image& image) {
    const QImage picture = ToQImage(image);
    if (!picture.isNull()) QGuiApplication::clipboard()->setImage(picture);
}

void CMainFrame::PlaySound(const std::string& path) {
    sound_->PlayFile(path);
}

std::string CMainFrame::ProgramDirectory() {
    return ::glimmora::ProgramDirectory();
}

void CMainFrame::MessageBox(const std::string& text) {
    QMessageBox box(QMessageBox::Information, kCaption, QString::fromStdString(text), QMessageBox::Ok);
    box.exec();
}

bool CMainFrame::Wait(int ms) {
    if (ms <= 0) return true;
    m_bEscapePressed = 0;
    // The window is usually hidden during the delay, so Esc is taken for the whole desktop meanwhile.
    HotkeyGrabber* grabber = Grabber();
    const bool grabbed = grabber && grabber->Register(kEscapeGrabId, kVirtualKeyEscape, 0);
    const QString before = panes_[2]->text();
    if (ms >= 1000) SetStatusText(2, QString("Capturing in %1 s; Esc cancels.").arg((ms + 999) / 1000));
    QEventLoop loop;
    QTimer end;
    end.setSingleShot(true);
    connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
    end.start(ms);
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (m_bEscapePressed) loop.quit();
    });
    poll.start(50);
    // Painting goes on; clicks and keys wait, so nothing else starts in the middle of a capture.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (grabbed) grabber->Unregister(kEscapeGrabId);
    const bool cancelled = m_bEscapePressed != 0;
    m_bEscapePressed = 0;
    if (ms >= 1000) SetStatusText(2, cancelled ? QString("The capture was cancelled.") : before);
    return !cancelled;
}

bool CMainFrame::EscapePressed() {
    QCoreApplication::processEvents();
    const bool was = m_bEscapePressed != 0;
    m_bEscapePressed = 0;
    return was;
}

// ---- ViewHost ----

void CMainFrame::SetStatusText(int pane, const QString& text) {
    if (pane < 0 || pane > 2) return;
    panes_[pane]->setText(text);
    // The pane keeps at least its first width and grows with longer texts.
    panes_[pane]->setMinimumWidth(std::max(panes_[pane]->minimumWidth(), panes_[pane]->sizeHint().width()));
}

bool CMainFrame::EditText(TextObject& object, bool isNew) {
    return RunEditTextDialog(object, isNew, this);
}

// ---- DocumentPrompts ----

DocumentPrompts::Answer CMainFrame::AskSaveImage() {
    QMessageBox box(QMessageBox::Question, kCaption, "Do you want to save the image?",
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    switch (box.exec()) {
        case QMessageBox::Yes:
            return Answer::kYes;
        case QMessageBox::No:
            return Answer::kNo;
        default:
            return Answer::kCancel;
    }
}

DocumentPrompts::Answer CMainFrame::AskExpandForPaste() {
    QMessageBox box(QMessageBox::Question, kCaption,
                    "Clipboard image is large than the image, expand the image?",
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    switch (box.exec()) {
        case QMessageBox::Yes:
            return Answer::kYes;
        case QMessageBox::No:
            return Answer::kNo;
        default:
            return Answer::kCancel;
    }
}

std::optional<std::string> CMainFrame::AskSavePath(const std::string& initialName) {
    QFileDialog dialog(nullptr, {}, {}, QtFileFilter(kSaveFilter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(kSaveDefaultExtension);
    const QString name = QFile::decodeName(initialName.c_str());
    if (!QFileInfo(name).isAbsolute()) dialog.setDirectory(app_.StartFolder());
    dialog.selectFile(name);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    app_.NoteFolder(dialog.selectedFiles().first());
    return QFile::encodeName(dialog.selectedFiles().first()).toStdString();
}

void CMainFrame::ShowMessage(const std::string& text) {
    MessageBox(text);
}

}  // namespace glimmora
