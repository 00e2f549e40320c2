// The serial path's costs: processor time spent while a read waits on an idle device
// (nothing may spin), and throughput through the serial driver on a pty.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/device_map.h"
#include "platform/serial_api.h"
#include "platform/sim_device.h"
#include "ports/port_object.h"
#include "ports/serial_driver.h"

namespace {

using namespace tolvan;

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

bool Report(const char* name, double value, const char* unit, double limit, bool below) {
    const bool ok = below ? value <= limit : value >= limit;
    std::printf("%-40s %12.3f %-6s target %s %.3f  %s\n", name, value, unit,
                below ? "<=" : ">=", limit, ok ? "ok" : "MISSED");
    return ok;
}

// CPU share of a read that waits one second for bytes that never come.
double IdleWaitCpuShare(plat::CommHandle h, int ms) {
    plat::CommTimeouts t;
    t.ReadIntervalTimeout = 0;
    t.ReadTotalTimeoutConstant = static_cast<uint32_t>(ms);
    plat::SetCommTimeouts(h, t);
    char buf[16];
    uint32_t got = 0;
    const double cpu0 = CpuSeconds();
    const auto wall0 = std::chrono::steady_clock::now();
    plat::ReadComm(h, buf, sizeof buf, &got);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    return (CpuSeconds() - cpu0) / wall;
}

}  // namespace

int main() {
    bool ok = true;
    plat::DeviceMap::SetAutoAssign(false);
    char dir[] = "/tmp/tolvan-bench-XXXXXX";
    if (!mkdtemp(dir)) return 2;
    plat::SetLockDirectory(dir);

    int master = -1, slave = -1;
    char name[128];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return 2;
    for (int fd : {master, slave}) {
        termios t{};
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }

    // Waiting on a real device (poll) and on an in-process one (short sleeps).
    plat::CommHandle h = plat::OpenComm(name);
    ok &= Report("cpu share, 1 s read wait on a pty", IdleWaitCpuShare(h, 1000), "", 0.05, true);
    plat::CloseComm(h);
    plat::CommHandle loop = plat::OpenComm("loop://bench");
    ok &=
        Report("cpu share, 1 s read wait on loop://", IdleWaitCpuShare(loop, 1000), "", 0.05, true);
    plat::CloseComm(loop);

    // Throughput: the driver writes queue-sized blocks, a thread drains the master.
    plat::DeviceMap::Set(1, name);
    PortObject* port = OpenWin32Port(0, 115200, 'N', 8, 1);
    if (port->status != 0) return 2;
    constexpr size_t kTotal = 8u << 20;
    std::thread drain([&] {
        std::vector<uint8_t> buf(65536);
        size_t got = 0;
        while (got < kTotal) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 5000) <= 0) break;
            const ssize_t r = read(master, buf.data(), buf.size());
            if (r <= 0) break;
            got += static_cast<size_t>(r);
        }
    });
    std::vector<uint8_t> block(1050, 0x55);
    size_t sent = 0;
    const auto t0 = std::chrono::steady_clock::now();
    while (sent < kTotal) {
        const int32_t n = static_cast<int32_t>(std::min(block.size(), kTotal - sent));
        port->ops.ClearStatus(port);
        port->ops.WriteBuffer(port, block.data(), n);
        sent += static_cast<size_t>(port->count);
        if (port->count == 0) plat::ClearCommError(SerialRecord(port)->handle, nullptr, nullptr);
    }
    drain.join();
    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    ok &= Report("WriteBuffer throughput on a pty", kTotal / secs / 1e6, "MB/s", 5.0, false);
    port->ops.Close(port);
    close(slave);
    close(master);
    rmdir(dir);
    return ok ? 0 : 1;
}
