#include "setup/query_modem_connection_settings.h"

#include "setup/dlg_dial_number.h"
#include "setup/property_sheet.h"
#include "setup/ps_select_port.h"
#include "setup/query_sheet_parts.h"

#include <QApplication>

#include <memory>

namespace {

const QString kAdvancedCaption = QStringLiteral("Advanced Modem Settings");

}  // namespace

int QueryModemConnectionSettings(const char* portList, const char* caption,
                                 AndModemConnectionSettings* settings) {
    if (!settings) return kerdal::kIdCancel;
    AndModemParam& param = settings->param;
    AndModemMode& mode = settings->mode;

    kerdal::PropertySheet sheet(kerdal::CaptionText(caption), QApplication::activeWindow());
    CPSSelectPort* select = param.bPortFixed == 0
                                ? kerdal::AddSelectPortPage(sheet, portList, param.nPort,
                                                            kerdal::kSelectPortHelpContext)
                                : nullptr;
    auto* dial = static_cast<CDlgDialNumber*>(
        sheet.AddPage(std::make_unique<CDlgDialNumber>(kerdal::FromLocal(mode.strPhoneList))));
    dial->m_strDialString = kerdal::FromLocal(settings->strDialString);
    dial->m_lBaudRate = param.lBaudRate;
    dial->m_chParity = param.chParity;
    dial->m_nWordLen = param.nWordLen;
    dial->m_nStopBits = param.nStopBits;

    // Declared after the main sheet so that it goes first, before the page that shows it.
    kerdal::PropertySheet advanced(kAdvancedCaption, &sheet);
    CPSModemSetting* modem = kerdal::AddModemPage(advanced, param);
    const kerdal::ModemModePages modes = kerdal::AddModemModePages(advanced, mode);
    dial->m_pAdvancedSheet = &advanced;

    const int result = sheet.DoModal();
    if (result != kerdal::kIdOk) return result;

    settings->strDialString = kerdal::ToLocal(dial->m_strDialString);
    param.lBaudRate = dial->m_lBaudRate;
    param.chParity = dial->m_chParity;
    param.nWordLen = dial->m_nWordLen;
    param.nStopBits = dial->m_nStopBits;
    settings->bAdvanced = dial->m_bAdvanced ? 1 : 0;
    if (select) kerdal::CollectSelectPortPage(*select, param.nPort);
    if (settings->bAdvanced) {
        kerdal::CollectModemPage(*modem, param);
        kerdal::CollectModemModePages(modes, mode);
    }
    return result;
}
