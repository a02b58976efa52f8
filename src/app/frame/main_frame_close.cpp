// The main frame's close sequence: the prompts, the settings of the close, the end of the program.
#include "app/frame/main_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMdiArea>
#include <QScopeGuard>
#include <QSettings>
#include <QTimer>

#include "app/frame/child_frame.h"
#include "app/frame/exit_hint_dlg.h"
#include "app/frame/main_frame_parts.h"
#include "app/frame/tavrik_app.h"
#include "app/settings/app_settings.h"
#include "app/settings/ini_profile.h"
#include "editor/tavrik_doc.h"
#include "ui/tool_option_bar.h"

namespace glimmora {

using namespace frame_parts;

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
    // Each tool's style for the next run.
    IniProfile ini;
    ini.SetPath(settingsPath_.c_str());
    for (int tool = kToolText; tool <= kToolMarker; ++tool) {
        const char* key = ToolOptionBar::StyleKey(tool);
        const std::string style = key ? optionBar_->StyleText(tool) : std::string();
        if (!style.empty()) ini.WriteString(kToolStylesSection, key, style.c_str());
    }
    ReportSettingsWrite();
    QSettings profile(QString::fromStdString(StateFilePathFor(settingsPath_)), QSettings::IniFormat);
    profile.setValue(kBarState, saveState());
    profile.remove(kOldBarGroup);
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
    FinishRecordingNow();
    for (CChildFrame* child : Children()) child->close();
    if (platform_ && publishedId_) {
        platform_->WithdrawMainWindow(publishedId_);
        publishedId_ = 0;
    }
    if (bus_) bus_->Withdraw();
    event->accept();
    // A hidden tray-mode window is not the last one Qt would wait for.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

}  // namespace glimmora
