#include "setup/ps_modem_setting.h"

#include "setup/page_controls.h"
#include "setup/page_strings.h"

#include <QCheckBox>
#include <QLineEdit>

#include <algorithm>

using namespace kerdal;
namespace ps = kerdal::page_strings;

namespace {

// A limited text box never cuts a longer text that its creator put there: the limit holds
// for what the user types, and a given text stays whole until the user edits it.
void DDX_LimitedText(DataExchange& dx, QLineEdit* edit, QString& value, int limit) {
    if (!dx.Saving()) edit->setMaxLength(std::max<int>(limit, static_cast<int>(value.size())));
    DDX_Text(dx, edit, value);
}

}  // namespace

CPSModemSetting::CPSModemSetting()
    : PropertyPage(IDD, QString::fromLatin1(ps::kModemCaption), 213, 95) {
    AddLabel(this, ps::kInitStringLabel, 3, 2, 62, 8);
    m_pInit = AddEdit(this, IDC_INIT, 66, 2, 40, 13);
    AddLabel(this, ps::kDialPrefixLabel, 3, 17, 47, 8);
    m_pDialPrefix = AddEdit(this, IDC_DIAL_PREFIX, 66, 17, 40, 13);
    AddLabel(this, ps::kDialSuffixLabel, 3, 33, 46, 8);
    m_pDialSuffix = AddEdit(this, IDC_DIAL_SUFFIX, 66, 33, 40, 13);
    AddLabel(this, ps::kHangUpLabel, 3, 49, 63, 8);
    m_pHangUp = AddEdit(this, IDC_HANG_UP, 66, 49, 40, 13);
    AddLabel(this, ps::kDelayCharLabel, 3, 65, 55, 8);
    m_pDelay = AddEdit(this, IDC_DELAY_CHAR, 66, 65, 40, 13);
    AddLabel(this, ps::kDelayTimeLabel, 3, 81, 57, 8);
    m_pDelayTime = AddEdit(this, IDC_DELAY_TIME, 66, 81, 40, 13);
    AddLabel(this, ps::kConnectTimeLabel, 109, 2, 86, 8);
    m_pConnectTime = AddEdit(this, IDC_CONNECT_TIME, 109, 10, 40, 13);
    AddLabel(this, ps::kTurnaroundLabel, 109, 24, 74, 8);
    m_pTurnaround = AddEdit(this, IDC_TURNAROUND, 109, 32, 40, 13);
    AddLabel(this, ps::kRedialPauseLabel, 109, 46, 90, 8);
    m_pRedialPause = AddEdit(this, IDC_REDIAL_PAUSE, 109, 54, 40, 13);
    AddLabel(this, ps::kMaxRedialsLabel, 109, 69, 77, 8);
    m_pMaxRedials = AddEdit(this, IDC_MAX_REDIALS, 186, 67, 24, 13);
    m_pDtrHangUp = AddCheckBox(this, IDC_DTR_HANG_UP, ps::kDtrHangUpCheck, 109, 82, 70, 10,
                               /*textLeft=*/true);
}

CPSModemSetting::~CPSModemSetting() = default;

void CPSModemSetting::DoDataExchange(DataExchange& dx) {
    DDX_LimitedText(dx, m_pDelay, m_strDelay, kDelayLimit);
    DDX_Text(dx, m_pDelayTime, m_nDelayTime);
    DDX_LimitedText(dx, m_pDialPrefix, m_strDialPrefix, kDialPrefixLimit);
    DDX_LimitedText(dx, m_pDialSuffix, m_strDialSuffix, kDialSuffixLimit);
    DDX_LimitedText(dx, m_pHangUp, m_strHangUp, kHangUpLimit);
    DDX_LimitedText(dx, m_pInit, m_strInit, kInitLimit);
    DDX_Text(dx, m_pConnectTime, m_nConnectTime);
    DDX_Text(dx, m_pMaxRedials, m_nMaxRedials);
    DDX_Text(dx, m_pRedialPause, m_nRedialPause);
    DDX_Text(dx, m_pTurnaround, m_nTurnaround);
    DDX_Check(dx, m_pDtrHangUp, m_bDtrHangUp);
}
