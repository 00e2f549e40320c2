// The running server measured from outside, as clients meet it: the real tolvan32 program in
// the automation mode on a private dbus-daemon, its ports real ptys. Prints one line per
// figure: name, value, unit, goal, verdict.
//
// Run: bench_server_suite TOLVAN32 [seconds-per-throughput-run] [idle-seconds] [parts]
// parts: letters of c (call costs), t (throughput), x (XMODEM), i (idle CPU), m (memory).
// (bench/run builds everything and calls this with the Release program).
#include "automation/client/dispatch_driver.h"
#include "automation/contract/comm_members.h"
#ifdef TOLVAN_BENCH_HAS_IR_SIM
#include "tests/support/ir_transceiver_sim.h"
#endif

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr std::uint16_t kMethod = tfw::kDispatchMethod;
constexpr std::int32_t kInherited = 0x10000;  // inherited members of derived channel classes

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

void Row(const std::string& name, double value, const char* unit, const std::string& goal = "",
         int verdict = -1) {
    std::printf("| %-52s | %14.3f | %-8s | %-22s | %-6s |\n", name.c_str(), value, unit,
                goal.c_str(),
                verdict < 0 ? ""
                : verdict   ? "met"
                            : "MISSED");
    std::fflush(stdout);
}

struct Pty {
    int master = -1;
    int slave = -1;
    std::string path;
    Pty() {
        char name[128];
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) std::abort();
        path = name;
        for (int fd : {master, slave}) {
            termios raw{};
            tcgetattr(fd, &raw);
            cfmakeraw(&raw);
            tcsetattr(fd, TCSANOW, &raw);
        }
    }
    ~Pty() {
        close(master);
        close(slave);
    }
};

// Writes everything, waiting on the descriptor when it is full.
void WriteAll(int fd, const std::uint8_t* p, std::size_t n) {
    while (n > 0) {
        const ssize_t put = write(fd, p, n);
        if (put > 0) {
            p += put;
            n -= static_cast<std::size_t>(put);
        } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        } else {
            pollfd w{fd, POLLOUT, 0};
            poll(&w, 1, 100);
        }
    }
}

// Bytes written to a pty's master reach its slave a moment later (the kernel moves them by a
// work item). Waits until `n` bytes are readable there, so that one call can take them all.
void AwaitInput(int slave, int n) {
    for (int i = 0; i < 50000; ++i) {
        int ready = 0;
        if (ioctl(slave, FIONREAD, &ready) != 0 || ready >= n) return;
        std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
}

std::uint8_t Pattern(std::uint64_t n) {
    return static_cast<std::uint8_t>(n * 13 + n / 253);
}

// CPU time of every thread of a process, in seconds (scheduler statistics, nanoseconds).
double ProcessCpu(qint64 pid) {
    double total = 0;
    std::error_code ec;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        std::ifstream f(task.path() / "schedstat");
        double ns = 0;
        if (f >> ns) total += ns / 1e9;
    }
    return total;
}

