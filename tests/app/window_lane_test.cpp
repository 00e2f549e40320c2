// The window never waits on a device: the modem menu's commands, "Transmit Files" and the
// modem's settings sheet run on the channel's lane while the window's event loop keeps
// turning, with a progress window that blocks nothing. The modem is a pty nobody answers;
// its waits are held on a gate of the tick source for as long as the test wants, so a
// command that waited on the window thread would stop the loop until the gate's watchdog
// lets go (and the largest gap between two timer ticks shows it).
#include "app/command_ids.h"
#include "app/comm_doc_template.h"
#include "app/dlg_select_files.h"
#include "app/frame_main.h"
#include "app/lane_progress.h"
#include "app/tolvan_app.h"
#include "channels/doc_modem.h"
#include "platform/device_map.h"
#include "platform/serial_api.h"
#include "platform/server_lock.h"
#include "platform/ticks.h"
#include "setup/property_sheet.h"
#include "tests/app/channel_menu_fixture.h"
#include "tests/support/pty_pair.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace tolvan::app {
namespace {

// Fake time whose pauses, while the gate is shut, hold whoever pauses until the test opens
// it - or the watchdog does, so that a wait on the window thread ends the test instead of
// hanging it.
class GateTicks final : public plat::TickSource {
public:
    static constexpr auto kWatchdog = std::chrono::seconds(3);

    ~GateTicks() override { Open(); }
    std::uint32_t Now() override { return now_.load(); }
    bool Pause(std::uint32_t ms, int, short) override {
        {
            std::unique_lock lock(mutex_);
            ++held_;
            const bool opened = changed_.wait_for(lock, kWatchdog, [this] { return open_; });
            if (!opened) open_ = true;  // the watchdog: the waiter was on the window thread
            --held_;
        }
        now_ += ms;
        return false;
    }
    void Shut() {
        std::lock_guard lock(mutex_);
        open_ = false;
    }
    void Open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    int Held() {
        std::lock_guard lock(mutex_);
        return held_;
    }

private:
    std::atomic<std::uint32_t> now_{1000};
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = true;
    int held_ = 0;
};

// The largest pause of the window's event loop, seen by a timer that ticks every 5 ms.
class LoopGaps {
public:
    LoopGaps() {
        clock_.start();
        QObject::connect(&timer_, &QTimer::timeout,
                         [this] { largest = std::max(largest, clock_.restart()); });
        timer_.start(5);
    }
    qint64 largest = 0;

private:
    QElapsedTimer clock_;
    QTimer timer_;
};

bool SpinUntil(const std::function<bool()>& done, int limitMs = 20000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs) return false;  // only when the test fails
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

void SpinFor(int ms) {
    SpinUntil([] { return false; }, ms);
}

// A stall is a wait of the window thread; 1 s is far above any load's hiccup and far below
// the watchdog's 3 s that a waiting window thread would show.
constexpr qint64 kStallMs = 1000;

class WindowLaneTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string profile = dir_.path() + "/t.ini";
        std::ofstream(profile) << "[Ports]\nAuto=0\nCOM2=" << pty_.slavePath() << "\n";
        plat::SetLockDirectory(dir_.path());
        plat::DeviceMap::Clear();
        CommandLine line;
        line.automation = true;
        line.profilePath = profile;
        ASSERT_TRUE(app_.InitInstance(line, {{}, false, false}));
        app_.MainFrame()->show();
        modem_ = dynamic_cast<CDocModem*>(
            app_.TemplateOf(tdbus::ChannelClass::Modem)->OpenDocumentFile(nullptr, true));
        ASSERT_NE(modem_, nullptr);
        ASSERT_NE(app_.MainFrame()->ActiveChildFrame(), nullptr);
        ASSERT_EQ(modem_->ConnectToPort(2, 9600, 'N', 8, 1), 0);
    }
    void TearDown() override {
        ticks_.Open();
        app_.ExitInstance();
        plat::DeviceMap::Clear();
    }

    QProgressDialog* Progress() const {
        auto* dialog = app_.MainFrame()->findChild<QProgressDialog*>(kLaneProgressObjectName);
        return dialog && dialog->isVisible() ? dialog : nullptr;
    }
    // Runs the command through the window with the gate shut; true when the loop kept
    // turning while the command was held in its wait and a progress window that blocks
    // nothing was up. The gate is open again afterwards.
    ::testing::AssertionResult RunsWithoutStall(int id) {
        LoopGaps gaps;
        ticks_.Shut();
        app_.MainFrame()->RouteCommand(id);
        const bool held = SpinUntil([&] { return ticks_.Held() > 0; }, 5000);
        SpinFor(200);
        const bool shown = Progress() != nullptr;
        const bool modal = QApplication::activeModalWidget() != nullptr;
        ticks_.Open();
        if (gaps.largest > kStallMs)
            return ::testing::AssertionFailure()
                   << "the window stood still for " << gaps.largest << " ms";
        if (!held) return ::testing::AssertionFailure() << "the command never waited";
        if (!shown) return ::testing::AssertionFailure() << "no progress window";
        if (modal) return ::testing::AssertionFailure() << "something modal stops the user";
        return ::testing::AssertionSuccess();
    }
    std::string FarEndGot() {
        const auto bytes = pty_.ReadAvailable(50);
        return {bytes.begin(), bytes.end()};
    }

    test::ScratchDir dir_;
    test::PtyPair pty_;
    GateTicks ticks_;
    plat::ScopedTickSource useTicks_{ticks_};
    CAppComm app_;
    CDocModem* modem_ = nullptr;
};

