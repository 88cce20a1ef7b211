#include "workspace/explorer_guard.h"

#include <cstring>

#include "driver/state.h"

static const char EXPLORER_CLASS[] = "CabinetWClass";

bool window_shows_workspace(WindowHandle window) {
    if (os_window_class(window, state.class_buffer, CLASS_NAME_CAPACITY) == 0) return false;
    if (strcmp(state.class_buffer, EXPLORER_CLASS) != 0) return false;
    if (os_window_title(window, state.title_buffer, TITLE_CAPACITY) == 0) return false;
    for (const char* position = state.title_buffer; *position != '\0'; ++position) {
        if (*position == state.workspace_name[0] && strncmp(position, state.workspace_name, WORKSPACE_NAME_LENGTH) == 0)
            return true;
    }
    return false;
}

static int OS_CALLBACK probe_visitor(WindowHandle window, intptr_t) {
    if (!window_shows_workspace(window)) return 1;
    state.explorer_window = window;
    return 0;
}

static int OS_CALLBACK guard_visitor(WindowHandle window, intptr_t) {
    if (!window_shows_workspace(window)) return 1;
    state.invalidated = 1;
    return 0;
}

void probe_workspace_window() {
    state.explorer_window = nullptr;
    os_open_folder(state.workspace_path);
    // Where no window can appear there is nothing to wait for.
    if (!os_has_window_system()) return;
    for (uint32_t poll = 0; poll < PROBE_POLLS; ++poll) {
        if (state.stop_requested != 0) break;
        state.explorer_window = nullptr;
        os_enum_windows(probe_visitor, 0);
        if (state.explorer_window != nullptr) {
            os_minimize_window(state.explorer_window);
            break;
        }
        os_sleep(PROBE_INTERVAL_MS);
    }
    if (state.explorer_window != nullptr) os_post_close(state.explorer_window);
}

void minimize_workspace_window() {
    os_minimize_window(state.explorer_window);
}

void check_workspace_opened() {
    os_enum_windows(guard_visitor, 0);
    if (!state.invalidated && os_directory_was_read()) {
        state.invalidated = 1;
        state.workspace_read = 1;
    }
}
