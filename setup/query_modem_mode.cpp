#include "setup/query_modem_mode.h"

#include "setup/dlg_ps_modem_mode.h"
#include "setup/page_message_box.h"
#include "setup/property_sheet.h"
#include "setup/ps_mdm_work_mode.h"

#include <QApplication>

#include <memory>
#include <string>

namespace {

QString FromLocal(const std::string& text)
{
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToLocal(const QString& text)
{
    return text.toLocal8Bit().toStdString();
}

}  // namespace

int QueryModemMode(const char* caption, AndModemMode* mode)
{
    return QueryModemMode(caption, mode, QApplication::activeWindow());
}

int QueryModemMode(const char* caption, AndModemMode* mode, QWidget* owner)
{
    if (!mode)
        return kerdal::kIdCancel;

    kerdal::PropertySheet sheet(QString::fromLocal8Bit(caption ? caption : ""), owner);

    auto* workMode = static_cast<CPSMdmSpecSet*>(
        sheet.AddPage(std::make_unique<CPSMdmSpecSet>()));
    workMode->m_strResponse = FromLocal(mode->strResponse);
    workMode->m_nTimeout = static_cast<unsigned>(mode->nTimeout);
    workMode->m_nWorkMode = mode->nWorkMode;
    workMode->m_nInternalTimeout = static_cast<unsigned>(mode->nInternalTimeout);
    workMode->m_strPhoneList = FromLocal(mode->strPhoneList);

    auto* modemMode = static_cast<CDlgPSModemMode*>(
        sheet.AddPage(std::make_unique<CDlgPSModemMode>()));
    modemMode->m_bEcho = mode->bEcho;
    modemMode->m_bReply = mode->bReply;
    modemMode->m_nDialMode = mode->nDialMode;
    modemMode->m_nLoud = mode->nLoud - 1;
    modemMode->m_nReplyMode = mode->nReplyMode;
    modemMode->m_nSpeaker = mode->nSpeaker;

    const int result = sheet.DoModal();
    if (result != kerdal::kIdOk)
        return result;

    mode->strResponse = ToLocal(workMode->m_strResponse);
    mode->nTimeout = static_cast<std::int32_t>(workMode->m_nTimeout);
    mode->nWorkMode = workMode->m_nWorkMode;
    mode->nInternalTimeout = static_cast<std::int32_t>(workMode->m_nInternalTimeout);
    mode->strPhoneList = ToLocal(workMode->m_strPhoneList);
    mode->bEcho = modemMode->m_bEcho;
    mode->bReply = modemMode->m_bReply;
    mode->nDialMode = modemMode->m_nDialMode;
    mode->nLoud = modemMode->m_nLoud + 1;
    mode->nReplyMode = modemMode->m_nReplyMode;
    mode->nSpeaker = modemMode->m_nSpeaker;
    return result;
}
