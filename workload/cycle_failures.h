#pragma once

// Directories that a cycle could not create or remove. Such a cycle did not do
// the work it would be scored for.
void reset_cycle_failures();
// Sums the workers' tallies and the removal pass's count into the cycle's totals.
void count_cycle_failures();
