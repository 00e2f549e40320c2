#pragma once
// "Select phone number " page: picks the number to dial from a phone-list file and lets the
// user keep that list (add, edit, delete entries).
//
// When first shown in a run, the page opens the list file (creating it empty when missing)
// in a phone-list document made by the host's template whose document name is "RuVido"; a
// host without that template gets a document of the page's own. The list box shows the
// comments sorted without regard to case; the entry whose dial string equals
// m_strDialString is preselected, else the first item. When left or accepted, the first
// selected item's entry supplies m_strDialString and the line parameters; with nothing
// selected they keep the creator's values. When the run ends a modified list is offered for
// saving (Yes, No, Cancel) and the document is closed.

#include "setup/kerdal32_export.h"
#include "setup/property_page.h"

#include <cstdint>
#include <memory>

class CDocDialList;
class QListWidget;
class QPushButton;
struct tagDialEntry;

namespace kerdal {
class PropertySheet;
}
namespace tfw {
class CDocument;
}

class KERDAL32_API CDlgDialNumber : public kerdal::PropertyPage {
    Q_OBJECT
public:
    enum { IDD = 122 };
    enum ControlId {
        IDC_ADD = 1000,
        IDC_EDIT = 1001,
        IDC_DELETE = 1002,
        IDC_ADVANCED = 1004,
        IDC_NUMBERS = 1053,
    };

    // `phoneListFile`: path of the ".lst" file; empty for a new, unnamed list.
    explicit CDlgDialNumber(const QString& phoneListFile);
    // Closes a list still open (asking to save it first when modified).
    ~CDlgDialNumber() override;

    QListWidget* m_ctlList;
    QPushButton* m_ctlAdvanced;
    QString m_strSelComment;
    QString m_strDialString;
    std::int32_t m_lBaudRate = 9600;
    char m_chParity = 'N';
    std::int32_t m_nWordLen = 8;
    std::int32_t m_nStopBits = 1;
    char m_chDuplex = 'F';
    // Shown by "Advanced..." (which is disabled while this is null); not owned.
    kerdal::PropertySheet* m_pAdvancedSheet = nullptr;
    std::int32_t m_bAdvanced = 0;  // 1 once the advanced sheet was accepted
    CDocDialList* m_pDoc = nullptr;
    QString m_strPhoneList;

    bool OnInitDialog() override;
    bool OnKillActive() override;
    void OnDestroy() override;

    // The button handlers, as the buttons call them.
    void OnAdd();
    void OnEdit();
    void OnDelete();
    void OnAdvanced();

private:
    void OpenDocument();
    void SaveAndCloseDocument();
    void AddComment(const QString& comment);
    void FillList();
    int FirstSelected() const;
    // Runs the dial-entry sheet on `entry`; true when it was accepted (entry then updated).
    bool RunEntrySheet(tagDialEntry& entry);

    // The document when no host template made it.
    std::unique_ptr<tfw::CDocument> m_ownDoc;
};
