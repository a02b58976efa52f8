#include "app/hotkeys/def_hotkey_dlg.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/hotkeys/dialog_units.h"
#include "app/hotkeys/dlg_input_hotkey.h"
#include "app/hotkeys/hotkey_text.h"
#include "app/settings/app_settings.h"
#include "platform/hotkeys.h"

namespace glimmora {

const char* const CDefHotKeyDlg::kLabels[kHotkeyModeCount] = {"Capture full screen",
                                                              "Capture window / object",
                                                              "Capture active Window",
                                                              "Capture rectangle region",
                                                              "Capture scrolling window",
                                                              "Capture fix-size Rectangle",
                                                              "Capture text",
                                                              "Capture current screen"};
const char* const CDefHotKeyDlg::kTitles[kHotkeyModeCount] = {
    "Capture full screen", "Capture Windows",          "Capture Active Window",
    "Capture Region",      "Capture scrolling window", "Capture fix-size rectangle",
    "Capture Text",        "Capture Current Screen"};

const char* const CDefHotKeyDlg::kCommands[kHotkeyModeCount] = {
    "glimmora --capture full",   "glimmora --capture window", "glimmora --capture active",
    "glimmora --capture region", "glimmora --capture scroll", "glimmora --capture fixed",
    "glimmora --capture text",   "glimmora --capture screen"};

namespace {
// Text and current-screen captures have no default combination: they stay off until the user records one.
constexpr int kDefaultKeys[kHotkeyModeCount] = {'F', 'W', 'A', 'R', 'S', 'X', 0, 0};
}  // namespace

CDefHotKeyDlg::CDefHotKeyDlg(const std::string& iniPath, QWidget* parent, const QString& noHotkeys)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Define hot key"));
    ini_.SetPath(iniPath.c_str());
    for (int mode = 0; mode < kHotkeyModeCount; ++mode) {
        hotkeys_[mode].Hotkey = ini_.ReadInt(kHotkeySections[mode], "Hotkey", 0);
        hotkeys_[mode].HotkeyMask = ini_.ReadInt(kHotkeySections[mode], "HotkeyMask", 0);
    }

    auto* group = new QGroupBox(this);
    auto* grid = new QGridLayout(group);
    grid_ = grid;
    grid->setColumnMinimumWidth(0, DialogUnitsX(this, 26));
    grid->setColumnMinimumWidth(2, DialogUnitsX(this, 6));
    for (int mode = 0; mode < kHotkeyModeCount; ++mode) {
        auto* label = new QLabel(QString::fromLatin1(kLabels[mode]), group);
        auto* button = new QPushButton(group);
        button->setMinimumWidth(DialogUnitsX(this, 103));
        // The button's text is the combination; the label tells which mode it belongs to.
        button->setAccessibleDescription(label->text());
        label->setBuddy(button);
        connect(button, &QPushButton::clicked, this, [this, mode] {
            RecordHotkey(mode);
            ShowTexts();
        });
        grid->addWidget(label, mode, 1);
        grid->addWidget(button, mode, 3);
        buttons_[mode] = button;
    }
    grid->setColumnStretch(4, 1);
    QLabel* why = nullptr;
    if (!noHotkeys.isEmpty()) {
        why = new QLabel(
            QStringLiteral("Hotkeys cannot be taken on this desktop: %1.\n"
                           "Bind these commands to keys in the desktop's keyboard settings instead.")
                .arg(noHotkeys),
            this);
        grid->setColumnMinimumWidth(5, DialogUnitsX(this, 12));
        for (int mode = 0; mode < kHotkeyModeCount; ++mode) {
            const QString command = QString::fromLatin1(kCommands[mode]);
            auto* text = new QLabel(command, group);
            text->setTextInteractionFlags(Qt::TextSelectableByMouse);
            auto* copy = new QPushButton(QStringLiteral("Copy"), group);
            copy->setAccessibleName(QStringLiteral("Copy ") + command);
            copy->setAutoDefault(false);
            connect(copy, &QPushButton::clicked, this,
                    [command] { QGuiApplication::clipboard()->setText(command); });
            grid->addWidget(text, mode, 6);
            grid->addWidget(copy, mode, 7);
            copyButtons_[mode] = copy;
        }
    }

    auto* defaults = new QPushButton(QStringLiteral("Default"), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok->setDefault(true);
    for (QPushButton* b : {defaults, ok, cancel}) {
        b->setMinimumWidth(DialogUnitsX(this, 50));
        // Only OK takes Enter, as the dialog's default button.
        if (b != ok) b->setAutoDefault(false);
    }
    for (QPushButton* b : buttons_) b->setAutoDefault(false);
    connect(defaults, &QPushButton::clicked, this, &CDefHotKeyDlg::SetDefaults);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(defaults);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout_ = layout;
    if (why) layout->addWidget(why);
    layout->addWidget(group);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    ShowTexts();
}

void CDefHotKeyDlg::ShowDesktopBindings(const QStringList& texts) {
    for (int mode = 0; mode < kHotkeyModeCount; ++mode) {
        if (!desktopLabels_[mode]) {
            desktopLabels_[mode] = new QLabel(grid_->parentWidget());
            grid_->setColumnMinimumWidth(8, DialogUnitsX(this, 6));
            grid_->addWidget(desktopLabels_[mode], mode, 9);
        }
        desktopLabels_[mode]->setText(texts.value(mode));
        desktopLabels_[mode]->setAccessibleName(QString::fromLatin1(kLabels[mode]) + ": " +
                                                texts.value(mode));
    }
}

void CDefHotKeyDlg::OfferGnomeShortcuts(bool present, bool known) {
    if (!gnomeCheck_) {
        gnomeCheck_ = new QCheckBox(QStringLiteral("Add these keys to GNOME's keyboard shortcuts"), this);
        gnomeCheck_->setToolTip(
            QStringLiteral("Glimmora writes one custom shortcut per capture into GNOME's keyboard settings, "
                           "running its command; your other shortcuts stay as they are."));
        layout_->insertWidget(layout_->count() - 1, gnomeCheck_);
    }
    gnomeCheck_->setChecked(present);
    gnomeCheck_->setEnabled(known);
}

bool CDefHotKeyDlg::GnomeShortcutsWanted() const {
    return gnomeCheck_ && gnomeCheck_->isChecked();
}

void CDefHotKeyDlg::ShowTexts() {
    for (int mode = 0; mode < kHotkeyModeCount; ++mode)
        buttons_[mode]->setText(FormatHotkeyText(hotkeys_[mode].Hotkey, hotkeys_[mode].HotkeyMask));
}

void CDefHotKeyDlg::SetDefaults() {
    for (int mode = 0; mode < kHotkeyModeCount; ++mode)
        hotkeys_[mode] =
            kDefaultKeys[mode] == 0
                ? HotkeySetting{}
                : HotkeySetting{kDefaultKeys[mode], static_cast<int32_t>(kHotkeyCtrl | kHotkeyShift)};
    ShowTexts();
}

void CDefHotKeyDlg::RecordHotkey(int mode) {
    CDlgInputHotKey dialog(&hotkeys_[mode], QString::fromLatin1(kTitles[mode]), this);
    dialog.exec();
}

void CDefHotKeyDlg::accept() {
    // A failed write does not keep the dialog open; the settings store reports it.
    AppSettings values;
    for (int mode = 0; mode < kHotkeyModeCount; ++mode) values.hotkeys[mode] = hotkeys_[mode];
    WriteHotkeySettings(values, ini_.Path() ? ini_.Path() : "");
    QDialog::accept();
}

}  // namespace glimmora
