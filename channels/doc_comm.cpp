#include "channels/doc_comm.h"

#include "automation/contract/comm_members.h"
#include "channels/channel_stream.h"
#include "channels/file_transfer.h"
#include "framework/app_lock.h"
#include "framework/dispatch_binding.h"
#include "framework/string_table.h"
#include "platform/server_lock.h"
#include "ports/port_registry.h"
#include "ports/shared_port.h"
#include "ports/status_text.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace tolvan {

namespace {

PortRegistry* g_registry = nullptr;
CDocComm::ReleasePoster g_releasePoster;

std::unique_ptr<tfw::CDocument> CreateComm() {
    return std::make_unique<CDocComm>();
}

const tfw::DocumentClass kCommClass{"CDocComm", 0xFFFF, &CreateComm};

std::string TextOr(unsigned id, const char* fallback) {
    std::string text;
    if (tfw::LoadString(id, text) && !text.empty()) return text;
    return fallback;
}

// Copies text and its zero byte into buffer, cut so the zero byte always fits.
void CopyZeroTerminated(std::span<std::uint8_t> buffer, std::string_view text) {
    if (buffer.empty()) return;
    const std::size_t n = std::min(text.size(), buffer.size() - 1);
    std::memcpy(buffer.data(), text.data(), n);
    buffer[n] = 0;
}

// Ring sizes as the 16-bit properties report them.
std::int16_t AsSize16(std::uint32_t size) {
    return static_cast<std::int16_t>(
        std::min<std::uint32_t>(size, std::numeric_limits<std::int16_t>::max()));
}

}  // namespace

CDocComm::CDocComm() {
    tfw::LockApp();
    SetTitle("");
}

CDocComm::~CDocComm() {
    {
        plat::ServerLockGuard guard;
        Disconnect();
        stream_.reset();
    }
    tfw::UnlockApp();
}

const tfw::DocumentClass& CDocComm::Class() {
    return kCommClass;
}

void CDocComm::SetPortRegistry(PortRegistry* registry) {
    plat::ServerLockGuard guard;
    g_registry = registry;
}

PortRegistry* CDocComm::GetPortRegistry() {
    return g_registry;
}

// --- Document ------------------------------------------------------------------------

std::string CDocComm::TitleState() const {
    if (port_ != nullptr && port_->IsOpen()) {
        std::int32_t baud = 0;
        std::int16_t parity = 'S';
        std::int16_t wordLength = 0;
        std::int16_t stopBits = 0;
        // Space parity has no letter in the settings query; the other fields are stored.
        if (!port_->QuerySettings(baud, parity, wordLength, stopBits)) parity = 'S';
        return port_->PortName() + ":" + std::to_string(baud) + "," +
               std::string(1, static_cast<char>(parity)) + "," + std::to_string(wordLength) + "," +
               std::to_string(stopBits) + ".";
    }
    return TextOr(kNotConnectedStringId, "Not Connected.");
}

void CDocComm::SetTitle(std::string_view name) {
    // The window thread names documents while client calls may connect them.
    plat::ServerLockGuard guard;
    std::string title = TitleState();
    title += ' ';
    title += TextOr(kNameLabelStringId, "Name:");
    title += ' ';
    title += name;
    tfw::CDocument::SetTitle(title);
}

void CDocComm::RefreshTitle() {
    plat::ServerLockGuard guard;
    const std::string& title = GetTitle();
    const auto blank = title.rfind(' ');
    if (blank == std::string::npos) return;
    SetTitle(std::string_view(title).substr(blank + 1));
}

void CDocComm::OnCloseDocument() {
    // A client still holds the channel: the window goes, the document stays for it.
    if (GetRefCount() > 1) {
        const bool autoDelete = GetAutoDelete();
        SetAutoDelete(false);
        tfw::CDocument::OnCloseDocument();
        SetAutoDelete(autoDelete);
        return;
    }
    tfw::CDocument::OnCloseDocument();
}

bool CDocComm::CanCloseFrame(bool /*lastFrame*/) {
    return GetRefCount() < 2;
}

// --- Shared port client ----------------------------------------------------------------

