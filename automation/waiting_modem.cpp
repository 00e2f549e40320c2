#include "automation/waiting_modem.h"

#include "automation/contract/modem_members.h"
#include "channels/doc_modem.h"

#include <algorithm>
#include <iterator>
#include <string_view>

namespace tdbus {

namespace {

using tolvan::ModemPending;

constexpr std::string_view kWaitingMembers[] = {
    "DoCommand", "SetRegister",  "GetRegister", "SetEcho",
    "SetReply",  "SetReplyMode", "SetLoud",     "SetSpeaker",
};

}  // namespace

bool WaitingModem::Wants(const ResolvedCall& call) {
    const tfw::MemberInfo* info = call.info;
    const auto members = ModemMembers();
    if (std::none_of(members.begin(), members.end(),
                     [info](const tfw::MemberInfo& m) { return &m == info; }))
        return false;
    return std::find(std::begin(kWaitingMembers), std::end(kWaitingMembers), info->name) !=
           std::end(kWaitingMembers);
}

std::unique_ptr<WaitingModem> WaitingModem::Start(ResolvedCall call, const QDBusMessage& message,
                                                  const QDBusConnection& connection,
                                                  const CallTarget& target) {
    auto* doc = dynamic_cast<tolvan::CDocModem*>(&target.channel->Target());
    if (doc == nullptr || !Wants(call)) return nullptr;
    const std::string_view name = call.info->name;
    // The argument types are the member's own (ResolveMethod).
    const std::vector<tfw::Variant>& args = call.args;
    tolvan::ModemCommands& commands = doc->Commands();
    std::unique_ptr<ModemPending> pending;
    std::int16_t status = 0;
    ModemPending::Begun begun;
    using Setting = ModemPending::Setting;
    if (name == "DoCommand")
        begun = ModemPending::BeginCommand(commands, args[0].AsString(), status, pending);
    else if (name == "SetRegister")
        begun = ModemPending::BeginCommand(
            commands, tolvan::SetRegisterText(args[0].AsI2(), args[1].AsI2()), status, pending);
    else if (name == "GetRegister")
        begun = ModemPending::BeginRegisterRead(commands, args[0].AsI2(), status, pending);
    else if (name == "SetEcho")
        begun = ModemPending::BeginSetting(commands, Setting::kEcho, args[0].AsBool() ? 1 : 0,
                                           status, pending);
    else if (name == "SetReply")
        begun = ModemPending::BeginSetting(commands, Setting::kReply, args[0].AsBool() ? 1 : 0,
                                           status, pending);
    else if (name == "SetReplyMode")
        begun = ModemPending::BeginSetting(commands, Setting::kReplyMode, args[0].AsBool() ? 1 : 0,
                                           status, pending);
    else if (name == "SetLoud")
        begun =
            ModemPending::BeginSetting(commands, Setting::kLoud, args[0].AsI2(), status, pending);
    else if (name == "SetSpeaker")
        begun = ModemPending::BeginSetting(commands, Setting::kSpeaker, args[0].AsI2(), status,
                                           pending);
    else
        return nullptr;
    if (begun == ModemPending::Begun::kBusy) return nullptr;
    auto waiting =
        std::make_unique<WaitingModem>(Key{}, std::move(call), message, connection, *doc);
    waiting->status_ = status;
    if (begun == ModemPending::Begun::kPending) {
        waiting->pending_ = std::move(pending);
        waiting->StartWait();
    }
    return waiting;
}

void WaitingModem::StartWait() {
    deadline_ = WaitReactor::Clock::now() + std::chrono::milliseconds(pending_->LimitMs());
}

bool WaitingModem::Try(bool last, tolvan::plat::WaitTarget& sleep) {
    moved_ = false;
    if (!pending_) return true;
    const ModemPending::Step step = pending_->Try(last);
    if (step == ModemPending::Step::kEnded) {
        status_ = pending_->Status();
        pending_.reset();
        return true;
    }
    if (step == ModemPending::Step::kNextWait) {
        StartWait();
        moved_ = true;
    }
    sleep = doc_.ReceiveWaitTarget();
    return false;
}

std::optional<WaitReactor::Clock::time_point> WaitingModem::NextDeadline() {
    if (!moved_) return std::nullopt;
    return deadline_;
}

void WaitingModem::Answer() {
    // The reactor stops: the command's waits end as their time being up would.
    while (pending_) {
        if (pending_->Try(true) != ModemPending::Step::kEnded) continue;
        status_ = pending_->Status();
        pending_.reset();
    }
    connection_.send(ChannelRouter::Reply(message_, call_, tfw::Variant::I2(status_)));
    if (ended_) ended_();
}

}  // namespace tdbus
