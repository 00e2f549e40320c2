#include "app/dlg_command.h"

#include "app/dialog_strings.h"
#include "setup/dialog_units.h"
#include "setup/page_controls.h"

#include <QLineEdit>
#include <QPushButton>

namespace tolvan::app {

CDlgCommand::CDlgCommand(QWidget* parent) : QDialog(parent) {
    setObjectName(QString::number(IDD));
    setWindowTitle(QString::fromLatin1(dlgtext::kCommandCaption));
    kerdal::AddLabel(this, dlgtext::kCommandLabel, 7, 7, 40, 8);
    m_pEdit = kerdal::AddEdit(this, IDC_COMMAND, 7, 18, 150, 13);
    QPushButton* ok = kerdal::AddPushButton(this, 1, dlgtext::kOk, 164, 7, 50, 14);
    QPushButton* cancel = kerdal::AddPushButton(this, 2, dlgtext::kCancel, 164, 24, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    kerdal::FitPageLayout(this, 221, 45);
}

void CDlgCommand::showEvent(QShowEvent* event) {
    m_pEdit->setText(m_strCommand);
    m_pEdit->setFocus();
    QDialog::showEvent(event);
}

void CDlgCommand::accept() {
    m_strCommand = m_pEdit->text();
    QDialog::accept();
}

std::string CDlgCommand::CommandBytes() const {
    const QByteArray latin = m_strCommand.toLatin1();
    std::string bytes(latin.constData(), static_cast<size_t>(latin.size()));
    bytes.push_back('\r');
    return bytes;
}

}  // namespace tolvan::app
