#include "setup/query_modem_mode.h"

#include "setup/property_sheet.h"
#include "setup/query_sheet_parts.h"

#include <QApplication>

int QueryModemMode(const char* caption, AndModemMode* mode) {
    return QueryModemMode(caption, mode, QApplication::activeWindow());
}

int QueryModemMode(const char* caption, AndModemMode* mode, QWidget* owner) {
    if (!mode) return kerdal::kIdCancel;

    kerdal::PropertySheet sheet(kerdal::CaptionText(caption), owner);
    const kerdal::ModemModePages pages = kerdal::AddModemModePages(sheet, *mode);
    const int result = sheet.DoModal();
    if (result == kerdal::kIdOk) kerdal::CollectModemModePages(pages, *mode);
    return result;
}
