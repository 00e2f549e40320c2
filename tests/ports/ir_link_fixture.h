// Shared set-up of the infra-red link tests: a fake clock, a message-box recorder, and a
// transceiver simulator behind a simulated device mapped to a COM number.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/device_map.h"
#include "platform/movable_memory.h"
#include "platform/sim_device.h"
#include "platform/ticks.h"
#include "ports/ir_driver.h"
#include "tests/support/ir_transceiver_sim.h"
#include "tests/support/message_box_recorder.h"

namespace tolvan::irtest {

using Bytes = std::vector<uint8_t>;
using test::IrSimOptions;
using test::IrSimPeer;
using test::IrTransceiverSim;

inline constexpr int kCom = 7;  // COM7, port index 6

class IrSimLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        deviceName_ =
            std::string("ir-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        dev = std::make_shared<plat::SimDevice>(deviceName_);
        plat::RegisterSimDevice(deviceName_, dev);
        plat::DeviceMap::Set(kCom, "sim://" + deviceName_);
    }

    void TearDown() override {
        if (port) port->ops.Close(port);
        port = nullptr;
        plat::MemoryFaults::Reset();
        plat::DeviceMap::Remove(kCom);
        plat::UnregisterSimDevice(deviceName_);
        dev->SetPeer(nullptr);
    }

    // Plugs a transceiver with these options in and opens the link; nullptr on failure.
    PortObject* Open(int32_t baud, IrSimOptions options = {}, int* code = nullptr) {
        sim = std::make_unique<IrTransceiverSim>(options);
        dev->SetPeer(std::make_shared<IrSimPeer>(*sim));
        port = OpenIrPort(kCom - 1, baud, 1, code);
        return port;
    }

    IrLinkRecord* Link() { return IrLink(port); }

    // One idle pass as the shared port makes it.
    void Idle() {
        LinkStep(Link());
        LinkPump(Link());
    }

    int Write(const Bytes& data) {
        return port->ops.WriteBuffer(port, data.data(), static_cast<int32_t>(data.size()));
    }

    Bytes ReadAll() {
        Bytes out(static_cast<size_t>(port->ops.RxUsed(port)));
        if (!out.empty()) port->ops.ReadBuffer(port, out.data(), static_cast<int32_t>(out.size()));
        return out;
    }

    test::MessageBoxRecorder boxRecorder;
    std::vector<std::string>& boxes = boxRecorder.texts;
    plat::FakeTickSource ticks{1000};
    plat::ScopedTickSource scopedTicks{ticks};
    std::shared_ptr<plat::SimDevice> dev;
    std::unique_ptr<IrTransceiverSim> sim;
    PortObject* port = nullptr;

private:
    std::string deviceName_;
};

inline Bytes Frame(uint8_t control, const Bytes& data) {
    Bytes f;
    f.reserve(data.size() + 3);
    f.push_back(0xC0);
    f.push_back(control);
    for (uint8_t b : data) f.push_back(b);
    f.push_back(0xC1);
    return f;
}

}  // namespace tolvan::irtest
