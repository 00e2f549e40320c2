#include "app/ir_commands.h"

#include "app/app_strings.h"
#include "channels/doc_ir.h"
#include "platform/message_box.h"
#include "setup/ps_ir_settings.h"
#include "setup/ps_select_port.h"

namespace tolvan::app {

IRChannelCommands::IRChannelCommands(CDocIR& channel, ChannelCommandContext context,
                                     QObject* parent)
    : ChannelCommands(channel, std::move(context), parent), ir_(channel) {}

std::unique_ptr<kerdal::PropertySheet> IRChannelCommands::CreateSetupSheet(unsigned captionId,
                                                                           QWidget* parent,
                                                                           int mode) {
    auto sheet = std::make_unique<kerdal::PropertySheet>(AppText(captionId), parent);
    sheet->setObjectName(kSetupSheetObjectName);
    if (mode == kSetupConnect) sheet->AddPage(std::make_unique<CPSSelectPort>(AvailablePortList()));
    auto page = std::make_unique<CPSIRSettings>();
    page->m_lBaudRate = 9600;
    page->m_nIRParity = ir_.IRParity();
    sheet->AddPage(std::move(page));
    return sheet;
}

std::int16_t IRChannelCommands::ApplySetupSheet(kerdal::PropertySheet& sheet, int mode) {
    auto* page = FindPage<CPSIRSettings>(sheet);
    if (!page) return -1;
    std::int16_t status = 0;
    if (mode == kSetupConnect) {
        auto* select = FindPage<CPSSelectPort>(sheet);
        const int port = select ? CPSSelectPort::PortNumberFromName(select->m_strPort) : 0;
        status = port > 0 ? ir_.ConnectIR(static_cast<std::int16_t>(port), page->m_lBaudRate,
                                          page->m_nIRParity)
                          : std::int16_t{-2};
    } else {
        status = ir_.SetIRParam(page->m_lBaudRate, page->m_nIRParity);
    }
    StateChanged();
    if (status != 0) {
        Message(mode == kSetupConnect ? str::ConnectionFailed : str::PortSettingFailed,
                plat::MB_OK | plat::MB_ICONEXCLAMATION);
        return status;
    }
    StoreCurrentParameters();
    return 0;
}

}  // namespace tolvan::app
