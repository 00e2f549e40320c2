#include "setup/query_comm_param.h"

#include "setup/property_sheet.h"
#include "setup/query_sheet_parts.h"

#include <QApplication>

int QueryCommParam(const char* portList, const char* caption, AndCOMMParam* param) {
    if (!param) return kerdal::kIdCancel;

    kerdal::PropertySheet sheet(kerdal::CaptionText(caption), QApplication::activeWindow());
    const kerdal::CommPages pages = kerdal::AddCommPages(sheet, portList, *param);
    const int result = sheet.DoModal();
    if (result == kerdal::kIdOk) kerdal::CollectCommPages(pages, *param);
    return result;
}
