#include "app/settings/ini_profile.h"

#include <gtest/gtest.h>

#include <string>

#include "app/temp_dir.h"

using glimmora::IniProfile;
using glimmora::test::ReadText;
using glimmora::test::TempDir;
using glimmora::test::WriteText;

namespace {

// A file as people write them by hand: comments, blank lines, odd spacing and letter case.
const char kHandWritten[] =
    "; Glimmora settings\n"
    "\n"
    "[capTureSet]\n"
    "  CapDelayTime =  -5  \n"
    "FixRectWidth=12abc\n"
    "FixRectHeight=abc\n"
    "Big=99999999999\n"
    "AllBits=4294967295\n"
    "MinusAllBits=-4294967295\n"
    "MinusTooBig=-4294967296\n"
    "Plus=+7\n"
    "Empty=\n"
    "Blank=   \n"
    "NoEquals line\n"
    "# CapAppViewMode=2\n"
    "Dup=1\n"
    "Dup=2\n"
    "\n"
    "[AppSet]\n"
    "IsTrayMode=TRUE\n"
    "IsEnableHotkey=Yes\n"
    "IsAutoStartup=7\n"
    "On=on\n"
    "Two= 2\n"
    "MinusOne=-1\n"
    "Hex=0x10\n"
    "Zero=000\n"
    "TrueFalse=truefalse\n"
    "[Other]\n"
    "Key=value with = sign\n";

class IniProfileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = dir_.File("config.ini");
        WriteText(path_, kHandWritten);
        ini_.SetPath(path_.c_str());
    }
    TempDir dir_;
    std::string path_;
    IniProfile ini_;
};

TEST_F(IniProfileTest, IntegersFollowUnsignedConversionTakenAsSigned) {
    struct Case {
        const char* key;
        int32_t expected;
    } cases[] = {
        {"CapDelayTime", -5}, {"FixRectWidth", 12},   {"FixRectHeight", 0}, {"Big", -1},
        {"AllBits", -1},      {"MinusAllBits", 1},    {"MinusTooBig", -1},  {"Plus", 7},
        {"Empty", 77},        {"Blank", 77},          {"Missing", 77},      {"CAPDELAYTIME", -5},
        {"Dup", 1},           {"CapAppViewMode", 77},  // commented out
    };
    for (const Case& c : cases) EXPECT_EQ(ini_.ReadInt("CaptureSet", c.key, 77), c.expected) << c.key;
}

TEST_F(IniProfileTest, FlagsAcceptTrueYesAndNonZeroNumbers) {
    struct Case {
        const char* key;
        int32_t expected;
    } cases[] = {{"IsTrayMode", 1}, {"IsEnableHotkey", 1}, {"IsAutoStartup", 1}, {"On", 0},
                 {"Two", 1},        {"MinusOne", 1},       {"Hex", 0},           {"Zero", 0},
                 {"TrueFalse", 0},  {"Missing", 1}};
    for (const Case& c : cases) EXPECT_EQ(ini_.ReadBool("appset", c.key, 1), c.expected) << c.key;
    EXPECT_EQ(ini_.ReadBool("CaptureSet", "Empty", 1), 1);
    EXPECT_EQ(ini_.ReadBool("CaptureSet", "Empty", 0), 0);
}

TEST_F(IniProfileTest, TextsKeepEmptyValuesAndEqualsSigns) {
    EXPECT_EQ(ini_.ReadString("CaptureSet", "Empty", "default"), "");
    EXPECT_EQ(ini_.ReadString("CaptureSet", "Blank", "default"), "");
    EXPECT_EQ(ini_.ReadString("CaptureSet", "Missing", "default"), "default");
    EXPECT_EQ(ini_.ReadString("Nowhere", "Key", "default"), "default");
    EXPECT_EQ(ini_.ReadString("OTHER", "key", ""), "value with = sign");
    EXPECT_EQ(ini_.ReadString("CaptureSet", "NoEquals line", "none"), "none");
    // A key of another section is not found.
    EXPECT_EQ(ini_.ReadString("AppSet", "CapDelayTime", "none"), "none");
}

