// The main frame's hotkeys, other programs' requests and its side of the captures (the capture host).
#include "app/frame/main_frame.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/capture_settings/cap_setting_dlg.h"
#include "app/frame/autorun.h"
#include "app/frame/child_frame.h"
#include "app/frame/command_ids.h"
#include "app/frame/main_frame_parts.h"
#include "app/frame/tavrik_app.h"
#include "app/hotkeys/def_hotkey_dlg.h"
#include "app/hotkeys/hotkey_text.h"
#include "app/settings/app_settings.h"
#include "app/settings/program_directory.h"
#include "capture/cap_dialog.h"
#include "editor/tavrik_doc.h"
#include "platform/gnome_keys.h"
#include "platform/key_names.h"
#include "platform/sound.h"
#include "ui/stamp_list.h"

namespace glimmora {

using namespace frame_parts;

namespace {
// Stable numbers standing in for the six registration names, in mode order.
struct HotkeyName {
    const char* name;
    int id;
};
constexpr HotkeyName kHotkeyNames[kHotkeyModeCount] = {
    {"TV_CapFull", 0xC101},   {"TV_CapWnd", 0xC102},     {"TV_CapAWnd", 0xC103}, {"TV_CapRegion", 0xC104},
    {"TV_CapScroll", 0xC105}, {"TV_CapFixRect", 0xC106}, {"TV_CapText", 0xC107}, {"TV_CapScreen", 0xC108},
};
// Esc, taken for the whole desktop while a capture's delay runs (the window is hidden then).
constexpr int kEscapeGrabId = 0xC1FF;
constexpr uint32_t kVirtualKeyEscape = 27;

// Why this session takes no hotkeys; empty when it does. GLIMMORA_NO_HOTKEYS leaves them to the
// desktop's own key bindings anywhere.
QString HotkeysMissing(Platform* platform) {
    const QByteArray forced = qgetenv("GLIMMORA_NO_HOTKEYS");
    if (!forced.isEmpty() && forced != "0") return QStringLiteral("GLIMMORA_NO_HOTKEYS is set");
    std::string reason;
    if (platform && !platform->HotkeysSupported(&reason))
        return reason.empty() ? QStringLiteral("the session offers no way to")
                              : QString::fromStdString(reason);
    return {};
}

// The word after --capture in the mode's command.
std::string ModeWord(int mode) {
    const std::string command = CDefHotKeyDlg::kCommands[mode];
    return command.substr(command.rfind(' ') + 1);
}

// Ours as they should stand in GNOME's shortcuts: every mode with a combination, running this program.
std::vector<GnomeKeyBinding> GnomeShortcuts(const AppSettings& settings) {
    std::vector<GnomeKeyBinding> ours;
    const std::string program = ExecutablePath().empty() ? std::string("glimmora") : ExecutablePath();
    for (int mode = 0; mode < kHotkeyModeCount; ++mode) {
        const HotkeySetting& k = settings.hotkeys[mode];
        const std::string binding =
            GnomeBinding(static_cast<uint32_t>(k.Hotkey), static_cast<uint32_t>(k.HotkeyMask));
        if (k.Hotkey == 0 || binding.empty()) continue;
        ours.push_back({"glimmora-" + ModeWord(mode),
                        std::string("Glimmora: ") + CDefHotKeyDlg::kLabels[mode],
                        DesktopCommandLine({program, "--capture", ModeWord(mode)}), binding});
    }
    return ours;
}

struct GnomeOutcome {
    bool ok = false;
    std::string error;
    std::vector<GnomeKeyBinding> ours;
};

// Runs the gsettings work on a thread of its own (it waits on the settings service); done runs on the
// window's thread, unless the window has gone.
void RunGnome(QObject* context, std::function<GnomeOutcome()> work,
              std::function<void(const GnomeOutcome&)> done) {
    auto outcome = std::make_shared<GnomeOutcome>();
    QThread* thread = QThread::create([work, outcome] { *outcome = work(); });
    QObject::connect(thread, &QThread::finished, context, [thread, outcome, done] {
        thread->deleteLater();
        done(*outcome);
    });
    thread->start();
}

QString BindingText(const DesktopBinding& b, const HotkeySetting& k) {
    using State = DesktopBinding::State;
    const QString trigger = QString::fromStdString(b.trigger);
    switch (b.state) {
        case State::Waiting:
            return QStringLiteral("Asking the desktop...");
        case State::Bound:
            return QStringLiteral("Active: ") + trigger;
        case State::Changed:
            return k.Hotkey == 0 ? QStringLiteral("The desktop bound ") + trigger
                                 : QStringLiteral("The desktop bound %1 instead").arg(trigger);
        case State::Unbound:
            return k.Hotkey == 0 ? QStringLiteral("No key") : QStringLiteral("Not bound by the desktop");
        case State::Failed:
            return QStringLiteral("Not bound: ") + QString::fromStdString(b.reason);
    }
    return {};
}

}  // namespace

// ---- Hotkeys ----

HotkeyGrabber* CMainFrame::Grabber() {
    if (hotkeys_ || !platform_ || !HotkeysMissing(platform_).isEmpty()) return hotkeys_.get();
    hotkeys_ = platform_->OpenHotkeys();
    if (!hotkeys_) return nullptr;
    hotkeys_->SetBindingsChanged([self = QPointer<CMainFrame>(this)] {
        if (self) self->OnDesktopBindingsChanged();
    });
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
        grabber->Describe(hotkeyIds_[mode], CDefHotKeyDlg::kLabels[mode]);
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
            CDefHotKeyDlg::kLabels[mode]);
    Warn("These hotkeys could not be taken, another program holds them:\n\n" + lines.join("\n") +
         "\n\nChoose other combinations in Define hotkey, or turn Enable hotkey off and on again to retry.");
}

