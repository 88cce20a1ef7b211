#pragma once

#include <cstdint>

// Every way out of a run. None returns: each ends the process.

// Prints message and the any-key line, waits for one key and exits with exit_code.
[[noreturn]] void fatal_exit(const char* message, uint32_t exit_code);
// The end of a run with a result or an invalidation: About on "a", exit code 0.
[[noreturn]] void closing_prompt();
// A cycle that cannot be completed or timed: its message, the handles closed, one key.
[[noreturn]] void failed_cycle_exit(const char* message);
// The run is no longer valid: why, then the workspace removed and the closing prompt.
[[noreturn]] void invalidated_exit();
// After the seventh cycle: the average, the workspace removed, the closing prompt.
[[noreturn]] void completed_exit();
// The user asked to stop: the workspace removed, no key wait, ended as the request would.
[[noreturn]] void stopped_exit();
// A safe point: ends the program through stopped_exit if a stop was requested.
void stop_if_requested();
