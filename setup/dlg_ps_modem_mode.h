#pragma once
// "Modem Mode" page: echo, replies, loudness, speaker, reply mode and dial mode of a modem.
// The lists hold positions: `m_nLoud` 0..2 stands for loudness 1..3. The Loud list is
// enabled only while "Reply" is checked, the Reply Mode list only while the speaker is not
// "Off"; both rules are applied when the page is shown and after every click on "Reply"
// and every change of the Speaker list.

#include "setup/kerdal32_export.h"
#include "setup/property_page.h"

class QCheckBox;
class QComboBox;

class KERDAL32_API CDlgPSModemMode : public kerdal::PropertyPage {
    Q_OBJECT
public:
    enum { IDD = 123 };
    enum ControlId {
        IDC_ECHO = 1059,
        IDC_REPLY = 1060,
        IDC_SPEAKER = 1062,
        IDC_LOUD = 1063,
        IDC_REPLY_MODE = 1064,
        IDC_DIAL_MODE = 1065,
    };

    CDlgPSModemMode();
    ~CDlgPSModemMode() override;

    int m_bEcho = 0;
    int m_bReply = 0;
    int m_nDialMode = -1;  // list positions; -1: nothing selected
    int m_nLoud = -1;
    int m_nReplyMode = -1;
    int m_nSpeaker = -1;

    void DoDataExchange(kerdal::DataExchange& dx) override;
    bool OnInitDialog() override;

private:
    void ReadBackAndEnable();
    void EnableControls();

    QCheckBox* m_pEcho;
    QCheckBox* m_pReply;
    QComboBox* m_pLoud;
    QComboBox* m_pSpeaker;
    QComboBox* m_pReplyMode;
    QComboBox* m_pDialMode;
};
