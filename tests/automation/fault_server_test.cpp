// Faults met by the running server: the real tolvan32 program in the automation mode on a
// private bus, its ports real ptys reached through symbolic links named in the profile (so a
// device can be replaced at the same path), clients over D-Bus. Every test ends with the
// server still serving a client.
#include "automation/contract/comm_members.h"
#include "automation/client/dispatch_driver.h"
#include "automation/client/variant_codec.h"
#include "platform/lock_file.h"
#include "tests/automation/bus_fixture.h"
#include "tests/automation/server_process.h"
#include "tests/support/pty_pair.h"
#include "tests/support/xmodem_sender.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tolvan::test {
namespace {

namespace fs = std::filesystem;
constexpr std::uint16_t kMethod = tfw::kDispatchMethod;
const QString kProgId = QStringLiteral("RiVo32.Document");
constexpr const char* kLockDir = "/var/lock";
constexpr std::int16_t kWindow = 0x2468;

std::vector<std::uint8_t> Counter(std::size_t n, std::size_t from = 0) {
    std::vector<std::uint8_t> out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<std::uint8_t>((from + i) * 7 + (from + i) / 251);
    return out;
}

std::vector<std::uint8_t> AsBytes(const std::string& text) {
    return {text.begin(), text.end()};
}

std::vector<std::uint8_t> FileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Whether the process has `path` open (its /proc fd links).
bool HoldsOpen(qint64 pid, const std::string& path) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        std::error_code e2;
        if (fs::read_symlink(entry.path(), e2).string() == path) return true;
    }
    return false;
}

int ThreadCount(qint64 pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Threads:", 0) == 0) return std::stoi(line.substr(8));
    return -1;
}

// The receiving end of a client's XferProgress signals.
class ProgressLog : public QObject {
    Q_OBJECT
public:
    struct Report {
        short window;
        int wParam;
        int lParam;
    };
    std::vector<Report> reports;
    bool Ended() const { return !reports.empty() && reports.back().wParam != 1; }

public Q_SLOTS:
    void OnProgress(short window, int wParam, int lParam) {
        reports.push_back({window, wParam, lParam});
    }
};

