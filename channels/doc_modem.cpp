#include "channels/doc_modem.h"

#include "automation/contract/modem_members.h"
#include "framework/dispatch_binding.h"
#include "platform/server_lock.h"
#include "ports/shared_port.h"

#include <algorithm>
#include <vector>

namespace tolvan {

namespace {

std::unique_ptr<tfw::CDocument> CreateModem() {
    return std::make_unique<CDocModem>();
}

}  // namespace

CDocModem::CDocModem() = default;
CDocModem::~CDocModem() = default;

const tfw::DocumentClass& CDocModem::Class() {
    static const tfw::DocumentClass kClass{"CDocModem", 0, &CreateModem};
    return kClass;
}

const tfw::DispatchClass& CDocModem::ModemDispatchClass() {
    static const tfw::MemberBinding kBindings[] = {
        tfw::BindProperty<&CDocModem::GetResponse, &CDocModem::SetResponse>(),
        tfw::BindProperty<&CDocModem::GetCommandMode, &CDocModem::SetCommandMode>(),
        tfw::BindProperty<&CDocModem::GetFixedDelay, &CDocModem::SetFixedDelay>(),
        tfw::Bind<&CDocModem::DoCommand>(),
        tfw::Bind<&CDocModem::SendString>(),
        tfw::Bind<&CDocModem::SetRegister>(),
        tfw::Bind<&CDocModem::GetRegister>(),
        tfw::Bind<&CDocModem::Dial>(),
        tfw::Bind<&CDocModem::AutoSetEcho>(),
        tfw::Bind<&CDocModem::AutoSetReply>(),
        tfw::Bind<&CDocModem::SetLoud>(),
        tfw::Bind<&CDocModem::SetSpeaker>(),
        tfw::Bind<&CDocModem::AutoSetPulseDial>(),
        tfw::Bind<&CDocModem::AutoSetReplyMode>(),
    };
    static_assert(std::size(kBindings) == kModemMemberCount);
    static const tfw::DispatchClass kClass("CDocModem", kModemInterfaceName, ModemMembers(),
                                           kBindings, &CDocComm::CommDispatchClass());
    return kClass;
}

const tfw::DispatchClass& CDocModem::GetDispatchClass() const {
    return ModemDispatchClass();
}

void CDocModem::SetResponse(std::string text) {
    plat::ServerLockGuard lock;
    mode_.strResponse = std::move(text);
}

void CDocModem::SetCommandMode(std::int16_t value) {
    plat::ServerLockGuard lock;
    mode_.nWorkMode = value;
}

void CDocModem::SetFixedDelay(std::int16_t ms) {
    plat::ServerLockGuard lock;
    mode_.nTimeout = ms;
}

ModemChannelSettings CDocModem::SettingsNow() const {
    plat::ServerLockGuard lock;
    return settings_;
}

// The link the modem commands stand on. Each step holds the server lock; the waits
// between the steps let it go.

bool CDocModem::LinkConnected() const {
    plat::ServerLockGuard lock;
    return Port() != nullptr;
}

bool CDocModem::LinkLockedByOther() const {
    plat::ServerLockGuard lock;
    return LockedByOther();
}

bool CDocModem::LinkLock() {
    plat::ServerLockGuard lock;
    return Port() != nullptr && Port()->LockFor(this) != 0;
}

void CDocModem::LinkUnlock() {
    plat::ServerLockGuard lock;
    // The channel may have been closed or moved while a command waited.
    if (Port() != nullptr && Port()->LockOwner() == this) Port()->UnlockFor(this);
}

std::int32_t CDocModem::LinkWrite(std::span<const std::uint8_t> bytes) {
    // Automation counts are 16-bit: a longer text goes out in several writes.
    std::int32_t stored = 0;
    std::vector<std::uint8_t> piece;
    while (!bytes.empty()) {
        const std::size_t n = std::min<std::size_t>(bytes.size(), 32767);
        piece.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
        const std::int16_t got = WriteToPort(piece, static_cast<std::int16_t>(n));
        if (got <= 0) break;
        stored += got;
        if (static_cast<std::size_t>(got) < n) break;
        bytes = bytes.subspan(n);
    }
    return stored;
}

std::int32_t CDocModem::LinkReadString(std::span<std::uint8_t> destination,
                                       std::int16_t terminator) {
    const auto n = static_cast<std::int16_t>(std::min<std::size_t>(destination.size(), 32767));
    return ReadStringFromPort(destination, n, terminator);
}

std::int32_t CDocModem::LinkRead(std::span<std::uint8_t> destination) {
    const auto n = static_cast<std::int16_t>(std::min<std::size_t>(destination.size(), 32767));
    return ReadFromPort(destination, n);
}

std::uint32_t CDocModem::LinkHeld() const {
    plat::ServerLockGuard lock;
    return ReceiveBuffer() != nullptr ? ReceiveBuffer()->Count() : 0;
}

void CDocModem::LinkClearReceive() {
    ClearRBuff();
}

std::int16_t CDocModem::LinkLastError() {
    return GetPortError();
}

}  // namespace tolvan
