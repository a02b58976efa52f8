// "Define hot key": the six capture hotkeys, each changed through the recording dialog.
#pragma once

#include <QDialog>
#include <string>

#include "app/settings/ini_profile.h"
#include "capture/settings_record.h"

class QPushButton;

namespace glimmora {

class CDefHotKeyDlg : public QDialog {
    Q_OBJECT
  public:
    // Reads the six combinations from the config.ini at iniPath; OK writes them back there.
    CDefHotKeyDlg(const std::string& iniPath, QWidget* parent = nullptr);

    // The six combinations in mode order (full screen, window, active window, region, scroll, fixed).
    const HotkeySetting* Hotkeys() const { return hotkeys_; }
    QPushButton* ShortcutButton(int mode) const { return buttons_[mode]; }

    // The mode's text in this dialog and the title the recording dialog shows for it.
    static const char* const kLabels[kHotkeyModeCount];
    static const char* const kTitles[kHotkeyModeCount];

  public slots:
    void accept() override;
    void SetDefaults();

  private:
    void RecordHotkey(int mode);
    void ShowTexts();

    IniProfile ini_;
    HotkeySetting hotkeys_[kHotkeyModeCount];
    QPushButton* buttons_[kHotkeyModeCount] = {};
};

}  // namespace glimmora