class FaultServer : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureQtApp();
        bus_ = std::make_unique<PrivateBus>();
        client_ = bus_->Connect();
        for (int com : {2, 3}) Plug(com);
        std::ofstream(Profile()) << "[Ports]\nAuto=0\nCOM2=" << Link(2) << "\nCOM3=" << Link(3)
                                 << "\n";
    }
    void TearDown() override {
        channels_.clear();
        server_.reset();
    }

    std::string Profile() const { return bus_->Dir() + "/tolvan32.ini"; }
    std::string Link(int com) const { return bus_->Dir() + "/com" + std::to_string(com); }
    std::string LockPath(int com) const {
        return std::string(kLockDir) + "/" + plat::LockFileName(ptys_.at(com)->slavePath());
    }
    static bool LocksUsable() { return ::access(kLockDir, W_OK) == 0; }

    // A fresh pty for the COM number, its link pointing at it (a device plugged in again).
    void Plug(int com) {
        ptys_[com] = std::make_unique<PtyPair>();
        std::error_code ec;
        fs::remove(Link(com), ec);
        fs::create_symlink(ptys_[com]->slavePath(), Link(com));
    }

    void StartServer(const std::function<void()>& childSetup = {}) {
        server_ = std::make_unique<ServerProcess>(*bus_);
        server_->Start(Profile(), childSetup);
    }
    qint64 ServerPid() const { return server_->Pid(); }

    // A new channel of a client connection; connected to `com` when non-zero.
    tdbus::DispatchDriver& NewChannel(int com, std::optional<QDBusConnection> via = {}) {
        auto ch = std::make_unique<tdbus::DispatchDriver>(via ? *via : client_);
        EXPECT_TRUE(ch->CreateDispatch(kProgId)) << ch->LastError().message.toStdString();
        if (com != 0) {
            EXPECT_EQ(Connect(*ch, com), 0);
        }
        channels_.push_back(std::move(ch));
        return *channels_.back();
    }
    static int Connect(tdbus::DispatchDriver& ch, int com) {
        return ch
            .InvokeHelper(kDispConnectToPort, kMethod, std::int16_t(com), std::int32_t(9600),
                          std::int16_t('N'), std::int16_t(8), std::int16_t(1))
            .AsI2();
    }
    static int Write(tdbus::DispatchDriver& ch, std::string text) {
        return ch
            .InvokeHelper(kDispWriteToPort, kMethod, tdbus::ByteRef(text),
                          std::int16_t(text.size()))
            .AsI2();
    }
    // What one ReadFromPort with a buffer of `size` gives.
    static std::string Read(tdbus::DispatchDriver& ch, std::size_t size = 64) {
        std::string buffer(size, '\0');
        const int n =
            ch.InvokeHelper(kDispReadFromPort, kMethod, tdbus::ByteRef(buffer), std::int16_t(size))
                .AsI2();
        return buffer.substr(0, n > 0 ? n : 0);
    }
    // Reads until `n` bytes came (or many empty answers in a row, when the test fails).
    static std::string ReadAll(tdbus::DispatchDriver& ch, std::size_t n) {
        std::string got;
        for (int idle = 0; got.size() < n && idle < 2000;) {
            const std::string part = Read(ch, std::min<std::size_t>(4096, n - got.size()));
            got += part;
            idle = part.empty() ? idle + 1 : 0;
            if (part.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return got;
    }
    // Both ways through a channel and its device: the server is serving it. The other
    // channels on that port (`alsoOnPort`) must see the device's answer too.
    void ExpectServes(tdbus::DispatchDriver& ch, int com, const std::string& tag,
                      std::initializer_list<tdbus::DispatchDriver*> alsoOnPort = {}) {
        EXPECT_EQ(Write(ch, tag), static_cast<int>(tag.size()));
        EXPECT_EQ(ptys_[com]->Read(tag.size()), AsBytes(tag));
        ASSERT_TRUE(ptys_[com]->Write(tag + "!"));
        EXPECT_EQ(ReadAll(ch, tag.size() + 1), tag + "!");
        for (tdbus::DispatchDriver* other : alsoOnPort)
            EXPECT_EQ(ReadAll(*other, tag.size() + 1), tag + "!");
    }
    // Releases every channel; the server, left without objects, ends by itself.
    void ReleaseAllAndExpectCleanExit() {
        channels_.clear();
        EXPECT_EQ(server_->WaitForExit(), 0);
    }

    std::unique_ptr<PrivateBus> bus_;
    QDBusConnection client_{QString()};
    std::map<int, std::unique_ptr<PtyPair>> ptys_;
    std::unique_ptr<ServerProcess> server_;
    std::vector<std::unique_ptr<tdbus::DispatchDriver>> channels_;
};

TEST_F(FaultServer, KilledServerLeavesNoStaleLockAndARestartTakesThePortAgain) {
    ASSERT_NO_FATAL_FAILURE(StartServer());
    const qint64 first = ServerPid();
    NewChannel(2);
    if (LocksUsable()) {
        EXPECT_EQ(plat::ReadLockPid(LockPath(2)), first);
    }

    ::kill(static_cast<pid_t>(first), SIGKILL);
    ASSERT_TRUE(server_->Process().waitForFinished(10000));
    channels_.clear();  // their objects died with the server
    client_ = bus_->Connect();

    ASSERT_NO_FATAL_FAILURE(StartServer());
    tdbus::DispatchDriver& ch = NewChannel(0);
    ASSERT_EQ(Connect(ch, 2), 0) << "the dead server's lock is not taken for a live one";
    if (LocksUsable()) {
        EXPECT_EQ(plat::ReadLockPid(LockPath(2)), ServerPid());
    }
    ExpectServes(ch, 2, "again");
    ReleaseAllAndExpectCleanExit();
    if (LocksUsable()) {
        EXPECT_FALSE(fs::exists(LockPath(2))) << "removed when the port closed";
    }
}

TEST_F(FaultServer, VanishedDeviceAnswersStatusCodesOthersGoOnAndItCanBeReconnected) {
    // The port does not reopen by itself here: the channels connect again.
    std::ofstream(Profile(), std::ios::app) << "Reconnect=0\n";
    ASSERT_NO_FATAL_FAILURE(StartServer());
    tdbus::DispatchDriver& a = NewChannel(2);
    tdbus::DispatchDriver& b = NewChannel(2);
    tdbus::DispatchDriver& c = NewChannel(3);
    ExpectServes(a, 2, "before", {&b});
    const std::string oldLock = LocksUsable() ? LockPath(2) : std::string();

    ptys_[2]->CloseMaster();  // unplugged
    for (tdbus::DispatchDriver* ch : {&a, &b}) {
        EXPECT_EQ(Read(*ch), "");
        EXPECT_EQ(ch->InvokeHelper(kDispReadCharFromPort, kMethod).AsI2(), -1);
        EXPECT_EQ(ch->InvokeHelper(kDispGetPortError, kMethod).AsI2(), -1);
        EXPECT_EQ(Write(*ch, "lost"), 0) << "nothing can reach a device that is gone";
        EXPECT_EQ(ch->InvokeHelper(kDispGetPortError, kMethod).AsI2(), -1);
        EXPECT_EQ(ch->InvokeHelper(kDispWriteCharToPort, kMethod, std::int16_t('x')).AsI2(), 0);
    }
    ExpectServes(c, 3, "other port");

    // Plugged in again at the same path: once its channels let the dead port go, it opens.
    Plug(2);
    EXPECT_EQ(a.InvokeHelper(kDispCloseConnection, kMethod).AsI2(), 0);
    EXPECT_EQ(b.InvokeHelper(kDispCloseConnection, kMethod).AsI2(), 0);
    if (!oldLock.empty() && oldLock != LockPath(2)) {
        EXPECT_FALSE(fs::exists(oldLock));
    }
    ASSERT_EQ(Connect(a, 2), 0);
    ASSERT_EQ(Connect(b, 2), 0);
    EXPECT_EQ(a.InvokeHelper(kDispGetPortError, kMethod).AsI2(), 0);
    ExpectServes(a, 2, "after", {&b});
    ExpectServes(c, 3, "still");
    ReleaseAllAndExpectCleanExit();
}

// Unplugged and plugged in again at the same path while its clients hold their channels:
// they stay connected, are told of the loss once, and carry on with the device that came
// back, every byte once.
TEST_F(FaultServer, DeviceBackAtItsPathEveryChannelCarriesOn) {
    ASSERT_NO_FATAL_FAILURE(StartServer());
    tdbus::DispatchDriver& a = NewChannel(2);
    tdbus::DispatchDriver& b = NewChannel(2);
    tdbus::DispatchDriver& c = NewChannel(3);
    const std::vector<std::uint8_t> before = Counter(300);
    ASSERT_TRUE(ptys_[2]->Write(before));
    EXPECT_EQ(AsBytes(ReadAll(a, before.size())), before);
    EXPECT_EQ(AsBytes(ReadAll(b, before.size())), before);

    std::error_code ec;
    fs::remove(Link(2), ec);
    ptys_[2]->CloseMaster();  // unplugged
    int error = 0;
    for (int i = 0; i < 2000 && error == 0; ++i) {
        error = a.InvokeHelper(kDispGetPortError, kMethod).AsI2();
        if (error == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(error, -1) << "the loss is reported without a read";
    EXPECT_EQ(a.InvokeHelper(kDispIsConnected, kMethod), tfw::Variant::Bool(true));
    a.InvokeHelper(kDispClearPortError, kMethod);
    EXPECT_EQ(Read(a), "");
    EXPECT_EQ(a.InvokeHelper(kDispGetPortError, kMethod).AsI2(), 0) << "reported once";
    EXPECT_EQ(Write(a, "lost"), 0);
    ExpectServes(c, 3, "other port");

    Plug(2);
    const std::vector<std::uint8_t> after = Counter(300, 300);
    ASSERT_TRUE(ptys_[2]->Write(after));
    EXPECT_EQ(AsBytes(ReadAll(a, after.size())), after) << "nothing doubled, nothing old";
    EXPECT_EQ(AsBytes(ReadAll(b, after.size())), after);
    EXPECT_EQ(b.InvokeHelper(kDispIsConnected, kMethod), tfw::Variant::Bool(true));
    ExpectServes(b, 2, "after", {&a});
    ExpectServes(c, 3, "still");
    ReleaseAllAndExpectCleanExit();
}

TEST_F(FaultServer, ThousandChannelsShareOnePort) {
    ASSERT_NO_FATAL_FAILURE(StartServer());
    constexpr int kChannels = 1000;
    for (int i = 0; i < kChannels; ++i) NewChannel(2);
    ASSERT_TRUE(ptys_[2]->Write("to all"));
    for (int i = 0; i < kChannels; ++i) ASSERT_EQ(ReadAll(*channels_[i], 6), "to all") << i;

    channels_[0]->InvokeHelper(kDispLockPort, kMethod);
    ASSERT_FALSE(channels_[0]->LastError().IsError());
    EXPECT_EQ(Write(*channels_[kChannels / 2], "refused"), 0);
    EXPECT_EQ(Write(*channels_[0], "mine"), 4);
    EXPECT_EQ(ptys_[2]->Read(4), AsBytes("mine"));
    channels_[0].reset();  // its lock goes with it
    EXPECT_EQ(Write(*channels_[kChannels - 1], "free"), 4);
    EXPECT_EQ(ptys_[2]->Read(4), AsBytes("free"));
    ReleaseAllAndExpectCleanExit();
    if (LocksUsable()) {
        EXPECT_FALSE(fs::exists(LockPath(2)));
    }
}

// More timed reads of every kind waiting at once than the server has workers, through the
// dispatch driver's Invoke and the typed interface: a later call of the same client on
// another channel is answered at once, and each read answers as it always did.
TEST_F(FaultServer, TimedReadsOfEveryKindWaitWithoutHoldingTheServersWorkers) {
    ASSERT_NO_FATAL_FAILURE(StartServer());
    constexpr int kReads = 27;  // 18 reads of bytes and strings: more than the 16 workers
    std::vector<QDBusPendingCall> reads;
    const auto n = [](int v) { return QVariant::fromValue<short>(static_cast<short>(v)); };
    for (int i = 0; i < kReads; ++i) {
        const QString path = NewChannel(2).Path();
        QDBusMessage m;
        if (i % 3 == 2) {
            m = QDBusMessage::createMethodCall(kProgId, path, kProgId, "ReadCharFromPortTimed");
            m << 60000;
        } else {
            m = QDBusMessage::createMethodCall(kProgId, path, "Tolvan32.Dispatch", "Invoke");
            const QVariantList args = i % 3 == 0
                                          ? QVariantList{QByteArray(6, '.'), n(4), 60000}
                                          : QVariantList{QByteArray(8, '.'), n(8), n(-2), 60000};
            m << static_cast<int>(i % 3 == 0 ? kDispReadFromPortTimed
                                             : kDispReadStringFromPortTimed)
              << static_cast<int>(kMethod) << QVariant::fromValue(args);
        }
        reads.push_back(client_.asyncCall(m, 90000));
    }
    // Sent after the reads on the same connection, so the server has them all by now.
    tdbus::DispatchDriver& other = NewChannel(3);
    const auto t0 = std::chrono::steady_clock::now();
    std::int32_t baud = 0;
    std::int16_t parity = 0, bits = 0, stops = 0;
    EXPECT_TRUE(
        other.InvokeHelper(kDispGetPortSettings, kMethod, &baud, &parity, &bits, &stops).AsBool());
    EXPECT_EQ(baud, 9600);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20))
        << "the call waited for a worker";
    for (const QDBusPendingCall& read : reads) EXPECT_FALSE(read.isFinished());

    ASSERT_TRUE(ptys_[2]->Write("QR"));
    ASSERT_TRUE(ptys_[2]->Write("ST\r\n"));
    for (int i = 0; i < kReads; ++i) {
        ASSERT_TRUE(SpinUntil([&] { return reads[i].isFinished(); }));
        const QDBusMessage reply = reads[i].reply();
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        if (i % 3 == 2) {
            EXPECT_EQ(reply.arguments().value(0).toInt(), 'Q');
            continue;
        }
        EXPECT_EQ(reply.arguments().value(0).value<QDBusVariant>().variant().toInt(), 4);
        QList<QVariant> args;
        ASSERT_TRUE(tdbus::UnpackVariantArray(reply.arguments().value(1), args));
        EXPECT_EQ(args.value(0).toByteArray(),
                  i % 3 == 0 ? QByteArray("QRST..") : QByteArray("QRST\0\0\0\0", 8));
    }
    ExpectServes(other, 3, "still");
}

// A Python client's timed reads of a string and of bytes, waiting in the running server
// while the bytes come in pieces: the byte arrays come back as the members always gave them.
TEST_F(FaultServer, PythonClientsTimedReadsGetTheirBytesInPieces) {
    ASSERT_NO_FATAL_FAILURE(StartServer());
    PythonClient py(
        *bus_,
        QStringLiteral(
            "import dbus, sys\n"
            "bus = dbus.SessionBus()\n"
            "factory = dbus.Interface(bus.get_object('RiVo32.Document', '/'), "
            "'Tolvan32.ClassFactory')\n"
            "ch = dbus.Interface(bus.get_object('RiVo32.Document', factory.CreateInstance()), "
            "'RiVo32.Document')\n"
            "print(ch.ConnectToPort(2, 9600, 78, 8, 1)); sys.stdout.flush()\n"
            "r, buf = ch.ReadStringFromPortTimed(dbus.ByteArray(b'.' * 8), 8, -2, 20000, "
            "timeout=60)\n"
            "print(r, bytes(buf)); sys.stdout.flush()\n"
            "r, buf = ch.ReadFromPortTimed(dbus.ByteArray(b'.' * 6), 4, 20000, timeout=60)\n"
            "print(r, bytes(buf)); sys.stdout.flush()\n"));
    ASSERT_EQ(py.ReadLine(), QStringLiteral("0"));
    // Pieces, whether or not the read has reached the server yet: the answer is the same.
    ASSERT_TRUE(ptys_[2]->Write("QR"));
    ASSERT_TRUE(ptys_[2]->Write("ST\r\nab"));
    EXPECT_EQ(py.ReadLine(), QStringLiteral("4 b'QRST\\x00\\x00\\x00\\x00'"));
    ASSERT_TRUE(ptys_[2]->Write("cd"));
    EXPECT_EQ(py.ReadLine(), QStringLiteral("4 b'abcd..'"));
    EXPECT_EQ(py.Wait(), 0) << py.ErrorOutput().toStdString();
}

TEST_F(FaultServer, ClientThatNeverReadsOverflowsAloneWhileTheOtherGetsEveryByte) {
    ASSERT_NO_FATAL_FAILURE(StartServer());
    tdbus::DispatchDriver& idle = NewChannel(2);
    tdbus::DispatchDriver& reader = NewChannel(2);
    constexpr std::size_t kTotal = 256 * 1024;
    const std::vector<std::uint8_t> data = Counter(kTotal);
    std::thread device([&] { ptys_[2]->Write(data); });  // as fast as the pty takes it
    const std::vector<std::uint8_t> got = AsBytes(ReadAll(reader, kTotal));
    device.join();
    EXPECT_EQ(got, data) << "no byte lost or doubled";
    EXPECT_TRUE(idle.InvokeHelper(kDispIsOverflow, kMethod).AsBool());
    EXPECT_FALSE(reader.InvokeHelper(kDispIsOverflow, kMethod).AsBool());

    // What the slow channel still gets is the newest data, in order.
    const std::vector<std::uint8_t> tail = AsBytes(Read(idle, 4096));
    ASSERT_FALSE(tail.empty());
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), data.end() - tail.size()));
    idle.InvokeHelper(kDispClearRBuff, kMethod);
    EXPECT_FALSE(idle.InvokeHelper(kDispIsOverflow, kMethod).AsBool());
    ExpectServes(idle, 2, "unharmed", {&reader});
    ExpectServes(reader, 2, "too", {&idle});
    ReleaseAllAndExpectCleanExit();
}

