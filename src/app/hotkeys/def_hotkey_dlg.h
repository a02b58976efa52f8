// "Define hot key": the six capture hotkeys, each changed through the recording dialog. On a desktop that
// lets no program take hotkeys it also lists the commands to bind in the desktop's own settings.
#pragma once

#include <QDialog>
#include <string>

#include "app/settings/ini_profile.h"
#include "capture/settings_record.h"

class QCheckBox;
class QGridLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace glimmora {

class CDefHotKeyDlg : public QDialog {
    Q_OBJECT
  public:
    // Reads the six combinations from the config.ini at iniPath; OK writes them back there. noHotkeys,
    // when not empty, is why this session takes no hotkeys: the dialog then says so and shows each
    // mode's command with a Copy button.
    CDefHotKeyDlg(const std::string& iniPath, QWidget* parent = nullptr, const QString& noHotkeys = {});

    // The six combinations in mode order (full screen, window, active window, region, scroll, fixed).
    const HotkeySetting* Hotkeys() const { return hotkeys_; }
    QPushButton* ShortcutButton(int mode) const { return buttons_[mode]; }
    // Null unless the commands are shown.
    QPushButton* CopyButton(int mode) const { return copyButtons_[mode]; }

    // Where the desktop decides the keys: a column saying, for each mode, what it bound (texts may come
    // later and change while the dialog is open).
    void ShowDesktopBindings(const QStringList& texts);
    // Null until shown.
    QLabel* DesktopLabel(int mode) const { return desktopLabels_[mode]; }
    // On GNOME: a box offering to write the keys into the desktop's own custom shortcuts, ticked when ours
    // are there already; off until known is true (what the desktop holds is read meanwhile).
    void OfferGnomeShortcuts(bool present, bool known = true);
    // Ticked: the keys are wanted in GNOME's shortcuts.
    bool GnomeShortcutsWanted() const;

    // The mode's text in this dialog and the title the recording dialog shows for it.
    static const char* const kLabels[kHotkeyModeCount];
    static const char* const kTitles[kHotkeyModeCount];
    // The command that asks the running program for the mode's capture.
    static const char* const kCommands[kHotkeyModeCount];

  public slots:
    void accept() override;
    void SetDefaults();

  private:
    void RecordHotkey(int mode);
    void ShowTexts();

    IniProfile ini_;
    HotkeySetting hotkeys_[kHotkeyModeCount];
    QPushButton* buttons_[kHotkeyModeCount] = {};
    QPushButton* copyButtons_[kHotkeyModeCount] = {};
    QLabel* desktopLabels_[kHotkeyModeCount] = {};
    QCheckBox* gnomeCheck_ = nullptr;
    QGridLayout* grid_ = nullptr;
    QVBoxLayout* layout_ = nullptr;
};

}  // namespace glimmora
