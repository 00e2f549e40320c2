// String table by numeric id. Strings come in two tiers: the program's own, and those of the
// libraries it loaded; a lookup searches the program's first, then the libraries' in the order
// they registered. So a library can supply a text that the program overrides with its own.
// Registration lasts as long as the registration object; safe to use from any thread.
#pragma once

#include <span>
#include <string>

namespace tfw {

struct StringEntry {
    unsigned id;
    const char* text;
};

enum class StringSource { Program, Library };

class StringRegistration {
public:
    // The entries must outlive the registration (they are normally static tables).
    StringRegistration(StringSource source, std::span<const StringEntry> entries);
    StringRegistration(const StringRegistration&) = delete;
    StringRegistration& operator=(const StringRegistration&) = delete;
    ~StringRegistration();

private:
    StringSource source_;
    std::span<const StringEntry> entries_;
};

// Sets text and returns true when id is defined; otherwise returns false and leaves text.
bool LoadString(unsigned id, std::string& text);
// The text of id, or an empty string.
std::string LoadString(unsigned id);

}  // namespace tfw
