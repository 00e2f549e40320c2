#include "setup/property_sheet.h"

#include "setup/page_message_box.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace kerdal {

PropertySheet::PropertySheet(const QString& caption, QWidget* parent, int selectPage)
    : QDialog(parent), m_nStartPage(selectPage) {
    setWindowTitle(caption);
    m_pTabs = new QTabWidget(this);
    m_pButtons = new QDialogButtonBox(this);
    QPushButton* ok = m_pButtons->addButton(QDialogButtonBox::Ok);
    QPushButton* cancel = m_pButtons->addButton(QDialogButtonBox::Cancel);
    m_pApply = m_pButtons->addButton(QDialogButtonBox::Apply);
    ok->setObjectName(QString::number(kIdOk));
    cancel->setObjectName(QString::number(kIdCancel));
    m_pApply->setObjectName(QString::number(kIdApplyNow));
    m_pApply->setEnabled(false);
    ok->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pTabs);
    layout->addWidget(m_pButtons);

    connect(ok, &QPushButton::clicked, this, [this] { PressOk(); });
    connect(cancel, &QPushButton::clicked, this, [this] { PressCancel(); });
    connect(m_pApply, &QPushButton::clicked, this, [this] { PressApply(); });
    connect(m_pTabs, &QTabWidget::currentChanged, this, [this](int i) { OnTabChanged(i); });
}

PropertySheet::~PropertySheet() {
    // Hand back the caller's pages before QObject would delete them as our children.
    for (PropertyPage* page : m_pages) {
        page->AttachTo(nullptr);
        page->hide();
        page->setParent(nullptr);
    }
    m_pages.clear();
    while (!m_ownedPages.empty()) m_ownedPages.pop_back();
}

void PropertySheet::AddPage(PropertyPage* page) {
    if (!page || GetPageIndex(page) >= 0) return;
    if (page->Sheet()) page->Sheet()->RemovePage(page);
    page->FitLayout();
    page->AttachTo(this);
    m_pages.push_back(page);
    m_bSwitching = true;
    m_pTabs->addTab(page, page->Caption());
    m_bSwitching = false;
    if (m_bRunning && m_nActive < 0) Activate(GetPageIndex(page));
}

PropertyPage* PropertySheet::AddPage(std::unique_ptr<PropertyPage> page) {
    PropertyPage* raw = page.get();
    AddPage(raw);
    if (raw && raw->Sheet() == this) m_ownedPages.push_back(std::move(page));
    return raw;
}

void PropertySheet::RemovePage(PropertyPage* page) {
    const int index = GetPageIndex(page);
    if (index < 0) return;
    ForgetPage(page);
    page->setParent(nullptr);
    auto owned = std::find_if(m_ownedPages.begin(), m_ownedPages.end(),
                              [page](const auto& p) { return p.get() == page; });
    if (owned != m_ownedPages.end()) {
        owned->release();  // the caller asked for it back: it is theirs again
        m_ownedPages.erase(owned);
    }
}

void PropertySheet::ForgetPage(PropertyPage* page) {
    const int index = GetPageIndex(page);
    if (index < 0) return;
    page->AttachTo(nullptr);
    m_pages.erase(m_pages.begin() + index);
    m_bSwitching = true;
    m_pTabs->removeTab(index);
    m_bSwitching = false;
    if (m_nActive == index) {
        m_nActive = -1;
        if (m_bRunning && !m_pages.empty()) Activate(std::min(index, GetPageCount() - 1));
    } else if (m_nActive > index) {
        --m_nActive;
    }
}

PropertyPage* PropertySheet::GetPage(int index) const {
    return index >= 0 && index < GetPageCount() ? m_pages[static_cast<std::size_t>(index)]
                                                : nullptr;
}

int PropertySheet::GetPageIndex(const PropertyPage* page) const {
    auto it = std::find(m_pages.begin(), m_pages.end(), page);
    return it == m_pages.end() ? -1 : static_cast<int>(it - m_pages.begin());
}

void PropertySheet::PageCaptionChanged(PropertyPage* page) {
    const int index = GetPageIndex(page);
    if (index >= 0) m_pTabs->setTabText(index, page->Caption());
}

