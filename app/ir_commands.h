// The infra-red channel's menu: the plain channel's commands with a setup sheet of its own,
// which asks only for the port (when connecting) and the link's baud rate (2400, 9600,
// 19200 or 57600, 9600 preset). The channel's nIRParity travels as the parity argument, so
// the port opens the infra-red link; the link then runs at 115200, N, 8, 1 whatever rate
// was asked, and those become the library's current parameters. No handshakes are set.
#pragma once

#include "app/channel_commands.h"

namespace tolvan {
class CDocIR;
}

namespace tolvan::app {

class IRChannelCommands : public ChannelCommands {
    Q_OBJECT
public:
    IRChannelCommands(CDocIR& channel, ChannelCommandContext context, QObject* parent = nullptr);

    std::unique_ptr<kerdal::PropertySheet> CreateSetupSheet(unsigned captionId, QWidget* parent,
                                                            int mode) override;
    // Connects (mode 0) or sets the link's rate (mode 1, which also takes the page's
    // nIRParity); "Connection failed" / "Port setting failed" on failure. 0 or the status.
    SetupWork PlanSetupSheet(kerdal::PropertySheet& sheet, int mode) override;

private:
    CDocIR& ir_;
};

}  // namespace tolvan::app