TEST_F(IniProfileTest, NumbersUseOnlyTheFirst64Bytes) {
    const std::string zeros63(63, '0');
    ASSERT_TRUE(ini_.WriteString("N", "Fits", (zeros63 + "7").c_str()));
    ASSERT_TRUE(ini_.WriteString("N", "Cut", (zeros63 + "07").c_str()));
    EXPECT_EQ(ini_.ReadInt("N", "Fits", -1), 7);
    EXPECT_EQ(ini_.ReadInt("N", "Cut", -1), 0);
    EXPECT_EQ(ini_.ReadBool("N", "Fits", 0), 1);
    EXPECT_EQ(ini_.ReadBool("N", "Cut", 1), 0);
}

TEST_F(IniProfileTest, LongValuesReadWhole) {
    std::string value;
    for (int i = 0; i < 3000; ++i) value += static_cast<char>('a' + i % 26);
    ASSERT_TRUE(ini_.WriteString("AudoSaveSet", "ImageSavePath", value.c_str()));
    EXPECT_EQ(ini_.ReadString("AudoSaveSet", "ImageSavePath", ""), value);
}

TEST_F(IniProfileTest, NullArgumentsGiveDefaultsAndFailedWrites) {
    const std::string before = ReadText(path_);
    EXPECT_EQ(ini_.ReadString(nullptr, "Key", "d"), "d");
    EXPECT_EQ(ini_.ReadInt("CaptureSet", nullptr, 9), 9);
    EXPECT_EQ(ini_.ReadBool(nullptr, nullptr, 1), 1);
    EXPECT_FALSE(ini_.WriteString(nullptr, "Key", "x"));
    EXPECT_FALSE(ini_.WriteInt("CaptureSet", nullptr, 1));
    EXPECT_FALSE(ini_.WriteBool(nullptr, "Key", 1));
    EXPECT_EQ(ReadText(path_), before);

    IniProfile unbound;
    EXPECT_EQ(unbound.Path(), nullptr);
    EXPECT_EQ(unbound.ReadInt("CaptureSet", "CapDelayTime", 3), 3);
    EXPECT_FALSE(unbound.WriteInt("CaptureSet", "CapDelayTime", 3));
    ini_.SetPath(nullptr);
    EXPECT_EQ(ini_.Path(), nullptr);
    EXPECT_EQ(ini_.ReadInt("CaptureSet", "CapDelayTime", 3), 3);
}

TEST_F(IniProfileTest, WriteReplacesOneValueAndKeepsEveryOtherLine) {
    ASSERT_TRUE(ini_.WriteInt("CAPTURESET", "capdelaytime", 800));
    std::string expected = kHandWritten;
    expected.replace(expected.find("-5  "), 2, "800");
    EXPECT_EQ(ReadText(path_), expected);
    EXPECT_EQ(ini_.ReadInt("CaptureSet", "CapDelayTime", 0), 800);

    // An empty value is replaced in place as well; a null text writes an empty value.
    ASSERT_TRUE(ini_.WriteString("CaptureSet", "Empty", "x"));
    EXPECT_EQ(ini_.ReadString("CaptureSet", "Empty", ""), "x");
    ASSERT_TRUE(ini_.WriteString("CaptureSet", "Empty", nullptr));
    EXPECT_EQ(ReadText(path_), expected);
}

TEST_F(IniProfileTest, WriteAddsKeysAfterTheSectionsLastKeyAndNewSectionsAtTheEnd) {
    ASSERT_TRUE(ini_.WriteBool("AppSet", "NewFlag", 5));
    ASSERT_TRUE(ini_.WriteInt("CaptureSet", "Added", -12));
    ASSERT_TRUE(ini_.WriteString("NewSection", "Key", "text"));
    std::string expected = kHandWritten;
    expected.insert(expected.find("\n\n[AppSet]") + 1, "Added=-12\n");
    expected.insert(expected.find("[Other]"), "NewFlag=1\n");
    expected += "[NewSection]\nKey=text\n";
    EXPECT_EQ(ReadText(path_), expected);
}

