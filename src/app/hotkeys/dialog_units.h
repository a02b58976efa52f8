// Horizontal dialog units of the old dialog templates in pixels of the widget's font (a quarter of the
// average character width each), so the controls keep their proportions to the text.
#pragma once

#include <QFontMetrics>
#include <QWidget>

namespace glimmora {

inline int DialogUnitsX(const QWidget* widget, int units) {
    return (units * QFontMetrics(widget->font()).averageCharWidth() + 2) / 4;
}

}  // namespace glimmora
