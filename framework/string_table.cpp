#include "framework/string_table.h"

#include <algorithm>
#include <mutex>
#include <shared_mutex>
#include <vector>

namespace tfw {
namespace {

struct Block {
    const StringRegistration* owner;
    std::span<const StringEntry> entries;
};

struct Table {
    std::shared_mutex mutex;
    std::vector<Block> program;
    std::vector<Block> library;
};

Table& TheTable() {
    // Built by the first registration, so it is destroyed after every static registration.
    static Table table;
    return table;
}

const char* Find(const std::vector<Block>& blocks, unsigned id) {
    for (const Block& b : blocks)
        for (const StringEntry& e : b.entries)
            if (e.id == id) return e.text;
    return nullptr;
}

}  // namespace

StringRegistration::StringRegistration(StringSource source, std::span<const StringEntry> entries)
    : source_(source), entries_(entries) {
    Table& t = TheTable();
    std::unique_lock lock(t.mutex);
    (source == StringSource::Program ? t.program : t.library).push_back(Block{this, entries});
}

StringRegistration::~StringRegistration() {
    Table& t = TheTable();
    std::unique_lock lock(t.mutex);
    auto& blocks = source_ == StringSource::Program ? t.program : t.library;
    blocks.erase(std::remove_if(blocks.begin(), blocks.end(),
                                [this](const Block& b) { return b.owner == this; }),
                 blocks.end());
}

bool LoadString(unsigned id, std::string& text) {
    Table& t = TheTable();
    std::shared_lock lock(t.mutex);
    const char* s = Find(t.program, id);
    if (s == nullptr) s = Find(t.library, id);
    if (s == nullptr) return false;
    text = s;
    return true;
}

std::string LoadString(unsigned id) {
    std::string s;
    LoadString(id, s);
    return s;
}

}  // namespace tfw
