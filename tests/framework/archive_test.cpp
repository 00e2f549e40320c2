// Archive: integer and string encodings byte for byte, round trips, damaged input.
#include "framework/archive.h"
#include "tests/support/archive_bytes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using tfw::ArchiveStatus;
using tfw::CArchive;
using tfw::MemorySink;
using tfw::MemorySource;

namespace {

std::vector<std::uint8_t> Bytes(std::initializer_list<int> v) {
    std::vector<std::uint8_t> out;
    for (int b : v) out.push_back(static_cast<std::uint8_t>(b));
    return out;
}

template <typename F>
std::vector<std::uint8_t> Store(F&& write) {
    return tolvan::test::StoredBytes(std::forward<F>(write));
}

}  // namespace

TEST(Archive, IntegersAreLittleEndianAtTheirWidth) {
    auto bytes = Store([](CArchive& ar) {
        ar << std::uint16_t{0xFFFF} << std::int32_t{9600} << 'N' << std::int16_t{-2}
           << std::uint8_t{7};
    });
    EXPECT_EQ(bytes, Bytes({0xFF, 0xFF, 0x80, 0x25, 0, 0, 'N', 0xFE, 0xFF, 7}));

    MemorySource src(bytes);
    CArchive ar(src);
    std::uint16_t port = 0;
    std::int32_t baud = 0;
    char parity = 0;
    std::int16_t neg = 0;
    std::uint8_t small = 0;
    ar >> port >> baud >> parity >> neg >> small;
    EXPECT_TRUE(ar.Ok());
    EXPECT_EQ(port, 0xFFFF);
    EXPECT_EQ(baud, 9600);
    EXPECT_EQ(parity, 'N');
    EXPECT_EQ(neg, -2);
    EXPECT_EQ(small, 7);
}

TEST(Archive, StringLengthPrefixesAtEachBoundary) {
    struct Case {
        std::size_t length;
        std::vector<std::uint8_t> prefix;
    };
    const Case cases[] = {
        {0, Bytes({0})},
        {254, Bytes({254})},
        {255, Bytes({0xFF, 0xFF, 0x00})},
        {65534, Bytes({0xFF, 0xFE, 0xFF})},
        {65535, Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00})},
        {70000, Bytes({0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::string text(c.length, 'x');
        for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
        auto bytes = Store([&](CArchive& ar) { ar << text << std::uint8_t{0x5A}; });
        ASSERT_EQ(bytes.size(), c.prefix.size() + c.length + 1);
        EXPECT_TRUE(std::equal(c.prefix.begin(), c.prefix.end(), bytes.begin()));
        EXPECT_EQ(bytes.back(), 0x5A);  // nothing written after the characters but what follows

        MemorySource src(bytes);
        CArchive ar(src);
        std::string back = "old";
        std::uint8_t tail = 0;
        ar >> back >> tail;
        EXPECT_TRUE(ar.Ok());
        EXPECT_EQ(back, text);
        EXPECT_EQ(tail, 0x5A);
    }
}

TEST(Archive, EightBitCharactersPassUnchanged) {
    std::string text;
    for (int c = 0; c < 256; ++c) text.push_back(static_cast<char>(c));
    auto bytes = Store([&](CArchive& ar) { ar << text; });
    MemorySource src(bytes);
    CArchive ar(src);
    std::string back;
    EXPECT_TRUE(ar.ReadString(back));
    EXPECT_EQ(back, text);
}

TEST(Archive, ShortDataFailsStickyAndLeavesValues) {
    auto bytes = Bytes({0x34, 0x12, 0x01});
    MemorySource src(bytes);
    CArchive ar(src);
    std::uint16_t a = 0;
    std::uint32_t b = 77;
    std::uint8_t c = 5;
    EXPECT_TRUE(ar.ReadInt(a));
    EXPECT_EQ(a, 0x1234);
    EXPECT_FALSE(ar.ReadInt(b));
    EXPECT_EQ(b, 77u);
    EXPECT_EQ(ar.Status(), ArchiveStatus::EndOfFile);
    EXPECT_FALSE(ar.ReadInt(c));  // the failure sticks
    EXPECT_EQ(c, 5);
}

TEST(Archive, DamagedStringLengthsFailWithoutHugeAllocation) {
    // Claims 4 GiB - 1 characters but holds three.
    auto bytes = Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b', 'c'});
    MemorySource src(bytes);
    CArchive ar(src);
    std::string text = "kept";
    EXPECT_FALSE(ar.ReadString(text));
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(ar.Status(), ArchiveStatus::EndOfFile);

    // Prefix cut inside its 16-bit part.
    auto cut = Bytes({0xFF, 0x10});
    MemorySource src2(cut);
    CArchive ar2(src2);
    EXPECT_FALSE(ar2.ReadString(text));
}

TEST(Archive, RawReadsReportTheEndWithoutFailing) {
    auto bytes = Bytes({1, 2, 3});
    MemorySource src(bytes);
    CArchive ar(src);
    std::uint8_t buf[8] = {};
    EXPECT_EQ(ar.Read(buf), 3u);
    std::uint8_t b = 0;
    EXPECT_EQ(ar.ReadByte(b), ArchiveStatus::EndOfFile);
    EXPECT_TRUE(ar.Ok());
}

TEST(Archive, DirectionMismatchAndSinkFailureAreReported) {
    MemorySink sink;
    CArchive store(sink);
    std::uint8_t b = 0;
    EXPECT_FALSE(store.ReadInt(b));
    EXPECT_EQ(store.Status(), ArchiveStatus::WrongMode);

    struct FailingSink : tfw::ByteSink {
        bool Write(std::span<const std::uint8_t>) override { return false; }
    } failing;
    CArchive ar(failing);
    ar << std::uint32_t{1};
    EXPECT_FALSE(ar.Flush());
    EXPECT_EQ(ar.Status(), ArchiveStatus::WriteError);
}

TEST(Archive, ReadsAcrossBufferRefills) {
    // Values straddle the archive's internal buffer boundary.
    std::vector<std::uint32_t> values(5000);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<std::uint32_t>(i * 2654435761u);
    auto bytes = Store([&](CArchive& ar) {
        ar << std::uint8_t{1};
        for (auto v : values) ar << v;
    });
    MemorySource src(bytes);
    CArchive ar(src);
    std::uint8_t first = 0;
    ar >> first;
    for (auto v : values) {
        std::uint32_t got = 0;
        ASSERT_TRUE(ar.ReadInt(got));
        ASSERT_EQ(got, v);
    }
}
