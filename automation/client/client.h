// <tolvan32/client.h>: the client library. tdbus::DispatchDriver creates channels of the
// server ("RiVo32.Document", "DaRi32.Document", "ViDA.Document") and calls their members
// by dispatch identifier over the session bus.
#pragma once

#include "automation/client/dispatch_driver.h"
