// What libkerdal32.so shows: it is built with hidden symbols, and only declarations marked
// KERDAL32_API are seen by the programs that load it (the server, client programs).
#pragma once

#define KERDAL32_API __attribute__((visibility("default")))
