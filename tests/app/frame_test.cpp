// The main frame's pieces that need no desktop: the start-up entry, the close prompt's keys, filters.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "app/frame/autorun.h"
#include "app/frame/exit_hint_dlg.h"
#include "app/frame/tavrik_app.h"
#include "editor/document_host.h"

namespace {

class AutoRunTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        old_ = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", home_.path().toUtf8());
    }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", old_); }
    std::string Entry() const { return glimmora::AutostartFilePath("Glimmora"); }

    QTemporaryDir home_;
    QByteArray old_;
};

TEST_F(AutoRunTest, WritesOnlyWhenThePathDiffersAndRemoves) {
    EXPECT_EQ(Entry(), home_.path().toStdString() + "/autostart/Glimmora.desktop");
    EXPECT_FALSE(glimmora::RemoveAutoRun("Glimmora"));  // none yet
    ASSERT_TRUE(glimmora::SetAutoRun("Glimmora", "/opt/glimmora/glimmora"));
    EXPECT_EQ(glimmora::ReadAutoRun("Glimmora"), "/opt/glimmora/glimmora");
    struct stat before {};
    ASSERT_EQ(stat(Entry().c_str(), &before), 0);
    // The same path: nothing written (the replace-by-rename would give a new inode).
    ASSERT_TRUE(glimmora::SetAutoRun("Glimmora", "/opt/glimmora/glimmora"));
    struct stat same {};
    ASSERT_EQ(stat(Entry().c_str(), &same), 0);
    EXPECT_EQ(same.st_ino, before.st_ino);
    // Compared exactly, case included: a start from elsewhere rewrites it.
    ASSERT_TRUE(glimmora::SetAutoRun("Glimmora", "/opt/Glimmora/glimmora"));
    EXPECT_EQ(glimmora::ReadAutoRun("Glimmora"), "/opt/Glimmora/glimmora");
    EXPECT_TRUE(glimmora::RemoveAutoRun("Glimmora"));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Entry())));
}

TEST_F(AutoRunTest, PathsWithAwkwardCharactersSurviveTheExecLine) {
    for (const std::string path : {"/home/a b/glimmora", "/x/100%/glimmora", "/x/\"q\"/$HOME/glim\\mora",
                                   "/x/back`tick`/g;rm", "/plain/path"}) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(glimmora::SetAutoRun("Glimmora", path));
        EXPECT_EQ(glimmora::ReadAutoRun("Glimmora"), path);
    }
    EXPECT_EQ(glimmora::QuoteExecArgument("/home/a b/g"), "\"/home/a b/g\"");
    EXPECT_EQ(glimmora::QuoteExecArgument("/plain/path"), "/plain/path");
}

// Enter and Escape must never let the close go on past a changed picture.
TEST(ExitHintDialog, EnterAndEscapeAnswerCancelAndTheButtonsTheirOwnIds) {
    struct Case {
        int key;
        const char* button;
        int expected;
    } cases[] = {{Qt::Key_Return, nullptr, glimmora::CExitHintDlg::kCancel},
                 {Qt::Key_Enter, nullptr, glimmora::CExitHintDlg::kCancel},
                 {Qt::Key_Escape, nullptr, glimmora::CExitHintDlg::kCancel},
                 {0, "Yes", glimmora::CExitHintDlg::kYes},
                 {0, "No", glimmora::CExitHintDlg::kNo},
                 {0, "Save None", glimmora::CExitHintDlg::kSaveNone},
                 {0, "Cancel", glimmora::CExitHintDlg::kCancel}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button ? c.button : "key");
        glimmora::CExitHintDlg dialog("Capture1");
        QTimer::singleShot(0, &dialog, [&] {
            if (c.button) {
                for (QPushButton* b : dialog.findChildren<QPushButton*>())
                    if (b->text() == c.button) b->click();
                return;
            }
            // Sent to a focused button, as a user's key would arrive.
            QWidget* target = dialog.focusWidget() ? dialog.focusWidget() : &dialog;
            QKeyEvent press(QEvent::KeyPress, c.key, Qt::NoModifier);
            QApplication::sendEvent(target, &press);
        });
        EXPECT_EQ(dialog.exec(), c.expected);
        EXPECT_EQ(dialog.windowTitle(), "Save image");
    }
}

TEST(FileFilters, TheStoredNotationBecomesQtFilters) {
    EXPECT_EQ(glimmora::QtFileFilter("BMP (*.bmp)|*.bmp|JPEG (*.jpg, *.jpeg)|*.jpg;*.jpeg||"),
              "BMP (*.bmp);;JPEG (*.jpg *.jpeg)");
    // Each name shows its patterns once.
    const QString save = glimmora::QtFileFilter(glimmora::kSaveFilter);
    EXPECT_EQ(save.count("*.bmp"), 1) << save.toStdString();
    EXPECT_EQ(save.count("*.tiff"), 1) << save.toStdString();
    EXPECT_FALSE(save.contains(',')) << save.toStdString();
    EXPECT_TRUE(glimmora::QtFileFilter(glimmora::kOpenFilter).startsWith("All Support Files ("));
}

}  // namespace

int main(int argc, char** argv) {
    // Listing the tests at build time happens without a display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
