#include "app/modem_dial_sheet.h"

#include "app/app_strings.h"
#include "channels/doc_modem.h"
#include "setup/dlg_dial_number.h"
#include "setup/page_message_box.h"
#include "setup/property_sheet.h"

namespace tolvan::app {

int RunModemDialSheet(CDocModem& modem, QWidget* parent,
                      const std::function<void(std::string)>& dial) {
    const std::string list = modem.ModeNow().strPhoneList;
    kerdal::PropertySheet sheet(AppText(str::Dial), parent);
    CDlgDialNumber page(QString::fromLocal8Bit(list.data(), static_cast<qsizetype>(list.size())));
    sheet.AddPage(&page);
    const int result = sheet.DoModal();
    if (result != kerdal::kIdOk || page.m_strDialString.isEmpty()) return result;
    std::string number = page.m_strDialString.toLocal8Bit().toStdString();
    if (dial)
        dial(std::move(number));
    else
        modem.Dial(number);
    return result;
}

}  // namespace tolvan::app
