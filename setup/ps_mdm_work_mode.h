#pragma once
// "Work mode" page: how a modem channel waits after a command (not at all, for a timeout,
// or for a response), the response, the internal timeout and the phone list file.
//
// Leaving or accepting the page refuses, in this order: a waiting mode with timeout 0, the
// response mode with an empty response, an internal timeout of 0; each with its message
// and the focus in the box concerned.

#include "setup/kerdal32_export.h"
#include "setup/property_page.h"

#include <QString>

#include <array>

class QAbstractButton;
class QLineEdit;
class QPushButton;

class KERDAL32_API CPSMdmSpecSet : public kerdal::PropertyPage {
    Q_OBJECT
public:
    enum { IDD = 117 };
    enum ControlId {
        IDC_NOT_TO_WAIT = 1042,
        IDC_WAIT_TIMEOUT = 1043,
        IDC_WAIT_RESPONSE = 1044,
        IDC_TIMEOUT = 1045,
        IDC_RESPONSE = 1046,
        IDC_INTERNAL_TIMEOUT = 1047,
        IDC_PHONE_LIST = 1057,
        IDC_BROWSE = 1058,
    };
    enum WorkMode { kNotToWait = 0, kWaitTimeout = 1, kWaitResponse = 2 };

    CPSMdmSpecSet();
    ~CPSMdmSpecSet() override;

    QString m_strResponse;
    unsigned m_nTimeout = 0;
    int m_nWorkMode = -1;  // -1: no radio button set
    unsigned m_nInternalTimeout = 0;
    QString m_strPhoneList;

    void DoDataExchange(kerdal::DataExchange& dx) override;
    bool OnInitDialog() override;

    // "Browse...": asks for a phone list file; on confirmation takes its full path and
    // reloads every control from the members.
    void OnBrowse();

private:
    void OnWorkModeClicked();
    void EnableControls();

    std::array<QAbstractButton*, 3> m_workMode{};
    QLineEdit* m_pTimeout;
    QLineEdit* m_pResponse;
    QLineEdit* m_pInternalTimeout;
    QLineEdit* m_pPhoneList;
    QPushButton* m_pBrowse;
};
