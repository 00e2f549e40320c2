#include "app/dlg_read_bytes.h"

#include "app/dialog_strings.h"
#include "setup/data_exchange.h"
#include "setup/dialog_units.h"
#include "setup/page_controls.h"

#include <QLineEdit>
#include <QPushButton>

namespace tolvan::app {

CDlgReadBytes::CDlgReadBytes(QWidget* parent) : QDialog(parent) {
    setObjectName(QString::number(IDD));
    setWindowTitle(QString::fromLatin1(dlgtext::kReadBytesCaption));
    kerdal::AddLabel(this, dlgtext::kReadBytesLabel, 7, 7, 90, 8);
    m_pEdit = kerdal::AddEdit(this, IDC_COUNT, 7, 18, 90, 13);
    QPushButton* ok = kerdal::AddPushButton(this, 1, dlgtext::kOk, 108, 7, 50, 14);
    QPushButton* cancel = kerdal::AddPushButton(this, 2, dlgtext::kCancel, 108, 24, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    kerdal::FitPageLayout(this, 165, 45);
}

void CDlgReadBytes::showEvent(QShowEvent* event) {
    kerdal::DataExchange dx(this, false);
    kerdal::DDX_Text(dx, m_pEdit, m_nBytes);
    m_pEdit->setFocus();
    QDialog::showEvent(event);
}

void CDlgReadBytes::accept() {
    unsigned count = m_nBytes;
    kerdal::DataExchange dx(this, true);
    kerdal::DDX_Text(dx, m_pEdit, count);
    if (dx.Failed()) return;  // the exchange told the user why; the dialog stays open
    m_nBytes = count;
    QDialog::accept();
}

}  // namespace tolvan::app