void CDocComm::SetPort(CSharedPort* port) {
    plat::ServerLockGuard guard;
    rxBuffer_.reset();
    txBuffer_.reset();
    if (port_ != nullptr) port_->Detach(this);
    port_ = port;
    if (port_ == nullptr) {
        if (stream_) stream_->PortChanged();
        return;
    }
    rxBuffer_ =
        std::make_unique<CChannelBuffer>(port_->RxSize(), port_->RxMemory(), port_->RxPosition());
    txBuffer_ =
        std::make_unique<CChannelBuffer>(port_->TxSize(), port_->TxMemory(), port_->TxPosition());
    if (stream_) stream_->PortChanged();
}

RingView* CDocComm::ReceiveView() {
    return rxBuffer_.get();
}

RingView* CDocComm::TransmitView() {
    return txBuffer_.get();
}

void CDocComm::UpdateAllViews(int hint) {
    tfw::CDocument::UpdateAllViews(nullptr, hint);
}

void CDocComm::Disconnect() {
    rxBuffer_.reset();
    txBuffer_.reset();
    CSharedPort* port = port_;
    port_ = nullptr;
    if (port != nullptr) port->Detach(this);
    if (stream_) stream_->PortChanged();
}

bool CDocComm::LockedByOther() const {
    return port_ != nullptr && port_->IsLockedByOther(this);
}

// --- Connection and line ----------------------------------------------------------------

std::int16_t CDocComm::GetTBuffSize() {
    plat::ServerLockGuard guard;
    return txBuffer_ ? AsSize16(txBuffer_->Size()) : 0;
}

void CDocComm::SetTBuffSize(std::int16_t size) {
    plat::ServerLockGuard guard;
    if (port_ == nullptr) return;
    // A negative size would read as a huge ring: refused like any unusable size.
    if (size > 0) port_->ResizeTransmit(static_cast<std::uint32_t>(size));
    UpdateAllViews(kHintSizes);
}

std::int16_t CDocComm::GetRBuffSize() {
    plat::ServerLockGuard guard;
    return rxBuffer_ ? AsSize16(rxBuffer_->Size()) : 0;
}

void CDocComm::SetRBuffSize(std::int16_t size) {
    plat::ServerLockGuard guard;
    if (port_ == nullptr) return;
    if (size > 0) port_->ResizeReceive(static_cast<std::uint32_t>(size));
    UpdateAllViews(kHintSizes);
}

std::int16_t CDocComm::ConnectToPort(std::int16_t port, std::int32_t baud, std::int16_t parity,
                                     std::int16_t wordLength, std::int16_t stopBits) {
    plat::ServerLockGuard guard;
    if (g_registry == nullptr) return kStatusInvalidPort;
    return static_cast<std::int16_t>(
        g_registry->ConnectChannel(this, port, baud, parity, wordLength, stopBits));
}

std::int16_t CDocComm::SetParam(std::int32_t baud, std::int16_t parity, std::int16_t wordLength,
                                std::int16_t stopBits) {
    plat::ServerLockGuard guard;
    if (port_ == nullptr) return kStatusNotSetUp;
    return static_cast<std::int16_t>(port_->Reconfigure(baud, parity, wordLength, stopBits));
}

std::int16_t CDocComm::SetFlowControl(bool dtrDsr, bool rtsCts, bool xonXoff) {
    plat::ServerLockGuard guard;
    if (port_ == nullptr) return kStatusNotSetUp;
    return static_cast<std::int16_t>(port_->ApplyFlowControl(dtrDsr, rtsCts, xonXoff));
}

void CDocComm::ClearRBuff() {
    plat::ServerLockGuard guard;
    if (rxBuffer_) rxBuffer_->Clear();
    UpdateAllViews(kHintReceive);
}

void CDocComm::ClearTBuff() {
    plat::ServerLockGuard guard;
    if (txBuffer_) txBuffer_->Clear();
    UpdateAllViews(kHintTransmit);
}

std::int16_t CDocComm::CloseConnection() {
    plat::ServerLockGuard guard;
    Disconnect();
    RefreshTitle();
    UpdateAllViews(kHintDisconnected);
    return 0;
}

