#include "app/modem_commands.h"

#include "app/app_strings.h"
#include "app/command_ids.h"
#include "app/dlg_command.h"
#include "app/dlg_select_files.h"
#include "app/modem_dial_sheet.h"
#include "channels/doc_modem.h"
#include "platform/server_lock.h"
#include "platform/ticks.h"
#include "setup/ps_modem_setting.h"
#include "setup/ps_settings_port.h"
#include "setup/query_modem_mode.h"

#include <QFile>
#include <QPointer>

#include <memory>
#include <string>
#include <vector>

namespace tolvan::app {

namespace {
// Texts of the page are 8-bit, as the modem gets them.
QString FromBytes(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
std::string ToBytes(const QString& text) {
    return text.toLatin1().toStdString();
}

unsigned RegisterOr(std::int16_t value, unsigned fallback) {
    return value < 0 ? fallback : static_cast<unsigned>(value);
}

bool IsModemCommand(int id) {
    switch (id) {
        case cmd::ModemSettings:
        case cmd::ModemInit:
        case cmd::ModemHangUp:
        case cmd::ModemCommand:
        case cmd::ModemDial:
        case cmd::ModemRepeat:
        case cmd::TransmitFiles:
            return true;
        default:
            return false;
    }
}
}  // namespace

ModemChannelCommands::ModemChannelCommands(CDocModem& modem, ChannelCommandContext context,
                                           QObject* parent)
    : ChannelCommands(modem, std::move(context), parent), modem_(modem) {}

bool ModemChannelCommands::UpdateCommand(int id, CommandState& state) {
    if (!IsModemCommand(id)) return ChannelCommands::UpdateCommand(id, state);
    state.enabled = Connected();
    return true;
}

bool ModemChannelCommands::ExecuteCommand(int id) {
    if (!IsModemCommand(id)) return ChannelCommands::ExecuteCommand(id);
    CommandState state;
    UpdateCommand(id, state);
    if (!state.enabled) return true;
    CDocModem* modem = &modem_;
    switch (id) {
        case cmd::ModemSettings:
            ModemSettings();
            break;
        case cmd::ModemInit:
            RunOnLane(AppText(id), false, [modem](const auto&) { modem->SendInit(); });
            break;
        case cmd::ModemHangUp:
            RunOnLane(AppText(id), false, [modem](const auto&) { modem->HangUp(); });
            break;
        case cmd::ModemCommand:
            TypedCommand();
            break;
        case cmd::ModemDial:
            Dial();
            break;
        case cmd::ModemRepeat:
            RunOnLane(AppText(id), false, [modem](const auto&) { modem->RepeatLastCommand(); });
            break;
        case cmd::TransmitFiles:
            SendFiles();
            break;
        default:
            break;
    }
    return true;
}

std::unique_ptr<kerdal::PropertySheet> ModemChannelCommands::CreateSetupSheet(unsigned captionId,
                                                                              QWidget* parent,
                                                                              int mode) {
    std::unique_ptr<kerdal::PropertySheet> sheet =
        ChannelCommands::CreateSetupSheet(captionId, parent, mode);
    auto page = std::make_unique<CPSModemSetting>();
    const ModemChannelSettings settings = modem_.SettingsNow();
    page->m_strDialPrefix = FromBytes(settings.strDialPrefix);
    page->m_strDialSuffix = FromBytes(settings.strDialSuffix);
    page->m_strHangUp = FromBytes(settings.strHangUp);
    page->m_strInit = FromBytes(settings.strInit);
    page->m_strDelay = FromBytes(std::string(1, settings.chDelay));
    page->m_nMaxRedials = static_cast<unsigned>(settings.nMaxRedials);
    page->m_nRedialPause = static_cast<unsigned>(settings.nRedialPause);
    page->m_bDtrHangUp = settings.bDtrHangUp;
    // The modem's own values (read on the lane before the sheet opened, else now); a channel
    // that is not connected fails at once with -6.
    const Registers registers = read_ ? *read_ : ReadRegisters(modem_);
    read_.reset();
    page->m_nDelayTime = RegisterOr(registers.delayTime, kDefaultDelayTime);
    page->m_nConnectTime = RegisterOr(registers.connectTime, kDefaultConnectTime);
    sheet->AddPage(std::move(page));
    return sheet;
}

ModemChannelCommands::Registers ModemChannelCommands::ReadRegisters(CDocModem& modem) {
    // One conversation: a client's command waits until both values are in.
    ModemCommands::Turn turn(modem.Commands());
    modem.ClearRBuff();
    Registers out;
    out.delayTime = modem.GetRegister(8);
    out.connectTime = modem.GetRegister(7);
    return out;
}

void ModemChannelCommands::BeforeSetupSheet(int mode, std::function<void()> open) {
    // A modem that keeps silent holds the reads for seconds: not on the window thread.
    auto registers = std::make_shared<Registers>();
    CDocModem* modem = &modem_;
    QPointer<ModemChannelCommands> self(this);
    RunOnLane(
        AppText(mode == kSetupConnect ? cmd::Connect : cmd::ChannelSettings), false,
        [modem, registers](const auto&) { *registers = ReadRegisters(*modem); },
        [self, registers, open = std::move(open)] {
            if (!self) return;
            self->read_ = *registers;
            open();
        });
}

ChannelCommands::SetupWork ModemChannelCommands::PlanSetupSheet(kerdal::PropertySheet& sheet,
                                                                int mode) {
    auto* settings = FindPage<CPSSettingsPort>(sheet);
    auto* page = FindPage<CPSModemSetting>(sheet);
    if (!settings || !page) return [] { return std::int16_t{-1}; };
    SetupWork line = PlanLine(sheet, *settings, mode);
    SetupWork handshakes = PlanHandshakes(*settings);

    // The page's values, taken now: the sheet goes before the work runs.
    ModemChannelSettings wanted = modem_.SettingsNow();
    wanted.strDialPrefix = ToBytes(page->m_strDialPrefix);
    wanted.strDialSuffix = ToBytes(page->m_strDialSuffix);
    wanted.strHangUp = ToBytes(page->m_strHangUp);
    wanted.strInit = ToBytes(page->m_strInit);
    // An emptied delay box keeps the character the channel had.
    const bool keepDelay = page->m_strDelay.isEmpty();
    if (!keepDelay) wanted.chDelay = ToBytes(page->m_strDelay.left(1)).front();
    wanted.nMaxRedials = static_cast<std::int32_t>(page->m_nMaxRedials);
    wanted.nRedialPause = static_cast<std::int32_t>(page->m_nRedialPause);
    wanted.bDtrHangUp = page->m_bDtrHangUp;
    const auto delayTime = static_cast<std::int16_t>(page->m_nDelayTime);
    const auto connectTime = static_cast<std::int16_t>(page->m_nConnectTime);

    CDocModem* modem = &modem_;
    return [=, line = std::move(line), handshakes = std::move(handshakes)] {
        const std::int16_t status = line();
        if (status != 0) return status;
        handshakes();  // a failure is shown; the modem's part still goes

        {
            plat::ServerLockGuard guard;
            ModemChannelSettings& stored = modem->Settings();
            stored.strDialPrefix = wanted.strDialPrefix;
            stored.strDialSuffix = wanted.strDialSuffix;
            stored.strHangUp = wanted.strHangUp;
            stored.strInit = wanted.strInit;
            if (!keepDelay) stored.chDelay = wanted.chDelay;
            stored.nMaxRedials = wanted.nMaxRedials;
            stored.nRedialPause = wanted.nRedialPause;
            stored.bDtrHangUp = wanted.bDtrHangUp;
        }

        ModemCommands::Turn turn(modem->Commands());
        modem->ClearRBuff();
        const std::uint32_t start = plat::GetTickCount();
        modem->SetRegister(8, delayTime);
        modem->Commands().PacedPause(start, 1);
        modem->SetRegister(7, connectTime);
        modem->Commands().PacedPause(start, 2);
        return modem->ApplyDtrHangUp();
    };
}

void ModemChannelCommands::ModemSettings() {
    QPointer<ChannelCommands> self(this);
    const std::string caption = AppText(str::ModemSettings).toLatin1().toStdString();
    // A copy: a command running on the channel's lane reads the record meanwhile.
    AndModemMode mode = modem_.ModeNow();
    const int result = QueryModemMode(caption.c_str(), &mode, MainWindow());
    if (!Alive(self) || result != 1) return;
    modem_.SetMode(mode);
    CDocModem* modem = &modem_;
    RunOnLane(AppText(cmd::ModemSettings), false, [modem](const auto&) { modem->SetUpModem(); });
}

void ModemChannelCommands::TypedCommand() {
    QPointer<ChannelCommands> self(this);
    CDlgCommand dialog(MainWindow());
    const int result = dialog.exec();
    if (!Alive(self) || result != QDialog::Accepted) return;
    CDocModem* modem = &modem_;
    RunOnLane(AppText(cmd::ModemCommand), false,
              [modem, text = dialog.CommandBytes()](const auto&) { modem->DoCommand(text); });
}

void ModemChannelCommands::Dial() {
    QPointer<ChannelCommands> self(this);
    RunModemDialSheet(modem_, MainWindow(), [this, self](std::string number) {
        if (!Alive(self)) return;
        CDocModem* modem = &modem_;
        RunOnLane(AppText(cmd::ModemDial), false,
                  [modem, number = std::move(number)](const auto&) { modem->Dial(number); });
    });
}

void ModemChannelCommands::SendFiles() {
    QPointer<ChannelCommands> self(this);
    CDlgSelectFiles dialog(MainWindow());
    const int result = dialog.exec();
    if (!Alive(self) || result != QDialog::Accepted || dialog.m_files.isEmpty()) return;
    std::vector<std::string> paths;
    for (const QString& path : dialog.m_files)
        paths.push_back(QFile::encodeName(path).toStdString());
    CDocModem* modem = &modem_;
    // Pieces go out one per internal time-out: a file takes long, so it shows its count and
    // may be cancelled.
    RunOnLane(AppText(cmd::TransmitFiles), true,
              [modem, paths = std::move(paths), report = ProgressReporter()](const auto& cancel) {
                  modem->SendFiles(paths, [&](std::uint64_t sent, std::uint64_t total) {
                      report(sent, total);
                      return !cancel->load();
                  });
              });
}

}  // namespace tolvan::app
