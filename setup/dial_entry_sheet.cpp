#include "setup/dial_entry_sheet.h"

#include "setup/records/comm_param.h"
#include "setup/dial_list.h"
#include "setup/page_message_box.h"
#include "setup/property_sheet.h"
#include "setup/ps_dial_entry.h"
#include "setup/ps_settings_port.h"

#include <cstdint>
#include <string>

namespace kerdal {

namespace {

// Entries are stored in the local 8-bit encoding.
QString FromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToLocal(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

}  // namespace

bool RunDialEntrySheet(tagDialEntry& entry, const QString& caption, QWidget* parent,
                       bool disableHandshakes) {
    AndCommParam* params = DLLGetCommParam();
    CPSDialEntry entryPage;
    entryPage.m_strComment = FromLocal(entry.strComment);
    entryPage.m_strDialString = FromLocal(entry.strDialString);
    entryPage.m_chDuplex = entry.chDuplex;
    CPSSettingsPort settingsPage(params);
    if (disableHandshakes) settingsPage.m_bHandshaking = 0;
    PropertySheet sheet(caption, parent);
    sheet.AddPage(&entryPage);
    sheet.AddPage(&settingsPage);
    if (sheet.DoModal() != kIdOk) return false;

    entry.strComment = ToLocal(entryPage.m_strComment);
    entry.strDialString = ToLocal(entryPage.m_strDialString);
    entry.chDuplex = entryPage.m_chDuplex;
    entry.lBaudRate = static_cast<std::int32_t>(params->GetBaudRate(settingsPage.m_nBaudRateIdx));
    entry.chParity = params->GetParity(settingsPage.m_nParityIdx);
    entry.nWordLen = params->GetWrdLen(settingsPage.m_nWrdLenIdx);
    entry.nStopBits = params->GetStopBit(settingsPage.m_nStopBitIdx);
    return true;
}

void StartAtEntryLine(const tagDialEntry& entry) {
    AndCommParam* params = DLLGetCommParam();
    params->SetCurBaudRate(entry.lBaudRate);
    params->SetCurParity(entry.chParity);
    params->SetCurWrdLen(entry.nWordLen);
    params->SetCurStopBit(entry.nStopBits);
}

}  // namespace kerdal
