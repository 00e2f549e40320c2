#include "setup/ps_settings_port.h"

#include "setup/records/comm_param.h"
#include "setup/page_caption.h"
#include "setup/page_controls.h"
#include "setup/page_strings.h"

#include <QCheckBox>
#include <QComboBox>

#include <string>

using namespace kerdal;
namespace ps = kerdal::page_strings;

namespace {

QString FromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CPSSettingsPort::CPSSettingsPort(const AndCommParam* params, unsigned captionId)
    : PropertyPage(IDD, PageCaption(captionId, ps::kSettingsCaption), 187, 95),
      m_nWrdLenIdx(params ? params->GetCurWrdLen() : -1),
      m_nStopBitIdx(params ? params->GetCurStopBit() : -1),
      m_nParityIdx(params ? params->GetCurParity() : -1),
      m_nBaudRateIdx(params ? params->GetCurBaudRate() : -1),
      m_pCommParam(params) {
    AddLabel(this, ps::kBaudRateLabel, 2, 3, 38, 8);
    m_ctlBaudRate = AddDropList(this, IDC_BAUD_RATE, 2, 15, 48, 74);
    AddLabel(this, ps::kWordLengthLabel, 61, 3, 47, 8);
    m_ctlWrdLen = AddDropList(this, IDC_WORD_LENGTH, 61, 15, 48, 72);
    AddLabel(this, ps::kParityLabel, 2, 32, 30, 8);
    m_ctlParity = AddDropList(this, IDC_PARITY, 2, 43, 48, 49);
    AddLabel(this, ps::kStopBitsLabel, 61, 32, 30, 8);
    m_ctlStopBit = AddDropList(this, IDC_STOP_BITS, 61, 43, 48, 47);
    AddGroupBox(this, ps::kHandshakingGroup, 115, 3, 69, 53);
    m_pDtrDsr = AddCheckBox(this, IDC_DTR_DSR, ps::kUseDtrDsr, 119, 15, 62, 10);
    m_pRtsCts = AddCheckBox(this, IDC_RTS_CTS, ps::kUseRtsCts, 119, 28, 62, 10);
    m_pXonXoff = AddCheckBox(this, IDC_XON_XOFF, ps::kUseXonXoff, 119, 41, 62, 10);
}

CPSSettingsPort::~CPSSettingsPort() = default;

QString CPSSettingsPort::BaudRateText(long baudRate) {
    return QStringLiteral("%1").arg(baudRate, kBaudTextWidth);
}

void CPSSettingsPort::FillLists() {
    // Filled afresh on every run, so a sheet shown twice does not list its items twice.
    m_ctlBaudRate->clear();
    m_ctlParity->clear();
    m_ctlStopBit->clear();
    m_ctlWrdLen->clear();
    if (!m_pCommParam) return;
    const AndCommParam& p = *m_pCommParam;
    std::string text;
    // Baud, word-length and stop-bit lists keep their items sorted; the texts are such that
    // the sorted order is the table order, so a position is a table index.
    for (int i = 0; i < p.GetBaudRateCnt(); ++i)
        AddSortedItem(m_ctlBaudRate, BaudRateText(p.GetBaudRate(i)));
    for (int i = 0; i < p.GetParityCnt(); ++i) {
        p.GetParityStr(i, &text);
        m_ctlParity->addItem(FromLocal(text));
    }
    for (int i = 0; i < p.GetStopBitCnt(); ++i) {
        p.GetStopBitStr(i, &text);
        AddSortedItem(m_ctlStopBit, FromLocal(text));
    }
    for (int i = 0; i < p.GetWrdLenCnt(); ++i) {
        p.GetWrdLenStr(i, &text);
        AddSortedItem(m_ctlWrdLen, FromLocal(text));
    }
}

bool CPSSettingsPort::OnInitDialog() {
    FillLists();
    UpdateData(false);
    if (!m_bHandshaking) {
        for (QCheckBox* box : {m_pDtrDsr, m_pRtsCts, m_pXonXoff}) {
            box->setChecked(false);
            box->setEnabled(false);
        }
    }
    return true;
}

void CPSSettingsPort::DoDataExchange(DataExchange& dx) {
    DDX_CBIndex(dx, m_ctlBaudRate, m_nBaudRateIdx);
    DDX_CBIndex(dx, m_ctlParity, m_nParityIdx);
    DDX_CBIndex(dx, m_ctlStopBit, m_nStopBitIdx);
    DDX_CBIndex(dx, m_ctlWrdLen, m_nWrdLenIdx);
    DDX_Check(dx, m_pDtrDsr, m_bDtrDsr);
    DDX_Check(dx, m_pRtsCts, m_bRtsCts);
    DDX_Check(dx, m_pXonXoff, m_bXonXoff);
}
