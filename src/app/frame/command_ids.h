// Command numbers of the menus, toolbars and the tray menu. The numbers are the stored form (other
// programs and the toolbar layout name them), so they stay as they are.
#pragma once

namespace glimmora::cmd {

// File
inline constexpr int kNew = 57600;
inline constexpr int kOpen = 57601;
inline constexpr int kClose = 57602;
inline constexpr int kSave = 57603;
inline constexpr int kSaveAs = 57604;
inline constexpr int kPrintSetup = 57606;
inline constexpr int kPrint = 57607;
inline constexpr int kPrintPreview = 57609;
inline constexpr int kRecentFirst = 57616;
inline constexpr int kRecentLast = 57631;
inline constexpr int kExit = 57665;
// Edit
inline constexpr int kUndo = 57643;
inline constexpr int kRedo = 57644;
inline constexpr int kCut = 57635;
inline constexpr int kCopy = 57634;
inline constexpr int kPaste = 57637;
inline constexpr int kCopyText = 32962;
// View
inline constexpr int kViewToolbar = 59392;
inline constexpr int kViewStatusBar = 59393;
inline constexpr int kViewToolsBar = 32965;
inline constexpr int kViewOptionBar = 32966;
inline constexpr int kZoomIn = 32830;
inline constexpr int kZoomOut = 32831;
inline constexpr int kZoomActual = 32832;
// Capture
inline constexpr int kCaptureFullScreen = 32835;
inline constexpr int kCaptureRegion = 32792;
inline constexpr int kCaptureWindow = 32793;
inline constexpr int kCaptureActiveWindow = 32794;
inline constexpr int kCaptureScroll = 32921;
inline constexpr int kCaptureFixRect = 32929;
inline constexpr int kCaptureText = 32961;
inline constexpr int kCaptureScreen = 32964;
// Screen recording: the part of the screen is chosen like a capture's; Stop ends the one running.
inline constexpr int kRecordRegion = 33001;
inline constexpr int kRecordWindow = 33002;
inline constexpr int kRecordScreen = 33003;
inline constexpr int kStopRecording = 33004;
inline constexpr int kPauseRecording = 33005;
// Image (menu 128 only)
inline constexpr int kCropSelection = 10001;
// Setting
inline constexpr int kCaptureSetting = 32795;
inline constexpr int kDefineHotkey = 32899;
inline constexpr int kEnableHotkey = 32900;
inline constexpr int kTrayMode = 32884;
inline constexpr int kAutoRun = 32955;
// Text Language: Automatic, then one entry per installed language.
inline constexpr int kTextLanguageAuto = 32970;
inline constexpr int kTextLanguageFirst = 32971;
inline constexpr int kTextLanguageLast = 32999;
// Window
inline constexpr int kNewWindow = 57648;
inline constexpr int kArrangeIcons = 57649;
inline constexpr int kCascade = 57650;
inline constexpr int kTile = 57651;
inline constexpr int kPinToDesktop = 32963;
// Help
inline constexpr int kVisitHomepage = 32878;
inline constexpr int kHelp = 32877;
inline constexpr int kAbout = 57664;
// Tray
inline constexpr int kShowHideMain = 32891;
// Panes (F6 / Shift+F6)
inline constexpr int kNextPane = 57680;
inline constexpr int kPrevPane = 57681;

// Private messages from other programs.
inline constexpr unsigned kWmHighlightWnd = 0x464;
inline constexpr unsigned kWmCaptureWnd = 0x465;
inline constexpr unsigned kWmStartCapture = 0x466;
// The tray icon's notifications, kept as a name only: Qt signals carry them here.
inline constexpr unsigned kWmTrayNotify = 0x46F;
inline constexpr int kTrayIconId = 9201;

}  // namespace glimmora::cmd