void CMainFrame::UnregisterHotkeys() {
    if (hotkeys_)
        for (int mode = 0; mode < kHotkeyModeCount; ++mode) hotkeys_->Unregister(hotkeyIds_[mode]);
    hotkeysRegistered_ = false;
}

namespace {
constexpr uint32_t kWmCommand = 0x111;

// The recordings and their Stop, as other programs send them.
bool IsRecordCommand(const AppMessage& m) {
    return m.message == kWmCommand && (m.wParam == cmd::kRecordRegion || m.wParam == cmd::kRecordWindow ||
                                       m.wParam == cmd::kRecordScreen || m.wParam == cmd::kStopRecording);
}

// What other programs may ask for: the capture requests, and of the command message only the two captures
// the other messages cannot start. No other menu command is anyone's business outside the program.
bool TakesRequest(const AppMessage& m) {
    switch (m.message) {
        case cmd::kWmHighlightWnd:
        case cmd::kWmCaptureWnd:
            return true;
        case cmd::kWmStartCapture:
            return m.wParam >= 0 && m.wParam < 4;
        case kWmCommand:
            return m.wParam == cmd::kCaptureScroll || m.wParam == cmd::kCaptureFixRect ||
                   m.wParam == cmd::kCaptureText || m.wParam == cmd::kCaptureScreen || IsRecordCommand(m);
        default:
            return false;
    }
}

// Of those, the ones that start a capture (a highlight, or its removal, does not).
bool StartsCapture(const AppMessage& m) {
    if (m.message == cmd::kWmHighlightWnd) return false;
    if (m.message == cmd::kWmCaptureWnd) return m.wParam == 1;
    if (IsRecordCommand(m) && m.wParam == cmd::kStopRecording) return false;
    return TakesRequest(m);
}
}  // namespace

