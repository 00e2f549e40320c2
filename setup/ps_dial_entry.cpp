#include "setup/ps_dial_entry.h"

#include "setup/dial_page_strings.h"
#include "setup/page_controls.h"
#include "setup/page_message_box.h"

#include <QComboBox>
#include <QLineEdit>

using namespace kerdal;
namespace ds = kerdal::dial_strings;

CPSDialEntry::CPSDialEntry()
    : PropertyPage(IDD, QString::fromLatin1(ds::kDialEntryCaption), 187, 95) {
    AddLabel(this, ds::kCommentLabel, 3, 6, 36, 8);
    m_pComment = AddEdit(this, IDC_COMMENT, 44, 6, 129, 13);
    AddLabel(this, ds::kDialStringLabel, 3, 21, 39, 8);
    m_pDialString = AddEdit(this, IDC_DIAL_STRING, 44, 21, 129, 13);
    AddLabel(this, ds::kDuplexLabel, 3, 36, 30, 8);
    m_ctlDuplex = AddDropList(this, IDC_DUPLEX, 44, 36, 48, 52);
}

CPSDialEntry::~CPSDialEntry() = default;

bool CPSDialEntry::OnInitDialog() {
    // Filled afresh on every run, so a sheet shown twice does not list its items twice.
    m_ctlDuplex->clear();
    for (const QString& item : ds::DuplexItems()) AddSortedItem(m_ctlDuplex, item);
    return PropertyPage::OnInitDialog();
}

void CPSDialEntry::DoDataExchange(DataExchange& dx) {
    DDX_Text(dx, m_pComment, m_strComment);
    DDX_Text(dx, m_pDialString, m_strDialString);
    if (!dx.Saving()) {
        m_ctlDuplex->setCurrentIndex(m_chDuplex == 'F' ? 0 : 1);
        return;
    }
    if (m_strComment.isEmpty()) {
        // Entries are found by their comment: one without a comment could never be picked.
        ShowPageMessage(this, ds::DialString(ds::kIdsCommentRequired));
        dx.PrepareEditCtrl(m_pComment);
        dx.Fail();
        return;
    }
    m_chDuplex = m_ctlDuplex->currentIndex() == 1 ? 'H' : 'F';
}
