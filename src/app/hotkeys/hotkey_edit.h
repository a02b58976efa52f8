// A key recorder for one hotkey combination, reporting it as a virtual-key code and an Alt 1 / Ctrl 2 /
// Shift 4 mask.
#pragma once

#include <QKeyCombination>
#include <QKeySequenceEdit>

namespace glimmora {

// The virtual-key code of a Qt key (the keypad flag picks the keypad's codes); 0 when it has none.
int VirtualKeyOf(QKeyCombination combination);
// The Qt key (with the keypad flag where needed) of a virtual-key code; Qt::Key_unknown when none.
QKeyCombination QtKeyOf(int virtualKey);

class HotkeyEdit : public QKeySequenceEdit {
    Q_OBJECT
  public:
    explicit HotkeyEdit(QWidget* parent = nullptr);
    // Shows a stored combination. One without a Qt key is kept as it is but shows empty.
    void SetHotkey(int key, int mask);
    int Key() const { return key_; }
    int Mask() const { return mask_; }

  protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

  private:
    int key_ = 0;
    int mask_ = 0;
};

}  // namespace glimmora
