#include "app/hotkeys/hotkey_text.h"

#include "platform/hotkeys.h"

namespace glimmora {

QString VirtualKeyName(int key) {
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) return QString(QChar(key));
    if (key >= 112 && key <= 135) return QStringLiteral("F%1").arg(key - 111);
    if (key >= 96 && key <= 105) return QStringLiteral("Num %1").arg(key - 96);
    switch (key) {
        case 0:
            return {};
        case 8:
            return QStringLiteral("Backspace");
        case 9:
            return QStringLiteral("Tab");
        case 12:
            return QStringLiteral("Clear");
        case 13:
            return QStringLiteral("Enter");
        case 19:
            return QStringLiteral("Pause");
        case 27:
            return QStringLiteral("Esc");
        case 32:
            return QStringLiteral("Space");
        case 33:
            return QStringLiteral("Page Up");
        case 34:
            return QStringLiteral("Page Down");
        case 35:
            return QStringLiteral("End");
        case 36:
            return QStringLiteral("Home");
        case 37:
            return QStringLiteral("Left");
        case 38:
            return QStringLiteral("Up");
        case 39:
            return QStringLiteral("Right");
        case 40:
            return QStringLiteral("Down");
        case 44:
            return QStringLiteral("Print");
        case 45:
            return QStringLiteral("Insert");
        case 46:
            return QStringLiteral("Delete");
        case 93:
            return QStringLiteral("Menu");
        case 106:
            return QStringLiteral("Num *");
        case 107:
            return QStringLiteral("Num +");
        case 108:
            return QStringLiteral("Separator");
        case 109:
            return QStringLiteral("Num -");
        case 110:
            return QStringLiteral("Num .");
        case 111:
            return QStringLiteral("Num /");
        case 145:
            return QStringLiteral("Scroll Lock");
        case 186:
            return QStringLiteral(";");
        case 187:
            return QStringLiteral("=");
        case 188:
            return QStringLiteral(",");
        case 189:
            return QStringLiteral("-");
        case 190:
            return QStringLiteral(".");
        case 191:
            return QStringLiteral("/");
        case 192:
            return QStringLiteral("`");
        case 219:
            return QStringLiteral("[");
        case 220:
            return QStringLiteral("\\");
        case 221:
            return QStringLiteral("]");
        case 222:
            return QStringLiteral("'");
        default:
            return QStringLiteral("Key %1").arg(key);
    }
}

QString FormatHotkeyText(int key, int mask) {
    QString text;
    if (mask & kHotkeyCtrl) text += QStringLiteral("Ctrl");
    if (mask & kHotkeyAlt) text += text.isEmpty() ? QStringLiteral("Alt") : QStringLiteral(" + Alt");
    if (mask & kHotkeyShift) text += text.isEmpty() ? QStringLiteral("Shift") : QStringLiteral(" + Shift");
    if (!text.isEmpty()) text += QStringLiteral(" + ");
    return text + VirtualKeyName(key);
}

}  // namespace glimmora
