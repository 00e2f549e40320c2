#pragma once
// Data exchange between a page's members and its controls. A page's DoDataExchange lists
// its controls once; the same code loads the controls (saveAndValidate false) and reads
// them back with validation (true). A failed validation shows its message, puts the focus
// into the offending control and marks the exchange failed: later exchange calls of the
// same pass do nothing, so members after the failing one keep their values.

#include "setup/kerdal32_export.h"
#include <QString>

#include <span>

class QAbstractButton;
class QComboBox;
class QLineEdit;
class QWidget;

namespace kerdal {

class KERDAL32_API DataExchange {
public:
    DataExchange(QWidget* page, bool saveAndValidate)
        : m_pDlgWnd(page), m_bSaveAndValidate(saveAndValidate) {}

    // Names the control that the next validation is about.
    void PrepareCtrl(QWidget* control) {
        m_pLastControl = control;
        m_bEditLastControl = false;
    }
    void PrepareEditCtrl(QLineEdit* edit);

    // Validation failed: focus the last prepared control (an edit also gets its text
    // selected) and stop the exchange.
    void Fail();

    bool Failed() const { return m_bFailed; }
    bool Saving() const { return m_bSaveAndValidate; }
    QWidget* LastControl() const { return m_pLastControl; }
    QWidget* FailedControl() const { return m_bFailed ? m_pLastControl : nullptr; }

    QWidget* const m_pDlgWnd;
    const bool m_bSaveAndValidate;

private:
    QWidget* m_pLastControl = nullptr;
    bool m_bEditLastControl = false;
    bool m_bFailed = false;
};

// Text of an edit box.
KERDAL32_API void DDX_Text(DataExchange& dx, QLineEdit* edit, QString& value);
// Unsigned decimal (surrounding blanks allowed); anything else brings the framework's
// "Please enter a positive integer." and fails.
KERDAL32_API void DDX_Text(DataExchange& dx, QLineEdit* edit, unsigned& value);
// Signed decimal; a bad entry brings "Please enter an integer." and fails.
KERDAL32_API void DDX_Text(DataExchange& dx, QLineEdit* edit, int& value);
// Check box state: 0 unchecked, 1 checked, 2 indeterminate.
KERDAL32_API void DDX_Check(DataExchange& dx, QAbstractButton* box, int& value);
// Index of the checked radio button of a group, -1 for none.
KERDAL32_API void DDX_Radio(DataExchange& dx, std::span<QAbstractButton* const> group, int& value);
// Selected position of a list, -1 for none.
KERDAL32_API void DDX_CBIndex(DataExchange& dx, QComboBox* list, int& value);
// Text of the selected item (saving) / select the first item equal to the text (loading).
KERDAL32_API void DDX_CBString(DataExchange& dx, QComboBox* list, QString& value);

// Validations, called right after the DDX_ of the value they check.
KERDAL32_API void DDV_MaxChars(DataExchange& dx, const QString& value, int maxChars);
KERDAL32_API void DDV_MinMaxUInt(DataExchange& dx, unsigned value, unsigned minVal,
                                 unsigned maxVal);
KERDAL32_API void DDV_MinMaxInt(DataExchange& dx, int value, int minVal, int maxVal);

// Parsing as the exchange does it; false for text that is not a number of the kind.
bool ParseUnsigned(const QString& text, unsigned& value);
bool ParseSigned(const QString& text, int& value);

// Adds `text` to a list that keeps its items sorted (as a sorted drop-down list of the
// dialog templates does: case-insensitive, character by character, so a blank sorts
// before any digit) and returns its position.
int AddSortedItem(QComboBox* list, const QString& text);

}  // namespace kerdal
