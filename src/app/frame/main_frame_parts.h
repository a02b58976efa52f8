// What the main frame's source files share; not for use outside the frame.
#pragma once

#include <QString>

namespace glimmora::frame_parts {

inline constexpr char kCaption[] = "Glimmora";
inline constexpr char kBarState[] = "MainWindow/State";
// Where versions up to 1.5 kept the bar layout; read when the new key is missing.
inline constexpr char kOldBarGroup[] = "GuiTabbedDemo";
// config.ini: each tool's option values, one line per tool.
inline constexpr char kToolStylesSection[] = "ToolStyles";

// A warning box without owner, caption "Glimmora".
void Warn(const QString& text);
// The status panes' first texts, which also give their widths.
QString PaneText(int pane);
// Without a document there is no size to speak of; the pane keeps its width.
QString IdlePaneText(int pane);

}  // namespace glimmora::frame_parts
