#pragma once

// Removes the cycle's directories one by one on the main thread. A directory
// that cannot be removed is passed over; the pass counts what it removed.
void delete_cycle_directories();
// After a stop during the creating: removes only the names the workers tried
// to create, in each worker's slice from its first on.
void delete_attempted_directories();