long ResidentKiB(qint64 pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

// A child process with stdin and stdout on `fd`; stderr to /dev/null.
pid_t Spawn(const std::vector<std::string>& args, int fd, const std::string& dir = {}) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fd, 0);
    posix_spawn_file_actions_adddup2(&actions, fd, 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    std::vector<char*> argv;
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The child's exit code; -1 when it did not end normally within `limitS` (it is killed).
int WaitChild(pid_t pid, double limitS = 120) {
    int status = 0;
    const auto start = Clock::now();
    for (;;) {
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) break;
        if (r < 0 && errno != EINTR) return -1;
        if (Seconds(Clock::now() - start) > limitS) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Throws away what a pty holds in both directions (left over from an earlier run).
void Drain(const Pty& pty) {
    std::vector<std::uint8_t> sink(65536);
    for (int fd : {pty.master, pty.slave}) {
        pollfd p{fd, POLLIN, 0};
        while (poll(&p, 1, 20) > 0 && (p.revents & POLLIN) &&
               read(fd, sink.data(), sink.size()) > 0) {}
    }
}

// Relays between a sender on a socket and a pty master, timing each ACK from the receiver
// after the last byte the sender wrote (the end of the block it acknowledges).
class AckTimer {
public:
    AckTimer(int senderFd, int masterFd) : sender_(senderFd), master_(masterFd) {
        thread_ = std::thread([this] { Run(); });
    }
    ~AckTimer() {
        stop_ = true;
        thread_.join();
    }
    double Percentile(double q) {
        std::vector<double> v = us_;
        if (v.empty()) return 0;
        std::sort(v.begin(), v.end());
        return v[std::min(v.size() - 1, static_cast<std::size_t>(q * v.size()))];
    }

private:
    void Run() {
        std::uint8_t buf[4096];
        Clock::time_point lastBlockByte{};
        bool pending = false;
        while (!stop_) {
            pollfd p[2] = {{sender_, POLLIN, 0}, {master_, POLLIN, 0}};
            if (poll(p, 2, 20) <= 0) continue;
            if (p[0].revents & POLLIN) {
                const ssize_t n = read(sender_, buf, sizeof buf);
                if (n > 0) {
                    WriteAll(master_, buf, static_cast<std::size_t>(n));
                    lastBlockByte = Clock::now();
                    pending = true;
                }
            }
            if (p[1].revents & POLLIN) {
                const ssize_t n = read(master_, buf, sizeof buf);
                if (n > 0) {
                    const auto now = Clock::now();
                    if (pending && std::memchr(buf, 0x06, static_cast<std::size_t>(n))) {
                        us_.push_back(
                            std::chrono::duration<double, std::micro>(now - lastBlockByte).count());
                        pending = false;
                    }
                    WriteAll(sender_, buf, static_cast<std::size_t>(n));
                }
            }
        }
    }
    int sender_;
    int master_;
    std::atomic<bool> stop_{false};
    std::vector<double> us_;
    std::thread thread_;
};

struct Suite {
    QString address;
    QString program;
    std::string dir;
    Pty calls, fan, xmodem, xmodemRx, ir;
    std::unique_ptr<QProcess> server;
    double throughputSeconds = 2;
    double idleSeconds = 10;
    double rxLimitSeconds = 30;

    QDBusConnection Connect(const QString& name) {
        return QDBusConnection::connectToBus(address, name);
    }

    bool StartServer() {
        const std::string profile = dir + "/bench.ini";
        std::ofstream(profile) << "[Ports]\nAuto=0\nCOM2=" << calls.path << "\nCOM3=" << fan.path
                               << "\nCOM4=" << xmodem.path << "\nCOM5=" << ir.path << "\n";
        server = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", address);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(dir));
        server->setProcessEnvironment(env);
        server->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server->start(program, {"-Automation", "--profile", QString::fromStdString(profile)});
        if (!server->waitForStarted(10000)) return false;
        QDBusConnection watch = Connect("watch");
        for (int i = 0; i < 1000; ++i) {
            if (watch.interface()->isServiceRegistered("RiVo32.Document").value()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    qint64 Pid() const { return server->processId(); }
};

std::unique_ptr<tdbus::DispatchDriver> Channel(QDBusConnection bus, int com,
                                               const QString& progId = "RiVo32.Document",
                                               std::int16_t parity = 'N', std::int32_t base = 0) {
    auto ch = std::make_unique<tdbus::DispatchDriver>(bus);
    if (!ch->CreateDispatch(progId)) {
        std::fprintf(stderr, "CreateDispatch: %s\n", qPrintable(ch->LastError().message));
        std::exit(1);
    }
    if (com != 0) {
        const int rc =
            ch->InvokeHelper(base + kDispConnectToPort, kMethod, std::int16_t(com),
                             std::int32_t(115200), parity, std::int16_t(8), std::int16_t(1))
                .AsI2();
        if (rc != 0) {
            std::fprintf(stderr, "ConnectToPort(%d): %d\n", com, rc);
            std::exit(1);
        }
    }
    return ch;
}

// Alternates AddRef and Release, so that the reference count stays put.
bool tolvan_bench_flip() {
    static bool up = false;
    up = !up;
    return up;
}

double Median(std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

// Median microseconds of `call` over `n` calls.
double Time(int n, const std::function<void()>& call) {
    std::vector<double> us;
    us.reserve(n);
    for (int i = 0; i < n; ++i) {
        const auto t0 = Clock::now();
        call();
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    return Median(us);
}

// Median costs of `call` and of an empty round trip, taken in turns so that a change of the
// shared machine's load hits both alike. `before` runs untimed ahead of each call.
std::pair<double, double> Paired(int n, const std::function<void()>& call,
                                 const std::function<void()>& empty,
                                 const std::function<void()>& before = {}) {
    std::vector<double> a, e;
    for (int i = 0; i < n; ++i) {
        if (before) before();
        auto t0 = Clock::now();
        call();
        a.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        t0 = Clock::now();
        empty();
        e.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    return {Median(a), Median(e)};
}

void CallCosts(Suite& s) {
    QDBusConnection bus = s.Connect("calls");
    auto ch = Channel(bus, 2);
    ch->SetProperty(kDispTBuffSize, tfw::Variant::I2(32767));
    ch->SetProperty(kDispRBuffSize, tfw::Variant::I2(32767));
    const int n = 2000;
    auto unknown = [&](const char* member) {
        bus.call(QDBusMessage::createMethodCall("RiVo32.Document", ch->Path(), "Tolvan32.Unknown",
                                                member));
    };
    auto empty = [&] { unknown(tolvan_bench_flip() ? "AddRef" : "Release"); };
    Row("D-Bus round trip floor (AddRef/Release)", Time(n, empty), "us");
    auto ratioRow = [&](const std::string& name, std::pair<double, double> m) {
        Row(name, m.first, "us");
        Row("  ratio to an empty call taken in turn (" +
                std::to_string(static_cast<int>(m.second)) + " us)",
            m.first / m.second, "x", "<= 1.1 (1.25)", m.first / m.second <= 1.1);
    };
    {
        auto m = Paired(
            n, [&] { ch->InvokeHelper(kDispIsConnected, kMethod); }, empty);
        Row("IsConnected", m.first, "us");
        Row("  ratio to an empty call taken in turn", m.first / m.second, "x");
    }
    // The typed interface (no variants) beside the late-bound one: what the dispatch path adds.
    auto typed = [&](const char* member) {
        QDBusMessage m = QDBusMessage::createMethodCall("RiVo32.Document", ch->Path(),
                                                        "RiVo32.Document", member);
        m << QByteArray(1024, 't') << QVariant::fromValue(qint16(1024));
        QDBusMessage reply = bus.call(m);
        if (reply.type() != QDBusMessage::ReplyMessage) {
            std::fprintf(stderr, "%s: %s\n", member, qPrintable(reply.errorMessage()));
            std::exit(1);
        }
        return reply;
    };

    // The device drains everything written; it writes what a read measurement asks for.
    std::atomic<bool> drain{true};
    std::thread device([&] {
        std::vector<std::uint8_t> sink(65536);
        while (drain) {
            pollfd p{s.calls.master, POLLIN, 0};
            if (poll(&p, 1, 20) > 0) (void)read(s.calls.master, sink.data(), sink.size());
        }
    });
    std::vector<std::uint8_t> kib(1024, 'w');
    ratioRow("WriteToPort 1 KiB", Paired(
                                      n,
                                      [&] {
                                          ch->InvokeHelper(kDispWriteToPort, kMethod,
                                                           tdbus::ByteRef(kib), std::int16_t(1024));
                                      },
                                      empty));
    ratioRow("WriteToPort 1 KiB, typed interface", Paired(
                                                       n, [&] { typed("WriteToPort"); }, empty));
    {
        std::vector<std::uint8_t> data(32767, 'w');
        const double us = Time(n / 10, [&] {
            for (int left = 65536; left > 0;) {
                const auto c = static_cast<std::int16_t>(std::min(left, 32767));
                left -= ch->InvokeHelper(kDispWriteToPort, kMethod, tdbus::ByteRef(data), c).AsI2();
            }
        });
        Row("WriteToPort 64 KiB (calls of <= 32767)", us / 1e3, "ms");
    }
    drain = false;
    device.join();

    // The bytes are at the device before the clock starts.
    auto feed = [&] {
        WriteAll(s.calls.master, kib.data(), kib.size());
        AwaitInput(s.calls.slave, static_cast<int>(kib.size()));
    };
    ratioRow("ReadFromPort 1 KiB", Paired(
                                       n,
                                       [&] {
                                           for (int got = 0; got < 1024;)
                                               got += ch->InvokeHelper(kDispReadFromPort, kMethod,
                                                                       tdbus::ByteRef(kib),
                                                                       std::int16_t(1024 - got))
                                                          .AsI2();
                                       },
                                       empty, feed));
    ratioRow("ReadFromPort 1 KiB, typed interface",
             Paired(
                 n,
                 [&] {
                     for (int got = 0; got < 1024;)
                         got += typed("ReadFromPort").arguments().value(0).toInt();
                 },
                 empty, feed));
    {
        std::vector<std::uint8_t> data(65536, 'r');
        std::vector<std::uint8_t> buffer(32767);
        std::vector<double> us;
        for (int i = 0; i < n / 10; ++i) {
            std::thread writer([&] { WriteAll(s.calls.master, data.data(), data.size()); });
            const auto t0 = Clock::now();
            for (int got = 0; got < 65536;) {
                const auto c = static_cast<std::int16_t>(std::min<int>(65536 - got, 32767));
                got +=
                    ch->InvokeHelper(kDispReadFromPort, kMethod, tdbus::ByteRef(buffer), c).AsI2();
            }
            us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
            writer.join();
        }
        Row("ReadFromPort 64 KiB as the device sends it (calls of <= 32767)", Median(us) / 1e3,
            "ms");
    }
}

// Bytes per second a pty delivers to a reader of its slave, without the server.
double DirectRate(double seconds) {
    Pty pty;
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        std::vector<std::uint8_t> block(4096, 'd');
        while (!stop) WriteAll(pty.master, block.data(), block.size());
    });
    fcntl(pty.master, F_SETFL, fcntl(pty.master, F_GETFL) | O_NONBLOCK);
    std::vector<std::uint8_t> buf(32768);
    std::uint64_t total = 0;
    const auto start = Clock::now();
    while (Seconds(Clock::now() - start) < seconds) {
        pollfd p{pty.slave, POLLIN, 0};
        if (poll(&p, 1, 20) > 0) {
            const ssize_t n = read(pty.slave, buf.data(), buf.size());
            if (n > 0) total += static_cast<std::uint64_t>(n);
        }
    }
    const double rate = total / Seconds(Clock::now() - start);
    stop = true;
    // The writer may be waiting for room: keep reading until it has seen the stop.
    std::thread reader([&] {
        while (stop) {
            pollfd p{pty.slave, POLLIN, 0};
            if (poll(&p, 1, 20) > 0) (void)read(pty.slave, buf.data(), buf.size());
        }
    });
    writer.join();
    stop = false;
    reader.join();
    return rate;
}

// One pty fanned out to `n` channels, each pulled by a client of its own: the device never
// runs more than half a ring ahead of the slowest, so every byte reaches every channel
// (checked). Bytes per second each channel gets; `serverCpu`: the server's CPU seconds per
// MB that reached all channels together (less moved by the machine's load than the rate).
double FanOut(Suite& s, int n, bool* allChecked, double* serverCpu) {
    constexpr std::uint32_t kAhead = 16384;
    std::vector<std::atomic<std::uint64_t>> got(static_cast<std::size_t>(n));
    std::atomic<bool> stop{false}, bad{false};
    std::atomic<int> ready{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < n; ++i)
        clients.emplace_back([&, i] {
            const QString name = QString("fan%1-%2").arg(n).arg(i);
            {
                auto ch = Channel(s.Connect(name), 3);
                ch->SetProperty(kDispRBuffSize, tfw::Variant::I2(32767));
                ++ready;
                std::vector<std::uint8_t> buffer(32767);
                std::uint64_t at = 0;
                while (!stop) {
                    const int k =
                        ch->InvokeHelper(kDispReadFromPort, kMethod, tdbus::ByteRef(buffer),
                                         std::int16_t(buffer.size()))
                            .AsI2();
                    for (int j = 0; j < k; ++j, ++at)
                        if (buffer[j] != Pattern(at)) bad = true;
                    got[i] = at;
                    if (k == 0) std::this_thread::sleep_for(std::chrono::microseconds(500));
                }
                if (ch->InvokeHelper(kDispIsOverflow, kMethod).AsBool()) bad = true;
            }
            QDBusConnection::disconnectFromBus(name);
        });
    while (ready < n) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::uint64_t sent = 0;
    std::vector<std::uint8_t> out(16384);
    const double cpu0 = ProcessCpu(s.Pid());
    const auto start = Clock::now();
    while (Seconds(Clock::now() - start) < s.throughputSeconds) {
        std::uint64_t low = UINT64_MAX;
        for (auto& g : got) low = std::min<std::uint64_t>(low, g);
        const std::uint64_t room = low + kAhead - sent;
        if (room == 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            continue;
        }
        const std::size_t k = std::min<std::uint64_t>(room, out.size());
        for (std::size_t j = 0; j < k; ++j) out[j] = Pattern(sent + j);
        WriteAll(s.fan.master, out.data(), k);
        sent += k;
    }
    std::uint64_t low = UINT64_MAX;
    for (auto& g : got) low = std::min<std::uint64_t>(low, g);
    const double rate = low / Seconds(Clock::now() - start);
    *serverCpu = (ProcessCpu(s.Pid()) - cpu0) / (static_cast<double>(low) * n / 1e6);
    stop = true;
    for (auto& t : clients) t.join();
    *allChecked = !bad;
    // What the channels did not take before they went must not reach the next run.
    Drain(s.fan);
    return rate;
}

void Throughput(Suite& s) {
    const double direct = DirectRate(s.throughputSeconds);
    Row("pty read directly", direct / 1e6, "MB/s");
    for (int n : {1, 4, 8, 16}) {
        bool checked = false;
        double cpu = 0;
        const double rate = FanOut(s, n, &checked, &cpu);
        const std::string name = "pty -> " + std::to_string(n) +
                                 " channel(s) over D-Bus, per channel" +
                                 (checked ? "" : " (BYTES WRONG)");
        Row(name, rate / 1e6, "MB/s");
        Row("  server CPU per MB delivered (all channels)", cpu * 1e3, "ms/MB");
        if (n == 8)
            Row("  8 channels: ratio to reading directly", rate / direct, "x", ">= 0.4",
                rate / direct >= 0.4);
    }
}

struct XmResult {
    double seconds = 0;
    double bytes = 1 << 20;
    double p99 = 0, p50 = 0;
    bool ok = false;
};

// sx sending `file` to whatever receives at the slave side of `pty`; `startReceiver` starts the
// receiver, `finished` tells whether it got everything. Timed from sx's start to its end.
XmResult RunSx(Pty& pty, const std::string& file, bool timeAcks, bool oneK, double limitS,
               const std::function<void()>& startReceiver) {
    XmResult r;
    std::vector<std::string> args{"sx", "-q"};
    if (oneK) args.push_back("-k");
    args.push_back(file);
    startReceiver();
    if (!timeAcks) {
        const auto t0 = Clock::now();
        const pid_t sx = Spawn(args, pty.master);
        r.ok = WaitChild(sx, limitS) == 0;
        r.seconds = Seconds(Clock::now() - t0);
        return r;
    }
    int pair[2];
    socketpair(AF_UNIX, SOCK_STREAM, 0, pair);
    {
        AckTimer timer(pair[0], pty.master);
        const pid_t sx = Spawn(args, pair[1]);
        r.ok = WaitChild(sx, limitS) == 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        r.p99 = timer.Percentile(0.99);
        r.p50 = timer.Percentile(0.50);
    }
    close(pair[0]);
    close(pair[1]);
    return r;
}

void XModem(Suite& s) {
    const std::string source = s.dir + "/xm-source";
    {
        std::vector<std::uint8_t> data(1 << 20);
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = Pattern(i);
        std::ofstream(source, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), data.size());
    }
    const auto same = [&](const std::string& f) {
        std::ifstream a(source, std::ios::binary), b(f, std::ios::binary);
        std::string x((std::istreambuf_iterator<char>(a)), {}),
            y((std::istreambuf_iterator<char>(b)), {});
        return y.size() >= x.size() && y.compare(0, x.size(), x) == 0;
    };
    QDBusConnection bus = s.Connect("xmodem");
    auto ch = Channel(bus, 4);
    const std::string target = s.dir + "/xm-server";
    for (bool oneK : {false, true}) {
        const char* kind = oneK ? "1K blocks" : "128-byte blocks";
        XmResult server[2], rx[2];
        for (int timed = 0; timed < 2; ++timed) {
            server[timed] = RunSx(s.xmodem, source, timed, oneK, 120, [&] {
                fs::remove(target);
                const int rc = ch->InvokeHelper(kDispReceiveXModemFile, kMethod, target,
                                                std::int32_t(1 << 20), std::int16_t(1))
                                   .AsI2();
                if (rc != 0) std::fprintf(stderr, "ReceiveXModemFile: %d\n", rc);
            });
            // Let the reception thread end before the next one may start.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            server[timed].ok = server[timed].ok && same(target);
            pid_t rxPid = -1;
            const std::string rxDir = s.dir + "/rx";
            fs::create_directories(rxDir);
            fs::remove(rxDir + "/xm-rx");
            // rx empties its input after every ACK; on a pty the next block often is there
            // already and is lost, so rx stalls for its 5 s time-outs: capped, and its rate
            // taken from what it received by then.
            rx[timed] = RunSx(s.xmodemRx, source, timed, oneK, s.rxLimitSeconds, [&] {
                rxPid = Spawn({"rx", "-q", "-X", "xm-rx"}, s.xmodemRx.slave, rxDir);
            });
            if (!rx[timed].ok) kill(rxPid, SIGKILL);
            rx[timed].ok = WaitChild(rxPid, 10) == 0 && rx[timed].ok && same(rxDir + "/xm-rx");
            std::error_code ec;
            rx[timed].bytes = static_cast<double>(fs::file_size(rxDir + "/xm-rx", ec));
            Drain(s.xmodemRx);
        }
        const double mbServer = server[0].bytes / 1e6 / server[0].seconds;
        const double mbRx = rx[0].bytes / 1e6 / rx[0].seconds;
        Row(std::string("XMODEM 1 MiB from sx, ") + kind + ", server" +
                (server[0].ok ? "" : " (FAILED)"),
            mbServer * 1e3, "KB/s");
        Row(std::string("XMODEM 1 MiB from sx, ") + kind + ", lrzsz rx" +
                (rx[0].ok ? "" : " (stopped)"),
            mbRx * 1e3, "KB/s");
        Row("  ratio server / rx", mbServer / mbRx, "x", ">= 1.0", mbServer / mbRx >= 1.0);
        Row(std::string("  block-to-ACK p99, server, ") + kind, server[1].p99, "us", "< 1000",
            server[1].p99 < 1000);
        Row(std::string("  block-to-ACK p50, server, ") + kind, server[1].p50, "us");
        Row(std::string("  block-to-ACK p99, lrzsz rx, ") + kind, rx[1].p99, "us");
    }
}

double IdleShare(Suite& s) {
    const double c0 = ProcessCpu(s.Pid());
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(s.idleSeconds));
    return (ProcessCpu(s.Pid()) - c0) / Seconds(Clock::now() - t0) * 100;
}

void Idle(Suite& s) {
    QDBusConnection bus = s.Connect("idle");
    auto plain = Channel(bus, 2);
    const double share = IdleShare(s);
    Row("idle CPU, one connected channel, no calls", share, "% core", "<= 0.1", share <= 0.1);

#ifdef TOLVAN_BENCH_HAS_IR_SIM
    tolvan::test::IrTransceiverSim sim;
    tolvan::test::IrSimPtyRunner runner(s.ir.master, sim);
    auto ir = Channel(bus, 5, "ViDA.Document", 0, kInherited);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double irShare = IdleShare(s);
    Row("idle CPU, open infra-red link, no calls", irShare, "% core", "<= 2", irShare <= 2);
    ir.reset();
    runner.Stop();
#else
    Row("idle CPU, open infra-red link (needs the test simulator: tests off)", 0, "% core");
#endif
}

void Memory(Suite& s) {
    QDBusConnection bus = s.Connect("memory");
    std::vector<std::unique_ptr<tdbus::DispatchDriver>> channels;
    channels.push_back(Channel(bus, 3));  // the port is open before the first measure
    const int n = 1000;
    const long before = ResidentKiB(s.Pid());
    for (int i = 0; i < n; ++i) channels.push_back(Channel(bus, 3));
    const long after = ResidentKiB(s.Pid());
    Row("memory per connected channel (1000 channels)", (after - before) * 1024.0 / n, "bytes");
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s TOLVAN32 [throughput-seconds] [idle-seconds] [ctxim]\n",
                     argv[0]);
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    Suite s;
    s.program = QString::fromLocal8Bit(argv[1]);
    if (argc > 2) s.throughputSeconds = std::max(0.2, std::atof(argv[2]));
    if (argc > 3) s.idleSeconds = std::max(0.5, std::atof(argv[3]));
    s.rxLimitSeconds = std::max(5.0, s.throughputSeconds * 15);
    char tmpl[] = "/tmp/tolvan-bench-XXXXXX";
    s.dir = mkdtemp(tmpl);

    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
    if (!daemon.waitForReadyRead(10000)) {
        std::fprintf(stderr, "dbus-daemon does not start\n");
        return 1;
    }
    s.address = QString::fromUtf8(daemon.readLine()).trimmed();
    if (!s.StartServer()) {
        std::fprintf(stderr, "tolvan32 does not start on the bus\n");
        return 1;
    }
    std::printf("| %-52s | %14s | %-8s | %-22s | %-6s |\n", "figure", "value", "unit", "goal", "");
    std::printf("|%s|%s|%s|%s|%s|\n", std::string(54, '-').c_str(), std::string(16, '-').c_str(),
                std::string(10, '-').c_str(), std::string(24, '-').c_str(),
                std::string(8, '-').c_str());
    // A channel held for the whole run keeps the server from ending between the parts.
    QDBusConnection keep = s.Connect("keep");
    auto keeper = Channel(keep, 0);
    const std::string parts = argc > 4 ? argv[4] : "ctxim";
    if (parts.find('c') != std::string::npos) CallCosts(s);
    if (parts.find('t') != std::string::npos) Throughput(s);
    if (parts.find('x') != std::string::npos) XModem(s);
    if (parts.find('i') != std::string::npos) Idle(s);
    if (parts.find('m') != std::string::npos) Memory(s);
    keeper.reset();
    s.server->waitForFinished(20000);
    daemon.kill();
    daemon.waitForFinished();
    fs::remove_all(s.dir);
    return 0;
}
