// Reading and writing on a channel over a real pty: string terminators, the timed forms,
// single characters, caller buffers that must not be overrun, overflow.
#include "tests/channels/doc_comm_fixture.h"

#include <unistd.h>

#include <thread>

namespace tolvan::commtest {
namespace {

class DocCommReadTest : public DocCommTest {
protected:
    void SetUp() override {
        DocCommTest::SetUp();
        ASSERT_EQ(a->ConnectToPort(kCom, 9600, 'N', 8, 1), 0);
    }
    // The far end sends text and the channel holds it.
    void Arrive(const std::string& text) {
        const int32_t before = a->SpaceUsedInRXBuffer();
        ASSERT_TRUE(pty.Write(text));
        ASSERT_TRUE(Holds(*a, before + static_cast<int32_t>(text.size())));
    }
};

TEST_F(DocCommReadTest, StringTerminators) {
    Arrive("OK\r\n");
    Bytes buf(12, 0xEE);
    EXPECT_EQ(a->ReadStringFromPort(buf, 10, -2), 2);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 10), (Bytes{'O', 'K', 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(buf[10], 0xEE);  // beyond the size asked for
    EXPECT_EQ(a->SpaceUsedInRXBuffer(), 0);

    Arrive("OK\r");  // no complete string: nothing consumed
    EXPECT_EQ(a->ReadStringFromPort(buf, 10, -2), 0);
    EXPECT_EQ(a->SpaceUsedInRXBuffer(), 3);
    a->ClearRBuff();

    Arrive("\rX");  // empty string before the terminator: 0, but the CR is gone
    EXPECT_EQ(a->ReadStringFromPort(buf, 10, 13), 0);
    EXPECT_EQ(a->SpaceUsedInRXBuffer(), 1);
    EXPECT_EQ(a->ReadStringFromPort(buf, 10, 256), 0);  // no such terminator
    EXPECT_EQ(a->SpaceUsedInRXBuffer(), 1);
}

TEST_F(DocCommReadTest, CountsOutsideTheCallersBufferTouchNothing) {
    Arrive("0123456789");
    Bytes buf(16, 0xEE);
    EXPECT_EQ(a->ReadFromPort(buf, 0), 0);
    EXPECT_EQ(a->ReadFromPort(buf, -3), 0);
    EXPECT_EQ(a->ReadStringFromPort(buf, -1, -1), 0);
    EXPECT_EQ(a->ReadFromPortTimed(buf, 0, 100), 0);
    EXPECT_EQ(a->SpaceUsedInRXBuffer(), 10);
    EXPECT_EQ(buf, Bytes(16, 0xEE));

    // A count beyond the buffer stops at its end.
    EXPECT_EQ(a->ReadFromPort(std::span(buf).first(4), 100), 4);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 5), (Bytes{'0', '1', '2', '3', 0xEE}));
    EXPECT_EQ(a->ReadStringFromPort(std::span(buf).first(3), 100, -1), 2);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 4), (Bytes{'4', '5', 0, '3'}));
    EXPECT_EQ(a->ReadFromPortTimed(std::span(buf).first(2), 50, 10), 2);
    EXPECT_EQ(buf[2], 0);

    // More asked than held: what is held, and the buffer is empty after.
    EXPECT_EQ(a->ReadFromPort(buf, 16), 2);
    EXPECT_EQ(a->SpaceUsedInRXBuffer(), 0);

    Bytes out = B("abcdefgh");
    EXPECT_EQ(a->WriteToPort(std::span(out).first(3), 50), 3);
    EXPECT_EQ(a->WriteToPort(out, 0), 0);
    EXPECT_EQ(a->WriteToPort(out, -8), 0);
    EXPECT_EQ(FarEndGot(), "abc");
}

