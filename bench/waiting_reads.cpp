// A thousand timed reads waiting at once: 1000 channels (20 clients x 50) on one pty port,
// a third each in ReadCharFromPortTimed, ReadFromPortTimed (4 bytes) and
// ReadStringFromPortTimed (up to CR LF), each for 60 s. While they wait: the server's thread
// count, the processor time the process takes in one second of waiting, and how fast another
// client's calls on another channel are answered (IsConnected, answered on the window
// thread, and a 0 ms ReadFromPortTimed, answered by a worker); then "QRST" CR LF on the port
// and the time until every read has its answer.
// Run: bench_waiting_reads [channels]   (needs dbus-daemon)
#include "automation/automation_server.h"
#include "channels/doc_comm.h"
#include "platform/device_map.h"
#include "platform/serial_api.h"
#include "platform/server_lock.h"
#include "ports/port_registry.h"
#include "ports/shared_port.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QProcess>
#include <QTimer>

#include <pty.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using tolvan::CDocComm;
const QString kPlain = QStringLiteral("RiVo32.Document");

class Host : public tdbus::ChannelHost {
public:
    tdbus::HostedChannel* CreateChannel(tdbus::ChannelClass) override {
        auto hosted = std::make_unique<Hosted>();
        Hosted* raw = hosted.get();
        live_.push_back(std::move(hosted));
        return raw;
    }

private:
    struct Hosted : tdbus::HostedChannel {
        tfw::DispatchTarget& Target() override { return doc; }
        void AddRef() override {}
        void Release() override {}
        CDocComm doc;
    };
    std::vector<std::unique_ptr<Hosted>> live_;
};

int Threads() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("Threads:", 0) == 0) return std::stoi(line.substr(8));
    return -1;
}

QDBusMessage Call(QDBusConnection& bus, const QString& path, const QString& iface,
                  const QString& member, const QVariantList& args = {}) {
    QDBusMessage m = QDBusMessage::createMethodCall(kPlain, path, iface, member);
    m.setArguments(args);
    return bus.call(m, QDBus::Block, 120000);
}

QString Channel(QDBusConnection& bus) {
    const QString path = Call(bus, "/", "Tolvan32.ClassFactory", "CreateInstance")
                             .arguments()
                             .value(0)
                             .value<QDBusObjectPath>()
                             .path();
    Call(bus, path, kPlain, "ConnectToPort",
         {QVariant::fromValue<short>(2), 9600, QVariant::fromValue<short>('N'),
          QVariant::fromValue<short>(8), QVariant::fromValue<short>(1)});
    return path;
}

double CpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// The kinds of read, in turn over the channels, and the answer each must give.
enum class Kind { kChar, kBytes, kString };
QDBusMessage ReadCall(const QString& path, Kind kind) {
    QDBusMessage m;
    switch (kind) {
        case Kind::kChar:
            m = QDBusMessage::createMethodCall(kPlain, path, kPlain, "ReadCharFromPortTimed");
            m << 60000;
            break;
        case Kind::kBytes:
            m = QDBusMessage::createMethodCall(kPlain, path, kPlain, "ReadFromPortTimed");
            m << QByteArray(4, '\0') << QVariant::fromValue<short>(4) << 60000;
            break;
        case Kind::kString:
            m = QDBusMessage::createMethodCall(kPlain, path, kPlain, "ReadStringFromPortTimed");
            m << QByteArray(16, '\0') << QVariant::fromValue<short>(16)
              << QVariant::fromValue<short>(-2) << 60000;
            break;
    }
    return m;
}
bool Right(const QDBusMessage& reply, Kind kind) {
    const int result = reply.arguments().value(0).toInt();
    switch (kind) {
        case Kind::kChar:
            return result == 'Q';
        case Kind::kBytes:
            return result == 4 && reply.arguments().value(1).toByteArray() == "QRST";
        case Kind::kString:
            return result == 4 && reply.arguments().value(1).toByteArray().startsWith("QRST\0");
    }
    return false;
}

struct Latency {
    double median, worst;
};

