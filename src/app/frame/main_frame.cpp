#include "app/frame/main_frame.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include "app/frame/about_dlg.h"
#include "app/frame/autorun.h"
#include "app/frame/child_frame.h"
#include "app/frame/command_ids.h"
#include "app/frame/frame_icons.h"
#include "app/frame/main_frame_parts.h"
#include "app/frame/recovery_keeper.h"
#include "app/frame/tavrik_app.h"
#include "app/settings/app_settings.h"
#include "app/settings/ini_profile.h"
#include "app/settings/program_directory.h"
#include "editor/tavrik_doc.h"
#include "editor/tavrik_view.h"
#include "platform/sound.h"
#include "record/recorder.h"
#include "ui/edit_txt_dlg.h"
#include "ui/progress_bar.h"
#include "ui/tool_option_bar.h"

namespace glimmora {

using namespace frame_parts;

namespace frame_parts {

void Warn(const QString& text) {
    QMessageBox box(QMessageBox::Warning, kCaption, text, QMessageBox::Ok);
    box.exec();
}

QString PaneText(int pane) {
    static const char* const texts[3] = {"  Size: 0 x 0          ", "Zoom: 100%    ", "  "};
    return texts[pane];
}

QString IdlePaneText(int pane) {
    return pane == 0 ? QString() : PaneText(pane);
}

}  // namespace frame_parts

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
    for (const QPointer<QWidget>& pin : pins_) delete pin.data();
    // A text still being read is stopped and waited for: the thread must not outlive what it reports to.
    if (textReader_) {
        pendingText_.reset();
        textCancel_->store(true);
        textReader_->wait();
        delete textReader_;
    }
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

    optionBar_ = new ToolOptionBar(this, QString::fromStdString(::glimmora::DataDirectory() + "stamps"));
    optionBar_->setWindowTitle("Param Setting");
    optionBar_->setAllowedAreas(Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea);
    // Closable, as the View menu and the bars' context menu bring it back; never floating.
    optionBar_->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetClosable);
    addDockWidget(Qt::BottomDockWidgetArea, optionBar_);
    {
        // Each tool as it was left last time.
        IniProfile ini;
        ini.SetPath(settingsPath_.c_str());
        for (int tool = kToolText; tool <= kToolMarker; ++tool)
            if (const char* key = ToolOptionBar::StyleKey(tool))
                optionBar_->SetStyleText(tool, ini.ReadString(kToolStylesSection, key, ""));
    }
    // Only the user's edits in the bar reach an object; a view shown on the bar never takes its values.
    connect(optionBar_, &ToolOptionBar::panelChanged, this, [this] {
        if (CChildFrame* child = ActiveChild()) child->View()->OnPanelChanged();
    });
    ShowCurrentToolPanel();

    // The bars as the user left them.
    QSettings profile(QString::fromStdString(StateFilePathFor(settingsPath_)), QSettings::IniFormat);
    const QVariant bars = profile.value(kBarState);
    restoreState((bars.isValid() ? bars : profile.value(QString(kOldBarGroup) + "/State")).toByteArray());
    // An earlier layout may have the bar floating where it is not allowed to; it docks again.
    DockOptionBar();
    // So does a bar floated by its hidden Float button, which assistive tools still press. A drag (a
    // button held) floats it for a moment and docks it at the end itself.
    connect(optionBar_, &QDockWidget::topLevelChanged, this, [this](bool floating) {
        if (floating && QApplication::mouseButtons() == Qt::NoButton)
            QTimer::singleShot(0, this, [this] { DockOptionBar(); });
    });

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
    // The desktop may have to be asked first whether it lets a program take keys; never waited for here.
    if (platform_)
        platform_->WhenHotkeysKnown([self = QPointer<CMainFrame>(this)] {
            if (self && self->m_settings.IsEnableHotkey && !self->RegisterHotkeys().empty())
                self->SetStatusText(2, "Some hotkeys are held by another program.");
        });
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
    // A note about the last action would read as one about this one. A reading still under way keeps its.
    if (!textReader_) SetStatusText(2, QString());
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
    if (FrameCommand(id) || TextCommand(id) || RecordCommand(id)) return;
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
    if (FrameCommandState(id, enabled, checked) || TextCommandState(id, enabled, checked) ||
        RecordCommandState(id, enabled, checked))
        return;
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
        case kViewToolsBar:
            toolsBar_->setVisible(toolsBar_->isHidden());
            return true;
        case kViewOptionBar:
            DockOptionBar();
            optionBar_->setVisible(optionBar_->isHidden());
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
        case kViewToolsBar:
            *enabled = true;
            *checked = !toolsBar_->isHidden();
            return true;
        case kViewOptionBar:
            *enabled = true;
            *checked = !optionBar_->isHidden();
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

void CMainFrame::DockOptionBar() {
    if (!optionBar_->isFloating()) return;
    optionBar_->setFloating(false);
    if (dockWidgetArea(optionBar_) == Qt::NoDockWidgetArea)
        addDockWidget(Qt::BottomDockWidgetArea, optionBar_);
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
    if (RecoveryKeeper* recovery = app_.Recovery()) recovery->Track(child->Document());
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
    if (!mdi_) return nullptr;
    if (QMdiSubWindow* current = mdi_->currentSubWindow()) return qobject_cast<CChildFrame*>(current);
    // A tab made while the program never had the focus (a capture by request into a hidden window) was
    // never current either: the newest tab is then the one the user sees.
    const QList<QMdiSubWindow*> history = mdi_->subWindowList(QMdiArea::ActivationHistoryOrder);
    return history.isEmpty() ? nullptr : qobject_cast<CChildFrame*>(history.last());
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
    SetStatusText(2, "No tray found; the window minimises to the taskbar.");
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
    if (event->type() == QEvent::ActivationChange) TakePendingClipboard();
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

bool CMainFrame::EditNumber(int& number) {
    bool ok = false;
    const int chosen = QInputDialog::getInt(this, "Step counter", "Number:", number, 0, 9999, 1, &ok);
    if (ok) number = chosen;
    return ok;
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
