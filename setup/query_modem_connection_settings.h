#pragma once
// Asks the user for everything needed to dial: a modal sheet with "Select Port" on
// `portList` (left out when `settings->param.bPortFixed` is 1) and "Select phone number "
// on the phone list named by `settings->mode.strPhoneList`. Its "Advanced..." button opens
// a second sheet, "Advanced Modem Settings", with the "Modem", "Work mode" and "Modem Mode"
// pages filled from the record.
//
// On OK (result 1) the record takes the dial string and line parameters of the chosen phone
// entry (all kept when no entry is chosen; the duplex letter and the handshaking are not
// touched), the chosen port, and `bAdvanced` = 1 when the advanced sheet was accepted at
// least once, in which case the modem and mode fields come from it too. On Cancel (result
// 2) the record is left as it was. A new phone list chosen in the advanced sheet is
// returned but does not change the list shown during the call.

#include "setup/kerdal32_export.h"
#include "setup/records/param_records.h"

KERDAL32_API int QueryModemConnectionSettings(const char* portList, const char* caption,
                                              AndModemConnectionSettings* settings);
