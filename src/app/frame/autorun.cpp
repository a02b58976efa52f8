#include "app/frame/autorun.h"

#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdlib>

namespace glimmora {

namespace {
std::string ConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.config";
}

// The raw value of the Exec key in the [Desktop Entry] group, with the string escapes undone.
std::string ExecValue(const QByteArray& content) {
    bool inEntry = false;
    for (const QByteArray& rawLine : content.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith('[')) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry || !line.startsWith("Exec")) continue;
        const int eq = line.indexOf('=');
        if (eq < 0 || line.left(eq).trimmed() != "Exec") continue;
        const QByteArray value = line.mid(eq + 1).trimmed();
        std::string out;
        for (int i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) {
                const char c = value[++i];
                out += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
            } else {
                out += value[i];
            }
        }
        return out;
    }
    return {};
}
}  // namespace

std::string AutostartFilePath(const std::string& name) {
    return ConfigHome() + "/autostart/" + name + ".desktop";
}

std::string QuoteExecArgument(const std::string& path) {
    static const std::string reserved = " \t\n\"'\\><~|&;$*?#()`";
    const bool quote = path.find_first_of(reserved) != std::string::npos;
    std::string field;
    for (char c : path) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) field += '\\';
        if (c == '%') field += '%';
        field += c;
    }
    if (quote) field = '"' + field + '"';
    // The key file's own escapes: a backslash is written twice, a line break as \n.
    std::string value;
    for (char c : field) {
        if (c == '\\')
            value += "\\\\";
        else if (c == '\n')
            value += "\\n";
        else
            value += c;
    }
    return value;
}

std::string UnquoteExecArgument(const std::string& value) {
    // value has had the key file's escapes undone already.
    std::string out;
    if (value.size() >= 2 && value.front() == '"') {
        for (size_t i = 1; i < value.size(); ++i) {
            const char c = value[i];
            if (c == '"') break;
            if (c == '\\' && i + 1 < value.size()) {
                out += value[++i];
                continue;
            }
            if (c == '%' && i + 1 < value.size() && value[i + 1] == '%') ++i;
            out += c;
        }
        return out;
    }
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == ' ') break;  // further arguments
        if (c == '%' && i + 1 < value.size() && value[i + 1] == '%') ++i;
        out += c;
    }
    return out;
}

std::string ReadAutoRun(const std::string& name) {
    QFile file(QString::fromStdString(AutostartFilePath(name)));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return UnquoteExecArgument(ExecValue(file.read(64 * 1024)));
}

bool SetAutoRun(const std::string& name, const std::string& path) {
    const QString file = QString::fromStdString(AutostartFilePath(name));
    if (!QDir().mkpath(QFileInfo(file).absolutePath())) return false;
    if (QFileInfo::exists(file) && ReadAutoRun(name) == path) return true;
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) return false;
    const std::string text = "[Desktop Entry]\nType=Application\nName=" + name +
                             "\nExec=" + QuoteExecArgument(path) + "\nX-GNOME-Autostart-enabled=true\n";
    out.write(text.data(), static_cast<qint64>(text.size()));
    return out.commit();
}

bool RemoveAutoRun(const std::string& name) {
    return QFile::remove(QString::fromStdString(AutostartFilePath(name)));
}

std::string ExecutablePath() {
    char buffer[512];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof buffer - 1)) return {};
    return std::string(buffer, static_cast<size_t>(n));
}

}  // namespace glimmora
