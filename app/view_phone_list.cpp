#include "app/view_phone_list.h"

#include "app/app_strings.h"
#include "app/command_ids.h"
#include "setup/comm_param.h"
#include "setup/dial_list.h"
#include "setup/dial_page_strings.h"
#include "setup/page_message_box.h"
#include "setup/property_sheet.h"
#include "setup/ps_dial_entry.h"
#include "setup/ps_settings_port.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>

#include <string>

namespace tolvan::app {

namespace ds = kerdal::dial_strings;

namespace {

QString FromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToLocal(const QString& text) { return text.toLocal8Bit().toStdString(); }

void SayNothingSelected(QWidget* owner) {
    kerdal::ShowPageMessage(owner, ds::DialString(ds::kIdsNothingSelected));
}

}  // namespace

void ResetCommParams(AndCommParam& params) {
    params.m_nCurBaudRate = params.m_nDefBaudRate;
    params.m_nCurParity = params.m_nDefParity;
    params.m_nCurWrdLen = params.m_nDefWrdLen;
    params.m_nCurStopBit = params.m_nDefStopBit;
}

CViewPhoneList::CViewPhoneList(QWidget* parent) : CListView(parent) {}

CViewPhoneList::~CViewPhoneList() = default;

CDocDialList* CViewPhoneList::Document() const { return dynamic_cast<CDocDialList*>(GetDocument()); }

void CViewPhoneList::OnInitialUpdate() {
    CListView::OnInitialUpdate();
    if (CDocDialList* doc = Document())
        for (int i = 0; i < doc->GetListSize(); ++i) addItem(new QListWidgetItem);
}

void CViewPhoneList::MeasureItem(MeasureItemRecord& record) {
    QString text;
    QColor textColour;
    QColor background;
    GetItemText(record.itemID, text, textColour, background);
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    // The height of the line the text is drawn in (not of its ink), so rows are even.
    record.itemHeight = fontMetrics().boundingRect(QRect(), Qt::TextSingleLine, text).height() + 2;
    record.itemWidth = viewport()->width();
}

void CViewPhoneList::GetItemText(int index, QString& text, QColor& textColour, QColor& background) {
    std::string full;
    if (const CDocDialList* doc = Document(); doc && index >= 0) doc->GetFullText(static_cast<unsigned>(index), full);
    text = FromLocal(full);
    textColour = QColor(Qt::black);
    background = QColor(Qt::white);
}

bool CViewPhoneList::UpdateCommand(int id, CommandState& state) {
    switch (id) {
        case cmd::ListAdd: state.enabled = true; return true;
        case cmd::ListInsert:
        case cmd::ListDelete:
        case cmd::ListProperties: state.enabled = !selectedItems().isEmpty(); return true;
        default: return false;
    }
}

bool CViewPhoneList::ExecuteCommand(int id) {
    switch (id) {
        case cmd::ListAdd: OnAdd(); return true;
        case cmd::ListInsert: OnInsert(); return true;
        case cmd::ListDelete: OnDelete(); return true;
        case cmd::ListProperties: OnProperties(); return true;
        default: return false;
    }
}

std::vector<int> CViewPhoneList::SelectedRows() const {
    std::vector<int> rows;
    for (int i = 0; i < count(); ++i)
        if (item(i)->isSelected()) rows.push_back(i);
    return rows;
}

bool CViewPhoneList::RunEntrySheet(tagDialEntry& entry) {
    AndCommParam* params = DLLGetCommParam();
    CPSDialEntry entryPage;
    entryPage.m_strComment = FromLocal(entry.strComment);
    entryPage.m_strDialString = FromLocal(entry.strDialString);
    entryPage.m_chDuplex = entry.chDuplex;
    CPSSettingsPort portPage(params);
    // An entry has no handshaking: its boxes show unchecked and disabled.
    portPage.m_bHandshaking = 0;
    kerdal::PropertySheet sheet(AppText(str::Dial), this);
    sheet.AddPage(&entryPage);
    sheet.AddPage(&portPage);
    if (sheet.DoModal() != kerdal::kIdOk) return false;

    entry.strComment = ToLocal(entryPage.m_strComment);
    entry.strDialString = ToLocal(entryPage.m_strDialString);
    entry.chDuplex = entryPage.m_chDuplex;
    entry.lBaudRate = static_cast<std::int32_t>(params->GetBaudRate(portPage.m_nBaudRateIdx));
    entry.chParity = params->GetParity(portPage.m_nParityIdx);
    entry.nWordLen = params->GetWrdLen(portPage.m_nWrdLenIdx);
    entry.nStopBits = params->GetStopBit(portPage.m_nStopBitIdx);
    return true;
}

void CViewPhoneList::OnAdd() {
    CDocDialList* doc = Document();
    if (!doc) return;
    ResetCommParams(*DLLGetCommParam());
    tagDialEntry entry;
    if (!RunEntrySheet(entry)) return;
    // The sheet ran an event loop: the list may have been closed meanwhile.
    if (Document() != doc) return;
    doc->AddNode(&entry);
    addItem(new QListWidgetItem);
}

void CViewPhoneList::OnInsert() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) {
        SayNothingSelected(this);
        return;
    }
    CDocDialList* doc = Document();
    if (!doc) return;
    const int r = rows.front();
    ResetCommParams(*DLLGetCommParam());
    tagDialEntry entry;
    if (!RunEntrySheet(entry) || Document() != doc) return;
    doc->InsertNode(r, &entry);
    addItem(new QListWidgetItem);
    // Every row from r on now shows the entry that moved down into it.
    scheduleDelayedItemsLayout();
    viewport()->update();
}

