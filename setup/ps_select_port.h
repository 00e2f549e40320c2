#pragma once
// "Select Port" page: offers the COM ports of a comma-separated list ("COM1,COM3") and
// returns the chosen one.
//
// Before the sheet is shown `m_nPort` holds the port number to preselect (the last item
// whose number equals it, else the first item). After the page was left or accepted it
// holds the chosen list position (-1 for none) and `m_strPort` the chosen item's text; the
// creator takes the port number from that text with PortNumberFromName.
//
// Below the list the page names the device the chosen COM number stands for ("Device:
// /dev/serial/by-id/usb-...", "Device: loop://"); each item carries it as its tooltip. The
// items themselves stay "COMn". The names come from the device namer the process set; a
// process without one (a client program) shows no device.

#include "setup/kerdal32_export.h"
#include "setup/property_page.h"

#include <QString>

#include <functional>

class QComboBox;
class QLabel;

class KERDAL32_API CPSSelectPort : public kerdal::PropertyPage {
    Q_OBJECT
public:
    enum { IDD = 108 };
    enum ControlId { IDC_PORT_LIST = 1005, IDC_PORT_DEVICE = 1006 };

    // The device a COM number stands for, or an empty text when it is not known here.
    using DeviceNamer = std::function<QString(int comNumber)>;
    // Replaces the namer of every Select Port page shown from now on; returns the previous.
    static DeviceNamer SetDeviceNamer(DeviceNamer namer);

    // `captionId`: string id of the tab caption, 0 for "Select Port".
    explicit CPSSelectPort(const char* portList, unsigned captionId = 0);
    explicit CPSSelectPort(const QString& portList, unsigned captionId = 0);
    ~CPSSelectPort() override;

    QComboBox* m_ctlPortList;
    QLabel* m_ctlDevice;
    int m_nPort = -1;
    QString m_strPort;
    QString m_strPortList;

    // The decimal number that starts at the fourth character of a port name ("COM10" gives
    // 10); 0 when there is none (an empty text, "COM", "COMx").
    static int PortNumberFromName(const QString& name);

    bool OnInitDialog() override;
    void DoDataExchange(kerdal::DataExchange& dx) override;

private:
    void ShowDevice();

    bool m_bChosen = false;  // `m_nPort` holds a list position rather than a port number
};
