#include "app/capture_settings/cap_setting_dlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTabWidget>
#include <QVBoxLayout>
#include <memory>

#include "app/settings/app_settings.h"
#include "ui/resize_dlg.h"

namespace glimmora {

namespace {

template <typename T>
T* Named(T* w, const QString& name) {
    w->setAccessibleName(name);
    return w;
}

QLineEdit* LabelledEdit(QGridLayout* grid, int row, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    auto* edit = Named(new QLineEdit(parent), text.trimmed());
    label->setBuddy(edit);
    grid->addWidget(label, row, 0);
    grid->addWidget(edit, row, 1);
    return edit;
}

// A number field just wide enough for the digits it may hold, at any font and scale.
void FitDigits(QLineEdit* edit, int digits) {
    const QFontMetrics metrics(edit->font());
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    const QMargins text = edit->textMargins();
    // The line edit keeps 2 pixels each side of its text, and the cursor needs one more.
    const QSize inside(metrics.horizontalAdvance(QString(digits, u'0')) + 5 + text.left() + text.right(),
                       metrics.height());
    edit->setFixedWidth(edit->style()->sizeFromContents(QStyle::CT_LineEdit, &option, inside, edit).width());
}

// A number field into value; on failure the message, the field focused, and false.
bool StoreInt(QLineEdit* edit, int& value) {
    if (ReadIntegerField(edit, value)) return true;
    ShowIntegerMessage();
    edit->setFocus();
    edit->selectAll();
    return false;
}

}  // namespace

int FormatFromText(const QString& text) {
    for (int i = 0; i < 4; ++i)
        if (text == QLatin1String(kFormatEntries[i])) return i;
    return 0;
}

// "Capture to".

CPageSave::CPageSave(QWidget* parent) : QWidget(parent) {
    auto* outer = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("Copy captured image to"), this);
    outer->addWidget(group);
    outer->addStretch(1);
    auto* box = new QVBoxLayout(group);
    clipboardBox =
        Named(new QCheckBox(QStringLiteral("To Clipborad"), group), QStringLiteral("To Clipborad"));
    box->addWidget(clipboardBox);
    editorBox = Named(new QCheckBox(QStringLiteral("To Editor / Viewer"), group),
                      QStringLiteral("To Editor / Viewer"));
    box->addWidget(editorBox);
    auto* radios = new QVBoxLayout;
    radios->setContentsMargins(24, 0, 0, 0);
    newWindowButton = Named(new QRadioButton(QStringLiteral("Create a new window"), group),
                            QStringLiteral("Create a new window"));
    replaceButton = Named(new QRadioButton(QStringLiteral("Replace image in the window"), group),
                          QStringLiteral("Replace image in the window"));
    auto* choice = new QButtonGroup(this);
    choice->addButton(newWindowButton, 0);
    choice->addButton(replaceButton, 1);
    radios->addWidget(newWindowButton);
    radios->addWidget(replaceButton);
    box->addLayout(radios);
    fileBox = Named(new QCheckBox(QStringLiteral("To File"), group), QStringLiteral("To File"));
    box->addWidget(fileBox);
    auto* grid = new QGridLayout;
    grid->setContentsMargins(24, 0, 0, 0);
    box->addLayout(grid);
    titleEdit = LabelledEdit(grid, 0, QStringLiteral("Title:"), group);
    startEdit = LabelledEdit(grid, 1, QStringLiteral("Start at:"), group);
    pathEdit = LabelledEdit(grid, 2, QStringLiteral("Image save path:"), group);
    pathEdit->setReadOnly(true);
    pathEdit->setMinimumWidth(280);
    selectButton = Named(new QPushButton(QStringLiteral("Select"), group), QStringLiteral("Select"));
    grid->addWidget(selectButton, 2, 2);
    auto* formatLabel = new QLabel(QStringLiteral("Image Format:"), group);
    formatCombo = Named(new QComboBox(group), QStringLiteral("Image Format:"));
    formatCombo->setEditable(true);
    formatCombo->setInsertPolicy(QComboBox::NoInsert);
    for (const char* entry : kFormatEntries) formatCombo->addItem(QString::fromLatin1(entry));
    formatLabel->setBuddy(formatCombo);
    grid->addWidget(formatLabel, 3, 0);
    grid->addWidget(formatCombo, 3, 1);

