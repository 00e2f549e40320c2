// Serial ports served over TCP (socket:// raw, rfc2217:// telnet with the com-port
// option), through the serial API and once through a channel, against a real listener on
// the loopback interface.
#include <dirent.h>
#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

#include "channels/doc_comm.h"
#include "platform/device_map.h"
#include "platform/net_address.h"
#include "platform/serial_api.h"
#include "platform/ticks.h"
#include "tests/support/mapped_port.h"
#include "tests/support/pty_pair.h"
#include "tests/support/tcp_peer.h"

namespace tolvan::plat {
namespace {

using Bytes = std::vector<uint8_t>;
using test::TcpPeer;

struct Handle {
  explicit Handle(CommHandle h) : h(h) {}
  ~Handle() {
    if (h != kInvalidCommHandle) CloseComm(h);
  }
  CommHandle h;
};

Bytes AllByteValues() {
  Bytes b(256);
  for (int i = 0; i < 256; ++i) b[i] = static_cast<uint8_t>(i);
  return b;
}

// Reads n bytes, waiting up to two seconds of real time (returns as soon as they came).
Bytes ReadBytes(CommHandle h, uint32_t n) {
  CommTimeouts t;
  t.ReadIntervalTimeout = 0;
  t.ReadTotalTimeoutConstant = 2000;
  EXPECT_TRUE(SetCommTimeouts(h, t));
  Bytes out(n);
  uint32_t got = 0;
  EXPECT_TRUE(ReadComm(h, out.data(), n, &got)) << GetLastError();
  out.resize(got);
  return out;
}

bool WriteBytes(CommHandle h, const Bytes& b) {
  uint32_t written = 0;
  return WriteComm(h, b.data(), static_cast<uint32_t>(b.size()), &written) && written == b.size();
}

int OpenDescriptors() {
  int n = 0;
  if (DIR* d = ::opendir("/proc/self/fd")) {
    while (::readdir(d)) ++n;
    ::closedir(d);
  }
  return n;
}

TEST(NetAddress, HostAndPortFormsAndRefusals) {
  NetAddress a;
  ASSERT_TRUE(ParseNetAddress("gateway:4001", &a));
  EXPECT_EQ(a.host, "gateway");
  EXPECT_EQ(a.port, 4001);
  ASSERT_TRUE(ParseNetAddress("[fe80::1%eth0]:65535", &a));
  EXPECT_EQ(a.host, "fe80::1%eth0");
  EXPECT_EQ(a.port, 65535);
  ASSERT_TRUE(ParseNetAddress("10.0.0.7:1", &a));
  EXPECT_EQ(a.host, "10.0.0.7");
  EXPECT_EQ(a.port, 1);
  for (const char* bad : {"", "host", "host:", ":4001", "h:0", "h:70000", "h:65536", "h:12a",
                          "h:-1", "h: 1", "::1:4001", "[::1]4001", "[]:4001", "[::1:4001",
                          "h o:1", "h/x:1", "user@h:1"}) {
    EXPECT_FALSE(ParseNetAddress(bad, &a)) << bad;
  }
}

TEST(SocketDevice, AllByteValuesBothWaysAndALargeWriteArrivesWhole) {
  TcpPeer peer(4096);
  Handle h(OpenComm(peer.Url("socket")));
  ASSERT_NE(h.h, kInvalidCommHandle) << GetLastError();
  ASSERT_TRUE(peer.Accept());
  EXPECT_EQ(CommTarget(h.h), peer.Url("socket"));

  const Bytes all = AllByteValues();
  ASSERT_TRUE(WriteBytes(h.h, all));
  EXPECT_EQ(peer.Read(all.size()), all);
  ASSERT_TRUE(peer.Send(all));
  EXPECT_EQ(ReadBytes(h.h, 256), all);

  // More than the socket buffers hold while the peer does not read: the handle queues
  // the rest and sends it as the peer drains it in small pieces.
  Bytes big(4 << 20);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7 + i / 251);
  ASSERT_TRUE(WriteBytes(h.h, big));
  ComStat stat;
  uint32_t errors = 0;
  ASSERT_TRUE(ClearCommError(h.h, &errors, &stat));
  EXPECT_GT(stat.cbOutQue, 0u);
  const Bytes got = peer.Read(big.size(), 5000, 1024);
  ASSERT_EQ(got.size(), big.size());
  EXPECT_TRUE(got == big) << "bytes reordered or changed on the way";

