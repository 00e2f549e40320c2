// Channel documents on a real pty mapped to COM2 through the device map and the port
// registry. The test plays the far end on the pty's master.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "channels/doc_comm.h"
#include "framework/view.h"
#include "platform/ticks.h"
#include "ports/port_registry.h"
#include "tests/support/mapped_port.h"
#include "tests/support/pty_pair.h"

namespace tolvan::commtest {

using Bytes = std::vector<uint8_t>;

inline Bytes B(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// Remembers the hints a channel sends to its views.
class HintLog final : public tfw::CView {
public:
    void OnUpdate(tfw::CView*, long hint) override { hints.push_back(hint); }
    std::vector<long> hints;
};

class DocCommTest : public ::testing::Test {
protected:
    static constexpr int16_t kCom = 2;

    void SetUp() override { ASSERT_EQ(port.Map(kCom, pty.slavePath(), dir.path()), 1); }

    CSharedPort& Port() { return *registry.FindPort(kCom); }
    std::string File(const std::string& name) const { return dir.path() + "/" + name; }

    // Waits (on the tick source, yielding real time to the pty) until `doc` holds n bytes.
    static bool Holds(CDocComm& doc, int32_t n) {
        return plat::WaitFor([&] { return doc.SpaceUsedInRXBuffer() >= n; }, 5000);
    }
    // Connects both channels at 9600 N 8 1; false (and a failure) when one fails.
    bool ConnectBoth() {
        for (CDocComm* doc : {a.get(), b.get()}) {
            const int16_t code = doc->ConnectToPort(kCom, 9600, 'N', 8, 1);
            EXPECT_EQ(code, 0);
            if (code != 0) return false;
        }
        return true;
    }
    // The line `doc` reports, as "baud,parity,bits,stops"; "" when it reports none.
    static std::string LineOf(CDocComm& doc) {
        int32_t baud = 0;
        int16_t parity = 0, bits = 0, stops = 0;
        if (!doc.GetPortSettings(baud, parity, bits, stops)) return "";
        return std::to_string(baud) + "," + static_cast<char>(parity) + "," + std::to_string(bits) +
               "," + std::to_string(stops);
    }
    // What the far end got so far (waits until the line is quiet for 50 ms).
    std::string FarEndGot() {
        auto bytes = pty.ReadAvailable(50);
        return {bytes.begin(), bytes.end()};
    }

    // Destroyed in reverse: the channels first, the lock folder last.
    test::ScratchDir dir;
    plat::FakeTickSource ticks{1000, std::chrono::microseconds(300)};
    plat::ScopedTickSource useTicks{ticks};
    test::PtyPair pty;
    test::MappedPort port;
    PortRegistry& registry = port.registry;
    std::unique_ptr<CDocComm> a = std::make_unique<CDocComm>();
    std::unique_ptr<CDocComm> b = std::make_unique<CDocComm>();
};

}  // namespace tolvan::commtest
