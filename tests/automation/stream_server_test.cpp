// Channel streams as programs meet them: the real tolvan32 in the automation mode on a
// private bus, its COM2 a real pty and COM4 a loop:// port, and on the terminals the
// programs people use with serial ports (pySerial, lrzsz's rx) beside D-Bus clients.
#include "automation/client/dispatch_driver.h"
#include "automation/contract/comm_members.h"
#include "tests/automation/bus_fixture.h"
#include "tests/automation/server_process.h"
#include "tests/support/pty_pair.h"

#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace tolvan::test {
namespace {

namespace fs = std::filesystem;
constexpr std::uint16_t kMethod = tfw::kDispatchMethod;
const QString kProgId = QStringLiteral("RiVo32.Document");
const QString kStream = QStringLiteral("Tolvan32.Stream");

using Bytes = std::vector<std::uint8_t>;

Bytes Counter(std::size_t n, std::size_t from = 0) {
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<std::uint8_t>((from + i) * 7 + (from + i) / 251);
    return out;
}

// Reads from fd until n bytes came or nothing came for `quietMs`.
Bytes ReadFd(int fd, std::size_t n, int quietMs = 5000) {
    Bytes out;
    Bytes chunk(65536);
    while (out.size() < n) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, quietMs) <= 0 || (p.revents & POLLIN) == 0) break;
        const ssize_t got = read(fd, chunk.data(), std::min(chunk.size(), n - out.size()));
        if (got <= 0) break;
        out.insert(out.end(), chunk.begin(), chunk.begin() + got);
    }
    return out;
}

