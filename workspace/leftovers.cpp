#include "workspace/leftovers.h"

#include <cstring>

#include "driver/state.h"

constexpr uint32_t CYCLE_NAME_LENGTH = 6;

// Five lowercase letters and a digit.
static bool is_workspace_name(const char* name) {
    for (uint32_t position = 0; position + 1 < WORKSPACE_NAME_LENGTH; ++position)
        if (name[position] < 'a' || name[position] > 'z') return false;
    const char digit = name[WORKSPACE_NAME_LENGTH - 1];
    return digit >= '0' && digit <= '9' && name[WORKSPACE_NAME_LENGTH] == '\0';
}

// A cycle's letter and five digits.
static bool is_cycle_name(const char* name) {
    if (name[0] < 'a' || name[0] >= static_cast<char>('a' + CYCLE_COUNT)) return false;
    for (uint32_t position = 1; position < CYCLE_NAME_LENGTH; ++position)
        if (name[position] < '0' || name[position] > '9') return false;
    return name[CYCLE_NAME_LENGTH] == '\0';
}

// leftover_path becomes the leftover's path, its separator and name.
static void point_at_entry(const char* name) {
    memcpy(state.leftover_path + state.leftover_length, name, strlen(name) + 1);
}

static void count_other_entry(const char*, bool, intptr_t) {
    ++state.leftover_other_entries;
}

// A stop request ends the judging at once: the candidate then counts as no leftover.
static void judge_entry(const char* name, bool is_directory, intptr_t) {
    if (state.stop_requested != 0 || !is_directory || !is_cycle_name(name)) {
        ++state.leftover_other_entries;
        return;
    }
    ++state.leftover_cycle_directories;
    point_at_entry(name);
    if (!os_list_directory(state.leftover_path, count_other_entry, 0)) ++state.leftover_other_entries;
}

// A stop request leaves the rest of the leftover to the next run.
static void remove_entry(const char* name, bool is_directory, intptr_t) {
    if (state.stop_requested != 0 || !is_directory || !is_cycle_name(name)) return;
    point_at_entry(name);
    os_remove_directory(state.leftover_path);
}

// A candidate must keep the same modification time this long: longer than
// the coarsest time stamps (FAT's two seconds), so that a run still making or
// removing directories in it, on whatever machine, shows by changing it. Waited
// in slices, so that a stop request ends the wait at once.
constexpr uint32_t STILLNESS_MS = 3000;
constexpr uint32_t STILLNESS_SLICE_MS = 50;

// True when nothing has changed the directory for a while; judged without opening it.
static bool stays_still(const char* path) {
    uint64_t before = 0, after = 0;
    if (!os_modification_stamp(path, &before)) return false;
    for (uint32_t waited = 0; waited < STILLNESS_MS; waited += STILLNESS_SLICE_MS) {
        if (state.stop_requested != 0) return false;
        os_sleep(STILLNESS_SLICE_MS);
    }
    return os_modification_stamp(path, &after) && after == before;
}

// Lists the candidate, known to be no going run's, and removes it when it
// holds cycle directories and nothing else, all of them empty.
static void remove_if_only_cycle_directories(const char* name, uint64_t directory_length) {
    state.leftover_path[directory_length] = PATH_SEPARATOR;
    state.leftover_path[directory_length + 1] = '\0';
    state.leftover_length = directory_length + 1;
    state.leftover_cycle_directories = 0;
    state.leftover_other_entries = 0;
    const bool listed = os_list_directory(state.leftover_path, judge_entry, 0);
    if (!listed || state.leftover_cycle_directories == 0 || state.leftover_other_entries != 0) return;
    state.leftover_path[state.leftover_length] = '\0';
    os_list_directory(state.leftover_path, remove_entry, 0);
    state.leftover_path[directory_length] = '\0';
    if (os_remove_directory(state.leftover_path))
        os_print(".DIAG. Removed %s, left behind by an earlier run.\r\n", name);
}

// Claimed first, so that no two new runs remove the same leftover at once; a
// run still going is never opened: its claim, its mark or its changes show it,
// whether it runs here, in another namespace or on another machine. One that
// holds no directory is no leftover, and needs no wait.
static void remove_if_leftover(const char* name, bool is_directory, intptr_t base_length) {
    if (state.stop_requested != 0 || !is_directory || !is_workspace_name(name)) return;
    const uint64_t directory_length = static_cast<uint64_t>(base_length) + WORKSPACE_NAME_LENGTH;
    memcpy(state.leftover_path, state.workspace_path, static_cast<size_t>(base_length));
    memcpy(state.leftover_path + base_length, name, WORKSPACE_NAME_LENGTH + 1);
    ClaimHandle claim = os_claim_directory(state.leftover_path);
    if (claim == nullptr) return;
    if (!os_in_use_elsewhere(state.leftover_path) && !os_holds_no_directory(state.leftover_path) &&
        stays_still(state.leftover_path))
        remove_if_only_cycle_directories(name, directory_length);
    os_release_claim(claim);
}

void remove_leftovers(uint64_t base_length) {
    os_list_directory(state.workspace_path, remove_if_leftover, static_cast<intptr_t>(base_length));
}
