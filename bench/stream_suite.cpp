// Channel streams against the real server: tolvan32 -Automation on a private bus, its COM2
// a pty the benchmark plays the device on, streams taken with Tolvan32.Stream.AcquireStream.
//   bench_stream_suite TOLVAN32 [throughput-seconds] [idle-seconds]
// Prints Markdown table rows: pty -> 1 stream and -> 8 streams (every byte checked) against
// reading the pty directly, the server's CPU per MB delivered, device-to-stream latency, and
// the idle CPU of 8 idle streams.
#include "automation/client/dispatch_driver.h"
#include "automation/contract/comm_members.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QProcess>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr std::uint16_t kMethod = tfw::kDispatchMethod;

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

std::uint8_t Pattern(std::uint64_t n) {
    return static_cast<std::uint8_t>(n * 13 + n / 253);
}

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

struct Suite {
    QString address;
    QString program;
    std::string dir;
    Pty device;
    std::unique_ptr<QProcess> server;
    double throughputSeconds = 2;
    double idleSeconds = 10;

    QDBusConnection Connect(const QString& name) {
        return QDBusConnection::connectToBus(address, name);
    }
    bool StartServer() {
        const std::string profile = dir + "/bench.ini";
        std::ofstream(profile) << "[Ports]\nAuto=0\nCOM2=" << device.path << "\n";
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

// A channel on COM2 with a ring of 32767 bytes and its stream's descriptor (blocking).
struct StreamChannel {
    std::unique_ptr<tdbus::DispatchDriver> channel;
    int fd = -1;
    ~StreamChannel() {
        if (fd >= 0) close(fd);
    }
};

std::unique_ptr<StreamChannel> OpenStream(QDBusConnection bus) {
    auto s = std::make_unique<StreamChannel>();
    s->channel = std::make_unique<tdbus::DispatchDriver>(bus);
    if (!s->channel->CreateDispatch("RiVo32.Document")) std::exit(1);
    const int rc =
        s->channel
            ->InvokeHelper(kDispConnectToPort, kMethod, std::int16_t(2), std::int32_t(115200),
                           std::int16_t('N'), std::int16_t(8), std::int16_t(1))
            .AsI2();
    if (rc != 0) {
        std::fprintf(stderr, "ConnectToPort: %d\n", rc);
        std::exit(1);
    }
    s->channel->SetProperty(kDispRBuffSize, tfw::Variant::I2(32767));
    const QDBusMessage reply = bus.call(QDBusMessage::createMethodCall(
        "RiVo32.Document", s->channel->Path(), "Tolvan32.Stream", "AcquireStream"));
    if (reply.type() != QDBusMessage::ReplyMessage) {
        std::fprintf(stderr, "AcquireStream: %s\n", qPrintable(reply.errorMessage()));
        std::exit(1);
    }
    s->fd = dup(reply.arguments().value(0).value<QDBusUnixFileDescriptor>().fileDescriptor());
    return s;
}

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

// The device fanned out to `n` streams, each read by a thread that checks every byte. The
// device never runs more than kAhead ahead of the slowest reader, so a lossy stream keeps up
// (its socket and ring hold that much). Bytes per second each stream got.
double FanOut(Suite& s, int n, bool* allChecked, double* serverCpuPerMB) {
    constexpr std::uint64_t kAhead = 65536;
    QDBusConnection bus = s.Connect(QString("fan%1").arg(n));
    std::vector<std::unique_ptr<StreamChannel>> streams;
    for (int i = 0; i < n; ++i) streams.push_back(OpenStream(bus));
    std::vector<std::atomic<std::uint64_t>> got(static_cast<std::size_t>(n));
    std::atomic<bool> stop{false}, bad{false};
    std::vector<std::thread> readers;
    for (int i = 0; i < n; ++i)
        readers.emplace_back([&, i] {
            std::vector<std::uint8_t> buffer(65536);
            std::uint64_t at = 0;
            while (!stop) {
                pollfd p{streams[i]->fd, POLLIN, 0};
                if (poll(&p, 1, 50) <= 0) continue;
                const ssize_t k = read(streams[i]->fd, buffer.data(), buffer.size());
                if (k <= 0) break;
                for (ssize_t j = 0; j < k; ++j, ++at)
                    if (buffer[j] != Pattern(at)) bad = true;
                got[i] = at;
            }
        });
    std::uint64_t sent = 0;
    std::vector<std::uint8_t> out(16384);
    const double cpu0 = ProcessCpu(s.Pid());
    const auto start = Clock::now();
    while (Seconds(Clock::now() - start) < s.throughputSeconds) {
        std::uint64_t low = UINT64_MAX;
        for (auto& g : got) low = std::min<std::uint64_t>(low, g);
        const std::uint64_t room = low + kAhead - sent;
        if (room == 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(50));
            continue;
        }
        const std::size_t k = std::min<std::uint64_t>(room, out.size());
        for (std::size_t j = 0; j < k; ++j) out[j] = Pattern(sent + j);
        WriteAll(s.device.master, out.data(), k);
        sent += k;
    }
    // Every byte sent reaches every stream.
    const auto drainStart = Clock::now();
    for (;;) {
        std::uint64_t low = UINT64_MAX;
        for (auto& g : got) low = std::min<std::uint64_t>(low, g);
        if (low == sent || Seconds(Clock::now() - drainStart) > 5) break;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    const double elapsed = Seconds(Clock::now() - start);
    std::uint64_t low = UINT64_MAX;
    for (auto& g : got) low = std::min<std::uint64_t>(low, g);
    *serverCpuPerMB = (ProcessCpu(s.Pid()) - cpu0) / (static_cast<double>(low) * n / 1e6);
    stop = true;
    for (auto& t : readers) t.join();
    for (auto& st : streams)
        if (st->channel->InvokeHelper(kDispIsOverflow, kMethod).AsBool()) bad = true;
    *allChecked = !bad && low == sent;
    streams.clear();
    return low / elapsed;
}

// One byte at a time: from the write to the device until the stream's reader has it.
void Latency(Suite& s) {
    QDBusConnection bus = s.Connect("latency");
    auto stream = OpenStream(bus);
    std::vector<double> us;
    std::uint8_t byte = 0;
    for (int i = 0; i < 3000; ++i) {
        const auto t0 = Clock::now();
        WriteAll(s.device.master, &byte, 1);
        pollfd p{stream->fd, POLLIN, 0};
        if (poll(&p, 1, 2000) <= 0) break;
        std::uint8_t in = 0;
        if (read(stream->fd, &in, 1) != 1) break;
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        ++byte;
        if (i % 100 == 99) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::sort(us.begin(), us.end());
    if (us.empty()) return;
    const double p99 = us[static_cast<std::size_t>(us.size() * 0.99)];
    Row("device-to-stream latency p99 (1 byte)", p99, "us", "< 1000", p99 < 1000);
    Row("device-to-stream latency p50 (1 byte)", us[us.size() / 2], "us");

    // The pty alone, for comparison: write to the master, read at the slave.
    Pty pty;
    us.clear();
    for (int i = 0; i < 3000; ++i) {
        const auto t0 = Clock::now();
        WriteAll(pty.master, &byte, 1);
        pollfd p{pty.slave, POLLIN, 0};
        if (poll(&p, 1, 2000) <= 0) break;
        std::uint8_t in = 0;
        if (read(pty.slave, &in, 1) != 1) break;
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    std::sort(us.begin(), us.end());
    if (!us.empty())
        Row("  the pty alone, p99", us[static_cast<std::size_t>(us.size() * 0.99)], "us");
}

void Idle(Suite& s) {
    QDBusConnection bus = s.Connect("idle");
    std::vector<std::unique_ptr<StreamChannel>> streams;
    for (int i = 0; i < 8; ++i) streams.push_back(OpenStream(bus));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const double c0 = ProcessCpu(s.Pid());
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(s.idleSeconds));
    const double share = (ProcessCpu(s.Pid()) - c0) / Seconds(Clock::now() - t0) * 100;
    Row("idle CPU, 8 idle streams on one port", share, "% core", "< 0.1", share < 0.1);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s TOLVAN32 [throughput-seconds] [idle-seconds]\n", argv[0]);
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    Suite s;
    s.program = QString::fromLocal8Bit(argv[1]);
    if (argc > 2) s.throughputSeconds = std::max(0.2, std::atof(argv[2]));
    if (argc > 3) s.idleSeconds = std::max(0.5, std::atof(argv[3]));
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
    QDBusConnection keep = s.Connect("keep");
    tdbus::DispatchDriver keeper(keep);
    keeper.CreateDispatch("RiVo32.Document");

    const double direct = DirectRate(s.throughputSeconds);
    Row("pty read directly", direct / 1e6, "MB/s");
    for (int n : {1, 8}) {
        bool checked = false;
        double cpu = 0;
        const double rate = FanOut(s, n, &checked, &cpu);
        Row("pty -> " + std::to_string(n) + " stream(s), per stream" +
                (checked ? "" : " (BYTES LOST OR WRONG)"),
            rate / 1e6, "MB/s");
        if (n == 1)
            Row("  1 stream: ratio to reading directly", rate / direct, "x", ">= 0.5",
                checked && rate / direct >= 0.5);
        else
            Row("  8 streams together: ratio to reading directly", rate * n / direct, "x", ">= 1.0",
                checked && rate * n / direct >= 1.0);
        Row("  server CPU per MB delivered (all streams)", cpu * 1e3, "ms/MB", "<= 3",
            cpu * 1e3 <= 3);
    }
    Latency(s);
    Idle(s);

    keeper.ReleaseDispatch();
    s.server->waitForFinished(20000);
    daemon.kill();
    daemon.waitForFinished();
    fs::remove_all(s.dir);
    return 0;
}
