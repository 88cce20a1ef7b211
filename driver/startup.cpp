#include "driver/startup.h"

#include "driver/exits.h"
#include "driver/state.h"
#include "driver/stop_requests.h"
#include "version.h"
#include "workspace/explorer_guard.h"
#include "workspace/leftovers.h"
#include "workspace/workspace.h"

constexpr uint32_t EXIT_STARTUP_FAILED = 1;
constexpr uint32_t BASE_PATH_LIMIT = PATH_CAPACITY - WORKSPACE_NAME_LENGTH - 1;
static_assert(BASE_PATH_LIMIT == 253, "base path + name + separator fill the path exactly");

static const char CURRENT_DIRECTORY_ERROR[] = "\r\n[ERROR] GetCurrentDirectoryA\r\n";

static const char START_BANNER[] =
    "\r\n"
    "==================================================================\r\n"
    "                     Orvenna V" ORVENNA_VERSION
    "\r\n"
    "==================================================================\r\n"
    "\r\n";

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

void start_up() {
    os_initialize();
    watch_stop_requests();
    state.cycle_letter = 'a';
    place_console_window();
    const uint64_t base_length = take_base_path();
    remove_leftovers(base_length);
    stop_if_requested();
    switch (create_workspace(base_length)) {
        case WORKSPACE_CREATED:
            break;
        case WORKSPACE_NO_FREE_NAME:
            fatal_exit("\r\n[ERROR] Unable to find a free random workspace name.\r\n", EXIT_STARTUP_FAILED);
        case WORKSPACE_CREATION_FAILED:
            fatal_exit("\r\n[ERROR] Unable to create random workspace directory.\r\n", EXIT_STARTUP_FAILED);
    }
    stop_if_requested();
    probe_workspace_window();
    stop_if_requested();
    os_print("%s", START_BANNER);
    if (!os_query_counter_frequency(&state.counter_frequency))
        fatal_exit("\r\n[ERROR] QueryPerformanceFrequency\r\n", EXIT_STARTUP_FAILED);
    state.completion_event = os_create_event();
    if (state.completion_event == nullptr) fatal_exit("\r\n[ERROR] CreateEventA failed\r\n", EXIT_STARTUP_FAILED);
}