class FaultReception : public FaultServer {
protected:
    void SetUp() override {
        FaultServer::SetUp();
        // The XMODEM device: sx runs on the master of a pty of its own, linked as COM4.
        std::error_code ec;
        fs::remove(Link(4), ec);
        fs::create_symlink(ptsname(xpty_.Master()), Link(4));
        std::ofstream(Profile(), std::ios::app) << "COM4=" << Link(4) << "\n";
        source_ = bus_->Dir() + "/source";
        target_ = bus_->Dir() + "/received";
        const auto data = Counter(kSize, 3);
        std::ofstream(source_, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()),
                   static_cast<std::streamsize>(data.size()));
    }
    static constexpr std::size_t kSize = 300 * 1024;
    XModemPty xpty_;
    std::string source_;
    std::string target_;
};

TEST_F(FaultReception, ClientKilledDuringAReceptionLeavesNoThreadChannelOrOpenFile) {
    ASSERT_NO_FATAL_FAILURE(StartServer());
    tdbus::DispatchDriver& keeper = NewChannel(3);  // another client the server must go on serving
    const int threadsBefore = ThreadCount(ServerPid());
    PythonClient py(*bus_,
                    QStringLiteral("import dbus, sys\n"
                                   "bus = dbus.SessionBus()\n"
                                   "factory = dbus.Interface(bus.get_object('RiVo32.Document', "
                                   "'/'), 'Tolvan32.ClassFactory')\n"
                                   "ch = dbus.Interface(bus.get_object('RiVo32.Document', "
                                   "factory.CreateInstance()), 'RiVo32.Document')\n"
                                   "print(ch.ConnectToPort(4, 9600, 78, 8, 1))\n"
                                   "print(ch.ReceiveXModemFile('%1', 0, 7))\n"
                                   "sys.stdout.flush()\n"
                                   "sys.stdin.read()\n")
                        .arg(QString::fromStdString(target_)));
    ASSERT_EQ(py.ReadLine(), "0");
    ASSERT_EQ(py.ReadLine(), "0");
    SxSender sx(xpty_, source_, true);
    ASSERT_TRUE(SpinUntil([&] {
        std::error_code ec;
        return fs::file_size(target_, ec) > 16 * 1024 && !ec;
    }));
    py.Kill();

    int sxStatus = -1;
    ASSERT_TRUE(RunClient([&] { sxStatus = sx.Wait(); }, 60000));
    EXPECT_EQ(sxStatus, 0) << "the reception went on to its end";
    ASSERT_TRUE(SpinUntil([&] {
        return !HoldsOpen(ServerPid(), target_) && ThreadCount(ServerPid()) <= threadsBefore;
    }));
    const auto received = FileBytes(target_);
    ASSERT_GE(received.size(), kSize);
    EXPECT_TRUE(std::equal(received.begin(), received.begin() + kSize, Counter(kSize, 3).begin()));
    if (LocksUsable()) {
        const std::string lock =
            std::string(kLockDir) + "/" + plat::LockFileName(ptsname(xpty_.Master()));
        EXPECT_TRUE(SpinUntil([&] { return !fs::exists(lock); }))
            << "the released channel closed its port";
    }
    ExpectServes(keeper, 3, "served");
    ReleaseAllAndExpectCleanExit();
}