template <class F>
Latency Measure(int n, F call) {
    std::vector<double> ms;
    for (int i = 0; i < n; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        call();
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int channels = argc > 1 ? std::max(20, atoi(argv[1])) : 1000;
    const int clients = 20;

    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"),
                  QStringLiteral("--print-address")});
    if (!daemon.waitForReadyRead(10000)) {
        std::fprintf(stderr, "dbus-daemon does not start\n");
        return 1;
    }
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();

    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return 1;
    termios raw{};
    tcgetattr(master, &raw);
    cfmakeraw(&raw);
    tcsetattr(master, TCSANOW, &raw);
    char lockDir[] = "/tmp/tolvan-bench-XXXXXX";
    if (!mkdtemp(lockDir)) return 1;
    tolvan::plat::SetLockDirectory(lockDir);
    tolvan::plat::DeviceMap::Clear();
    tolvan::plat::DeviceMap::SetAutoAssign(false);
    tolvan::plat::DeviceMap::Set(2, name);
    tolvan::PortRegistry registry;
    registry.ProbePorts();
    CDocComm::SetPortRegistry(&registry);

    Host host;
    tdbus::AutomationServer server(host);
    QString error;
    if (!server.Start(address, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }

    std::atomic<bool> finished{false};
    std::thread driver([&] {
        std::vector<QDBusConnection> buses;
        for (int c = 0; c <= clients; ++c)
            buses.push_back(QDBusConnection::connectToBus(address, QStringLiteral("c%1").arg(c)));
        QDBusConnection& other = buses.back();
        const QString otherPath = Channel(other);
        const int threadsBefore = Threads();

        std::vector<QString> paths;
        for (int i = 0; i < channels; ++i) paths.push_back(Channel(buses[i % clients]));
        std::vector<QDBusPendingCall> reads;
        for (int i = 0; i < channels; ++i)
            reads.push_back(
                buses[i % clients].asyncCall(ReadCall(paths[i], static_cast<Kind>(i % 3)), 120000));
        // Until the server holds them all.
        while (server.CallsUnderWay() < channels)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const int threadsWaiting = Threads();
        const double cpu0 = CpuMs();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const double idleCpuMs = CpuMs() - cpu0;

        const Latency prompt = Measure(200, [&] { Call(other, otherPath, kPlain, "IsConnected"); });
        const Latency worker = Measure(200, [&] {
            Call(other, otherPath, kPlain, "ReadFromPortTimed",
                 {QByteArray(4, '\0'), QVariant::fromValue<short>(4), 0});
        });

        const auto t0 = std::chrono::steady_clock::now();
        (void)write(master, "QRST\r\n", 6);
        int answered = 0;
        for (std::size_t i = 0; i < reads.size(); ++i) {
            reads[i].waitForFinished();
            answered += Right(reads[i].reply(), static_cast<Kind>(i % 3)) ? 1 : 0;
        }
        const double allMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count();

        std::printf(
            "| waiting reads | %d (%d clients x %d channels, one port; char, bytes, string in "
            "turn) |\n",
            channels, clients, channels / clients);
        std::printf("| server threads before / while they wait | %d / %d |\n", threadsBefore,
                    threadsWaiting);
        std::printf("| processor time of the process in 1 s of waiting | %.2f ms |\n", idleCpuMs);
        std::printf("| another client's IsConnected, median / worst of 200 | %.2f / %.2f ms |\n",
                    prompt.median, prompt.worst);
        std::printf(
            "| another client's ReadFromPortTimed(0 ms), median / worst of 200 | %.2f / %.2f ms "
            "|\n",
            worker.median, worker.worst);
        std::printf(
            "| \"QRST\" CR LF on the port until every read answered | %.1f ms (%d of %d right) "
            "|\n",
            allMs, answered, channels);
        finished = true;
        QMetaObject::invokeMethod(
            &app, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });
    app.exec();
    driver.join();
    server.Stop();
    CDocComm::SetPortRegistry(nullptr);
    daemon.kill();
    daemon.waitForFinished();
    return finished ? 0 : 1;
}