TEST_F(DocCommReadTest, TimedReads) {
    Arrive("ab");
    Bytes buf(10, 0);
    const uint32_t start = ticks.Now();
    EXPECT_EQ(a->ReadFromPortTimed(buf, 5, 0), 2);  // 0 ms: what is held, at once
    EXPECT_EQ(ticks.Now(), start);

    // A silent line: the whole limit passes on the tick source, no byte, -10.
    EXPECT_EQ(a->ReadCharFromPortTimed(3000), kStatusTimeOut);
    EXPECT_GE(ticks.Now() - start, 3000u);
    EXPECT_EQ(a->ReadFromPortTimed(buf, 5, 200), 0);
    EXPECT_EQ(a->ReadStringFromPortTimed(buf, 5, -2, 200), 0);

    // A byte that comes within the limit ends the wait.
    ASSERT_TRUE(pty.Write("\x7f"));
    EXPECT_EQ(a->ReadCharFromPortTimed(5000), 0x7f);
    Arrive("x\r\n");
    EXPECT_EQ(a->ReadStringFromPortTimed(buf, 10, -2, 1000), 1);
    EXPECT_EQ(buf[0], 'x');
}

// Lets a piece of data arrive at the first pause of a wait: the read that waits joins
// what it had with what came meanwhile.
class SecondPieceAtFirstPause final : public plat::TickSource {
public:
    SecondPieceAtFirstPause(int master, std::string piece)
        : master_(master), piece_(std::move(piece)) {}
    uint32_t Now() override { return now_; }
    bool Pause(uint32_t ms, int, short) override {
        // Time goes in short steps, as a wait's slices do: a wait that sleeps for all its
        // time at once would otherwise end before the piece written here reaches the port.
        now_ += std::min<uint32_t>(ms, 2);
        if (!sent_) {
            sent_ = true;
            EXPECT_EQ(::write(master_, piece_.data(), piece_.size()),
                      static_cast<ssize_t>(piece_.size()));
        }
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        return false;
    }
    bool sent() const { return sent_; }

private:
    int master_;
    std::string piece_;
    uint32_t now_ = 5000;
    bool sent_ = false;
};

TEST_F(DocCommReadTest, TimedStringWithoutTerminatorJoinsPieces) {
    Arrive("abcd");
    SecondPieceAtFirstPause source(pty.master(), "efghi");
    plat::ScopedTickSource use(source);
    Bytes buf(10, 0xEE);
    EXPECT_EQ(a->ReadStringFromPortTimed(buf, 10, -1, 1000), 9);
    EXPECT_TRUE(source.sent());
    EXPECT_EQ(std::string(buf.begin(), buf.begin() + 9), "abcdefghi");
    EXPECT_EQ(buf[9], 0);
}

TEST_F(DocCommReadTest, SingleCharacters) {
    EXPECT_EQ(a->ReadCharFromPort(), 0);  // empty and no driver error
    Arrive(std::string("\0A", 2));
    EXPECT_EQ(a->SpaceUsedInRXBuffer(), 2);
    EXPECT_EQ(a->ReadCharFromPort(), 0);
    EXPECT_EQ(a->SpaceUsedInRXBuffer(), 1);  // tells the zero byte from an empty buffer
    EXPECT_EQ(a->ReadCharFromPort(), 'A');
    EXPECT_EQ(a->WriteCharToPort(0x1C1), 1);  // only the low byte goes out
    EXPECT_EQ(FarEndGot(), "\xC1");
    EXPECT_EQ(a->SetDTRLine(true), 0);
    EXPECT_EQ(a->SetRTSLine(false), 0);

    a->CloseConnection();
    EXPECT_EQ(a->ReadCharFromPort(), kStatusNotSetUp);
    EXPECT_EQ(a->WriteCharToPort('x'), kStatusNotSetUp);
}

TEST_F(DocCommReadTest, OverflowUntilCleared) {
    a->SetRBuffSize(16);
    ASSERT_EQ(a->GetRBuffSize(), 16);
    EXPECT_EQ(a->SpaceFreeInRXBuffer(), 16);
    ASSERT_TRUE(pty.Write("0123456789ABCDEFGHIJ"));
    // IsOverflow only looks at the flag; fetching is what the space query does.
    ASSERT_TRUE(plat::WaitFor(
        [&] {
            a->SpaceUsedInRXBuffer();
            return a->IsOverflow();
        },
        5000));
    EXPECT_EQ(a->SpaceUsedInRXBuffer(), 16);  // the newest bytes are kept
    Bytes buf(4);
    a->ReadFromPort(buf, 4);
    EXPECT_TRUE(a->IsOverflow());  // reading does not reset it
    a->ClearRBuff();
    EXPECT_FALSE(a->IsOverflow());
    EXPECT_EQ(a->SpaceUsedInRXBuffer(), 0);
}

}  // namespace
}  // namespace tolvan::commtest
