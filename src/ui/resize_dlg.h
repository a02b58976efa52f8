// The Resize dialog: the new width and height, kept in proportion if asked, and the quality.
#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace glimmora {

// The framework's message for a field that must hold a whole number, shown without an owner window.
void ShowIntegerMessage();
// The whole number a field holds (spaces around it allowed); nullopt-like false when none.
bool ReadIntegerField(const QLineEdit* edit, int& value);

class CResizeDlg : public QDialog {
    Q_OBJECT

  public:
    CResizeDlg(int width, int height, QWidget* parent = nullptr);

    // After OK.
    int width, height;
    int keepAspect = 1;
    int quality = 1;  // 0 Good, 1 Better

    QLineEdit* WidthEdit() const { return widthEdit_; }
    QLineEdit* HeightEdit() const { return heightEdit_; }
    QCheckBox* KeepAspectBox() const { return keepBox_; }
    QRadioButton* GoodButton() const { return good_; }
    QRadioButton* BetterButton() const { return better_; }

    void accept() override;

  private:
    // Both edits' rules: with Keep Aspect the other field follows the one typed into.
    void WidthChanged();
    void HeightChanged();
    // Writes a followed field without running its own rule.
    void Follow(QLineEdit* edit, int value);
    void LoadControls();
    // Reads what parses; false at the first field that holds no whole number.
    bool StoreControls(bool report);

    int startWidth_, startHeight_;
    QLineEdit* widthEdit_;
    QLineEdit* heightEdit_;
    QCheckBox* keepBox_;
    QRadioButton* good_;
    QRadioButton* better_;
    bool following_ = false;
};

// Rounds half away from zero: a * b / c with the product in integers.
int ScaleRounded(int a, int b, int c);

}  // namespace glimmora
