// Sending files through the modem channel: pieces of 80 bytes with the internal timeout
// after each, files in order, and the stop at a file that cannot be opened.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/channels/doc_modem_link_fixture.h"

namespace tolvan::mdmtest {
namespace {

// A clock that, whenever the code under test pauses, notes what the far end has received
// since the last pause; so the pieces between the pauses can be told apart.
class PieceClock final : public plat::TickSource {
public:
    explicit PieceClock(test::PtyPair& pty) : pty_(pty) {}
    uint32_t Now() override { return now_; }
    bool Pause(uint32_t ms, int, short) override {
        auto got = pty_.ReadAvailable(20);
        pieces.emplace_back(ms, got.size());
        received.insert(received.end(), got.begin(), got.end());
        now_ += ms;
        return false;
    }
    std::vector<std::pair<uint32_t, size_t>> pieces;  // (pause, bytes before it)
    std::vector<uint8_t> received;

private:
    test::PtyPair& pty_;
    uint32_t now_ = 0;
};

class ModemSendFilesTest : public ModemLinkTest {
protected:
    std::string MakeFile(const std::string& name, size_t size, char first) {
        const std::string path = dir.path() + "/" + name;
        std::ofstream out(path, std::ios::binary);
        for (size_t i = 0; i < size; ++i) out.put(static_cast<char>(first + i % 7));
        return path;
    }
    test::ScratchDir dir;
};

TEST_F(ModemSendFilesTest, FilesGoOutInPiecesWithAPauseAfterEach) {
    mode.nInternalTimeout = 250;
    const std::string a = MakeFile("a.bin", 200, 'a');
    const std::string b = MakeFile("b.bin", 80, 'A');
    PieceClock clock(pty);
    plat::ScopedTickSource use(clock);
    EXPECT_EQ(modem.SendFiles({a, b}), 0);

    using P = std::pair<uint32_t, size_t>;
    EXPECT_EQ(clock.pieces, (std::vector<P>{{250, 80}, {250, 80}, {250, 40}, {250, 80}}))
        << "a file that ends on a full piece gets no empty piece and no extra pause";
    std::string want;
    for (size_t i = 0; i < 200; ++i) want += static_cast<char>('a' + i % 7);
    for (size_t i = 0; i < 80; ++i) want += static_cast<char>('A' + i % 7);
    EXPECT_EQ(std::string(clock.received.begin(), clock.received.end()), want);
}

TEST_F(ModemSendFilesTest, ProgressCountsThePiecesAndStopsTheSendingWhenTold) {
    mode.nInternalTimeout = 10;
    const std::string a = MakeFile("a.bin", 100, 'a');
    const std::string b = MakeFile("b.bin", 90, 'A');
    std::vector<std::pair<uint64_t, uint64_t>> told;
    EXPECT_EQ(modem.SendFiles({a, b},
                              [&](uint64_t sent, uint64_t total) {
                                  told.emplace_back(sent, total);
                                  return told.size() < 3;  // the user cancels at the third
                              }),
              0)
        << "a cancel is no failure";
    using P = std::pair<uint64_t, uint64_t>;
    EXPECT_EQ(told, (std::vector<P>{{0, 190}, {80, 190}, {80, 190}}));
    EXPECT_EQ(FarEndGot().size(), 80u) << "nothing after the cancel";

    told.clear();
    EXPECT_EQ(modem.SendFiles({b},
                              [&](uint64_t sent, uint64_t total) {
                                  told.emplace_back(sent, total);
                                  return true;
                              }),
              0);
    EXPECT_EQ(told, (std::vector<P>{{0, 90}, {80, 90}, {80, 90}, {90, 90}}))
        << "told after the last piece too";
}

TEST_F(ModemSendFilesTest, MissingFileStopsTheList) {
    mode.nInternalTimeout = 10;
    const std::string a = MakeFile("a.bin", 5, 'a');
    const std::string c = MakeFile("c.bin", 5, 'c');
    EXPECT_EQ(modem.SendFiles({a, dir.path() + "/missing", c}), kModemCantOpenFile);
    EXPECT_EQ(FarEndGot(), "abcde") << "the files after the missing one are not sent";
}

TEST_F(ModemSendFilesTest, PieceThatDoesNotFitStops) {
    ASSERT_EQ(registry.SetDefaultSizes(4096, 16), true);
    channel.Disconnect();
    ASSERT_EQ(registry.ConnectChannel(&channel, kCom, 9600, 'N', 8, 1), 0);
    const std::string a = MakeFile("a.bin", 200, 'a');
    EXPECT_EQ(modem.SendFiles({a}), kModemBufferFull) << "a 16-byte ring takes no piece of 80";
}

}  // namespace
}  // namespace tolvan::mdmtest
