// What the client library shows: it is built with hidden symbols, and only declarations
// marked TOLVAN32_CLIENT_API are seen by the programs that load it.
#pragma once

#define TOLVAN32_CLIENT_API __attribute__((visibility("default")))