QString CMainFrame::RequestRefusal() const {
    if (closing_ || inCloseSequence_) return "No capture while Glimmora is closing.";
    // Any modal dialog (an adjustment previewing, a message, the close prompt) holds the documents.
    if (QApplication::activeModalWidget()) return "No capture while a dialog is open; close it first.";
    // A second capture would be dropped once it ran, after its caller had been told it was taken. One
    // asked for during the last steps of another waits for it instead: the picture is taken by then.
    const bool queued = std::any_of(pendingRequests_.begin(), pendingRequests_.end(), StartsCapture);
    if (queued || (capturer_ && capturer_->takingPicture()))
        return "No capture while another capture is running; finish it first.";
    return {};
}

bool CMainFrame::RunCapture(int mode) {
    if (!capturer_ || mode < 0 || mode >= kHotkeyModeCount) return false;
    if (const QString why = RequestRefusal(); !why.isEmpty()) {
        SetStatusText(2, why);
        return false;
    }
    // As for a command: the last action's note is not about this one.
    if (!textReader_) SetStatusText(2, QString());
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
        case kHotkeyText:
            CaptureText();
            break;
        case kHotkeyScreen:
            capturer_->CaptureCurrentScreen();
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

QStringList CMainFrame::DesktopBindingTexts() const {
    QStringList texts;
    for (int mode = 0; mode < kHotkeyModeCount; ++mode)
        texts << (hotkeys_ ? BindingText(hotkeys_->Binding(hotkeyIds_[mode]), m_settings.hotkeys[mode])
                           : QString());
    return texts;
}

void CMainFrame::OnDesktopBindingsChanged() {
    if (!hotkeys_ || !hotkeys_->DesktopBindsKeys()) return;
    if (defineDialog_) defineDialog_->ShowDesktopBindings(DesktopBindingTexts());
    QStringList lines;
    for (int mode = 0; mode < kHotkeyModeCount; ++mode) {
        const DesktopBinding b = hotkeys_->Binding(hotkeyIds_[mode]);
        if (b.state == DesktopBinding::State::Waiting) return;  // more to come
        const HotkeySetting& k = m_settings.hotkeys[mode];
        if (k.Hotkey != 0 && b.state != DesktopBinding::State::Bound)
            lines << QString("%1 (%2): %3")
                         .arg(FormatHotkeyText(k.Hotkey, k.HotkeyMask), CDefHotKeyDlg::kLabels[mode],
                              BindingText(b, k));
    }
    SetStatusText(2, lines.isEmpty() ? QString("The desktop bound the hotkeys.")
                                     : QString("The desktop did not bind every hotkey as asked."));
    if (!reportBindings_ || defineDialog_) return;
    reportBindings_ = false;
    if (!lines.isEmpty())
        Warn("The desktop did not bind these hotkeys as asked:\n\n" + lines.join("\n") +
             "\n\nThe desktop's own shortcut settings choose the keys; Define hotkey shows what it bound.");
}

void CMainFrame::OnEnableHotkey() {
    const bool wasOn = m_settings.IsEnableHotkey != 0;
    m_settings.IsEnableHotkey = wasOn ? 0 : 1;
    if (wasOn) {
        UnregisterHotkeys();
        if (GnomeRoute()) WriteGnomeShortcuts(false);
        return;
    }
    // The answer may need asking the desktop; the rest runs when it is in.
    if (platform_)
        platform_->WhenHotkeysKnown([self = QPointer<CMainFrame>(this)] {
            if (self) self->EnableHotkeyKnown();
        });
    else
        EnableHotkeyKnown();
}

void CMainFrame::EnableHotkeyKnown() {
    if (!m_settings.IsEnableHotkey) return;  // turned off again meanwhile
    bool any = false;
    for (const HotkeySetting& k : m_settings.hotkeys) any = any || k.Hotkey != 0;
    if (const QString missing = HotkeysMissing(platform_); !missing.isEmpty()) {
        if (GnomeRoute() && any) {
            if (ConfirmGnomeShortcuts())
                WriteGnomeShortcuts(true);
            else
                m_settings.IsEnableHotkey = 0;
            return;
        }
        Warn("Hotkeys cannot be taken on this desktop: " + missing +
             ".\n\nDefine hotkey lists the commands to bind to keys in the desktop's keyboard settings.");
        return;
    }
    reportBindings_ = true;
    ReportRefusedHotkeys(RegisterHotkeys());
    if (!any)
        Warn(
            "No hotkey is defined yet, so none is active.\n\nChoose Define hotkey, then Default for "
            "Ctrl + Shift + F, W, A, R, S and X, or press combinations of your own.");
}

void CMainFrame::OnDefineHotkey() {
    if (platform_)
        platform_->WhenHotkeysKnown([self = QPointer<CMainFrame>(this)] {
            if (self) self->DefineHotkeyKnown();
        });
    else
        DefineHotkeyKnown();
}

void CMainFrame::DefineHotkeyKnown() {
    if (defineDialog_) return;
    // Off while the dialog runs, so the combinations being recorded do not start captures.
    UnregisterHotkeys();
    CDefHotKeyDlg dialog(settingsPath_, this, HotkeysMissing(platform_));
    defineDialog_ = &dialog;
    if (hotkeys_ && hotkeys_->DesktopBindsKeys() && m_settings.IsEnableHotkey) {
        dialog.ShowDesktopBindings(DesktopBindingTexts());
        hotkeys_->RefreshBindings();
    }
    const bool gnome = GnomeRoute();
    auto gnomePresent = std::make_shared<bool>(false);
    if (gnome) {
        dialog.OfferGnomeShortcuts(false, false);
        QPointer<CDefHotKeyDlg> shown(&dialog);
        RunGnome(
            this,
            [] {
                GnomeOutcome o;
                o.ok = ReadGnomeKeyBindings(o.ours, &o.error);
                return o;
            },
            [shown, gnomePresent](const GnomeOutcome& o) {
                *gnomePresent = o.ok && !o.ours.empty();
                if (!shown) return;
                QStringList texts;
                for (int mode = 0; mode < kHotkeyModeCount; ++mode) {
                    QString text = o.ok ? QStringLiteral("Not in GNOME's shortcuts")
                                        : QString::fromStdString("GNOME's shortcuts unreadable: " + o.error);
                    for (const GnomeKeyBinding& b : o.ours)
                        if (b.id == "glimmora-" + ModeWord(mode))
                            text = QStringLiteral("GNOME: ") + QString::fromStdString(b.binding);
                    texts << text;
                }
                shown->ShowDesktopBindings(texts);
                shown->OfferGnomeShortcuts(*gnomePresent);
            });
    }
    ClearSettingsWriteFailure();
    const bool accepted = dialog.exec() == QDialog::Accepted;
    defineDialog_ = nullptr;
    if (accepted) {
        for (int mode = 0; mode < kHotkeyModeCount; ++mode) m_settings.hotkeys[mode] = dialog.Hotkeys()[mode];
        ReportSettingsWrite();
        if (gnome) {
            const bool wanted = dialog.GnomeShortcutsWanted();
            if (wanted && (*gnomePresent || ConfirmGnomeShortcuts())) {
                m_settings.IsEnableHotkey = 1;
                WriteGnomeShortcuts(true);
            } else if (!wanted && *gnomePresent) {
                m_settings.IsEnableHotkey = 0;
                WriteGnomeShortcuts(false);
            }
        }
    }
    if (m_settings.IsEnableHotkey && HotkeysMissing(platform_).isEmpty()) {
        reportBindings_ = accepted;
        ReportRefusedHotkeys(RegisterHotkeys());
    }
}

bool CMainFrame::GnomeRoute() const {
    return !HotkeysMissing(platform_).isEmpty() && GnomeKeyBindingsOffered();
}

bool CMainFrame::ConfirmGnomeShortcuts() {
    QStringList lines;
    for (const GnomeKeyBinding& b : GnomeShortcuts(m_settings))
        lines << QString::fromStdString(b.name + ": " + b.binding + " runs " + b.command);
    QMessageBox box(
        QMessageBox::Question, kCaption,
        "Add these shortcuts to GNOME's keyboard settings?\n\n" + lines.join("\n") +
            "\n\nThey appear under Settings > Keyboard > Custom Shortcuts; your other shortcuts stay "
            "as they are. Turning Enable hotkey off removes them again.");
    QPushButton* add = box.addButton(QStringLiteral("Add Shortcuts"), QMessageBox::AcceptRole);
    box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(add);
    box.exec();
    return box.clickedButton() == add;
}

void CMainFrame::WriteGnomeShortcuts(bool on) {
    const std::vector<GnomeKeyBinding> ours =
        on ? GnomeShortcuts(m_settings) : std::vector<GnomeKeyBinding>{};
    RunGnome(
        this,
        [ours] {
            GnomeOutcome o;
            o.ok = WriteGnomeKeyBindings(ours, &o.error);
            return o;
        },
        [this, on, count = ours.size()](const GnomeOutcome& o) {
            if (!o.ok)
                Warn("GNOME's keyboard shortcuts could not be changed: " + QString::fromStdString(o.error));
            else
                SetStatusText(2,
                              on ? QString("%1 shortcuts are in GNOME's keyboard settings.").arg(count)
                                 : QString("Glimmora's shortcuts are gone from GNOME's keyboard settings."));
        });
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
    QueueRequest(*request);
    return true;
}

void CMainFrame::RemoveHighlight() {
    if (platform_ && m_hHighlightWnd && platform_->windows().Exists(m_hHighlightWnd))
        platform_->windows().Invalidate(m_hHighlightWnd);
}

void CMainFrame::OnAppMessage(const AppMessage& m) {
    const auto window = static_cast<WindowId>(m.lParam);
    // Stopping a recording opens nothing, so a dialog or a capture does not hold it up.
    if (IsRecordCommand(m)) {
        if (const QString why = RecordRefusal(static_cast<int>(m.wParam)); !why.isEmpty())
            SetStatusText(2, why);
        else
            OnCommand(static_cast<int>(m.wParam));
        emit requestHandled(m.message);
        return;
    }
    if (const QString why = RequestRefusal(); !why.isEmpty()) {
        SetStatusText(2, why);
        emit requestHandled(m.message);
        return;
    }
    if (!TakesRequest(m)) {
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
            RunCapture(kModes[m.wParam]);
            break;
        }
        case kWmCommand:
            OnCommand(static_cast<int>(m.wParam));
            break;
        default:
            break;
    }
    emit requestHandled(m.message);
}

