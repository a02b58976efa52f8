#include "app/settings/app_settings.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "app/settings/ini_profile.h"
#include "app/settings/program_directory.h"
#include "app/temp_dir.h"

using glimmora::AppSettings;
using glimmora::IniProfile;
using glimmora::kHotkeyModeCount;
using glimmora::LoadAppSettings;
using glimmora::test::ReadText;
using glimmora::test::TempDir;
using glimmora::test::WriteText;

namespace {

// Points the home and documents folders into a private folder for the test.
class AppSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        home_ = dir_.File("home");
        QDir().mkpath(QString::fromStdString(home_ + "/.config"));
        WriteText(home_ + "/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n");
        saved_home_ = std::getenv("HOME") ? std::getenv("HOME") : "";
        setenv("HOME", home_.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home_ + "/.config").c_str(), 1);
        path_ = dir_.File("config.ini");
    }
    void TearDown() override {
        setenv("HOME", saved_home_.c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
    }
    TempDir dir_;
    std::string home_, saved_home_, path_;
};

TEST_F(AppSettingsTest, NoFileGivesTheDefaults) {
    AppSettings s;
    s.CapDelayTime = 1;
    s.ImageSaveTitle = "x";
    LoadAppSettings(s, path_);
    EXPECT_EQ(s.HideWndBeforCap, 0);
    EXPECT_EQ(s.RestoreWndAftCap, 0);
    EXPECT_EQ(s.PlaySoundWhenCap, 0);
    EXPECT_EQ(s.IncludeCursor, 0);
    EXPECT_EQ(s.CapAppViewMode, 0);
    EXPECT_EQ(s.CopyToClipboard, 0);
    EXPECT_EQ(s.CapDelayTime, 500);
    EXPECT_EQ(s.FixRectWidth, 100);
    EXPECT_EQ(s.FixRectHeight, 100);
    for (int mode = 0; mode < kHotkeyModeCount; ++mode) {
        EXPECT_EQ(s.hotkeys[mode].Hotkey, 0);
        EXPECT_EQ(s.hotkeys[mode].HotkeyMask, 0);
    }
    EXPECT_EQ(s.IsAudoSave, 0);
    EXPECT_EQ(s.StartNum, 1);
    EXPECT_EQ(s.ImageSavePath, home_);  // the home folder stands in for c:\ .
    EXPECT_EQ(s.ImageSaveTitle, "Snap");
    EXPECT_EQ(s.ImageFormat, 0);
    EXPECT_EQ(s.IsTrayMode, 0);
    EXPECT_EQ(s.IsEnableHotkey, 0);
    EXPECT_EQ(s.IsAutoStartup, 0);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(path_)));
}

TEST_F(AppSettingsTest, HandWrittenFileWithOddValues) {
    WriteText(path_,
              "[CaptureSet]\n"
              "HideWndBeforCap=yes\n"
              "RestoreWndAftCap=On\n"
              "PlaySoundWhenCap=-1\n"
              "IncludeCursor=TRUE\n"
              "CapAppViewMode=99999999999\n"
              "CopyToClipboard=2\n"
              "CapDelayTime=100\n"
              "FixRectWidth=640px\n"
              "FixRectHeight= 480\n"
              "[capfullscreen]\nhotkey=70\nHOTKEYMASK=6\n"
              "[CapFixRect]\nHotkey=88\nHotkeyMask=abc\n"
              "[AudoSaveSet]\n"
              "IsAudoSave=1\n"
              "StartNum=-3\n"
              "ImageSavePath=/srv/shots\n"
              "ImageSaveTitle=\n"
              "ImageFormat=7\n"
              "[AppSet]\nIsTrayMode=Yes\nIsEnableHotkey=7\nIsAutoStartup=on\n");
    AppSettings s;
    LoadAppSettings(s, path_);
    EXPECT_EQ(s.HideWndBeforCap, 1);
    EXPECT_EQ(s.RestoreWndAftCap, 0);
    EXPECT_EQ(s.PlaySoundWhenCap, 1);
    EXPECT_EQ(s.IncludeCursor, 1);
    EXPECT_EQ(s.CapAppViewMode, -1);
    EXPECT_EQ(s.CopyToClipboard, 1);
    EXPECT_EQ(s.CapDelayTime, 500);  // raised at start
    EXPECT_EQ(s.FixRectWidth, 640);
    EXPECT_EQ(s.FixRectHeight, 480);
    EXPECT_EQ(s.hotkeys[glimmora::kHotkeyFullScreen].Hotkey, 70);
    EXPECT_EQ(s.hotkeys[glimmora::kHotkeyFullScreen].HotkeyMask, 6);
    EXPECT_EQ(s.hotkeys[glimmora::kHotkeyFixRect].Hotkey, 88);
    EXPECT_EQ(s.hotkeys[glimmora::kHotkeyFixRect].HotkeyMask, 0);
    EXPECT_EQ(s.hotkeys[glimmora::kHotkeyRegion].Hotkey, 0);
    EXPECT_EQ(s.IsAudoSave, 1);
    EXPECT_EQ(s.StartNum, -3);
    EXPECT_EQ(s.ImageSavePath, "/srv/shots");
    EXPECT_EQ(s.ImageSaveTitle, "Snap");
    EXPECT_EQ(s.ImageFormat, 7);
    EXPECT_EQ(s.IsTrayMode, 1);
    EXPECT_EQ(s.IsEnableHotkey, 1);
    EXPECT_EQ(s.IsAutoStartup, 0);
}

