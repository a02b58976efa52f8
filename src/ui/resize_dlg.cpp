#include "ui/resize_dlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>

namespace glimmora {

void ShowIntegerMessage() {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Glimmora"),
                    QStringLiteral("Please enter an integer."), QMessageBox::Ok);
    box.exec();
}

bool ReadIntegerField(const QLineEdit* edit, int& value) {
    bool ok = false;
    const int v = edit->text().trimmed().toInt(&ok);
    if (ok) value = v;
    return ok;
}

int ScaleRounded(int a, int b, int c) {
    if (c == 0) return 0;
    const double q = static_cast<double>(static_cast<int64_t>(a) * b) / c;
    const double r = std::round(q);  // half away from zero
    if (!(std::fabs(r) < 2147483647.0)) return q < 0 ? INT32_MIN : INT32_MAX;
    return static_cast<int>(r);
}

CResizeDlg::CResizeDlg(int w, int h, QWidget* parent)
    : QDialog(parent), width(w), height(h), startWidth_(w), startHeight_(h) {
    setWindowTitle(QStringLiteral("Resize..."));
    auto* top = new QVBoxLayout(this);
    auto* size = new QGroupBox(QStringLiteral("Size"), this);
    auto* grid = new QGridLayout(size);
    auto* widthLabel = new QLabel(QStringLiteral("Width"), size);
    auto* heightLabel = new QLabel(QStringLiteral("Height"), size);
    widthEdit_ = new QLineEdit(size);
    heightEdit_ = new QLineEdit(size);
    widthLabel->setBuddy(widthEdit_);
    heightLabel->setBuddy(heightEdit_);
    widthEdit_->setAccessibleName(widthLabel->text());
    heightEdit_->setAccessibleName(heightLabel->text());
    keepBox_ = new QCheckBox(QStringLiteral("Keep Aspect Radio"), size);
    keepBox_->setAccessibleName(keepBox_->text());
    grid->addWidget(widthLabel, 0, 0);
    grid->addWidget(widthEdit_, 0, 1);
    grid->addWidget(heightLabel, 1, 0);
    grid->addWidget(heightEdit_, 1, 1);
    grid->addWidget(keepBox_, 2, 0, 1, 2);
    top->addWidget(size);
    auto* qualityBox = new QGroupBox(QStringLiteral("Quality"), this);
    auto* row = new QHBoxLayout(qualityBox);
    good_ = new QRadioButton(QStringLiteral("Good"), qualityBox);
    better_ = new QRadioButton(QStringLiteral("Better"), qualityBox);
    good_->setAccessibleName(good_->text());
    better_->setAccessibleName(better_->text());
    row->addWidget(good_);
    row->addWidget(better_);
    top->addWidget(qualityBox);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    for (QAbstractButton* b : buttons->buttons()) b->setAccessibleName(b->text().remove('&'));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    top->addWidget(buttons);
    LoadControls();
    connect(widthEdit_, &QLineEdit::textChanged, this, &CResizeDlg::WidthChanged);
    connect(heightEdit_, &QLineEdit::textChanged, this, &CResizeDlg::HeightChanged);
}

void CResizeDlg::LoadControls() {
    // A text is only set when it differs, so an edit hears of a change only when there was one.
    const QString w = QString::number(width), h = QString::number(height);
    if (widthEdit_->text() != w) widthEdit_->setText(w);
    if (heightEdit_->text() != h) heightEdit_->setText(h);
    keepBox_->setChecked(keepAspect != 0);
    (quality == 0 ? good_ : better_)->setChecked(true);
}

bool CResizeDlg::StoreControls(bool report) {
    keepAspect = keepBox_->isChecked() ? 1 : 0;
    quality = good_->isChecked() ? 0 : 1;
    for (auto [edit, field] : {std::pair{widthEdit_, &width}, std::pair{heightEdit_, &height}}) {
        if (!ReadIntegerField(edit, *field)) {
            if (report) {
                ShowIntegerMessage();
                edit->setFocus();
                edit->selectAll();
            }
            return false;
        }
    }
    return true;
}

// While a field is being typed and holds no number yet, the rule waits for one (no message per key). Only
// the other field follows: rewriting the field being typed would fight the user's keys.
void CResizeDlg::WidthChanged() {
    if (following_ || !ReadIntegerField(widthEdit_, width) || !keepBox_->isChecked()) return;
    height = ScaleRounded(startHeight_, width, startWidth_);
    Follow(heightEdit_, height);
}

void CResizeDlg::HeightChanged() {
    if (following_ || !ReadIntegerField(heightEdit_, height) || !keepBox_->isChecked()) return;
    width = ScaleRounded(startWidth_, height, startHeight_);
    Follow(widthEdit_, width);
}

void CResizeDlg::Follow(QLineEdit* edit, int value) {
    const QString text = QString::number(value);
    if (edit->text() == text) return;
    following_ = true;
    edit->setText(text);
    following_ = false;
}

void CResizeDlg::accept() {
    if (!StoreControls(true)) return;
    QDialog::accept();
}

}  // namespace glimmora