std::string CMainFrame::TakeBusRequest(const AppMessage& m) {
    if (!TakesRequest(m))
        return QString("Glimmora takes only capture requests from other programs, not 0x%1 %2 %3.")
            .arg(m.message, 0, 16)
            .arg(m.wParam)
            .arg(m.lParam)
            .toStdString();
    if (!capturer_) return "Glimmora has no desktop to capture from.";
    if (IsRecordCommand(m)) {
        if (const QString why = RecordRefusal(static_cast<int>(m.wParam)); !why.isEmpty()) {
            SetStatusText(2, why);
            return why.toStdString();
        }
        QueueRequest(m);
        return {};
    }
    // Refused now, so the caller hears why; the status bar says it to the user as for any request.
    if (const QString why = RequestRefusal(); !why.isEmpty()) {
        SetStatusText(2, why);
        return why.toStdString();
    }
    // The reply goes first: a capture runs event loops of its own.
    QueueRequest(m);
    return {};
}

std::string CMainFrame::TakeOpenRequest(const std::vector<std::string>& paths) {
    if (closing_ || inCloseSequence_) return "No files are opened while Glimmora is closing.";
    // A tab opened under a dialog would change the documents it holds.
    if (QApplication::activeModalWidget())
        return "No files are opened while a dialog is open; close it first.";
    if (capturer_ && capturer_->busy())
        return "No files are opened while a capture is running; finish it first.";
    QTimer::singleShot(0, this, [this, paths] { OpenFiles(paths); });
    return {};
}

