// A timed read sleeps until something happens to its channel, not in short slices: bytes
// that another channel of the port took off the device, bytes a loop:// device turns
// round, the channel closed by another thread. So does a modem command waiting for "OK". The clock
// below runs the other side's action inside the waiter's first sleep (the server lock let go, as
// another thread would find it) and then says whether the sleep would have ended at once.
#include "automation/contract/modem_members.h"
#include "channels/doc_modem.h"
#include "tests/channels/doc_comm_fixture.h"

#include <poll.h>

#include <functional>

namespace tolvan::commtest {
namespace {

class ActAtFirstSleep final : public plat::TickSource {
public:
    uint32_t Now() override { return now_; }
    bool Pause(uint32_t ms, int fd, short events) override {
        return PauseOrWake(ms, fd, events, -1);
    }
    bool PauseOrWake(uint32_t ms, int fd, short events, int wakeFd) override {
        asked.push_back(ms);
        woken.push_back(wakeFd >= 0);
        if (action) std::exchange(action, {})();
        pollfd p[2] = {{wakeFd, POLLIN, 0}, {fd, events, 0}};
        if (::poll(p, 2, 0) > 0 && ((p[0].revents & POLLIN) || (p[1].revents & events)))
            return true;
        now_ += ms;
        return false;
    }
    std::function<void()> action;
    std::vector<uint32_t> asked;  // each sleep's length
    std::vector<bool> woken;      // each sleep had a wake-up to end it

private:
    uint32_t now_ = 5000;
};

// Bytes written at the far end, once they can be read from the port's device.
bool Sent(test::PtyPair& pty, CSharedPort& port, const std::string& text) {
    if (!pty.Write(text)) return false;
    pollfd p{port.ArrivalFd(), POLLIN, 0};
    return ::poll(&p, 1, 5000) == 1;
}

class DocCommWakeTest : public DocCommTest {
protected:
    void SetUp() override {
        DocCommTest::SetUp();
        ASSERT_TRUE(ConnectBoth());
    }
    ActAtFirstSleep clock;
};

TEST_F(DocCommWakeTest, WaiterWakesWhenAnotherChannelTakesTheBytesOffTheDevice) {
    plat::ScopedTickSource use(clock);
    clock.action = [&] {
        ASSERT_TRUE(Sent(pty, Port(), "wxyz"));
        // b's read moves them into the port's ring: the device has nothing left to show.
        Bytes other(4, 0);
        ASSERT_EQ(b->ReadFromPort(other, 4), 4);
        pollfd p{Port().ArrivalFd(), POLLIN, 0};
        EXPECT_EQ(::poll(&p, 1, 0), 0);
    };
    Bytes buf(4, 0);
    EXPECT_EQ(a->ReadFromPortTimed(buf, 4, 60000), 4);
    EXPECT_EQ(buf, B("wxyz"));
    EXPECT_EQ(clock.asked, std::vector<uint32_t>{60000}) << "one sleep for all the time left";
    EXPECT_EQ(clock.Now(), 5000u) << "the sleep ended at the bytes, not by its time";

    // A string read that gets a first piece at once waits for its terminator the same way.
    clock.asked.clear();
    ASSERT_TRUE(Sent(pty, Port(), "AT"));
    clock.action = [&] {
        ASSERT_TRUE(Sent(pty, Port(), "\r\nOK"));
        ASSERT_EQ(b->SpaceUsedInRXBuffer(), 6);  // b's query took everything off the device
    };
    Bytes line(10, 0xEE);
    EXPECT_EQ(a->ReadStringFromPortTimed(line, 10, -2, 60000), 2);
    EXPECT_EQ(std::string(line.begin(), line.begin() + 3), std::string("AT\0", 3));
    EXPECT_EQ(clock.asked.size(), 1u);
    EXPECT_EQ(clock.Now(), 5000u);
}

// An empty string before the wanted one: a read that sleeps until bytes arrive must not
// stop at it while the next string is held already.
TEST_F(DocCommWakeTest, StringAfterAnEmptyOneIsReadWithoutWaiting) {
    ASSERT_TRUE(Sent(pty, Port(), "\r\nOK\r\n"));
    plat::ScopedTickSource use(clock);
    Bytes line(10, 0xEE);
    EXPECT_EQ(a->ReadStringFromPortTimed(line, 10, -2, 60000), 2);
    EXPECT_EQ(std::string(line.begin(), line.begin() + 3), std::string("OK\0", 3));
    EXPECT_EQ(clock.Now(), 5000u) << "waited with the string held";
}

TEST_F(DocCommWakeTest, ChannelClosedMeanwhileEndsTheWaitAtOnce) {
    plat::ScopedTickSource use(clock);
    // Another client closes the channel while its character read waits.
    clock.action = [&] { EXPECT_EQ(a->CloseConnection(), 0); };
    EXPECT_EQ(a->ReadCharFromPortTimed(60000), -6);
    EXPECT_EQ(clock.Now(), 5000u) << "the read waited out its minute";
    EXPECT_TRUE(b->IsConnected());

    // A byte read keeps what it had when its channel goes.
    ASSERT_EQ(a->ConnectToPort(kCom, 9600, 'N', 8, 1), 0);
    ASSERT_TRUE(Sent(pty, Port(), "ab"));
    clock.action = [&] { EXPECT_EQ(a->CloseConnection(), 0); };
    Bytes buf(8, 0);
    EXPECT_EQ(a->ReadFromPortTimed(buf, 8, 60000), 2);
    EXPECT_EQ(buf[0], 'a');
    EXPECT_EQ(clock.Now(), 5000u);
}

// A loop:// device turns written bytes round inside the process; its event descriptor
// wakes the waiter that shares the port with the writer.
TEST(DocCommLoopWake, WaiterOnALoopPortWakesWhenAnotherChannelWrites) {
    test::ScratchDir dir;
    test::MappedPort loop;
    ASSERT_EQ(loop.Map(5, "loop://wake-test", dir.path()), 1);
    CDocComm a, b;
    ASSERT_EQ(a.ConnectToPort(5, 9600, 'N', 8, 1), 0);
    ASSERT_EQ(b.ConnectToPort(5, 9600, 'N', 8, 1), 0);
    ActAtFirstSleep clock;
    plat::ScopedTickSource use(clock);
    Bytes hello = B("hello");
    clock.action = [&] { EXPECT_EQ(b.WriteToPort(hello, 5), 5); };
    Bytes buf(5, 0);
    EXPECT_EQ(a.ReadFromPortTimed(buf, 5, 60000), 5);
    EXPECT_EQ(buf, B("hello"));
    ASSERT_EQ(clock.woken, std::vector<bool>{true});
    EXPECT_EQ(clock.Now(), 5000u);
    a.CloseConnection();
    b.CloseConnection();
}

TEST_F(DocCommWakeTest, ModemCommandSleepsUntilTheAnswerComes) {
    CDocModem modem;
    ASSERT_EQ(modem.ConnectToPort(kCom, 9600, 'N', 8, 1), 0);
    tfw::Variant r;
    std::vector<tfw::Variant> two{tfw::Variant::I2(2)};
    ASSERT_EQ(tfw::Invoke(modem, kDispNCommandMode, tfw::kDispatchPropertyPut, two, r),
              tfw::DispatchStatus::Ok);
    plat::ScopedTickSource use(clock);
    clock.action = [&] { ASSERT_TRUE(Sent(pty, Port(), "AT\r\r\nOK\r\n")); };
    std::vector<tfw::Variant> at{tfw::Variant::String("AT\r")};
    ASSERT_EQ(tfw::Invoke(modem, kDispDoCommand, tfw::kDispatchMethod, at, r),
              tfw::DispatchStatus::Ok);
    EXPECT_EQ(r.AsI2(), 0);
    ASSERT_EQ(clock.woken, std::vector<bool>{true});
    EXPECT_EQ(clock.Now(), 5000u) << "the command's wait ended by its time, not at the answer";
    modem.CloseConnection();
}

}  // namespace
}  // namespace tolvan::commtest
