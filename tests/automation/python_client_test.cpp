// The server as clients in other processes see it: Python's dbus module binding the
// typed interface from the server's introspection data, late-bound Invoke, errors, two
// clients sharing a port, and a client killed while it holds the port's write lock.
#include "automation/client/dispatch_driver.h"
#include "automation/contract/comm_members.h"
#include "tests/automation/server_fixture.h"

#include <chrono>
#include <optional>
#include <thread>

namespace tolvan::test {
namespace {

constexpr std::uint16_t kMethod = tfw::kDispatchMethod;

// Python lines that connect `ch` (a typed RiVo32.Document interface) and `disp`
// (Tolvan32.Dispatch) to a new channel.
const char* const kCreate =
    "import dbus, sys\n"
    "bus = dbus.SessionBus()\n"
    "factory = dbus.Interface(bus.get_object('RiVo32.Document', '/'), 'Tolvan32.ClassFactory')\n"
    "path = factory.CreateInstance()\n"
    "obj = bus.get_object('RiVo32.Document', path)\n"
    "ch = dbus.Interface(obj, 'RiVo32.Document')\n"
    "disp = dbus.Interface(obj, 'Tolvan32.Dispatch')\n"
    "def error(call):\n"
    "    try:\n"
    "        call()\n"
    "        return 'no error'\n"
    "    except dbus.DBusException as e:\n"
    "        return e.get_dbus_name()\n"
    "V = lambda *a: dbus.Array(a, signature='v')\n";

TEST_F(ServerOnBus, TypedAndLateBoundCallsFromPython) {
    PythonClient py(
        *bus_, QString::fromLatin1(kCreate) +
                   QStringLiteral(
                       "print(disp.GetIDsOfNames('connecttoport'))\n"
                       // The typed interface, with the types taken from the server's introspection.
                       "print(ch.ConnectToPort(2, 9600, 78, 8, 1))\n"
                       "print(ch.GetPortNumber())\n"
                       "r, a = disp.Invoke(3, 1, V(dbus.Int16(2), 9600, dbus.Int16(78), "
                       "dbus.Int16(8), dbus.Int16(1)))\n"
                       "print(r)\n"
                       "print([int(x) for x in ch.GetPortSettings()])\n"
                       "r, a = disp.Invoke(20, 1, V(dbus.Int32(0), dbus.Int16(0), dbus.Int16(0), "
                       "dbus.Int16(0)))\n"
                       "print(bool(r), [int(x) for x in a])\n"
                       "r, buf = ch.ReadFromPort(dbus.ByteArray(b'.' * 10), 10)\n"
                       "print(r, len(buf))\n"
                       "buf = ch.GetCommErrorName(dbus.ByteArray(b'\\xff' * 40), -43)\n"
                       "print(bytes(buf).split(b'\\0')[0].decode(), len(buf))\n"
                       "print(int(obj.Get('RiVo32.Document', 'RBuffSize', "
                       "dbus_interface='org.freedesktop.DBus.Properties')))\n"
                       "obj.Set('RiVo32.Document', 'TBuffSize', dbus.Int16(600), "
                       "dbus_interface='org.freedesktop.DBus.Properties')\n"
                       "print(sorted((str(k), int(v)) for k, v in obj.GetAll('RiVo32.Document', "
                       "dbus_interface='org.freedesktop.DBus.Properties').items()))\n"
                       "print(error(lambda: disp.GetIDsOfNames('nosuch')))\n"
                       "print(error(lambda: disp.Invoke(3, 1, V(dbus.Int16(2)))))\n"
                       "print(error(lambda: disp.Invoke(3, 1, V('2', 9600, 78, 8, 1))))\n"
                       "print(error(lambda: obj.ConnectToPort('2', 9600, 78, 8, 1, "
                       "dbus_interface='RiVo32.Document', signature='sinnn')))\n"
                       "print(error(lambda: obj.ConnectToPort(2, 9600, "
                       "dbus_interface='RiVo32.Document', signature='ni')))\n"
                       "print(error(lambda: obj.NoSuchMethod(dbus_interface='RiVo32.Document')))\n"
                       "print(error(lambda: obj.ConnectToPort(2, 9600, 78, 8, 1, "
                       "dbus_interface='DaRi32.Document', signature='ninnn')))\n"));
    QStringList out;
    for (int i = 0; i < 17; ++i) out << py.ReadLine();
    EXPECT_EQ(py.Wait(), 0) << py.ErrorOutput().toStdString();
    ASSERT_EQ(out.size(), 17) << out.join('|').toStdString();
    EXPECT_EQ(out[0], "3");
    EXPECT_EQ(out[1], "0");
    EXPECT_EQ(out[2], "2");
    EXPECT_EQ(out[3], "0");  // Invoke(3) and the typed ConnectToPort agree
    EXPECT_EQ(out[4], "[1, 9600, 78, 8, 1]");
    EXPECT_EQ(out[5], "True [9600, 78, 8, 1]");
    EXPECT_EQ(out[6], "0 10");
    EXPECT_EQ(out[7], "Unknown error code 40");
    EXPECT_EQ(out[8], "1050");
    EXPECT_EQ(out[9], "[('RBuffSize', 1050), ('TBuffSize', 600)]");
    EXPECT_EQ(out[10], "Tolvan32.Error.UnknownName");
    EXPECT_EQ(out[11], "Tolvan32.Error.BadParamCount");
    EXPECT_EQ(out[12], "Tolvan32.Error.TypeMismatch");
    EXPECT_EQ(out[13], "Tolvan32.Error.TypeMismatch");
    EXPECT_EQ(out[14], "Tolvan32.Error.BadParamCount");
    EXPECT_EQ(out[15], "org.freedesktop.DBus.Error.UnknownMethod");
    EXPECT_EQ(out[16], "org.freedesktop.DBus.Error.UnknownInterface");
    // The Python client ended without Release: its channel went with its connection.
    EXPECT_TRUE(SpinUntil([&] { return host_->Live() == 0; }));
    EXPECT_FALSE(Port(2)->IsOpen());
}

TEST_F(ServerOnBus, TwoClientsOnOnePortSeeEveryByteAndTheLockKeepsOthersOut) {
    std::optional<tdbus::DispatchDriver> a, b;
    a.emplace(bus_->Connect());
    b.emplace(bus_->Connect());
    ASSERT_TRUE(RunClient([&] {
        for (auto* ch : {&*a, &*b}) {
            ASSERT_TRUE(ch->CreateDispatch(QStringLiteral("RiVo32.Document")));
            ASSERT_EQ(
                ch->InvokeHelper(kDispConnectToPort, kMethod, std::int16_t(2), std::int32_t(9600),
                                 std::int16_t('N'), std::int16_t(8), std::int16_t(1)),
                tfw::Variant::I2(0));
        }
        a->InvokeHelper(kDispLockPort, kMethod);
        std::string text = "bee";
        EXPECT_EQ(b->InvokeHelper(kDispWriteToPort, kMethod, tdbus::ByteRef(text), std::int16_t(3)),
                  tfw::Variant::I2(0));
        text = "ant";
        EXPECT_EQ(a->InvokeHelper(kDispWriteToPort, kMethod, tdbus::ByteRef(text), std::int16_t(3)),
                  tfw::Variant::I2(3));
    }));
    EXPECT_EQ(ReadMaster(2, 3), Bytes("ant"));

    WriteMaster(2, "shared");
    ASSERT_TRUE(RunClient([&] {
        for (auto* ch : {&*a, &*b}) {
            std::vector<std::uint8_t> got;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (got.size() < 6 && std::chrono::steady_clock::now() < deadline) {
                std::vector<std::uint8_t> buffer(16, 0);
                const auto n = ch->InvokeHelper(kDispReadFromPort, kMethod, tdbus::ByteRef(buffer),
                                                std::int16_t(16))
                                   .AsI2();
                got.insert(got.end(), buffer.begin(), buffer.begin() + n);
                if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            EXPECT_EQ(got, Bytes("shared"));
        }
        a->InvokeHelper(kDispUnlockPort, kMethod);
        std::string text = "bee";
        EXPECT_EQ(b->InvokeHelper(kDispWriteToPort, kMethod, tdbus::ByteRef(text), std::int16_t(3)),
                  tfw::Variant::I2(3));
        a.reset();
        b.reset();
    }));
    EXPECT_EQ(ReadMaster(2, 3), Bytes("bee"));
    EXPECT_FALSE(Port(2)->IsOpen());
}

TEST_F(ServerOnBus, KilledClientLosesItsChannelAndWriteLockAndOthersGoOn) {
    PythonClient py(*bus_, QString::fromLatin1(kCreate) +
                               QStringLiteral("print(ch.ConnectToPort(2, 9600, 78, 8, 1))\n"
                                              "ch.LockPort()\n"
                                              "print(path)\n"
                                              "sys.stdin.read()\n"));
    EXPECT_EQ(py.ReadLine(), "0");
    EXPECT_EQ(py.ReadLine(), "/Channels/1");
    ASSERT_EQ(host_->Live(), 1);

    std::optional<tdbus::DispatchDriver> other;
    other.emplace(bus_->Connect());
    ASSERT_TRUE(RunClient([&] {
        ASSERT_TRUE(other->CreateDispatch(QStringLiteral("RiVo32.Document")));
        ASSERT_EQ(
            other->InvokeHelper(kDispConnectToPort, kMethod, std::int16_t(2), std::int32_t(9600),
                                std::int16_t('N'), std::int16_t(8), std::int16_t(1)),
            tfw::Variant::I2(0));
        std::string text = "x";
        EXPECT_EQ(
            other->InvokeHelper(kDispWriteToPort, kMethod, tdbus::ByteRef(text), std::int16_t(1)),
            tfw::Variant::I2(0));
    }));

    py.Kill();
    ASSERT_TRUE(SpinUntil([&] { return host_->Live() == 1; }));
    EXPECT_EQ(host_->HostedAt(1), nullptr);
    EXPECT_TRUE(Port(2)->IsOpen());  // the other channel still uses it
    EXPECT_EQ(lastReleased_, 0);

    ASSERT_TRUE(RunClient([&] {
        std::string text = "free";
        EXPECT_EQ(
            other->InvokeHelper(kDispWriteToPort, kMethod, tdbus::ByteRef(text), std::int16_t(4)),
            tfw::Variant::I2(4));
        other.reset();
    }));
    EXPECT_EQ(ReadMaster(2, 4), Bytes("free"));
    EXPECT_FALSE(Port(2)->IsOpen());
    EXPECT_TRUE(SpinUntil([&] { return lastReleased_ == 1; }));
}

class ServerWithPortsOneAndThree : public ServerOnBus {
protected:
    std::vector<int> PtyPorts() const override { return {1, 3}; }
    std::vector<int> MissingPorts() const override { return {2, 4}; }
};

TEST_F(ServerWithPortsOneAndThree, AvailablePortsAreThoseOpenableAtStartEvenWhileInUse) {
    PythonClient py(
        *bus_,
        QString::fromLatin1(kCreate) +
            QStringLiteral(
                "r, args = disp.Invoke(35, 1, V(dbus.ByteArray(b'\\xff' * 40)))\n"
                "print(bytes(args[0]).split(b'\\0')[0].decode(), len(args[0]), len(r))\n"
                "print(ch.ConnectToPort(1, 9600, 78, 8, 1))\n"
                "print(ch.ConnectToPort(2, 9600, 78, 8, 1))\n"
                "obj2 = bus.get_object('RiVo32.Document', factory.CreateInstance())\n"
                "print(obj2.ConnectToPort(3, 9600, 78, 8, 1, dbus_interface='RiVo32.Document'))\n"
                "buf = obj2.GetAvailableCOMM(dbus.ByteArray(b'\\xff' * 40), "
                "dbus_interface='RiVo32.Document')\n"
                "print(bytes(buf).split(b'\\0')[0].decode(), len(buf))\n"));
    EXPECT_EQ(py.ReadLine(), "COM1,COM3 40 0");
    EXPECT_EQ(py.ReadLine(), "0");
    EXPECT_EQ(py.ReadLine(), "-2");  // COM2 could not be opened at start
    EXPECT_EQ(py.ReadLine(), "0");
    EXPECT_EQ(py.ReadLine(), "COM1,COM3 40");
    EXPECT_EQ(py.Wait(), 0) << py.ErrorOutput().toStdString();
}

}  // namespace
}  // namespace tolvan::test