TEST_F(AppSettingsTest, EmptySavePathBecomesTheDocumentsFolderWhichIsCreated) {
    WriteText(path_, "[AudoSaveSet]\nImageSavePath=\n");
    AppSettings s;
    LoadAppSettings(s, path_);
    EXPECT_EQ(s.ImageSavePath, home_ + "/Papers/Glimmora Images");
    EXPECT_TRUE(QFileInfo(QString::fromStdString(s.ImageSavePath)).isDir());
    // Already there: no error, same answer.
    LoadAppSettings(s, path_);
    EXPECT_EQ(s.ImageSavePath, home_ + "/Papers/Glimmora Images");
}

TEST_F(AppSettingsTest, OverlongTextsAreCutToTheRecordsBuffers) {
    const std::string longPath = "/" + std::string(600, 'p');
    // 62 ASCII bytes and then a two-byte character that does not fit whole.
    const std::string longTitle = std::string(62, 't') + "\xC3\xA9" + "more";
    IniProfile ini;
    ini.SetPath(path_.c_str());
    ASSERT_TRUE(ini.WriteString("AudoSaveSet", "ImageSavePath", longPath.c_str()));
    ASSERT_TRUE(ini.WriteString("AudoSaveSet", "ImageSaveTitle", longTitle.c_str()));
    AppSettings s;
    LoadAppSettings(s, path_);
    EXPECT_EQ(s.ImageSavePath, longPath.substr(0, 511));
    EXPECT_EQ(s.ImageSaveTitle, std::string(62, 't'));
    EXPECT_EQ(glimmora::CutToFit("ab\xC3\xA9", 4), "ab\xC3\xA9");
    EXPECT_EQ(glimmora::CutToFit("ab\xC3\xA9", 3), "ab");
}

