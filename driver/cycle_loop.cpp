#include "driver/cycle_loop.h"

#include "driver/exits.h"
#include "driver/state.h"
#include "driver/stop_requests.h"
#include "timing/cycle_timing.h"
#include "workload/cycle_failures.h"
#include "workload/deletion_pass.h"
#include "workload/directory_worker.h"
#include "workload/worker_pool.h"
#include "workspace/explorer_guard.h"

static const char INTERRUPTED[] = "\r\n[ERROR] Orvenna interrupted...\r\nThe program will NOT close immediately.\r\n";
static const char END_COUNTER_FAILED[] = "\r\n[ERROR] QueryPerformanceCounter END\r\n";

void begin_cycle() {
    state.cycle_letter = static_cast<char>('a' + state.cycle_number - 1);
    state.abort_flag = 0;
    reset_worker_handles();
    prepare_slices();
    reset_cycle_timing();
    reset_cycle_failures();
    state.workers_remaining = WORKER_COUNT;
}

// Stopped while the workers ran: they stopped creating, and what they made goes now.
[[noreturn]] static void stop_cycle() {
    acknowledge_stop_request(true);
    close_worker_handles();
    delete_attempted_directories();
    stopped_exit();
}

static void run_one_cycle() {
    stop_if_requested();
    minimize_workspace_window();
    os_print(
        "\r\n"
        "==================================================================\r\n"
        "                Orvenna %llu/7\r\n"
        "==================================================================\r\n",
        static_cast<unsigned long long>(state.cycle_number));
    os_print(".DIAG. Benchmark initialization.\r\n");
    begin_cycle();
    os_print(".DIAG. Creating 92160 directories with 1024 threads.\r\n");
    if (!launch_workers()) failed_cycle_exit(INTERRUPTED);
    os_print(".DIAG. Waiting for threads....\r\n");
    if (!wait_for_workers() || state.abort_flag) failed_cycle_exit(INTERRUPTED);
    if (state.stop_requested) stop_cycle();
    os_print(".DIAG. All 1024 threads have finished.\r\n");
    if (!close_worker_handles()) failed_cycle_exit(INTERRUPTED);
    os_print(".DIAG. Handles closed.\r\n");
    os_print(".DIAG. Deleting this cycle directories....\r\n");
    delete_cycle_directories();
    stop_if_requested();
    if (!finish_cycle_timing()) failed_cycle_exit(END_COUNTER_FAILED);
    // Outside the timed span: the work that did not happen.
    count_cycle_failures();
    print_cycle_durations();
    os_print(".DIAG. Result saved.\r\n");
    if (state.creation_failures != 0 || state.removal_failures != 0) invalidated_exit();
    check_workspace_opened();
    if (state.invalidated) invalidated_exit();
    os_print(".DIAG. Preparing next benchmark.\r\n");
}

void run_cycles() {
    state.total_ms = 0;
    state.average_ms = 0;
    state.abort_flag = 0;
    state.invalidated = 0;
    for (uint64_t& duration : state.durations_ms) duration = 0;
    for (state.cycle_number = 1;; ++state.cycle_number) {
        run_one_cycle();
        if (state.cycle_number == CYCLE_COUNT) return;
    }
}
