#include "platform/gnome_keys.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace glimmora {

namespace {
const char kSchema[] = "org.gnome.settings-daemon.plugins.media-keys";
const char kEntrySchema[] = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
const char kEntryFolder[] = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/";
constexpr int kTimeoutMs = 20000;

bool IsOurs(const std::string& path) {
    return path.rfind(std::string(kEntryFolder) + "glimmora-", 0) == 0;
}

std::string EntryPath(const std::string& id) {
    return std::string(kEntryFolder) + id + "/";
}

bool Gsettings(const QStringList& args, std::string* out, std::string* error) {
    QProcess p;
    p.start(QStringLiteral("gsettings"), args);
    if (!p.waitForFinished(kTimeoutMs) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        if (error) {
            const QString why = QString::fromUtf8(p.readAllStandardError()).trimmed();
            *error =
                "gsettings " + args.value(0).toStdString() + " failed" +
                (why.isEmpty() ? (p.error() == QProcess::FailedToStart ? std::string(": it is not installed")
                                                                       : std::string())
                               : ": " + why.toStdString());
        }
        return false;
    }
    if (out) *out = QString::fromUtf8(p.readAllStandardOutput()).trimmed().toStdString();
    return true;
}

// gsettings prints a string as GVariant text ('text'); the value comes back unquoted.
std::string Unquote(const std::string& text) {
    std::vector<std::string> one;
    if (ParseGVariantStrings("[" + text + "]", one) && one.size() == 1) return one[0];
    return text;
}
}  // namespace

bool ParseGVariantStrings(const std::string& text, std::vector<std::string>& out) {
    out.clear();
    std::string s = text;
    if (s.rfind("@as ", 0) == 0) s.erase(0, 4);
    if (s.size() < 2 || s.front() != '[' || s.back() != ']') return false;
    size_t at = 1;
    const auto skipSpace = [&] {
        while (at < s.size() && (s[at] == ' ' || s[at] == ',')) ++at;
    };
    skipSpace();
    while (at < s.size() - 1) {
        const char quote = s[at];
        if (quote != '\'' && quote != '"') return false;
        std::string value;
        ++at;
        for (; at < s.size() - 1 && s[at] != quote; ++at) {
            if (s[at] == '\\' && at + 1 < s.size() - 1) ++at;
            value += s[at];
        }
        if (at >= s.size() - 1) return false;
        ++at;
        out.push_back(value);
        skipSpace();
    }
    return true;
}

std::string GVariantString(const std::string& s) {
    std::string quoted = "'";
    for (char c : s) {
        if (c == '\'' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "'";
}

std::string DesktopCommandLine(const std::vector<std::string>& argv) {
    std::string line;
    for (const std::string& arg : argv) {
        if (!line.empty()) line += ' ';
        const bool plain = !arg.empty() && std::all_of(arg.begin(), arg.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) ||
                   std::string("/._-+=:,@%").find(c) != std::string::npos;
        });
        if (plain) {
            line += arg;
            continue;
        }
        // Single quotes keep everything but a single quote, which is closed, escaped and reopened.
        line += '\'';
        for (char c : arg) line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        line += '\'';
    }
    return line;
}

bool GnomeKeyBindingsOffered() {
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    if (!desktop || std::string(desktop).find("GNOME") == std::string::npos) return false;
    const QString file = QStringLiteral("glib-2.0/schemas/%1.gschema.xml").arg(QLatin1String(kSchema));
    return !QStandardPaths::locate(QStandardPaths::GenericDataLocation, file).isEmpty();
}

bool ReadGnomeKeyBindings(std::vector<GnomeKeyBinding>& ours, std::string* error) {
    ours.clear();
    std::string list;
    std::vector<std::string> paths;
    if (!Gsettings(
            {QStringLiteral("get"), QString::fromLatin1(kSchema), QStringLiteral("custom-keybindings")},
            &list, error))
        return false;
    if (!ParseGVariantStrings(list, paths)) {
        if (error) *error = "GNOME's custom key bindings are not a list of paths: " + list;
        return false;
    }
    for (const std::string& path : paths) {
        if (!IsOurs(path)) continue;
        GnomeKeyBinding b;
        b.id = path.substr(std::string(kEntryFolder).size());
        if (!b.id.empty() && b.id.back() == '/') b.id.pop_back();
        const QString schema =
            QStringLiteral("%1:%2").arg(QLatin1String(kEntrySchema), QString::fromStdString(path));
        std::string value;
        for (auto [key, field] :
             {std::pair{"name", &b.name}, {"command", &b.command}, {"binding", &b.binding}}) {
            if (!Gsettings({QStringLiteral("get"), schema, QString::fromLatin1(key)}, &value, error))
                return false;
            *field = Unquote(value);
        }
        ours.push_back(b);
    }
    return true;
}

bool WriteGnomeKeyBindings(const std::vector<GnomeKeyBinding>& ours, std::string* error) {
    std::string list;
    std::vector<std::string> paths;
    const QString schema = QString::fromLatin1(kSchema);
    if (!Gsettings({QStringLiteral("get"), schema, QStringLiteral("custom-keybindings")}, &list, error))
        return false;
    if (!ParseGVariantStrings(list, paths)) {
        if (error) *error = "GNOME's custom key bindings are not a list of paths: " + list;
        return false;
    }
    std::vector<std::string> kept;
    for (const std::string& path : paths) {
        if (!IsOurs(path)) {
            kept.push_back(path);
            continue;
        }
        // Our old entries go entirely, so no stale name or command is left in the settings.
        Gsettings({QStringLiteral("reset-recursively"),
                   QStringLiteral("%1:%2").arg(QLatin1String(kEntrySchema), QString::fromStdString(path))},
                  nullptr, nullptr);
    }
    for (const GnomeKeyBinding& b : ours) {
        const std::string path = EntryPath(b.id);
        const QString entry =
            QStringLiteral("%1:%2").arg(QLatin1String(kEntrySchema), QString::fromStdString(path));
        for (auto [key, value] :
             {std::pair{"name", &b.name}, {"command", &b.command}, {"binding", &b.binding}})
            if (!Gsettings({QStringLiteral("set"), entry, QString::fromLatin1(key),
                            QString::fromStdString(GVariantString(*value))},
                           nullptr, error))
                return false;
        kept.push_back(path);
    }
    std::string text = "[";
    for (size_t i = 0; i < kept.size(); ++i) text += (i ? ", " : "") + GVariantString(kept[i]);
    text += "]";
    // The list last: the settings daemon then finds every entry it names complete.
    return Gsettings(
        {QStringLiteral("set"), schema, QStringLiteral("custom-keybindings"), QString::fromStdString(text)},
        nullptr, error);
}

}  // namespace glimmora
