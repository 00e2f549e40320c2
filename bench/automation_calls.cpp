// Cost of automation calls on a private bus: an empty round trip (AddRef/Release pair),
// IsConnected, ReadFromPort of 1 KiB and WriteToPort of 1 KiB against a pty, each as calls
// per second and median microseconds, with the ratio to the empty round trip.
// Run: bench_automation_calls [calls]   (needs dbus-daemon)
#include "automation/automation_server.h"
#include "automation/client/dispatch_driver.h"
#include "automation/contract/comm_members.h"
#include "framework/dispatch_binding.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

namespace {

// A channel of just the measured members, straight on the pty's slave end.
class PtyChannel : public tfw::DispatchTarget {
public:
    explicit PtyChannel(int fd) : fd_(fd) {}
    const tfw::DispatchClass& GetDispatchClass() const override;
    bool IsConnected() const { return fd_ >= 0; }
    std::int16_t ReadFromPort(std::span<std::uint8_t> buffer, std::int16_t count) {
        const auto n = std::min<std::size_t>(buffer.size(), count > 0 ? count : 0);
        const ssize_t got = read(fd_, buffer.data(), n);
        return static_cast<std::int16_t>(got > 0 ? got : 0);
    }
    std::int16_t WriteToPort(std::span<std::uint8_t> buffer, std::int16_t count) {
        const auto n = std::min<std::size_t>(buffer.size(), count > 0 ? count : 0);
        const ssize_t put = write(fd_, buffer.data(), n);
        return static_cast<std::int16_t>(put > 0 ? put : 0);
    }

private:
    int fd_;
};

const tfw::DispatchClass& PtyChannel::GetDispatchClass() const {
    static const std::vector<tfw::MemberBinding> bindings = [] {
        std::vector<tfw::MemberBinding> b(kCommMemberCount);
        b[kDispIsConnected - 1] = tfw::Bind<&PtyChannel::IsConnected>();
        b[kDispReadFromPort - 1] = tfw::Bind<&PtyChannel::ReadFromPort>();
        b[kDispWriteToPort - 1] = tfw::Bind<&PtyChannel::WriteToPort>();
        return b;
    }();
    static const tfw::DispatchClass cls("PtyChannel", kCommInterfaceName, CommMembers(), bindings,
                                        nullptr);
    return cls;
}

class Hosted : public tdbus::HostedChannel {
public:
    explicit Hosted(int fd) : channel_(fd) {}
    tfw::DispatchTarget& Target() override { return channel_; }
    void AddRef() override { ++refs_; }
    void Release() override {
        if (--refs_ == 0) delete this;
    }

private:
    PtyChannel channel_;
    int refs_ = 1;
};

class Host : public tdbus::ChannelHost {
public:
    explicit Host(int fd) : fd_(fd) {}
    tdbus::HostedChannel* CreateChannel(tdbus::ChannelClass) override { return new Hosted(fd_); }

private:
    int fd_;
};

struct Figure {
    const char* name;
    double median;
    double perSecond;
};

// `before` runs ahead of each call, untimed.
Figure Measure(const char* name, int calls, const std::function<void()>& call,
               const std::function<void()>& before = {}) {
    std::vector<double> us;
    us.reserve(calls);
    double total = 0;
    for (int i = 0; i < calls; ++i) {
        if (before) before();
        const auto t0 = std::chrono::steady_clock::now();
        call();
        us.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0)
                .count());
        total += us.back() / 1e6;
    }
    std::nth_element(us.begin(), us.begin() + us.size() / 2, us.end());
    return {name, us[us.size() / 2], calls / total};
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int calls = argc > 1 ? std::max(10, atoi(argv[1])) : 2000;

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
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return 1;
    for (int fd : {master, slave}) {
        termios raw{};
        tcgetattr(fd, &raw);
        cfmakeraw(&raw);
        tcsetattr(fd, TCSANOW, &raw);
    }
    fcntl(slave, F_SETFL, fcntl(slave, F_GETFL) | O_NONBLOCK);

    Host host(slave);
    tdbus::AutomationServer server(host);
    QString error;
    if (!server.Start(address, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }

    std::vector<Figure> figures;
    std::atomic<bool> done{false};
    std::thread client([&] {
        QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("bench"));
        tdbus::DispatchDriver ch(bus);
        if (!ch.CreateDispatch(QStringLiteral("RiVo32.Document"))) {
            done = true;
            return;
        }
        auto unknown = [&](const char* member) {
            bus.call(QDBusMessage::createMethodCall(QStringLiteral("RiVo32.Document"), ch.Path(),
                                                    QStringLiteral("Tolvan32.Unknown"),
                                                    QLatin1String(member)));
        };
        std::vector<std::uint8_t> kib(1024, 'a');
        // The master drains what is written and keeps 1 KiB ready to read.
        std::atomic<bool> pump{true};
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        std::thread device([&] {
            std::vector<std::uint8_t> sink(4096);
            while (pump) {
                pollfd p{master, POLLIN, 0};
                if (poll(&p, 1, 20) > 0) (void)read(master, sink.data(), sink.size());
            }
        });
        figures.push_back(Measure("empty round trip (AddRef+Release)/2", calls, [&] {
            unknown("AddRef");
            unknown("Release");
        }));
        figures.back().median /= 2;
        figures.back().perSecond *= 2;
        figures.push_back(Measure("IsConnected", calls, [&] {
            ch.InvokeHelper(kDispIsConnected, tfw::kDispatchMethod);
        }));
        figures.push_back(Measure("WriteToPort 1 KiB", calls, [&] {
            ch.InvokeHelper(kDispWriteToPort, tfw::kDispatchMethod, tdbus::ByteRef(kib),
                            std::int16_t(1024));
        }));
        pump = false;
        device.join();
        // The bytes are at the slave before the clock starts (the kernel moves what is
        // written to the master by a work item, a moment later).
        const std::vector<std::uint8_t> fill(1024, 'b');
        figures.push_back(Measure(
            "ReadFromPort 1 KiB", calls,
            [&] {
                for (int got = 0; got < 1024;)
                    got += ch.InvokeHelper(kDispReadFromPort, tfw::kDispatchMethod,
                                           tdbus::ByteRef(kib), std::int16_t(1024 - got))
                               .AsI2();
            },
            [&] {
                (void)write(master, fill.data(), fill.size());
                for (int ready = 0, i = 0; ready < 1024 && i < 50000; ++i) {
                    if (ioctl(slave, FIONREAD, &ready) != 0) break;
                    if (ready < 1024) std::this_thread::sleep_for(std::chrono::microseconds(20));
                }
            }));
        done = true;
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done) app.quit();
    });
    poll.start(10);
    app.exec();
    client.join();

    if (figures.empty()) return 1;
    const double base = figures[0].median;
    std::printf("%-40s %12s %12s %8s\n", "call", "median us", "calls/s", "ratio");
    for (const Figure& f : figures)
        std::printf("%-40s %12.1f %12.0f %8.2f\n", f.name, f.median, f.perSecond, f.median / base);
    server.Stop();
    daemon.kill();
    daemon.waitForFinished();
    close(master);
    close(slave);
    return 0;
}
