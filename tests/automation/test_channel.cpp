#include "tests/automation/test_channel.h"

#include "automation/contract/comm_members.h"
#include "channels/file_transfer.h"
#include "framework/dispatch_binding.h"
#include "ports/status_text.h"
#include "tests/support/xmodem_pty_link.h"

#include <algorithm>
#include <cstring>

namespace tolvan::test {

namespace {

constexpr std::int16_t kNotSupported = -24;
constexpr std::int16_t kNotSetUp = -6;

// What a channel writes into a client's string: the text and its zero byte, cut to the
// buffer.
void CopyText(std::span<std::uint8_t> buffer, const std::string& text) {
    const std::size_t n = std::min(buffer.size(), text.size() + 1);
    std::memcpy(buffer.data(), text.c_str(), n);
}

const tfw::MemberBinding kBindings[] = {
    tfw::BindProperty<&TestChannel::GetTBuffSize, &TestChannel::SetTBuffSize>(),
    tfw::BindProperty<&TestChannel::GetRBuffSize, &TestChannel::SetRBuffSize>(),
    tfw::Bind<&TestChannel::ConnectToPort>(),
    tfw::Bind<&TestChannel::ReadFromPort>(),
    tfw::Bind<&TestChannel::ReadStringFromPort>(),
    tfw::Bind<&TestChannel::WriteToPort>(),
    tfw::Bind<&TestChannel::SetParam>(),
    tfw::Bind<&TestChannel::SetFlowControl>(),
    tfw::Bind<&TestChannel::ClearRBuff>(),
    tfw::Bind<&TestChannel::ClearTBuff>(),
    tfw::Bind<&TestChannel::CloseConnection>(),
    tfw::Bind<&TestChannel::SetDefBufSize>(),
    tfw::Bind<&TestChannel::GetPortError>(),
    tfw::Bind<&TestChannel::ClearPortError>(),
    tfw::Bind<&TestChannel::GetCommErrorName>(),
    tfw::Bind<&TestChannel::IsOverflow>(),
    tfw::Bind<&TestChannel::LockPort>(),
    tfw::Bind<&TestChannel::UnlockPort>(),
    tfw::Bind<&TestChannel::IsConnected>(),
    tfw::Bind<&TestChannel::GetPortSettings>(),
    tfw::Bind<&TestChannel::GetPortNumber>(),
    tfw::Bind<&TestChannel::GetFlowControl>(),
    tfw::Bind<&TestChannel::ReadFromPortTimed>(),
    tfw::Bind<&TestChannel::ReadStringFromPortTimed>(),
    tfw::Bind<&TestChannel::ReadCharFromPort>(),
    tfw::Bind<&TestChannel::ReadCharFromPortTimed>(),
    tfw::Bind<&TestChannel::WriteCharToPort>(),
    tfw::Bind<&TestChannel::ReceiveXModemFile>(),
    tfw::Bind<&TestChannel::SetDTRLine>(),
    tfw::Bind<&TestChannel::SetRTSLine>(),
    tfw::Bind<&TestChannel::SpaceFreeInRXBuffer>(),
    tfw::Bind<&TestChannel::SpaceFreeInTXBuffer>(),
    tfw::Bind<&TestChannel::SpaceUsedInRXBuffer>(),
    tfw::Bind<&TestChannel::SpaceUsedInTXBuffer>(),
    tfw::Bind<&TestChannel::GetAvailableCOMM>(),
    tfw::Bind<&TestChannel::AbortXfert>(),
};

}  // namespace

const tfw::DispatchClass& TestChannel::PlainClass() {
    static const tfw::DispatchClass cls("TestChannel", kCommInterfaceName, CommMembers(), kBindings,
                                        nullptr);
    return cls;
}

const tfw::DispatchClass& TestChannel::GetDispatchClass() const {
    return PlainClass();
}

const tfw::DispatchClass& TestDerivedChannel::GetDispatchClass() const {
    static const tfw::DispatchClass cls("TestDerivedChannel", "", {}, {}, &PlainClass());
    return cls;
}

std::int16_t TestChannel::GetTBuffSize() const {
    return double_.Port() ? static_cast<std::int16_t>(double_.Port()->TxSize()) : 0;
}

void TestChannel::SetTBuffSize(std::int16_t size) {
    ++calls;
    if (double_.Port()) double_.Port()->ResizeTransmit(static_cast<std::uint32_t>(size));
}

std::int16_t TestChannel::GetRBuffSize() const {
    return double_.Port() ? static_cast<std::int16_t>(double_.Port()->RxSize()) : 0;
}

void TestChannel::SetRBuffSize(std::int16_t size) {
    ++calls;
    if (double_.Port()) double_.Port()->ResizeReceive(static_cast<std::uint32_t>(size));
}

std::int16_t TestChannel::ConnectToPort(std::int16_t port, std::int32_t baud, std::int16_t parity,
                                        std::int16_t wordLength, std::int16_t stopBits) {
    ++calls;
    return static_cast<std::int16_t>(
        registry_.ConnectChannel(&double_, port, baud, parity, wordLength, stopBits));
}

std::int16_t TestChannel::ReadFromPort(std::span<std::uint8_t> buffer, std::int16_t count) {
    ++calls;
    if (count <= 0) return 0;
    const std::size_t n = std::min<std::size_t>(buffer.size(), static_cast<std::size_t>(count));
    return static_cast<std::int16_t>(double_.ReadFromPort(buffer.first(n)));
}

std::int16_t TestChannel::ReadStringFromPort(std::span<std::uint8_t>, std::int16_t, std::int16_t) {
    ++calls;
    return kNotSupported;
}

std::int16_t TestChannel::WriteToPort(std::span<std::uint8_t> buffer, std::int16_t count) {
    ++calls;
    if (count <= 0) return 0;
    const std::size_t n = std::min<std::size_t>(buffer.size(), static_cast<std::size_t>(count));
    return static_cast<std::int16_t>(double_.WriteToPort(buffer.first(n)));
}

std::int16_t TestChannel::SetParam(std::int32_t baud, std::int16_t parity, std::int16_t wordLength,
                                   std::int16_t stopBits) {
    ++calls;
    if (!double_.Port()) return kNotSetUp;
    return static_cast<std::int16_t>(
        double_.Port()->Reconfigure(baud, parity, wordLength, stopBits));
}

std::int16_t TestChannel::SetFlowControl(bool dtrDsr, bool rtsCts, bool xonXoff) {
    ++calls;
    if (!double_.Port()) return kNotSetUp;
    return static_cast<std::int16_t>(double_.Port()->ApplyFlowControl(dtrDsr, rtsCts, xonXoff));
}

void TestChannel::ClearRBuff() {
    ++calls;
}
void TestChannel::ClearTBuff() {
    ++calls;
}

std::int16_t TestChannel::CloseConnection() {
    ++calls;
    double_.Disconnect();
    return 0;
}

void TestChannel::SetDefBufSize(std::int16_t rx, std::int16_t tx) {
    ++calls;
    registry_.SetDefaultSizes(static_cast<std::uint32_t>(rx), static_cast<std::uint32_t>(tx));
}

std::int16_t TestChannel::GetPortError() {
    ++calls;
    return double_.Port() ? 0 : kNotSetUp;
}

void TestChannel::ClearPortError() {
    ++calls;
}

void TestChannel::GetCommErrorName(std::span<std::uint8_t> buffer, std::int16_t code) {
    ++calls;
    CopyText(buffer, GetStatusText(code));
}

bool TestChannel::IsOverflow() {
    ++calls;
    return false;
}

void TestChannel::LockPort() {
    ++calls;
    if (double_.Port()) double_.Port()->LockFor(&double_);
}

void TestChannel::UnlockPort() {
    ++calls;
    if (double_.Port()) double_.Port()->UnlockFor(&double_);
}

bool TestChannel::IsConnected() const {
    return double_.Port() != nullptr;
}

bool TestChannel::GetPortSettings(std::int32_t& baud, std::int16_t& parity,
                                  std::int16_t& wordLength, std::int16_t& stopBits) {
    ++calls;
    return double_.Port() && double_.Port()->QuerySettings(baud, parity, wordLength, stopBits);
}

std::int16_t TestChannel::GetPortNumber() const {
    return double_.Port() ? static_cast<std::int16_t>(double_.Port()->PortNumber()) : 0;
}

bool TestChannel::GetFlowControl(bool& dtrDsr, bool& rtsCts, bool& xonXoff) {
    ++calls;
    return double_.Port() && double_.Port()->QueryFlowControl(dtrDsr, rtsCts, xonXoff);
}

std::int16_t TestChannel::ReadFromPortTimed(std::span<std::uint8_t>, std::int16_t, std::int32_t) {
    ++calls;
    return kNotSupported;
}

std::int16_t TestChannel::ReadStringFromPortTimed(std::span<std::uint8_t>, std::int16_t,
                                                  std::int16_t, std::int32_t) {
    ++calls;
    return kNotSupported;
}

std::int16_t TestChannel::ReadCharFromPort() {
    ++calls;
    return kNotSupported;
}

std::int16_t TestChannel::ReadCharFromPortTimed(std::int32_t) {
    ++calls;
    return kNotSupported;
}

std::int16_t TestChannel::WriteCharToPort(std::int16_t ch) {
    ++calls;
    std::uint8_t byte = static_cast<std::uint8_t>(ch);
    return static_cast<std::int16_t>(double_.WriteToPort(std::span<const std::uint8_t>(&byte, 1)));
}

std::int16_t TestChannel::ReceiveXModemFile(const std::string& name, std::int32_t length,
                                            std::int16_t window) {
    ++calls;
    if (xmodemFd_ < 0) return kNotSupported;
    XModemPtyLink* link = XModemPtyLink::Create(xmodemFd_);
    const std::int16_t status = tolvan::ReceiveXModemFile(*link, name, length, window);
    link->Release();  // a running reception holds its own reference
    return status;
}

std::int16_t TestChannel::SetDTRLine(bool on) {
    ++calls;
    return double_.Port() ? static_cast<std::int16_t>(double_.Port()->SetDtr(on)) : kNotSetUp;
}

std::int16_t TestChannel::SetRTSLine(bool on) {
    ++calls;
    return double_.Port() ? static_cast<std::int16_t>(double_.Port()->SetRts(on)) : kNotSetUp;
}

std::int32_t TestChannel::SpaceFreeInRXBuffer() {
    ++calls;
    return double_.Rx() ? static_cast<std::int32_t>(double_.Rx()->Size() - double_.Rx()->Count())
                        : 0;
}

std::int32_t TestChannel::SpaceFreeInTXBuffer() {
    ++calls;
    return double_.Tx() ? static_cast<std::int32_t>(double_.Tx()->Size() - double_.Tx()->Count())
                        : 0;
}

std::int32_t TestChannel::SpaceUsedInRXBuffer() {
    ++calls;
    if (!double_.Port() || !double_.Rx()) return 0;
    double_.Port()->PollReceive();
    return static_cast<std::int32_t>(double_.Rx()->Count());
}

std::int32_t TestChannel::SpaceUsedInTXBuffer() {
    ++calls;
    return double_.Tx() ? static_cast<std::int32_t>(double_.Tx()->Count()) : 0;
}

void TestChannel::GetAvailableCOMM(std::span<std::uint8_t> buffer) {
    ++calls;
    std::string list;
    for (const auto& port : registry_.Ports()) {
        if (!list.empty()) list += ',';
        list += port->PortName();
    }
    CopyText(buffer, list);
}

void TestChannel::AbortXfert() {
    ++calls;
}

// One hosted channel: counts the references the server mirrors and deletes the channel
// at the last one.
class TestHost::Hosted : public tdbus::HostedChannel {
public:
    Hosted(TestHost& host, int n, std::unique_ptr<TestChannel> channel)
        : host_(host), n_(n), channel_(std::move(channel)) {}
    tfw::DispatchTarget& Target() override { return *channel_; }
    void AddRef() override { ++refs_; }
    void Release() override {
        if (--refs_ > 0) return;
        host_.hosted_[n_] = nullptr;
        --host_.live_;
        delete this;
    }
    TestChannel* Channel() const { return channel_.get(); }
    int refs_ = 1;

private:
    TestHost& host_;
    int n_;
    std::unique_ptr<TestChannel> channel_;
};

TestHost::~TestHost() {
    for (auto& [n, hosted] : hosted_) delete hosted;
}

tdbus::HostedChannel* TestHost::CreateChannel(tdbus::ChannelClass cls) {
    std::unique_ptr<TestChannel> channel;
    if (cls == tdbus::ChannelClass::Plain)
        channel = std::make_unique<TestChannel>(registry_, xmodemFd_);
    else if (cls == tdbus::ChannelClass::InfraRed)
        channel = std::make_unique<TestDerivedChannel>(registry_, xmodemFd_);
    else
        return nullptr;
    const int n = ++created_;
    auto* hosted = new Hosted(*this, n, std::move(channel));
    hosted_[n] = hosted;
    ++live_;
    return hosted;
}

TestChannel* TestHost::Channel(tdbus::HostedChannel* hosted) const {
    for (const auto& [n, h] : hosted_)
        if (h && h == hosted) return h->Channel();
    return nullptr;
}

tdbus::HostedChannel* TestHost::HostedAt(int n) const {
    auto it = hosted_.find(n);
    return it == hosted_.end() ? nullptr : it->second;
}

int TestHost::References(int n) const {
    auto it = hosted_.find(n);
    return it == hosted_.end() || !it->second ? 0 : it->second->refs_;
}

}  // namespace tolvan::test
