// COM numbers to devices: "COMn" stands for a device path or a URL (loop://, sim://name).
// Entries set by code (the profile's [Ports] section) come first; AutoAssign gives the
// COM numbers still free, in order, to the serial devices that can be opened now. The
// assignments it makes are meant to be written back to the profile as ordinary entries, so
// a device keeps its number while it is unplugged and across restarts, and the number is
// given to no other device while the entry stands.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tolvan::plat {

class DeviceMap {
public:
    static constexpr int kMaxCom = 255;

    static void Set(int com, std::string target);
    static void Remove(int com);
    static void Clear();  // drops every entry and turns auto-assignment back on
    static std::optional<std::string> Lookup(int com);
    static std::vector<std::pair<int, std::string>> Entries();  // ordered by COM number

    // Applies a [Ports] section: "COMn=target" entries, "Auto=0|1", "Reconnect=0|1" and
    // "DeviceRoot=folder" (keys any case). Does not clear existing entries. Returns the
    // number of COM entries taken.
    static int Configure(const std::vector<std::pair<std::string, std::string>>& section);
    static void SetAutoAssign(bool on);
    static bool AutoAssignEnabled();

    // Whether a port whose device went away reopens by itself when it is back (default on).
    static void SetReconnect(bool on);
    static bool ReconnectEnabled();
    // The folder serial devices are looked for in (default /dev; tests use a folder of
    // their own with links to ptys).
    static void SetDeviceRoot(std::string root);
    static std::string DeviceRoot();

    // A number AssignNewDevices gave (or moved to a device's stable name).
    struct Assignment {
        int com;
        std::string target;
        bool operator==(const Assignment&) const = default;
    };
    // When enabled: gives free COM numbers (from 1) to the devices found under
    // <devRoot>/serial/by-id, then ttyACM*, ttyUSB*, ttyS* (ttyS only when a UART is
    // behind it) that open as ttys, skipping devices already mapped. A device numbered by
    // its kernel name in this run (its stable name had not appeared yet) moves to its stable
    // name, keeping the number, once that appears. Returns what was added or moved, in COM
    // order. An empty devRoot is the configured one.
    static std::vector<Assignment> AssignNewDevices(const std::string& devRoot = {});
    // AssignNewDevices, counting only the numbers added.
    static int AutoAssign(const std::string& devRoot = {});
    // The search of AutoAssign with a different /dev root, for tests.
    static std::vector<std::string> FindSerialDevices(const std::string& devRoot = {});
};

// "COM3" or "\\.\COM3" (any case) -> 3; anything else -> 0.
int ParseComName(const std::string& name);

}  // namespace tolvan::plat
