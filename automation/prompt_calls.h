// Channel calls that cannot wait: members that only look at the channel and its port and
// move bytes between them and the caller, never sleep and never ask the user. The server
// answers such a call where it arrives, without handing it to a worker, when nothing else
// of its channel is under way.
#pragma once

#include "framework/dispatch_class.h"

#include <QDBusMessage>

#include <string_view>

namespace tdbus {

// True for the members named above (exact names, as in the member tables).
bool IsPromptMember(std::string_view name);

// True when `message` calls such a member of a channel of class `cls`: a typed method, or
// Tolvan32.Dispatch.Invoke as a method call, or GetIDsOfNames. Property access and every
// other member may wait and go to a worker.
bool IsPromptCall(const QDBusMessage& message, const tfw::DispatchClass& cls);

}  // namespace tdbus
