#include "tests/support/channel_double.h"

#include "platform/server_lock.h"

namespace tolvan::test {

ChannelDouble::~ChannelDouble() {
    Disconnect();
}

void ChannelDouble::SetPort(CSharedPort* port) {
    plat::ServerLockGuard guard;  // as the channel document does: a drainer shares the views
    rx_.reset();
    tx_.reset();
    if (port_ != nullptr) port_->Detach(this);
    port_ = port;
    if (port_ == nullptr) return;
    rx_ = std::make_unique<CChannelBuffer>(port_->RxSize(), port_->RxMemory(), port_->RxPosition());
    tx_ = std::make_unique<CChannelBuffer>(port_->TxSize(), port_->TxMemory(), port_->TxPosition());
}

void ChannelDouble::RefreshTitle() {
    ++titleRefreshes;
    title.clear();
    int32_t baud = 0;
    int16_t parity = 0, word = 0, stop = 0;
    if (port_ != nullptr && port_->QuerySettings(baud, parity, word, stop)) {
        title = port_->PortName() + " " + std::to_string(baud) + " " + static_cast<char>(parity) +
                " " + std::to_string(word) + " " + std::to_string(stop);
    }
}

void ChannelDouble::Disconnect() {
    plat::ServerLockGuard guard;  // as the channel document does: a drainer shares the views
    rx_.reset();
    tx_.reset();
    if (port_ != nullptr) port_->Detach(this);
    port_ = nullptr;
}

uint32_t ChannelDouble::ReadFromPort(std::span<uint8_t> destination) {
    plat::ServerLockGuard guard;  // as the channel document does: a drainer shares the views
    if (port_ == nullptr || !rx_) return 0;
    port_->PollReceive();
    return rx_->Read(destination);
}

std::vector<uint8_t> ChannelDouble::ReadAll() {
    plat::ServerLockGuard guard;  // as the channel document does: a drainer shares the views
    if (port_ == nullptr || !rx_) return {};
    port_->PollReceive();
    std::vector<uint8_t> out(rx_->Count());
    out.resize(rx_->Read(out));
    return out;
}

uint32_t ChannelDouble::WriteToPort(std::span<const uint8_t> source) {
    plat::ServerLockGuard guard;  // as the channel document does: a drainer shares the views
    if (port_ == nullptr || !tx_ || port_->IsLockedByOther(this)) return 0;
    const uint32_t stored = tx_->Write(source);
    port_->PushTransmit(tx_->Count());
    return stored;
}

uint32_t ChannelDouble::TxCount() const {
    plat::ServerLockGuard guard;
    return tx_ ? tx_->Count() : 0;
}

uint32_t ChannelDouble::WriteToPort(const std::string& text) {
    return WriteToPort(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

}  // namespace tolvan::test
