// Toolbar and tray icons: the desktop's icon theme where it has a fitting icon, else our own drawings.
#pragma once

#include <QIcon>

namespace glimmora {

QIcon CommandIcon(int id);
QIcon ApplicationIcon();
// A document window's own icon (its title bar in the cascaded and tiled views).
QIcon DocumentIcon();

}  // namespace glimmora
