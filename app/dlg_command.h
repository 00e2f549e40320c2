// CDlgCommand: "Command" (template 121). Asks for a modem command; the modem channel executes
// CommandBytes(), the text with a carriage return appended.
#pragma once

#include <QDialog>
#include <QString>

#include <string>

class QLineEdit;

namespace tolvan::app {

class CDlgCommand : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 121 };
    enum ControlId { IDC_COMMAND = 1052 };

    explicit CDlgCommand(QWidget* parent = nullptr);

    QString m_strCommand;  // empty when shown; the typed text after OK

    // The command as 8-bit text followed by CR ("ATZ" gives "ATZ\r").
    std::string CommandBytes() const;

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLineEdit* m_pEdit;
};

}  // namespace tolvan::app
