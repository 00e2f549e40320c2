#include "app/view_phone_list.h"

#include "app/app_strings.h"
#include "app/command_ids.h"
#include "setup/records/comm_param.h"
#include "setup/dial_entry_sheet.h"
#include "setup/dial_list.h"
#include "setup/dial_page_strings.h"
#include "setup/page_message_box.h"

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

}  // namespace

void ResetCommParams(AndCommParam& params) {
    params.m_nCurBaudRate = params.m_nDefBaudRate;
    params.m_nCurParity = params.m_nDefParity;
    params.m_nCurWrdLen = params.m_nDefWrdLen;
    params.m_nCurStopBit = params.m_nDefStopBit;
}

CViewPhoneList::CViewPhoneList(QWidget* parent) : CListView(parent) {}

CViewPhoneList::~CViewPhoneList() = default;

CDocDialList* CViewPhoneList::Document() const {
    return dynamic_cast<CDocDialList*>(GetDocument());
}

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
    if (const CDocDialList* doc = Document(); doc && index >= 0)
        doc->GetFullText(static_cast<unsigned>(index), full);
    text = FromLocal(full);
    textColour = QColor(Qt::black);
    background = QColor(Qt::white);
}

bool CViewPhoneList::UpdateCommand(int id, CommandState& state) {
    switch (id) {
        case cmd::ListAdd:
            state.enabled = true;
            return true;
        case cmd::ListInsert:
        case cmd::ListDelete:
        case cmd::ListProperties:
            state.enabled = !selectedItems().isEmpty();
            return true;
        default:
            return false;
    }
}

bool CViewPhoneList::ExecuteCommand(int id) {
    switch (id) {
        case cmd::ListAdd:
            OnAdd();
            return true;
        case cmd::ListInsert:
            OnInsert();
            return true;
        case cmd::ListDelete:
            OnDelete();
            return true;
        case cmd::ListProperties:
            OnProperties();
            return true;
        default:
            return false;
    }
}

std::vector<int> CViewPhoneList::SelectedRows() const {
    std::vector<int> rows;
    for (int i = 0; i < count(); ++i)
        if (item(i)->isSelected()) rows.push_back(i);
    return rows;
}

bool CViewPhoneList::RunEntrySheet(tagDialEntry& entry, const CDocDialList* doc) {
    // An entry has no handshaking: its boxes show unchecked and disabled.
    return kerdal::RunDialEntrySheet(entry, AppText(str::Dial), this, true) && Document() == doc;
}

bool CViewPhoneList::RunNewEntrySheet(tagDialEntry& entry, const CDocDialList* doc) {
    ResetCommParams(*DLLGetCommParam());
    return RunEntrySheet(entry, doc);
}

std::vector<int> CViewPhoneList::RowsToWorkOn() {
    std::vector<int> rows = SelectedRows();
    if (rows.empty()) kerdal::ShowPageMessage(this, ds::DialString(ds::kIdsNothingSelected));
    return rows;
}

void CViewPhoneList::OnAdd() {
    CDocDialList* doc = Document();
    tagDialEntry entry;
    if (!doc || !RunNewEntrySheet(entry, doc)) return;
    doc->AddNode(&entry);
    addItem(new QListWidgetItem);
}

void CViewPhoneList::OnInsert() {
    const std::vector<int> rows = RowsToWorkOn();
    CDocDialList* doc = Document();
    tagDialEntry entry;
    if (rows.empty() || !doc || !RunNewEntrySheet(entry, doc)) return;
    doc->InsertNode(rows.front(), &entry);
    addItem(new QListWidgetItem);
    // Every row from the first selected on now shows the entry that moved down into it.
    scheduleDelayedItemsLayout();
    viewport()->update();
}

void CViewPhoneList::OnDelete() {
    const std::vector<int> rows = RowsToWorkOn();
    CDocDialList* doc = Document();
    if (rows.empty() || !doc) return;
    if (kerdal::ShowPageMessage(this, ds::DialString(ds::kIdsConfirmDelete),
                                kerdal::MessageIcon::Question,
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
    const std::vector<int> rows = RowsToWorkOn();
    CDocDialList* doc = Document();
    const int r = rows.empty() ? -1 : rows.front();
    const tagDialEntry* node = doc && r >= 0 ? doc->GetNode(r) : nullptr;
    if (!node) return;
    tagDialEntry entry = *node;
    kerdal::StartAtEntryLine(entry);
    if (!RunEntrySheet(entry, doc) || r >= doc->GetListSize()) return;
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
    if (QAction* chosen = menu.exec(viewport()->mapToGlobal(pos)))
        ExecuteCommand(chosen->data().toInt());
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
