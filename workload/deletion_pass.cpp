#include "workload/deletion_pass.h"

#include "driver/state.h"
#include "workload/directory_path.h"

void delete_cycle_directories() {
    for (uint32_t index = 1; index <= DIRECTORIES_PER_CYCLE; ++index) {
        build_directory_path(state.deletion_path, index);
        os_remove_directory(state.deletion_path);
    }
}
