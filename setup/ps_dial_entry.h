#pragma once
// "Dial Entry" page: the comment, dial string and duplex mode of one phone-list entry.
// Together with the port "Settings" page it forms the sheet that adds or edits an entry.
// The comment must not be empty; the dial string may be.

#include "setup/kerdal32_export.h"
#include "setup/property_page.h"

class QComboBox;
class QLineEdit;

class KERDAL32_API CPSDialEntry : public kerdal::PropertyPage {
    Q_OBJECT
public:
    enum { IDD = 119 };
    enum ControlId { IDC_COMMENT = 1048, IDC_DIAL_STRING = 1049, IDC_DUPLEX = 1051 };

    CPSDialEntry();
    ~CPSDialEntry() override;

    QComboBox* m_ctlDuplex;
    QString m_strComment;
    QString m_strDialString;
    char m_chDuplex = 'F';  // 'F' full duplex, anything else shows as half

    bool OnInitDialog() override;
    void DoDataExchange(kerdal::DataExchange& dx) override;

private:
    QLineEdit* m_pComment;
    QLineEdit* m_pDialString;
};
