// The server on a private bus, driven by the C++ dispatch driver and by Python clients:
// names and identifiers, typed and late-bound calls, by-reference buffers, refused calls,
// references per client connection, and the road of one request over a real pty.
#include "automation/client/dispatch_driver.h"
#include "automation/contract/comm_members.h"
#include "tests/automation/server_fixture.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>

#include <chrono>
#include <optional>
#include <thread>

namespace tolvan::test {
namespace {

using tdbus::ByteRef;
using tdbus::DispatchDriver;
constexpr std::uint16_t kMethod = tfw::kDispatchMethod;

// Repeats a read on the client side until `want` bytes came; the bytes arrive from the
// pty a moment after they were written.
std::int16_t ReadUntil(DispatchDriver& ch, std::vector<std::uint8_t>& buffer, std::int16_t want) {
    std::int16_t total = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (total < want && std::chrono::steady_clock::now() < deadline) {
        std::vector<std::uint8_t> part(buffer.size() - static_cast<std::size_t>(total));
        const std::int16_t n = ch.InvokeHelper(kDispReadFromPort, kMethod, ByteRef(part),
                                               static_cast<std::int16_t>(part.size()))
                                   .AsI2();
        std::copy_n(part.begin(), n, buffer.begin() + total);
        total = static_cast<std::int16_t>(total + n);
        if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return total;
}

TEST_F(ServerOnBus, RoadOfOneRequestThroughTheDispatchDriver) {
    std::optional<DispatchDriver> ch;
    ch.emplace(bus_->Connect());
    ASSERT_TRUE(RunClient([&] {
        ASSERT_TRUE(ch->CreateDispatch(QStringLiteral("RiVo32.Document")))
            << ch->LastError().message.toStdString();
        EXPECT_EQ(ch->Path(), QStringLiteral("/Channels/1"));
        EXPECT_EQ(ch->GetIDOfName(QStringLiteral("connecttoport")), 3);
        const tfw::Variant status =
            ch->InvokeHelper(kDispConnectToPort, kMethod, std::int16_t(2), std::int32_t(9600),
                             std::int16_t('N'), std::int16_t(8), std::int16_t(1));
        EXPECT_EQ(status, tfw::Variant::I2(0)) << ch->LastError().message.toStdString();
        std::string text = "hello";
        EXPECT_EQ(ch->InvokeHelper(kDispWriteToPort, kMethod, ByteRef(text), std::int16_t(5)),
                  tfw::Variant::I2(5));
        EXPECT_EQ(ch->InvokeHelper(kDispIsConnected, kMethod), tfw::Variant::Bool(true));
    }));
    EXPECT_EQ(ReadMaster(2, 5), Bytes("hello"));
    ASSERT_TRUE(Port(2)->IsOpen());

    WriteMaster(2, "0123456789AB");
    ASSERT_TRUE(RunClient([&] {
        // A 10-byte buffer and count 10: ten bytes come back, the buffer keeps its length.
        std::vector<std::uint8_t> buffer(10, '.');
        ASSERT_EQ(ReadUntil(*ch, buffer, 10), 10);
        EXPECT_EQ(buffer, Bytes("0123456789"));
        // Asking for more than the buffer holds never writes past it.
        std::vector<std::uint8_t> small(4, '.');
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        std::int16_t n = 0;
        while (n == 0 && std::chrono::steady_clock::now() < deadline)
            n = ch->InvokeHelper(kDispReadFromPort, kMethod, ByteRef(small), std::int16_t(100))
                    .AsI2();
        EXPECT_EQ(n, 2);
        EXPECT_EQ(small, Bytes("AB.."));
        ch.reset();  // releases the channel
    }));
    EXPECT_EQ(host_->Live(), 0);
    EXPECT_FALSE(Port(2)->IsOpen());
    EXPECT_EQ(server_->ObjectCount(), 0);
    EXPECT_TRUE(SpinUntil([&] { return lastReleased_ == 1; }));
}

TEST_F(ServerOnBus, ByReferenceIntegersPropertiesAndResults) {
    ASSERT_TRUE(RunClient([&] {
        DispatchDriver ch(bus_->Connect());
        ASSERT_TRUE(ch.CreateDispatch(QStringLiteral("RiVo32.Document")));
        std::int32_t baud = -1;
        std::int16_t parity = -1, word = -1, stop = -1;
        EXPECT_EQ(ch.InvokeHelper(kDispGetPortSettings, kMethod, &baud, &parity, &word, &stop),
                  tfw::Variant::Bool(false));
        EXPECT_EQ(ch.GetProperty(kDispTBuffSize), tfw::Variant::I2(0));

        ASSERT_EQ(ch.InvokeHelper(kDispConnectToPort, kMethod, std::int16_t(2), std::int32_t(19200),
                                  std::int16_t('N'), std::int16_t(8), std::int16_t(2)),
                  tfw::Variant::I2(0));
        EXPECT_EQ(ch.InvokeHelper(kDispGetPortSettings, kMethod, &baud, &parity, &word, &stop),
                  tfw::Variant::Bool(true));
        EXPECT_EQ(baud, 19200);
        EXPECT_EQ(parity, 'N');
        EXPECT_EQ(word, 8);
        EXPECT_EQ(stop, 2);
        EXPECT_EQ(ch.InvokeHelper(kDispGetPortNumber, kMethod), tfw::Variant::I2(2));

        EXPECT_EQ(ch.GetProperty(kDispRBuffSize), tfw::Variant::I2(1050));
        EXPECT_TRUE(ch.SetProperty(kDispTBuffSize, tfw::Variant::I2(2000)));
        EXPECT_EQ(ch.GetProperty(kDispTBuffSize), tfw::Variant::I2(2000));

        // A status name: the text with its zero byte, in the caller's 40 bytes.
        std::vector<std::uint8_t> name(40, 0xFF);
        EXPECT_TRUE(ch.InvokeHelper(kDispGetCommErrorName, kMethod, ByteRef(name), std::int16_t(0))
                        .IsEmpty());
        EXPECT_FALSE(ch.LastError().IsError());
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(name.data())), "Success");
        EXPECT_EQ(name.size(), 40u);
        std::fill(name.begin(), name.end(), 0xFF);
        ch.InvokeHelper(kDispGetCommErrorName, kMethod, ByteRef(name), std::int16_t(-43));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(name.data())), "Unknown error code");
        EXPECT_EQ(name[19], 0xFF);  // nothing written after the zero byte

        // The driver waits longer for members whose wait the caller chose.
        std::vector<std::uint8_t> none(4);
        EXPECT_EQ(ch.InvokeHelperWaiting(500, kDispReadFromPortTimed, kMethod, ByteRef(none),
                                         std::int16_t(4), std::int32_t(500)),
                  tfw::Variant::I2(-24));
    }));
}

