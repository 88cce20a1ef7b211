#pragma once

// The whole run, from process start to its exit.
[[noreturn]] void run_benchmark();
