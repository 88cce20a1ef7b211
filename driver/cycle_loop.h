#pragma once

// The seven timed cycles, then the average, the workspace removal and the
// closing prompt. Never returns: every way out ends the process.
[[noreturn]] void run_cycles();