TEST_F(WindowLaneTest, ModemCommandWaitsOnTheLaneWhileTheWindowTurns) {
    modem_->Mode().nWorkMode = 1;  // every command waits its time-out for the silent modem
    modem_->Mode().nTimeout = 10000;
    modem_->Settings().strInit = "ATZ";
    EXPECT_TRUE(RunsWithoutStall(cmd::ModemInit));
    ASSERT_TRUE(SpinUntil([&] { return Progress() == nullptr; })) << "the command ends";
    EXPECT_EQ(FarEndGot(), "ATZ\r");

    // Commands given while one waits keep their order on the lane.
    ticks_.Shut();
    app_.MainFrame()->RouteCommand(cmd::ModemInit);
    app_.MainFrame()->RouteCommand(cmd::ModemHangUp);
    app_.MainFrame()->RouteCommand(cmd::ModemRepeat);
    ASSERT_TRUE(SpinUntil([&] { return ticks_.Held() > 0; }));
    EXPECT_EQ(FarEndGot(), "ATZ\r") << "the others wait behind the first";
    ticks_.Open();
    ASSERT_TRUE(SpinUntil([&] { return Progress() == nullptr; }));
    EXPECT_EQ(FarEndGot(), "ATH0\rA/");
}

// A client's command and the window's on the same modem channel take turns: the window's
// init waits on its lane until the client's command has had its answer time.
TEST_F(WindowLaneTest, AClientsCommandAndTheWindowsTakeTurnsOnOneModem) {
    modem_->Mode().nWorkMode = 1;
    modem_->Mode().nTimeout = 10000;
    modem_->Settings().strInit = "ATZ";
    std::atomic<bool> windowWaitsItsTurn{false};
    plat::ScopedLockReleaseHook hook([&](plat::LockRelease point) {
        if (point == plat::LockRelease::kModemTurn) windowWaitsItsTurn = true;
    });
    ticks_.Shut();
    std::atomic<int> clientStatus{-100};
    std::thread client([&] {
        plat::ServerLockGuard guard;  // as a client's call on a worker
        clientStatus = modem_->DoCommand("ATI\r");
    });
    ASSERT_TRUE(SpinUntil([&] { return ticks_.Held() > 0; })) << "the client waits";
    app_.MainFrame()->RouteCommand(cmd::ModemInit);
    const bool waited = SpinUntil([&] { return windowWaitsItsTurn.load(); }, 5000);
    const std::string midConversation = FarEndGot();
    ticks_.Open();
    client.join();
    ASSERT_TRUE(SpinUntil([&] { return Progress() == nullptr; }));
    EXPECT_TRUE(waited) << "the window's command did not wait for the client's";
    EXPECT_EQ(midConversation, "ATI\r") << "the window's command went out mid-conversation";
    EXPECT_EQ(clientStatus, 0);
    EXPECT_EQ(FarEndGot(), "ATZ\r");
}

TEST_F(WindowLaneTest, FilesGoOutOnTheLaneWithTheirCountAndStopOnCancel) {
    modem_->Mode().nInternalTimeout = 1000;  // a pause after every piece of 80
    const std::string path = dir_.path() + "/data.bin";
    std::ofstream(path, std::ios::binary) << std::string(400, 'x');
    auto choose = [&] {
        return std::make_unique<WhenModal<CDlgSelectFiles>>([&](CDlgSelectFiles& dlg) {
            EXPECT_TRUE(dlg.AddChosenPath(QString::fromStdString(path)));
            Control<QPushButton>(dlg, 1)->click();
        });
    };

    auto first = choose();
    EXPECT_TRUE(RunsWithoutStall(cmd::TransmitFiles));
    ASSERT_TRUE(first->ran);
    ASSERT_TRUE(SpinUntil([&] { return Progress() == nullptr; }));
    EXPECT_EQ(FarEndGot(), std::string(400, 'x'));

    // Held in the pause after the first piece: the window shows the count, and Cancel sends
    // no more.
    auto second = choose();
    ticks_.Shut();
    app_.MainFrame()->RouteCommand(cmd::TransmitFiles);
    ASSERT_TRUE(SpinUntil([&] {
        QProgressDialog* p = Progress();
        return ticks_.Held() > 0 && p && p->value() == 200;  // 80 of 400 bytes
    }));
    auto* cancel = Progress()->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    cancel->click();
    ticks_.Open();
    ASSERT_TRUE(SpinUntil([&] { return Progress() == nullptr; }));
    EXPECT_EQ(FarEndGot().size(), 80u);
}

TEST_F(WindowLaneTest, ModemSheetReadsTheSilentModemOnTheLane) {
    modem_->Mode().nInternalTimeout = 1000;
    modem_->Mode().nWorkMode = 1;
    modem_->Mode().nTimeout = 2000;
    bool opened = false;
    WhenModal<kerdal::PropertySheet> sheet([&](kerdal::PropertySheet& s) {
        opened = true;
        s.PressCancel();
    });
    EXPECT_TRUE(RunsWithoutStall(cmd::ChannelSettings));
    ASSERT_TRUE(SpinUntil([&] { return opened; })) << "the sheet opens when the reads gave up";
    EXPECT_EQ(FarEndGot().substr(0, 6), "ATS8?\r");
}

}  // namespace
}  // namespace tolvan::app