    connect(fileBox, &QCheckBox::clicked, this, [this] {
        StoreControls();
        ApplyEnabling();
    });
    connect(editorBox, &QCheckBox::clicked, this, [this] {
        StoreControls();
        ApplyEnabling();
    });
    connect(selectButton, &QPushButton::clicked, this, &CPageSave::ChooseFolder);
    connect(formatCombo, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) formatIndex = index;
    });
}

void CPageSave::LoadControls() {
    clipboardBox->setChecked(toClipboard != 0);
    editorBox->setChecked(toEditor != 0);
    newWindowButton->setChecked(windowChoice == 0);
    replaceButton->setChecked(windowChoice == 1);
    fileBox->setChecked(toFile != 0);
    titleEdit->setText(title);
    startEdit->setText(QString::number(startNumber));
    pathEdit->setText(path);
    formatCombo->setEditText(formatText);
}

bool CPageSave::StoreControls() {
    toClipboard = clipboardBox->isChecked();
    toEditor = editorBox->isChecked();
    windowChoice = newWindowButton->isChecked() ? 0 : replaceButton->isChecked() ? 1 : -1;
    toFile = fileBox->isChecked();
    title = titleEdit->text();
    if (!StoreInt(startEdit, startNumber)) return false;
    path = pathEdit->text();
    formatText = formatCombo->currentText();
    return true;
}

void CPageSave::ApplyEnabling() {
    const bool file = fileBox->isChecked();
    // "Select" chooses the folder of the files, so it goes with them.
    for (QWidget* w :
         {static_cast<QWidget*>(titleEdit), static_cast<QWidget*>(startEdit), static_cast<QWidget*>(pathEdit),
          static_cast<QWidget*>(selectButton), static_cast<QWidget*>(formatCombo)})
        w->setEnabled(file);
    newWindowButton->setEnabled(editorBox->isChecked());
    replaceButton->setEnabled(editorBox->isChecked());
}

// Whatever was typed on the page survives the browser.
void CPageSave::ChooseFolder() {
    StoreControls();
    const QString chosen =
        QFileDialog::getExistingDirectory(nullptr, QStringLiteral("Select a folder."), path);
    if (!chosen.isEmpty()) path = chosen;
    LoadControls();
}

// "Other".

CPageBasic::CPageBasic(QWidget* parent) : QWidget(parent) {
    auto* outer = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("Capture Setting"), this);
    outer->addWidget(group);
    outer->addStretch(1);
    auto* box = new QVBoxLayout(group);
    auto* delayRow = new QHBoxLayout;
    auto* delayLabel = new QLabel(QStringLiteral("Delay time before the capture "), group);
    delayEdit = Named(new QLineEdit(group), QStringLiteral("Delay time before the capture"));
    FitDigits(delayEdit, 10);
    delayLabel->setBuddy(delayEdit);
    delayRow->addWidget(delayLabel);
    delayRow->addWidget(delayEdit);
    delayRow->addWidget(new QLabel(QStringLiteral("milliseconds"), group));
    delayRow->addStretch(1);
    box->addLayout(delayRow);
    const auto check = [&](const char* text) {
        auto* c = Named(new QCheckBox(QString::fromLatin1(text), group), QString::fromLatin1(text));
        box->addWidget(c);
        return c;
    };
    hideBox = check("Hide Glimmora window before capture");
    restoreBox = check("Restore Glimmora window after capture");
    soundBox = check("Play sound when capture");
    cursorBox = check("Include Cursor");
    auto* fix = new QGroupBox(QStringLiteral("Fix rectangle setting"), group);
    auto* grid = new QGridLayout(fix);
    widthEdit = LabelledEdit(grid, 0, QStringLiteral("Width:"), fix);
    heightEdit = LabelledEdit(grid, 1, QStringLiteral("Height:"), fix);
    FitDigits(widthEdit, 6);
    FitDigits(heightEdit, 6);
    grid->setColumnStretch(2, 1);
    box->addWidget(fix);
}