TEST_F(AppSettingsTest, SettingsDialogWritesWhatItHoldsAndTheRecordRaisesShortDelays) {
    AppSettings record;
    LoadAppSettings(record, path_);
    AppSettings dialog = record;
    dialog.HideWndBeforCap = 1;
    dialog.IncludeCursor = 1;
    dialog.CapAppViewMode = 2;
    dialog.CopyToClipboard = 1;
    dialog.CapDelayTime = 300;
    dialog.FixRectWidth = 320;
    dialog.FixRectHeight = 200;
    dialog.IsAudoSave = 1;
    dialog.ImageFormat = 2;
    dialog.ImageSavePath = "/tmp/shots";
    dialog.ImageSaveTitle = "Shot";
    dialog.StartNum = 12;
    ASSERT_TRUE(glimmora::WriteCaptureDialogSettings(dialog, path_));
    EXPECT_EQ(ReadText(path_),
              "[CaptureSet]\nHideWndBeforCap=1\nRestoreWndAftCap=0\nPlaySoundWhenCap=0\nIncludeCursor=1\n"
              "CapAppViewMode=2\nCopyToClipboard=1\nCapDelayTime=300\nFixRectWidth=320\nFixRectHeight=200\n"
              "[AudoSaveSet]\nIsAudoSave=1\nImageFormat=2\nImageSavePath=/tmp/shots\nImageSaveTitle=Shot\n"
              "StartNum=12\n[RecordSet]\nFormat=0\nFrameRate=30\nQuality=70\nCursor=1\n");

    glimmora::TakeCaptureDialogSettings(record, dialog);
    EXPECT_EQ(record.CapDelayTime, 800);
    EXPECT_EQ(record.CapAppViewMode, 2);
    EXPECT_EQ(record.ImageSavePath, "/tmp/shots");
    EXPECT_EQ(record.StartNum, 12);

    AppSettings next;
    LoadAppSettings(next, path_);
    EXPECT_EQ(next.CapDelayTime, 500);
    EXPECT_EQ(next.ImageFormat, 2);
    EXPECT_EQ(next.ImageSaveTitle, "Shot");

    dialog.CapDelayTime = 1200;
    glimmora::TakeCaptureDialogSettings(record, dialog);
    EXPECT_EQ(record.CapDelayTime, 1200);
}

TEST_F(AppSettingsTest, RecordingValuesRoundTripAndBadOnesFallBackToTheDefaults) {
    AppSettings dialog;
    LoadAppSettings(dialog, path_);
    EXPECT_EQ(dialog.RecordFormat, 0);
    EXPECT_EQ(dialog.RecordFps, 30);
    EXPECT_EQ(dialog.RecordQuality, 70);
    EXPECT_EQ(dialog.RecordCursor, 1);
    dialog.RecordFormat = 2;
    dialog.RecordFps = 12;
    dialog.RecordQuality = 100;
    dialog.RecordCursor = 0;
    ASSERT_TRUE(glimmora::WriteCaptureDialogSettings(dialog, path_));
    AppSettings record;
    glimmora::TakeCaptureDialogSettings(record, dialog);
    AppSettings next;
    LoadAppSettings(next, path_);
    for (const AppSettings* s : {&record, &next}) {
        EXPECT_EQ(s->RecordFormat, 2);
        EXPECT_EQ(s->RecordFps, 12);
        EXPECT_EQ(s->RecordQuality, 100);
        EXPECT_EQ(s->RecordCursor, 0);
    }

    WriteText(path_, "[RecordSet]\nFormat=3\nFrameRate=0\nQuality=101\n");
    AppSettings bad;
    LoadAppSettings(bad, path_);
    EXPECT_EQ(bad.RecordFormat, 0);
    EXPECT_EQ(bad.RecordFps, 30);
    EXPECT_EQ(bad.RecordQuality, 70);
    EXPECT_EQ(bad.RecordCursor, 1);
    WriteText(path_, "[RecordSet]\nFormat=-1\nFrameRate=121\nQuality=0\n");
    LoadAppSettings(bad, path_);
    EXPECT_EQ(bad.RecordFormat, 0);
    EXPECT_EQ(bad.RecordFps, 30);
    EXPECT_EQ(bad.RecordQuality, 70);
}

TEST_F(AppSettingsTest, CloseWritesCounterAndSwitchesOnly) {
    WriteText(path_, "; mine\n[AudoSaveSet]\nStartNum=4\nImageSaveTitle=Keep\n[AppSet]\nIsTrayMode=1\n");
    AppSettings s;
    LoadAppSettings(s, path_);
    ++s.StartNum;  // one automatic save
    s.IsTrayMode = 0;
    s.IsEnableHotkey = 1;
    s.CapDelayTime = 9000;  // changed in the record only
    ASSERT_TRUE(glimmora::WriteCloseSettings(s, path_));
    EXPECT_EQ(ReadText(path_),
              "; mine\n[AudoSaveSet]\nStartNum=5\nImageSaveTitle=Keep\n[AppSet]\nIsTrayMode=0\n"
              "IsEnableHotkey=1\nIsAutoStartup=0\n");
}