TEST_F(ServerOnBus, RefusedCallsAreBusErrorsAndNeverReachTheChannel) {
    ASSERT_TRUE(RunClient([&] {
        DispatchDriver ch(bus_->Connect());
        ASSERT_TRUE(ch.CreateDispatch(QStringLiteral("RiVo32.Document")));
        EXPECT_EQ(ch.GetIDOfName(QStringLiteral("NoSuchMember")), std::nullopt);
        EXPECT_EQ(ch.LastError().name, QStringLiteral("Tolvan32.Error.UnknownName"));

        auto expectError = [&](const tfw::Variant& result, const char* error) {
            EXPECT_TRUE(result.IsEmpty());
            EXPECT_EQ(ch.LastError().name.toStdString(), std::string("Tolvan32.Error.") + error);
        };
        expectError(ch.InvokeHelper(kDispConnectToPort, kMethod, std::int16_t(2)), "BadParamCount");
        expectError(ch.InvokeHelper(kDispConnectToPort, kMethod, "2", std::int32_t(9600),
                                    std::int16_t('N'), std::int16_t(8), std::int16_t(1)),
                    "TypeMismatch");
        expectError(
            ch.InvokeHelper(kDispConnectToPort, kMethod, std::int32_t(70000), std::int32_t(9600),
                            std::int16_t('N'), std::int16_t(8), std::int16_t(1)),
            "Overflow");
        std::string bytes = "abc";
        expectError(ch.InvokeHelper(kDispReceiveXModemFile, kMethod, ByteRef(bytes),
                                    std::int32_t(0), std::int16_t(0)),
                    "TypeMismatch");
        expectError(ch.InvokeHelper(kDispWriteToPort, kMethod, "abc", std::int16_t(3)),
                    "TypeMismatch");
        expectError(ch.InvokeHelper(999, kMethod), "MemberNotFound");
        expectError(ch.InvokeHelper(0x10003, kMethod), "MemberNotFound");
        expectError(ch.InvokeHelper(kDispClearRBuff, 16), "BadFlags");
        expectError(ch.InvokeHelper(kDispClearRBuff, tfw::kDispatchPropertyPut), "MemberNotFound");
    }));
    EXPECT_EQ(host_->Channel(host_->HostedAt(1)), nullptr);  // released by the driver
    EXPECT_EQ(host_->Created(), 1);
}

