#include "timing/cycle_timing.h"

#include "driver/state.h"

void reset_cycle_timing() {
    state.cycle_start = 0;
    state.cycle_end = 0;
    state.elapsed_ticks = 0;
    state.elapsed_ms = 0;
}

int finish_cycle_timing() {
    if (!os_query_counter(&state.cycle_end)) return 0;
    state.elapsed_ticks = state.cycle_end - state.cycle_start;
    // In 128 bits, so that no tick count can overflow the product.
    const unsigned __int128 scaled = static_cast<unsigned __int128>(state.elapsed_ticks) * 1000u;
    state.elapsed_ms = static_cast<uint64_t>(scaled / state.counter_frequency);
    state.durations_ms[state.cycle_number - 1] = state.elapsed_ms;
    state.total_ms += state.elapsed_ms;
    return 1;
}

uint64_t rounded_seconds(uint64_t milliseconds) {
    return milliseconds / 1000 + (milliseconds % 1000 > ROUNDING_THRESHOLD_MS ? 1 : 0);
}

void print_cycle_durations() {
    for (uint64_t cycle = state.cycle_number; cycle >= 1; --cycle) {
        os_print(".DIAG. Benchmark %llu duration: %llu Seconds\r\n", static_cast<unsigned long long>(cycle),
                 static_cast<unsigned long long>(rounded_seconds(state.durations_ms[cycle - 1])));
    }
}

void compute_average() {
    state.average_ms = state.total_ms / CYCLE_COUNT;
    state.average_seconds = rounded_seconds(state.average_ms);
}

void print_average_banner() {
    os_print(
        "\r\n"
        "==================================================================\r\n"
        "Your Record Average:         %llu Seconds (Lower is better)\r\n"
        "==================================================================\r\n",
        static_cast<unsigned long long>(state.average_seconds));
}