TEST_F(AppSettingsTest, EveryWriterKeepsForeignLinesAndReadsBackWhatItWrote) {
    const std::string handWritten =
        "; written by hand\n"
        "[capTureSet]\n"
        "CapDelayTime = 1500 ; slow machine\n"
        "Unknown=kept\n"
        "\n"
        "[Elsewhere]\n"
        "Key=value\n";
    WriteText(path_, handWritten);
    AppSettings s;
    LoadAppSettings(s, path_);
    EXPECT_EQ(s.CapDelayTime, 1500);  // strtoul stops at the blank
    s.CapAppViewMode = 1;
    s.ImageSavePath = "/data/My Shots";
    s.ImageSaveTitle = "Bug";
    s.StartNum = 41;
    s.IsTrayMode = 1;
    s.hotkeys[glimmora::kHotkeyScroll] = {83, 6};
    ASSERT_TRUE(glimmora::WriteCaptureDialogSettings(s, path_));
    ASSERT_TRUE(glimmora::WriteHotkeySettings(s, path_));
    ASSERT_TRUE(glimmora::WriteCloseSettings(s, path_));

    AppSettings back;
    LoadAppSettings(back, path_);
    EXPECT_EQ(back.CapDelayTime, 1500);
    EXPECT_EQ(back.CapAppViewMode, 1);
    EXPECT_EQ(back.ImageSavePath, "/data/My Shots");
    EXPECT_EQ(back.ImageSaveTitle, "Bug");
    EXPECT_EQ(back.StartNum, 41);
    EXPECT_EQ(back.IsTrayMode, 1);
    EXPECT_EQ(back.hotkeys[glimmora::kHotkeyScroll].Hotkey, 83);
    const std::string text = ReadText(path_);
    // The value is replaced (its trailing remark with it); new keys follow the section's last key.
    EXPECT_EQ(
        text.rfind("; written by hand\n[capTureSet]\nCapDelayTime = 1500\nUnknown=kept\nHideWndBeforCap=0\n",
                   0),
        0u);
    EXPECT_NE(text.find("\n\n[Elsewhere]\nKey=value\n"), std::string::npos);
    IniProfile ini;
    ini.SetPath(path_.c_str());
    EXPECT_EQ(ini.ReadString("CaptureSet", "Unknown", ""), "kept");
}

TEST_F(AppSettingsTest, HotkeysRoundTrip) {
    AppSettings s;
    for (int mode = 0; mode < kHotkeyModeCount; ++mode) s.hotkeys[mode] = {65 + mode, 6};
    ASSERT_TRUE(glimmora::WriteHotkeySettings(s, path_));
    EXPECT_EQ(ReadText(path_).substr(0, 51), "[CapFullScreen]\nHotkey=65\nHotkeyMask=6\n[CapWindows]");
    AppSettings back;
    LoadAppSettings(back, path_);
    for (int mode = 0; mode < kHotkeyModeCount; ++mode) {
        EXPECT_EQ(back.hotkeys[mode].Hotkey, 65 + mode);
        EXPECT_EQ(back.hotkeys[mode].HotkeyMask, 6);
    }
}

TEST_F(AppSettingsTest, FailedWritesAreReportedOnceAndAFifoIsNeverWaitedFor) {
    // A FIFO as config.ini: every access must give up at once instead of waiting for a writer.
    const std::string fifo = dir_.File("fifo.ini");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::promise<void> finished;
    std::future<void> done = finished.get_future();
    AppSettings loaded;
    bool written = true;
    std::thread reader([&] {
        LoadAppSettings(loaded, fifo);
        written = glimmora::WriteCloseSettings(loaded, fifo);
        finished.set_value();
    });
    const bool waited = done.wait_for(std::chrono::seconds(10)) != std::future_status::ready;
    // Release a reader stuck in open() (a writer appears and goes) so the test ends either way.
    while (done.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
        const int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
    }
    reader.join();
    EXPECT_FALSE(waited);
    EXPECT_EQ(loaded.CapDelayTime, 500);
    EXPECT_FALSE(written);
    struct stat st;
    ASSERT_EQ(::stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));  // not replaced by a regular file

    // Each writer that fails says so once, naming the file and the reason.
    AppSettings s;
    struct Case {
        const char* name;
        std::string path;
        std::function<bool(const AppSettings&, const std::string&)> write;
        const char* reason;
    } cases[] = {
        {"dialog into a missing folder", dir_.File("missing/config.ini"),
         glimmora::WriteCaptureDialogSettings, ""},
        {"close into a missing folder", dir_.File("missing/config.ini"), glimmora::WriteCloseSettings, ""},
        {"hotkeys into a FIFO", fifo, glimmora::WriteHotkeySettings, "not a regular file"},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(c.write(s, c.path)) << c.name;
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << c.name << ": " << said;
        EXPECT_NE(said.find(c.path), std::string::npos) << c.name << ": " << said;
        EXPECT_NE(said.find(c.reason), std::string::npos) << c.name << ": " << said;
    }
    testing::internal::CaptureStderr();
    EXPECT_TRUE(glimmora::WriteCloseSettings(s, path_));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(ProgramDirectory, IsTheFolderOfTheRunningProgram) {
    const std::string dir = glimmora::ProgramDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_TRUE(QFileInfo(QString::fromStdString(dir + "settings_tests")).isFile());
}

