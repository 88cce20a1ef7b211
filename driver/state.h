#pragma once

#include <atomic>
#include <cstdint>

#include "platform/platform.h"

// Every figure of the run is fixed; there is nothing to configure.
constexpr uint32_t WORKER_COUNT = 1024;
constexpr uint32_t DIRECTORIES_PER_WORKER = 90;
constexpr uint32_t DIRECTORIES_PER_CYCLE = WORKER_COUNT * DIRECTORIES_PER_WORKER;
constexpr uint64_t CYCLE_COUNT = 7;
constexpr uint64_t NAME_ATTEMPTS = 256;
constexpr uint32_t PROBE_POLLS = 100;
constexpr uint32_t PROBE_INTERVAL_MS = 50;
constexpr uint64_t ROUNDING_THRESHOLD_MS = 700;
constexpr uint32_t PATH_CAPACITY = 260;
constexpr uint32_t WORKER_PATH_CAPACITY = 1024;
constexpr uint32_t CLASS_NAME_CAPACITY = 64;
constexpr uint32_t TITLE_CAPACITY = 512;
constexpr uint32_t WORKSPACE_NAME_LENGTH = 6;

static_assert(DIRECTORIES_PER_CYCLE == 92160, "directory names carry five digits");

struct WorkSlice {
    uint32_t first_index;
    uint32_t count;
};

// One worker's slice in the current cycle: how many of its names it tried to
// create (from the first on), and how many of those creations failed.
struct CreationTally {
    uint32_t attempted;
    uint32_t failures;
    uint32_t first_error;
};

// The one process-wide record. It lives in static storage and is zero at
// start: nothing of the run is ever allocated.
struct BenchmarkState {
    // Workspace
    char workspace_path[PATH_CAPACITY + 1];
    uint64_t workspace_length;
    char cycle_letter;
    char workspace_name[WORKSPACE_NAME_LENGTH + 1];
    uint64_t rng_state;
    uint64_t name_attempts_left;
    char class_buffer[CLASS_NAME_CAPACITY];
    char title_buffer[TITLE_CAPACITY];
    WindowHandle explorer_window;
    // Held for the run's whole life: a later run tells a live workspace from a leftover by it.
    ClaimHandle workspace_claim;
    // A directory of the start directory looked at as a possible leftover of an earlier run.
    char leftover_path[WORKER_PATH_CAPACITY];
    uint64_t leftover_length;
    uint64_t leftover_cycle_directories;
    uint64_t leftover_other_entries;

    // Workload
    WorkSlice slices[WORKER_COUNT];
    ThreadHandle worker_handles[WORKER_COUNT];
    char worker_paths[WORKER_COUNT][WORKER_PATH_CAPACITY];
    char deletion_path[WORKER_PATH_CAPACITY];
    std::atomic<uint64_t> workers_remaining;
    EventHandle completion_event;

    // Work that did not happen: a cycle with any is not scored. Worker i
    // writes only creation_tallies[i]; the rest is the main thread's.
    CreationTally creation_tallies[WORKER_COUNT];
    uint64_t directories_removed;
    uint32_t first_removal_error;
    uint64_t creation_failures;
    uint32_t creation_error;
    uint64_t removal_failures;
    uint32_t removal_error;

    // Timing
    uint64_t counter_frequency;
    uint64_t cycle_start;
    uint64_t cycle_end;
    uint64_t elapsed_ticks;
    uint64_t elapsed_ms;
    uint64_t durations_ms[CYCLE_COUNT];
    uint64_t total_ms;
    uint64_t average_ms;
    uint64_t average_seconds;

    // Control
    uint64_t cycle_number;
    uint64_t abort_flag;
    uint64_t invalidated;
    uint64_t workspace_read;  // the invalidation came from the directory watch, not a window

    // Stop requests, set from any thread or a signal handler; workers read
    // stop_requested before each directory. Only the main thread acknowledges.
    std::atomic<uint32_t> stop_requested;
    std::atomic<uint32_t> user_stop_requests;
    std::atomic<uint32_t> awaiting_key;
    uint32_t stop_acknowledged;
};

extern BenchmarkState state;
