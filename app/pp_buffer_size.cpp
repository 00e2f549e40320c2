#include "app/pp_buffer_size.h"

#include "app/app_strings.h"
#include "app/dialog_strings.h"
#include "setup/data_exchange.h"
#include "setup/page_controls.h"

#include <QLabel>
#include <QLineEdit>

#include <limits>

namespace tolvan::app {

namespace {

QString PageCaption(CPPBufferSize::Kind kind) {
    return QString::fromLatin1(kind == CPPBufferSize::Kind::Output ? dlgtext::kOutputPageCaption
                                                                   : dlgtext::kInputPageCaption);
}

}  // namespace

CPPBufferSize::CPPBufferSize(Kind kind)
    : PropertyPage(kind == Kind::Output ? IDD_OUTPUT : IDD_INPUT, PageCaption(kind), 180, 70),
      m_kind(kind) {
    const bool out = kind == Kind::Output;
    kerdal::AddLabel(this, dlgtext::kCurrentSizeLabel, 10, 12, 80, 8);
    m_pCurrent = kerdal::AddLabel(this, "", 95, 12, 70, 8);
    m_pCurrent->setObjectName(QString::number(out ? IDC_OUT_CURRENT : IDC_IN_CURRENT));
    kerdal::AddLabel(this, dlgtext::kMinimumSizeLabel, 10, 28, 80, 8);
    m_pMinimum = kerdal::AddLabel(this, "", 95, 28, 70, 8);
    m_pMinimum->setObjectName(QString::number(out ? IDC_OUT_MINIMUM : IDC_IN_MINIMUM));
    kerdal::AddLabel(this, dlgtext::kNewSizeLabel, 10, 46, 80, 8);
    m_pNew = kerdal::AddEdit(this, out ? IDC_OUT_NEW : IDC_IN_NEW, 95, 44, 70, 13);
}

bool CPPBufferSize::OnInitDialog() {
    m_pCurrent->setText(QString::number(m_nCurrentSize));
    m_pMinimum->setText(QString::number(m_nMinSize));
    return PropertyPage::OnInitDialog();
}

void CPPBufferSize::DoDataExchange(kerdal::DataExchange& dx) {
    kerdal::DDX_Text(dx, m_pNew, m_nNewSize);
    kerdal::DDV_MinMaxUInt(dx, m_nNewSize, m_nMinSize, std::numeric_limits<unsigned>::max());
}

BufferSettingsSheet::BufferSettingsSheet(BufferSizes output, BufferSizes input, QWidget* parent)
    : m_pSheet(std::make_unique<kerdal::PropertySheet>(AppText(str::BufferSettings), parent)) {
    auto out = std::make_unique<CPPBufferSize>(CPPBufferSize::Kind::Output);
    out->m_nCurrentSize = out->m_nNewSize = output.current;
    out->m_nMinSize = output.minimum;
    auto in = std::make_unique<CPPBufferSize>(CPPBufferSize::Kind::Input);
    in->m_nCurrentSize = in->m_nNewSize = input.current;
    in->m_nMinSize = input.minimum;
    m_pOutput = out.get();
    m_pInput = in.get();
    m_pSheet->AddPage(std::move(out));
    m_pSheet->AddPage(std::move(in));
}

bool BufferSettingsSheet::DoModal() {
    return m_pSheet->DoModal() == kerdal::kIdOk;
}

}  // namespace tolvan::app
