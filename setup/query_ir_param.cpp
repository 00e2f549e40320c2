#include "setup/query_ir_param.h"

#include "setup/property_sheet.h"
#include "setup/ps_ir_settings.h"
#include "setup/ps_select_port.h"
#include "setup/query_sheet_parts.h"

#include <QApplication>

#include <memory>

int QueryIRParam(const char* portList, const char* caption, AndIRParam* param) {
    if (!param) return kerdal::kIdCancel;

    kerdal::PropertySheet sheet(kerdal::CaptionText(caption), QApplication::activeWindow());
    CPSSelectPort* select =
        param->bPortFixed == 0 ? kerdal::AddSelectPortPage(sheet, portList, param->nPort) : nullptr;
    auto settings = std::make_unique<CPSIRSettings>();
    settings->m_lBaudRate = param->lBaudRate;
    settings->m_nLinkVariant = param->nLinkVariant;
    auto* ir = static_cast<CPSIRSettings*>(sheet.AddPage(std::move(settings)));

    const int result = sheet.DoModal();
    if (result != kerdal::kIdOk) return result;
    param->lBaudRate = ir->m_lBaudRate;
    param->nLinkVariant = ir->m_nLinkVariant;
    if (select) kerdal::CollectSelectPortPage(*select, param->nPort);
    return result;
}
