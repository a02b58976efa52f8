#include "ui/edit_txt_dlg.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>
#include <QVBoxLayout>

#include "ui/colour_picker.h"
#include "ui/font_combo.h"
#include "ui/resize_dlg.h"

namespace glimmora {

namespace {

// The decimal digits at the start of a text, 0 when there are none.
int LeadingNumber(const QString& text) {
    int value = 0;
    for (QChar c : text) {
        if (!c.isDigit() || value > 100000000) break;
        value = value * 10 + c.digitValue();
    }
    return value;
}

// A plain-text edit that takes no more than a set number of characters: a key that would go past it is
// refused with a beep, a paste or drop brings only what fits.
class LimitedTextEdit : public QTextEdit {
  public:
    LimitedTextEdit(int limit, QWidget* parent) : QTextEdit(parent), limit_(limit) {}

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        QString typed = event->text();
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) typed = QStringLiteral("\n");
        const bool inserts = !typed.isEmpty() && (typed.at(0).isPrint() || typed == QStringLiteral("\n") ||
                                                  typed == QStringLiteral("\t"));
        if (inserts && Room() < typed.size()) {
            QApplication::beep();
            event->accept();
            return;
        }
        QTextEdit::keyPressEvent(event);
    }
    void insertFromMimeData(const QMimeData* source) override {
        const QString text = source->text();
        const int room = Room();
        if (text.size() > room) QApplication::beep();
        if (room > 0) textCursor().insertText(text.left(room));
    }
    void inputMethodEvent(QInputMethodEvent* event) override {
        if (event->commitString().size() > Room()) {
            QApplication::beep();
            QInputMethodEvent cut(event->preeditString(), event->attributes());
            cut.setCommitString(event->commitString().left(std::max(Room(), 0)));
            QTextEdit::inputMethodEvent(&cut);
            return;
        }
        QTextEdit::inputMethodEvent(event);
    }

  private:
    // Characters that may still be added, counting the selection as gone.
    int Room() const {
        return limit_ - static_cast<int>(toPlainText().size()) +
               static_cast<int>(textCursor().selectedText().size());
    }

    int limit_;
};

template <typename T>
T* Named(T* w, const QString& name) {
    w->setAccessibleName(name);
    return w;
}

}  // namespace

