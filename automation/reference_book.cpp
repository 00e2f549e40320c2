#include "automation/reference_book.h"

namespace tdbus {

std::uint32_t ReferenceBook::Take(const std::string& client, std::uint32_t id) {
    ++byClient_[client][id];
    return ++totals_[id];
}

std::optional<std::uint32_t> ReferenceBook::Drop(const std::string& client, std::uint32_t id) {
    auto c = byClient_.find(client);
    if (c == byClient_.end()) return std::nullopt;
    auto held = c->second.find(id);
    if (held == c->second.end()) return std::nullopt;
    if (--held->second == 0) c->second.erase(held);
    if (c->second.empty()) byClient_.erase(c);
    auto total = totals_.find(id);
    const std::uint32_t left = --total->second;
    if (left == 0) totals_.erase(total);
    return left;
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> ReferenceBook::DropClient(
    const std::string& client) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    auto c = byClient_.find(client);
    if (c == byClient_.end()) return out;
    for (const auto& [id, count] : c->second) {
        out.emplace_back(id, count);
        auto total = totals_.find(id);
        total->second -= count;
        if (total->second == 0) totals_.erase(total);
    }
    byClient_.erase(c);
    return out;
}

void ReferenceBook::Forget(std::uint32_t id) {
    for (auto c = byClient_.begin(); c != byClient_.end();) {
        c->second.erase(id);
        c = c->second.empty() ? byClient_.erase(c) : std::next(c);
    }
    totals_.erase(id);
}

std::uint32_t ReferenceBook::Total(std::uint32_t id) const {
    auto t = totals_.find(id);
    return t == totals_.end() ? 0 : t->second;
}

std::uint32_t ReferenceBook::Held(const std::string& client, std::uint32_t id) const {
    auto c = byClient_.find(client);
    if (c == byClient_.end()) return 0;
    auto h = c->second.find(id);
    return h == c->second.end() ? 0 : h->second;
}

}  // namespace tdbus
