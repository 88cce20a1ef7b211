#include "workload/deletion_pass.h"

#include "driver/state.h"
#include "driver/stop_requests.h"
#include "workload/directory_path.h"

void delete_cycle_directories() {
    for (uint32_t index = 1; index <= DIRECTORIES_PER_CYCLE; ++index) {
        // A stop request that comes now is answered now; the pass still removes everything.
        if (state.stop_requested != 0) acknowledge_stop_request(true);
        build_directory_path(state.deletion_path, index);
        if (os_remove_directory(state.deletion_path)) {
            ++state.directories_removed;
            continue;
        }
        // A name whose creation failed is simply not there: no second fault.
        const uint32_t error = os_last_error();
        if (error != OS_ERROR_NOT_FOUND && state.first_removal_error == 0) state.first_removal_error = error;
    }
}

void delete_attempted_directories() {
    for (uint32_t worker = 0; worker < WORKER_COUNT; ++worker) {
        const uint32_t first = state.slices[worker].first_index;
        const uint32_t end = first + state.creation_tallies[worker].attempted;
        for (uint32_t index = first; index < end; ++index) {
            build_directory_path(state.deletion_path, index);
            os_remove_directory(state.deletion_path);
        }
    }
}
