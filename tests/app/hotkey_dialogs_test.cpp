// The hotkey texts and the two hotkey dialogs: what they show, what they record and what reaches config.ini.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/hotkeys/def_hotkey_dlg.h"
#include "app/hotkeys/dlg_input_hotkey.h"
#include "app/hotkeys/hotkey_edit.h"
#include "app/hotkeys/hotkey_text.h"
#include "app/temp_dir.h"

namespace glimmora {
namespace {

using test::ReadText;
using test::TempDir;
using test::WriteText;

struct Text {
    int key, mask;
    const char* text;
};

TEST(FormatHotkeyText, ModifiersInOrderThenTheKeysName) {
    const Text cases[] = {
        {70, 6, "Ctrl + Shift + F"},
        {65, 5, "Alt + Shift + A"},
        {88, 0, "X"},
        {48, 7, "Ctrl + Alt + Shift + 0"},
        {112, 0, "F1"},
        {135, 2, "Ctrl + F24"},
        {44, 1, "Alt + Print"},
        {36, 3, "Ctrl + Alt + Home"},
        {34, 4, "Shift + Page Down"},
        {101, 2, "Ctrl + Num 5"},
        {189, 6, "Ctrl + Shift + -"},
        {32, 1, "Alt + Space"},
        {0, 0, ""},  // a mode missing from config.ini
        {0, 6, "Ctrl + Shift + "},
        {7, 2, "Ctrl + Key 7"},
    };
    for (const Text& c : cases) EXPECT_EQ(FormatHotkeyText(c.key, c.mask), QString(c.text)) << c.text;
}

QPushButton* ButtonText(QWidget* dialog, const QString& text) {
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

// Every label and button shows its whole text.
void ExpectNothingClipped(QWidget* dialog) {
    dialog->show();
    QApplication::processEvents();
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
        // Lines as the label breaks them.
        const QRect text = label->fontMetrics().boundingRect(QRect(), Qt::TextExpandTabs, label->text());
        EXPECT_GE(label->contentsRect().width(), text.width()) << label->text().toStdString();
        EXPECT_GE(label->contentsRect().height(), text.height()) << label->text().toStdString();
    }
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        EXPECT_GE(button->width(), button->sizeHint().width()) << button->text().toStdString();
}

class DefineHotkeys : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteText(ini, "[AppSet]\r\nIsTrayMode=1\r\n[CapRegion]\r\nHotkey=90\r\nHotkeyMask=1\r\n");
    }
    TempDir dir;
    std::string ini = dir.File("config.ini");
};

TEST_F(DefineHotkeys, ShowsTheStoredCombinationsAndDefaultThenOkWritesEveryValue) {
    CDefHotKeyDlg dialog(ini);
    EXPECT_EQ(dialog.windowTitle(), "Define hot key");
    const char* shown[kHotkeyModeCount] = {"", "", "", "Alt + Z", "", "", "", ""};
    for (int mode = 0; mode < kHotkeyModeCount; ++mode)
        EXPECT_EQ(dialog.ShortcutButton(mode)->text(), QString(shown[mode])) << mode;
    for (const char* label : CDefHotKeyDlg::kLabels) {
        auto labels = dialog.findChildren<QLabel*>();
        EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [&](QLabel* l) { return l->text() == label; }))
            << label;
    }

    ButtonText(&dialog, "Default")->click();
    const char* defaults[kHotkeyModeCount] = {"Ctrl + Shift + F",
                                              "Ctrl + Shift + W",
                                              "Ctrl + Shift + A",
                                              "Ctrl + Shift + R",
                                              "Ctrl + Shift + S",
                                              "Ctrl + Shift + X",
                                              "",
                                              ""};  // text and current-screen captures have no default
    for (int mode = 0; mode < kHotkeyModeCount; ++mode)
        EXPECT_EQ(dialog.ShortcutButton(mode)->text(), QString(defaults[mode])) << mode;
    ExpectNothingClipped(&dialog);
    // Nothing is written before OK.
    EXPECT_EQ(ReadText(ini), "[AppSet]\r\nIsTrayMode=1\r\n[CapRegion]\r\nHotkey=90\r\nHotkeyMask=1\r\n");

    ButtonText(&dialog, "OK")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    const int keys[kHotkeyModeCount] = {70, 87, 65, 82, 83, 88, 0, 0};
    for (int mode = 0; mode < kHotkeyModeCount; ++mode) {
        EXPECT_EQ(dialog.Hotkeys()[mode].Hotkey, keys[mode]);
        EXPECT_EQ(dialog.Hotkeys()[mode].HotkeyMask, keys[mode] ? 6 : 0);
    }
    EXPECT_EQ(ReadText(ini),
              "[AppSet]\r\nIsTrayMode=1\r\n[CapRegion]\r\nHotkey=82\r\nHotkeyMask=6\r\n"
              "[CapFullScreen]\r\nHotkey=70\r\nHotkeyMask=6\r\n[CapWindows]\r\nHotkey=87\r\nHotkeyMask=6\r\n"
              "[CapActiveWindow]\r\nHotkey=65\r\nHotkeyMask=6\r\n[CapScroll]\r\nHotkey=83\r\nHotkeyMask=6\r\n"
              "[CapFixRect]\r\nHotkey=88\r\nHotkeyMask=6\r\n[CapText]\r\nHotkey=0\r\nHotkeyMask=0\r\n"
              "[CapScreen]\r\nHotkey=0\r\nHotkeyMask=0\r\n");
}

