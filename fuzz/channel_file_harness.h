// Loads arbitrary bytes as a channel file (.ccf, .mcf or .icf) the way a document reads
// its file: through the document's Serialize, on a channel that is not connected. COM1 is
// a simulated device and COM2 a real pty, so a file that names either connects for real.
//
// What must hold for any input:
// - the load stops cleanly (only the end of the data may stop a memory archive);
// - a channel that connected is on the port its file named, and no other device is open;
// - what the loaded channel stores loads into a fresh channel that stores the same bytes
//   (a port whose settings cannot be read, space parity, is stored with baud 0 and loads
//   with the library's current settings: there only the fields after the port's agree);
// - once the channels are gone, no device is open and no lock file is left.
#pragma once

#include "channels/doc_comm.h"
#include "framework/archive.h"
#include "framework/byte_stream.h"
#include "fuzz/instant_ticks.h"
#include "platform/device_map.h"
#include "platform/serial_api.h"
#include "platform/sim_device.h"
#include "platform/ticks.h"
#include "ports/port_registry.h"
#include "ports/shared_port.h"

#include <pty.h>
#include <stdlib.h>
#include <termios.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tolvan::fuzzing {

inline constexpr int kSimCom = 1;
inline constexpr int kPtyCom = 2;

struct ChannelFileWorld {
    ChannelFileWorld() {
        char tmpl[] = "/tmp/tolvan-fuzz-XXXXXX";
        if (::mkdtemp(tmpl) == nullptr) std::abort();
        lockDir = tmpl;
        plat::SetLockDirectory(lockDir);
        plat::SetTickSource(&ticks);

        termios raw{};
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) std::abort();
        for (int fd : {master, slave}) {
            if (::tcgetattr(fd, &raw) != 0) std::abort();
            ::cfmakeraw(&raw);
            ::tcsetattr(fd, TCSANOW, &raw);
        }
        char path[256];
        if (::ttyname_r(slave, path, sizeof path) != 0) std::abort();

        sim = std::make_shared<plat::SimDevice>("fuzz-channel-file");
        plat::RegisterSimDevice("fuzz-channel-file", sim);
        plat::DeviceMap::Clear();
        plat::DeviceMap::SetAutoAssign(false);
        plat::DeviceMap::Set(kSimCom, "sim://fuzz-channel-file");
        plat::DeviceMap::Set(kPtyCom, path);
        if (registry.ProbePorts() != 2) std::abort();
        CDocComm::SetPortRegistry(&registry);
    }

    bool LockFilesLeft() const { return !std::filesystem::is_empty(lockDir); }

    std::string lockDir;
    InstantTicks ticks;
    int master = -1;
    int slave = -1;
    std::shared_ptr<plat::SimDevice> sim;
    PortRegistry registry;
};

inline ChannelFileWorld& World() {
    static ChannelFileWorld* world = new ChannelFileWorld;  // lives for the whole run
    return *world;
}

template <class Doc>
void Load(Doc& doc, std::span<const std::uint8_t> bytes) {
    tfw::MemorySource src(bytes);
    tfw::CArchive ar(src);
    doc.Serialize(ar);
    if (!ar.Ok() && ar.Status() != tfw::ArchiveStatus::EndOfFile) std::abort();
}

template <class Doc>
std::vector<std::uint8_t> Store(Doc& doc) {
    tfw::MemorySink sink;
    {
        tfw::CArchive ar(sink);
        doc.Serialize(ar);
        if (!ar.Flush()) std::abort();
    }
    return sink.Bytes();
}

// The channel is on the port its file named, or on none; no other device is open.
template <class Doc>
void CheckPort(Doc& doc, std::span<const std::uint8_t> file) {
    const CSharedPort* port = doc.Port();
    if (port != nullptr) {
        if (file.size() < 2) std::abort();
        const int named = file[0] | (file[1] << 8);
        if (port->PortNumber() != named) std::abort();
    }
    const bool onSim = port != nullptr && port->PortNumber() == kSimCom;
    if (World().sim->IsOpen() != onSim) std::abort();
}

// Length of the plain channel's part of a stored file: the port word, then the baud, then
// parity, word length and stop bits when the baud is not 0.
inline std::size_t PortPartLength(std::span<const std::uint8_t> stored) {
    if (stored.size() < 2 || (stored[0] == 0xFF && stored[1] == 0xFF)) return 2;
    if (stored.size() < 6) std::abort();  // the store path always writes the baud
    const bool noBaud = stored[2] == 0 && stored[3] == 0 && stored[4] == 0 && stored[5] == 0;
    return noBaud ? 6 : 11;
}

// `again` stored after loading `first`: the same bytes, except the port's settings when
// `first` had none.
inline bool SameStore(std::span<const std::uint8_t> first, std::span<const std::uint8_t> again) {
    const std::size_t a = PortPartLength(first), b = PortPartLength(again);
    if (a != 6) return std::equal(first.begin(), first.end(), again.begin(), again.end());
    if (b == 2 || !std::equal(first.begin(), first.begin() + 2, again.begin())) return false;
    return std::equal(first.begin() + a, first.end(), again.begin() + b, again.end());
}

template <class Doc>
int LoadChannelFile(const std::uint8_t* data, std::size_t size) {
    ChannelFileWorld& world = World();
    const std::span<const std::uint8_t> file(data, size);
    std::vector<std::uint8_t> stored;
    {
        auto doc = std::make_unique<Doc>();
        Load(*doc, file);
        CheckPort(*doc, file);
        stored = Store(*doc);
    }
    {
        auto again = std::make_unique<Doc>();
        Load(*again, stored);
        CheckPort(*again, stored);
        if (!SameStore(stored, Store(*again))) std::abort();
    }
    if (world.sim->IsOpen() || world.LockFilesLeft()) std::abort();
    return 0;
}

}  // namespace tolvan::fuzzing
