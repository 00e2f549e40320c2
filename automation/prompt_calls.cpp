#include "automation/prompt_calls.h"

#include <QList>
#include <QVariant>

#include <algorithm>
#include <array>

namespace tdbus {

namespace {

// Each of these takes the server lock for a moment, polls or pushes the device without
// waiting and returns; none reaches a message box or the platform's wait.
constexpr std::array<std::string_view, 13> kPromptMembers = {
    "IsConnected",         "ReadFromPort",        "ReadStringFromPort",  "WriteToPort",
    "ReadCharFromPort",    "WriteCharToPort",     "IsOverflow",          "GetPortError",
    "GetPortNumber",       "SpaceFreeInRXBuffer", "SpaceFreeInTXBuffer", "SpaceUsedInRXBuffer",
    "SpaceUsedInTXBuffer",
};

const QString kDispatchInterface = QStringLiteral("Tolvan32.Dispatch");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

}  // namespace

bool IsPromptMember(std::string_view name) {
    return std::find(kPromptMembers.begin(), kPromptMembers.end(), name) != kPromptMembers.end();
}

bool IsPromptCall(const QDBusMessage& message, const tfw::DispatchClass& cls) {
    const QString iface = message.interface();
    if (iface == kPropertiesInterface) return false;
    const QString member = message.member();
    if (iface == kDispatchInterface || iface.isEmpty()) {
        if (member == QLatin1String("GetIDsOfNames")) return true;
        if (member == QLatin1String("Invoke")) {
            if (message.signature() != QLatin1String("iiav")) return true;  // refused at once
            const QList<QVariant> in = message.arguments();
            if (in[1].toInt() != tfw::kDispatchMethod) return false;
            const tfw::MemberInfo* info = cls.FindMember(in[0].toInt());
            // An unknown identifier is refused without reaching the channel.
            return info == nullptr ||
                   (info->kind == tfw::MemberKind::Method && IsPromptMember(info->name));
        }
        if (iface == kDispatchInterface) return true;  // no such member: refused at once
    }
    const QByteArray name = member.toLatin1();
    return IsPromptMember(
        std::string_view(name.constData(), static_cast<std::size_t>(name.size())));
}

}  // namespace tdbus
