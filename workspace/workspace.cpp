#include "workspace/workspace.h"

#include "driver/state.h"

uint64_t xorshift64_next() {
    uint64_t x = state.rng_state;
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    state.rng_state = x;
    return x;
}

static void seed_generator() {
    uint64_t counter = 0;
    os_query_counter(&counter);
    state.rng_state = counter ^ os_read_time_stamp_counter();
    state.name_attempts_left = NAME_ATTEMPTS;
}

static void draw_name(uint64_t base_length) {
    for (uint32_t position = 0; position < WORKSPACE_NAME_LENGTH; ++position) {
        const bool is_digit = position == WORKSPACE_NAME_LENGTH - 1;
        const char character = is_digit ? static_cast<char>('0' + xorshift64_next() % 10)
                                        : static_cast<char>('a' + xorshift64_next() % 26);
        state.workspace_name[position] = character;
        state.workspace_path[base_length + position] = character;
    }
    state.workspace_name[WORKSPACE_NAME_LENGTH] = '\0';
    state.workspace_path[base_length + WORKSPACE_NAME_LENGTH] = '\0';
}

// A new run may be looking at this very directory as a possible leftover of
// an earlier run; it lets go as soon as it has seen that it is empty. Tried
// for a second at most, by the clock: a sleep may last a whole timer tick.
// Without a claim the run goes on: its mark keeps it from being taken for a
// leftover, and a stop request ends the tries.
constexpr uint32_t CLAIM_PAUSE_MS = 1;

static bool try_to_claim() {
    state.workspace_claim = os_claim_directory(state.workspace_path);
    return state.workspace_claim != nullptr || state.stop_requested != 0;
}

static void claim_workspace() {
    if (try_to_claim()) return;
    uint64_t frequency = 0, start = 0, now = 0;
    if (!os_query_counter_frequency(&frequency) || !os_query_counter(&start)) return;
    do {
        os_sleep(CLAIM_PAUSE_MS);
        if (try_to_claim()) return;
    } while (os_query_counter(&now) && now - start < frequency);
}

WorkspaceResult create_workspace(uint64_t base_length) {
    seed_generator();
    for (;;) {
        draw_name(base_length);
        if (os_create_directory(state.workspace_path)) break;
        if (os_last_error() != OS_ERROR_ALREADY_EXISTS) return WORKSPACE_CREATION_FAILED;
        if (--state.name_attempts_left == 0) return WORKSPACE_NO_FREE_NAME;
    }
    // Marked first: from then on no run, wherever it runs, takes it for a leftover.
    os_mark_in_use(state.workspace_path);
    claim_workspace();
    state.workspace_path[base_length + WORKSPACE_NAME_LENGTH] = PATH_SEPARATOR;
    state.workspace_path[base_length + WORKSPACE_NAME_LENGTH + 1] = '\0';
    state.workspace_length = base_length + WORKSPACE_NAME_LENGTH + 1;
    os_watch_directory(state.workspace_path);
    os_print(".DIAG. Workspace directory: %s\r\n", state.workspace_path);
    return WORKSPACE_CREATED;
}

int remove_workspace(bool report_failure) {
    os_release_claim(state.workspace_claim);
    state.workspace_claim = nullptr;
    os_release_in_use();
    if (!report_failure) {
        os_remove_directory(state.workspace_path);
        return 1;
    }
    if (state.workspace_length == 0) return 1;
    state.workspace_path[state.workspace_length - 1] = '\0';
    if (os_remove_directory(state.workspace_path)) return 1;
    os_print("\r\n[ERROR] Unable to remove random workspace directory.\r\n");
    return 0;
}
