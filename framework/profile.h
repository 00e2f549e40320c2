// An INI profile: sections of key=value lines. Section and key names match without regard
// to case; values are kept as written (blanks around them trimmed). Comments (';' or '#')
// and the order of lines survive a rewrite. Changes stay in memory until Save().
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tfw {

class CProfile {
public:
    CProfile() = default;
    explicit CProfile(std::string path) : path_(std::move(path)) {}

    // Reads the file; a missing file is an empty profile (true). False on a read error.
    bool Load(const std::string& path);
    // Writes to the path it was loaded from or constructed with, through a new file that
    // then replaces the old one; a missing folder is made first (a first run has none).
    // False on failure (the old file is left as it was; LastError() says why).
    bool Save();
    bool SaveAs(const std::string& path);
    // Makes the folder the profile lives in, with its missing parents (new ones private to
    // the user). False, with LastError() set, when it cannot be made.
    bool MakeFolder();
    // Why the last Save or MakeFolder failed ("cannot create /x/y: Permission denied").
    const std::string& LastError() const { return error_; }
    const std::string& GetPath() const { return path_; }
    bool IsDirty() const { return dirty_; }

    // Parses text as a profile (replaces the contents).
    void Parse(std::string_view text);
    // The profile as file text, lines ended by LF.
    std::string ToText() const;

    std::optional<std::string> GetValue(std::string_view section, std::string_view key) const;
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view def = {}) const;
    // The decimal number the value starts with ("12x" gives 12); def when the key is absent
    // or the value has no leading number or is out of the int range.
    int GetInt(std::string_view section, std::string_view key, int def) const;
    // Every key=value of the section in file order (first of duplicate keys only).
    std::vector<std::pair<std::string, std::string>> GetSection(std::string_view section) const;
    std::vector<std::string> GetSectionNames() const;

    // Sets the value, adding the section at the end or the key at the end of its section.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInt(std::string_view section, std::string_view key, int value);
    // Removes a key (false when absent) or a whole section.
    bool DeleteKey(std::string_view section, std::string_view key);
    bool DeleteSection(std::string_view section);

private:
    struct Line {
        std::string text;     // the line as read or written
        std::string section;  // section it belongs to ("" before the first header)
        std::string key;      // set for key=value lines
        std::string value;
        bool header = false;
    };
    int FindKey(std::string_view section, std::string_view key) const;
    int FindHeader(std::string_view section) const;

    static bool MakeFolderOf(const std::string& path, std::string& error);

    std::string path_;
    std::string error_;
    std::vector<Line> lines_;
    bool dirty_ = false;
};

}  // namespace tfw