void CMainFrame::OpenFiles(const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    if (isHidden() || isMinimized()) showNormal();
    raise();
    activateWindow();
    for (const std::string& path : paths) app_.OpenDocumentFile(path);
}

void CMainFrame::QueueRequest(const AppMessage& m) {
    pendingRequests_.push_back(m);
    QTimer::singleShot(0, this, [this] { RunQueuedRequests(); });
}

void CMainFrame::RunQueuedRequests() {
    // Not inside a capture's own event loops: the rest waits until it has returned.
    while (!pendingRequests_.empty() && !(capturer_ && capturer_->busy())) {
        const AppMessage m = pendingRequests_.front();
        pendingRequests_.pop_front();
        OnAppMessage(m);
    }
}

void CMainFrame::CaptureEnded() {
    if (!pendingRequests_.empty()) QTimer::singleShot(0, this, [this] { RunQueuedRequests(); });
    // After the capture's last steps, the next overlay's window is made.
    QTimer::singleShot(0, this, [this] {
        if (capturer_) capturer_->PrepareOverlay();
    });
}

void CMainFrame::PublishOnBus() {
    bus_ = std::make_unique<AppBusService>(
        [this](const AppMessage& m) { return TakeBusRequest(m); },
        [this](const std::vector<std::string>& paths) { return TakeOpenRequest(paths); });
    std::string error;
    // Without a session bus the X client messages still reach this instance.
    if (!bus_->Publish(&error))
        std::fprintf(stderr, "glimmora: no requests over the session bus: %s\n", error.c_str());
    // Once the window is up: a capture asked for right after start then opens its overlay sooner.
    QTimer::singleShot(0, this, [this] {
        CCapDialog::WarmUp();
        if (capturer_) capturer_->PrepareOverlay();
    });
}

