#include "app/channel_commands.h"

#include "app/app_strings.h"
#include "app/command_ids.h"
#include "app/dlg_read_bytes.h"
#include "app/dlg_send_string.h"
#include "app/ir_commands.h"
#include "app/modem_commands.h"
#include "app/pp_buffer_size.h"
#include "channels/doc_comm.h"
#include "channels/doc_ir.h"
#include "channels/doc_modem.h"
#include "platform/message_box.h"
#include "platform/server_lock.h"
#include "ports/port_registry.h"
#include "ports/shared_port.h"
#include "setup/records/comm_param.h"
#include "setup/property_sheet.h"
#include "setup/ps_select_port.h"
#include "setup/ps_settings_port.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QThread>

#include <array>
#include <vector>

namespace tolvan::app {

namespace {
// The question icon of a message box (the hook maps it to its own).
constexpr std::uint32_t kIconQuestion = 0x0020;
// Size of the scratch buffer the port list is built in.
constexpr std::size_t kPortListSize = 1024;
// Read string: limit and terminator (-2: carriage return and line feed).
constexpr std::int16_t kReadStringLimit = 255;
constexpr std::int16_t kCrLf = -2;

BufferSizes FiguresOf(const CChannelBuffer* buffer) {
    if (!buffer) return {};
    return {buffer->Size(), buffer->WriteIndex()};
}
}  // namespace

ChannelCommands::ChannelCommands(CDocComm& channel, ChannelCommandContext context, QObject* parent)
    : QObject(parent),
      channel_(channel),
      context_(std::move(context)),
      progress_(context_.runOnLane ? context_.mainWindow : nullptr) {}

ChannelCommands::~ChannelCommands() = default;

QString ChannelCommands::AvailablePortList() const {
    // The ports found so far: a start-up probe still trying a slow device adds its port later.
    std::string list = CDocComm::AvailablePorts(false);
    list.resize(std::min<std::size_t>(list.size(), kPortListSize - 1));
    return QString::fromLatin1(list.data(), static_cast<qsizetype>(list.size()));
}

bool ChannelCommands::Connected() const {
    return channel_.IsConnected();
}

bool ChannelCommands::Held() const {
    return channel_.HasClients();
}

bool ChannelCommands::LockedByOther() const {
    plat::ServerLockGuard guard;
    CSharedPort* port = channel_.Port();
    return port && port->IsLockedByOther(&channel_);
}

bool ChannelCommands::OwnsLock() const {
    plat::ServerLockGuard guard;
    CSharedPort* port = channel_.Port();
    return port && port->LockOwner() == static_cast<const PortClient*>(&channel_) &&
           port->LockCount() > 0;
}

bool ChannelCommands::UpdateCommand(int id, CommandState& state) {
    switch (id) {
        case cmd::Connect:
            state.enabled = !Connected();
            return true;
        case cmd::ChannelSettings:
        case cmd::TransmitString:
        case cmd::BufferSettings:
        case cmd::CloseConnection:
            state.enabled = Connected();
            return true;
        case cmd::DefaultBufferSize:
            state.enabled = true;
            return true;
        case cmd::ClearReceive:
        case cmd::ClearTransmit:
        case cmd::ReceiveBytes:
        case cmd::ReceiveString:
        case cmd::ReceiveXModem:
            state.enabled = Connected() && !Held();
            return true;
        case cmd::LockPort:
            state.enabled = Connected() && !LockedByOther();
            return true;
        case cmd::UnlockPort:
            state.enabled = Connected() && OwnsLock();
            return true;
        case cmd::HideWindow:
            state.enabled = Held();
            return true;
        default:
            return false;
    }
}

bool ChannelCommands::ExecuteCommand(int id) {
    // A command run directly (a script, a stale menu) obeys the same rules as the menu.
    CommandState state;
    if (!ChannelCommands::UpdateCommand(id, state)) return false;
    if (!state.enabled) return true;
    switch (id) {
        case cmd::Connect:
            RunSetupSheet(kSetupConnect);
            break;
        case cmd::ChannelSettings:
            RunSetupSheet(kSetupSettings);
            break;
        case cmd::TransmitString:
            SendString();
            break;
        case cmd::BufferSettings:
            EditBufferSizes();
            break;
        case cmd::DefaultBufferSize:
            EditDefaultSizes();
            break;
        case cmd::ClearReceive:
            ClearBuffer(true);
            break;
        case cmd::ClearTransmit:
            ClearBuffer(false);
            break;
        case cmd::CloseConnection:
            CloseConnection();
            break;
        case cmd::ReceiveBytes:
            ReadBytes();
            break;
        case cmd::ReceiveString:
            ReadString();
            break;
        case cmd::LockPort:
            Lock(true);
            break;
        case cmd::UnlockPort:
            Lock(false);
            break;
        case cmd::ReceiveXModem:
            ReceiveXModem();
            break;
        case cmd::HideWindow:
            if (context_.hideChannel) context_.hideChannel(channel_);
            break;
        default:
            return false;
    }
    return true;
}

std::unique_ptr<kerdal::PropertySheet> ChannelCommands::CreateSetupSheet(unsigned captionId,
                                                                         QWidget* parent,
                                                                         int mode) {
    auto sheet = std::make_unique<kerdal::PropertySheet>(AppText(captionId), parent);
    sheet->setObjectName(kSetupSheetObjectName);
    if (mode == kSetupConnect) sheet->AddPage(std::make_unique<CPSSelectPort>(AvailablePortList()));
    auto settings = std::make_unique<CPSSettingsPort>(DLLGetCommParam());
    bool dtrDsr = false, rtsCts = false, xonXoff = false;
    if (mode == kSetupSettings && channel_.GetFlowControl(dtrDsr, rtsCts, xonXoff)) {
        settings->m_bDtrDsr = dtrDsr;
        settings->m_bRtsCts = rtsCts;
        settings->m_bXonXoff = xonXoff;
    }
    sheet->AddPage(std::move(settings));
    return sheet;
}

ChannelCommands::SetupWork ChannelCommands::PlanSetupSheet(kerdal::PropertySheet& sheet, int mode) {
    auto* settings = FindPage<CPSSettingsPort>(sheet);
    if (!settings) return [] { return std::int16_t{-1}; };
    SetupWork line = PlanLine(sheet, *settings, mode);
    SetupWork handshakes = PlanHandshakes(*settings);
    return [line = std::move(line), handshakes = std::move(handshakes)] {
        const std::int16_t status = line();
        return status != 0 ? status : handshakes();
    };
}

ChannelCommands::SetupWork ChannelCommands::PlanLine(kerdal::PropertySheet& sheet,
                                                     const CPSSettingsPort& settings, int mode) {
    const AndCommParam& params = *settings.m_pCommParam;
    const auto baud = static_cast<std::int32_t>(params.GetBaudRate(settings.m_nBaudRateIdx));
    const std::int16_t parity = static_cast<std::uint8_t>(params.GetParity(settings.m_nParityIdx));
    const auto wordLength = static_cast<std::int16_t>(params.GetWrdLen(settings.m_nWrdLenIdx));
    const auto stopBits = static_cast<std::int16_t>(params.GetStopBit(settings.m_nStopBitIdx));

    CDocComm* channel = &channel_;
    return PlanConnection(
        sheet, mode,
        [=](std::int16_t port) {
            return channel->ConnectToPort(port, baud, parity, wordLength, stopBits);
        },
        [=] { return channel->SetParam(baud, parity, wordLength, stopBits); });
}

ChannelCommands::SetupWork ChannelCommands::PlanConnection(
    kerdal::PropertySheet& sheet, int mode, std::function<std::int16_t(std::int16_t)> connect,
    std::function<std::int16_t()> set) {
    int port = 0;
    if (mode == kSetupConnect) {
        auto* select = FindPage<CPSSelectPort>(sheet);
        // The chosen item names the port: its number is what the registry knows it by.
        port = select ? CPSSelectPort::PortNumberFromName(select->m_strPort) : 0;
    }
    CDocComm* channel = &channel_;
    // The menu's enabling follows when the work has ended (RunOnLane).
    return [=, connect = std::move(connect), set = std::move(set)]() -> std::int16_t {
        std::int16_t status = 0;
        if (mode == kSetupConnect)
            status = port > 0 ? connect(static_cast<std::int16_t>(port)) : std::int16_t{-2};
        else
            status = set();
        if (status != 0) {
            Message(mode == kSetupConnect ? str::ConnectionFailed : str::PortSettingFailed,
                    plat::MB_OK | plat::MB_ICONEXCLAMATION);
            return status;
        }
        StoreCurrentParameters(*channel);
        return 0;
    };
}

ChannelCommands::SetupWork ChannelCommands::PlanHandshakes(const CPSSettingsPort& settings) {
    CDocComm* channel = &channel_;
    const bool dtrDsr = settings.m_bDtrDsr != 0, rtsCts = settings.m_bRtsCts != 0,
               xonXoff = settings.m_bXonXoff != 0;
    return [=] {
        const std::int16_t status = channel->SetFlowControl(dtrDsr, rtsCts, xonXoff);
        if (status != 0) Message(str::PortSettingFailed, plat::MB_OK | plat::MB_ICONEXCLAMATION);
        return status;
    };
}

bool ChannelCommands::RunSetupSheet(int mode) {
    QPointer<ChannelCommands> self(this);
    BeforeSetupSheet(mode, [self, mode] {
        if (self) self->ShowSetupSheet(mode);
    });
    return Alive(self);
}

void ChannelCommands::BeforeSetupSheet(int /*mode*/, std::function<void()> open) {
    open();
}

bool ChannelCommands::ShowSetupSheet(int mode) {
    QPointer<ChannelCommands> self(this);
    std::unique_ptr<kerdal::PropertySheet> sheet =
        CreateSetupSheet(str::SetupConnection, MainWindow(), mode);
    const int result = sheet->DoModal();
    if (!Alive(self)) return false;
    if (result != kerdal::kIdOk) return true;
    RunOnLane(AppText(mode == kSetupConnect ? cmd::Connect : cmd::ChannelSettings), false,
              [work = PlanSetupSheet(*sheet, mode)](const auto&) { work(); });
    return true;
}

void ChannelCommands::StoreCurrentParameters(CDocComm& channel) {
    std::int32_t baud = 0;
    std::int16_t parity = 0, wordLength = 0, stopBits = 0;
    if (!channel.GetPortSettings(baud, parity, wordLength, stopBits)) return;
    // The driver keeps 115200 as 57601; the library's table knows only 115200, and a rate
    // it does not know would leave the earlier one current (sheets and profile with it).
    if (baud == 57601) baud = 115200;
    // The parameters are the window's: its sheets read them.
    OnWindowThread([=] {
        AndCommParam* params = DLLGetCommParam();
        params->SetCurBaudRate(baud);
        params->SetCurParity(static_cast<char>(parity));
        params->SetCurWrdLen(wordLength);
        params->SetCurStopBit(stopBits);
    });
}

void ChannelCommands::RunOnLane(const QString& label, bool cancellable,
                                std::function<void(const std::shared_ptr<std::atomic<bool>>&)> work,
                                std::function<void()> done) {
    std::shared_ptr<std::atomic<bool>> cancel = progress_.Begin(label, cancellable);
    QPointer<ChannelCommands> self(this);
    auto finish = [self, done = std::move(done)] {
        if (!self) return;
        self->progress_.End();
        if (done) done();
        self->StateChanged();
    };
    if (!context_.runOnLane) {
        work(cancel);
        finish();
        return;
    }
    context_.runOnLane(
        channel_, [work = std::move(work), cancel] { work(cancel); }, std::move(finish));
}

std::function<void(std::uint64_t, std::uint64_t)> ChannelCommands::ProgressReporter() {
    QPointer<ChannelCommands> self(this);
    return [self](std::uint64_t done, std::uint64_t total) {
        OnWindowThread([self, done, total] {
            if (self) self->progress_.SetProgress(done, total);
        });
    };
}

void ChannelCommands::OnWindowThread(std::function<void()> fn) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

int ChannelCommands::Message(unsigned stringId, std::uint32_t flags) {
    return plat::ShowMessageBox(AppText(stringId).toLatin1().toStdString(), {}, flags);
}

void ChannelCommands::StateChanged() const {
    if (context_.stateChanged) context_.stateChanged();
}

void ChannelCommands::SendString() {
    QPointer<ChannelCommands> self(this);
    CDlgSendString dialog(MainWindow());
    const int result = dialog.exec();
    if (!Alive(self) || result != QDialog::Accepted || !Connected()) return;
    const std::string bytes = dialog.SendBytes();
    channel_.TransmitBytes(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

void ChannelCommands::EditBufferSizes() {
    QPointer<ChannelCommands> self(this);
    BufferSizes output, input;
    {
        plat::ServerLockGuard guard;
        output = FiguresOf(channel_.TransmitBuffer());
        input = FiguresOf(channel_.ReceiveBuffer());
    }
    BufferSettingsSheet sheet(output, input, MainWindow());
    const bool accepted = sheet.DoModal();
    if (!Alive(self) || !accepted) return;
    // The sizes go to the port whole: the 16-bit client properties would cut sizes above
    // 32767 that the pages allow.
    plat::ServerLockGuard guard;
    CSharedPort* port = channel_.Port();
    if (!port) return;
    port->ResizeTransmit(sheet.NewOutputSize());
    port->ResizeReceive(sheet.NewInputSize());
    channel_.UpdateAllViews(kHintSizes);
}

void ChannelCommands::EditDefaultSizes() {
    PortRegistry* registry = CDocComm::GetPortRegistry();
    if (!registry) return;
    QPointer<ChannelCommands> self(this);
    const RingSizes defaults = registry->DefaultSizes();
    BufferSettingsSheet sheet({defaults.tx, 0}, {defaults.rx, 0}, MainWindow());
    const bool accepted = sheet.DoModal();
    if (!Alive(self) || !accepted) return;
    plat::ServerLockGuard guard;
    // A size the registry cannot take (0) keeps the old default.
    registry->SetDefaultSizes(sheet.NewInputSize(), sheet.NewOutputSize());
}

void ChannelCommands::ClearBuffer(bool receive) {
    QPointer<ChannelCommands> self(this);
    const int answer = Message(str::ClearBufferQuestion, plat::MB_YESNO | kIconQuestion);
    if (!Alive(self) || answer != plat::IDYES) return;
    if (receive)
        channel_.ClearRBuff();
    else
        channel_.ClearTBuff();
}

void ChannelCommands::CloseConnection() {
    QPointer<ChannelCommands> self(this);
    const int answer = Message(str::CloseConnectionQuestion, plat::MB_YESNO | kIconQuestion);
    if (!Alive(self) || answer != plat::IDYES) return;
    channel_.CloseConnection();
    StateChanged();
}

void ChannelCommands::ReadBytes() {
    QPointer<ChannelCommands> self(this);
    CDlgReadBytes dialog(MainWindow());
    const int result = dialog.exec();
    if (!Alive(self) || result != QDialog::Accepted) return;
    // One read takes at most 32767 bytes: a larger count reads in several goes.
    unsigned left = dialog.m_nBytes;
    std::vector<std::uint8_t> scratch(std::min<unsigned>(left, 32767));
    while (left > 0) {
        const auto n = static_cast<std::int16_t>(std::min<unsigned>(left, 32767));
        const std::int16_t got = channel_.ReadFromPort(scratch, n);
        if (got <= 0) break;
        left -= static_cast<unsigned>(got);
    }
}

void ChannelCommands::ReadString() {
    std::vector<std::uint8_t> scratch(kReadStringLimit);
    channel_.ReadStringFromPort(scratch, kReadStringLimit, kCrLf);
}

void ChannelCommands::Lock(bool lock) {
    if (lock)
        channel_.LockPort();
    else
        channel_.UnlockPort();
    StateChanged();
}

void ChannelCommands::ReceiveXModem() {
    QPointer<ChannelCommands> self(this);
    QFileDialog dialog(MainWindow());
    dialog.setObjectName(kXModemFileDialogObjectName);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::ReadOnly, false);
    // The reception writes the file: a file that exists is replaced only when the user
    // says so.
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const int result = dialog.exec();
    if (!Alive(self) || result != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    if (!Connected()) return;
    channel_.ReceiveXModemFile(QFile::encodeName(dialog.selectedFiles().front()).toStdString(), -1,
                               0);
    StateChanged();
}

ChannelCommands* CreateChannelCommands(CDocComm& channel, ChannelCommandContext context,
                                       QObject* parent) {
    if (auto* modem = dynamic_cast<CDocModem*>(&channel))
        return new ModemChannelCommands(*modem, std::move(context), parent);
    if (auto* ir = dynamic_cast<CDocIR*>(&channel))
        return new IRChannelCommands(*ir, std::move(context), parent);
    return new ChannelCommands(channel, std::move(context), parent);
}

}  // namespace tolvan::app
