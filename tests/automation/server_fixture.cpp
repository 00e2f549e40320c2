#include "tests/automation/server_fixture.h"

#include "platform/device_map.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace tolvan::test {

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

void ServerOnBus::SetUp() {
    EnsureQtApp();
    bus_ = std::make_unique<PrivateBus>();
    ASSERT_FALSE(bus_->Address().isEmpty());

    plat::DeviceMap::Clear();
    plat::DeviceMap::SetAutoAssign(false);
    for (int com : PtyPorts()) {
        Pty p;
        char name[256] = {};
        ASSERT_EQ(openpty(&p.master, &p.slave, name, nullptr, nullptr), 0);
        termios raw{};
        for (int fd : {p.master, p.slave}) {
            tcgetattr(fd, &raw);
            cfmakeraw(&raw);
            tcsetattr(fd, TCSANOW, &raw);
        }
        p.path = name;
        ptys_[com] = p;
        plat::DeviceMap::Set(com, p.path);
    }
    for (int com : MissingPorts()) plat::DeviceMap::Set(com, "/nonexistent/tty-for-test");

    registry_ = std::make_unique<PortRegistry>();
    registry_->ProbePorts();
    host_ = std::make_unique<TestHost>(*registry_);
    server_ = std::make_unique<tdbus::AutomationServer>(*host_);
    QObject::connect(server_.get(), &tdbus::AutomationServer::LastObjectReleased,
                     [this] { ++lastReleased_; });
    QString error;
    ASSERT_TRUE(server_->Start(bus_->Address(), &error)) << error.toStdString();
}

void ServerOnBus::TearDown() {
    server_.reset();
    host_.reset();
    registry_.reset();
    for (auto& [com, p] : ptys_) {
        close(p.master);
        close(p.slave);
    }
    ptys_.clear();
    plat::DeviceMap::Clear();
    bus_.reset();
}

int ServerOnBus::Master(int com) const {
    auto it = ptys_.find(com);
    return it == ptys_.end() ? -1 : it->second.master;
}

std::vector<std::uint8_t> ServerOnBus::ReadMaster(int com, std::size_t n) {
    std::vector<std::uint8_t> out;
    const int fd = Master(com);
    while (out.size() < n) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 2000) <= 0) break;  // only when the bytes never come
        std::uint8_t buf[256];
        const ssize_t got = read(fd, buf, std::min(sizeof buf, n - out.size()));
        if (got <= 0) break;
        out.insert(out.end(), buf, buf + got);
    }
    return out;
}

void ServerOnBus::WriteMaster(int com, const std::string& text) {
    ASSERT_EQ(write(Master(com), text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

}  // namespace tolvan::test
