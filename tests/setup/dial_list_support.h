#pragma once
// Shared by the phone-list tests: entries with the usual line defaults, and lists made by
// the runtime class itself (they belong to the test, not to a template).

#include "setup/dial_list.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace dial_test {

inline tagDialEntry Entry(std::string comment, std::string dial, std::int32_t baud = 9600,
                          char parity = 'N', std::int32_t wordLen = 8, std::int32_t stopBits = 1,
                          char duplex = 'F') {
    return tagDialEntry{std::move(comment), std::move(dial), baud, parity, wordLen,
                        stopBits,           duplex};
}

inline std::unique_ptr<CDocDialList> NewList() {
    return std::unique_ptr<CDocDialList>(
        static_cast<CDocDialList*>(classCDocDialList.createObject().release()));
}

// A new list holding copies of `entries`, in order.
inline std::unique_ptr<CDocDialList> ListOf(std::vector<tagDialEntry> entries) {
    auto list = NewList();
    for (auto& e : entries) list->AddNode(&e);
    return list;
}

}  // namespace dial_test