void CPageBasic::LoadControls() {
    hideBox->setChecked(hide != 0);
    restoreBox->setChecked(restore != 0);
    soundBox->setChecked(sound != 0);
    delayEdit->setText(QString::number(delay));
    widthEdit->setText(QString::number(fixWidth));
    heightEdit->setText(QString::number(fixHeight));
    cursorBox->setChecked(cursor != 0);
}

bool CPageBasic::StoreControls() {
    hide = hideBox->isChecked();
    restore = restoreBox->isChecked();
    sound = soundBox->isChecked();
    if (!StoreInt(delayEdit, delay) || !StoreInt(widthEdit, fixWidth) || !StoreInt(heightEdit, fixHeight))
        return false;
    cursor = cursorBox->isChecked();
    return true;
}

// "Recording".

CPageRecord::CPageRecord(QWidget* parent) : QWidget(parent) {
    auto* outer = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("Screen recording"), this);
    outer->addWidget(group);
    outer->addStretch(1);
    auto* grid = new QGridLayout(group);
    const auto labelled = [&](int row, const QString& text, QWidget* field) {
        auto* label = new QLabel(text, group);
        const QString name = QString(text).remove('&').remove(':');
        Named(field, name);
        // A spin box's own text field is what a screen reader lands on.
        if (auto* edit = field->findChild<QLineEdit*>()) Named(edit, name);
        label->setBuddy(field);
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1);
    };
    formatCombo = new QComboBox(group);
    formatCombo->addItems(
        {QStringLiteral("WebM (VP9)"), QStringLiteral("MP4 (H.264)"), QStringLiteral("GIF")});
    labelled(0, QStringLiteral("&Format:"), formatCombo);
    fpsSpin = new QSpinBox(group);
    fpsSpin->setRange(1, 120);
    fpsSpin->setSuffix(QStringLiteral(" frames a second"));
    labelled(1, QStringLiteral("Frame &rate:"), fpsSpin);
    qualitySpin = new QSpinBox(group);
    qualitySpin->setRange(1, 100);
    qualitySpin->setToolTip(QStringLiteral("1 makes the smallest file, 100 the best picture"));
    labelled(2, QStringLiteral("&Quality (1-100):"), qualitySpin);
    cursorBox = Named(new QCheckBox(QStringLiteral("Record the &pointer"), group),
                      QStringLiteral("Record the pointer"));
    grid->addWidget(cursorBox, 3, 0, 1, 2);
    grid->setColumnStretch(2, 1);
}

void CPageRecord::LoadControls() {
    formatCombo->setCurrentIndex(format >= 0 && format < 3 ? format : 0);
    fpsSpin->setValue(fps);
    qualitySpin->setValue(quality);
    cursorBox->setChecked(cursor != 0);
}

bool CPageRecord::StoreControls() {
    // A spin box holds its last valid value; what was typed and not yet taken is checked here.
    for (QSpinBox* spin : {fpsSpin, qualitySpin}) {
        int value = 0;
        const QString text = spin->cleanText();
        bool ok = false;
        value = text.toInt(&ok);
        if (!ok || value < spin->minimum() || value > spin->maximum()) {
            ShowIntegerMessage();
            spin->setFocus();
            spin->selectAll();
            return false;
        }
        spin->setValue(value);
    }
    format = formatCombo->currentIndex() < 0 ? 0 : formatCombo->currentIndex();
    fps = fpsSpin->value();
    quality = qualitySpin->value();
    cursor = cursorBox->isChecked();
    return true;
}

// The dialog.

