// The "Capture Setting" dialog: filling and enabling, what OK writes to config.ini and hands back to the
// record, the integer check, the folder chooser, and Cancel leaving the file alone.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <functional>
#include <vector>

#include "app/capture_settings/cap_setting_dlg.h"
#include "app/settings/app_settings.h"
#include "temp_dir.h"

namespace glimmora {
namespace {

using test::ReadText;
using test::TempDir;
using test::WriteText;

// Calls answer with the next modal window of type T once it is up (the code under test runs its exec()).
template <typename T>
void AnswerModal(std::function<void(T*)> answer) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            answer(w);
        }
    });
    timer->start();
}

AppSettings Record() {
    AppSettings s;
    s.CapAppViewMode = 2;
    s.IsAudoSave = 0;
    s.ImageSavePath = "/tmp/shots";
    s.ImageSaveTitle = "Snap";
    s.StartNum = 7;
    s.ImageFormat = 1;
    s.CapDelayTime = 500;
    return s;
}

TEST(CaptureSettingsDialog, OpensOnCaptureToWithTheEnablingRules) {
    CCapSettingDlg dialog(Record(), "/nonexistent/config.ini");
    EXPECT_EQ(dialog.Tabs()->currentIndex(), 0);
    EXPECT_EQ(dialog.Tabs()->tabText(0), "Capture to");
    EXPECT_EQ(dialog.Tabs()->tabText(1), "Other");
    CPageSave* page = dialog.SavePage();
    // Auto-save off: its fields are off, "Select" with them; "To File" turns them all on.
    const std::vector<QWidget*> fileControls{page->titleEdit, page->startEdit, page->pathEdit,
                                             page->selectButton, page->formatCombo};
    for (QWidget* w : fileControls) EXPECT_FALSE(w->isEnabled()) << w->accessibleName().toStdString();
    dialog.show();
    page->fileBox->click();
    for (QWidget* w : fileControls) EXPECT_TRUE(w->isEnabled()) << w->accessibleName().toStdString();
    page->fileBox->click();
    EXPECT_FALSE(page->selectButton->isEnabled());
    // Mode 2: not to the editor, both choices off, the first one selected.
    EXPECT_FALSE(page->editorBox->isChecked());
    EXPECT_FALSE(page->newWindowButton->isEnabled());
    EXPECT_FALSE(page->replaceButton->isEnabled());
    EXPECT_TRUE(page->newWindowButton->isChecked());
    EXPECT_EQ(page->formatCombo->currentText(), "jpeg(*.jpg)");
    EXPECT_EQ(page->startEdit->text(), "7");

    // Every control carries its text for assistive technology.
    for (QWidget* w : dialog.findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) ||
                             (qobject_cast<QLineEdit*>(w) && !qobject_cast<QComboBox*>(w->parentWidget())) ||
                             qobject_cast<QComboBox*>(w);
        if (control && !qobject_cast<QTabBar*>(w->parentWidget())) {
            EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className();
        }
    }

    page->fileBox->click();
    EXPECT_TRUE(page->titleEdit->isEnabled());
    EXPECT_TRUE(page->formatCombo->isEnabled());
    page->editorBox->click();
    EXPECT_TRUE(page->replaceButton->isEnabled());
}

