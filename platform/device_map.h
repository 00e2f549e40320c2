// COM numbers to devices: "COMn" stands for a device path or a URL (loop://, sim://name).
// Entries set by code (the profile's [Ports] section) come first; AutoAssign gives the
// COM numbers still free, in order, to the serial devices that can be opened now.
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

    // Applies a [Ports] section: "COMn=target" entries and "Auto=0|1" (keys any case).
    // Does not clear existing entries. Returns the number of COM entries taken.
    static int Configure(const std::vector<std::pair<std::string, std::string>>& section);
    static void SetAutoAssign(bool on);
    static bool AutoAssignEnabled();

    // When enabled: gives free COM numbers (from 1) to the devices found under
    // <devRoot>/serial/by-id, then ttyACM*, ttyUSB*, ttyS* (ttyS only when a UART is
    // behind it) that open as ttys, skipping devices already mapped. Returns how many
    // were added.
    static int AutoAssign(const std::string& devRoot = "/dev");
    // The search of AutoAssign with a different /dev root, for tests.
    static std::vector<std::string> FindSerialDevices(const std::string& devRoot = "/dev");
};

// "COM3" or "\\.\COM3" (any case) -> 3; anything else -> 0.
int ParseComName(const std::string& name);

}  // namespace tolvan::plat
