// The channel window names the device its port stands for, and marks it when the device
// goes away: real channels on real ptys, the window as the server builds it, offscreen.
#include "app/command_ids.h"
#include "app/comm_doc_source.h"
#include "app/mdi_frame_splitter.h"
#include "app/view_buffer_info.h"
#include "app/view_comm.h"
#include "channels/doc_comm.h"
#include "platform/device_map.h"
#include "platform/ticks.h"
#include "ports/port_registry.h"
#include "qt_test_support.h"
#include "tests/support/mapped_port.h"
#include "tests/support/pty_pair.h"

#include <QFontMetrics>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tolvan::app {
namespace {

namespace fs = std::filesystem;

// A channel and its window, made the way the server makes them.
struct ChannelWindow {
    explicit ChannelWindow(const char* name) : source(doc) {
        doc.SetAutoDelete(false);
        doc.SetTitle(name);
        frame = std::make_unique<CMDIFrameSplitter>(&source);
        frame->resize(700, 300);
        frame->show();
        doc.AddView(frame->CommView());
        doc.AddView(frame->InfoView());
        frame->InitialUpdateFrame();
    }
    ~ChannelWindow() {
        frame.reset();
        doc.CloseConnection();
    }
    std::string Device() const {
        return frame->InfoView()->FieldText(ctl::DeviceField).toStdString();
    }
    std::string Caption() const { return frame->windowTitle().toStdString(); }
    std::int16_t Connect(std::int16_t com) { return doc.ConnectToPort(com, 9600, 'N', 8, 1); }
    std::string Read() {
        std::vector<std::uint8_t> buf(64);
        const std::int16_t n = doc.ReadFromPort(buf, static_cast<std::int16_t>(buf.size()));
        return {buf.begin(), buf.begin() + std::max<std::int16_t>(n, 0)};
    }
    std::int16_t Write(std::string text) {
        std::vector<std::uint8_t> bytes(text.begin(), text.end());
        return doc.WriteToPort(bytes, static_cast<std::int16_t>(bytes.size()));
    }

    CDocComm doc;
    CommDocSource source;
    std::unique_ptr<CMDIFrameSplitter> frame;
};

class DeviceShown : public ::testing::Test {
protected:
    static constexpr std::int16_t kUnplugged = 2;
    static constexpr std::int16_t kOther = 3;

    void SetUp() override {
        // COM2 stands for a link that is pointed at a fresh pty when the device is plugged in.
        Plug();
        ASSERT_EQ(ports.Map(kUnplugged, Link(), locks.path()), 1);
        plat::DeviceMap::Set(kOther, other.slavePath());
        ASSERT_EQ(ports.registry.ProbePorts(), 2);
    }

    std::string Link() const { return links.path() + "/usb-adapter"; }
    void Plug() {
        device = std::make_unique<tolvan::test::PtyPair>();
        std::error_code ec;
        fs::remove(Link(), ec);
        fs::create_symlink(device->slavePath(), Link());
    }
    static std::string Gone(const std::string& target) { return target + " - gone"; }
    // Bytes from the far end reach the channel (waits for them, returns at once when they came).
    static std::string Receive(ChannelWindow& w, tolvan::test::PtyPair& far,
                               const std::string& text) {
        EXPECT_TRUE(far.Write(text));
        std::string got;
        plat::WaitFor(
            [&] {
                got += w.Read();
                return got.size() >= text.size();
            },
            5000);
        return got;
    }