void CDocComm::SetDefBufSize(std::int16_t rxSize, std::int16_t txSize) {
    plat::ServerLockGuard guard;
    if (g_registry == nullptr) return;
    // A size of 0 or less keeps that default; the other one is still taken.
    const RingSizes& current = g_registry->DefaultSizes();
    g_registry->SetDefaultSizes(rxSize > 0 ? static_cast<std::uint32_t>(rxSize) : current.rx,
                                txSize > 0 ? static_cast<std::uint32_t>(txSize) : current.tx);
}

std::int16_t CDocComm::GetPortError() {
    plat::ServerLockGuard guard;
    if (port_ == nullptr || port_->Port() == nullptr) return kStatusNotSetUp;
    return static_cast<std::int16_t>(port_->Port()->status);
}

void CDocComm::ClearPortError() {
    plat::ServerLockGuard guard;
    if (port_ != nullptr && port_->Port() != nullptr) port_->Port()->status = 0;
}

void CDocComm::GetCommErrorName(std::span<std::uint8_t> buffer, std::int16_t code) {
    CopyZeroTerminated(buffer, GetStatusText(code));
}

void CDocComm::LockPort() {
    plat::ServerLockGuard guard;
    if (port_ != nullptr && !LockedByOther()) port_->LockFor(this);
}

void CDocComm::UnlockPort() {
    plat::ServerLockGuard guard;
    if (port_ != nullptr && port_->LockOwner() == this) port_->UnlockFor(this);
}

bool CDocComm::IsConnected() {
    plat::ServerLockGuard guard;
    return port_ != nullptr;
}

bool CDocComm::GetPortSettings(std::int32_t& baud, std::int16_t& parity, std::int16_t& wordLength,
                               std::int16_t& stopBits) {
    plat::ServerLockGuard guard;
    if (port_ == nullptr) return false;
    // Query into scratch values: a failed query leaves the caller's untouched.
    std::int32_t b = 0;
    std::int16_t p = 0, w = 0, s = 0;
    if (!port_->QuerySettings(b, p, w, s)) return false;
    baud = b;
    parity = p;
    wordLength = w;
    stopBits = s;
    return true;
}

std::int16_t CDocComm::GetPortNumber() {
    plat::ServerLockGuard guard;
    return port_ != nullptr ? static_cast<std::int16_t>(port_->PortNumber()) : 0;
}

bool CDocComm::GetFlowControl(bool& dtrDsr, bool& rtsCts, bool& xonXoff) {
    plat::ServerLockGuard guard;
    if (port_ == nullptr) return false;
    return port_->QueryFlowControl(dtrDsr, rtsCts, xonXoff);
}

std::int16_t CDocComm::ReceiveXModemFile(const std::string& fileName, std::int32_t length,
                                         std::int16_t window) {
    return tolvan::ReceiveXModemFile(*this, fileName, length, window);
}

std::int16_t CDocComm::SetDTRLine(bool on) {
    plat::ServerLockGuard guard;
    if (port_ == nullptr) return kStatusNotSetUp;
    return static_cast<std::int16_t>(port_->SetDtr(on));
}

std::int16_t CDocComm::SetRTSLine(bool on) {
    plat::ServerLockGuard guard;
    if (port_ == nullptr) return kStatusNotSetUp;
    return static_cast<std::int16_t>(port_->SetRts(on));
}

void CDocComm::GetAvailableCOMM(std::span<std::uint8_t> buffer) {
    CopyZeroTerminated(buffer, AvailablePorts(true));
}

std::string CDocComm::AvailablePorts(bool afterProbe) {
    plat::ServerLockGuard guard;
    std::string list;
    if (g_registry != nullptr) {
        if (afterProbe) g_registry->WaitForProbe();
        std::vector<std::int32_t> numbers;
        for (const auto& port : g_registry->Ports()) numbers.push_back(port->PortNumber());
        std::sort(numbers.begin(), numbers.end());
        for (std::int32_t n : numbers) {
            if (!list.empty()) list += ',';
            list += "COM" + std::to_string(n);
        }
    }
    return list;
}