TEST_F(DefineHotkeys, WithoutHotkeysOnTheDesktopItListsTheCommandsToBindEachCopyable) {
    const char* commands[kHotkeyModeCount] = {"glimmora --capture full",   "glimmora --capture window",
                                              "glimmora --capture active", "glimmora --capture region",
                                              "glimmora --capture scroll", "glimmora --capture fixed",
                                              "glimmora --capture text",   "glimmora --capture screen"};
    {
        CDefHotKeyDlg dialog(ini);
        EXPECT_EQ(ButtonText(&dialog, "Copy"), nullptr) << "commands shown where hotkeys work";
    }
    CDefHotKeyDlg dialog(ini, nullptr, "the desktop portal has no GlobalShortcuts interface");
    const auto labels = dialog.findChildren<QLabel*>();
    const auto shows = [&](const QString& text) {
        return std::any_of(labels.begin(), labels.end(), [&](QLabel* l) { return l->text() == text; });
    };
    EXPECT_TRUE(
        shows("Hotkeys cannot be taken on this desktop: the desktop portal has no GlobalShortcuts "
              "interface.\nBind these commands to keys in the desktop's keyboard settings instead."));
    for (int mode = 0; mode < kHotkeyModeCount; ++mode) {
        SCOPED_TRACE(commands[mode]);
        EXPECT_TRUE(shows(commands[mode]));
        // The combinations stay: they are the keys to bind, and work wherever hotkeys can be taken.
        EXPECT_NE(dialog.ShortcutButton(mode), nullptr);
        QPushButton* copy = dialog.CopyButton(mode);
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(copy->text(), "Copy");
        EXPECT_EQ(copy->accessibleName(), QString("Copy ") + commands[mode]);
        QGuiApplication::clipboard()->clear();
        copy->click();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), commands[mode]);
        EXPECT_EQ(dialog.result(), 0) << "a copy answered the dialog";
    }
    ExpectNothingClipped(&dialog);

    // Each command is one the program takes: without a running Glimmora it fails to send (1), it is not
    // refused as a wrong command line (2).
#ifdef GLIMMORA_PROGRAM_PATH
    const QString program = GLIMMORA_PROGRAM_PATH;
#else
    GTEST_SKIP() << "built without the program";
    const QString program;
#endif
    for (const char* command : commands) {
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"})
            env.remove(name);
        run.setProcessEnvironment(env);
        QStringList words = QString(command).split(' ');
        words.removeFirst();
        run.start(program, words);
        ASSERT_TRUE(run.waitForFinished(60000)) << command;
        EXPECT_EQ(run.exitCode(), 1) << command << ": " << run.readAllStandardError().toStdString();
    }
}

TEST_F(DefineHotkeys, CancelLeavesConfigIniByteForByte) {
    const std::string before = ReadText(ini);
    CDefHotKeyDlg dialog(ini);
    ButtonText(&dialog, "Default")->click();
    ButtonText(&dialog, "Cancel")->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(ReadText(ini), before);
}

