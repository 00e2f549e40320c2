// A stand-in channel for XMODEM tests: the channel operations an XMODEM reception
// uses, over one raw pty end, with the channel's results and timed-read semantics
// (waits on the platform tick source through the one wait function).
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>

#include "ports/xmodem_link.h"

namespace tolvan::test {

class XModemPtyLink final : public XModemLink {
public:
    // Created with one reference, the creator's; deletes itself when the last reference
    // goes. `destroyed` (optional) is set at that moment. `fd` is not owned.
    static XModemPtyLink* Create(int fd, std::shared_ptr<std::atomic<bool>> destroyed = nullptr);

    int16_t WriteCharToPort(int16_t ch) override;
    int16_t ReadCharFromPortTimed(int32_t ms) override;
    int16_t ReadFromPortTimed(std::span<uint8_t> dest, int32_t ms) override;
    void ClearRBuff() override;
    bool IsConnected() override;
    int32_t GetAbortRequest() override;
    void SetAbortRequest(int32_t value) override;
    void AddRef() override;
    void Release() override;

    // Test controls and observers.
    void SetConnected(bool connected);
    // Fetches what the pty holds and returns the bytes the receive buffer holds, as a
    // second user of the port would ask. Call with the server lock held.
    uint32_t SpaceUsedInRXBuffer();
    int References() const { return refs_.load(); }
    // Channel operations that were called without the server lock held.
    int UnlockedCalls() const { return unlockedCalls_.load(); }

private:
    XModemPtyLink(int fd, std::shared_ptr<std::atomic<bool>> destroyed);
    ~XModemPtyLink();
    void CheckLocked();
    // Moves what the pty holds into the receive buffer (the shared port's poll).
    void PollReceive();

    const int fd_;
    std::shared_ptr<std::atomic<bool>> destroyed_;
    std::atomic<int> refs_{1};
    std::atomic<int> unlockedCalls_{0};
    // Guarded by the server lock, as the channel's state is.
    std::deque<uint8_t> rx_;
    int16_t portError_ = 0;
    bool connected_ = true;
    int32_t abortRequest_ = 0;
};

}  // namespace tolvan::test
