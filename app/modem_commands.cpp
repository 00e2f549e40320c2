#include "app/modem_commands.h"

#include "app/app_strings.h"
#include "app/command_ids.h"
#include "app/dlg_command.h"
#include "app/dlg_select_files.h"
#include "app/modem_dial_sheet.h"
#include "channels/doc_modem.h"
#include "platform/ticks.h"
#include "setup/ps_modem_setting.h"
#include "setup/ps_settings_port.h"
#include "setup/query_modem_mode.h"

#include <QFile>

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
    switch (id) {
        case cmd::ModemSettings:
            ModemSettings();
            break;
        case cmd::ModemInit:
            modem_.SendInit();
            break;
        case cmd::ModemHangUp:
            modem_.HangUp();
            break;
        case cmd::ModemCommand:
            TypedCommand();
            break;
        case cmd::ModemDial:
            Dial();
            break;
        case cmd::ModemRepeat:
            modem_.RepeatLastCommand();
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
    const ModemChannelSettings& settings = modem_.Settings();
    page->m_strDialPrefix = FromBytes(settings.strDialPrefix);
    page->m_strDialSuffix = FromBytes(settings.strDialSuffix);
    page->m_strHangUp = FromBytes(settings.strHangUp);
    page->m_strInit = FromBytes(settings.strInit);
    page->m_strDelay = FromBytes(std::string(1, settings.chDelay));
    page->m_nMaxRedials = static_cast<unsigned>(settings.nMaxRedials);
    page->m_nRedialPause = static_cast<unsigned>(settings.nRedialPause);
    page->m_bDtrHangUp = settings.bDtrHangUp;
    // The modem's own values; a channel that is not connected fails at once with -6.
    modem_.ClearRBuff();
    page->m_nDelayTime = RegisterOr(modem_.GetRegister(8), kDefaultDelayTime);
    page->m_nConnectTime = RegisterOr(modem_.GetRegister(7), kDefaultConnectTime);
    sheet->AddPage(std::move(page));
    return sheet;
}

std::int16_t ModemChannelCommands::ApplySetupSheet(kerdal::PropertySheet& sheet, int mode) {
    auto* settings = FindPage<CPSSettingsPort>(sheet);
    auto* page = FindPage<CPSModemSetting>(sheet);
    if (!settings || !page) return -1;
    const std::int16_t line = ApplyLine(sheet, *settings, mode);
    if (line != 0) return line;
    ApplyHandshakes(*settings);  // a failure is shown; the modem's part still goes

    ModemChannelSettings& stored = modem_.Settings();
    stored.strDialPrefix = ToBytes(page->m_strDialPrefix);
    stored.strDialSuffix = ToBytes(page->m_strDialSuffix);
    stored.strHangUp = ToBytes(page->m_strHangUp);
    stored.strInit = ToBytes(page->m_strInit);
    // An emptied delay box keeps the character the channel had.
    if (!page->m_strDelay.isEmpty()) stored.chDelay = ToBytes(page->m_strDelay.left(1)).front();
    stored.nMaxRedials = static_cast<std::int32_t>(page->m_nMaxRedials);
    stored.nRedialPause = static_cast<std::int32_t>(page->m_nRedialPause);
    stored.bDtrHangUp = page->m_bDtrHangUp;

    modem_.ClearRBuff();
    const std::uint32_t start = plat::GetTickCount();
    modem_.SetRegister(8, static_cast<std::int16_t>(page->m_nDelayTime));
    modem_.Commands().PacedPause(start, 1);
    modem_.SetRegister(7, static_cast<std::int16_t>(page->m_nConnectTime));
    modem_.Commands().PacedPause(start, 2);
    return modem_.ApplyDtrHangUp();
}

void ModemChannelCommands::ModemSettings() {
    QPointer<ChannelCommands> self(this);
    const std::string caption = AppText(str::ModemSettings).toLatin1().toStdString();
    const int result = QueryModemMode(caption.c_str(), &modem_.Mode(), MainWindow());
    if (!Alive(self) || result != 1) return;
    modem_.SetUpModem();
}

void ModemChannelCommands::TypedCommand() {
    QPointer<ChannelCommands> self(this);
    CDlgCommand dialog(MainWindow());
    const int result = dialog.exec();
    if (!Alive(self) || result != QDialog::Accepted) return;
    modem_.DoCommand(dialog.CommandBytes());
}

void ModemChannelCommands::Dial() {
    RunModemDialSheet(modem_, MainWindow());
}

void ModemChannelCommands::SendFiles() {
    QPointer<ChannelCommands> self(this);
    CDlgSelectFiles dialog(MainWindow());
    const int result = dialog.exec();
    if (!Alive(self) || result != QDialog::Accepted || dialog.m_files.isEmpty()) return;
    std::vector<std::string> paths;
    for (const QString& path : dialog.m_files)
        paths.push_back(QFile::encodeName(path).toStdString());
    modem_.SendFiles(paths);
}

}  // namespace tolvan::app
