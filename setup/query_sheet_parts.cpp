#include "setup/query_sheet_parts.h"

#include "setup/records/comm_param.h"
#include "setup/dlg_ps_modem_mode.h"
#include "setup/property_sheet.h"
#include "setup/ps_mdm_work_mode.h"
#include "setup/ps_modem_setting.h"
#include "setup/ps_select_port.h"
#include "setup/ps_settings_port.h"

#include <memory>

namespace kerdal {

namespace {

// Record integers shown in unsigned boxes: a negative value would show as a huge number.
unsigned ToBox(std::int32_t value) {
    return value < 0 ? 0u : static_cast<unsigned>(value);
}

std::int32_t FromBox(unsigned value) {
    return value > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<std::int32_t>(value);
}

}  // namespace

QString FromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToLocal(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

QString CaptionText(const char* caption) {
    return QString::fromLocal8Bit(caption ? caption : "");
}

CPSSelectPort* AddSelectPortPage(PropertySheet& sheet, const char* portList, int port,
                                 unsigned helpContext) {
    auto page = std::make_unique<CPSSelectPort>(portList ? portList : "");
    page->m_nPort = port;
    page->SetHelpContext(helpContext);
    return static_cast<CPSSelectPort*>(sheet.AddPage(std::move(page)));
}

void CollectSelectPortPage(const CPSSelectPort& page, std::int32_t& port) {
    const int chosen = CPSSelectPort::PortNumberFromName(page.m_strPort);
    if (chosen > 0) port = chosen;
}

CommPages AddCommPages(PropertySheet& sheet, const char* portList, const AndCOMMParam& record,
                       unsigned selectHelp, unsigned settingsHelp) {
    CommPages pages;
    if (record.bPortFixed == 0)
        pages.select = AddSelectPortPage(sheet, portList, record.nPort, selectHelp);

    // The settings page starts at the current choices, so move them first; a value that is
    // not in a table leaves that choice where the last user put it.
    AndCommParam* params = DLLGetCommParam();
    params->SetCurBaudRate(record.lBaudRate);
    params->SetCurParity(record.chParity);
    params->SetCurWrdLen(record.nWordLen);
    params->SetCurStopBit(record.nStopBits);

    auto settings = std::make_unique<CPSSettingsPort>(params);
    settings->m_bHandshaking = 1;
    settings->m_bDtrDsr = record.bDtrDsr;
    settings->m_bRtsCts = record.bRtsCts;
    settings->m_bXonXoff = record.bXonXoff;
    settings->SetHelpContext(settingsHelp);
    pages.settings = static_cast<CPSSettingsPort*>(sheet.AddPage(std::move(settings)));
    return pages;
}

void CollectCommPages(const CommPages& pages, AndCOMMParam& record) {
    const CPSSettingsPort& settings = *pages.settings;
    const AndCommParam& params = *settings.m_pCommParam;
    record.lBaudRate = static_cast<std::int32_t>(params.GetBaudRate(settings.m_nBaudRateIdx));
    record.chParity = params.GetParity(settings.m_nParityIdx);
    record.nWordLen = params.GetWrdLen(settings.m_nWrdLenIdx);
    record.nStopBits = params.GetStopBit(settings.m_nStopBitIdx);
    // What the user chose stays the current choice: the next sheet starts there when its
    // record holds a value the tables lack.
    AndCommParam* current = DLLGetCommParam();
    current->SetCurBaudRate(record.lBaudRate);
    current->SetCurParity(record.chParity);
    current->SetCurWrdLen(record.nWordLen);
    current->SetCurStopBit(record.nStopBits);
    record.bDtrDsr = settings.m_bDtrDsr;
    record.bRtsCts = settings.m_bRtsCts;
    record.bXonXoff = settings.m_bXonXoff;
    if (pages.select) CollectSelectPortPage(*pages.select, record.nPort);
}

CPSModemSetting* AddModemPage(PropertySheet& sheet, const AndModemParam& record) {
    auto page = std::make_unique<CPSModemSetting>();
    page->m_strDialPrefix = FromLocal(record.strDialPrefix);
    page->m_strDialSuffix = FromLocal(record.strDialSuffix);
    page->m_strHangUp = FromLocal(record.strHangUp);
    page->m_strInit = FromLocal(record.strInit);
    page->m_strDelay = record.chDelay ? FromLocal(std::string(1, record.chDelay)) : QString();
    page->m_nMaxRedials = ToBox(record.nMaxRedials);
    page->m_nRedialPause = ToBox(record.nRedialPause);
    page->m_bDtrHangUp = record.bDtrHangUp;
    page->m_nDelayTime = ToBox(record.nDelayTime);
    page->m_nConnectTime = ToBox(record.nConnectTime);
    return static_cast<CPSModemSetting*>(sheet.AddPage(std::move(page)));
}

void CollectModemPage(const CPSModemSetting& page, AndModemParam& record) {
    record.strDialPrefix = ToLocal(page.m_strDialPrefix);
    record.strDialSuffix = ToLocal(page.m_strDialSuffix);
    record.strHangUp = ToLocal(page.m_strHangUp);
    record.strInit = ToLocal(page.m_strInit);
    const std::string delay = ToLocal(page.m_strDelay);
    record.chDelay = delay.empty() ? '\0' : delay.front();
    record.nMaxRedials = FromBox(page.m_nMaxRedials);
    record.nRedialPause = FromBox(page.m_nRedialPause);
    record.bDtrHangUp = page.m_bDtrHangUp;
    record.nDelayTime = FromBox(page.m_nDelayTime);
    record.nConnectTime = FromBox(page.m_nConnectTime);
}

ModemModePages AddModemModePages(PropertySheet& sheet, const AndModemMode& record) {
    ModemModePages pages;
    auto workMode = std::make_unique<CPSMdmSpecSet>();
    workMode->m_strResponse = FromLocal(record.strResponse);
    workMode->m_nTimeout = ToBox(record.nTimeout);
    workMode->m_nWorkMode = record.nWorkMode;
    workMode->m_nInternalTimeout = ToBox(record.nInternalTimeout);
    workMode->m_strPhoneList = FromLocal(record.strPhoneList);
    pages.workMode = static_cast<CPSMdmSpecSet*>(sheet.AddPage(std::move(workMode)));

    auto modemMode = std::make_unique<CDlgPSModemMode>();
    modemMode->m_bEcho = record.bEcho;
    modemMode->m_bReply = record.bReply;
    modemMode->m_nDialMode = record.nDialMode;
    modemMode->m_nLoud = record.nLoud - 1;
    modemMode->m_nReplyMode = record.nReplyMode;
    modemMode->m_nSpeaker = record.nSpeaker;
    pages.modemMode = static_cast<CDlgPSModemMode*>(sheet.AddPage(std::move(modemMode)));
    return pages;
}

void CollectModemModePages(const ModemModePages& pages, AndModemMode& record) {
    const CPSMdmSpecSet& workMode = *pages.workMode;
    record.strResponse = ToLocal(workMode.m_strResponse);
    record.nTimeout = FromBox(workMode.m_nTimeout);
    record.nWorkMode = workMode.m_nWorkMode;
    record.nInternalTimeout = FromBox(workMode.m_nInternalTimeout);
    record.strPhoneList = ToLocal(workMode.m_strPhoneList);

    const CDlgPSModemMode& modemMode = *pages.modemMode;
    record.bEcho = modemMode.m_bEcho;
    record.bReply = modemMode.m_bReply;
    record.nDialMode = modemMode.m_nDialMode;
    record.nLoud = modemMode.m_nLoud + 1;
    record.nReplyMode = modemMode.m_nReplyMode;
    record.nSpeaker = modemMode.m_nSpeaker;
}

}  // namespace kerdal
