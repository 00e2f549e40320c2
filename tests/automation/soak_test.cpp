// Soak: the real server with 8 clients on 2 ports (4 each), every client reading and writing
// through D-Bus for a while, every byte checked both ways, the server's memory held to a
// bound after warm-up. TOLVAN_SOAK_SECONDS sets the length (CI runs a short smoke; 60 for a
// local soak).
//
// Device to channels: each port's device sends a counter pattern, never more than half a
// receive ring ahead of its slowest reader, so every channel must see every byte in order.
// Channels to device: client k of a port writes bytes (k << 6) | (n & 63) for its n-th byte;
// the device sorts what arrives by the top bits and checks each client's sequence, so writes
// of several channels may interleave at any point and a lost or doubled byte still shows.
#include "automation/client/dispatch_driver.h"
#include "automation/contract/comm_members.h"
#include "tests/automation/bus_fixture.h"
#include "tests/automation/server_process.h"
#include "tests/support/pty_pair.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tolvan::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPorts = 2;
constexpr int kClientsPerPort = 4;
constexpr std::int16_t kRing = 16384;
constexpr std::uint32_t kAhead = kRing / 2;
constexpr std::uint16_t kMethod = tfw::kDispatchMethod;

// The address sanitizer holds freed memory back (quarantine), so a sanitized server's resident
// size grows by design: the memory bound is judged on the normal build.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryBounded = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMemoryBounded = false;
#else
constexpr bool kMemoryBounded = true;
#endif
#else
constexpr bool kMemoryBounded = true;
#endif

std::uint8_t DeviceByte(std::uint64_t n) {
    return static_cast<std::uint8_t>(n * 13 + n / 253);
}
std::uint8_t ClientByte(int k, std::uint64_t n) {
    return static_cast<std::uint8_t>((k << 6) | (n & 63));
}

int SoakSeconds() {
    const char* text = std::getenv("TOLVAN_SOAK_SECONDS");
    const int s = text ? std::atoi(text) : 0;
    return s > 0 ? s : 4;
}

struct ClientState {
    std::atomic<std::uint64_t> received{0};  // device bytes checked
    std::atomic<std::uint64_t> written{0};   // own bytes the server took
    std::atomic<bool> failed{false};
    std::string failure;
};

struct PortState {
    std::unique_ptr<PtyPair> pty;
    std::array<ClientState, kClientsPerPort> clients;
    std::atomic<std::uint64_t> sent{0};  // device bytes written to the master
    std::array<std::atomic<std::uint64_t>, kClientsPerPort>
        arrived{};                   // per client, checked at the device
    std::atomic<bool> quiet{false};  // the device has stopped sending
    std::string failure;

    std::uint64_t SlowestReader() const {
        std::uint64_t low = UINT64_MAX;
        for (const ClientState& c : clients) low = std::min<std::uint64_t>(low, c.received);
        return low;
    }
};

// One port's device: sends its pattern while `sending`, checks what the channels wrote until
// `stop`.
void RunDevice(PortState& port, const std::atomic<bool>& sending, const std::atomic<bool>& stop) {
    const int fd = port.pty->master();
    std::vector<std::uint8_t> out(4096), in(8192);
    while (!stop && port.failure.empty()) {
        std::uint64_t sent = port.sent;
        if (!sending) port.quiet = true;
        const std::uint64_t room = sending ? port.SlowestReader() + kAhead - sent : 0;
        pollfd p{fd, static_cast<short>(POLLIN | (room > 0 ? POLLOUT : 0)), 0};
        if (::poll(&p, 1, 5) <= 0) continue;
        if ((p.revents & POLLOUT) && room > 0) {
            const std::size_t n = std::min<std::uint64_t>(room, out.size());
            for (std::size_t i = 0; i < n; ++i) out[i] = DeviceByte(sent + i);
            const ssize_t put = ::write(fd, out.data(), n);
            if (put > 0) port.sent = sent + static_cast<std::uint64_t>(put);
        }
        if (p.revents & POLLIN) {
            const ssize_t got = ::read(fd, in.data(), in.size());
            for (ssize_t i = 0; i < got; ++i) {
                const int k = in[i] >> 6;
                const std::uint64_t n = port.arrived[k];
                if (in[i] != ClientByte(k, n)) {
                    port.failure = "client " + std::to_string(k) + " byte " + std::to_string(n) +
                                   " wrong at the device";
                    break;
                }
                port.arrived[k] = n + 1;
            }
        }
    }
}

