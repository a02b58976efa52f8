// The main window: menus, toolbars, status bar, the option bar, the document tabs, the tray icon, the
// settings record, the capture routines, the global hotkeys and other programs' requests.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "app/frame/tray_icon.h"
#include "capture/capture_host.h"
#include "capture/capture_routines.h"
#include "editor/document_host.h"
#include "editor/view_host.h"
#include "platform/app_bus.h"
#include "platform/platform.h"
#include "platform/sound.h"
#include "ui/image_dialogs.h"

class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QSocketNotifier;
class QThread;
class QPushButton;
class QToolBar;
class QTimer;

namespace glimmora {

namespace record {
class Recorder;
struct RecordResult;
}  // namespace record
class RecordControl;
class CChildFrame;
class CDefHotKeyDlg;
class CTavrikApp;
class CTavrikDoc;
struct OcrResult;
class CTavrikView;
class StatusBarProgressHost;
class ToolOptionBar;

class CMainFrame : public QMainWindow,
                   public CaptureHost,
                   public ViewHost,
                   public DocumentPrompts,
                   public QAbstractNativeEventFilter {
    Q_OBJECT

  public:
    // platform may be null (no X display): captures, hotkeys and requests then do nothing.
    CMainFrame(CTavrikApp& app, Platform* platform);
    ~CMainFrame() override;

    // Builds the bars, reads the settings, sets up the tray icon, the hotkeys and the start-up entry.
    // False when a bar cannot be made.
    bool Create(const std::string& settingsPath);

    // Command routing: the active view, its document, the frame, then the application.
    void OnCommand(int id);
    // Enabled and checked state of a command, asked in the same order; disabled when nobody handles it.
    void CommandState(int id, bool* enabled, bool* checked);
    // Brings every menu and toolbar entry up to date.
    void UpdateCommandUi();
    QAction* ActionFor(int id) const;

    // Documents
    CChildFrame* AddDocumentWindow(std::unique_ptr<CTavrikDoc> doc);
    CChildFrame* ActiveChild() const;
    std::vector<CChildFrame*> Children() const;
    ToolOptionBar* OptionBar() const { return optionBar_; }
    QMdiArea* MdiArea() const { return mdi_; }
    // The tool option bar shows the panel of the current tool.
    void ShowCurrentToolPanel();

    // Settings and the things that hang off them
    AppSettings& Settings() override { return m_settings; }
    const std::string& SettingsPath() const { return settingsPath_; }
    TrayIcon& Tray() { return tray_; }
    QMenu* TrayMenu() const { return trayMenu_; }
    // Takes the six combinations; returns the modes whose combination (not empty) could not be taken.
    std::vector<int> RegisterHotkeys();
    void UnregisterHotkeys();
    // The hotkey ids in mode order; 0 before the first registration.
    const int* HotkeyIds() const { return hotkeyIds_; }
    void OnHotkey(int id);
    // Runs the capture routine of a mode (the hotkey order); false for no such mode, no display, or while
    // a dialog, the close sequence or another capture is open (the status bar then says why).
    bool RunCapture(int mode);
    // Why a capture or a request cannot run now; empty when it can.
    QString RequestRefusal() const;
    // Requests of other programs (the same as the X client messages carry).
    void OnAppMessage(const AppMessage& message);
    // Offers the requests on the session bus; once the window is up, so a start by activation takes its
    // pending call then.
    void PublishOnBus();
    // Opens each file as a tab, as File > Open does (a file that does not open is said the same way), and
    // brings the window up.
    void OpenFiles(const std::vector<std::string>& paths);
    Capturer* Capture() { return capturer_.get(); }

    // Capture > Capture Text: the region overlay, then the text read from it goes to the clipboard and
    // shows in a small window.
    void CaptureText();

    // Screen recording (main_frame_record.cpp): the area chosen as for a capture, the control window
    // while it runs, the file beside the captures. A second one while one runs is refused with the reason
    // in the status bar.
    void StartRecording(int command);
    void StopRecording();
    void TogglePauseRecording();
    bool Recording() const { return recorder_ != nullptr; }
    // Why a recording request cannot run now; empty when it can.
    QString RecordRefusal(int command) const;
    RecordControl* RecordControlWindow() const { return recordControl_; }

    // The close sequence; false when it was cancelled (the window stays, nothing is written).
    bool RunCloseSequence();

    int m_bEscapePressed = 0;
    WindowId m_hHighlightWnd = 0;

    // CaptureHost
    WindowId MainWindow() override;
    void ShowMain(ShowState state) override;
    void ActivateMain() override;
    void InvalidateMain() override;
    CaptureDocument* ActiveDocument() override;
    CaptureDocument* NewDocumentForCapture() override;
    void CopyToClipboard(const Image& image) override;
    void PlaySound(const std::string& path) override;
    std::string ProgramDirectory() override;
    void MessageBox(const std::string& text) override;
    bool Wait(int ms) override;
    bool EscapePressed() override;
    void CaptureEnded() override;

    // ViewHost
    void SetStatusText(int pane, const QString& text) override;
    bool EditText(TextObject& object, bool isNew) override;
    bool EditNumber(int& number) override;

    // DocumentPrompts
    Answer AskSaveImage() override;
    std::optional<std::string> AskSavePath(const std::string& initialName) override;
    void ShowMessage(const std::string& text) override;
    Answer AskExpandForPaste() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // Recent files
    void SetRecentFiles(const QStringList& paths);

  signals:
    // A capture or a request finished (tests wait for it).
    void requestHandled(unsigned message);
    // A recording's file is complete (or the recording failed).
    void recordingFinished(bool ok);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    // A capture kept for the clipboard until the window has the focus (Wayland without data control).
    void TakePendingClipboard();
    QImage pendingClipboard_;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QAction* AddCommand(QWidget* menu, int id, const QString& text, bool checkable = false);
    void BuildMenus();
    void BuildToolBars();
    void BuildStatusBar();
    void BuildTray();
    bool FrameCommand(int id);
    bool FrameCommandState(int id, bool* enabled, bool* checked);
    // The option bar back in its dock when something (a stored layout, an assistive tool) floated it.
    void DockOptionBar();
    void OnActiveChildChanged();
    void UpdateTitle();
    void ToggleTrayMode();
    void ToggleAutoRun();
    void ShowHideMain();
    void TrayLeftClick();
    void OnDefineHotkey();
    void OnEnableHotkey();
    void OnCaptureSetting();
    void RemoveHighlight();
    // A request from the session bus: queued for OnAppMessage, or why it is not taken.
    std::string TakeBusRequest(const AppMessage& message);
    // Files from the session bus: opened from the event loop, or why not now.
    std::string TakeOpenRequest(const std::vector<std::string>& paths);
    // Requests run from the event loop, in order, each once no capture runs.
    void QueueRequest(const AppMessage& message);
    void RunQueuedRequests();
    // Text recognition (main_frame_text.cpp).
    void BuildTextLanguageMenu(QMenu* setting);
    bool TextCommand(int id);
    bool TextCommandState(int id, bool* enabled, bool* checked);
    void OnCopyText();
    // Window > Pin to Desktop: the active document's picture as saved, in a window of its own.
    void PinToDesktop();
    // Reads the picture's text on a thread, then puts it in the clipboard with the status saying how
    // much, and in the text window when asked; a message says why when nothing was read.
    void RecogniseToClipboard(Image picture, bool showWindow);
    void ShowRecognisedText(const OcrResult& result, bool showWindow);
    // config.ini [TextRecognition] Language; empty for automatic.
    std::string TextLanguageSetting() const;
    void SetTextLanguage(const std::string& code);
    void CloseChildNow(CChildFrame* child);
    // The grabber of hotkeys and of Esc during a capture's delay; null without a display.
    HotkeyGrabber* Grabber();
    // Says it once per run: tray mode without a notification area keeps minimising as usual.
    void SayTrayMissing();
    bool TrayUsable() const;
    // A failed settings write is shown with its reason and the file's path.
    void ReportSettingsWrite();
    // Which of the combinations of these modes could not be taken, by name, in a message box.
    void ReportRefusedHotkeys(const std::vector<int>& modes);
    // Where the desktop binds the keys (the shortcut portal): its answers, in the open Define hotkey
    // dialog and, once all are in after the user asked, in a message naming those not bound as asked.
    void OnDesktopBindingsChanged();
    QStringList DesktopBindingTexts() const;
    void EnableHotkeyKnown();
    void DefineHotkeyKnown();
    // GNOME without the portal: the keys written into the desktop's own custom shortcuts, with consent.
    bool GnomeRoute() const;
    bool ConfirmGnomeShortcuts();
    // Puts ours in place (on) or removes them, off the window's thread; the status bar says the outcome.
    void WriteGnomeShortcuts(bool on);

    CTavrikApp& app_;
    Platform* platform_;
    std::string settingsPath_;
    AppSettings m_settings;
    // The Image and Filter commands' dialogs, for every view.
    ImageDialogRunner imageDialogs_;
    std::unique_ptr<Capturer> capturer_;
    std::unique_ptr<SoundPlayer> sound_;
    std::unique_ptr<HotkeyGrabber> hotkeys_;
    QSocketNotifier* hotkeyNotifier_ = nullptr;
    int hotkeyIds_[kHotkeyModeCount] = {};
    bool hotkeysRegistered_ = false;
    // Set when the user asked for the hotkeys: the desktop's answer is then told in a message.
    bool reportBindings_ = false;
    CDefHotKeyDlg* defineDialog_ = nullptr;

    QMdiArea* mdi_ = nullptr;
    ToolOptionBar* optionBar_ = nullptr;
    QToolBar* mainBar_ = nullptr;
    QToolBar* toolsBar_ = nullptr;
    QLabel* panes_[3] = {};
    std::unique_ptr<StatusBarProgressHost> progressHost_;
    std::multimap<int, QAction*> actions_;
    QAction* cropSelection_ = nullptr;
    QAction* cropSeparator_ = nullptr;
    QMenu* recentMenuAnchor_ = nullptr;
    std::vector<QAction*> recentActions_;
    QAction* recentPlaceholder_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    QMenu* tabMenu_ = nullptr;
    TrayIcon tray_;
    QPointer<CChildFrame> tabMenuChild_;
    bool closing_ = false;
    bool inCloseSequence_ = false;
    // Requests of other programs taken and not run yet, oldest first.
    std::deque<AppMessage> pendingRequests_;
    // Set while the menus and bars take their state, so their own toggles are told apart.
    bool refreshingUi_ = false;
    bool traySaidMissing_ = false;
    WindowId publishedId_ = 0;
    std::unique_ptr<AppBusService> bus_;
    // The installed recognition languages the Text Language menu offers, in its order.
    std::vector<std::string> textLanguages_;
    // The thread reading text, while one does, and the flag that stops it.
    QThread* textReader_ = nullptr;
    std::shared_ptr<std::atomic<bool>> textCancel_;
    // A picture asked for while the last one was still being read: read once that read has stopped.
    struct PendingText {
        Image picture;
        bool showWindow = false;
    };
    std::optional<PendingText> pendingText_;
    // Shown in the status bar while text is read.
    QPushButton* cancelText_ = nullptr;
    void CancelTextReading();
    // The pins: windows of their own that outlive their tabs, gone with the program.
    std::vector<QPointer<QWidget>> pins_;
    QRect hiddenAt_;  // where the window was when a capture hid it
    // The recording that runs, its file, its control window and the timer showing its time.
    std::unique_ptr<record::Recorder> recorder_;
    std::string recordPath_;
    RecordControl* recordControl_ = nullptr;
    QTimer* recordTimer_ = nullptr;
    bool recordStopping_ = false;
    // The last recording's file, opened from the status bar.
    QPushButton* openRecording_ = nullptr;
    QString lastRecording_;
    std::string RecordingPath(const std::string& extension);
    void RecordingFinished(const record::RecordResult& result);
    // At exit: the file is completed before the program goes, and the control window closed.
    void FinishRecordingNow();
    void ShowRecordingState(bool recording);
    bool RecordCommand(int id);
    bool RecordCommandState(int id, bool* enabled, bool* checked);
};

// The document's picture with its objects drawn, as saving writes it; invalid when it cannot be drawn.
Image RenderedPicture(const CTavrikDoc& doc);

}  // namespace glimmora
