#include "setup/ps_mdm_work_mode.h"

#include "setup/page_controls.h"
#include "setup/page_message_box.h"
#include "setup/page_strings.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace kerdal;
namespace ps = kerdal::page_strings;

CPSMdmSpecSet::CPSMdmSpecSet()
    : PropertyPage(IDD, QString::fromLatin1(ps::kWorkModeCaption), 187, 95) {
    AddGroupBox(this, ps::kWaitingGroup, 3, 5, 101, 47);
    m_workMode[0] = AddRadioButton(this, IDC_NOT_TO_WAIT, ps::kNotToWait, 10, 14, 84, 10);
    m_workMode[1] = AddRadioButton(this, IDC_WAIT_TIMEOUT, ps::kWaitForTimeout, 10, 26, 87, 10);
    m_workMode[2] = AddRadioButton(this, IDC_WAIT_RESPONSE, ps::kWaitForResponse, 10, 38, 91, 10);
    AddLabel(this, ps::kTimeoutLabel, 5, 54, 48, 8);
    m_pTimeout = AddEdit(this, IDC_TIMEOUT, 59, 54, 45, 13);
    AddLabel(this, ps::kResponseLabel, 5, 72, 34, 8);
    m_pResponse = AddEdit(this, IDC_RESPONSE, 59, 72, 45, 13);
    AddLabel(this, ps::kInternalTimeoutLabel, 110, 5, 73, 8);
    m_pInternalTimeout = AddEdit(this, IDC_INTERNAL_TIMEOUT, 110, 16, 40, 13);
    AddLabel(this, ps::kPhoneListLabel, 110, 33, 49, 8);
    m_pPhoneList = AddEdit(this, IDC_PHONE_LIST, 110, 44, 73, 13);
    m_pBrowse = AddPushButton(this, IDC_BROWSE, ps::kBrowseButton, 110, 60, 50, 14);

    for (QAbstractButton* button : m_workMode)
        connect(button, &QAbstractButton::clicked, this, [this] { OnWorkModeClicked(); });
    connect(m_pBrowse, &QPushButton::clicked, this, [this] { OnBrowse(); });
}

CPSMdmSpecSet::~CPSMdmSpecSet() = default;

void CPSMdmSpecSet::DoDataExchange(DataExchange& dx) {
    DDX_Text(dx, m_pResponse, m_strResponse);
    DDX_Text(dx, m_pTimeout, m_nTimeout);
    DDX_Radio(dx, m_workMode, m_nWorkMode);
    DDX_Text(dx, m_pInternalTimeout, m_nInternalTimeout);
    DDX_Text(dx, m_pPhoneList, m_strPhoneList);
    if (!dx.Saving() || dx.Failed()) return;

    if (m_nWorkMode != kNotToWait && m_nTimeout == 0) {
        ShowPageMessage(this, ps::PageString(ps::kIdsNeedPositiveTimeout));
        dx.PrepareEditCtrl(m_pTimeout);
        dx.Fail();
    } else if (m_nWorkMode == kWaitResponse && m_strResponse.isEmpty()) {
        ShowPageMessage(this, ps::PageString(ps::kIdsNeedResponse));
        dx.PrepareEditCtrl(m_pResponse);
        dx.Fail();
    } else if (m_nInternalTimeout == 0) {
        ShowPageMessage(this, ps::PageString(ps::kIdsNeedInternalTimeout));
        dx.PrepareEditCtrl(m_pInternalTimeout);
        dx.Fail();
    }
}

bool CPSMdmSpecSet::OnInitDialog() {
    PropertyPage::OnInitDialog();
    EnableControls();
    return true;
}

void CPSMdmSpecSet::EnableControls() {
    m_pTimeout->setEnabled(m_nWorkMode != kNotToWait);
    m_pResponse->setEnabled(m_nWorkMode == kWaitResponse);
}

void CPSMdmSpecSet::OnWorkModeClicked() {
    DataExchange dx(this, true);
    DoDataExchange(dx);
    EnableControls();
    // The box a failed check names may have been disabled until the line above.
    if (QWidget* offending = dx.FailedControl()) offending->setFocus(Qt::OtherFocusReason);
}

void CPSMdmSpecSet::OnBrowse() {
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("PhoneListBrowse"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);  // a list that does not exist yet is allowed
    dialog.setNameFilters(QString::fromLatin1(ps::kPhoneListFilter).split(QStringLiteral(";;")));
    if (dialog.exec() != QDialog::Accepted) return;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return;
    m_strPhoneList = QFileInfo(chosen.front()).absoluteFilePath();
    UpdateData(false);
}