void CViewPhoneList::OnDelete() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) {
        SayNothingSelected(this);
        return;
    }
    CDocDialList* doc = Document();
    if (!doc) return;
    if (kerdal::ShowPageMessage(this, ds::DialString(ds::kIdsConfirmDelete), kerdal::MessageIcon::Question,
                                kerdal::MessageButtons::YesNo) != kerdal::kIdYes ||
        Document() != doc)
        return;
    setUpdatesEnabled(false);
    for (std::size_t i = 0; i < rows.size() && count() > 0; ++i) delete takeItem(0);
    setUpdatesEnabled(true);
    doc->DeleteNode(static_cast<int>(rows.size()), rows.data());
    scheduleDelayedItemsLayout();
    viewport()->update();
}

void CViewPhoneList::OnProperties() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty()) {
        SayNothingSelected(this);
        return;
    }
    CDocDialList* doc = Document();
    const int r = rows.front();
    const tagDialEntry* node = doc ? doc->GetNode(r) : nullptr;
    if (!node) return;
    tagDialEntry entry = *node;
    // The port page starts at the entry's parameters; one outside the tables stays as it was.
    AndCommParam* params = DLLGetCommParam();
    params->SetCurBaudRate(entry.lBaudRate);
    params->SetCurParity(entry.chParity);
    params->SetCurWrdLen(entry.nWordLen);
    params->SetCurStopBit(entry.nStopBits);
    if (!RunEntrySheet(entry) || Document() != doc || r >= doc->GetListSize()) return;
    doc->SetNode(r, &entry);
    if (QListWidgetItem* row = item(r)) viewport()->update(visualItemRect(row));
}

int CViewPhoneList::RowAt(QPoint pos) const {
    const QModelIndex index = indexAt(pos);
    return index.isValid() ? index.row() : -1;
}

void CViewPhoneList::ShowPopup(QPoint pos) {
    QMenu menu(this);
    auto add = [&](unsigned text, int id) { menu.addAction(AppText(text))->setData(id); };
    add(str::PopupAdd, cmd::ListAdd);
    if (const int row = RowAt(pos); row >= 0) {
        clearSelection();
        item(row)->setSelected(true);
        setCurrentRow(row, QItemSelectionModel::NoUpdate);
        add(str::PopupInsert, cmd::ListInsert);
        add(str::PopupDelete, cmd::ListDelete);
        add(str::PopupProperties, cmd::ListProperties);
    }
    if (QAction* chosen = menu.exec(viewport()->mapToGlobal(pos))) ExecuteCommand(chosen->data().toInt());
}

void CViewPhoneList::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        // The list's own right-button handling (which would move the selection) stays out.
        event->accept();
        ShowPopup(event->position().toPoint());
        return;
    }
    CListView::mousePressEvent(event);
}

void CViewPhoneList::contextMenuEvent(QContextMenuEvent* event) {
    // The right button already showed the popup; the keyboard's menu key shows it at the
    // current row.
    if (event->reason() == QContextMenuEvent::Mouse) {
        event->accept();
        return;
    }
    QPoint pos(2, 2);
    if (QListWidgetItem* row = currentItem()) pos = visualItemRect(row).center();
    event->accept();
    ShowPopup(pos);
}

}  // namespace tolvan::app
