// The modem channel's menu: the plain channel's commands and setup sheet, plus the modem's
// own (all enabled while the channel is connected):
//   32789 modem settings (the "Modem Settings" sheet of the modem mode, then the modem is
//         set up), 32790 init string, 32795 hang up, 32796 a typed command, 32797 dial from
//         the phone list, 32798 "A/" (repeat the last command), 32799 send a list of files.
// Results of these commands are not shown.
//
// The setup sheet adds the "Modem" page: the channel's command strings and dialing
// settings, and the modem's S8 (delay time) and S7 (connect time) as read when the sheet
// opens (2 and 30 when they cannot be read, as for a channel not yet connected). On OK the
// line is applied as for a plain channel, the page goes back into the channel, and S8, S7
// and the DTR setting are written to the modem, paced in work mode 0.
#pragma once

#include "app/channel_commands.h"

#include <functional>
#include <optional>

namespace tolvan {
class CDocModem;
}

namespace tolvan::app {

// Shown for S8 and S7 when the modem did not tell.
inline constexpr unsigned kDefaultDelayTime = 2;
inline constexpr unsigned kDefaultConnectTime = 30;

class ModemChannelCommands : public ChannelCommands {
    Q_OBJECT
public:
    ModemChannelCommands(CDocModem& modem, ChannelCommandContext context,
                         QObject* parent = nullptr);

    bool UpdateCommand(int id, CommandState& state) override;
    bool ExecuteCommand(int id) override;

    std::unique_ptr<kerdal::PropertySheet> CreateSetupSheet(unsigned captionId, QWidget* parent,
                                                            int mode) override;
    // The plain channel's steps, then the "Modem" page back into the channel and the
    // registers to the modem; the result of the last modem command (or the failing status
    // of the line).
    SetupWork PlanSetupSheet(kerdal::PropertySheet& sheet, int mode) override;

    CDocModem& Modem() const { return modem_; }

protected:
    // S8 and S7 read on the lane; the sheet made next shows them.
    void BeforeSetupSheet(int mode, std::function<void()> open) override;

private:
    struct Registers {
        std::int16_t delayTime = -1;    // S8
        std::int16_t connectTime = -1;  // S7
    };
    static Registers ReadRegisters(CDocModem& modem);
    void ModemSettings();
    void TypedCommand();
    void Dial();
    void SendFiles();

    CDocModem& modem_;
    std::optional<Registers> read_;  // read before the sheet opens, taken by CreateSetupSheet
};

}  // namespace tolvan::app