CCapSettingDlg::CCapSettingDlg(const AppSettings& v, std::string iniPath, QWidget* parent)
    : QDialog(parent), base_(v), iniPath_(std::move(iniPath)) {
    setWindowTitle(QStringLiteral("Capture Setting"));
    auto* top = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    save_ = new CPageSave;
    basic_ = new CPageBasic;
    record_ = new CPageRecord;
    tabs_->addTab(save_, QStringLiteral("Capture to"));
    tabs_->addTab(basic_, QStringLiteral("Other"));
    tabs_->addTab(record_, QStringLiteral("Recording"));
    top->addWidget(tabs_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    for (QAbstractButton* b : buttons->buttons()) b->setAccessibleName(b->text().remove('&'));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    top->addWidget(buttons);

    save_->toClipboard = v.CopyToClipboard;
    save_->toEditor = v.CapAppViewMode != 2;
    save_->windowChoice = v.CapAppViewMode == 2 ? 0 : v.CapAppViewMode;
    save_->toFile = v.IsAudoSave;
    save_->title = QString::fromStdString(v.ImageSaveTitle);
    save_->startNumber = v.StartNum;
    save_->path = QString::fromStdString(v.ImageSavePath);
    save_->formatIndex = v.ImageFormat;
    save_->formatText = v.ImageFormat >= 0 && v.ImageFormat < 4
                            ? QString::fromLatin1(kFormatEntries[v.ImageFormat])
                            : QString();
    basic_->delay = v.CapDelayTime;
    basic_->hide = v.HideWndBeforCap;
    basic_->restore = v.RestoreWndAftCap;
    basic_->sound = v.PlaySoundWhenCap;
    basic_->cursor = v.IncludeCursor;
    basic_->fixWidth = v.FixRectWidth;
    basic_->fixHeight = v.FixRectHeight;
    record_->format = v.RecordFormat;
    record_->fps = v.RecordFps;
    record_->quality = v.RecordQuality;
    record_->cursor = v.RecordCursor;
    record_->LoadControls();
    save_->LoadControls();
    save_->formatCombo->setCurrentIndex(v.ImageFormat >= 0 && v.ImageFormat < 4 ? v.ImageFormat : -1);
    save_->formatCombo->setEditText(save_->formatText);
    basic_->LoadControls();
    save_->ApplyEnabling();
    tabs_->setCurrentIndex(0);

    // Leaving a tab keeps what was typed there; a number that is not one keeps the user on the tab.
    auto shown = std::make_shared<int>(0);
    connect(tabs_, &QTabWidget::currentChanged, this, [this, shown](int index) {
        const int left = *shown;
        if (StorePage(left)) {
            *shown = index;
            return;
        }
        const QSignalBlocker block(tabs_);
        tabs_->setCurrentIndex(left);
    });
}

bool CCapSettingDlg::StorePage(int index) {
    switch (index) {
        case 0:
            return save_->StoreControls();
        case 1:
            return basic_->StoreControls();
        case 2:
            return record_->StoreControls();
        default:
            return true;
    }
}

AppSettings CCapSettingDlg::RecordValues() const {
    AppSettings v = base_;
    v.CopyToClipboard = save_->toClipboard;
    v.CapAppViewMode = save_->toEditor ? save_->windowChoice : 2;
    v.IsAudoSave = save_->toFile;
    v.ImageSaveTitle = CutToFit(save_->title.toStdString(), AppSettings::kMaxSaveTitle);
    v.ImageSavePath = CutToFit(save_->path.toStdString(), AppSettings::kMaxSavePath);
    v.StartNum = save_->startNumber;
    v.ImageFormat = save_->formatIndex;
    v.CapDelayTime = basic_->delay;
    v.HideWndBeforCap = basic_->hide;
    v.RestoreWndAftCap = basic_->restore;
    v.PlaySoundWhenCap = basic_->sound;
    v.IncludeCursor = basic_->cursor;
    v.FixRectWidth = basic_->fixWidth;
    v.FixRectHeight = basic_->fixHeight;
    v.RecordFormat = record_->format;
    v.RecordFps = record_->fps;
    v.RecordQuality = record_->quality;
    v.RecordCursor = record_->cursor;
    return v;
}

AppSettings CCapSettingDlg::FileValues() const {
    AppSettings v = RecordValues();
    v.ImageFormat = FormatFromText(save_->formatText);
    return v;
}

void CCapSettingDlg::accept() {
    // Both pages hold the values the user sees; a field that is not a number keeps the dialog open on
    // its tab and nothing is written.
    for (int i : {2, 1, 0}) {
        if (!StorePage(i)) {
            const QSignalBlocker block(tabs_);
            tabs_->setCurrentIndex(i);
            return;
        }
    }
    WriteCaptureDialogSettings(FileValues(), iniPath_);
    QDialog::accept();
}

bool RunCaptureSettings(QWidget* parent, AppSettings& record, const std::string& iniPath) {
    CCapSettingDlg dialog(record, iniPath, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    TakeCaptureDialogSettings(record, dialog.RecordValues());
    return true;
}

}  // namespace glimmora
