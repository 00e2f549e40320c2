#include "app/ir_commands.h"

#include "app/app_strings.h"
#include "channels/doc_ir.h"
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
    return ApplyConnection(
        sheet, mode,
        [&](std::int16_t port) {
            return ir_.ConnectIR(port, page->m_lBaudRate, page->m_nIRParity);
        },
        [&] { return ir_.SetIRParam(page->m_lBaudRate, page->m_nIRParity); });
}

}  // namespace tolvan::app
