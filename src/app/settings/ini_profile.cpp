#include "app/settings/ini_profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QSaveFile>
#include <QString>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

namespace glimmora {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The C library's isspace in the "C" locale, which strtoul and strtol skip.
bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

// [begin, end) without the blanks at either end.
void Trim(std::string_view text, size_t& begin, size_t& end) {
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
}

enum class FileState { kRead, kMissing, kUnreadable };

// why receives the reason when the file is there but cannot be read.
FileState ReadWholeFile(const std::string& path, std::string& out, std::string* why = nullptr) {
    out.clear();
    auto unreadable = [why](const char* reason) {
        if (why) *why = reason;
        return FileState::kUnreadable;
    };
    // Only a regular file is opened, and without blocking: opening a FIFO would wait for a writer.
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? FileState::kMissing : unreadable(std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return unreadable("not a regular file");
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? FileState::kMissing : unreadable(std::strerror(errno));
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<uint64_t>(st.st_size) > IniProfile::kMaxFileBytes) {
        ::close(fd);
        return unreadable(S_ISREG(st.st_mode) ? "larger than a settings file can be" : "not a regular file");
    }
    char chunk[8192];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || out.size() + static_cast<size_t>(n) > IniProfile::kMaxFileBytes) {
            const int error = n < 0 ? errno : EFBIG;
            ::close(fd);
            return unreadable(std::strerror(error));
        }
        if (n == 0) break;
        out.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    return FileState::kRead;
}

// Where a key sits in the file text, and where a new key of its section would go.
struct Location {
    bool sectionFound = false;
    size_t insertAt = 0;            // after the last key line (or the header) of the first matching section
    bool insertNeedsBreak = false;  // that line has no line break of its own (end of file)
    bool keyFound = false;
    size_t valueBegin = 0, valueEnd = 0;  // the trimmed value, byte offsets into the text
};

Location Locate(std::string_view text, std::string_view section, std::string_view key) {
    Location loc;
    bool inSection = false;
    bool firstSection = false;
    size_t pos = 0;
    // A UTF-8 byte-order mark is not part of the first line's text.
    if (text.substr(0, 3) == "\xEF\xBB\xBF") pos = 3;
    while (pos < text.size()) {
        size_t lineEnd = text.find('\n', pos);
        const bool hasBreak = lineEnd != std::string_view::npos;
        if (!hasBreak) lineEnd = text.size();
        const size_t next = hasBreak ? lineEnd + 1 : lineEnd;
        size_t end = lineEnd;
        if (end > pos && text[end - 1] == '\r') --end;
        size_t begin = pos;
        Trim(text, begin, end);
        if (begin < end && text[begin] == '[') {
            const size_t close = text.find(']', begin);
            size_t nameBegin = begin + 1;
            size_t nameEnd = close != std::string_view::npos && close < end ? close : end;
            Trim(text, nameBegin, nameEnd);
            inSection = SameName(text.substr(nameBegin, nameEnd - nameBegin), section);
            firstSection = inSection && !loc.sectionFound;
            if (firstSection) {
                loc.sectionFound = true;
                loc.insertAt = next;
                loc.insertNeedsBreak = !hasBreak;
            }
        } else if (inSection && begin < end && text[begin] != ';' && text[begin] != '#') {
            const size_t equals = text.find('=', begin);
            if (equals != std::string_view::npos && equals < end) {
                size_t keyBegin = begin, keyEnd = equals;
                Trim(text, keyBegin, keyEnd);
                size_t valueBegin = equals + 1, valueEnd = end;
                Trim(text, valueBegin, valueEnd);
                if (firstSection) {
                    loc.insertAt = next;
                    loc.insertNeedsBreak = !hasBreak;
                }
                if (SameName(text.substr(keyBegin, keyEnd - keyBegin), key)) {
                    loc.keyFound = true;
                    loc.valueBegin = valueBegin;
                    loc.valueEnd = valueEnd;
                    return loc;
                }
            }
        }
        pos = next;
    }
    return loc;
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

bool ValidName(std::string_view name, bool isSection) {
    if (name.empty() || HasLineBreak(name)) return false;
    size_t begin = 0, end = name.size();
    Trim(name, begin, end);
    if (begin != 0 || end != name.size()) return false;  // would not read back under the same name
    if (isSection) return name.find(']') == std::string_view::npos;
    return name.find('=') == std::string_view::npos && name[0] != '[' && name[0] != ';' && name[0] != '#';
}

bool ReplaceFile(const std::string& path, const std::string& content, std::string& why) {
    QSaveFile file(QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size())));
    if (file.open(QIODevice::WriteOnly) && file.write(content.data(), static_cast<qint64>(content.size())) ==
                                               static_cast<qint64>(content.size())) {
        if (file.commit()) return true;
    } else {
        file.cancelWriting();
    }
    why = file.errorString().toStdString();
    return false;
}

