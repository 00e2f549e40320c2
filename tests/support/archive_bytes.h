// File formats in memory: what a store through an archive writes, and a load from bytes
// or text through an archive, for the tests of every document's file.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "framework/archive.h"
#include "framework/byte_stream.h"

namespace tolvan::test {

// The bytes `write(archive)` stores, flushed (a failed flush fails the test).
template <typename Write>
std::vector<std::uint8_t> StoredBytes(Write&& write) {
    tfw::MemorySink sink;
    {
        tfw::CArchive ar(sink);
        write(ar);
        EXPECT_TRUE(ar.Flush());
    }
    return sink.Bytes();
}

// Runs `read(archive)` over `bytes`; whether the archive is still without error afterwards.
template <typename Read>
bool LoadBytes(std::span<const std::uint8_t> bytes, Read&& read) {
    tfw::MemorySource source(bytes);
    tfw::CArchive ar(source);
    read(ar);
    return ar.Ok();
}

inline std::span<const std::uint8_t> TextBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace tolvan::test
