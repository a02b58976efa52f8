#include "ui/ui_fonts.h"

#include <QFontMetrics>

namespace glimmora {

QFont FontForCellHeight(const QString& family, int cellHeight) {
    QFont font(family.compare("Arial", Qt::CaseInsensitive) == 0 ? QStringLiteral("Liberation Sans")
                                                                 : family);
    // A font's cell is never lower than its pixel size, so search downward from there.
    for (int size = std::max(1, cellHeight); size > 1; --size) {
        font.setPixelSize(size);
        if (QFontMetrics(font).height() <= cellHeight) return font;
    }
    font.setPixelSize(1);
    return font;
}

}  // namespace glimmora
