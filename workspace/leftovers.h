#pragma once

#include <cstdint>

// Removes what earlier runs left in the start directory (the base path in
// workspace_path, base_length characters): a directory named like a
// workspace that holds at least one directory named like a cycle's and
// nothing else, all of them empty. A workspace that another run holds, going
// or suspended, is passed over without being opened. One line for each
// leftover removed.
void remove_leftovers(uint64_t base_length);
