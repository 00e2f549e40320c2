// Feeds fuzzed modem answers to the modem channel's register read and response wait. A
// modem channel is connected to a simulated device whose far end answers every command
// with the input's reply, on a tick source where waits take no real time.
//
// Input: register number, work mode, length of the expected response, the response,
// then the reply. What must hold:
// - the channel sends exactly the command it was asked to send, nothing else;
// - GetRegister gives a value of 0..32767 or "no response"; a value must stand in the
//   reply as up to five digits before a CR, and a reply that begins with such a line
//   gives its value;
// - DoCommand in response mode gives 0 or "no response"; 0 only when the reply holds the
//   response followed by CR LF, and always when the reply begins with it.
#include "channels/doc_modem.h"
#include "fuzz/instant_ticks.h"
#include "platform/device_map.h"
#include "platform/serial_api.h"
#include "platform/sim_device.h"
#include "platform/ticks.h"
#include "ports/port_registry.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace {

using namespace tolvan;

class ReplyingModem final : public plat::SimPeer {
public:
    void OnHostWrite(plat::SimDevice& dev, std::span<const std::uint8_t> bytes) override {
        written.append(bytes.begin(), bytes.end());
        dev.DeliverToHost(reply);
    }
    std::string reply;
    std::string written;
};

struct World {
    World() {
        char tmpl[] = "/tmp/tolvan-fuzz-XXXXXX";
        if (::mkdtemp(tmpl) == nullptr) std::abort();
        plat::SetLockDirectory(tmpl);
        plat::SetTickSource(&ticks);
        auto dev = std::make_shared<plat::SimDevice>("fuzz-modem");
        dev->SetPeer(peer);
        plat::RegisterSimDevice("fuzz-modem", dev);
        plat::DeviceMap::Clear();
        plat::DeviceMap::SetAutoAssign(false);
        plat::DeviceMap::Set(1, "sim://fuzz-modem");
        if (registry.ProbePorts() != 1) std::abort();
        CDocComm::SetPortRegistry(&registry);
    }
    fuzzing::InstantTicks ticks;
    std::shared_ptr<ReplyingModem> peer = std::make_shared<ReplyingModem>();
    PortRegistry registry;
};

World& TheWorld() {
    static World* world = new World;  // lives for the whole run
    return *world;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Some CR in the reply has 1..5 digits before it that read as value.
bool ValueBeforeSomeCr(std::string_view reply, int value) {
    for (std::size_t cr = reply.find('\r'); cr != std::string_view::npos;
         cr = reply.find('\r', cr + 1)) {
        int number = 0, scale = 1;
        for (std::size_t k = 1; k <= 5 && k <= cr && IsDigit(reply[cr - k]); ++k) {
            number += (reply[cr - k] - '0') * scale;
            scale *= 10;
            if (number == value) return true;
        }
    }
    return false;
}

// The value of a reply whose first line is [LF] 1..5 digits up to 32767, else -1.
int FirstLineValue(std::string_view reply) {
    if (!reply.empty() && reply.front() == '\n') reply.remove_prefix(1);
    const std::size_t cr = reply.find('\r');
    if (cr == std::string_view::npos || cr == 0 || cr > 5) return -1;
    int value = 0;
    for (std::size_t i = 0; i < cr; ++i) {
        if (!IsDigit(reply[i])) return -1;
        value = value * 10 + (reply[i] - '0');
    }
    return value <= 32767 ? value : -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    World& world = TheWorld();
    const auto reg = static_cast<std::int16_t>(data[0]);
    const int workMode = data[1] % 4;  // 3: a mode the channel does not know
    const std::size_t wantedLen = std::min<std::size_t>(data[2] % 16, size - 3);
    const std::string wanted(reinterpret_cast<const char*>(data + 3), wantedLen);
    // The channel's receive ring holds 1050 bytes: a longer reply would overflow it, which
    // is not what this target looks at.
    const std::string reply(reinterpret_cast<const char*>(data + 3 + wantedLen),
                            std::min<std::size_t>(size - 3 - wantedLen, 1000));

    auto doc = std::make_unique<CDocModem>();
    if (doc->ConnectToPort(1, 9600, 'N', 8, 1) != 0) std::abort();
    AndModemMode& mode = doc->Mode();
    mode.nWorkMode = workMode;
    mode.nTimeout = 30;
    mode.nInternalTimeout = 30;
    mode.strResponse = wanted;
    world.peer->reply = reply;

    world.peer->written.clear();
    const std::int16_t value = doc->GetRegister(reg);
    if (world.peer->written != GetRegisterText(reg)) std::abort();
    if (value != kModemNoResponse && (value < 0 || value > 32767)) std::abort();
    if (value >= 0 && !ValueBeforeSomeCr(reply, value)) std::abort();
    if (const int first = FirstLineValue(reply); first >= 0 && value != first) std::abort();

    doc->ClearRBuff();
    world.peer->written.clear();
    mode.nWorkMode = 2;
    const std::int16_t answered = doc->DoCommand("AT\r");
    if (world.peer->written != "AT\r") std::abort();
    if (answered != 0 && answered != kModemNoResponse) std::abort();
    const std::string line = wanted + "\r\n";
    if (answered == 0 && reply.find(line) == std::string::npos) std::abort();
    const bool plainLine = !wanted.empty() && wanted.find("\r\n") == std::string::npos;
    if (plainLine && reply.starts_with(line) && answered != 0) std::abort();
    return 0;
}
