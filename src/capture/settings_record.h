// The settings record the main frame keeps for the whole run. It lives here, below the application layer,
// because the capture routines read it and advance StartNum in place; app/settings loads and writes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace glimmora {

// The capture modes, in the order their hotkeys are stored and read; text capture came after the first six,
// the current screen after it.
enum HotkeyMode : int {
    kHotkeyFullScreen = 0,
    kHotkeyWindow,
    kHotkeyActiveWindow,
    kHotkeyRegion,
    kHotkeyScroll,
    kHotkeyFixRect,
    kHotkeyText,
    kHotkeyScreen,
    kHotkeyModeCount
};

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
    // [RecordSet]: the screen recordings.
    int32_t RecordFormat = 0;    // 0 WebM, 1 MP4, 2 GIF
    int32_t RecordFps = 30;      // 1..120
    int32_t RecordQuality = 70;  // 1..100
    int32_t RecordCursor = 1;
    int32_t IsTrayMode = 0;
    int32_t IsEnableHotkey = 0;
    int32_t IsAutoStartup = 0;
};

}  // namespace glimmora
