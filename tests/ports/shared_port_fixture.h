// Set-up shared by the shared-port and registry tests: lock files in a private folder, a
// device map without automatic entries, a registry, and helpers to map COM numbers to
// ptys and simulated devices, to connect channels and to wait for bytes without spinning.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/device_map.h"
#include "platform/movable_memory.h"
#include "platform/serial_api.h"
#include "platform/sim_device.h"
#include "ports/port_registry.h"
#include "ports/shared_port.h"
#include "tests/support/channel_double.h"
#include "tests/support/pty_pair.h"
#include "tests/support/xmodem_sender.h"

namespace tolvan::sptest {

using Bytes = std::vector<uint8_t>;
using test::ChannelDouble;

inline Bytes B(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// Bytes that do not repeat with any period a ring size could hide.
inline Bytes Pattern(size_t n, uint32_t seed = 12345) {
    return test::PatternBytes(n, seed);
}

class SharedPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(lockDir.path().empty());
        plat::SetLockDirectory(lockDir.path());
        plat::DeviceMap::Clear();
        plat::DeviceMap::SetAutoAssign(false);
    }
    void TearDown() override {
        plat::MemoryFaults::Reset();
        plat::DeviceMap::Clear();
        for (const auto& name : sims_) plat::UnregisterSimDevice(name);
    }

    // Maps COM `com` to a new pty and returns it.
    test::PtyPair& MapPty(int com) {
        ptys_.push_back(std::make_unique<test::PtyPair>());
        plat::DeviceMap::Set(com, ptys_.back()->slavePath());
        return *ptys_.back();
    }
    // Maps COM `com` to a new simulated device and returns it.
    std::shared_ptr<plat::SimDevice> MapSim(int com, const std::string& tag = "") {
        const std::string name = std::string("sp-") +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                                 tag + std::to_string(com);
        auto dev = std::make_shared<plat::SimDevice>(name);
        plat::RegisterSimDevice(name, dev);
        plat::DeviceMap::Set(com, "sim://" + name);
        sims_.push_back(name);
        return dev;
    }

    // Probes the registry, which must find exactly the port of COM `com`, into `port`.
    void ProbeOnly(int com) {
        ASSERT_EQ(registry.ProbePorts(), 1);
        port = registry.FindPort(com);
        ASSERT_NE(port, nullptr);
    }
    // Connects every channel to COM `com` at 9600 N 8 1; false (and a failure) when one fails.
    bool Connect(int com, std::initializer_list<ChannelDouble*> channels) {
        for (ChannelDouble* c : channels) {
            const int code = registry.ConnectChannel(c, com, 9600, 'N', 8, 1);
            EXPECT_EQ(code, 0);
            if (code != 0) return false;
        }
        return true;
    }

    // Polls the port until pred() holds, sleeping on fd (a pty end) between tries; gives
    // up after 5 s of real time (a failure, not a wait the test relies on).
    static bool PumpUntil(CSharedPort& port, int fd, const std::function<bool()>& pred) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!pred()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            port.PollReceive();
            if (pred()) return true;
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, 2);
        }
        return true;
    }

    test::ScratchDir lockDir;
    std::vector<std::unique_ptr<test::PtyPair>> ptys_;
    std::vector<std::string> sims_;
    PortRegistry registry;        // destroyed before the devices it may hold open
    CSharedPort* port = nullptr;  // set by ProbeOnly
};

}  // namespace tolvan::sptest
