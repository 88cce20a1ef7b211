#include "workload/directory_worker.h"

#include <cstddef>

#include "driver/state.h"
#include "workload/directory_path.h"

void prepare_slices() {
    for (uint32_t worker = 0; worker < WORKER_COUNT; ++worker) {
        state.slices[worker].first_index = worker * DIRECTORIES_PER_WORKER + 1;
        state.slices[worker].count = DIRECTORIES_PER_WORKER;
    }
}

ThreadExitCode OS_CALLBACK directory_worker(void* slice) {
    const WorkSlice* own_slice = static_cast<const WorkSlice*>(slice);
    const ptrdiff_t worker = own_slice - state.slices;
    char* path = state.worker_paths[worker];
    CreationTally& tally = state.creation_tallies[worker];
    uint32_t index = own_slice->first_index;
    for (uint32_t remaining = own_slice->count; remaining > 0; --remaining, ++index) {
        // A stop request ends the creating at once; relaxed: any moment soon is soon enough.
        if (state.stop_requested.load(std::memory_order_relaxed) != 0) break;
        build_directory_path(path, index);
        // The timed span starts right before directory 1 is created.
        if (index == 1 && !os_query_counter(&state.cycle_start)) {
            state.cycle_start = 0;
            state.abort_flag = 1;
            break;
        }
        if (!os_create_directory(path) && tally.failures++ == 0) tally.first_error = os_last_error();
    }
    tally.attempted = index - own_slice->first_index;
    if (--state.workers_remaining == 0) os_set_event(state.completion_event);
    return 0;
}