TEST_F(DefineHotkeys, AShortcutButtonRecordsThroughTheSetHotKeyDialog) {
    CDefHotKeyDlg dialog(ini);
    dialog.show();
    QString title, label;
    QTimer::singleShot(0, [&] {
        auto* input = qobject_cast<CDlgInputHotKey*>(QApplication::activeModalWidget());
        ASSERT_NE(input, nullptr);
        title = input->windowTitle();
        for (QLabel* l : input->findChildren<QLabel*>())
            if (l->text().endsWith("hot key!")) label = l->text();
        QTest::keyClick(input->Recorder(), Qt::Key_F9, Qt::ControlModifier | Qt::AltModifier);
        ButtonText(input, "OK")->click();
    });
    dialog.ShortcutButton(kHotkeyRegion)->click();
    EXPECT_EQ(title, "Set hot key");
    EXPECT_EQ(label, "Capture Region hot key!");
    EXPECT_EQ(dialog.ShortcutButton(kHotkeyRegion)->text(), "Ctrl + Alt + F9");
    EXPECT_EQ(dialog.Hotkeys()[kHotkeyRegion].Hotkey, 120);
    EXPECT_EQ(dialog.Hotkeys()[kHotkeyRegion].HotkeyMask, 3);
}

struct Recording {
    std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>> presses;
    int key, mask;
    const char* name;
};

TEST(SetHotKey, OkStoresTheRecordedCombinationAndCancelKeepsTheOldOne) {
    const Recording cases[] = {
        {{{Qt::Key_Q, Qt::AltModifier | Qt::ShiftModifier}}, 81, 5, "Alt+Shift+Q"},
        {{{Qt::Key_F5, Qt::ControlModifier}}, 116, 2, "Ctrl+F5"},
        {{{Qt::Key_Ampersand, Qt::ControlModifier | Qt::ShiftModifier}}, 55, 6, "Ctrl+Shift+7 as typed"},
        {{{Qt::Key_5, Qt::ControlModifier | Qt::KeypadModifier}}, 101, 2, "Ctrl+keypad 5"},
        {{{Qt::Key_Print, Qt::NoModifier}}, 44, 0, "Print alone"},
        {{{Qt::Key_Minus, Qt::ControlModifier}}, 189, 2, "Ctrl+-"},
        {{{Qt::Key_A, Qt::ControlModifier}, {Qt::Key_PageUp, Qt::ShiftModifier}},
         33,
         4,
         "the last press wins"},
        {{}, 70, 6, "nothing pressed"},
        // No stored bit for Super: refused, never recorded as the bare key.
        {{{Qt::Key_S, Qt::MetaModifier}}, 70, 6, "Super+S refused"},
        {{{Qt::Key_S, Qt::MetaModifier | Qt::ControlModifier}}, 70, 6, "Ctrl+Super+S refused"},
        {{{Qt::Key_A, Qt::ControlModifier}, {Qt::Key_S, Qt::MetaModifier}}, 65, 2, "Super after Ctrl+A"},
    };
    for (const Recording& c : cases) {
        for (bool ok : {true, false}) {
            HotkeySetting combination{70, 6};
            CDlgInputHotKey dialog(&combination, "Capture Region");
            EXPECT_EQ(dialog.windowTitle(), "Set hot key");
            // The stored combination is what the recorder shows at first.
            EXPECT_EQ(dialog.Recorder()->keySequence(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
            for (const auto& [key, modifiers] : c.presses) QTest::keyClick(dialog.Recorder(), key, modifiers);
            ButtonText(&dialog, ok ? "OK" : "Cancel")->click();
            if (ok) {
                EXPECT_EQ(combination.Hotkey, c.key) << c.name;
                EXPECT_EQ(combination.HotkeyMask, c.mask) << c.name;
            } else {
                EXPECT_EQ(combination.Hotkey, 70) << c.name;
                EXPECT_EQ(combination.HotkeyMask, 6) << c.name;
            }
        }
    }
}

TEST(SetHotKey, EnterAndEscAloneAnswerTheDialogAndItsTextsFit) {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        HotkeySetting combination{70, 6};
        CDlgInputHotKey dialog(&combination, "Capture fix-size rectangle");
        ExpectNothingClipped(&dialog);
        QTest::keyClick(dialog.Recorder(), Qt::Key_Q, Qt::AltModifier | Qt::ShiftModifier);
        QTest::keyClick(dialog.Recorder(), key);
        EXPECT_EQ(dialog.result(), key == Qt::Key_Return ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_EQ(combination.Hotkey, key == Qt::Key_Return ? 81 : 70);
    }
}

}  // namespace
}  // namespace glimmora

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
