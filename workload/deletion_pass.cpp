#include "workload/deletion_pass.h"

#include "driver/state.h"
#include "workload/directory_path.h"

void delete_cycle_directories() {
    for (uint32_t index = 1; index <= DIRECTORIES_PER_CYCLE; ++index) {
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
