// The modem channel's Dial command: the "Dial" sheet with the library's phone-number page on
// the channel's phone list (its modem mode's strPhoneList). On OK with a dial string the
// channel dials it (prefix, T or P, number, suffix, CR); the modem's answer is left in the
// receive buffer and no result is shown.
#pragma once

#include <functional>
#include <string>

class QWidget;

namespace tolvan {
class CDocModem;
}

namespace tolvan::app {

// Runs the sheet modally; returns its result (1 OK, 2 Cancel). With `dial`, the dial string
// goes to it instead of the channel (which dials it elsewhere, in its lane).
int RunModemDialSheet(CDocModem& modem, QWidget* parent,
                      const std::function<void(std::string)>& dial = {});

}  // namespace tolvan::app
