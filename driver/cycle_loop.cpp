#include "driver/cycle_loop.h"

#include "driver/startup.h"
#include "driver/state.h"
#include "timing/cycle_timing.h"
#include "workload/deletion_pass.h"
#include "workload/directory_worker.h"
#include "workload/worker_pool.h"
#include "workspace/explorer_guard.h"
#include "workspace/workspace.h"

constexpr uint32_t EXIT_AFTER_FAILED_CYCLE = 0;

static const char INTERRUPTED[] = "\r\n[ERROR] Orvenna interrupted...\r\nThe program will NOT close immediately.\r\n";
static const char END_COUNTER_FAILED[] = "\r\n[ERROR] QueryPerformanceCounter END\r\n";

// A cycle that cannot be completed or timed: its message, the handles closed, one key.
[[noreturn]] static void failed_cycle_exit(const char* message) {
    os_print("%s", message);
    close_worker_handles();
    fatal_exit("", EXIT_AFTER_FAILED_CYCLE);
}

[[noreturn]] static void invalidated_exit() {
    os_print(
        "\r\n.DIAG. Orvenna invalidated...\r\n"
        ".DIAG. The random workspace was opened in File Explorer during the benchmark.\r\n"
        ".DIAG. The result is no longer valid.\r\n");
    remove_workspace(false);
    closing_prompt();
}

static void run_one_cycle() {
    minimize_workspace_window();
    os_print(
        "\r\n"
        "==================================================================\r\n"
        "                Orvenna %llu/7\r\n"
        "==================================================================\r\n",
        static_cast<unsigned long long>(state.cycle_number));
    os_print(".DIAG. Benchmark initialization.\r\n");
    state.cycle_letter = static_cast<char>('a' + state.cycle_number - 1);
    state.abort_flag = 0;
    reset_worker_handles();
    prepare_slices();
    reset_cycle_timing();
    state.workers_remaining = WORKER_COUNT;
    os_print(".DIAG. Creating 92160 directories with 1024 threads.\r\n");
    if (!launch_workers()) failed_cycle_exit(INTERRUPTED);
    os_print(".DIAG. Waiting for threads....\r\n");
    if (!wait_for_workers() || state.abort_flag) failed_cycle_exit(INTERRUPTED);
    os_print(".DIAG. All 1024 threads have finished.\r\n");
    if (!close_worker_handles()) failed_cycle_exit(INTERRUPTED);
    os_print(".DIAG. Handles closed.\r\n");
    os_print(".DIAG. Deleting this cycle directories....\r\n");
    delete_cycle_directories();
    if (!finish_cycle_timing()) failed_cycle_exit(END_COUNTER_FAILED);
    print_cycle_durations();
    os_print(".DIAG. Result saved.\r\n");
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
    state.cycle_number = 1;
    for (;;) {
        run_one_cycle();
        if (state.cycle_number == CYCLE_COUNT) break;
        ++state.cycle_number;
    }

    compute_average();
    print_average_banner();
    remove_workspace(true);
    os_close_handle(state.completion_event);
    state.completion_event = nullptr;
    closing_prompt();
}
