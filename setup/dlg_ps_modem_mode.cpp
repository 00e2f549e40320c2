#include "setup/dlg_ps_modem_mode.h"

#include "setup/page_controls.h"
#include "setup/page_strings.h"

#include <QCheckBox>
#include <QComboBox>

using namespace kerdal;
namespace ps = kerdal::page_strings;

CDlgPSModemMode::CDlgPSModemMode()
    : PropertyPage(IDD, QString::fromLatin1(ps::kModemModeCaption), 187, 95) {
    m_pEcho = AddCheckBox(this, IDC_ECHO, ps::kEchoCheck, 4, 8, 35, 10);
    m_pReply = AddCheckBox(this, IDC_REPLY, ps::kReplyCheck, 4, 22, 35, 10);
    AddLabel(this, ps::kLoudLabel, 4, 38, 30, 8);
    m_pLoud = AddDropList(this, IDC_LOUD, ps::LoudItems(), 4, 48, 48, 45);
    AddLabel(this, ps::kSpeakerLabel, 4, 66, 30, 8);
    m_pSpeaker = AddDropList(this, IDC_SPEAKER, ps::SpeakerItems(), 4, 77, 113, 44);
    AddLabel(this, ps::kReplyModeLabel, 69, 3, 41, 8);
    m_pReplyMode = AddDropList(this, IDC_REPLY_MODE, ps::ReplyModeItems(), 69, 13, 48, 50);
    AddLabel(this, ps::kDialModeLabel, 69, 37, 37, 8);
    m_pDialMode = AddDropList(this, IDC_DIAL_MODE, ps::DialModeItems(), 69, 48, 48, 48);

    connect(m_pReply, &QCheckBox::clicked, this, [this] { ReadBackAndEnable(); });
    // Only a choice of the user counts, not the page loading the list.
    connect(m_pSpeaker, &QComboBox::activated, this, [this] { ReadBackAndEnable(); });
}

CDlgPSModemMode::~CDlgPSModemMode() = default;

void CDlgPSModemMode::DoDataExchange(DataExchange& dx) {
    DDX_Check(dx, m_pEcho, m_bEcho);
    DDX_Check(dx, m_pReply, m_bReply);
    DDX_CBIndex(dx, m_pDialMode, m_nDialMode);
    DDX_CBIndex(dx, m_pLoud, m_nLoud);
    DDX_CBIndex(dx, m_pReplyMode, m_nReplyMode);
    DDX_CBIndex(dx, m_pSpeaker, m_nSpeaker);
}

bool CDlgPSModemMode::OnInitDialog() {
    PropertyPage::OnInitDialog();
    EnableControls();
    return true;
}

void CDlgPSModemMode::ReadBackAndEnable() {
    UpdateData(true);
    EnableControls();
}

void CDlgPSModemMode::EnableControls() {
    m_pLoud->setEnabled(m_bReply == 1);
    m_pReplyMode->setEnabled(m_nSpeaker != 0);
}
