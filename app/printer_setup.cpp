#include "app/printer_setup.h"

#include <QPageSetupDialog>
#include <QPrinter>

namespace tolvan::app {

QPrinter& SharedPrinter() {
    static QPrinter printer(QPrinter::HighResolution);
    return printer;
}

bool RunPrintSetup(QWidget* parent) {
    QPageSetupDialog dialog(&SharedPrinter(), parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace tolvan::app
