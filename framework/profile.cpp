#include "framework/profile.h"

#include "framework/byte_stream.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace tfw {
namespace {

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

}  // namespace

bool CProfile::Load(const std::string& path) {
    path_ = path;
    FileStream f;
    if (!f.Open(path, FileStream::Mode::Read)) {
        lines_.clear();
        dirty_ = false;
        return f.LastErrno() == ENOENT;
    }
    std::string text;
    std::uint8_t buf[4096];
    for (;;) {
        long n = f.Read(buf);
        if (n < 0) return false;
        if (n == 0) break;
        text.append(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(n));
    }
    Parse(text);
    return true;
}

void CProfile::Parse(std::string_view text) {
    lines_.clear();
    dirty_ = false;
    std::string section;
    while (!text.empty()) {
        std::size_t nl = text.find('\n');
        std::string_view raw = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        Line line;
        line.text = std::string(raw);
        std::string_view t = Trim(raw);
        if (!t.empty() && t.front() == '[' && t.find(']') != std::string_view::npos) {
            section = std::string(Trim(t.substr(1, t.find(']') - 1)));
            line.header = true;
        } else if (!t.empty() && t.front() != ';' && t.front() != '#' &&
                   t.find('=') != std::string_view::npos) {
            std::size_t eq = t.find('=');
            line.key = std::string(Trim(t.substr(0, eq)));
            line.value = std::string(Trim(t.substr(eq + 1)));
        }
        line.section = section;
        lines_.push_back(std::move(line));
    }
}

std::string CProfile::ToText() const {
    std::string out;
    for (const Line& l : lines_) {
        out += l.text;
        out += '\n';
    }
    return out;
}

bool CProfile::Save() {
    return SaveAs(path_);
}

bool CProfile::MakeFolderOf(const std::string& path, std::string& error) {
    // Each missing folder from the top down; 0700 as the desktop's configuration folders are.
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return true;
    const std::string folder = path.substr(0, slash);
    for (std::size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        const std::string part = folder.substr(0, end);
        struct stat st {};
        if (::stat(part.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) {
                error = part + " is a file, not a folder";
                return false;
            }
        } else if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            error = "cannot create " + part + ": " + std::strerror(errno);
            return false;
        }
        if (end == std::string::npos) break;
    }
    return true;
}

bool CProfile::MakeFolder() {
    error_.clear();
    return MakeFolderOf(path_, error_);
}

bool CProfile::SaveAs(const std::string& path) {
    error_.clear();
    if (path.empty()) {
        error_ = "no file named";
        return false;
    }
    if (!MakeFolderOf(path, error_)) return false;
    std::string tmp = path + ".saving-" + std::to_string(::getpid());
    std::string text = ToText();
    bool ok = false;
    {
        FileStream f;
        if (!f.Open(tmp, FileStream::Mode::Write)) {
            error_ = "cannot create " + tmp + ": " + std::strerror(f.LastErrno());
        } else {
            ok = f.Write(std::span<const std::uint8_t>(
                     reinterpret_cast<const std::uint8_t*>(text.data()), text.size())) &&
                 f.Sync() && f.Close();
            if (!ok) error_ = "cannot write " + tmp + ": " + std::strerror(f.LastErrno());
        }
    }
    if (ok && std::rename(tmp.c_str(), path.c_str()) != 0) {
        error_ = "cannot replace " + path + ": " + std::strerror(errno);
        ok = false;
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    path_ = path;
    dirty_ = false;
    return true;
}

int CProfile::FindHeader(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].header && SameName(lines_[i].section, section)) return static_cast<int>(i);
    return -1;
}

int CProfile::FindKey(std::string_view section, std::string_view key) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line& l = lines_[i];
        if (!l.header && !l.key.empty() && SameName(l.section, section) && SameName(l.key, key))
            return static_cast<int>(i);
    }
    return -1;
}

std::optional<std::string> CProfile::GetValue(std::string_view section,
                                              std::string_view key) const {
    int i = FindKey(section, key);
    if (i < 0) return std::nullopt;
    return lines_[static_cast<std::size_t>(i)].value;
}

std::string CProfile::GetString(std::string_view section, std::string_view key,
                                std::string_view def) const {
    auto v = GetValue(section, key);
    return v ? *v : std::string(def);
}

int CProfile::GetInt(std::string_view section, std::string_view key, int def) const {
    auto v = GetValue(section, key);
    if (!v || v->empty()) return def;
    int out = 0;
    const char* b = v->data();
    const char* e = b + v->size();
    if (*b == '+') ++b;
    auto [p, ec] = std::from_chars(b, e, out);
    if (ec != std::errc() || p == b) return def;
    return out;
}

std::vector<std::pair<std::string, std::string>> CProfile::GetSection(
    std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> out;
    for (const Line& l : lines_) {
        if (l.header || l.key.empty() || !SameName(l.section, section)) continue;
        bool seen = false;
        for (const auto& kv : out) seen = seen || SameName(kv.first, l.key);
        if (!seen) out.emplace_back(l.key, l.value);
    }
    return out;
}

std::vector<std::string> CProfile::GetSectionNames() const {
    std::vector<std::string> out;
    for (const Line& l : lines_) {
        if (!l.header) continue;
        bool seen = false;
        for (const auto& s : out) seen = seen || SameName(s, l.section);
        if (!seen) out.push_back(l.section);
    }
    return out;
}

void CProfile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    // Line breaks would make a value into new lines of the file: keep it on one line.
    std::string v(value);
    for (char& c : v)
        if (c == '\n' || c == '\r') c = ' ';
    dirty_ = true;
    int i = FindKey(section, key);
    if (i >= 0) {
        Line& l = lines_[static_cast<std::size_t>(i)];
        l.value = std::string(Trim(v));
        l.text = l.key + "=" + l.value;
        return;
    }
    Line line;
    line.key = std::string(key);
    line.value = std::string(Trim(v));
    line.text = line.key + "=" + line.value;
    int h = FindHeader(section);
    if (h < 0) {
        if (!lines_.empty() && !Trim(lines_.back().text).empty())
            lines_.push_back(Line{"", lines_.back().section, "", "", false});
        Line header;
        header.text = "[" + std::string(section) + "]";
        header.section = std::string(section);
        header.header = true;
        lines_.push_back(std::move(header));
        line.section = std::string(section);
        lines_.push_back(std::move(line));
        return;
    }
    line.section = lines_[static_cast<std::size_t>(h)].section;
    // After the section's last key line (blank lines and comments at its end stay after it).
    std::size_t at = static_cast<std::size_t>(h) + 1;
    for (std::size_t j = at; j < lines_.size() && !lines_[j].header; ++j)
        if (!lines_[j].key.empty()) at = j + 1;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

void CProfile::WriteInt(std::string_view section, std::string_view key, int value) {
    WriteString(section, key, std::to_string(value));
}

bool CProfile::DeleteKey(std::string_view section, std::string_view key) {
    bool any = false;
    for (int i; (i = FindKey(section, key)) >= 0;) {
        lines_.erase(lines_.begin() + i);
        any = true;
    }
    dirty_ = dirty_ || any;
    return any;
}

bool CProfile::DeleteSection(std::string_view section) {
    std::size_t before = lines_.size();
    std::erase_if(lines_, [&](const Line& l) {
        return (l.header || !l.key.empty()) && SameName(l.section, section);
    });
    bool any = lines_.size() != before;
    dirty_ = dirty_ || any;
    return any;
}

}  // namespace tfw
