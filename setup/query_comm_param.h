#pragma once
// Asks the user for a port and its line parameters: a modal sheet with the "Select Port"
// page on `portList` (comma-separated names such as "COM1,COM2,COM4"; left out when
// `param->bPortFixed` is 1, and `nPort` then stays as it was) and the "Settings" page with
// handshaking. The settings page starts at the library's current choices after they were
// moved to the record's values (a value not in a table leaves that choice as it was).
// On OK the record takes the chosen values and the result is 1; on Cancel the record is
// left as it was and the result is 2 (also for a null `param`, which shows nothing).

#include "setup/kerdal32_export.h"
#include "setup/records/param_records.h"

KERDAL32_API int QueryCommParam(const char* portList, const char* caption, AndCOMMParam* param);
