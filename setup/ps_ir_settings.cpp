#include "setup/ps_ir_settings.h"

#include "setup/page_controls.h"
#include "setup/page_strings.h"

#include <QComboBox>

#include <algorithm>

using namespace kerdal;
namespace ps = kerdal::page_strings;

CPSIRSettings::CPSIRSettings()
    : PropertyPage(IDD, QString::fromLatin1(ps::kSettingsCaption), 186, 95) {
    AddLabel(this, ps::kBaudRateLabel, 7, 9, 35, 8);
    m_pBaudRate = AddDropList(this, IDC_BAUD_RATE, ps::IrBaudItems(), 7, 26, 71, 83);
}

CPSIRSettings::~CPSIRSettings() = default;

void CPSIRSettings::DoDataExchange(DataExchange& dx) {
    if (dx.Failed()) return;
    dx.PrepareCtrl(m_pBaudRate);
    if (!dx.Saving()) {
        const auto* found = std::find(kBaudRates.begin(), kBaudRates.end(), m_lBaudRate);
        m_pBaudRate->setCurrentIndex(
            found == kBaudRates.end() ? 0 : static_cast<int>(found - kBaudRates.begin()));
        return;
    }
    bool ok = false;
    const int rate = m_pBaudRate->currentText().toInt(&ok);
    if (m_pBaudRate->currentIndex() >= 0 && ok) m_lBaudRate = rate;
}