// The C library's strtoul with base 10 on a 32-bit unsigned long, as the settings file was written for.
uint32_t ToUnsigned32(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsCSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint64_t value = 0;
    bool overflow = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        if (value > UINT32_MAX) {
            overflow = true;
            value = UINT32_MAX;
        }
    }
    if (overflow) return UINT32_MAX;
    const uint32_t result = static_cast<uint32_t>(value);
    return negative ? static_cast<uint32_t>(0u - result) : result;
}

// Whether strtol with base 10 would give a non-zero number: any non-zero digit of the leading number.
bool LeadingNumberNonZero(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsCSpace(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        if (text[i] != '0') return true;
    return false;
}

}  // namespace

void IniProfile::SetPath(const char* path) {
    if (path)
        path_ = std::make_unique<std::string>(path);
    else
        path_.reset();
}

std::string IniProfile::ReadString(const char* section, const char* key, const char* defaultText) const {
    const std::string fallback = defaultText ? defaultText : "";
    if (!section || !key || !path_) return fallback;
    std::string text;
    if (ReadWholeFile(*path_, text) != FileState::kRead) return fallback;
    const Location loc = Locate(text, section, key);
    if (!loc.keyFound) return fallback;
    return text.substr(loc.valueBegin, loc.valueEnd - loc.valueBegin);
}

int32_t IniProfile::ParseInt(const std::string& text, int32_t defaultValue) {
    const std::string_view prefix = std::string_view(text).substr(0, kNumberPrefix);
    if (prefix.empty()) return defaultValue;
    return static_cast<int32_t>(ToUnsigned32(prefix));
}

int32_t IniProfile::ParseBool(const std::string& text, int32_t defaultValue) {
    const std::string_view prefix = std::string_view(text).substr(0, kNumberPrefix);
    if (prefix.empty()) return defaultValue;
    if (SameName(prefix, "true") || SameName(prefix, "yes")) return 1;
    return LeadingNumberNonZero(prefix) ? 1 : 0;
}

int32_t IniProfile::ReadInt(const char* section, const char* key, int32_t defaultValue) const {
    if (!section || !key) return defaultValue;
    return ParseInt(ReadString(section, key, ""), defaultValue);
}

int32_t IniProfile::ReadBool(const char* section, const char* key, int32_t defaultValue) const {
    if (!section || !key) return defaultValue;
    return ParseBool(ReadString(section, key, ""), defaultValue);
}

bool IniProfile::WriteString(const char* section, const char* key, const char* text) {
    if (!section || !key || !path_) return false;
    const std::string_view value = text ? text : "";
    if (!ValidName(section, true) || !ValidName(key, false) || HasLineBreak(value)) return false;

    std::string content;
    const FileState state = ReadWholeFile(*path_, content, &lastError_);
    // Never replace a file we could not read: its other settings would be lost.
    if (state == FileState::kUnreadable) return false;
    const char* newline = content.find("\r\n") != std::string::npos ? "\r\n" : "\n";

    const Location loc = Locate(content, section, key);
    if (loc.keyFound) {
        content.replace(loc.valueBegin, loc.valueEnd - loc.valueBegin, value);
    } else if (loc.sectionFound) {
        std::string line = loc.insertNeedsBreak ? newline : "";
        line.append(key).append("=").append(value).append(newline);
        content.insert(loc.insertAt, line);
    } else {
        if (!content.empty() && content.back() != '\n') content.append(newline);
        content.append("[").append(section).append("]").append(newline);
        content.append(key).append("=").append(value).append(newline);
    }
    return ReplaceFile(*path_, content, lastError_);
}

bool IniProfile::WriteInt(const char* section, const char* key, int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    return WriteString(section, key, text);
}

bool IniProfile::WriteBool(const char* section, const char* key, int32_t flag) {
    return WriteString(section, key, flag != 0 ? "1" : "0");
}

}  // namespace glimmora
