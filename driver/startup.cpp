#include "driver/startup.h"

#include "driver/cycle_loop.h"
#include "driver/state.h"
#include "workspace/explorer_guard.h"
#include "workspace/workspace.h"

constexpr uint32_t EXIT_STARTUP_FAILED = 1;
constexpr uint32_t EXIT_DONE = 0;
constexpr uint32_t BASE_PATH_LIMIT = PATH_CAPACITY - WORKSPACE_NAME_LENGTH - 1;
static_assert(BASE_PATH_LIMIT == 253, "base path + name + separator fill the path exactly");

static const char CURRENT_DIRECTORY_ERROR[] = "\r\n[ERROR] GetCurrentDirectoryA\r\n";
static const char ANY_KEY_PROMPT[] = "\r\nPress any key to exit....\r\n";

static const char START_BANNER[] =
    "\r\n"
    "==================================================================\r\n"
    "                     Orvenna V1.0.0.1\r\n"
    "==================================================================\r\n"
    "\r\n";

static const char ABOUT_BLOCK[] =
    "\r\n"
    ".DIAG.  Orvenna V1.0.0.1\r\n"
    ".DIAG.  Windows Orvenna\r\n"
    ".DIAG.  Created by the Orvenna developers\r\n"
    ".DIAG.  E-Mail developers@orvenna.example\r\n"
    ".DIAG.  Youtube https://www.youtube.com/@orvenna\r\n"
    ".DIAG.  Make your record with this Orvenna\r\n"
    ".DIAG.  Orvenna create 645120 folder in 7 cycles\r\n"
    ".DIAG.  with 1024 thread every time.\r\n"
    ".DIAG.  Have Fun !\r\n";

void fatal_exit(const char* message, uint32_t exit_code) {
    os_print("%s", message);
    os_print("%s", ANY_KEY_PROMPT);
    os_read_key();
    os_exit_process(exit_code);
}

void closing_prompt() {
    os_print("\r\nPress [a] for About or any other key to exit....\r\n");
    const int key = os_read_key();
    if (key == 'a' || key == 'A') {
        os_print("%s", ABOUT_BLOCK);
        os_print("%s", ANY_KEY_PROMPT);
        os_read_key();
    }
    os_exit_process(EXIT_DONE);
}

// Where the console goes, so that every run is watched in the same window.
constexpr int CONSOLE_LEFT = 250;
constexpr int CONSOLE_TOP = 250;
constexpr int CONSOLE_WIDTH = 900;
constexpr int CONSOLE_HEIGHT = 700;

static void place_console_window() {
    WindowHandle console = os_foreground_window();
    if (console != nullptr) os_place_window(console, CONSOLE_LEFT, CONSOLE_TOP, CONSOLE_WIDTH, CONSOLE_HEIGHT);
}

// Leaves the current directory and a final separator in workspace_path.
static uint64_t take_base_path() {
    uint64_t length = os_get_current_directory(PATH_CAPACITY, state.workspace_path);
    if (length == 0 || length >= PATH_CAPACITY) fatal_exit(CURRENT_DIRECTORY_ERROR, EXIT_STARTUP_FAILED);
    if (state.workspace_path[length - 1] != PATH_SEPARATOR) {
        state.workspace_path[length++] = PATH_SEPARATOR;
        state.workspace_path[length] = '\0';
    }
    if (length > BASE_PATH_LIMIT) fatal_exit(CURRENT_DIRECTORY_ERROR, EXIT_STARTUP_FAILED);
    return length;
}

void run_benchmark() {
    os_initialize();
    state.cycle_letter = 'a';
    place_console_window();
    const uint64_t base_length = take_base_path();
    switch (create_workspace(base_length)) {
        case WORKSPACE_CREATED:
            break;
        case WORKSPACE_NO_FREE_NAME:
            fatal_exit("\r\n[ERROR] Unable to find a free random workspace name.\r\n", EXIT_STARTUP_FAILED);
        case WORKSPACE_CREATION_FAILED:
            fatal_exit("\r\n[ERROR] Unable to create random workspace directory.\r\n", EXIT_STARTUP_FAILED);
    }
    probe_workspace_window();
    os_print("%s", START_BANNER);
    if (!os_query_counter_frequency(&state.counter_frequency))
        fatal_exit("\r\n[ERROR] QueryPerformanceFrequency\r\n", EXIT_STARTUP_FAILED);
    state.completion_event = os_create_event();
    if (state.completion_event == nullptr) fatal_exit("\r\n[ERROR] CreateEventA failed\r\n", EXIT_STARTUP_FAILED);
    run_cycles();
}
