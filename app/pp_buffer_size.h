// The "Output" (template 111) and "Input" (template 112) pages of the "Buffer Settings"
// sheet, and the sheet itself. Each page shows a buffer's current size and the smallest size
// it can take, and asks for a new size between that minimum and 4294967295; anything else
// (or text that is not an unsigned number) is refused with the framework's standard
// message and the sheet stays open.
#pragma once

#include "setup/property_page.h"
#include "setup/property_sheet.h"

#include <memory>

class QLabel;
class QLineEdit;

namespace tolvan::app {

class CPPBufferSize : public kerdal::PropertyPage {
    Q_OBJECT
public:
    enum class Kind { Output, Input };
    enum { IDD_OUTPUT = 111, IDD_INPUT = 112 };
    enum ControlId {
        IDC_OUT_CURRENT = 1021,
        IDC_OUT_MINIMUM = 1022,
        IDC_OUT_NEW = 1020,
        IDC_IN_CURRENT = 1023,
        IDC_IN_MINIMUM = 1024,
        IDC_IN_NEW = 1025,
    };

    explicit CPPBufferSize(Kind kind);

    // Filled by the creator; m_nNewSize holds the accepted size after OK.
    unsigned m_nCurrentSize = 0;
    unsigned m_nMinSize = 0;
    unsigned m_nNewSize = 0;

    Kind GetKind() const { return m_kind; }

    bool OnInitDialog() override;
    void DoDataExchange(kerdal::DataExchange& dx) override;

private:
    const Kind m_kind;
    QLabel* m_pCurrent;
    QLabel* m_pMinimum;
    QLineEdit* m_pNew;
};

// A buffer's figures for one page.
struct BufferSizes {
    unsigned current = 0;
    unsigned minimum = 0;
};

// The "Buffer Settings" sheet (caption string 61251): "Output" first, "Input" second, each
// with the new size preset to the current size. The pages belong to the sheet.
class BufferSettingsSheet {
public:
    BufferSettingsSheet(BufferSizes output, BufferSizes input, QWidget* parent = nullptr);

    kerdal::PropertySheet& Sheet() { return *m_pSheet; }
    CPPBufferSize& OutputPage() { return *m_pOutput; }
    CPPBufferSize& InputPage() { return *m_pInput; }

    // Runs the sheet modally; true when it was accepted.
    bool DoModal();

    unsigned NewOutputSize() const { return m_pOutput->m_nNewSize; }
    unsigned NewInputSize() const { return m_pInput->m_nNewSize; }

private:
    std::unique_ptr<kerdal::PropertySheet> m_pSheet;
    CPPBufferSize* m_pOutput;
    CPPBufferSize* m_pInput;
};

}  // namespace tolvan::app