// A program with stdin and stdout on `fd`, in `dir`; its exit status from Wait.
class Program {
public:
    Program(std::vector<std::string> args, int fd, const std::string& dir) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fd, 0);
        posix_spawn_file_actions_adddup2(&actions, fd, 1);
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Program() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    bool Started() const { return pid_ > 0; }
    // Exit status, -1 when it did not end normally within 60 s (only when a test fails).
    int Wait() {
        for (int i = 0; i < 60000 && pid_ > 0; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
};

class StreamServer : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureQtApp();
        bus_ = std::make_unique<PrivateBus>();
        client_ = bus_->Connect();
        link_ = bus_->Dir() + "/com2";
        fs::create_symlink(pty_.slavePath(), link_);
        std::ofstream(bus_->Dir() + "/tolvan32.ini")
            << "[Ports]\nAuto=0\nCOM2=" << link_ << "\nCOM4=loop://streamtest\n";
        server_ = std::make_unique<ServerProcess>(*bus_);
        server_->Start(bus_->Dir() + "/tolvan32.ini");
    }
    void TearDown() override {
        channels_.clear();
        server_.reset();
    }

    tdbus::DispatchDriver& NewChannel(int com) {
        auto ch = std::make_unique<tdbus::DispatchDriver>(client_);
        EXPECT_TRUE(ch->CreateDispatch(kProgId)) << ch->LastError().message.toStdString();
        EXPECT_EQ(
            ch->InvokeHelper(kDispConnectToPort, kMethod, std::int16_t(com), std::int32_t(9600),
                             std::int16_t('N'), std::int16_t(8), std::int16_t(1))
                .AsI2(),
            0);
        channels_.push_back(std::move(ch));
        return *channels_.back();
    }
    QDBusMessage StreamCall(tdbus::DispatchDriver& ch, const QString& member) {
        return client_.call(QDBusMessage::createMethodCall(kProgId, ch.Path(), kStream, member));
    }
    std::string OpenTerminal(tdbus::DispatchDriver& ch) {
        const QDBusMessage reply = StreamCall(ch, QStringLiteral("OpenTerminal"));
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        return reply.arguments().value(0).toString().toStdString();
    }
    static std::string Read(tdbus::DispatchDriver& ch, std::size_t size) {
        std::string buffer(size, '\0');
        const int n =
            ch.InvokeHelper(kDispReadFromPort, kMethod, tdbus::ByteRef(buffer), std::int16_t(size))
                .AsI2();
        return buffer.substr(0, n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    static void SetRBuffSize(tdbus::DispatchDriver& ch, std::int16_t size) {
        EXPECT_TRUE(ch.SetProperty(kDispRBuffSize, tfw::Variant::I2(size)));
    }

    std::unique_ptr<PrivateBus> bus_;
    QDBusConnection client_{QString()};
    PtyPair pty_;
    std::string link_;
    std::unique_ptr<ServerProcess> server_;
    std::vector<std::unique_ptr<tdbus::DispatchDriver>> channels_;
};

TEST_F(StreamServer, PySerialOnATerminalOfALoopPortReadsBackWhatItWrites) {
    PythonClient py(
        *bus_, QStringLiteral("import dbus, serial, errno\n"
                              "bus = dbus.SessionBus()\n"
                              "factory = dbus.Interface(bus.get_object('RiVo32.Document', '/'), "
                              "'Tolvan32.ClassFactory')\n"
                              "obj = bus.get_object('RiVo32.Document', factory.CreateInstance())\n"
                              "ch = dbus.Interface(obj, 'RiVo32.Document')\n"
                              "st = dbus.Interface(obj, 'Tolvan32.Stream')\n"
                              "print(ch.ConnectToPort(4, 9600, 78, 8, 1))\n"
                              "path = st.OpenTerminal()\n"
                              "print(path.startswith('/dev/pts/'), path == st.OpenTerminal())\n"
                              "ser = serial.Serial(path, 115200, timeout=10)\n"
                              "ser.write(b'hello loop\\n')\n"
                              "print(ser.read(11))\n"
                              "ser.baudrate = 300\n"
                              "print([int(x) for x in ch.GetPortSettings()][1])\n"
                              "try:\n"
                              "    ser.dtr = False\n"
                              "    print('dtr taken')\n"
                              "except OSError as e:\n"
                              "    print('dtr', errno.errorcode[e.errno])\n"
                              "try:\n"
                              "    st.AcquireStream()\n"
                              "    print('no error')\n"
                              "except dbus.DBusException as e:\n"
                              "    print(e.get_dbus_name(), path in str(e))\n"
                              "r, buf = ch.ReadFromPort(dbus.ByteArray(b'.' * 10), 10)\n"
                              "print(r)\n"
                              "ser.write(b'again')\n"
                              "print(ser.read(5))\n"
                              "ser.close()\n"));
    QStringList out;
    for (int i = 0; i < 8; ++i) out << py.ReadLine();
    EXPECT_EQ(py.Wait(), 0) << py.ErrorOutput().toStdString();
    ASSERT_EQ(out.size(), 8);
    EXPECT_EQ(out[0], "0");
    EXPECT_EQ(out[1], "True True");
    EXPECT_EQ(out[2], "b'hello loop\\n'");
    EXPECT_EQ(out[3], "9600");  // the program's speed stays with its terminal
    EXPECT_EQ(out[4], "dtr ENOTTY");
    EXPECT_EQ(out[5], "Tolvan32.Error.StreamBusy True");
    EXPECT_EQ(out[6], "0");  // the terminal takes the channel's bytes
    EXPECT_EQ(out[7], "b'again'");
}

TEST_F(StreamServer, TwoTerminalsAndADBusChannelOnOnePortEachSeeEveryByte) {
    tdbus::DispatchDriver& polled = NewChannel(2);
    SetRBuffSize(polled, 32000);
    tdbus::DispatchDriver& first = NewChannel(2);
    tdbus::DispatchDriver& second = NewChannel(2);
    const int t1 = open(OpenTerminal(first).c_str(), O_RDWR | O_NOCTTY);
    const int t2 = open(OpenTerminal(second).c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(t1, 0);
    ASSERT_GE(t2, 0);
    // The server learns that a program opened a terminal a moment later: the device
    // speaks until both have heard it, then ends with a mark that all three readers skip
    // to.
    for (bool heard1 = false, heard2 = false; !(heard1 && heard2);) {
        ASSERT_TRUE(pty_.Write("s"));
        heard1 = heard1 || !ReadFd(t1, 1, 20).empty();
        heard2 = heard2 || !ReadFd(t2, 1, 20).empty();
    }
    ASSERT_TRUE(pty_.Write("M"));
    for (const int t : {t1, t2})
        for (Bytes b; b != Bytes{'M'};) ASSERT_FALSE((b = ReadFd(t, 1)).empty());
    for (std::string all; all.empty() || all.back() != 'M';) all += Read(polled, 64);

    // 256 KiB, never more than 16 KiB ahead of the slowest reader.
    constexpr std::size_t kPiece = 16384;
    Bytes got1, got2;
    std::string gotPolled;
    for (std::size_t at = 0; at < 16 * kPiece; at += kPiece) {
        ASSERT_TRUE(pty_.Write(Counter(kPiece, at)));
        const Bytes p1 = ReadFd(t1, kPiece);
        const Bytes p2 = ReadFd(t2, kPiece);
        got1.insert(got1.end(), p1.begin(), p1.end());
        got2.insert(got2.end(), p2.begin(), p2.end());
        for (int idle = 0; gotPolled.size() < at + kPiece && idle < 5000; ++idle) {
            const std::string part = Read(polled, 8192);
            gotPolled += part;
            if (part.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    const Bytes all = Counter(16 * kPiece);
    EXPECT_TRUE(got1 == all);
    EXPECT_TRUE(got2 == all);
    EXPECT_TRUE(Bytes(gotPolled.begin(), gotPolled.end()) == all);
    // Both terminals speak through their own channels.
    ASSERT_EQ(write(t1, "one", 3), 3);
    EXPECT_EQ(pty_.Read(3), Bytes({'o', 'n', 'e'}));
    ASSERT_EQ(write(t2, "two", 3), 3);
    EXPECT_EQ(pty_.Read(3), Bytes({'t', 'w', 'o'}));
    close(t1);
    close(t2);
}

TEST_F(StreamServer, AcquiredDescriptorCarriesBothWaysUntilClosed) {
    tdbus::DispatchDriver& ch = NewChannel(2);
    int fd = -1;
    {
        // The reply holds a descriptor of its own until it goes.
        const QDBusMessage reply = StreamCall(ch, QStringLiteral("AcquireStream"));
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        fd = dup(reply.arguments().value(0).value<QDBusUnixFileDescriptor>().fileDescriptor());
    }
    ASSERT_GE(fd, 0);
    // One stream per channel: the refusal names who holds it.
    const QDBusMessage again = StreamCall(ch, QStringLiteral("AcquireStream"));
    EXPECT_EQ(again.errorName(), "Tolvan32.Error.StreamBusy");
    EXPECT_TRUE(again.errorMessage().contains(client_.baseService()))
        << again.errorMessage().toStdString();
    EXPECT_EQ(StreamCall(ch, QStringLiteral("OpenTerminal")).errorName(),
              "Tolvan32.Error.StreamBusy");

    ASSERT_TRUE(pty_.Write("RING\r\n"));
    EXPECT_EQ(ReadFd(fd, 6), Bytes({'R', 'I', 'N', 'G', '\r', '\n'}));
    EXPECT_EQ(Read(ch, 64), "");
    ASSERT_EQ(write(fd, "ATA\r", 4), 4);
    EXPECT_EQ(pty_.Read(4), Bytes({'A', 'T', 'A', '\r'}));

    // Closing it ends the stream: the channel is polled again, and may stream anew.
    close(fd);
    std::string polled;
    for (int i = 0; i < 5000 && polled.empty(); ++i) {
        ASSERT_TRUE(pty_.Write("x"));
        polled = Read(ch, 64);
        if (polled.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_FALSE(polled.empty());
    EXPECT_EQ(StreamCall(ch, QStringLiteral("AcquireStream")).type(), QDBusMessage::ReplyMessage);
}

TEST_F(StreamServer, RxReceivesAFileThroughATerminalWhileAnotherChannelWatches) {
    tdbus::DispatchDriver& watcher = NewChannel(2);
    SetRBuffSize(watcher, 32000);
    tdbus::DispatchDriver& receiver = NewChannel(2);
    const std::string terminal = OpenTerminal(receiver);
    const std::string dir = bus_->Dir();
    const Bytes file = Counter(20000, 3);
    std::ofstream(dir + "/sent.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<long>(file.size()));

    const int t = open(terminal.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(t, 0);
    fs::create_directory(dir + "/in");
    // rx on the terminal, sx on the device's side of the pty (blocking, as sx expects).
    fcntl(pty_.master(), F_SETFL, fcntl(pty_.master(), F_GETFL) & ~O_NONBLOCK);
    Program rx({"rx", "-q", "-c", "got.bin"}, t, dir + "/in");
    Program sx({"sx", "-q", "-k", dir + "/sent.bin"}, pty_.master(), dir);
    ASSERT_TRUE(rx.Started());
    ASSERT_TRUE(sx.Started());
    std::string watched;
    EXPECT_EQ(rx.Wait(), 0);
    // sx's own end is not waited for: rx flushes its terminal as it leaves (TCIOFLUSH),
    // which on any pty may take its last ACK with it before the other side has read it;
    // sx then repeats its EOT. The same happens with sx and rx on one pty alone.
    close(t);
    const Bytes got = [&] {
        std::ifstream in(dir + "/in/got.bin", std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }();
    // XMODEM pads the last block: the file, then padding.
    ASSERT_GE(got.size(), file.size());
    EXPECT_TRUE(std::equal(file.begin(), file.end(), got.begin()));

    // The watcher saw the whole transfer go by: 1K blocks (STX) of the file's bytes, then
    // EOT.
    for (std::string part; !(part = Read(watcher, 16384)).empty();) watched += part;
    ASSERT_GT(watched.size(), file.size());
    EXPECT_EQ(watched[0], '\x02');
    EXPECT_EQ(watched.back(), '\x04');
    EXPECT_EQ(watched.substr(3, 1024), std::string(file.begin(), file.begin() + 1024));
}

}  // namespace
}  // namespace tolvan::test