TEST_F(ServerOnBus, ChannelCallCountShowsRefusedCallsStopBeforeIt) {
    std::optional<DispatchDriver> ch;
    ch.emplace(bus_->Connect());
    ASSERT_TRUE(
        RunClient([&] { ASSERT_TRUE(ch->CreateDispatch(QStringLiteral("RiVo32.Document"))); }));
    TestChannel* channel = host_->Channel(host_->HostedAt(1));
    ASSERT_NE(channel, nullptr);
    ASSERT_TRUE(RunClient([&] {
        ch->InvokeHelper(kDispConnectToPort, kMethod, std::int16_t(2));
        ch->InvokeHelper(kDispSetDTRLine, kMethod, "on");
        ch->InvokeHelper(kDispLockPort, kMethod, std::int16_t(1));
    }));
    EXPECT_EQ(channel->calls, 0);
    ASSERT_TRUE(RunClient([&] { ch->InvokeHelper(kDispLockPort, kMethod); }));
    EXPECT_EQ(channel->calls, 1);
    ASSERT_TRUE(RunClient([&] { ch.reset(); }));
}

TEST_F(ServerOnBus, DerivedClassUsesSteppedIdentifiersAndUnknownClassFails) {
    ASSERT_TRUE(RunClient([&] {
        DispatchDriver ir(bus_->Connect());
        ASSERT_TRUE(ir.CreateDispatch(QStringLiteral("ViDA.Document")));
        EXPECT_EQ(ir.GetIDOfName(QStringLiteral("ConnectToPort")), 0x10003);
        EXPECT_EQ(ir.GetIDOfName(QStringLiteral("getavailablecomm")), 0x10023);
        EXPECT_EQ(ir.InvokeHelper(0x10003, kMethod, std::int16_t(2), std::int32_t(9600),
                                  std::int16_t('N'), std::int16_t(8), std::int16_t(1)),
                  tfw::Variant::I2(0));
        EXPECT_EQ(ir.InvokeHelper(0x10015, kMethod), tfw::Variant::I2(2));  // GetPortNumber
        EXPECT_TRUE(ir.InvokeHelper(3, kMethod).IsEmpty());
        EXPECT_EQ(ir.LastError().name, QStringLiteral("Tolvan32.Error.MemberNotFound"));

        DispatchDriver modem(bus_->Connect());
        EXPECT_FALSE(modem.CreateDispatch(QStringLiteral("DaRi32.Document")));
        EXPECT_EQ(modem.LastError().name, QStringLiteral("Tolvan32.Error.CreateFailed"));
    }));
}

TEST_F(ServerOnBus, ReferencesBelongToTheConnectionThatTookThem) {
    QDBusConnection second = bus_->Connect();
    std::optional<DispatchDriver> a;
    a.emplace(bus_->Connect());
    ASSERT_TRUE(
        RunClient([&] { ASSERT_TRUE(a->CreateDispatch(QStringLiteral("RiVo32.Document"))); }));
    const QString path = a->Path();

    // Another client takes two references and ends without giving them back.
    PythonClient python(*bus_,
                        QStringLiteral("import dbus\n"
                                       "o = dbus.SessionBus().get_object('RiVo32.Document', '%1')\n"
                                       "print(int(o.AddRef(dbus_interface='Tolvan32.Unknown')))\n"
                                       "print(int(o.AddRef(dbus_interface='Tolvan32.Unknown')))\n")
                            .arg(path));
    EXPECT_EQ(python.ReadLine(), QStringLiteral("2"));
    EXPECT_EQ(python.ReadLine(), QStringLiteral("3"));
    EXPECT_EQ(python.Wait(), 0) << python.ErrorOutput().toStdString();
    ASSERT_TRUE(SpinUntil([&] { return host_->References(1) == 1; }));
    EXPECT_EQ(host_->Live(), 1);
    EXPECT_EQ(lastReleased_, 0);

    auto call = [&](const char* member) {
        QDBusMessage m = QDBusMessage::createMethodCall(QStringLiteral("RiVo32.Document"), path,
                                                        QStringLiteral("Tolvan32.Unknown"),
                                                        QLatin1String(member));
        return second.call(m);
    };
    ASSERT_TRUE(RunClient([&] {
        // A client may not give back a reference it never took.
        EXPECT_EQ(call("Release").errorName(), QStringLiteral("Tolvan32.Error.NoReference"));
        a.reset();  // the creator's Release: the last reference
        EXPECT_EQ(call("AddRef").errorName(),
                  QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"));
    }));
    EXPECT_EQ(host_->Live(), 0);
    EXPECT_TRUE(SpinUntil([&] { return lastReleased_ == 1; }));
}

}  // namespace
}  // namespace tolvan::test