TEST_F(FaultReception, TheOnlyClientLettingGoMidReceptionEndsTheServerOnlyAfterIt) {
    ASSERT_NO_FATAL_FAILURE(StartServer());
    tdbus::DispatchDriver& ch = NewChannel(4);
    ASSERT_EQ(
        ch.InvokeHelper(kDispReceiveXModemFile, kMethod, target_, std::int32_t(0), kWindow).AsI2(),
        0);
    SxSender sx(xpty_, source_, true);
    ASSERT_TRUE(SpinUntil([&] {
        std::error_code ec;
        return fs::file_size(target_, ec) > 16 * 1024 && !ec;
    }));
    channels_.clear();  // the hidden server's last object goes while the file comes in
    // A quick sender may be done by now; a server that ended sooner leaves the file short.
    if (server_->WaitForExit(300) != -1) {
        ASSERT_GE(FileBytes(target_).size(), kSize) << "the server ended mid-reception";
    }

    int sxStatus = -1;
    ASSERT_TRUE(RunClient([&] { sxStatus = sx.Wait(); }, 60000));
    EXPECT_EQ(sxStatus, 0) << "the reception went on to its end";
    EXPECT_EQ(server_->WaitForExit(), 0) << "and then the server ended by itself";
    const auto received = FileBytes(target_);
    ASSERT_GE(received.size(), kSize);
    EXPECT_TRUE(std::equal(received.begin(), received.begin() + kSize, Counter(kSize, 3).begin()));
}