CEditTxtDlg::CEditTxtDlg(TextObject& object, bool isNew, QWidget* parent) : QDialog(parent), object_(object) {
    setWindowTitle(QStringLiteral("Edit Text"));
    auto* top = new QVBoxLayout(this);

    text_ = Named(new LimitedTextEdit(kMaxText, this), QStringLiteral("Text"));
    text_->setAcceptRichText(false);
    text_->setLineWrapMode(QTextEdit::NoWrap);
    text_->setMinimumSize(360, 90);
    top->addWidget(text_, 1);
    count_ = Named(new QLabel(this), QStringLiteral("Characters"));
    count_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    top->addWidget(count_);

    auto* fontRow = new QHBoxLayout;
    top->addLayout(fontRow);
    auto* fontLabel = new QLabel(QStringLiteral("Font:"), this);
    fonts_ = Named(new FontCombo(this, 0), QStringLiteral("Font:"));
    fontLabel->setBuddy(fonts_);
    auto* sizeLabel = new QLabel(QStringLiteral("Size:"), this);
    sizeEdit_ = Named(new QLineEdit(this), QStringLiteral("Size:"));
    sizeEdit_->setMaximumWidth(sizeEdit_->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12);
    sizeLabel->setBuddy(sizeEdit_);
    sizeList_ = Named(new QComboBox(this), QStringLiteral("Size list"));
    for (const char* s : kSizes) sizeList_->addItem(QString::fromLatin1(s));
    fontRow->addWidget(fontLabel);
    fontRow->addWidget(fonts_, 1);
    fontRow->addWidget(sizeLabel);
    fontRow->addWidget(sizeEdit_);
    fontRow->addWidget(sizeList_);

    auto* styleRow = new QHBoxLayout;
    top->addLayout(styleRow);
    auto* alignGroup = new QButtonGroup(this);
    const char* alignNames[3] = {"Left", "Middle", "Right"};
    for (int i = 0; i < 3; ++i) {
        align_[i] = Named(new QRadioButton(QString::fromLatin1(alignNames[i]), this),
                          QString::fromLatin1(alignNames[i]));
        alignGroup->addButton(align_[i], i);
        styleRow->addWidget(align_[i]);
    }
    styleRow->addSpacing(12);
    bold_ = Named(new QCheckBox(QStringLiteral("Bold"), this), QStringLiteral("Bold"));
    italic_ = Named(new QCheckBox(QStringLiteral("Italic"), this), QStringLiteral("Italic"));
    underline_ = Named(new QCheckBox(QStringLiteral("Underline"), this), QStringLiteral("Underline"));
    styleRow->addWidget(bold_);
    styleRow->addWidget(italic_);
    styleRow->addWidget(underline_);
    styleRow->addSpacing(12);
    auto* colourLabel = new QLabel(QStringLiteral("Color:"), this);
    colour_ = Named(new CXColourPicker(this, 1061), QStringLiteral("Color:"));
    colourLabel->setBuddy(colour_);
    styleRow->addWidget(colourLabel);
    styleRow->addWidget(colour_);
    styleRow->addStretch(1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    for (QAbstractButton* b : buttons->buttons()) b->setAccessibleName(b->text().remove('&'));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    top->addWidget(buttons);

    // The object's values into the controls.
    text_->setPlainText(object.text.left(kMaxText));
    fonts_->SelectFace(object.fontName);
    sizeEdit_->setText(QString::number(object.fontSize));
    const QString size = QString::number(object.fontSize);
    int sizeIndex = -1;
    for (int i = 0; i < sizeList_->count() && sizeIndex < 0; ++i)
        if (sizeList_->itemText(i).startsWith(size)) sizeIndex = i;
    sizeList_->setCurrentIndex(sizeIndex);
    colour_->SetColour(object.textColour);
    const int alignment = isNew ? 0 : std::clamp(object.alignment, 0, 2);
    align_[alignment]->setChecked(true);
    bold_->setChecked(!isNew && object.bold);
    italic_->setChecked(!isNew && object.italic);
    underline_->setChecked(!isNew && object.underline);

    // About five lines of text, as the old template had; the user may make it larger.
    resize(sizeHint().width(), minimumSizeHint().height());

    ShowCount();
    connect(text_, &QTextEdit::textChanged, this, &CEditTxtDlg::ShowCount);
    connect(sizeList_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) sizeEdit_->setText(QString::number(LeadingNumber(sizeList_->itemText(index))));
    });
}

void CEditTxtDlg::ShowCount() {
    count_->setText(QStringLiteral("%1 / %2 characters").arg(text_->toPlainText().size()).arg(kMaxText));
}

void CEditTxtDlg::accept() {
    int size = 0;
    if (!ReadIntegerField(sizeEdit_, size)) {
        ShowIntegerMessage();
        sizeEdit_->setFocus();
        sizeEdit_->selectAll();
        return;
    }
    object_.textColour = colour_->GetColour();
    object_.fontName = fonts_->SelectedFace().left(kMaxText);
    object_.bold = bold_->isChecked() ? 1 : 0;
    object_.italic = italic_->isChecked() ? 1 : 0;
    object_.underline = underline_->isChecked() ? 1 : 0;
    object_.text = text_->toPlainText().left(kMaxText);
    object_.fontSize = size;
    for (int i = 0; i < 3; ++i)
        if (align_[i]->isChecked()) object_.alignment = i;
    QDialog::accept();
}

bool RunEditTextDialog(TextObject& object, bool isNew, QWidget* parent) {
    CEditTxtDlg dialog(object, isNew, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace glimmora
