#pragma once

// Removes the cycle's directories one by one on the main thread; a directory
// that cannot be removed is passed over.
void delete_cycle_directories();
