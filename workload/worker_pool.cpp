#include "workload/worker_pool.h"

#include "driver/state.h"
#include "workload/directory_worker.h"

void reset_worker_handles() {
    for (ThreadHandle& handle : state.worker_handles) handle = nullptr;
}

int launch_workers() {
    for (uint32_t worker = 0; worker < WORKER_COUNT; ++worker) {
        ThreadHandle handle = os_create_thread(directory_worker, &state.slices[worker]);
        if (handle == nullptr) {
            os_print("\r\n[ERROR] CreateThread failed.\r\nWin32 error code: %lu\r\n",
                     static_cast<unsigned long>(os_last_error()));
            return 0;
        }
        state.worker_handles[worker] = handle;
    }
    return 1;
}

int wait_for_workers() {
    const uint32_t result = os_wait_forever(state.completion_event);
    if (result == OS_WAIT_SIGNALLED) return 1;
    os_print("\r\n[ERROR] WaitForSingleObject.\r\nReturn code: %lu\r\n", static_cast<unsigned long>(result));
    return 0;
}

int close_worker_handles() {
    int all_closed = 1;
    for (ThreadHandle& handle : state.worker_handles) {
        if (handle == nullptr) continue;
        if (!os_close_handle(handle)) {
            os_print("\r\n[ERROR] CloseHandle failed.\r\nWin32 error code: %lu\r\n",
                     static_cast<unsigned long>(os_last_error()));
            all_closed = 0;
        }
        handle = nullptr;
    }
    return all_closed;
}
