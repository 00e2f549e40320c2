#pragma once
// Infra-red "Settings" page: the baud rate of an infra-red link (2400, 9600, 19200 or
// 57600). It carries the link variant that its creator passes on to the connection as
// the parity argument, without showing or changing it.

#include "setup/kerdal32_export.h"
#include "setup/property_page.h"

#include <array>
#include <cstdint>

class QComboBox;

class KERDAL32_API CPSIRSettings : public kerdal::PropertyPage {
    Q_OBJECT
public:
    enum { IDD = 101 };
    enum ControlId { IDC_BAUD_RATE = 1001 };

    // The rates of the list, in list order.
    static constexpr std::array<std::int32_t, 4> kBaudRates{2400, 9600, 19200, 57600};

    CPSIRSettings();
    ~CPSIRSettings() override;

    std::int32_t m_nLinkVariant = 1;
    // The infra-red channel knows the link variant by the name of its own field.
    std::int32_t& m_nIRParity = m_nLinkVariant;
    std::int32_t m_lBaudRate = 9600;

    // When loading, selects the rate's list position (2400 for a rate not offered); when
    // saving, takes the selected rate.
    void DoDataExchange(kerdal::DataExchange& dx) override;

private:
    QComboBox* m_pBaudRate;
};
