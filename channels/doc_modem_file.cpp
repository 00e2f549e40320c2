#include "channels/doc_modem_settings.h"

namespace tolvan {

void StoreModemSettings(tfw::CArchive& ar, const ModemChannelSettings& s) {
    ar << static_cast<std::uint8_t>(s.chDelay);
    ar << std::string_view(s.strDialPrefix) << std::string_view(s.strDialSuffix)
       << std::string_view(s.strHangUp) << std::string_view(s.strInit);
    ar << static_cast<std::uint16_t>(s.nMaxRedials) << static_cast<std::uint16_t>(s.nRedialPause);
}

bool LoadModemSettings(tfw::CArchive& ar, ModemChannelSettings& s) {
    std::uint8_t delay = 0;
    if (ar.ReadInt(delay)) s.chDelay = static_cast<char>(delay);
    // Read into scratch strings, so a cut-off file leaves the defaults, not half a value.
    std::string text;
    for (std::string* field : {&s.strDialPrefix, &s.strDialSuffix, &s.strHangUp, &s.strInit})
        if (ar.ReadString(text)) *field = text;
    std::uint16_t count = 0;
    if (ar.ReadInt(count)) s.nMaxRedials = count;
    if (ar.ReadInt(count)) s.nRedialPause = count;
    return ar.Ok();
}

}  // namespace tolvan

#include "channels/doc_modem.h"

namespace tolvan {

void CDocModem::Serialize(tfw::CArchive& ar) {
    CDocComm::Serialize(ar);
    // Copies taken and put back under the server lock: the channel's lane may run a
    // command or the settings sheet's work meanwhile.
    if (ar.IsStoring()) {
        StoreModemSettings(ar, SettingsNow());
    } else {
        ModemChannelSettings loaded = SettingsNow();
        LoadModemSettings(ar, loaded);
        plat::ServerLockGuard lock;
        mode_ = AndModemMode{};
        settings_ = std::move(loaded);
    }
}

}  // namespace tolvan
