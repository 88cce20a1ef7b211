#pragma once

// Resets the per-cycle state for state.cycle_number: its letter, the abort
// flag, the worker handles and slices, the timing and the failure counts.
void begin_cycle();
// The seven timed cycles; returns after the seventh. Every other way out
// (a failed step, an invalidation) ends the process.
void run_cycles();