  uint32_t ms = 0;
  ASSERT_TRUE(GetCommModemStatus(h.h, &ms));
  EXPECT_EQ(ms, MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON) << "a live connection is a ready device";
}

TEST(SocketDevice, RefusedAndMalformedAddressesFailAtOnceWithoutLeaks) {
  uint16_t closedPort = 0;
  {
    TcpPeer gone;  // a port that was just free again: nobody listens there
    closedPort = gone.port();
  }
  const int before = OpenDescriptors();
  for (const std::string& url :
       {"socket://127.0.0.1:" + std::to_string(closedPort),
        "rfc2217://127.0.0.1:" + std::to_string(closedPort), std::string("socket://"),
        std::string("socket://host"), std::string("socket://h:0"), std::string("socket://h:70000"),
        std::string("rfc2217://[::1"), std::string("telnet://127.0.0.1:23")}) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(OpenComm(url), kInvalidCommHandle) << url;
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND) << url;
  }
  // The same through a COM number, as a profile would map it.
  DeviceMap::Clear();
  DeviceMap::SetAutoAssign(false);
  DeviceMap::Set(5, "socket://h:0");
  EXPECT_EQ(OpenComm("COM5"), kInvalidCommHandle);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  DeviceMap::Clear();
  EXPECT_EQ(OpenDescriptors(), before) << "a failed open left a descriptor behind";
}

// A peer that goes away ends a read that waits without limit, and fails what follows
// the same way a vanished tty does; no SIGPIPE kills the process on the way.
class NetHangup : public ::testing::TestWithParam<std::tuple<const char*, bool>> {};

TEST_P(NetHangup, EndsAWaitingReadAndLaterCalls) {
  const auto [scheme, reset] = GetParam();
  TcpPeer peer;
  Handle h(OpenComm(peer.Url(scheme)));
  ASSERT_NE(h.h, kInvalidCommHandle) << GetLastError();
  ASSERT_TRUE(peer.Accept());
  CommTimeouts t;
  t.ReadIntervalTimeout = 0;  // no total either: waits until the bytes come
  ASSERT_TRUE(SetCommTimeouts(h.h, t));

  auto reader = std::async(std::launch::async, [&] {
    uint8_t buf[8];
    uint32_t got = 0;
    const bool ok = ReadComm(h.h, buf, sizeof buf, &got);
    return std::make_pair(ok, GetLastError());
  });
  ASSERT_TRUE(peer.Send({'h', 'i'}));
  peer.ReadAvailable(20);  // the telnet greeting, if any
  peer.Hangup(reset);
  ASSERT_EQ(reader.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  const auto [ok, error] = reader.get();
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, ERROR_DEVICE_NOT_CONNECTED);

  for (int i = 0; i < 2; ++i) {  // the first write may still find the socket open
    uint32_t written = 0;
    EXPECT_FALSE(WriteComm(h.h, "late", 4, &written));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  }
  uint32_t ms = 0;
  EXPECT_FALSE(GetCommModemStatus(h.h, &ms));
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  ComStat stat;
  uint32_t errors = 0;
  EXPECT_FALSE(ClearCommError(h.h, &errors, &stat));
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
}

INSTANTIATE_TEST_SUITE_P(CloseAndReset, NetHangup,
                         ::testing::Combine(::testing::Values("socket", "rfc2217"),
                                            ::testing::Bool()));

TEST(SocketDevice, ChannelOnAMappedComNumberCarriesBytesBothWays) {
  constexpr int16_t kCom = 6;
  TcpPeer peer;
  test::ScratchDir locks;
  test::MappedPort port;
  ASSERT_EQ(port.Map(kCom, peer.Url("socket"), locks.path()), 1);
  CDocComm channel;
  ASSERT_EQ(channel.ConnectToPort(kCom, 9600, 'N', 8, 1), 0);
  ASSERT_TRUE(peer.Accept());

  Bytes out = {'A', 'T', 0x00, 0xFF, 0x0D};
  ASSERT_EQ(channel.WriteToPort(out, static_cast<int16_t>(out.size())), static_cast<int16_t>(out.size()));
  EXPECT_EQ(peer.Read(out.size()), out);

  const Bytes in = {'O', 'K', 0xFF, 0x0D, 0x0A};
  ASSERT_TRUE(peer.Send(in));
  Bytes got;
  std::vector<uint8_t> buf(16);
  EXPECT_TRUE(WaitFor(
      [&] {
        port.registry.IdleService();
        const int16_t n = channel.ReadFromPort(buf, 16);
        if (n > 0) got.insert(got.end(), buf.begin(), buf.begin() + n);
        return got.size() >= in.size();
      },
      5000));
  EXPECT_EQ(got, in);
}

}  // namespace
}  // namespace tolvan::plat
