// How a stored hotkey combination (virtual-key code and Alt 1 / Ctrl 2 / Shift 4 mask) reads on screen.
#pragma once

#include <QString>

namespace glimmora {

// The key's own name: the letter or digit itself, else a readable name ("F1", "Print", "Home"); empty for
// 0, "Key N" for a code without a name.
QString VirtualKeyName(int key);

// "Ctrl + Alt + Shift + K" with only the modifiers of the mask; the key name alone without any. Key 0 adds
// nothing, so an unset combination reads as the empty text.
QString FormatHotkeyText(int key, int mask);

}  // namespace glimmora
