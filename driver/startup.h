#pragma once

#include <cstdint>

// From process start to the first cycle; then hands over to the cycle loop.
[[noreturn]] void run_benchmark();
// Prints message and the any-key line, waits for one key and exits with exit_code.
[[noreturn]] void fatal_exit(const char* message, uint32_t exit_code);
// The end of a run with a result or an invalidation: About on "a", exit code 0.
[[noreturn]] void closing_prompt();
