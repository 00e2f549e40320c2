// The global atom table: strings with reference counts, found without regard to case.
// Atoms are 0xC000..0xFFFF; 0 means none.
#pragma once

#include <cstdint>
#include <string>

namespace tolvan::plat {

using ATOM = uint16_t;

// Adds a reference (creating the atom); 0 for an empty or over-long (>255) name or a
// full table.
ATOM GlobalAddAtom(const std::string& name);
ATOM GlobalFindAtom(const std::string& name);
// Drops one reference; the atom goes away at 0. Returns 0 on success, the atom when it
// does not exist.
ATOM GlobalDeleteAtom(ATOM atom);
std::string GlobalGetAtomName(ATOM atom);  // empty when absent
void ClearAtomTable();                     // tests

}  // namespace tolvan::plat
