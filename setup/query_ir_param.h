#pragma once
// Asks the user for the port and baud rate of an infra-red link: "Select Port" on
// `portList` (left out when `param->bPortFixed` is 1) and the infra-red "Settings" page.
// The link variant travels through the page unchanged. On OK the record takes the chosen
// port and rate and the result is 1; on Cancel it is left as it was and the result is 2.

#include "setup/kerdal32_export.h"
#include "setup/records/param_records.h"

KERDAL32_API int QueryIRParam(const char* portList, const char* caption, AndIRParam* param);