void CDocComm::AbortXfert() {
    tolvan::AbortXfert(*this);
}

void CDocComm::AddRef() {
    plat::ServerLockGuard guard;
    ExternalAddRef();
}

void CDocComm::Release() {
    CDocComm::ReleasePoster poster;
    {
        plat::ServerLockGuard guard;
        poster = g_releasePoster;
    }
    if (poster) {
        poster([this] {
            plat::ServerLockGuard guard;
            ExternalRelease();
        });
        return;
    }
    plat::ServerLockGuard guard;
    ExternalRelease();
}

void CDocComm::SetReleasePoster(ReleasePoster poster) {
    plat::ServerLockGuard guard;
    g_releasePoster = std::move(poster);
}

// --- Dispatch ------------------------------------------------------------------------

namespace {

using C = CDocComm;
using Span = std::span<std::uint8_t>;

const tfw::MemberBinding kCommBindings[] = {
    tfw::BindProperty<&C::GetTBuffSize, &C::SetTBuffSize>(),
    tfw::BindProperty<&C::GetRBuffSize, &C::SetRBuffSize>(),
    tfw::Bind<&C::ConnectToPort>(),
    tfw::Bind<&C::ReadFromPort>(),
    tfw::Bind<&C::ReadStringFromPort>(),
    tfw::Bind<&C::WriteToPort>(),
    tfw::Bind<&C::SetParam>(),
    tfw::Bind<&C::SetFlowControl>(),
    tfw::Bind<static_cast<void (C::*)()>(&C::ClearRBuff)>(),
    tfw::Bind<&C::ClearTBuff>(),
    tfw::Bind<&C::CloseConnection>(),
    tfw::Bind<&C::SetDefBufSize>(),
    tfw::Bind<&C::GetPortError>(),
    tfw::Bind<&C::ClearPortError>(),
    tfw::Bind<&C::GetCommErrorName>(),
    tfw::Bind<&C::IsOverflow>(),
    tfw::Bind<&C::LockPort>(),
    tfw::Bind<&C::UnlockPort>(),
    tfw::Bind<static_cast<bool (C::*)()>(&C::IsConnected)>(),
    tfw::Bind<&C::GetPortSettings>(),
    tfw::Bind<&C::GetPortNumber>(),
    tfw::Bind<&C::GetFlowControl>(),
    tfw::Bind<static_cast<std::int16_t (C::*)(Span, std::int16_t, std::int32_t)>(
        &C::ReadFromPortTimed)>(),
    tfw::Bind<&C::ReadStringFromPortTimed>(),
    tfw::Bind<&C::ReadCharFromPort>(),
    tfw::Bind<static_cast<std::int16_t (C::*)(std::int32_t)>(&C::ReadCharFromPortTimed)>(),
    tfw::Bind<static_cast<std::int16_t (C::*)(std::int16_t)>(&C::WriteCharToPort)>(),
    tfw::Bind<&C::ReceiveXModemFile>(),
    tfw::Bind<&C::SetDTRLine>(),
    tfw::Bind<&C::SetRTSLine>(),
    tfw::Bind<&C::SpaceFreeInRXBuffer>(),
    tfw::Bind<&C::SpaceFreeInTXBuffer>(),
    tfw::Bind<&C::SpaceUsedInRXBuffer>(),
    tfw::Bind<&C::SpaceUsedInTXBuffer>(),
    tfw::Bind<&C::GetAvailableCOMM>(),
    tfw::Bind<static_cast<void (C::*)()>(&C::AbortXfert)>(),
};

static_assert(std::size(kCommBindings) == kCommMemberCount);

}  // namespace

const tfw::DispatchClass& CDocComm::CommDispatchClass() {
    static const tfw::DispatchClass cls("CDocComm", kCommInterfaceName, CommMembers(),
                                        kCommBindings, nullptr);
    return cls;
}

const tfw::DispatchClass& CDocComm::GetDispatchClass() const {
    return CommDispatchClass();
}

}  // namespace tolvan
