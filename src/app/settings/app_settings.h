// How the settings record (capture/settings_record.h) meets config.ini.
#pragma once

#include <string>

#include "capture/settings_record.h"

namespace glimmora {

// config.ini section of each mode's two hotkey values.
extern const char* const kHotkeySections[kHotkeyModeCount];

// ProgramDirectory() + "config.ini" when one is already there (a portable copy), else
// ConfigFolder()/glimmora/config.ini, whose folder is made; empty when there is no config folder.
std::string SettingsFilePath();
std::string SettingsFilePathFor(const std::string& programDirectory);

// The user's home folder: $HOME when it is an absolute path, else the password database's entry for the
// user; empty when neither names one.
std::string HomeFolder();
// $XDG_CONFIG_HOME when it is an absolute path, else HomeFolder() + "/.config"; empty without a home.
std::string ConfigFolder();

// Where the earlier version kept the recent files and the bar layout: Qt's own settings file for its
// organisation and application names, in ConfigFolder().
std::string EarlierStateFilePath();
// Carries the recent files and the bar layout from the earlier version's file into statePath, once: only
// while statePath does not exist. Returns whether anything was carried over.
bool CarryOverEarlierState(const std::string& earlierPath, const std::string& statePath);

// The window state (recent files, last folder, bar layout): state.ini in config.ini's folder.
std::string StateFilePathFor(const std::string& settingsPath);

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

// The last failed write of the functions above since the last call (or the last clear), as a sentence
// with the file's path and the reason; empty when none failed. The dialogs that write leave it to their
// caller to show it.
std::string TakeSettingsWriteFailure();
void ClearSettingsWriteFailure();

// Cuts text to at most maxBytes without splitting a UTF-8 sequence.
std::string CutToFit(const std::string& text, size_t maxBytes);

}  // namespace glimmora