void PropertySheet::PageModifiedChanged() {
    m_pApply->setEnabled(std::any_of(m_pages.begin(), m_pages.end(),
                                     [](const PropertyPage* p) { return p->IsModified(); }));
}

void PropertySheet::SetApplyButtonVisible(bool visible) {
    m_pApply->setVisible(visible);
}

void PropertySheet::ShowTab(int index) {
    m_bSwitching = true;
    m_pTabs->setCurrentIndex(index);
    m_bSwitching = false;
}

bool PropertySheet::Activate(int index) {
    PropertyPage* page = GetPage(index);
    if (!page) return false;
    ShowTab(index);
    if (!page->m_bInitialized) {
        page->m_bInitialized = true;
        page->OnInitDialog();
    }
    if (!page->OnSetActive()) return false;
    m_nActive = index;
    return true;
}

bool PropertySheet::SetActivePage(int index) {
    if (!GetPage(index)) return false;
    if (!m_bRunning) {
        m_nStartPage = index;
        return true;
    }
    if (index == m_nActive) return true;
    const int previous = m_nActive;
    if (PropertyPage* current = GetPage(previous); current && !current->OnKillActive()) {
        ShowTab(previous);
        return false;
    }
    if (Activate(index)) return true;
    // The new page refused: go back to where we were.
    if (previous >= 0) Activate(previous);
    return false;
}

void PropertySheet::OnTabChanged(int index) {
    if (m_bSwitching || !m_bRunning || index == m_nActive) return;
    SetActivePage(index);
}

void PropertySheet::StartRun() {
    m_nResult = 0;
    m_nActive = -1;
    for (PropertyPage* page : m_pages) page->BeginRun();
    m_pApply->setEnabled(false);
    m_bRunning = true;
    if (m_pages.empty()) return;
    const int start = GetPage(m_nStartPage) ? m_nStartPage : 0;
    if (!Activate(start) && start != 0) Activate(0);
}

void PropertySheet::EndRun(int result) {
    m_bRunning = false;
    m_nResult = result;
    // A page may delete itself from OnDestroy; walk a copy.
    const std::vector<PropertyPage*> pages = m_pages;
    for (PropertyPage* page : pages)
        if (GetPageIndex(page) >= 0 && page->m_bInitialized) page->OnDestroy();
    for (PropertyPage* page : m_pages) page->m_bInitialized = false;
    QDialog::done(result);
}

int PropertySheet::DoModal() {
    StartRun();
    const int code = exec();
    if (m_bRunning)  // closed by something other than our buttons
        EndRun(kIdCancel);
    return code == kIdOk ? kIdOk : kIdCancel;
}

void PropertySheet::Open() {
    StartRun();
    show();
}

bool PropertySheet::ApplyPages() {
    if (PropertyPage* current = GetActivePage(); current && !current->OnKillActive()) return false;
    const std::vector<PropertyPage*> pages = m_pages;
    for (PropertyPage* page : pages) {
        if (!page->m_bInitialized) continue;
        if (!page->OnApply()) {
            SetActivePage(page);
            return false;
        }
    }
    for (PropertyPage* page : m_pages) page->m_bModified = false;
    PageModifiedChanged();
    return true;
}

bool PropertySheet::PressOk() {
    if (!m_bRunning || !ApplyPages()) return false;
    EndRun(kIdOk);
    return true;
}

bool PropertySheet::PressCancel() {
    if (!m_bRunning) return false;
    for (PropertyPage* page : m_pages)
        if (page->m_bInitialized && !page->OnQueryCancel()) return false;
    const std::vector<PropertyPage*> pages = m_pages;
    for (PropertyPage* page : pages)
        if (GetPageIndex(page) >= 0 && page->m_bInitialized) page->OnReset();
    EndRun(kIdCancel);
    return true;
}

bool PropertySheet::PressApply() {
    return m_bRunning && ApplyPages();
}

void PropertySheet::accept() {
    PressOk();
}

void PropertySheet::reject() {
    if (m_bRunning)
        PressCancel();
    else
        QDialog::reject();
}

}  // namespace kerdal