// config.ini beside the program makes a portable copy; otherwise the settings live in the user's config
// folder, even when the program's folder is writable (a build tree, a user-owned install).
TEST(ProgramDirectory, WhereTheSettingsLive) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const std::string root = temp.path().toStdString();
    const std::string portable = root + "/portable/", plain = root + "/plain/", home = root + "/home";
    QDir().mkpath(QString::fromStdString(portable));
    QDir().mkpath(QString::fromStdString(plain));
    QDir().mkpath(QString::fromStdString(home));
    WriteText(portable + "config.ini", "[AppSet]\n");
    struct Case {
        const char* name;
        std::string programDirectory;
        const char* xdg;  // nullptr: unset
        std::string expected;
    };
    const Case cases[] = {
        {"config beside the program", portable, "/unused-xdg", portable + "config.ini"},
        {"none beside, XDG set", plain, "XDG", root + "/xdg/glimmora/config.ini"},
        {"none beside, XDG unset", plain, nullptr, home + "/.config/glimmora/config.ini"},
        {"none beside, XDG relative", plain, "relative/cfg", home + "/.config/glimmora/config.ini"},
        {"an installed, unwritable folder", "/usr/lib/glimmora/", "XDG", root + "/xdg/glimmora/config.ini"},
        {"program folder unknown", "", nullptr, home + "/.config/glimmora/config.ini"},
    };
    const QByteArray oldXdg = qgetenv("XDG_CONFIG_HOME"), oldHome = qgetenv("HOME");
    qputenv("HOME", QByteArray::fromStdString(home));
    for (const Case& c : cases) {
        if (!c.xdg)
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME",
                    QByteArray::fromStdString(std::string(c.xdg) == "XDG" ? root + "/xdg" : c.xdg));
        const std::string path = glimmora::SettingsFilePathFor(c.programDirectory);
        EXPECT_EQ(path, c.expected) << c.name;
        // The folder is there to write into; nothing new appears beside the program.
        EXPECT_TRUE(QFileInfo(QString::fromStdString(path)).dir().exists()) << c.name;
        EXPECT_EQ(glimmora::StateFilePathFor(path), path.substr(0, path.rfind('/') + 1) + "state.ini")
            << c.name;
    }
    EXPECT_TRUE(QDir(QString::fromStdString(plain)).isEmpty());
    // The running test program has none beside it: its settings are the user's (still the temporary
    // home: asking makes the folder, which must not land in the real one).
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(glimmora::SettingsFilePath(), home + "/.config/glimmora/config.ini");
    if (oldXdg.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", oldXdg);
    qputenv("HOME", oldHome);
}

