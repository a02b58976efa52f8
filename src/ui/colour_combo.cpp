#include "ui/colour_combo.h"

#include <QColorDialog>
#include <QPainter>
#include <QPixmap>

#include "ui/colour_picker.h"

namespace glimmora {

namespace {

struct NamedColour {
    const char* name;
    ColorRef colour;
};
constexpr NamedColour kColours[] = {
    {"Black", Rgb(0x00, 0x00, 0x00)},     {"White", Rgb(0xFF, 0xFF, 0xFF)},
    {"Grey", Rgb(0x7F, 0x7F, 0x7F)},      {"Red", Rgb(0xFF, 0x00, 0x00)},
    {"Orange", Rgb(0xFF, 0x7F, 0x00)},    {"Yellow", Rgb(0xFF, 0xFF, 0x00)},
    {"Green", Rgb(0x00, 0xFF, 0x00)},     {"Cyan", Rgb(0x00, 0xFF, 0xFF)},
    {"Blue", Rgb(0x00, 0x00, 0xFF)},      {"Fuchsia", Rgb(0xFF, 0x00, 0xFF)},
    {"Custom...", Rgb(0xFF, 0xFF, 0xFF)},
};

}  // namespace

ColourCombo::ColourCombo(QWidget* parent) : QComboBox(parent) {
    setAccessibleName("Color");
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    const int side = fontMetrics().height();
    setIconSize(QSize(side * 3 / 2, side - 2));
    for (const NamedColour& entry : kColours) {
        addItem(entry.name, QVariant::fromValue<uint>(entry.colour));
        ShowColour(count() - 1);
    }
    setCurrentIndex(0);
    connect(this, &QComboBox::activated, this, &ColourCombo::Chosen);
}

ColorRef ColourCombo::ColourAt(int index) const {
    if (index < 0) index = currentIndex();
    return index < 0 ? 0 : itemData(index).value<uint>();
}

// The swatch beside the name.
void ColourCombo::ShowColour(int index) {
    QPixmap swatch(iconSize());
    swatch.fill(ToQColor(ColourAt(index)));
    QPainter painter(&swatch);
    painter.setPen(Qt::black);
    painter.drawRect(swatch.rect().adjusted(0, 0, -1, -1));
    painter.end();
    setItemIcon(index, QIcon(swatch));
}

void ColourCombo::Chosen(int index) {
    if (index != CustomIndex()) return;
    const QColor chosen = QColorDialog::getColor(ToQColor(ColourAt(index)), this, "Color");
    if (!chosen.isValid()) return;
    setItemData(index, QVariant::fromValue<uint>(ToColorRef(chosen)));
    ShowColour(index);
}

}  // namespace glimmora
