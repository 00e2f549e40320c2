// Loads arbitrary bytes as a profile file, saves it and loads it again: the second load must
// see the same sections and keys with the same values, and as many lines. Then a few settings
// written by name (plain section and key names, values of any bytes) must read back after
// another save and load, and every other key must keep its value.
//
// Input: the first byte's low 7 bits say how many of the last bytes hold the writes; the
// rest is the file.
#include "framework/profile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <unistd.h>

namespace {

using Entries =
    std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>>;

void Check(bool ok) {
    if (!ok) std::abort();
}

// One private directory per run, left clean at exit. A memory file system when there is one:
// every save syncs the file, which on a disk would make the run crawl.
struct WorkDir {
    std::string dir;
    std::string file;
    WorkDir() {
        const char* base = std::getenv("TMPDIR");
        std::string root = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm"
                           : base && *base                 ? base
                                                           : "/tmp";
        std::string tmpl = root + "/profile-fuzz-XXXXXX";
        if (!::mkdtemp(tmpl.data())) std::abort();
        dir = tmpl;
        file = dir + "/fuzz.ini";
    }
    ~WorkDir() {
        ::unlink(file.c_str());
        ::rmdir(dir.c_str());
    }
};

const WorkDir& Work() {
    static WorkDir work;
    return work;
}

void WriteFile(const std::string& path, std::string_view text) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), f) != text.size()) std::abort();
    if (std::fclose(f) != 0) std::abort();
}

Entries Snapshot(const tfw::CProfile& p) {
    Entries out;
    for (std::string& name : p.GetSectionNames()) {
        auto keys = p.GetSection(name);
        out.emplace_back(std::move(name), std::move(keys));
    }
    return out;
}

// Saves `p` and loads the file into a fresh profile.
tfw::CProfile SaveAndLoad(tfw::CProfile& p) {
    Check(p.SaveAs(Work().file));
    Check(!p.IsDirty());
    tfw::CProfile again;
    Check(again.Load(Work().file));
    return again;
}

bool Blank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// What a written value reads back as: one line, without blanks around it.
std::string Stored(std::string v) {
    for (char& c : v)
        if (c == '\n' || c == '\r') c = ' ';
    std::size_t b = 0, e = v.size();
    while (b < e && Blank(v[b])) ++b;
    while (e > b && Blank(v[e - 1])) --e;
    return v.substr(b, e - b);
}

std::string PlainName(FuzzedDataProvider& in) {
    static constexpr char kChars[] = "abcXYZ019_";
    std::string name(in.ConsumeIntegralInRange<std::size_t>(1, 3), 'a');
    for (char& c : name) c = kChars[in.ConsumeIntegralInRange<std::size_t>(0, sizeof kChars - 2)];
    return name;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t writesLen = std::min<std::size_t>(data[0] & 0x7F, size - 1);
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1 - writesLen);
    FuzzedDataProvider writes(data + size - writesLen, writesLen);

    WriteFile(Work().file, text);
    tfw::CProfile first;
    Check(first.Load(Work().file));
    const Entries loaded = Snapshot(first);
    const std::string firstText = first.ToText();

    tfw::CProfile second = SaveAndLoad(first);
    Check(Snapshot(second) == loaded);
    // Lines keep their number and order (a CR that ends a line may go on the first save).
    const std::string secondText = second.ToText();
    Check(std::count(firstText.begin(), firstText.end(), '\n') ==
          std::count(secondText.begin(), secondText.end(), '\n'));
    for (const auto& [section, keys] : loaded)
        for (const auto& [key, value] : keys) Check(second.GetValue(section, key) == value);

    // Settings written by name.
    std::vector<std::pair<std::pair<std::string, std::string>, std::string>> written;
    while (writes.remaining_bytes() > 0) {
        std::string section = PlainName(writes);
        std::string key = PlainName(writes);
        std::string value = writes.ConsumeRandomLengthString(40);
        second.WriteString(section, key, value);
        Check(second.IsDirty());
        Check(second.GetValue(section, key) == Stored(value));
        std::erase_if(written, [&](const auto& w) {
            return SameName(w.first.first, section) && SameName(w.first.second, key);
        });
        written.push_back({{section, key}, Stored(value)});
    }
    tfw::CProfile third = SaveAndLoad(second);
    for (const auto& [where, value] : written)
        Check(third.GetValue(where.first, where.second) == value);
    for (const auto& [section, keys] : loaded) {
        for (const auto& [key, value] : keys) {
            bool rewritten = false;
            for (const auto& w : written)
                rewritten = rewritten ||
                            (SameName(w.first.first, section) && SameName(w.first.second, key));
            if (!rewritten) Check(third.GetValue(section, key) == value);
        }
    }
    return 0;
}
