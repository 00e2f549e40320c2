#pragma once
// "Select Port" page: offers the COM ports of a comma-separated list ("COM1,COM3") and
// returns the chosen one.
//
// Before the sheet is shown `m_nPort` holds the port number to preselect (the last item
// whose number equals it, else the first item). After the page was left or accepted it
// holds the chosen list position (-1 for none) and `m_strPort` the chosen item's text; the
// creator takes the port number from that text with PortNumberFromName.

#include "setup/property_page.h"

#include <QString>

class QComboBox;

class CPSSelectPort : public kerdal::PropertyPage {
    Q_OBJECT
public:
    enum { IDD = 108 };
    enum ControlId { IDC_PORT_LIST = 1005 };

    // `captionId`: string id of the tab caption, 0 for "Select Port".
    explicit CPSSelectPort(const char* portList, unsigned captionId = 0);
    explicit CPSSelectPort(const QString& portList, unsigned captionId = 0);
    ~CPSSelectPort() override;

    QComboBox* m_ctlPortList;
    int m_nPort = -1;
    QString m_strPort;
    QString m_strPortList;

    // The decimal number that starts at the fourth character of a port name ("COM10" gives
    // 10); 0 when there is none (an empty text, "COM", "COMx").
    static int PortNumberFromName(const QString& name);

    bool OnInitDialog() override;
    void DoDataExchange(kerdal::DataExchange& dx) override;

private:
    bool m_bChosen = false;  // `m_nPort` holds a list position rather than a port number
};
