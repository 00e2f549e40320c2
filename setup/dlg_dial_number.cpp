#include "setup/dlg_dial_number.h"

#include "setup/dial_entry_sheet.h"
#include "setup/dialog_units.h"
#include "setup/dial_list.h"
#include "setup/dial_page_strings.h"
#include "setup/library_strings.h"
#include "setup/page_controls.h"
#include "setup/page_message_box.h"
#include "setup/page_strings.h"
#include "setup/property_sheet.h"

#include "framework/doc_manager.h"
#include "framework/framework_ui.h"
#include "framework/string_table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>

#include <string>
#include <vector>

using namespace kerdal;
namespace ds = kerdal::dial_strings;

namespace {

QString FromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToLocal(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

// The document name of the phone-list template: field 1 of its template string.
std::string PhoneListDocName() {
    const std::string templ = tfw::LoadString(kIdsDialListTemplate);
    const auto start = templ.find('\n');
    if (start == std::string::npos) return {};
    const auto end = templ.find('\n', start + 1);
    return templ.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
}

}  // namespace

CDlgDialNumber::CDlgDialNumber(const QString& phoneListFile)
    : PropertyPage(IDD, QString::fromLatin1(ds::kSelectNumberCaption), 187, 96),
      m_strPhoneList(phoneListFile) {
    AddLabel(this, ds::kSelectNumberLabel, 9, 5, 78, 8);
    m_ctlList = new QListWidget(this);
    m_ctlList->setObjectName(QString::number(IDC_NUMBERS));
    m_ctlList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_ctlList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    PlaceControl(m_ctlList, 8, 20, 112, 68);
    auto* add = AddPushButton(this, IDC_ADD, ds::kAddButton, 131, 6, 50, 14);
    auto* edit = AddPushButton(this, IDC_EDIT, ds::kEditButton, 131, 22, 50, 14);
    auto* del = AddPushButton(this, IDC_DELETE, ds::kDeleteButton, 131, 38, 50, 14);
    m_ctlAdvanced = AddPushButton(this, IDC_ADVANCED, ds::kAdvancedButton, 131, 74, 50, 14);
    connect(add, &QPushButton::clicked, this, [this] { OnAdd(); });
    connect(edit, &QPushButton::clicked, this, [this] { OnEdit(); });
    connect(del, &QPushButton::clicked, this, [this] { OnDelete(); });
    connect(m_ctlAdvanced, &QPushButton::clicked, this, [this] { OnAdvanced(); });
}

CDlgDialNumber::~CDlgDialNumber() {
    SaveAndCloseDocument();
}

namespace {

// A bare list name means the user's data folder, not the working directory: a server that
// the bus started runs in "/", where the list could be neither found nor created.
QString PhoneListPath(const QString& name) {
    if (QFileInfo(name).isAbsolute()) return name;
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.local/share");
    const QString folder = base + QStringLiteral("/tolvan32");
    QDir().mkpath(folder);
    return folder + QLatin1Char('/') + name;
}

}  // namespace

void CDlgDialNumber::OpenDocument() {
    SaveAndCloseDocument();  // a list left over from an earlier run
    tfw::CDocTemplate* templ = tfw::TheDocManager().FindTemplateByDocName(PhoneListDocName());
    tfw::CDocument* doc = templ ? templ->CreateNewDocument() : nullptr;
    m_pDoc = dynamic_cast<CDocDialList*>(doc);
    if (doc && !m_pDoc)
        templ->DestroyDocument(doc);  // a template of that name for some other class
    if (!m_pDoc) {
        // No host template for phone lists: the page keeps a document of its own.
        m_ownDoc = classCDocDialList.createObject();
        m_pDoc = dynamic_cast<CDocDialList*>(m_ownDoc.get());
    }

    if (m_strPhoneList.isEmpty()) {
        m_pDoc->OnNewDocument();
        return;
    }
    const QString listPath = PhoneListPath(m_strPhoneList);
    const std::string path = ToLocal(listPath);
    if (!QFileInfo::exists(listPath)) {
        QFile file(listPath);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            file.close();
        else
            ShowPageMessage(this, QString::fromLatin1(ds::kCannotCreateList).arg(listPath),
                            MessageIcon::Error, MessageButtons::Ok);
    }
    // A failed load is reported by the document and leaves the list empty.
    m_pDoc->OnOpenDocument(path);
    m_pDoc->SetPathName(path, false);
}

void CDlgDialNumber::SaveAndCloseDocument() {
    if (!m_pDoc) return;
    CDocDialList* doc = m_pDoc;
    m_pDoc = nullptr;
    if (!m_ownDoc && !tfw::TheDocManager().FindTemplateOf(doc))
        return;  // the host's template went first and took the document with it

    if (doc->IsModified()) {
        QString name = FromLocal(doc->GetPathName());
        if (name.isEmpty()) name = FromLocal(doc->GetTitle());
        if (name.isEmpty()) name = QString::fromLatin1(ds::kUntitled);
        const int answer = ShowPageMessage(this, QString::fromLatin1(ds::kAskToSave).arg(name),
                                           MessageIcon::Question, MessageButtons::YesNoCancel);
        if (answer == kIdYes) {
            const QString path = FromLocal(doc->GetPathName());
            const QFileInfo info(path);
            if (!path.isEmpty() && info.exists() && info.isReadable() && info.isWritable()) {
                doc->OnSaveDocument(doc->GetPathName());
            } else if (auto& ui = tfw::TheFrameworkUi(); ui.askSavePath) {
                if (auto chosen = ui.askSavePath(*doc); chosen && !chosen->empty())
                    doc->OnSaveDocument(*chosen);
            }
        }
    }
    doc->OnCloseDocument();  // a template's document is destroyed here
    m_ownDoc.reset();
}

void CDlgDialNumber::AddComment(const QString& comment) {
    // Sorted as the list box of the template sorts: without regard to case, a new item
    // after the equal ones already there.
    int pos = 0;
    while (pos < m_ctlList->count() &&
           QString::compare(m_ctlList->item(pos)->text(), comment, Qt::CaseInsensitive) <= 0)
        ++pos;
    m_ctlList->insertItem(pos, comment);
}

void CDlgDialNumber::FillList() {
    m_ctlList->clear();
    for (int i = 0; i < m_pDoc->GetListSize(); ++i)
        AddComment(FromLocal(m_pDoc->GetNode(i)->strComment));
}

int CDlgDialNumber::FirstSelected() const {
    for (int i = 0; i < m_ctlList->count(); ++i)
        if (m_ctlList->item(i)->isSelected()) return i;
    return -1;
}

bool CDlgDialNumber::OnInitDialog() {
    PropertyPage::OnInitDialog();
    OpenDocument();

    m_ctlList->clear();
    const std::string dialString = ToLocal(m_strDialString);
    QString noted;
    for (int i = 0; i < m_pDoc->GetListSize(); ++i) {
        const tagDialEntry* entry = m_pDoc->GetNode(i);
        AddComment(FromLocal(entry->strComment));
        if (entry->strDialString == dialString) noted = FromLocal(entry->strComment);
    }
    m_ctlAdvanced->setEnabled(m_pAdvancedSheet != nullptr);

    // An item with exactly the noted comment wins over one that differs only in case.
    int row = -1;
    if (!noted.isEmpty()) {
        for (int i = 0; i < m_ctlList->count() && row < 0; ++i)
            if (m_ctlList->item(i)->text() == noted) row = i;
        for (int i = 0; i < m_ctlList->count() && row < 0; ++i)
            if (QString::compare(m_ctlList->item(i)->text(), noted, Qt::CaseInsensitive) == 0)
                row = i;
    }
    if (row < 0 && m_ctlList->count() > 0) row = 0;
    if (row >= 0) m_ctlList->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    return true;
}

bool CDlgDialNumber::OnKillActive() {
    if (!PropertyPage::OnKillActive()) return false;
    const int first = FirstSelected();
    m_strSelComment = first >= 0 ? m_ctlList->item(first)->text() : QString();
    if (m_strSelComment.isEmpty() || !m_pDoc) return true;
    const tagDialEntry* entry =
        m_pDoc->GetNode(m_pDoc->GetIndexOfComment(ToLocal(m_strSelComment)));
    if (!entry) return true;
    m_strDialString = FromLocal(entry->strDialString);
    m_lBaudRate = entry->lBaudRate;
    m_chParity = entry->chParity;
    m_nWordLen = entry->nWordLen;
    m_nStopBits = entry->nStopBits;
    m_chDuplex = entry->chDuplex;
    return true;
}

void CDlgDialNumber::OnDestroy() {
    SaveAndCloseDocument();
    PropertyPage::OnDestroy();
}

bool CDlgDialNumber::RunEntrySheet(tagDialEntry& entry) {
    return RunDialEntrySheet(entry, page_strings::PageString(kIdsDialEntrySettings), this, false);
}

void CDlgDialNumber::OnAdd() {
    if (!m_pDoc) return;
    tagDialEntry entry;
    if (!RunEntrySheet(entry)) return;
    m_pDoc->AddNode(&entry);
    AddComment(FromLocal(entry.strComment));
    m_ctlList->update();
}

void CDlgDialNumber::OnEdit() {
    const int first = FirstSelected();
    if (first < 0) {
        ShowPageMessage(this, ds::DialString(ds::kIdsNothingSelected));
        return;
    }
    if (!m_pDoc) return;
    const int index = m_pDoc->GetIndexOfComment(ToLocal(m_ctlList->item(first)->text()));
    const tagDialEntry* node = m_pDoc->GetNode(index);
    if (!node) return;
    tagDialEntry entry = *node;
    StartAtEntryLine(entry);
    if (!RunEntrySheet(entry)) return;
    m_pDoc->SetNode(index, &entry);
    delete m_ctlList->takeItem(first);
    AddComment(FromLocal(entry.strComment));
}

void CDlgDialNumber::OnDelete() {
    std::vector<QString> selected;
    for (int i = 0; i < m_ctlList->count(); ++i)
        if (m_ctlList->item(i)->isSelected()) selected.push_back(m_ctlList->item(i)->text());
    if (selected.empty()) {
        ShowPageMessage(this, ds::DialString(ds::kIdsNothingSelected));
        return;
    }
    if (!m_pDoc) return;
    if (ShowPageMessage(this, ds::DialString(ds::kIdsConfirmDelete), MessageIcon::Question,
                        MessageButtons::YesNo) != kIdYes)
        return;

    m_ctlList->setUpdatesEnabled(false);
    // One lookup per item: of entries sharing a comment, each pass removes the first left.
    for (const QString& comment : selected) {
        const int index = m_pDoc->GetIndexOfComment(ToLocal(comment));
        if (index >= 0) m_pDoc->DeleteNode(1, &index);
    }
    FillList();
    if (m_ctlList->count() > 0) m_ctlList->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    m_ctlList->setUpdatesEnabled(true);
    m_ctlList->update();
}

void CDlgDialNumber::OnAdvanced() {
    if (!m_pAdvancedSheet) return;
    const int remembered = FirstSelected();
    if (m_pAdvancedSheet->DoModal() == kIdOk) m_bAdvanced = 1;
    if (remembered >= 0 && remembered < m_ctlList->count())
        m_ctlList->setCurrentRow(remembered, QItemSelectionModel::ClearAndSelect);
}
