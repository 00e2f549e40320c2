#pragma once
// "Settings" page of a serial port: baud rate, word length, parity and stop bits from the
// tables of an AndCommParam, and the three kinds of handshaking.
//
// The chosen list positions are the tables' indices: the creator maps them back with
// m_pCommParam->GetBaudRate(m_nBaudRateIdx) and so on. With `m_bHandshaking` 0 the three
// boxes are shown unchecked and disabled, and come back 0.

#include "setup/kerdal32_export.h"
#include "setup/property_page.h"

class AndCommParam;
class QCheckBox;
class QComboBox;

class KERDAL32_API CPSSettingsPort : public kerdal::PropertyPage {
    Q_OBJECT
public:
    enum { IDD = 109 };
    enum ControlId {
        IDC_BAUD_RATE = 1001,
        IDC_PARITY = 1002,
        IDC_WORD_LENGTH = 1003,
        IDC_STOP_BITS = 1004,
        IDC_DTR_DSR = 1026,
        IDC_RTS_CTS = 1027,
        IDC_XON_XOFF = 1028,
    };
    // Width of the right-aligned baud texts, so that sorted text order is numeric order.
    static constexpr int kBaudTextWidth = 7;

    // Starts at the current choices of `params` (not owned, must outlive the page);
    // `captionId`: string id of the tab caption, 0 for "Settings".
    explicit CPSSettingsPort(const AndCommParam* params, unsigned captionId = 0);
    ~CPSSettingsPort() override;

    QComboBox* m_ctlWrdLen;
    QComboBox* m_ctlStopBit;
    QComboBox* m_ctlParity;
    QComboBox* m_ctlBaudRate;
    int m_bDtrDsr = 0;
    int m_bRtsCts = 0;
    int m_bXonXoff = 0;
    int m_nWrdLenIdx;
    int m_nStopBitIdx;
    int m_nParityIdx;
    int m_nBaudRateIdx;
    int m_bHandshaking = 1;
    const AndCommParam* m_pCommParam;

    // The baud text as the list shows it: right-aligned in kBaudTextWidth characters.
    static QString BaudRateText(long baudRate);

    bool OnInitDialog() override;
    void DoDataExchange(kerdal::DataExchange& dx) override;

private:
    void FillLists();

    QCheckBox* m_pDtrDsr;
    QCheckBox* m_pRtsCts;
    QCheckBox* m_pXonXoff;
};
