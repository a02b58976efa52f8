// The Edit Text dialog of a text box: its text, font, size, alignment, styles and colour.
#pragma once

#include <QDialog>

#include "editor/overlay_object.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTextEdit;

namespace glimmora {

class CXColourPicker;
class FontCombo;

class CEditTxtDlg : public QDialog {
    Q_OBJECT

  public:
    // Text and font name reach the object with at most this many characters.
    static constexpr int kMaxText = 511;
    static constexpr const char* kSizes[] = {"8",  "9",  "10", "11", "12", "14", "16",
                                             "18", "20", "24", "28", "36", "48", "72"};

    // A new object's dialog starts with "Left" and no style.
    CEditTxtDlg(TextObject& object, bool isNew, QWidget* parent = nullptr);

    QTextEdit* TextEdit() const { return text_; }
    // How many characters the text holds out of the most it may hold.
    QLabel* CountLabel() const { return count_; }
    FontCombo* FontList() const { return fonts_; }
    QLineEdit* SizeEdit() const { return sizeEdit_; }
    QComboBox* SizeList() const { return sizeList_; }
    QRadioButton* AlignButton(int index) const { return align_[index]; }
    QCheckBox* BoldBox() const { return bold_; }
    QCheckBox* ItalicBox() const { return italic_; }
    QCheckBox* UnderlineBox() const { return underline_; }
    CXColourPicker* ColourButton() const { return colour_; }

    void accept() override;

  private:
    void ShowCount();

    TextObject& object_;
    QTextEdit* text_;
    QLabel* count_;
    FontCombo* fonts_;
    QLineEdit* sizeEdit_;
    QComboBox* sizeList_;
    QRadioButton* align_[3];
    QCheckBox* bold_;
    QCheckBox* italic_;
    QCheckBox* underline_;
    CXColourPicker* colour_;
};

// The text dialog as the main frame's view host offers it: true on OK (the object then holds the answer).
bool RunEditTextDialog(TextObject& object, bool isNew, QWidget* parent);

}  // namespace glimmora
