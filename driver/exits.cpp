#include "driver/exits.h"

#include "driver/state.h"
#include "driver/stop_requests.h"
#include "timing/cycle_timing.h"
#include "version.h"
#include "workload/worker_pool.h"
#include "workspace/workspace.h"

constexpr uint32_t EXIT_DONE = 0;

static const char ANY_KEY_PROMPT[] = "\r\nPress any key to exit....\r\n";

static const char ABOUT_BLOCK[] =
    "\r\n"
    ".DIAG.  Orvenna V" ORVENNA_VERSION
    "\r\n"
    ".DIAG.  Windows Orvenna\r\n"
    ".DIAG.  Created by the Orvenna developers\r\n"
    ".DIAG.  E-Mail developers@orvenna.example\r\n"
    ".DIAG.  Youtube https://www.youtube.com/@orvenna\r\n"
    ".DIAG.  Make your record with this Orvenna\r\n"
    ".DIAG.  Orvenna create 645120 folder in 7 cycles\r\n"
    ".DIAG.  with 1024 thread every time.\r\n"
    ".DIAG.  Have Fun !\r\n";

// From here on a stop request ends the program at once: nothing is left to clean.
static int wait_for_key() {
    state.awaiting_key = 1;
    if (state.stop_requested) os_end_by_stop();
    return os_read_key();
}

void fatal_exit(const char* message, uint32_t exit_code) {
    os_print("%s", message);
    os_print("%s", ANY_KEY_PROMPT);
    wait_for_key();
    os_exit_process(exit_code);
}

void closing_prompt() {
    os_print("\r\nPress [a] for About or any other key to exit....\r\n");
    const int key = wait_for_key();
    if (key == 'a' || key == 'A') {
        os_print("%s", ABOUT_BLOCK);
        os_print("%s", ANY_KEY_PROMPT);
        wait_for_key();
    }
    os_exit_process(EXIT_DONE);
}

void failed_cycle_exit(const char* message) {
    os_print("%s", message);
    close_worker_handles();
    fatal_exit("", EXIT_DONE);
}

void invalidated_exit() {
    os_print("\r\n.DIAG. Orvenna invalidated...\r\n");
    if (state.creation_failures != 0)
        os_print(".DIAG. %llu of 92160 directories could not be created in this cycle (Win32 error code: %lu).\r\n",
                 static_cast<unsigned long long>(state.creation_failures),
                 static_cast<unsigned long>(state.creation_error));
    if (state.removal_failures != 0)
        os_print(".DIAG. %llu of 92160 directories could not be removed in this cycle (Win32 error code: %lu).\r\n",
                 static_cast<unsigned long long>(state.removal_failures),
                 static_cast<unsigned long>(state.removal_error));
    if (state.workspace_read)
        os_print(".DIAG. The random workspace was opened by another program during the benchmark.\r\n");
    else if (state.invalidated)
        os_print(".DIAG. The random workspace was opened in File Explorer during the benchmark.\r\n");
    os_print(".DIAG. The result is no longer valid.\r\n");
    remove_workspace(false);
    closing_prompt();
}

void completed_exit() {
    compute_average();
    print_average_banner();
    remove_workspace(true);
    os_close_handle(state.completion_event);
    state.completion_event = nullptr;
    closing_prompt();
}

void stopped_exit() {
    acknowledge_stop_request(false);
    if (state.workspace_length == 0)
        os_print("\r\n.DIAG. Orvenna stopped.\r\n");
    else if (remove_workspace(true))
        os_print("\r\n.DIAG. Orvenna stopped. The workspace was removed.\r\n");
    os_end_by_stop();
}

void stop_if_requested() {
    if (state.stop_requested) stopped_exit();
}
