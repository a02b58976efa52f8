#include "platform/key_names.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <vector>

#include "platform/hotkeys.h"

namespace glimmora {

namespace {
const std::map<uint32_t, const char*>& Named() {
    static const std::map<uint32_t, const char*> names = {
        {8, "BackSpace"},     {9, "Tab"},
        {12, "Clear"},        {13, "Return"},
        {19, "Pause"},        {27, "Escape"},
        {32, "space"},        {33, "Page_Up"},
        {34, "Page_Down"},    {35, "End"},
        {36, "Home"},         {37, "Left"},
        {38, "Up"},           {39, "Right"},
        {40, "Down"},         {44, "Print"},
        {45, "Insert"},       {46, "Delete"},
        {93, "Menu"},         {106, "KP_Multiply"},
        {107, "KP_Add"},      {108, "KP_Separator"},
        {109, "KP_Subtract"}, {110, "KP_Decimal"},
        {111, "KP_Divide"},   {145, "Scroll_Lock"},
        {186, "semicolon"},   {187, "equal"},
        {188, "comma"},       {189, "minus"},
        {190, "period"},      {191, "slash"},
        {192, "grave"},       {219, "bracketleft"},
        {220, "backslash"},   {221, "bracketright"},
        {222, "apostrophe"},
    };
    return names;
}

// Qt's and KDE's words for keys whose keysym name differs, and the characters themselves.
const std::map<std::string, uint32_t>& OtherWords() {
    static const std::map<std::string, uint32_t> words = {
        {"backspace", 8}, {"enter", 13}, {"esc", 27},         {"pgup", 33}, {"pgdown", 34},
        {"ins", 45},      {"del", 46},   {"scrolllock", 145}, {";", 186},   {"=", 187},
        {",", 188},       {"-", 189},    {".", 190},          {"/", 191},   {"`", 192},
        {"[", 219},       {"\\", 220},   {"]", 221},          {"'", 222},   {"*", 106},
    };
    return words;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::optional<uint32_t> KeyFromWord(const std::string& word) {
    if (word.size() == 1 && std::isalnum(static_cast<unsigned char>(word[0])))
        return static_cast<uint32_t>(std::toupper(static_cast<unsigned char>(word[0])));
    const std::string lower = Lower(word);
    if (lower.size() >= 2 && lower.size() <= 3 && lower[0] == 'f' &&
        std::all_of(lower.begin() + 1, lower.end(), ::isdigit)) {
        const int n = std::stoi(lower.substr(1));
        if (n >= 1 && n <= 24) return static_cast<uint32_t>(111 + n);
    }
    for (const auto& [key, name] : Named())
        if (Lower(name) == lower) return key;
    if (const auto it = OtherWords().find(lower); it != OtherWords().end()) return it->second;
    // Qt writes keypad keys as "Num+1"; the keysym is KP_1.
    if (lower.size() == 4 && lower.rfind("kp_", 0) == 0 && std::isdigit(static_cast<unsigned char>(lower[3])))
        return static_cast<uint32_t>(96 + (lower[3] - '0'));
    return std::nullopt;
}
}  // namespace

std::string KeysymName(uint32_t key) {
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))
        return std::string(1, static_cast<char>(key >= 'A' && key <= 'Z' ? key - 'A' + 'a' : key));
    std::string name;
    if (key >= 112 && key <= 135)
        name.append("F").append(
            std::to_string(key - 111));  // appended: GCC 12 warns wrongly on "F" + s at -O3
    else if (key >= 96 && key <= 105)
        name.append("KP_").append(std::to_string(key - 96));
    else if (const auto it = Named().find(key); it != Named().end())
        name = it->second;
    return name;
}

std::string PortalTrigger(uint32_t key, uint32_t mask) {
    const std::string name = KeysymName(key);
    if (name.empty()) return {};
    std::string trigger;
    if (mask & kHotkeyCtrl) trigger += "CTRL+";
    if (mask & kHotkeyAlt) trigger += "ALT+";
    if (mask & kHotkeyShift) trigger += "SHIFT+";
    return trigger + name;
}

std::string GnomeBinding(uint32_t key, uint32_t mask) {
    const std::string name = KeysymName(key);
    if (name.empty()) return {};
    std::string binding;
    if (mask & kHotkeyCtrl) binding += "<Control>";
    if (mask & kHotkeyAlt) binding += "<Alt>";
    if (mask & kHotkeyShift) binding += "<Shift>";
    return binding + name;
}

std::optional<KeyCombination> ParseDesktopTrigger(const std::string& text) {
    // A desktop may list several triggers ("Ctrl+F, Meta+F"): the first is the one it shows first.
    std::string s = text.substr(0, text.find(", "));
    std::vector<std::string> parts;
    if (!s.empty() && s[0] == '<') {
        size_t at = 0;
        while (at < s.size() && s[at] == '<') {
            const size_t end = s.find('>', at);
            if (end == std::string::npos) return std::nullopt;
            parts.push_back(s.substr(at + 1, end - at - 1));
            at = end + 1;
        }
        parts.push_back(s.substr(at));
    } else {
        // "Ctrl++" would be the plus key, which no stored combination holds: it stays not understood.
        size_t at = 0;
        for (size_t end; (end = s.find('+', at)) != std::string::npos; at = end + 1)
            parts.push_back(s.substr(at, end - at));
        parts.push_back(s.substr(at));
    }
    if (parts.empty() || parts.back().empty()) return std::nullopt;
    KeyCombination combination;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        if (parts[i].empty()) return std::nullopt;
        const std::string m = Lower(parts[i]);
        if (m == "ctrl" || m == "control" || m == "primary")
            combination.mask |= kHotkeyCtrl;
        else if (m == "alt")
            combination.mask |= kHotkeyAlt;
        else if (m == "shift")
            combination.mask |= kHotkeyShift;
        else if (m == "num" || m == "keypad")
            continue;  // Qt's "Num+1": the keypad word comes before its key
        else
            return std::nullopt;
    }
    std::string key = parts.back();
    if (parts.size() >= 2 &&
        (Lower(parts[parts.size() - 2]) == "num" || Lower(parts[parts.size() - 2]) == "keypad") &&
        key.size() == 1 && std::isdigit(static_cast<unsigned char>(key[0])))
        key = "KP_" + key;
    const std::optional<uint32_t> code = KeyFromWord(key);
    if (!code) return std::nullopt;
    combination.key = *code;
    return combination;
}

}  // namespace glimmora
