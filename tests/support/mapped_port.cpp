#include "tests/support/mapped_port.h"

#include "channels/doc_comm.h"
#include "platform/device_map.h"
#include "platform/serial_api.h"

namespace tolvan::test {

int MappedPort::Map(std::int16_t com, const std::string& devicePath,
                    const std::string& lockDirectory) {
    plat::SetLockDirectory(lockDirectory);
    plat::DeviceMap::Clear();
    plat::DeviceMap::SetAutoAssign(false);
    plat::DeviceMap::Set(com, devicePath);
    mapped_ = true;
    const int found = registry.ProbePorts();
    CDocComm::SetPortRegistry(&registry);
    return found;
}

MappedPort::~MappedPort() {
    if (!mapped_) return;
    CDocComm::SetPortRegistry(nullptr);
    plat::DeviceMap::Clear();
}

}  // namespace tolvan::test
