// The port object's default table, the placeholder port and the open port list.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/device_map.h"
#include "platform/movable_memory.h"
#include "platform/sim_device.h"
#include "ports/port_object.h"
#include "ports/serial_driver.h"

namespace tolvan {
namespace {

// Runs every slot but Close and ClearStatus; each must answer -24 and leave it in
// `status` until ClearStatus.
void ExpectAllUnsupported(PortObject* p) {
    uint8_t buf[4] = {};
    std::vector<std::string> lines;
    const LineSink sink = [&](const std::string& l) { lines.push_back(l); };
    const std::vector<std::pair<const char*, std::function<int()>>> calls = {
        {"ReadChar", [&] { return p->ops.ReadChar(p); }},
        {"PeekChar", [&] { return p->ops.PeekChar(p); }},
        {"WriteChar", [&] { return p->ops.WriteChar(p, 'A'); }},
        {"SetLine", [&] { return p->ops.SetLine(p, 9600, 'N', 8, 1); }},
        {"UseXonXoff", [&] { return p->ops.UseXonXoff(p, true); }},
        {"UseRtsCts", [&] { return p->ops.UseRtsCts(p, true); }},
        {"UseDtrDsr", [&] { return p->ops.UseDtrDsr(p, true); }},
        {"SetDtr", [&] { return p->ops.SetDtr(p, true); }},
        {"SetRts", [&] { return p->ops.SetRts(p, true); }},
        {"TxFree", [&] { return p->ops.TxFree(p); }},
        {"TxUsed", [&] { return p->ops.TxUsed(p); }},
        {"RxFree", [&] { return p->ops.RxFree(p); }},
        {"RxUsed", [&] { return p->ops.RxUsed(p); }},
        {"ClearTx", [&] { return p->ops.ClearTx(p); }},
        {"WriteBuffer", [&] { return p->ops.WriteBuffer(p, buf, 4); }},
        {"ReadBuffer", [&] { return p->ops.ReadBuffer(p, buf, 4); }},
        {"Dump", [&] { return p->ops.Dump(p, sink); }},
        {"SendBreak", [&] { return p->ops.SendBreak(p, 10); }},
        {"ModemStatus", [&] { return p->ops.ModemStatus(p); }},
        {"LineStatus", [&] { return p->ops.LineStatus(p); }},
        {"ClearLineStatus", [&] { return p->ops.ClearLineStatus(p); }},
        {"ReservedOp", [&] { return p->ops.ReservedOp(p); }},
    };
    for (const auto& [name, call] : calls) {
        p->ops.ClearStatus(p);
        EXPECT_EQ(call(), -24) << name;
        EXPECT_EQ(p->status, -24) << name << " leaves the status";
        EXPECT_EQ(p->ops.ReadChar(p), -24);
        EXPECT_EQ(p->status, -24) << "status stays sticky after " << name;
    }
    p->ops.ClearStatus(p);
    EXPECT_EQ(p->status, 0);
    EXPECT_EQ(lines, (std::vector<std::string>{"Port dump not supported for this driver", ""}));
}

class PortObjectTest : public ::testing::Test {
protected:
    void TearDown() override { plat::MemoryFaults::Reset(); }
};

TEST_F(PortObjectTest, DefaultTableAnswersFunctionNotSupported) {
    PortObject* p = NewPortObject();
    ASSERT_NE(p, nullptr);
    InitPortObject(p);
    EXPECT_EQ(p->reserved, 0u);
    EXPECT_EQ(p->count, 0);
    ExpectAllUnsupported(p);
    const int before = OpenPortCount();
    EXPECT_EQ(p->ops.Close(p), 0);
    EXPECT_EQ(OpenPortCount(), before - 1);
}

TEST_F(PortObjectTest, OpenPortListKeepsObjectsUntilTheirClose) {
    const int before = OpenPortCount();
    PortObject* a = NewPortObject();
    PortObject* b = NewPortObject();
    InitPortObject(a);
    InitPortObject(b);
    EXPECT_EQ(OpenPortListHead(), b);
    EXPECT_EQ(b->next, a);
    EXPECT_EQ(OpenPortCount(), before + 2);
    // Closing out of order unlinks from the middle.
    a->ops.Close(a);
    EXPECT_EQ(OpenPortCount(), before + 1);
    EXPECT_EQ(OpenPortListHead(), b);
    b->ops.Close(b);
    EXPECT_EQ(OpenPortCount(), before);
}

TEST_F(PortObjectTest, InfraRedStyleObjectsStayOffTheList) {
    const int before = OpenPortCount();
    PortObject* p = NewPortObject();
    FillDefaultOperations(p);
    EXPECT_EQ(OpenPortCount(), before);
    ExpectAllUnsupported(p);
    EXPECT_EQ(p->ops.Close(p), 0);  // not found on the list: simply freed
    EXPECT_EQ(OpenPortCount(), before);
}

TEST_F(PortObjectTest, PortOpenedWithoutMemoryIsThePlaceholder) {
    plat::DeviceMap::Set(7, "loop://placeholder");
    for (int passFirst : {0, 1}) {  // the port object, then the driver record
        plat::MemoryFaults::FailAllocations(passFirst, 1);
        PortObject* p = OpenWin32Port(6, 9600, 'N', 8, 1);
        ASSERT_TRUE(IsPlaceholderPort(p)) << passFirst;
        EXPECT_EQ(p->status, -5);
        EXPECT_EQ(p->port, -1);
        EXPECT_EQ(p->type, -1);
        EXPECT_EQ(p->driver, nullptr);
        ExpectAllUnsupported(p);
        EXPECT_EQ(p->ops.Close(p), 0);
        // Closing releases nothing: the loop device was never opened.
        EXPECT_FALSE(plat::LoopDevice("placeholder")->IsOpen());
    }
    plat::DeviceMap::Remove(7);
}

TEST_F(PortObjectTest, IdleHookIsReplaceable) {
    EXPECT_EQ(CallIdleHook(), 0);
    int calls = 0;
    {
        ScopedIdleHook outer([] { return 5; });
        {
            ScopedIdleHook hook([&] { return ++calls > 1 ? -1 : 0; });
            EXPECT_EQ(CallIdleHook(), 0);
            EXPECT_EQ(CallIdleHook(), -1);
        }
        EXPECT_EQ(CallIdleHook(), 5) << "the hook before it is back";
    }
    EXPECT_EQ(CallIdleHook(), 0);
    EXPECT_EQ(calls, 2);
}

// Reports the device's close through a pipe, so a parent process sees it.
class ClosePipePeer : public plat::SimPeer {
public:
    explicit ClosePipePeer(int fd) : fd_(fd) {}
    void OnHostWrite(plat::SimDevice&, std::span<const uint8_t>) override {}
    void OnLines(plat::SimDevice&, bool dtr, bool rts) override {
        dtr_ = dtr;
        rts_ = rts;
    }
    void OnClose(plat::SimDevice&) override {
        const char report[3] = {'C', static_cast<char>(dtr_ ? '1' : '0'),
                                static_cast<char>(rts_ ? '1' : '0')};
        (void)!::write(fd_, report, sizeof report);
    }

private:
    int fd_;
    bool dtr_ = false, rts_ = false;
};

TEST_F(PortObjectTest, PortsLeftOpenAreClosedAtProcessExit) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(fds[0]);
        auto dev = std::make_shared<plat::SimDevice>("exit-probe");
        dev->SetPeer(std::make_shared<ClosePipePeer>(fds[1]));
        plat::RegisterSimDevice("exit-probe", dev);
        plat::DeviceMap::Set(11, "sim://exit-probe");
        PortObject* p = OpenWin32Port(10, 9600, 'N', 8, 1);
        std::exit(p->status == 0 ? 0 : 3);  // leaves the port open on purpose
    }
    ::close(fds[1]);
    char report[3] = {};
    ssize_t got = 0;
    while (got < 3) {
        const ssize_t r = ::read(fds[0], report + got, 3 - got);
        if (r <= 0) break;
        got += r;
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ASSERT_EQ(got, 3) << "the exit routine did not close the port";
    // The serial driver's Close drops DTR and RTS before closing the device.
    EXPECT_EQ(std::string(report, 3), "C00");
}

}  // namespace
}  // namespace tolvan
