// The "Capture Setting" dialog: where captures go and how they are taken, on two tabs.
#pragma once

#include <QDialog>
#include <QString>
#include <string>

#include "capture/settings_record.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;

namespace glimmora {

// The format entries, in their stored order.
inline constexpr const char* kFormatEntries[4] = {"bmp(*.bmp)", "jpeg(*.jpg)", "png(*.png)", "gif(*.gif)"};
// The stored format of a format text: exact entries only, anything else is bmp.
int FormatFromText(const QString& text);

// Tab "Capture to".
class CPageSave : public QWidget {
    Q_OBJECT

  public:
    explicit CPageSave(QWidget* parent = nullptr);

    // Page fields.
    int toClipboard = 0, toEditor = 1, windowChoice = 0, toFile = 0;
    QString title, path, formatText;
    int startNumber = 1;
    int formatIndex = 0;

    void LoadControls();
    // In exchange order; stops at a number field that holds no whole number (false, the message
    // shown, that field focused).
    bool StoreControls();
    // The auto-save fields and "Select" follow "To File", the two choices "To Editor / Viewer".
    void ApplyEnabling();

    QCheckBox *clipboardBox, *editorBox, *fileBox;
    QRadioButton *newWindowButton, *replaceButton;
    QLineEdit *titleEdit, *startEdit, *pathEdit;
    QPushButton* selectButton;
    QComboBox* formatCombo;

  private:
    void ChooseFolder();
};

// Tab "Other".
class CPageBasic : public QWidget {
    Q_OBJECT

  public:
    explicit CPageBasic(QWidget* parent = nullptr);

    int delay = 500, hide = 0, restore = 0, sound = 0, cursor = 0, fixWidth = 100, fixHeight = 100;

    void LoadControls();
    bool StoreControls();

    QLineEdit *delayEdit, *widthEdit, *heightEdit;
    QCheckBox *hideBox, *restoreBox, *soundBox, *cursorBox;
};

// Tab "Recording": the screen recordings' format, frame rate, quality and pointer.
class CPageRecord : public QWidget {
    Q_OBJECT

  public:
    explicit CPageRecord(QWidget* parent = nullptr);

    int format = 0, fps = 30, quality = 70, cursor = 1;

    void LoadControls();
    // False (the message shown, the field focused) for a frame rate or quality that is no whole number
    // or out of its range.
    bool StoreControls();

    QComboBox* formatCombo;
    QSpinBox *fpsSpin, *qualitySpin;
    QCheckBox* cursorBox;
};

class CCapSettingDlg : public QDialog {
    Q_OBJECT

  public:
    // Filled from values; OK writes to the file at iniPath.
    CCapSettingDlg(const AppSettings& values, std::string iniPath, QWidget* parent = nullptr);

    // What OK writes (the format from the combo's text) and what the frame takes back (the format from
    // the chosen entry).
    AppSettings FileValues() const;
    AppSettings RecordValues() const;

    QTabWidget* Tabs() const { return tabs_; }
    CPageSave* SavePage() const { return save_; }
    CPageBasic* BasicPage() const { return basic_; }
    CPageRecord* RecordPage() const { return record_; }

    void accept() override;

  private:
    AppSettings base_;
    std::string iniPath_;
    QTabWidget* tabs_;
    CPageSave* save_;
    CPageBasic* basic_;
    CPageRecord* record_;
    // Stores the page at index into its fields; false when a field holds no valid value.
    bool StorePage(int index);
};

// Command 32795: the dialog filled from the record; on OK config.ini at iniPath holds the new values
// and so does the record (delays below 800 ms raised there). False when cancelled: nothing changes.
bool RunCaptureSettings(QWidget* parent, AppSettings& record, const std::string& iniPath);

}  // namespace glimmora
