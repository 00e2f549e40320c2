// CDlgReadBytes: "Read bytes" (template 113). Asks for an unsigned count; a text that is not
// an unsigned number is refused with the framework's standard message and the dialog stays.
#pragma once

#include <QDialog>

class QLineEdit;

namespace tolvan::app {

class CDlgReadBytes : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 113 };
    enum ControlId { IDC_COUNT = 1029 };

    explicit CDlgReadBytes(QWidget* parent = nullptr);

    unsigned m_nBytes = 0;  // shown when the dialog opens; the accepted count after OK

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLineEdit* m_pEdit;
};

}  // namespace tolvan::app