// One client: a connection and a channel of its own, reading and writing until `stop`, then
// reading until it has all the device sent.
void ClientLoop(const QString& address, int id, int com, int k, ClientState& me,
                const std::atomic<std::uint64_t>& deviceSent, const std::atomic<bool>& stop,
                std::atomic<int>& ready) {
    const QString name = QStringLiteral("soak-%1").arg(id);
    {
        tdbus::DispatchDriver ch(QDBusConnection::connectToBus(address, name));
        auto fail = [&](const std::string& why) {
            me.failure = why;
            me.failed = true;
        };
        if (!ch.CreateDispatch(QStringLiteral("RiVo32.Document")) ||
            ch.InvokeHelper(kDispConnectToPort, kMethod, std::int16_t(com), std::int32_t(115200),
                            std::int16_t('N'), std::int16_t(8), std::int16_t(1))
                    .AsI2() != 0) {
            fail("cannot connect");
            ++ready;
            return;
        }
        ch.SetProperty(kDispRBuffSize, tfw::Variant::I2(kRing));
        ++ready;
        std::vector<std::uint8_t> buffer(4096), out(64);
        for (;;) {
            const bool ending = stop;
            if (ending && me.received >= deviceSent) break;
            const int n = ch.InvokeHelper(kDispReadFromPort, kMethod, tdbus::ByteRef(buffer),
                                          std::int16_t(buffer.size()))
                              .AsI2();
            if (ch.LastError().IsError()) return fail(ch.LastError().message.toStdString());
            std::uint64_t at = me.received;
            for (int i = 0; i < n; ++i, ++at)
                if (buffer[i] != DeviceByte(at))
                    return fail("device byte " + std::to_string(at) + " wrong at the channel");
            me.received = at;
            if (!ending) {
                const std::uint64_t w = me.written;
                for (std::size_t i = 0; i < out.size(); ++i) out[i] = ClientByte(k, w + i);
                const int put = ch.InvokeHelper(kDispWriteToPort, kMethod, tdbus::ByteRef(out),
                                                std::int16_t(out.size()))
                                    .AsI2();
                if (put < 0) return fail("write status " + std::to_string(put));
                me.written = w + static_cast<std::uint64_t>(put);
            }
            if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (ch.InvokeHelper(kDispIsOverflow, kMethod).AsBool()) fail("overflow reported");
    }
    QDBusConnection::disconnectFromBus(name);
}

TEST(Soak, EightClientsOnTwoPortsLoseNoByteAndTheServerDoesNotGrow) {
    PrivateBus bus;
    std::array<PortState, kPorts> ports;
    std::string profile = bus.Dir() + "/soak.ini";
    {
        std::ofstream ini(profile);
        ini << "[Ports]\nAuto=0\n";
        for (int p = 0; p < kPorts; ++p) {
            ports[p].pty = std::make_unique<PtyPair>();
            ini << "COM" << p + 2 << "=" << ports[p].pty->slavePath() << "\n";
        }
    }
    ServerProcess server(bus);
    ASSERT_NO_FATAL_FAILURE(server.Start(profile));

    std::atomic<bool> sending{true}, clientsStop{false}, devicesStop{false};
    std::atomic<int> ready{0};
    std::vector<std::thread> clients, devices;
    for (int p = 0; p < kPorts; ++p)
        for (int k = 0; k < kClientsPerPort; ++k)
            clients.emplace_back(ClientLoop, bus.Address(), p * kClientsPerPort + k, p + 2, k,
                                 std::ref(ports[p].clients[k]), std::cref(ports[p].sent),
                                 std::cref(clientsStop), std::ref(ready));
    ASSERT_TRUE(SpinUntil([&] { return ready == kPorts * kClientsPerPort; }));
    for (PortState& port : ports)
        devices.emplace_back(RunDevice, std::ref(port), std::cref(sending), std::cref(devicesStop));

    // Memory after a warm-up (a quarter of the run), then the highest seen until the end.
    const auto start = Clock::now();
    const auto length = std::chrono::seconds(SoakSeconds());
    long warm = 0, peak = 0;
    SpinUntil(
        [&] {
            const auto spent = Clock::now() - start;
            if (spent >= length / 4) {
                const long rss = server.ResidentKiB();
                if (warm == 0) warm = rss;
                peak = std::max(peak, rss);
            }
            return spent >= length;
        },
        static_cast<int>(SoakSeconds()) * 1000 + 60000);
    sending = false;
    SpinUntil([&] { return ports[0].quiet && ports[1].quiet; });
    clientsStop = true;
    for (std::thread& t : clients) t.join();
    // What the clients wrote last may still be on its way to the devices.
    SpinUntil(
        [&] {
            for (PortState& port : ports)
                for (int k = 0; k < kClientsPerPort; ++k)
                    if (port.arrived[k] < port.clients[k].written) return false;
            return true;
        },
        10000);
    devicesStop = true;
    for (std::thread& t : devices) t.join();

    std::uint64_t total = 0;
    for (PortState& port : ports) {
        EXPECT_EQ(port.failure, "");
        EXPECT_GT(port.sent, 0u);
        for (int k = 0; k < kClientsPerPort; ++k) {
            const ClientState& c = port.clients[k];
            EXPECT_FALSE(c.failed) << c.failure;
            EXPECT_EQ(c.received, port.sent) << "every channel saw every byte";
            EXPECT_EQ(port.arrived[k], c.written) << "every byte written reached the device";
            EXPECT_GT(c.written, 0u);
            total += c.received + c.written;
        }
    }
    std::printf(
        "soak: %d s, %llu bytes checked, server VmRSS %ld KiB after warm-up, peak %ld KiB\n",
        SoakSeconds(), static_cast<unsigned long long>(total), warm, peak);
    ASSERT_GT(warm, 0);
    if (kMemoryBounded) {
        EXPECT_LE(peak - warm, 4096 + warm / 10) << "the server's memory grows under steady load";
    }
    EXPECT_EQ(server.WaitForExit(), 0) << "the last release ends the server";
}

}  // namespace
}  // namespace tolvan::test
