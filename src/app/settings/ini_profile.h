// Reads and writes single values of an INI file (config.ini) without disturbing the rest of it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace glimmora {

// Bound to one file path; every call reads or rewrites the file completely, nothing is cached.
// Section and key names match without regard to case. A key present with an empty value reads as the
// empty text, not as the default.
class IniProfile {
  public:
    // Files beyond this size are not read (reads give defaults, writes fail).
    static constexpr uint64_t kMaxFileBytes = uint64_t{16} << 20;
    // Integer and flag values are parsed from at most this many leading bytes.
    static constexpr size_t kNumberPrefix = 64;

    IniProfile() = default;
    IniProfile(const IniProfile&) = delete;
    IniProfile& operator=(const IniProfile&) = delete;

    // null empties the stored path.
    void SetPath(const char* path);
    const char* Path() const { return path_ ? path_->c_str() : nullptr; }

    // null section or key: the default (or false for writes).
    std::string ReadString(const char* section, const char* key, const char* defaultText) const;
    int32_t ReadInt(const char* section, const char* key, int32_t defaultValue) const;
    int32_t ReadBool(const char* section, const char* key, int32_t defaultValue) const;

    // A write replaces one value (or adds the key, the section or the file) and keeps every other line.
    // The file is replaced by rename, so it is either the old or the new version, never a partial one.
    // Only a regular file is read or replaced (a FIFO is refused without waiting).
    // Texts holding a line break are refused: they would turn into lines of their own.
    bool WriteString(const char* section, const char* key, const char* text);
    bool WriteInt(const char* section, const char* key, int32_t value);
    bool WriteBool(const char* section, const char* key, int32_t flag);
    // Why the last failed write of the file failed (the system's words); kept until the next failure.
    const std::string& LastError() const { return lastError_; }

    // The parsing rules on their own, as they apply to a value text.
    static int32_t ParseInt(const std::string& text, int32_t defaultValue);
    static int32_t ParseBool(const std::string& text, int32_t defaultValue);

  private:
    std::unique_ptr<std::string> path_;
    std::string lastError_;
};

}  // namespace glimmora
