#include "app/dlg_send_string.h"

#include "app/dialog_strings.h"
#include "setup/dialog_units.h"
#include "setup/page_controls.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

namespace tolvan::app {

namespace {
constexpr int kWidth = 186, kHeight = 62;
}

CDlgSendString::CDlgSendString(QWidget* parent) : QDialog(parent) {
    setObjectName(QString::number(IDD));
    setWindowTitle(QString::fromLatin1(dlgtext::kSendStringCaption));
    kerdal::AddLabel(this, dlgtext::kSendStringLabel, 7, 7, 110, 8);
    m_pEdit = kerdal::AddEdit(this, IDC_STRING, 7, 18, 116, 13);
    m_pAddLF = kerdal::AddCheckBox(this, IDC_ADD_LF, dlgtext::kAddLineFeed, 7, 38, 50, 10);
    m_pAddCR = kerdal::AddCheckBox(this, IDC_ADD_CR, dlgtext::kAddCarriageReturn, 62, 38, 50, 10);
    QPushButton* ok = kerdal::AddPushButton(this, 1, dlgtext::kOk, 129, 7, 50, 14);
    QPushButton* cancel = kerdal::AddPushButton(this, 2, dlgtext::kCancel, 129, 24, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    kerdal::FitPageLayout(this, kWidth, kHeight);
}

void CDlgSendString::showEvent(QShowEvent* event) {
    m_pEdit->setText(m_strText);
    m_pAddLF->setChecked(m_bAddLF);
    m_pAddCR->setChecked(m_bAddCR);
    m_pEdit->setFocus();
    QDialog::showEvent(event);
}

void CDlgSendString::accept() {
    m_strText = m_pEdit->text();
    m_bAddLF = m_pAddLF->isChecked();
    m_bAddCR = m_pAddCR->isChecked();
    QDialog::accept();
}

std::string CDlgSendString::ComposeBytes(const QString& text, bool addCR, bool addLF) {
    const QByteArray latin = text.toLatin1();
    std::string bytes(latin.constData(), static_cast<size_t>(latin.size()));
    if (addCR) bytes.push_back('\r');
    if (addLF) bytes.push_back('\n');
    return bytes;
}

}  // namespace tolvan::app
