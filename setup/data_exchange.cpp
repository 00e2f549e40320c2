#include "setup/data_exchange.h"

#include "setup/page_message_box.h"
#include "setup/page_strings.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include <limits>

namespace kerdal {

namespace ps = page_strings;

void DataExchange::PrepareEditCtrl(QLineEdit* edit) {
    m_pLastControl = edit;
    m_bEditLastControl = true;
}

void DataExchange::Fail() {
    m_bFailed = true;
    if (!m_pLastControl) return;
    m_pLastControl->setFocus(Qt::OtherFocusReason);
    if (m_bEditLastControl) static_cast<QLineEdit*>(m_pLastControl)->selectAll();
}

namespace {

// Digits only, after optional blanks and (when allowed) one sign; blanks may follow.
bool ParseDecimal(const QString& text, bool allowSign, long long limitPositive,
                  long long limitNegative, long long& out) {
    const QString t = text.trimmed();
    int i = 0;
    bool negative = false;
    if (allowSign && i < t.size() && (t[i] == u'-' || t[i] == u'+')) {
        negative = t[i] == u'-';
        ++i;
    }
    if (i >= t.size()) return false;
    long long value = 0;
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c < u'0' || c > u'9') return false;
        value = value * 10 + (c.unicode() - u'0');
        if (value > (negative ? limitNegative : limitPositive)) return false;
    }
    out = negative ? -value : value;
    return true;
}

void FailWith(DataExchange& dx, const QString& text) {
    ShowPageMessage(dx.m_pDlgWnd, text, MessageIcon::Warning);
    dx.Fail();
}

}  // namespace

bool ParseUnsigned(const QString& text, unsigned& value) {
    long long v = 0;
    if (!ParseDecimal(text, false, std::numeric_limits<unsigned>::max(), 0, v)) return false;
    value = static_cast<unsigned>(v);
    return true;
}

bool ParseSigned(const QString& text, int& value) {
    long long v = 0;
    if (!ParseDecimal(text, true, std::numeric_limits<int>::max(),
                      -static_cast<long long>(std::numeric_limits<int>::min()), v))
        return false;
    value = static_cast<int>(v);
    return true;
}

void DDX_Text(DataExchange& dx, QLineEdit* edit, QString& value) {
    if (dx.Failed()) return;
    dx.PrepareEditCtrl(edit);
    if (dx.Saving())
        value = edit->text();
    else
        edit->setText(value);
}

void DDX_Text(DataExchange& dx, QLineEdit* edit, unsigned& value) {
    if (dx.Failed()) return;
    dx.PrepareEditCtrl(edit);
    if (!dx.Saving()) {
        edit->setText(QString::number(value));
        return;
    }
    unsigned parsed = 0;
    if (!ParseUnsigned(edit->text(), parsed))
        return FailWith(dx, ps::PageString(ps::kIdsParseUInt));
    value = parsed;
}

void DDX_Text(DataExchange& dx, QLineEdit* edit, int& value) {
    if (dx.Failed()) return;
    dx.PrepareEditCtrl(edit);
    if (!dx.Saving()) {
        edit->setText(QString::number(value));
        return;
    }
    int parsed = 0;
    if (!ParseSigned(edit->text(), parsed)) return FailWith(dx, ps::PageString(ps::kIdsParseInt));
    value = parsed;
}

void DDX_Check(DataExchange& dx, QAbstractButton* box, int& value) {
    if (dx.Failed()) return;
    dx.PrepareCtrl(box);
    auto* tri = qobject_cast<QCheckBox*>(box);
    if (dx.Saving()) {
        if (tri)
            value = tri->checkState() == Qt::PartiallyChecked ? 2 : (tri->isChecked() ? 1 : 0);
        else
            value = box->isChecked() ? 1 : 0;
        return;
    }
    if (tri && value == 2) {
        tri->setTristate(true);
        tri->setCheckState(Qt::PartiallyChecked);
    } else {
        box->setChecked(value != 0);
    }
}

void DDX_Radio(DataExchange& dx, std::span<QAbstractButton* const> group, int& value) {
    if (dx.Failed() || group.empty()) return;
    dx.PrepareCtrl(group.front());
    if (dx.Saving()) {
        value = -1;
        for (std::size_t i = 0; i < group.size(); ++i)
            if (group[i]->isChecked()) {
                value = static_cast<int>(i);
                break;
            }
        return;
    }
    // An exclusive group refuses to uncheck its last checked button, so lift the rule
    // while the state is set: -1 (or a value out of range) leaves every button clear.
    for (QAbstractButton* b : group) b->setAutoExclusive(false);
    for (std::size_t i = 0; i < group.size(); ++i)
        group[i]->setChecked(static_cast<int>(i) == value);
    for (QAbstractButton* b : group) b->setAutoExclusive(true);
}

void DDX_CBIndex(DataExchange& dx, QComboBox* list, int& value) {
    if (dx.Failed()) return;
    dx.PrepareCtrl(list);
    if (dx.Saving())
        value = list->currentIndex();
    else
        list->setCurrentIndex(value >= 0 && value < list->count() ? value : -1);
}

void DDX_CBString(DataExchange& dx, QComboBox* list, QString& value) {
    if (dx.Failed()) return;
    dx.PrepareCtrl(list);
    if (dx.Saving()) {
        value = list->currentIndex() >= 0 ? list->currentText() : QString();
        return;
    }
    list->setCurrentIndex(list->findText(value, Qt::MatchFixedString));
}

void DDV_MaxChars(DataExchange& dx, const QString& value, int maxChars) {
    if (dx.Failed()) return;
    if (!dx.Saving()) {
        if (auto* edit = qobject_cast<QLineEdit*>(dx.LastControl())) edit->setMaxLength(maxChars);
        return;
    }
    if (value.size() > maxChars)
        FailWith(dx, ps::FormatPageString(ps::kIdsParseStringSize, QString::number(maxChars)));
}

void DDV_MinMaxUInt(DataExchange& dx, unsigned value, unsigned minVal, unsigned maxVal) {
    if (dx.Failed() || !dx.Saving()) return;
    if (value < minVal || value > maxVal)
        FailWith(dx, ps::FormatPageString(ps::kIdsParseIntRange, QString::number(minVal),
                                          QString::number(maxVal)));
}

void DDV_MinMaxInt(DataExchange& dx, int value, int minVal, int maxVal) {
    if (dx.Failed() || !dx.Saving()) return;
    if (value < minVal || value > maxVal)
        FailWith(dx, ps::FormatPageString(ps::kIdsParseIntRange, QString::number(minVal),
                                          QString::number(maxVal)));
}

int AddSortedItem(QComboBox* list, const QString& text) {
    int pos = 0;
    while (pos < list->count() &&
           QString::compare(list->itemText(pos), text, Qt::CaseInsensitive) <= 0)
        ++pos;
    list->insertItem(pos, text);
    return pos;
}

}  // namespace kerdal