TEST(IniProfileFile, CreatedOnFirstWriteAndKeepsWindowsLineEnds) {
    TempDir dir;
    const std::string path = dir.File("config.ini");
    IniProfile ini;
    ini.SetPath(path.c_str());
    EXPECT_EQ(ini.ReadInt("CaptureSet", "CapDelayTime", 500), 500);
    ASSERT_TRUE(ini.WriteInt("CaptureSet", "CapDelayTime", 100));
    ASSERT_TRUE(ini.WriteBool("CaptureSet", "IncludeCursor", 0));
    EXPECT_EQ(ReadText(path), "[CaptureSet]\nCapDelayTime=100\nIncludeCursor=0\n");

    const std::string crlf = "\xEF\xBB\xBF[AppSet]\r\nIsTrayMode=0\r\n; end";
    WriteText(path, crlf);
    EXPECT_EQ(ini.ReadBool("AppSet", "IsTrayMode", 1), 0);
    ASSERT_TRUE(ini.WriteBool("AppSet", "IsTrayMode", 1));
    ASSERT_TRUE(ini.WriteBool("AppSet", "IsAutoStartup", 1));
    ASSERT_TRUE(ini.WriteInt("AudoSaveSet", "StartNum", 3));
    EXPECT_EQ(ReadText(path),
              "\xEF\xBB\xBF[AppSet]\r\nIsTrayMode=1\r\nIsAutoStartup=1\r\n; "
              "end\r\n[AudoSaveSet]\r\nStartNum=3\r\n");
    // Rewrites go through a temporary file that never stays behind.
    EXPECT_EQ(dir.Entries(), QStringList{"config.ini"});
}

TEST(IniProfileFile, RefusesWritesThatWouldDamageTheFile) {
    TempDir dir;
    const std::string path = dir.File("config.ini");
    WriteText(path, "[A]\nK=1\n");
    IniProfile ini;
    ini.SetPath(path.c_str());
    // A line break would smuggle in lines of its own.
    EXPECT_FALSE(ini.WriteString("A", "K", "1\n[AppSet]\nIsTrayMode=1"));
    EXPECT_FALSE(ini.WriteString("A\nB", "K", "1"));
    EXPECT_FALSE(ini.WriteString("A", "K=2", "1"));
    EXPECT_FALSE(ini.WriteString("A]", "K", "1"));
    EXPECT_FALSE(ini.WriteString("", "K", "1"));
    EXPECT_EQ(ReadText(path), "[A]\nK=1\n");

    // Something that is not a readable file is never replaced.
    IniProfile onFolder;
    onFolder.SetPath(dir.Path().c_str());
    EXPECT_FALSE(onFolder.WriteInt("A", "K", 1));
    EXPECT_EQ(onFolder.ReadInt("A", "K", 4), 4);
    // A folder that does not exist cannot take the file.
    IniProfile nowhere;
    nowhere.SetPath(dir.File("missing/config.ini").c_str());
    EXPECT_FALSE(nowhere.WriteInt("A", "K", 1));
}

TEST(IniProfileParse, ParsingRulesOnTheirOwn) {
    EXPECT_EQ(IniProfile::ParseInt("", 5), 5);
    EXPECT_EQ(IniProfile::ParseInt("\t 42", 5), 42);
    EXPECT_EQ(IniProfile::ParseInt("-", 5), 0);
    EXPECT_EQ(IniProfile::ParseInt("2147483648", 5), INT32_MIN);
    EXPECT_EQ(IniProfile::ParseBool("YES", 0), 1);
    EXPECT_EQ(IniProfile::ParseBool("tRuE", 0), 1);
    EXPECT_EQ(IniProfile::ParseBool("-0", 1), 0);
    EXPECT_EQ(IniProfile::ParseBool("99999999999999999999", 0), 1);
}

}  // namespace
