// <tolvan32/kerdal32.h>: what a client program uses of libkerdal32.so. The parameter
// records and the current line parameters (DLLGetCommParam), the Query... sheets that let
// the user fill a record, and the Setup... functions that connect a channel of the server
// with what the user chose, through the client library's driver (<tolvan32/client.h>).
#pragma once

#include "setup/query_comm_param.h"
#include "setup/query_ir_param.h"
#include "setup/query_modem_connection_settings.h"
#include "setup/query_modem_mode.h"
#include "setup/query_modem_param.h"
#include "setup/records/comm_param.h"
#include "setup/records/param_records.h"
#include "setup/setup_functions.h"
