#include "platform/atoms.h"
#include "platform/ranked_mutex.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>

namespace tolvan::plat {

namespace {

constexpr ATOM kFirstAtom = 0xC000;
constexpr size_t kMaxName = 255;

struct Entry {
    std::string name;
    uint32_t refs = 0;
};

RankedMutex g_mutex{LockRank::kAtoms};
std::map<ATOM, Entry> g_atoms;

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::map<ATOM, Entry>::iterator FindByName(const std::string& name) {
    return std::find_if(g_atoms.begin(), g_atoms.end(),
                        [&](const auto& kv) { return SameName(kv.second.name, name); });
}

}  // namespace

ATOM GlobalAddAtom(const std::string& name) {
    if (name.empty() || name.size() > kMaxName) return 0;
    std::lock_guard lock(g_mutex);
    auto it = FindByName(name);
    if (it != g_atoms.end()) {
        ++it->second.refs;
        return it->first;
    }
    for (uint32_t a = kFirstAtom; a <= 0xFFFF; ++a) {
        if (!g_atoms.count(static_cast<ATOM>(a))) {
            g_atoms[static_cast<ATOM>(a)] = Entry{name, 1};
            return static_cast<ATOM>(a);
        }
    }
    return 0;
}

ATOM GlobalFindAtom(const std::string& name) {
    if (name.empty()) return 0;
    std::lock_guard lock(g_mutex);
    auto it = FindByName(name);
    return it == g_atoms.end() ? 0 : it->first;
}

ATOM GlobalDeleteAtom(ATOM atom) {
    std::lock_guard lock(g_mutex);
    auto it = g_atoms.find(atom);
    if (it == g_atoms.end()) return atom;
    if (--it->second.refs == 0) g_atoms.erase(it);
    return 0;
}

std::string GlobalGetAtomName(ATOM atom) {
    std::lock_guard lock(g_mutex);
    auto it = g_atoms.find(atom);
    return it == g_atoms.end() ? std::string() : it->second.name;
}

void ClearAtomTable() {
    std::lock_guard lock(g_mutex);
    g_atoms.clear();
}

}  // namespace tolvan::plat
