// Times one cycle of the product's own workload code (slices, launch, wait,
// close, deletion pass, timing) against a minimal loop making the same system
// calls, alternating the two in one process, and prints the ratio.
//
//   cycle_bench [DIRECTORY [ROUNDS]]     compare, in DIRECTORY (default: .)
//   cycle_bench --minimal DIRECTORY      one minimal cycle only, for memory readings

#include <pthread.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/cycle_loop.h"
#include "driver/state.h"
#include "timing/cycle_timing.h"
#include "workload/cycle_failures.h"
#include "workload/deletion_pass.h"
#include "workload/directory_worker.h"
#include "workload/worker_pool.h"

namespace {

double now_seconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::string fresh_directory(const std::string& parent) {
    std::string pattern = parent + "/cycle-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        perror("mkdtemp");
        exit(1);
    }
    return pattern;
}

double product_cycle(const std::string& parent) {
    const std::string workspace = fresh_directory(parent) + "/";
    strcpy(state.workspace_path, workspace.c_str());
    state.workspace_length = workspace.size();
    state.cycle_number = 1;

    const double start = now_seconds();
    begin_cycle();
    if (!launch_workers() || !wait_for_workers() || state.abort_flag || !close_worker_handles()) exit(1);
    delete_cycle_directories();
    if (!finish_cycle_timing()) exit(1);
    count_cycle_failures();
    const double elapsed = now_seconds() - start;
    if (state.creation_failures != 0 || state.removal_failures != 0) {
        fprintf(stderr, "the product's cycle left %llu directories uncreated and %llu unremoved\n",
                static_cast<unsigned long long>(state.creation_failures),
                static_cast<unsigned long long>(state.removal_failures));
        exit(1);
    }

    state.total_ms = 0;
    rmdir(workspace.c_str());
    return elapsed;
}

std::string minimal_workspace;
std::atomic<int> minimal_remaining;

void* minimal_worker(void* parameter) {
    const long first = reinterpret_cast<long>(parameter);
    char path[1024];
    for (long index = first; index < first + 90; ++index) {
        snprintf(path, sizeof path, "%sa%05ld", minimal_workspace.c_str(), index);
        mkdir(path, 0777);
    }
    --minimal_remaining;
    return nullptr;
}

double minimal_cycle(const std::string& parent) {
    minimal_workspace = fresh_directory(parent) + "/";
    static pthread_t threads[1024];

    const double start = now_seconds();
    minimal_remaining = 1024;
    for (long worker = 0; worker < 1024; ++worker)
        if (pthread_create(&threads[worker], nullptr, minimal_worker, reinterpret_cast<void*>(worker * 90 + 1)) != 0)
            exit(1);
    for (pthread_t thread : threads) pthread_join(thread, nullptr);
    char path[1024];
    for (long index = 1; index <= 92160; ++index) {
        snprintf(path, sizeof path, "%sa%05ld", minimal_workspace.c_str(), index);
        rmdir(path);
    }
    const double elapsed = now_seconds() - start;

    rmdir(minimal_workspace.c_str());
    return elapsed;
}

void print_spread(const char* label, std::vector<double> values, const char* unit) {
    std::sort(values.begin(), values.end());
    printf("%-14s min %8.3f  median %8.3f  max %8.3f %s\n", label, values.front(), values[values.size() / 2],
           values.back(), unit);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "--minimal") == 0) {
        printf("minimal cycle: %.3f s\n", minimal_cycle(argv[2]));
        return 0;
    }
    const std::string parent = argc > 1 ? argv[1] : ".";
    const int rounds = argc > 2 ? atoi(argv[2]) : 5;

    os_query_counter_frequency(&state.counter_frequency);
    state.completion_event = os_create_event();

    std::vector<double> product_times, minimal_times, ratios;
    for (int round = 0; round < rounds; ++round) {
        // Alternate which goes first, so that neither always meets a warmer cache.
        double product, minimal;
        if (round % 2 == 0) {
            product = product_cycle(parent);
            minimal = minimal_cycle(parent);
        } else {
            minimal = minimal_cycle(parent);
            product = product_cycle(parent);
        }
        product_times.push_back(product);
        minimal_times.push_back(minimal);
        ratios.push_back(product / minimal);
        printf("round %d: product %.3f s, minimal %.3f s, ratio %.3f\n", round + 1, product, minimal,
               product / minimal);
    }
    print_spread("product", product_times, "s");
    print_spread("minimal", minimal_times, "s");
    print_spread("ratio", ratios, "");
    return 0;
}
