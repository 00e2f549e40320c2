// How long the window's event loop stands still while the window's own commands wait on a
// device: a modem command that waits its whole time-out for a silent modem, the settings
// sheet reading two registers of it, and "Transmit Files" pacing a file out in pieces.
// A 5 ms timer on the window thread records every gap between its ticks; the figure is the
// largest gap and the 99th percentile while the command ran (goal: no gap over 100 ms).
// The modem is a pty nobody answers; the real clock runs.
// Run: dbus-run-session -- bench_window_stall   (offscreen)
#include "app/command_ids.h"
#include "app/comm_doc_template.h"
#include "app/dlg_select_files.h"
#include "app/frame_main.h"
#include "app/lane_progress.h"
#include "app/tolvan_app.h"
#include "channels/doc_modem.h"
#include "platform/device_map.h"
#include "platform/serial_api.h"
#include "setup/property_sheet.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace tolvan;
using namespace tolvan::app;

// Every gap between two ticks of a 5 ms timer, from construction on.
class LoopGaps {
public:
    LoopGaps() {
        clock_.start();
        QObject::connect(&timer_, &QTimer::timeout, [this] { gaps_.push_back(clock_.restart()); });
        timer_.start(5);
    }
    qint64 Largest() const {
        return gaps_.empty() ? 0 : *std::max_element(gaps_.begin(), gaps_.end());
    }
    qint64 Percentile(double p) const {
        if (gaps_.empty()) return 0;
        std::vector<qint64> sorted = gaps_;
        std::sort(sorted.begin(), sorted.end());
        return sorted[static_cast<size_t>(p * static_cast<double>(sorted.size() - 1))];
    }

private:
    QElapsedTimer clock_;
    QTimer timer_;
    std::vector<qint64> gaps_;
};

void SpinUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

QProgressDialog* Progress(CAppComm& app) {
    auto* dialog = app.MainFrame()->findChild<QProgressDialog*>(kLaneProgressObjectName);
    return dialog && dialog->isVisible() ? dialog : nullptr;
}

// Answers the next modal box of type T with `answer` as soon as it is up.
template <typename T>
void WhenModal(std::function<void(T&)> answer) {
    auto* poll = new QTimer(qApp);  // owned by the application, gone with its last tick
    QObject::connect(poll, &QTimer::timeout, [poll, answer] {
        if (auto* dialog = dynamic_cast<T*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            answer(*dialog);
        }
    });
    poll->start(5);
}

void Row(const char* what, const LoopGaps& gaps, qint64 ranMs) {
    const qint64 largest = gaps.Largest();
    std::printf("| %s | %lld | %lld | %lld | %s |\n", what, static_cast<long long>(ranMs),
                static_cast<long long>(gaps.Percentile(0.99)), static_cast<long long>(largest),
                largest <= 100 ? "met" : "MISSED");
}

// Routes `id` and turns the loop until its progress window has come and gone.
void Measure(CAppComm& app, const char* what, int id) {
    QElapsedTimer ran;
    LoopGaps gaps;
    ran.start();
    app.MainFrame()->RouteCommand(id);
    SpinUntil([&] { return Progress(app) != nullptr; }, 2000);
    SpinUntil([&] { return Progress(app) == nullptr; }, 60000);
    Row(what, gaps, ran.elapsed());
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qt(argc, argv);
    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return 1;
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);

    char dirTemplate[] = "/tmp/tolvan-stall-XXXXXX";
    const std::string dir = mkdtemp(dirTemplate);
    const std::string profile = dir + "/p.ini";
    std::ofstream(profile) << "[Ports]\nAuto=0\nCOM2=" << name << "\n";
    plat::SetLockDirectory(dir);
    const std::string file = dir + "/data.bin";
    std::ofstream(file, std::ios::binary) << std::string(80 * 40, 'x');

    CAppComm app;
    CommandLine line;
    line.automation = true;
    line.profilePath = profile;
    if (!app.InitInstance(line, {{}, false, false})) return 1;
    app.MainFrame()->show();
    auto* modem = dynamic_cast<CDocModem*>(
        app.TemplateOf(tdbus::ChannelClass::Modem)->OpenDocumentFile(nullptr, true));
    if (modem == nullptr || modem->ConnectToPort(2, 9600, 'N', 8, 1) != 0) return 1;

    std::printf(
        "| window command (silent modem) | ran ms | gap p99 ms | largest gap ms | goal <= 100 ms "
        "|\n");
    std::printf("|---|---|---|---|---|\n");
    AndModemMode mode = modem->ModeNow();
    mode.nWorkMode = 1;  // a command waits its time-out
    mode.nTimeout = 2000;
    mode.nInternalTimeout = 25;
    modem->SetMode(mode);
    Measure(app, "Init, waits 2 s for the answer", cmd::ModemInit);

    mode.nWorkMode = 2;  // an OK that never comes
    modem->SetMode(mode);
    Measure(app, "Hang Up, waits 2 s for OK", cmd::ModemHangUp);

    WhenModal<CDlgSelectFiles>([&](CDlgSelectFiles& dlg) {
        dlg.AddChosenPath(QString::fromStdString(file));
        if (auto* ok = dlg.findChild<QPushButton*>(QStringLiteral("1"))) ok->click();
    });
    Measure(app, "Transmit Files, 3200 bytes in pieces of 80", cmd::TransmitFiles);

    mode.nInternalTimeout = 1000;
    modem->SetMode(mode);
    WhenModal<kerdal::PropertySheet>([](kerdal::PropertySheet& sheet) { sheet.PressCancel(); });
    Measure(app, "Channel Settings, two register reads", cmd::ChannelSettings);

    app.ExitInstance();
    ::close(master);
    ::close(slave);
    std::system(("rm -rf " + dir).c_str());
    return 0;
}
