// The settings record the main frame keeps for the whole run, and how it meets config.ini.
#pragma once

#include <cstdint>
#include <string>

namespace glimmora {

// The six capture modes, in the order their hotkeys are stored and read.
enum HotkeyMode : int {
    kHotkeyFullScreen = 0,
    kHotkeyWindow,
    kHotkeyActiveWindow,
    kHotkeyRegion,
    kHotkeyScroll,
    kHotkeyFixRect,
    kHotkeyModeCount
};

// config.ini section of each mode's two hotkey values.
extern const char* const kHotkeySections[kHotkeyModeCount];

struct HotkeySetting {
    int32_t Hotkey = 0;      // virtual-key code
    int32_t HotkeyMask = 0;  // Alt 1, Control 2, Shift 4
};

// Fields carry their config.ini key names. Flags hold 0 or 1.
struct AppSettings {
    // The texts fit the buffers of the stored record: 511 and 63 bytes (plus the terminator).
    static constexpr size_t kMaxSavePath = 511;
    static constexpr size_t kMaxSaveTitle = 63;

    int32_t HideWndBeforCap = 0;
    int32_t RestoreWndAftCap = 0;
    int32_t PlaySoundWhenCap = 0;
    int32_t IncludeCursor = 0;
    int32_t CapAppViewMode = 0;  // 0 new window, 1 replace the active window's image, 2 not in the editor
    int32_t CopyToClipboard = 0;
    int32_t FixRectWidth = 100;
    int32_t FixRectHeight = 100;
    int32_t CapDelayTime = 500;  // milliseconds
    HotkeySetting hotkeys[kHotkeyModeCount];
    int32_t IsAudoSave = 0;
    std::string ImageSavePath;
    std::string ImageSaveTitle = "Snap";
    int32_t StartNum = 1;
    int32_t ImageFormat = 0;  // 0 bmp, 1 jpg, 2 png, 3 gif
    int32_t IsTrayMode = 0;
    int32_t IsEnableHotkey = 0;
    int32_t IsAutoStartup = 0;
};

// ProgramDirectory() + "config.ini".
std::string SettingsFilePath();

// The start-up load: every field from the file at path, in the stored order, with the defaults and
// corrections of a fresh start. An empty ImageSavePath becomes the documents folder's
// "Glimmora Images", which is created; an absent one is the home folder.
void LoadAppSettings(AppSettings& settings, const std::string& path);

// The capture settings dialog's OK: writes what the dialog holds (capture and auto-save values).
bool WriteCaptureDialogSettings(const AppSettings& dialogValues, const std::string& path);
// Afterwards the frame takes the dialog's values back; delays below 800 ms are raised in the record only.
void TakeCaptureDialogSettings(AppSettings& record, const AppSettings& dialogValues);

// The main window's close: the auto-save counter and the three application switches.
bool WriteCloseSettings(const AppSettings& settings, const std::string& path);

// Writes the hotkey values of all six modes (the hotkey dialog's OK).
bool WriteHotkeySettings(const AppSettings& settings, const std::string& path);

// Cuts text to at most maxBytes without splitting a UTF-8 sequence.
std::string CutToFit(const std::string& text, size_t maxBytes);

}  // namespace glimmora
