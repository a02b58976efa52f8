// A combo box of ten named colours and "Custom...", each entry holding its colour.
#pragma once

#include <QComboBox>

#include "editor/overlay_object.h"

namespace glimmora {

class ColourCombo : public QComboBox {
    Q_OBJECT
  public:
    explicit ColourCombo(QWidget* parent = nullptr);

    // The colour of an entry (its item data); the selected one when index is -1.
    ColorRef ColourAt(int index = -1) const;
    int CustomIndex() const { return count() - 1; }

  private:
    void Chosen(int index);
    void ShowColour(int index);
};

}  // namespace glimmora