// ---- CaptureHost ----

WindowId CMainFrame::MainWindow() {
    return static_cast<WindowId>(winId());
}

void CMainFrame::ShowMain(ShowState state) {
    // Shown again where it was hidden: a window the user moved, not the program, is placed anew by the
    // X window manager each time it maps (Qt gives it no position), so it jumped back after every capture.
    if (state != ShowState::Hide && !isVisible() && hiddenAt_.isValid() && windowHandle() &&
        QGuiApplication::platformName() == QLatin1String("xcb"))
        windowHandle()->setPosition(hiddenAt_.topLeft());
    switch (state) {
        case ShowState::Hide:
            if (isVisible()) hiddenAt_ = geometry();
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
    if (picture.isNull()) return;
    if (platform_ && std::strcmp(platform_->Name(), "wayland") == 0) {
        // Wayland hands the clipboard only to the window with the focus, and ours is usually hidden
        // after a capture: the compositor's data control takes it without, where it offers one.
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (picture.save(&buffer, "PNG") &&
            platform_->OfferClipboard("image/png", std::vector<uint8_t>(png.begin(), png.end())))
            return;
        if (!isActiveWindow()) {
            pendingClipboard_ = picture;
            SetStatusText(2, "The capture goes on the clipboard when this window is next active.");
            return;
        }
    }
    QGuiApplication::clipboard()->setImage(picture);
}

void CMainFrame::TakePendingClipboard() {
    if (pendingClipboard_.isNull() || !isActiveWindow()) return;
    QGuiApplication::clipboard()->setImage(pendingClipboard_);
    pendingClipboard_ = QImage();
    SetStatusText(2, "The capture is on the clipboard.");
}

void CMainFrame::PlaySound(const std::string& path) {
    sound_->PlayFile(path);
}

std::string CMainFrame::ProgramDirectory() {
    return ::glimmora::DataDirectory();  // where capture.wav is
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
    // A coarse timer may fire 5 % late: 25 ms more between the key and the overlay.
    end.setTimerType(Qt::PreciseTimer);
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

}  // namespace glimmora
