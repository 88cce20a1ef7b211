#pragma once

// The main thread's side of a cycle's 1,024 workers. Each returns 1 on
// success and 0 after printing what failed.
void reset_worker_handles();
int launch_workers();
int wait_for_workers();
int close_worker_handles();
