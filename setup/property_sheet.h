#pragma once
// A tabbed dialog of PropertyPages with OK, Cancel and Apply.
//
// A run (DoModal, or Open for a sheet shown without a modal loop) activates the start
// page; switching tabs first asks the current page's OnKillActive and stays when it
// refuses. OK validates the current page, applies every page activated in this run and
// closes with kIdOk (1); Cancel resets those pages and closes with kIdCancel (2); Apply
// validates and applies without closing. A sheet can be run again: each run starts the
// pages afresh from their members.
//
// Pages added by pointer belong to the caller, who may delete them after the sheet (or
// before: a deleted page leaves the sheet). Pages added as unique_ptr belong to the sheet
// and are deleted with it, last page first.

#include "setup/kerdal32_export.h"
#include "setup/page_message_box.h"
#include "setup/property_page.h"

#include <QDialog>
#include <QString>

#include <memory>
#include <vector>

class QDialogButtonBox;
class QPushButton;
class QTabWidget;

namespace kerdal {

class KERDAL32_API PropertySheet : public QDialog {
    Q_OBJECT
public:
    // The button object names are the framework's command ids of the buttons.
    static constexpr int kIdApplyNow = 0x3021;

    explicit PropertySheet(const QString& caption, QWidget* parent = nullptr, int selectPage = 0);
    ~PropertySheet() override;

    void AddPage(PropertyPage* page);
    PropertyPage* AddPage(std::unique_ptr<PropertyPage> page);
    void RemovePage(PropertyPage* page);

    int GetPageCount() const { return static_cast<int>(m_pages.size()); }
    PropertyPage* GetPage(int index) const;
    int GetPageIndex(const PropertyPage* page) const;
    PropertyPage* GetActivePage() const { return GetPage(m_nActive); }
    int GetActiveIndex() const { return m_nActive; }

    // Switches pages as a click on the tab does; false when the current page refused to be
    // left or the new page refused to be activated.
    bool SetActivePage(int index);
    bool SetActivePage(PropertyPage* page) { return SetActivePage(GetPageIndex(page)); }

    QString Caption() const { return windowTitle(); }
    void SetCaption(const QString& caption) { setWindowTitle(caption); }
    void SetApplyButtonVisible(bool visible);

    // Runs the sheet modally; returns kIdOk or kIdCancel.
    int DoModal();

    // Starts a run without a modal loop (the sheet is shown); the buttons then end it.
    void Open();
    bool IsRunning() const { return m_bRunning; }
    // Result of the last run: kIdOk, kIdCancel, or 0 while none has ended.
    int Result() const { return m_nResult; }

    // What the buttons do; each returns true when it did its work (OK and Cancel: the sheet
    // closed; Apply: the pages were applied).
    bool PressOk();
    bool PressCancel();
    bool PressApply();

    void accept() override;
    void reject() override;

private:
    friend class PropertyPage;
    void ForgetPage(PropertyPage* page);
    void PageCaptionChanged(PropertyPage* page);
    void PageModifiedChanged();

    void StartRun();
    void EndRun(int result);
    bool Activate(int index);
    void ShowTab(int index);
    void OnTabChanged(int index);
    bool ApplyPages();

    QTabWidget* m_pTabs = nullptr;
    QDialogButtonBox* m_pButtons = nullptr;
    QPushButton* m_pApply = nullptr;
    std::vector<PropertyPage*> m_pages;
    std::vector<std::unique_ptr<PropertyPage>> m_ownedPages;
    int m_nStartPage = 0;
    int m_nActive = -1;
    int m_nResult = 0;
    bool m_bRunning = false;
    bool m_bSwitching = false;
};

}  // namespace kerdal