namespace tolvan::test {
namespace {

// The server learns of a client's references only when their call arrives: a client that
// left the bus before is gone before it is watched, and its channel must still go.
TEST_F(ServerOnBus, ChannelCreatedForAClientThatHasAlreadyLeftIsReleased) {
    PythonClient python(
        *bus_, QStringLiteral("import dbus\n"
                              "bus = dbus.SessionBus()\n"
                              "f = bus.get_object('RiVo32.Document', '/', introspect=False)\n"
                              "f.CreateInstance(dbus_interface='Tolvan32.ClassFactory',"
                              " ignore_reply=True)\n"
                              "bus.flush()\n"));
    // Without running the event loop: the server reads the call after the client has gone.
    ASSERT_TRUE(python.Process().waitForFinished(20000));
    ASSERT_EQ(python.Process().exitCode(), 0) << python.ErrorOutput().toStdString();
    EXPECT_EQ(host_->Created(), 0);

    ASSERT_TRUE(SpinUntil([&] { return host_->Created() == 1; }));
    EXPECT_TRUE(SpinUntil([&] { return host_->Live() == 0; }));
    EXPECT_TRUE(SpinUntil([&] { return lastReleased_ == 1; }));
    EXPECT_EQ(server_->ObjectCount(), 0);
}

TEST_F(ServerOnBus, SecondServerOnTheSameBusIsRefusedAndLeavesTheFirstServing) {
    TestHost otherHost(*registry_);
    tdbus::AutomationServer second(otherHost);
    QString error;
    EXPECT_FALSE(second.Start(bus_->Address(), &error));
    EXPECT_NE(error.indexOf(QStringLiteral("RiVo32.Document")), -1) << error.toStdString();
    EXPECT_FALSE(second.IsRunning());

    ASSERT_TRUE(RunClient([&] {
        tdbus::DispatchDriver ch(bus_->Connect());
        EXPECT_TRUE(ch.CreateDispatch(QStringLiteral("RiVo32.Document")));
    }));
    EXPECT_EQ(host_->Created(), 1);
    EXPECT_EQ(otherHost.Created(), 0);
}

TEST_F(ServerOnBus, ChannelDestroyedByTheApplicationLeavesTheBus) {
    std::optional<tdbus::DispatchDriver> ch;
    ch.emplace(bus_->Connect());
    ASSERT_TRUE(
        RunClient([&] { ASSERT_TRUE(ch->CreateDispatch(QStringLiteral("RiVo32.Document"))); }));
    tdbus::HostedChannel* hosted = host_->HostedAt(1);
    EXPECT_EQ(server_->PathOf(hosted), QStringLiteral("/Channels/1"));
    server_->ChannelDestroyed(hosted);
    EXPECT_EQ(server_->PathOf(hosted), QString());
    EXPECT_TRUE(SpinUntil([&] { return lastReleased_ == 1; }));
    ASSERT_TRUE(RunClient([&] {
        EXPECT_TRUE(ch->InvokeHelper(kDispIsConnected, tfw::kDispatchMethod).IsEmpty());
        EXPECT_EQ(ch->LastError().name, QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"));
        ch.reset();
    }));
    // The server gave no Release for it: the application owns its end.
    EXPECT_EQ(host_->References(1), 1);
}

}  // namespace
}  // namespace tolvan::test
