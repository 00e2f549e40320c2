// The printer that Print, Print Preview and Print Setup share for the whole program, so that
// a printer chosen once is used by every later print.
#pragma once

class QPrinter;
class QWidget;

namespace tolvan::app {

QPrinter& SharedPrinter();
// The printer setup dialog on the shared printer; true when the user accepted it.
bool RunPrintSetup(QWidget* parent);

}  // namespace tolvan::app
