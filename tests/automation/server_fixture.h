// A running automation server on a private bus, with test channels on real ptys mapped
// to COM numbers.
#pragma once

#include "automation/automation_server.h"
#include "ports/port_registry.h"
#include "tests/automation/bus_fixture.h"
#include "tests/automation/test_channel.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tolvan::test {

class ServerOnBus : public ::testing::Test {
protected:
    // COM numbers that get a pty; others named in Missing() map to a device that does
    // not exist.
    virtual std::vector<int> PtyPorts() const { return {2}; }
    virtual std::vector<int> MissingPorts() const { return {}; }

    void SetUp() override;
    void TearDown() override;

    // The master side of the pty of a COM number.
    int Master(int com) const;
    // Bytes from a pty master until `n` came or nothing more arrives for a while.
    std::vector<std::uint8_t> ReadMaster(int com, std::size_t n);
    void WriteMaster(int com, const std::string& text);
    // Makes the host's n-th channel's port data visible (open, attached).
    CSharedPort* Port(int com) const { return registry_->FindPort(com); }

    std::unique_ptr<PrivateBus> bus_;
    std::unique_ptr<PortRegistry> registry_;
    std::unique_ptr<TestHost> host_;
    std::unique_ptr<tdbus::AutomationServer> server_;
    int lastReleased_ = 0;  // LastObjectReleased signals seen

private:
    struct Pty {
        int master = -1;
        int slave = -1;
        std::string path;
    };
    std::map<int, Pty> ptys_;
};

std::vector<std::uint8_t> Bytes(const std::string& text);

}  // namespace tolvan::test
