#pragma once
// Asks the user for a modem's port, line parameters and commands: the sheet of
// QueryCommParam (see there) followed by the "Modem" page filled from the record. On OK
// the record takes everything chosen (the delay character is the first character of its
// text, 0 when the text is empty) and the result is 1; on Cancel the record is left as it
// was and the result is 2. The page's turnaround time has no field in the record.

#include "setup/kerdal32_export.h"
#include "setup/records/param_records.h"

KERDAL32_API int QueryModemParam(const char* portList, const char* caption, AndModemParam* param);