    tolvan::test::ScratchDir locks;
    tolvan::test::ScratchDir links;
    std::unique_ptr<tolvan::test::PtyPair> device;
    tolvan::test::PtyPair other;
    tolvan::test::MappedPort ports;
};

TEST_F(DeviceShown, WindowNamesTheDeviceMarksItGoneForEveryChannelOfThePortAndReconnectClearsIt) {
    ChannelWindow a("RiVo321"), b("RiVo322"), c("RiVo323");
    EXPECT_EQ(a.Device(), "") << "not connected: no device";
    ASSERT_EQ(a.Connect(kUnplugged), 0);
    ASSERT_EQ(b.Connect(kUnplugged), 0);
    ASSERT_EQ(c.Connect(kOther), 0);
    EXPECT_EQ(a.Device(), Link());
    EXPECT_EQ(b.Device(), Link());
    EXPECT_EQ(c.Device(), other.slavePath());
    EXPECT_EQ(Receive(a, *device, "before"), "before");
    const std::string captionA = a.Caption();
    const std::string captionB = b.Caption();
    EXPECT_EQ(captionA, "COM2:9600,N,8,1. Name: RiVo321");

    device->CloseMaster();  // unplugged
    // A client reads on its own thread, as calls from the bus do: the window follows on its own.
    std::thread client([&] { EXPECT_EQ(a.Read(), ""); });
    client.join();
    EXPECT_TRUE(QTest::qWaitFor([&] { return a.Device() == Gone(Link()); }, 5000)) << a.Device();
    EXPECT_EQ(b.Device(), Gone(Link()))
        << "every channel of the port shows it, not only the reader";
    EXPECT_EQ(c.Device(), other.slavePath());
    EXPECT_EQ(a.Caption(), captionA) << "the caption keeps its format";
    EXPECT_EQ(b.Caption(), captionB);
    EXPECT_EQ(b.Write("lost"), 0);
    EXPECT_EQ(b.Device(), Gone(Link()));
    EXPECT_EQ(Receive(c, other, "other port"), "other port");
    EXPECT_EQ(c.Write("still"), 5);
    EXPECT_EQ(other.Read(5), (std::vector<std::uint8_t>{'s', 't', 'i', 'l', 'l'}));
    QApplication::processEvents();  // the layout follows the longer line, as on screen
    a.frame->grab().save(test::GrabPath("device-gone"));

    // Plugged in again: once its channels let the dead port go, it opens, unmarked.
    Plug();
    EXPECT_EQ(a.doc.CloseConnection(), 0);
    EXPECT_EQ(b.doc.CloseConnection(), 0);
    EXPECT_EQ(a.Device(), "") << "closed: no device";
    ASSERT_EQ(a.Connect(kUnplugged), 0);
    ASSERT_EQ(b.Connect(kUnplugged), 0);
    EXPECT_EQ(a.Device(), Link());
    EXPECT_EQ(b.Device(), Link());
    EXPECT_EQ(a.Write("again"), 5);
    EXPECT_EQ(device->Read(5), (std::vector<std::uint8_t>{'a', 'g', 'a', 'i', 'n'}));
    EXPECT_EQ(Receive(b, *device, "back"), "back");
    EXPECT_EQ(a.Device(), Link()) << "data does not bring the mark back";
    QApplication::processEvents();
    a.frame->grab().save(test::GrabPath("device-back"));

    // Gone a second time on the reopened port: the mark comes again.
    device->CloseMaster();
    EXPECT_EQ(b.Write("x"), 0);
    EXPECT_EQ(a.Device(), Gone(Link()));
}

// Not the device, but the same windows: a client's new line settings for the port retitle
// every channel on it, and their captions follow without anything else happening.
TEST_F(DeviceShown, CaptionsFollowANewLineSettingOfTheirPort) {
    ChannelWindow a("RiVo321"), b("RiVo322");
    ASSERT_EQ(a.Connect(kOther), 0);
    ASSERT_EQ(b.Connect(kOther), 0);
    EXPECT_EQ(b.Caption(), "COM3:9600,N,8,1. Name: RiVo322");
    std::thread client([&] { EXPECT_EQ(a.doc.SetParam(19200, 'E', 7, 1), 0); });
    client.join();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return a.Caption() == "COM3:19200,E,7,1. Name: RiVo321"; }, 5000))
        << a.Caption();
    EXPECT_EQ(b.Caption(), "COM3:19200,E,7,1. Name: RiVo322");
}

TEST(DeviceLine, LongTargetIsCutInItsMiddleAndTheMarkAlwaysShows) {
    const QFontMetrics metrics(QApplication::font());
    const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    const int width = metrics.horizontalAdvance(QStringLiteral("/dev/serial/by-id/usb"));
    const QString gone = CViewBufferInfo::FormatDevice({byId, true}, metrics, width);
    EXPECT_TRUE(gone.endsWith(QStringLiteral(" - gone"))) << gone.toStdString();
    EXPECT_LE(metrics.horizontalAdvance(gone),
              width + metrics.horizontalAdvance(QStringLiteral("…")));
    EXPECT_TRUE(gone.startsWith(QStringLiteral("/dev"))) << gone.toStdString();
    EXPECT_EQ(CViewBufferInfo::FormatDevice({"loop://", false}, metrics, width),
              QStringLiteral("loop://"));
    EXPECT_EQ(CViewBufferInfo::FormatDevice({}, metrics, width), QString());
}

}  // namespace
}  // namespace tolvan::app
