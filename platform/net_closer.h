// Closing network connections without holding anyone up. A port served over TCP is closed
// politely: we half-close, then wait for the peer to close its side, so that a server that
// takes one connection per port is free for the next open at once. That wait happens here,
// on a thread of its own, never under the server lock; an open of the same address waits
// for it instead (platform/net_address.h), with the server lock let go.
#pragma once

#include <cstdint>
#include <string>

namespace tolvan::plat {

// Takes over fd, already half-closed (shutdown SHUT_WR): drops what still arrives, closes
// it when the peer has closed its side or lingerMs have passed. `address` names the peer
// for WaitForLingeringClose ("127.0.0.1:4001", as AddressKey gives it).
void CloseWhenPeerDone(int fd, const std::string& address, uint32_t lingerMs);

// Waits, at most limitMs of real time, until no close of `address` lingers. True when none
// does (any more). Does not touch the server lock: the caller lets it go around the call.
bool WaitForLingeringClose(const std::string& address, uint32_t limitMs);

// For tests: closes lingering now, and how many closes ended because the peer closed
// (rather than by their time limit) since the start.
int LingeringCloses();
uint64_t ClosesEndedByPeer();

}  // namespace tolvan::plat
