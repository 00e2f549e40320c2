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

ChannelCommands::SetupWork IRChannelCommands::PlanSetupSheet(kerdal::PropertySheet& sheet,
                                                             int mode) {
    auto* page = FindPage<CPSIRSettings>(sheet);
    if (!page) return [] { return std::int16_t{-1}; };
    CDocIR* ir = &ir_;
    const auto baud = page->m_lBaudRate;
    const auto parity = page->m_nIRParity;
    return PlanConnection(
        sheet, mode, [=](std::int16_t port) { return ir->ConnectIR(port, baud, parity); },
        [=] { return ir->SetIRParam(baud, parity); });
}

}  // namespace tolvan::app
