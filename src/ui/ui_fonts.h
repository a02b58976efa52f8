// Font sizes given as cell heights (ascent + descent + leading), as the old designs state them.
#pragma once

#include <QFont>

namespace glimmora {

// family at the pixel size whose QFontMetrics::height() equals cellHeight, or the largest below it when
// no size matches exactly. "Arial" is taken as Liberation Sans, which has its metrics.
QFont FontForCellHeight(const QString& family, int cellHeight);

}  // namespace glimmora