TEST_F(FaultReception, FileLimitReachedDuringAReceptionCancelsTheSenderAndReports607) {
    // The file may grow to 64 KiB and no further, as on a disk that fills up.
    constexpr rlim_t kLimit = 64 * 1024;
    ASSERT_NO_FATAL_FAILURE(StartServer([] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{kLimit, kLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }));
    tdbus::DispatchDriver& ch = NewChannel(4);
    ProgressLog log;
    ASSERT_TRUE(ch.ConnectXferProgress(&log, SLOT(OnProgress(short, int, int))));
    ASSERT_EQ(
        ch.InvokeHelper(kDispReceiveXModemFile, kMethod, target_, std::int32_t(0), kWindow).AsI2(),
        0);
    SxSender sx(xpty_, source_, true);
    ASSERT_TRUE(SpinUntil([&] { return log.Ended(); }, 60000));
    int sxStatus = 0;
    ASSERT_TRUE(RunClient([&] { sxStatus = sx.Wait(); }, 60000));
    EXPECT_NE(sxStatus, 0) << "the sender was told to stop";

    EXPECT_EQ(log.reports.back().window, kWindow);
    EXPECT_EQ(log.reports.back().wParam, -607) << "a file error ends it";
    EXPECT_EQ(log.reports.back().lParam, 0);
    const auto received = FileBytes(target_);
    EXPECT_LE(received.size(), kLimit);
    EXPECT_TRUE(std::equal(received.begin(), received.end(), Counter(kSize, 3).begin()));
    EXPECT_FALSE(HoldsOpen(ServerPid(), target_));

    tdbus::DispatchDriver& other = NewChannel(3);
    ExpectServes(other, 3, "goes on");
    ReleaseAllAndExpectCleanExit();
}

}  // namespace
}  // namespace tolvan::test

#include "fault_server_test.moc"
