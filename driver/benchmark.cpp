#include "driver/benchmark.h"

#include "driver/cycle_loop.h"
#include "driver/exits.h"
#include "driver/startup.h"

void run_benchmark() {
    start_up();
    run_cycles();
    completed_exit();
}
