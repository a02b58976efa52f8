#include "app/settings/app_settings.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <cstdio>
#include <utility>
#include <vector>

#include "app/settings/ini_profile.h"
#include "app/settings/program_directory.h"

namespace glimmora {

const char* const kHotkeySections[kHotkeyModeCount] = {"CapFullScreen", "CapWindows", "CapActiveWindow",
                                                       "CapRegion",     "CapScroll",  "CapFixRect",
                                                       "CapText",       "CapScreen"};

namespace {
constexpr char kCaptureSet[] = "CaptureSet";
constexpr char kAudoSaveSet[] = "AudoSaveSet";
constexpr char kAppSet[] = "AppSet";
constexpr char kRecordSet[] = "RecordSet";

// A value outside lo..hi is taken as never set.
int32_t InRange(int32_t value, int32_t lo, int32_t hi, int32_t fallback) {
    return value < lo || value > hi ? fallback : value;
}

std::string FromQString(const QString& s) {
    const QByteArray bytes = s.toLocal8Bit();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// The auto-save folder of a settings file that names none: "Glimmora Images" in the documents folder.
std::string DefaultImageFolder() {
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty()) documents = QDir::homePath();
    const QString folder = documents + QStringLiteral("/Glimmora Images");
    QDir().mkpath(folder);  // an existing folder is fine; a failure leaves the path in use all the same
    return FromQString(folder);
}

// The last failed batch, kept until the main window shows it.
std::string& LastWriteFailure() {
    static std::string failure;
    return failure;
}

// A batch of writes that failed is reported once, with the reason, not once per value.
bool Reported(bool ok, const IniProfile& ini, const std::string& path) {
    if (!ok) {
        const std::string why = ini.LastError().empty() ? std::string("refused") : ini.LastError();
        LastWriteFailure() = "The settings could not be saved to " + path + ":\n" + why;
        std::fprintf(stderr, "glimmora: the settings could not be saved to %s: %s\n", path.c_str(),
                     why.c_str());
    }
    return ok;
}

}  // namespace

std::string TakeSettingsWriteFailure() {
    return std::exchange(LastWriteFailure(), std::string());
}

void ClearSettingsWriteFailure() {
    LastWriteFailure().clear();
}

std::string CutToFit(const std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    size_t end = maxBytes;
    // Step back over continuation bytes so a character is dropped whole.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

std::string SettingsFilePath() {
    return SettingsFilePathFor(ProgramDirectory());
}

std::string SettingsFilePathFor(const std::string& programDirectory) {
    // A copy carried with its own config.ini stays portable; anything else (an installed program, a build
    // tree) keeps the user's settings in the user's config folder, never beside the program.
    struct stat st;
    if (!programDirectory.empty() && ::lstat((programDirectory + "config.ini").c_str(), &st) == 0)
        return programDirectory + "config.ini";
    const std::string base = ConfigFolder();
    if (base.empty()) return {};
    const std::string folder = base + "/glimmora";
    ::mkdir(base.c_str(), 0700);
    ::mkdir(folder.c_str(), 0700);
    return folder + "/config.ini";
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
    // Without HOME (a service, `env -i`) the settings went to /.config: the password database knows better.
    const long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

std::string ConfigFolder() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') return xdg;
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : home + "/.config";
}

std::string EarlierStateFilePath() {
    const std::string base = ConfigFolder();
    return base.empty() ? std::string() : base + "/Local AppWizard-Generated Applications/Glimmora.conf";
}

bool CarryOverEarlierState(const std::string& earlierPath, const std::string& statePath) {
    struct stat st;
    if (earlierPath.empty() || statePath.empty() || ::lstat(statePath.c_str(), &st) == 0 ||
        ::stat(earlierPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    QSettings earlier(QString::fromStdString(earlierPath), QSettings::IniFormat);
    QSettings state(QString::fromStdString(statePath), QSettings::IniFormat);
    bool carried = false;
    for (const char* group : {"Recent File List", "GuiTabbedDemo"}) {
        earlier.beginGroup(group);
        for (const QString& key : earlier.childKeys()) {
            state.setValue(QString(group) + "/" + key, earlier.value(key));
            carried = true;
        }
        earlier.endGroup();
    }
    state.sync();
    return carried;
}

std::string StateFilePathFor(const std::string& settingsPath) {
    const size_t slash = settingsPath.rfind('/');
    return (slash == std::string::npos ? std::string() : settingsPath.substr(0, slash + 1)) + "state.ini";
}

void LoadAppSettings(AppSettings& s, const std::string& path) {
    IniProfile ini;
    ini.SetPath(path.c_str());

    for (int mode = 0; mode < kHotkeyModeCount; ++mode) {
        s.hotkeys[mode].Hotkey = ini.ReadInt(kHotkeySections[mode], "Hotkey", 0);
        s.hotkeys[mode].HotkeyMask = ini.ReadInt(kHotkeySections[mode], "HotkeyMask", 0);
    }

    s.HideWndBeforCap = ini.ReadBool(kCaptureSet, "HideWndBeforCap", 0);
    s.RestoreWndAftCap = ini.ReadBool(kCaptureSet, "RestoreWndAftCap", 0);
    s.PlaySoundWhenCap = ini.ReadBool(kCaptureSet, "PlaySoundWhenCap", 0);
    s.IncludeCursor = ini.ReadBool(kCaptureSet, "IncludeCursor", 0);
    s.CapAppViewMode = ini.ReadInt(kCaptureSet, "CapAppViewMode", 0);
    s.CopyToClipboard = ini.ReadBool(kCaptureSet, "CopyToClipboard", 0);
    s.CapDelayTime = ini.ReadInt(kCaptureSet, "CapDelayTime", 500);
    if (s.CapDelayTime < 500) s.CapDelayTime = 500;
    s.FixRectWidth = ini.ReadInt(kCaptureSet, "FixRectWidth", 100);
    s.FixRectHeight = ini.ReadInt(kCaptureSet, "FixRectHeight", 100);

    s.IsAudoSave = ini.ReadBool(kAudoSaveSet, "IsAudoSave", 0);
    s.StartNum = ini.ReadInt(kAudoSaveSet, "StartNum", 1);
    // The home folder stands in for the drive root of the original default.
    const std::string home = FromQString(QDir::homePath());
    s.ImageSavePath =
        CutToFit(ini.ReadString(kAudoSaveSet, "ImageSavePath", home.c_str()), AppSettings::kMaxSavePath);
    s.ImageSaveTitle =
        CutToFit(ini.ReadString(kAudoSaveSet, "ImageSaveTitle", "Snap"), AppSettings::kMaxSaveTitle);
    if (s.ImageSaveTitle.empty()) s.ImageSaveTitle = "Snap";
    if (s.ImageSavePath.empty()) s.ImageSavePath = CutToFit(DefaultImageFolder(), AppSettings::kMaxSavePath);
    s.ImageFormat = ini.ReadInt(kAudoSaveSet, "ImageFormat", 0);

    const AppSettings defaults;
    s.RecordFormat =
        InRange(ini.ReadInt(kRecordSet, "Format", defaults.RecordFormat), 0, 2, defaults.RecordFormat);
    s.RecordFps =
        InRange(ini.ReadInt(kRecordSet, "FrameRate", defaults.RecordFps), 1, 120, defaults.RecordFps);
    s.RecordQuality =
        InRange(ini.ReadInt(kRecordSet, "Quality", defaults.RecordQuality), 1, 100, defaults.RecordQuality);
    s.RecordCursor = ini.ReadBool(kRecordSet, "Cursor", defaults.RecordCursor);

    s.IsTrayMode = ini.ReadBool(kAppSet, "IsTrayMode", 0);
    s.IsEnableHotkey = ini.ReadBool(kAppSet, "IsEnableHotkey", 0);
    s.IsAutoStartup = ini.ReadBool(kAppSet, "IsAutoStartup", 0);
}

bool WriteCaptureDialogSettings(const AppSettings& d, const std::string& path) {
    IniProfile ini;
    ini.SetPath(path.c_str());
    bool ok = true;
    ok &= ini.WriteBool(kCaptureSet, "HideWndBeforCap", d.HideWndBeforCap);
    ok &= ini.WriteBool(kCaptureSet, "RestoreWndAftCap", d.RestoreWndAftCap);
    ok &= ini.WriteBool(kCaptureSet, "PlaySoundWhenCap", d.PlaySoundWhenCap);
    ok &= ini.WriteBool(kCaptureSet, "IncludeCursor", d.IncludeCursor);
    ok &= ini.WriteInt(kCaptureSet, "CapAppViewMode", d.CapAppViewMode);
    ok &= ini.WriteInt(kCaptureSet, "CopyToClipboard", d.CopyToClipboard);
    ok &= ini.WriteInt(kCaptureSet, "CapDelayTime", d.CapDelayTime);
    ok &= ini.WriteInt(kCaptureSet, "FixRectWidth", d.FixRectWidth);
    ok &= ini.WriteInt(kCaptureSet, "FixRectHeight", d.FixRectHeight);
    ok &= ini.WriteBool(kAudoSaveSet, "IsAudoSave", d.IsAudoSave);
    ok &= ini.WriteInt(kAudoSaveSet, "ImageFormat", d.ImageFormat);
    ok &= ini.WriteString(kAudoSaveSet, "ImageSavePath", d.ImageSavePath.c_str());
    ok &= ini.WriteString(kAudoSaveSet, "ImageSaveTitle", d.ImageSaveTitle.c_str());
    ok &= ini.WriteInt(kAudoSaveSet, "StartNum", d.StartNum);
    ok &= ini.WriteInt(kRecordSet, "Format", d.RecordFormat);
    ok &= ini.WriteInt(kRecordSet, "FrameRate", d.RecordFps);
    ok &= ini.WriteInt(kRecordSet, "Quality", d.RecordQuality);
    ok &= ini.WriteBool(kRecordSet, "Cursor", d.RecordCursor);
    return Reported(ok, ini, path);
}

void TakeCaptureDialogSettings(AppSettings& record, const AppSettings& d) {
    record.HideWndBeforCap = d.HideWndBeforCap;
    record.RestoreWndAftCap = d.RestoreWndAftCap;
    record.PlaySoundWhenCap = d.PlaySoundWhenCap;
    record.IncludeCursor = d.IncludeCursor;
    record.CapAppViewMode = d.CapAppViewMode;
    record.CopyToClipboard = d.CopyToClipboard;
    record.CapDelayTime = d.CapDelayTime < 800 ? 800 : d.CapDelayTime;
    record.FixRectWidth = d.FixRectWidth;
    record.FixRectHeight = d.FixRectHeight;
    record.IsAudoSave = d.IsAudoSave;
    record.ImageFormat = d.ImageFormat;
    record.ImageSavePath = CutToFit(d.ImageSavePath, AppSettings::kMaxSavePath);
    record.ImageSaveTitle = CutToFit(d.ImageSaveTitle, AppSettings::kMaxSaveTitle);
    record.StartNum = d.StartNum;
    record.RecordFormat = d.RecordFormat;
    record.RecordFps = d.RecordFps;
    record.RecordQuality = d.RecordQuality;
    record.RecordCursor = d.RecordCursor;
}

bool WriteCloseSettings(const AppSettings& s, const std::string& path) {
    IniProfile ini;
    ini.SetPath(path.c_str());
    bool ok = ini.WriteInt(kAudoSaveSet, "StartNum", s.StartNum);
    ok &= ini.WriteBool(kAppSet, "IsTrayMode", s.IsTrayMode);
    ok &= ini.WriteBool(kAppSet, "IsEnableHotkey", s.IsEnableHotkey);
    ok &= ini.WriteBool(kAppSet, "IsAutoStartup", s.IsAutoStartup);
    return Reported(ok, ini, path);
}

bool WriteHotkeySettings(const AppSettings& s, const std::string& path) {
    IniProfile ini;
    ini.SetPath(path.c_str());
    bool ok = true;
    for (int mode = 0; mode < kHotkeyModeCount; ++mode) {
        ok &= ini.WriteInt(kHotkeySections[mode], "Hotkey", s.hotkeys[mode].Hotkey);
        ok &= ini.WriteInt(kHotkeySections[mode], "HotkeyMask", s.hotkeys[mode].HotkeyMask);
    }
    return Reported(ok, ini, path);
}

}  // namespace glimmora
