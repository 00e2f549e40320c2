#include "setup/property_page.h"

#include "setup/dialog_units.h"
#include "setup/property_sheet.h"

namespace kerdal {

PropertyPage::PropertyPage(unsigned templateId, const QString& caption, int w, int h)
    : m_nTemplateId(templateId), m_nWidthDlu(w), m_nHeightDlu(h), m_strCaption(caption) {
    setObjectName(QString::number(templateId));
    setMinimumSize(DialogUnitsSize(this, w, h));
}

PropertyPage::~PropertyPage() {
    if (m_pSheet) m_pSheet->ForgetPage(this);
}

void PropertyPage::showEvent(QShowEvent* event) {
    FitLayout();
    QWidget::showEvent(event);
}

void PropertyPage::FitLayout() {
    if (m_bLaidOut) return;
    m_bLaidOut = true;
    FitPageLayout(this, m_nWidthDlu, m_nHeightDlu);
}

void PropertyPage::SetCaption(const QString& caption) {
    m_strCaption = caption;
    if (m_pSheet) m_pSheet->PageCaptionChanged(this);
}

QWidget* PropertyPage::Control(int id) const {
    return findChild<QWidget*>(QString::number(id));
}

bool PropertyPage::UpdateData(bool saveAndValidate) {
    DataExchange dx(this, saveAndValidate);
    DoDataExchange(dx);
    return !dx.Failed();
}

void PropertyPage::SetModified(bool changed) {
    m_bModified = changed;
    if (m_pSheet) m_pSheet->PageModifiedChanged();
}

void PropertyPage::DoDataExchange(DataExchange&) {}

bool PropertyPage::OnInitDialog() {
    UpdateData(false);
    return true;
}

bool PropertyPage::OnSetActive() {
    // The first activation follows OnInitDialog, which has just loaded the controls.
    if (m_bFirstSetActive)
        m_bFirstSetActive = false;
    else
        UpdateData(false);
    return true;
}

bool PropertyPage::OnKillActive() {
    return UpdateData(true);
}

bool PropertyPage::OnApply() {
    OnOK();
    return true;
}

void PropertyPage::OnOK() {}

bool PropertyPage::OnQueryCancel() {
    return true;
}

void PropertyPage::OnReset() {
    OnCancel();
}

void PropertyPage::OnCancel() {}

void PropertyPage::OnDestroy() {}

}  // namespace kerdal
