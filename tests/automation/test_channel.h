// A channel for the transport tests, until the channel document exists: the 36 members
// bound through the member table to a channel double on a real shared port (port
// registry, ChannelDouble, ptys), and XMODEM reception over a pty of the test's choice.
// Members the transport tests do not need answer -24 ("Function not supported").
#pragma once

#include "automation/channel_host.h"
#include "framework/dispatch_class.h"
#include "ports/port_registry.h"
#include "tests/support/channel_double.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <span>
#include <string>

namespace tolvan::test {

class TestChannel : public tfw::DispatchTarget {
public:
    TestChannel(PortRegistry& registry, int xmodemFd) : registry_(registry), xmodemFd_(xmodemFd) {}
    const tfw::DispatchClass& GetDispatchClass() const override;
    static const tfw::DispatchClass& PlainClass();

    std::int16_t GetTBuffSize() const;
    void SetTBuffSize(std::int16_t size);
    std::int16_t GetRBuffSize() const;
    void SetRBuffSize(std::int16_t size);
    std::int16_t ConnectToPort(std::int16_t port, std::int32_t baud, std::int16_t parity,
                               std::int16_t wordLength, std::int16_t stopBits);
    std::int16_t ReadFromPort(std::span<std::uint8_t> buffer, std::int16_t count);
    std::int16_t ReadStringFromPort(std::span<std::uint8_t> buffer, std::int16_t size,
                                    std::int16_t terminator);
    std::int16_t WriteToPort(std::span<std::uint8_t> buffer, std::int16_t count);
    std::int16_t SetParam(std::int32_t baud, std::int16_t parity, std::int16_t wordLength,
                          std::int16_t stopBits);
    std::int16_t SetFlowControl(bool dtrDsr, bool rtsCts, bool xonXoff);
    void ClearRBuff();
    void ClearTBuff();
    std::int16_t CloseConnection();
    void SetDefBufSize(std::int16_t rx, std::int16_t tx);
    std::int16_t GetPortError();
    void ClearPortError();
    void GetCommErrorName(std::span<std::uint8_t> buffer, std::int16_t code);
    bool IsOverflow();
    void LockPort();
    void UnlockPort();
    bool IsConnected() const;
    bool GetPortSettings(std::int32_t& baud, std::int16_t& parity, std::int16_t& wordLength,
                         std::int16_t& stopBits);
    std::int16_t GetPortNumber() const;
    bool GetFlowControl(bool& dtrDsr, bool& rtsCts, bool& xonXoff);
    std::int16_t ReadFromPortTimed(std::span<std::uint8_t> buffer, std::int16_t count,
                                   std::int32_t ms);
    std::int16_t ReadStringFromPortTimed(std::span<std::uint8_t> buffer, std::int16_t size,
                                         std::int16_t terminator, std::int32_t ms);
    std::int16_t ReadCharFromPort();
    std::int16_t ReadCharFromPortTimed(std::int32_t ms);
    std::int16_t WriteCharToPort(std::int16_t ch);
    std::int16_t ReceiveXModemFile(const std::string& name, std::int32_t length,
                                   std::int16_t window);
    std::int16_t SetDTRLine(bool on);
    std::int16_t SetRTSLine(bool on);
    std::int32_t SpaceFreeInRXBuffer();
    std::int32_t SpaceFreeInTXBuffer();
    std::int32_t SpaceUsedInRXBuffer();
    std::int32_t SpaceUsedInTXBuffer();
    void GetAvailableCOMM(std::span<std::uint8_t> buffer);
    void AbortXfert();

    // Calls that reached the channel, for tests that check refused calls never do.
    int calls = 0;

protected:
    PortRegistry& registry_;
    ChannelDouble double_;
    int xmodemFd_;
};

// The infra-red shape: a class that adds an empty table and inherits the 36 members.
class TestDerivedChannel : public TestChannel {
public:
    using TestChannel::TestChannel;
    const tfw::DispatchClass& GetDispatchClass() const override;
};

// Creates TestChannels for the server: Plain gives TestChannel, InfraRed
// TestDerivedChannel; Modem fails (no modem here).
class TestHost : public tdbus::ChannelHost {
public:
    explicit TestHost(PortRegistry& registry) : registry_(registry) {}
    ~TestHost() override;
    tdbus::HostedChannel* CreateChannel(tdbus::ChannelClass cls) override;

    int Live() const { return live_; }
    int Created() const { return created_; }
    // The channel of a hosted object, or null once it is gone.
    TestChannel* Channel(tdbus::HostedChannel* hosted) const;
    // The hosted objects by creation order (1-based); null once destroyed.
    tdbus::HostedChannel* HostedAt(int n) const;
    int References(int n) const;
    void SetXModemFd(int fd) { xmodemFd_ = fd; }

private:
    class Hosted;
    friend class Hosted;
    PortRegistry& registry_;
    int live_ = 0;
    int created_ = 0;
    int xmodemFd_ = -1;
    std::map<int, Hosted*> hosted_;
};

}  // namespace tolvan::test
