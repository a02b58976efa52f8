#include "app/hotkeys/dlg_input_hotkey.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/hotkeys/dialog_units.h"
#include "app/hotkeys/hotkey_edit.h"

namespace glimmora {

CDlgInputHotKey::CDlgInputHotKey(HotkeySetting* combination, const QString& title, QWidget* parent)
    : QDialog(parent), combination_(combination) {
    setWindowTitle(QStringLiteral("Set hot key"));
    auto* prompt = new QLabel(QStringLiteral("Please press the combination that will set"), this);
    label_ = new QLabel(title + QStringLiteral(" hot key!"), this);
    recorder_ = new HotkeyEdit(this);
    recorder_->setMinimumWidth(DialogUnitsX(this, 136));
    // The recorder has no text of its own; the label says what it sets.
    recorder_->setAccessibleName(label_->text());
    if (auto* line = recorder_->findChild<QLineEdit*>()) line->setAccessibleName(label_->text());
    label_->setBuddy(recorder_);
    if (combination_) recorder_->SetHotkey(combination_->Hotkey, combination_->HotkeyMask);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok->setDefault(true);
    for (QPushButton* b : {ok, cancel}) b->setMinimumWidth(DialogUnitsX(this, 50));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* left = new QVBoxLayout;
    left->addWidget(prompt);
    left->addWidget(label_);
    left->addWidget(recorder_);
    auto* right = new QVBoxLayout;
    right->addWidget(ok);
    right->addWidget(cancel);
    right->addStretch();
    auto* layout = new QGridLayout(this);
    layout->addLayout(left, 0, 0);
    layout->setColumnMinimumWidth(1, DialogUnitsX(this, 16));
    layout->addLayout(right, 0, 2);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    recorder_->setFocus();
}

void CDlgInputHotKey::accept() {
    // Stored as recorded, whatever it is: without modifiers, or empty.
    if (combination_) {
        combination_->Hotkey = recorder_->Key();
        combination_->HotkeyMask = recorder_->Mask();
    }
    QDialog::accept();
}

}  // namespace glimmora
