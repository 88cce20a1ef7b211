#pragma once

#include <cstdint>

void reset_cycle_timing();
// Reads the end of the cycle and stores its duration; 0 when the counter fails.
int finish_cycle_timing();
void print_cycle_durations();
// Whole seconds, rounded up only when the remainder exceeds 700 ms.
uint64_t rounded_seconds(uint64_t milliseconds);
void compute_average();
void print_average_banner();
