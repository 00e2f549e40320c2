#pragma once
// Asks the user how a modem channel waits for replies and how the modem answers: a modal
// sheet with the "Work mode" and "Modem Mode" pages, filled from `mode`. On OK all eleven
// fields are copied back and the result is 1; on Cancel `mode` is left as it was and the
// result is 2 (also for a null `mode`, which shows nothing).

#include "setup/kerdal32_export.h"
#include "setup/records/param_records.h"

class QWidget;

KERDAL32_API int QueryModemMode(const char* caption, AndModemMode* mode);

// The same sheet with an owner window (the plain function lets the framework choose one).
KERDAL32_API int QueryModemMode(const char* caption, AndModemMode* mode, QWidget* owner);