// Without HOME, or with one that is no absolute path, the home folder is the password database's: the
// settings went to /.config.
TEST(ProgramDirectory, WithoutHomeThePasswordDatabaseNamesTheHome) {
    const passwd* entry = getpwuid(getuid());
    ASSERT_NE(entry, nullptr);
    const std::string own = entry->pw_dir;
    const QByteArray oldXdg = qgetenv("XDG_CONFIG_HOME"), oldHome = qgetenv("HOME");
    qunsetenv("XDG_CONFIG_HOME");
    const struct {
        const char* home;  // nullptr: unset
        std::string expected;
    } cases[] = {{nullptr, own}, {"", own}, {"relative/home", own}, {"/elsewhere/home", "/elsewhere/home"}};
    for (const auto& c : cases) {
        if (c.home)
            qputenv("HOME", c.home);
        else
            qunsetenv("HOME");
        EXPECT_EQ(glimmora::HomeFolder(), c.expected) << (c.home ? c.home : "unset");
        EXPECT_EQ(glimmora::ConfigFolder(), c.expected + "/.config") << (c.home ? c.home : "unset");
    }
    QTemporaryDir temp;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(temp.path()));
    qunsetenv("HOME");
    EXPECT_EQ(glimmora::ConfigFolder(), temp.path().toStdString());
    EXPECT_EQ(glimmora::SettingsFilePathFor(""), temp.path().toStdString() + "/glimmora/config.ini");
    if (oldXdg.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", oldXdg);
    qputenv("HOME", oldHome);
}

// The earlier version kept the recent files and the bar layout in Qt's own settings file for its
// organisation and application names; they come over into state.ini once, and nothing else does.
TEST(EarlierState, RecentFilesAndBarLayoutComeOverOnce) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const std::string config = temp.path().toStdString() + "/config";
    const QByteArray oldXdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config));
    const QByteArray bars("\0\1bars\xff", 7);
    {
        QSettings earlier("Local AppWizard-Generated Applications", "Glimmora");
        earlier.setValue("Recent File List/File1", "/pictures/one.png");
        earlier.setValue("Recent File List/File2", "/pictures/two, three.bmp");
        earlier.setValue("GuiTabbedDemo/State", bars);
        earlier.setValue("Settings/Other", 5);
        earlier.sync();
        EXPECT_EQ(earlier.fileName().toStdString(), glimmora::EarlierStateFilePath());
    }
    QDir().mkpath(QString::fromStdString(config + "/glimmora"));
    const std::string state = glimmora::StateFilePathFor(config + "/glimmora/config.ini");
    EXPECT_TRUE(glimmora::CarryOverEarlierState(glimmora::EarlierStateFilePath(), state));
    {
        QSettings read(QString::fromStdString(state), QSettings::IniFormat);
        EXPECT_EQ(read.value("Recent File List/File1").toString(), "/pictures/one.png");
        EXPECT_EQ(read.value("Recent File List/File2").toString(), "/pictures/two, three.bmp");
        EXPECT_EQ(read.value("GuiTabbedDemo/State").toByteArray(), bars);
        EXPECT_FALSE(read.contains("Settings/Other"));
        read.setValue("Recent File List/File1", "/pictures/newer.png");
    }
    // Once: what this version wrote since stays.
    EXPECT_FALSE(glimmora::CarryOverEarlierState(glimmora::EarlierStateFilePath(), state));
    EXPECT_EQ(QSettings(QString::fromStdString(state), QSettings::IniFormat).value("Recent File List/File1"),
              "/pictures/newer.png");
    // Without an earlier file nothing is made.
    EXPECT_FALSE(glimmora::CarryOverEarlierState(config + "/none.conf", config + "/other.ini"));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(config + "/other.ini")));
    if (oldXdg.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", oldXdg);
}

// Installed, the data lies in share/glimmora beside lib/glimmora; elsewhere beside the program.
TEST(ProgramDirectory, WhereTheDataLies) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const std::string root = temp.path().toStdString();
    QDir().mkpath(QString::fromStdString(root + "/usr/lib/glimmora"));
    QDir().mkpath(QString::fromStdString(root + "/usr/share/glimmora/stamps"));
    QDir().mkpath(QString::fromStdString(root + "/build/src/app/main/stamps"));
    EXPECT_EQ(
        QDir(QString::fromStdString(glimmora::DataDirectoryFor(root + "/usr/lib/glimmora/"))).canonicalPath(),
        QString::fromStdString(root + "/usr/share/glimmora"));
    EXPECT_EQ(glimmora::DataDirectoryFor(root + "/build/src/app/main/"), root + "/build/src/app/main/");
    EXPECT_EQ(glimmora::DataDirectoryFor(""), "");
    const std::string own = glimmora::DataDirectory();
    EXPECT_EQ(own, glimmora::ProgramDirectory());
}

}  // namespace
