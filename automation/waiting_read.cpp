#include "automation/waiting_read.h"

namespace tdbus {

std::unique_ptr<WaitingRead> WaitingRead::Start(ResolvedCall call, const QDBusMessage& message,
                                                const QDBusConnection& connection,
                                                const CallTarget& target) {
    auto* doc = dynamic_cast<tolvan::CDocComm*>(&target.channel->Target());
    if (doc == nullptr || call.info == nullptr) return nullptr;
    using Kind = tolvan::TimedRead::Kind;
    const std::string_view name = call.info->name;
    Kind kind;
    if (name == "ReadFromPortTimed")
        kind = Kind::kBytes;
    else if (name == "ReadStringFromPortTimed")
        kind = Kind::kString;
    else if (name == "ReadCharFromPortTimed")
        kind = Kind::kChar;
    else
        return nullptr;
    // The argument types are the member's own (ResolveMethod): (buffer, count, ms),
    // (buffer, size, terminator, ms), (ms).
    std::unique_ptr<WaitingRead> read(new WaitingRead(std::move(call), message, connection, *doc));
    std::vector<tfw::Variant>& args = read->call_.args;
    switch (kind) {
        case Kind::kBytes:
            read->ms_ = args[2].AsI4();
            read->read_ = doc->StartTimedRead(kind, args[0].Bytes(), args[1].AsI2());
            break;
        case Kind::kString:
            read->ms_ = args[3].AsI4();
            read->read_ =
                doc->StartTimedRead(kind, args[0].Bytes(), args[1].AsI2(), args[2].AsI2());
            break;
        case Kind::kChar:
            read->ms_ = args[0].AsI4();
            read->read_ = doc->StartTimedRead(kind);
            break;
    }
    return read;
}

bool WaitingRead::Try(bool last, tolvan::plat::WaitTarget& sleep) {
    if (!doc_.TryTimedRead(read_) && !last) {
        sleep = doc_.ReceiveWaitTarget();
        return false;
    }
    result_ = tfw::Variant::I2(doc_.EndTimedRead(read_));
    return true;
}

void WaitingRead::Answer() {
    connection_.send(ChannelRouter::Reply(message_, call_, result_));
    if (ended_) ended_();
}

}  // namespace tdbus
