#include "setup/ps_select_port.h"

#include "setup/page_caption.h"
#include "setup/page_controls.h"
#include "setup/page_strings.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>

#include <algorithm>
#include <utility>

using namespace kerdal;
namespace ps = kerdal::page_strings;

namespace {

CPSSelectPort::DeviceNamer& Namer() {
    static CPSSelectPort::DeviceNamer namer;
    return namer;
}

QString DeviceOf(const QString& item) {
    const int com = CPSSelectPort::PortNumberFromName(item);
    return com > 0 && Namer() ? Namer()(com) : QString();
}

}  // namespace

CPSSelectPort::DeviceNamer CPSSelectPort::SetDeviceNamer(DeviceNamer namer) {
    return std::exchange(Namer(), std::move(namer));
}

CPSSelectPort::CPSSelectPort(const char* portList, unsigned captionId)
    : CPSSelectPort(QString::fromLocal8Bit(portList ? portList : ""), captionId) {}

CPSSelectPort::CPSSelectPort(const QString& portList, unsigned captionId)
    : PropertyPage(IDD, PageCaption(captionId, ps::kSelectPortCaption), 222, 95),
      m_strPortList(portList) {
    m_ctlPortList = AddDropList(this, IDC_PORT_LIST, 2, 6, 48, 61);
    m_ctlDevice = AddLabel(this, "", 2, 22, 218, 8);
    m_ctlDevice->setObjectName(QString::number(IDC_PORT_DEVICE));
    m_ctlDevice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    connect(m_ctlPortList, &QComboBox::currentIndexChanged, this, [this] { ShowDevice(); });
}

void CPSSelectPort::ShowDevice() {
    const QString device = m_ctlPortList->currentIndex() >= 0
                               ? m_ctlPortList->currentData(Qt::ToolTipRole).toString()
                               : QString();
    m_ctlDevice->setToolTip(device);
    if (device.isEmpty()) {
        m_ctlDevice->clear();
        return;
    }
    // A by-id name may be wider than the page: cut in its middle, whole in the tooltip.
    const QString label = QStringLiteral("Device: ");
    const QFontMetrics metrics = m_ctlDevice->fontMetrics();
    const int room = std::max(0, m_ctlDevice->width() - metrics.horizontalAdvance(label));
    m_ctlDevice->setText(label + metrics.elidedText(device, Qt::ElideMiddle, room));
}

CPSSelectPort::~CPSSelectPort() = default;

int CPSSelectPort::PortNumberFromName(const QString& name) {
    // Like reading an integer from the fourth character on: blanks, a sign, digits.
    if (name.size() <= 3) return 0;
    const QString rest = name.mid(3);
    qsizetype i = 0;
    while (i < rest.size() && rest[i].isSpace()) ++i;
    bool negative = false;
    if (i < rest.size() && (rest[i] == u'-' || rest[i] == u'+')) negative = rest[i++] == u'-';
    long long value = 0;
    for (; i < rest.size() && rest[i] >= u'0' && rest[i] <= u'9'; ++i) {
        value = value * 10 + (rest[i].unicode() - u'0');
        if (value > 0x7fffffff) return 0;  // no COM number is that large
    }
    return static_cast<int>(negative ? -value : value);
}

bool CPSSelectPort::OnInitDialog() {
    // Filled afresh on every run, so a sheet shown twice does not list its ports twice.
    m_ctlPortList->clear();
    if (!m_strPortList.isEmpty()) {
        int match = -1;
        const QStringList items = m_strPortList.split(u',');
        for (int pos = 0; pos < items.size(); ++pos) {
            if (PortNumberFromName(items[pos]) == m_nPort) match = pos;
            m_ctlPortList->addItem(items[pos]);
            const QString device = DeviceOf(items[pos]);
            if (!device.isEmpty()) m_ctlPortList->setItemData(pos, device, Qt::ToolTipRole);
        }
        // Shown again after a choice: `m_nPort` is that choice's position by now.
        if (m_bChosen && m_nPort >= 0 && m_nPort < m_ctlPortList->count()) match = m_nPort;
        m_ctlPortList->setCurrentIndex(match >= 0 ? match : 0);
    }
    ShowDevice();  // also when the index did not change from the last run
    return true;
}

void CPSSelectPort::DoDataExchange(DataExchange& dx) {
    if (dx.Failed()) return;
    dx.PrepareCtrl(m_ctlPortList);
    if (!dx.Saving()) {
        // Coming back to the page: `m_nPort` is a list position by now.
        if (m_nPort >= 0 && m_nPort < m_ctlPortList->count())
            m_ctlPortList->setCurrentIndex(m_nPort);
        return;
    }
    m_nPort = m_ctlPortList->currentIndex();
    m_bChosen = true;
    m_strPort = m_nPort >= 0 ? m_ctlPortList->currentText() : QString();
}