TEST(CaptureSettingsDialog, OkWritesInOrderAndTheRecordTakesItBack) {
    struct Row {
        const char* name;
        std::function<void(CCapSettingDlg&)> edit;
        int fileMode, fileFormat, fileDelay;  // in config.ini
        int recordMode, recordFormat, recordDelay;
    };
    const Row rows[] = {
        {"editor on", [](CCapSettingDlg& d) { d.SavePage()->editorBox->click(); }, 0, 1, 500, 0, 1, 800},
        {"replace",
         [](CCapSettingDlg& d) {
             d.SavePage()->editorBox->click();
             d.SavePage()->replaceButton->click();
         },
         1, 1, 500, 1, 1, 800},
        {"png typed", [](CCapSettingDlg& d) { d.SavePage()->formatCombo->setEditText("png(*.png)"); }, 2, 2,
         500, 2, 1, 800},
        {"other text", [](CCapSettingDlg& d) { d.SavePage()->formatCombo->setEditText("tiff"); }, 2, 0, 500,
         2, 1, 800},
        {"gif chosen", [](CCapSettingDlg& d) { d.SavePage()->formatCombo->setCurrentIndex(3); }, 2, 3, 500, 2,
         3, 800},
        {"delay 300",
         [](CCapSettingDlg& d) {
             d.Tabs()->setCurrentIndex(1);
             d.BasicPage()->delayEdit->setText("300");
         },
         2, 1, 300, 2, 1, 800},
        {"delay 2000", [](CCapSettingDlg& d) { d.BasicPage()->delayEdit->setText("2000"); }, 2, 1, 2000, 2, 1,
         2000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::string ini = dir.File("config.ini");
        AppSettings record = Record();
        AnswerModal<CCapSettingDlg>([&row](CCapSettingDlg* d) {
            row.edit(*d);
            d->accept();
        });
        ASSERT_TRUE(RunCaptureSettings(nullptr, record, ini));
        AppSettings file;
        LoadAppSettings(file, ini);
        EXPECT_EQ(file.CapAppViewMode, row.fileMode);
        EXPECT_EQ(file.ImageFormat, row.fileFormat);
        EXPECT_EQ(record.CapAppViewMode, row.recordMode);
        EXPECT_EQ(record.ImageFormat, row.recordFormat);
        EXPECT_EQ(record.CapDelayTime, row.recordDelay);
        // Written in the stored order, the delay as typed.
        const std::string text = ReadText(ini);
        const std::string expected =
            "[CaptureSet]\nHideWndBeforCap=0\nRestoreWndAftCap=0\nPlaySoundWhenCap=0\nIncludeCursor=0\n"
            "CapAppViewMode=" +
            std::to_string(row.fileMode) +
            "\nCopyToClipboard=0\nCapDelayTime=" + std::to_string(row.fileDelay) +
            "\nFixRectWidth=100\nFixRectHeight=100\n[AudoSaveSet]\nIsAudoSave=0\nImageFormat=" +
            std::to_string(row.fileFormat) +
            "\nImageSavePath=/tmp/shots\nImageSaveTitle=Snap\nStartNum=7\n"
            "[RecordSet]\nFormat=0\nFrameRate=30\nQuality=70\nCursor=1\n";
        EXPECT_EQ(text, expected);
    }
}

TEST(CaptureSettingsDialog, ANumberThatIsNotOneKeepsTheDialogOpenAndWritesNothing) {
    TempDir dir;
    const std::string ini = dir.File("config.ini");
    const std::string before = "; kept as it is\n[CaptureSet]\r\nCapDelayTime = 900\n\n[Other]\nx=1\n";
    WriteText(ini, before);
    struct Row {
        const char* name;
        std::function<QLineEdit*(CCapSettingDlg&)> field;
        int tab;
    };
    const Row rows[] = {
        {"start", [](CCapSettingDlg& d) { return d.SavePage()->startEdit; }, 0},
        {"delay", [](CCapSettingDlg& d) { return d.BasicPage()->delayEdit; }, 1},
        {"height", [](CCapSettingDlg& d) { return d.BasicPage()->heightEdit; }, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CCapSettingDlg dialog(Record(), ini);
        dialog.show();
        row.field(dialog)->setText("12a");
        QString message;
        AnswerModal<QMessageBox>([&](QMessageBox* box) {
            message = box->text();
            box->accept();
        });
        dialog.accept();
        EXPECT_EQ(message, "Please enter an integer.");
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.Tabs()->currentIndex(), row.tab);
        EXPECT_EQ(ReadText(ini), before);
        // Mended, OK goes through.
        row.field(dialog)->setText("640");
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_NE(ReadText(ini), before);
        WriteText(ini, before);
    }
}

TEST(CaptureSettingsDialog, CancelLeavesFileAndRecord) {
    TempDir dir;
    const std::string ini = dir.File("config.ini");
    const std::string before = "[CaptureSet]\nCapDelayTime=900\n[AudoSaveSet]\nImageSaveTitle=Mine\n";
    WriteText(ini, before);
    AppSettings record = Record();
    AnswerModal<CCapSettingDlg>([](CCapSettingDlg* d) {
        d->SavePage()->clipboardBox->click();
        d->BasicPage()->delayEdit->setText("1234");
        d->reject();
    });
    EXPECT_FALSE(RunCaptureSettings(nullptr, record, ini));
    EXPECT_EQ(ReadText(ini), before);
    EXPECT_EQ(record.CapDelayTime, 500);
    EXPECT_EQ(record.CopyToClipboard, 0);
}

// The fixed rectangle's fields and the delay hold their longest numbers whole, and no more than that.
TEST(CaptureSettingsDialog, NumberFieldsFitTheirDigits) {
    CCapSettingDlg dialog(Record(), "/nonexistent/config.ini");
    dialog.Tabs()->setCurrentIndex(1);
    dialog.show();
    CPageBasic* page = dialog.BasicPage();
    const struct {
        QLineEdit* edit;
        const char* longest;
    } rows[] = {{page->widthEdit, "999999"}, {page->heightEdit, "999999"}, {page->delayEdit, "9999999999"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.edit->accessibleName().toStdString());
        row.edit->setText(row.longest);
        const int text = row.edit->fontMetrics().horizontalAdvance(QString::fromLatin1(row.longest));
        // Room inside the frame and the line edit's own 2-pixel margins.
        const int room = row.edit->contentsRect().width() - row.edit->textMargins().left() -
                         row.edit->textMargins().right() - 4;
        EXPECT_GE(room, text);
        EXPECT_LE(row.edit->width(), text + 4 * row.edit->fontMetrics().averageCharWidth() + 16);
    }
}

TEST(CaptureSettingsDialog, ChoosingAFolderKeepsWhatWasTyped) {
    TempDir dir;
    AppSettings record = Record();
    record.IsAudoSave = 1;
    CCapSettingDlg dialog(record, dir.File("config.ini"));
    dialog.show();
    CPageSave* page = dialog.SavePage();
    page->titleEdit->setText("Typed");
    QString title;
    AnswerModal<QFileDialog>([&](QFileDialog* browser) {
        title = browser->windowTitle();
        browser->selectFile(QString::fromStdString(dir.Path()));
        static_cast<QDialog*>(browser)->accept();
    });
    page->selectButton->click();
    EXPECT_EQ(title, "Select a folder.");
    EXPECT_EQ(page->titleEdit->text(), "Typed");
    EXPECT_EQ(page->pathEdit->text().toStdString(), dir.Path());
    AnswerModal<QFileDialog>([&](QFileDialog* browser) { browser->reject(); });
    page->selectButton->click();
    EXPECT_EQ(page->pathEdit->text().toStdString(), dir.Path());
    dialog.accept();
    AppSettings file;
    LoadAppSettings(file, dir.File("config.ini"));
    EXPECT_EQ(file.ImageSaveTitle, "Typed");
    EXPECT_EQ(file.ImageSavePath, dir.Path());
}

}  // namespace
}  // namespace glimmora

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
