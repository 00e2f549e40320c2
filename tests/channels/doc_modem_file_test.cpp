// The modem channel's part of its file: the byte layout, a round trip of values that need
// the longer string lengths and the full 16 bits, and a cut-off file.
#include <gtest/gtest.h>

#include "channels/doc_modem_settings.h"
#include "framework/byte_stream.h"
#include "tests/support/archive_bytes.h"

namespace tolvan {
namespace {

std::vector<uint8_t> Store(const ModemChannelSettings& s) {
    return test::StoredBytes([&](tfw::CArchive& ar) { StoreModemSettings(ar, s); });
}

TEST(ModemFile, DefaultsStoreInTheirOrder) {
    const std::vector<uint8_t> bytes = Store(ModemChannelSettings{});
    const std::string expected = std::string(",") +
                                 "\x03"
                                 "ATD" +
                                 std::string(1, '\0') +
                                 "\x04"
                                 "ATH0"
                                 "\x05"
                                 "AT&F1" +
                                 std::string("\x05\0\x05\0", 4);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);
}

TEST(ModemFile, RoundTripKeepsEveryStoredField) {
    ModemChannelSettings s;
    s.strInit = std::string(300, 'I');  // needs the 255 + 16-bit length form
    s.strHangUp = "ATH";
    s.strDialPrefix = "ATX4D";
    s.strDialSuffix = ";";
    s.chDelay = 'W';
    s.nMaxRedials = 40000;  // beyond a signed 16-bit value
    s.nRedialPause = 0;
    s.bDtrHangUp = 1;
    const std::vector<uint8_t> bytes = Store(s);
    EXPECT_EQ(bytes[bytes.size() - 4 - 300 - 3], 255);

    tfw::MemorySource source(bytes);
    tfw::CArchive ar(source);
    ModemChannelSettings back;
    ASSERT_TRUE(LoadModemSettings(ar, back));
    EXPECT_EQ(back.strInit, s.strInit);
    EXPECT_EQ(back.strHangUp, "ATH");
    EXPECT_EQ(back.strDialPrefix, "ATX4D");
    EXPECT_EQ(back.strDialSuffix, ";");
    EXPECT_EQ(back.chDelay, 'W');
    EXPECT_EQ(back.nMaxRedials, 40000);
    EXPECT_EQ(back.nRedialPause, 0);
    EXPECT_EQ(back.bDtrHangUp, 0) << "the DTR setting is not part of the file";
}

TEST(ModemFile, CutOffFileFailsAndKeepsTheRest) {
    ModemChannelSettings s;
    s.strDialPrefix = "ATDX";
    s.strHangUp = "ATH1";
    std::vector<uint8_t> bytes = Store(s);
    // Keep the delay, the prefix and the suffix, and half of the hang-up string.
    bytes.resize(1 + 5 + 1 + 3);
    tfw::MemorySource source(bytes);
    tfw::CArchive ar(source);
    ModemChannelSettings back;
    EXPECT_FALSE(LoadModemSettings(ar, back));
    EXPECT_EQ(back.strDialPrefix, "ATDX");
    EXPECT_EQ(back.strHangUp, "ATH0") << "a cut string is not taken half";
    EXPECT_EQ(back.strInit, "AT&F1");
    EXPECT_EQ(back.nMaxRedials, 5);
}

}  // namespace
}  // namespace tolvan
