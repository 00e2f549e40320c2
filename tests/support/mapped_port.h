// A serial port for channel tests: COM `com` mapped to a device path (a pty's slave), lock
// files in a folder of the test's, the port registry probed and lent to the channel
// documents. All of it is undone on destruction, so declare it after the pty and the lock
// folder and before the channels that use it.
#pragma once

#include <cstdint>
#include <string>

#include "ports/port_registry.h"

namespace tolvan::test {

class MappedPort {
public:
    MappedPort() = default;
    ~MappedPort();
    MappedPort(const MappedPort&) = delete;
    MappedPort& operator=(const MappedPort&) = delete;

    // Maps and probes; returns how many ports the registry found (1 when all went well).
    int Map(std::int16_t com, const std::string& devicePath, const std::string& lockDirectory);

    PortRegistry registry;

private:
    bool mapped_ = false;
};

}  // namespace tolvan::test
