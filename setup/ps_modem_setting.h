#pragma once
// "Modem" page: the modem's command strings, delays and redial limits. The creator sets
// the public members before the sheet is shown and reads them after it was accepted.

#include "setup/kerdal32_export.h"
#include "setup/property_page.h"

#include <QString>

class QCheckBox;
class QLineEdit;

class KERDAL32_API CPSModemSetting : public kerdal::PropertyPage {
    Q_OBJECT
public:
    enum { IDD = 116 };
    enum ControlId {
        IDC_INIT = 1030,
        IDC_DIAL_PREFIX = 1031,
        IDC_DIAL_SUFFIX = 1032,
        IDC_HANG_UP = 1033,
        IDC_DELAY_CHAR = 1034,
        IDC_DELAY_TIME = 1035,
        IDC_CONNECT_TIME = 1036,
        IDC_TURNAROUND = 1037,
        IDC_REDIAL_PAUSE = 1038,
        IDC_MAX_REDIALS = 1039,
        IDC_DTR_HANG_UP = 1041,
    };
    // Longest texts the string boxes take.
    static constexpr int kInitLimit = 128;
    static constexpr int kDialPrefixLimit = 16;
    static constexpr int kDialSuffixLimit = 16;
    static constexpr int kHangUpLimit = 32;
    static constexpr int kDelayLimit = 2;

    CPSModemSetting();
    ~CPSModemSetting() override;

    // The delay character as text of up to two characters; creators take its first one.
    QString m_strDelay;
    unsigned m_nDelayTime = 0;
    QString m_strDialPrefix;
    QString m_strDialSuffix;
    QString m_strHangUp;
    QString m_strInit;
    unsigned m_nConnectTime = 0;
    unsigned m_nMaxRedials = 0;
    unsigned m_nRedialPause = 0;
    unsigned m_nTurnaround = 0;
    int m_bDtrHangUp = 0;

    void DoDataExchange(kerdal::DataExchange& dx) override;

private:
    QLineEdit* m_pInit;
    QLineEdit* m_pDialPrefix;
    QLineEdit* m_pDialSuffix;
    QLineEdit* m_pHangUp;
    QLineEdit* m_pDelay;
    QLineEdit* m_pDelayTime;
    QLineEdit* m_pConnectTime;
    QLineEdit* m_pTurnaround;
    QLineEdit* m_pRedialPause;
    QLineEdit* m_pMaxRedials;
    QCheckBox* m_pDtrHangUp;
};
