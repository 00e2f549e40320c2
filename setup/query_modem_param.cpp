#include "setup/query_modem_param.h"

#include "setup/property_sheet.h"
#include "setup/query_sheet_parts.h"

#include <QApplication>

int QueryModemParam(const char* portList, const char* caption, AndModemParam* param) {
    if (!param) return kerdal::kIdCancel;

    kerdal::PropertySheet sheet(kerdal::CaptionText(caption), QApplication::activeWindow());
    const kerdal::CommPages comm = kerdal::AddCommPages(
        sheet, portList, *param, kerdal::kSelectPortHelpContext, kerdal::kSettingsPortHelpContext);
    CPSModemSetting* modem = kerdal::AddModemPage(sheet, *param);
    const int result = sheet.DoModal();
    if (result == kerdal::kIdOk) {
        kerdal::CollectCommPages(comm, *param);
        kerdal::CollectModemPage(*modem, *param);
    }
    return result;
}
