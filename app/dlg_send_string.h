// CDlgSendString: "Send string" (template 105). The user types a text and chooses whether a
// carriage return and a line feed follow it; the caller sends SendBytes() to the channel.
#pragma once

#include <QDialog>
#include <QString>

#include <string>

class QCheckBox;
class QLineEdit;

namespace tolvan::app {

class CDlgSendString : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 105 };
    enum ControlId { IDC_STRING = 1008, IDC_ADD_LF = 1018, IDC_ADD_CR = 1019 };

    explicit CDlgSendString(QWidget* parent = nullptr);

    // Filled before the dialog is shown (an empty text, both boxes on) and read back on OK.
    QString m_strText;
    bool m_bAddLF = true;
    bool m_bAddCR = true;

    // The text as 8-bit bytes, then CR when asked for, then LF: "AT" with both gives
    // 41 54 0D 0A. Characters outside Latin-1 become '?'.
    static std::string ComposeBytes(const QString& text, bool addCR, bool addLF);
    std::string SendBytes() const { return ComposeBytes(m_strText, m_bAddCR, m_bAddLF); }

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLineEdit* m_pEdit;
    QCheckBox* m_pAddLF;
    QCheckBox* m_pAddCR;
};

}  // namespace tolvan::app
