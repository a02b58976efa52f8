#include "app/hotkeys/hotkey_edit.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <iterator>

#include "platform/hotkeys.h"

namespace glimmora {

namespace {
struct KeyCode {
    Qt::Key qt;
    bool keypad;
    int vk;
};

// Entries earlier in the table win when a code is turned back into a Qt key.
constexpr KeyCode kKeys[] = {
    {Qt::Key_Backspace, false, 8},
    {Qt::Key_Tab, false, 9},
    {Qt::Key_Backtab, false, 9},
    {Qt::Key_Clear, false, 12},
    {Qt::Key_Return, false, 13},
    {Qt::Key_Enter, true, 13},
    {Qt::Key_Enter, false, 13},
    {Qt::Key_Pause, false, 19},
    {Qt::Key_Escape, false, 27},
    {Qt::Key_Space, false, 32},
    {Qt::Key_PageUp, false, 33},
    {Qt::Key_PageDown, false, 34},
    {Qt::Key_End, false, 35},
    {Qt::Key_Home, false, 36},
    {Qt::Key_Left, false, 37},
    {Qt::Key_Up, false, 38},
    {Qt::Key_Right, false, 39},
    {Qt::Key_Down, false, 40},
    {Qt::Key_Print, false, 44},
    {Qt::Key_Insert, false, 45},
    {Qt::Key_Delete, false, 46},
    {Qt::Key_Menu, false, 93},
    {Qt::Key_Asterisk, true, 106},
    {Qt::Key_Plus, true, 107},
    {Qt::Key_Minus, true, 109},
    {Qt::Key_Period, true, 110},
    {Qt::Key_Comma, true, 110},
    {Qt::Key_Slash, true, 111},
    {Qt::Key_ScrollLock, false, 145},
    // Punctuation by key, shifted or not, as on a US keyboard.
    {Qt::Key_Semicolon, false, 186},
    {Qt::Key_Colon, false, 186},
    {Qt::Key_Equal, false, 187},
    {Qt::Key_Plus, false, 187},
    {Qt::Key_Comma, false, 188},
    {Qt::Key_Less, false, 188},
    {Qt::Key_Minus, false, 189},
    {Qt::Key_Underscore, false, 189},
    {Qt::Key_Period, false, 190},
    {Qt::Key_Greater, false, 190},
    {Qt::Key_Slash, false, 191},
    {Qt::Key_Question, false, 191},
    {Qt::Key_QuoteLeft, false, 192},
    {Qt::Key_AsciiTilde, false, 192},
    {Qt::Key_BracketLeft, false, 219},
    {Qt::Key_BraceLeft, false, 219},
    {Qt::Key_Backslash, false, 220},
    {Qt::Key_Bar, false, 220},
    {Qt::Key_BracketRight, false, 221},
    {Qt::Key_BraceRight, false, 221},
    {Qt::Key_Apostrophe, false, 222},
    {Qt::Key_QuoteDbl, false, 222},
    // Shifted digits, when Qt reports the symbol rather than the digit key.
    {Qt::Key_ParenRight, false, '0'},
    {Qt::Key_Exclam, false, '1'},
    {Qt::Key_At, false, '2'},
    {Qt::Key_NumberSign, false, '3'},
    {Qt::Key_Dollar, false, '4'},
    {Qt::Key_Percent, false, '5'},
    {Qt::Key_AsciiCircum, false, '6'},
    {Qt::Key_Ampersand, false, '7'},
    {Qt::Key_Asterisk, false, '8'},
    {Qt::Key_ParenLeft, false, '9'},
};
}  // namespace

int VirtualKeyOf(QKeyCombination combination) {
    const int key = static_cast<int>(combination.key());
    const bool keypad = combination.keyboardModifiers().testFlag(Qt::KeypadModifier);
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return key;  // Qt's letter keys are their capitals
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return keypad ? 96 + (key - Qt::Key_0) : key;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return 112 + (key - Qt::Key_F1);
    for (const KeyCode& k : kKeys)
        if (k.qt == combination.key() && k.keypad == keypad) return k.vk;
    // A keypad key Qt reports without its keypad meaning.
    for (const KeyCode& k : kKeys)
        if (k.qt == combination.key()) return k.vk;
    return 0;
}

QKeyCombination QtKeyOf(int vk) {
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9'))
        return QKeyCombination(static_cast<Qt::Key>(vk));
    if (vk >= 96 && vk <= 105)
        return QKeyCombination(Qt::KeypadModifier, static_cast<Qt::Key>(Qt::Key_0 + vk - 96));
    if (vk >= 112 && vk <= 135) return QKeyCombination(static_cast<Qt::Key>(Qt::Key_F1 + vk - 112));
    for (const KeyCode& k : kKeys)
        if (k.vk == vk) return k.keypad ? QKeyCombination(Qt::KeypadModifier, k.qt) : QKeyCombination(k.qt);
    return QKeyCombination(Qt::Key_unknown);
}

HotkeyEdit::HotkeyEdit(QWidget* parent) : QKeySequenceEdit(parent) {}

void HotkeyEdit::SetHotkey(int key, int mask) {
    key_ = key;
    mask_ = mask;
    const QKeyCombination qt = QtKeyOf(key);
    if (qt.key() == Qt::Key_unknown) {
        clear();
        return;
    }
    Qt::KeyboardModifiers modifiers = qt.keyboardModifiers();
    if (mask & kHotkeyAlt) modifiers |= Qt::AltModifier;
    if (mask & kHotkeyCtrl) modifiers |= Qt::ControlModifier;
    if (mask & kHotkeyShift) modifiers |= Qt::ShiftModifier;
    setKeySequence(QKeySequence(QKeyCombination(modifiers, qt.key())));
}

bool HotkeyEdit::event(QEvent* e) {
    // Tab alone moves on, as in any dialog; with Ctrl or Alt it is a combination to record.
    if (e->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(e);
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
            !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
            return QWidget::event(e);
    }
    return QKeySequenceEdit::event(e);
}

void HotkeyEdit::keyPressEvent(QKeyEvent* e) {
    // Enter and Esc alone belong to the dialog (OK and Cancel).
    const Qt::KeyboardModifiers held = e->modifiers();
    const bool plain = !(held & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier));
    if (plain && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape)) {
        e->ignore();
        return;
    }
    // The stored form has no Super/Meta bit: recording Super+S as S would take plain S from the whole
    // desktop. Such a combination is refused and the last one stays.
    if (held & Qt::MetaModifier || e->key() == Qt::Key_Meta || e->key() == Qt::Key_Super_L ||
        e->key() == Qt::Key_Super_R) {
        e->accept();
        SetHotkey(key_, mask_);
        return;
    }
    QKeySequenceEdit::keyPressEvent(e);
    const QKeySequence recorded = keySequence();
    if (recorded.isEmpty()) return;  // a modifier alone so far
    // The recorder drops the keypad flag, and Shift where it typed a symbol ("&" for Shift+7): both come
    // from the event itself.
    const Qt::Key key = recorded[recorded.count() - 1].key();
    const int vk = VirtualKeyOf(held.testFlag(Qt::KeypadModifier) ? QKeyCombination(Qt::KeypadModifier, key)
                                                                  : QKeyCombination(key));
    const int mask = (held.testFlag(Qt::AltModifier) ? kHotkeyAlt : 0) |
                     (held.testFlag(Qt::ControlModifier) ? kHotkeyCtrl : 0) |
                     (held.testFlag(Qt::ShiftModifier) ? kHotkeyShift : 0);
    // One combination, not a sequence: the latest press replaces what was there. A key without a code
    // leaves the combination as it was.
    if (vk)
        SetHotkey(vk, mask);
    else
        SetHotkey(key_, mask_);
}

}  // namespace glimmora
