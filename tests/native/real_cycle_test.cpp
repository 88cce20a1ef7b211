// Cycles on the real POSIX platform: 1,024 real threads create 92,160 real
// directories in a scratch directory on a memory file system, and the
// deletion pass removes them again.

#include <dirent.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "driver/cycle_loop.h"
#include "driver/state.h"
#include "timing/cycle_timing.h"
#include "workload/cycle_failures.h"
#include "workload/deletion_pass.h"
#include "workload/directory_worker.h"
#include "workload/worker_pool.h"

namespace {

std::set<std::string> entries_of(const std::string& directory) {
    std::set<std::string> names;
    DIR* listing = opendir(directory.c_str());
    if (listing == nullptr) return names;
    while (dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.insert(name);
    }
    closedir(listing);
    return names;
}

class RealCycleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* memory_file_system = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(memory_file_system) + "/orvenna-native-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        scratch = pattern;
        workspace = scratch + "/qmxeb4/";
        ASSERT_EQ(mkdir(workspace.c_str(), 0777), 0);

        state.~BenchmarkState();
        new (&state) BenchmarkState();
        strcpy(state.workspace_path, workspace.c_str());
        state.workspace_length = workspace.size();
        ASSERT_EQ(os_query_counter_frequency(&state.counter_frequency), 1);
        state.completion_event = os_create_event();
        ASSERT_NE(state.completion_event, nullptr);
    }

    void TearDown() override {
        os_close_handle(state.completion_event);
        std::string command = "rm -rf '" + scratch + "'";
        EXPECT_EQ(system(command.c_str()), 0);
    }

    // The cycle loop's steps up to the end of the creation phase.
    void create_cycle(uint64_t cycle) {
        state.cycle_number = cycle;
        begin_cycle();
        ASSERT_EQ(launch_workers(), 1);
        ASSERT_EQ(wait_for_workers(), 1);
        ASSERT_EQ(state.abort_flag, 0u);
        ASSERT_EQ(close_worker_handles(), 1);
    }

    std::string scratch;
    std::string workspace;
};

TEST_F(RealCycleTest, ThreadsCreateEveryDirectoryAndThePassRemovesThem) {
    for (uint64_t cycle = 1; cycle <= 2; ++cycle) {
        create_cycle(cycle);
        const std::set<std::string> created = entries_of(workspace);
        ASSERT_EQ(created.size(), DIRECTORIES_PER_CYCLE);
        char name[8];
        for (uint32_t index = 1; index <= DIRECTORIES_PER_CYCLE; ++index) {
            snprintf(name, sizeof name, "%c%05u", state.cycle_letter, index);
            ASSERT_EQ(created.count(name), 1u) << name;
        }
        for (ThreadHandle handle : state.worker_handles) ASSERT_EQ(handle, nullptr);

        delete_cycle_directories();
        ASSERT_EQ(finish_cycle_timing(), 1);
        EXPECT_TRUE(entries_of(workspace).empty());
        EXPECT_GT(state.cycle_start, 0u);
        EXPECT_GT(state.elapsed_ticks, 0u);
        EXPECT_EQ(state.durations_ms[cycle - 1], state.elapsed_ms);
        count_cycle_failures();
        EXPECT_EQ(state.creation_failures, 0u);
        EXPECT_EQ(state.removal_failures, 0u);
    }
}

TEST_F(RealCycleTest, DeletionPassSparesWhatIsNotEmptyOrNotOurs) {
    create_cycle(1);
    ASSERT_EQ(mkdir((workspace + "a00007/inner").c_str(), 0777), 0);
    ASSERT_EQ(mkdir((workspace + "b00001").c_str(), 0777), 0);
    delete_cycle_directories();
    EXPECT_EQ(entries_of(workspace), (std::set<std::string>{"a00007", "b00001"}));
    count_cycle_failures();
    EXPECT_EQ(state.removal_failures, 1u) << "only the cycle's own directory that stayed";
    EXPECT_EQ(state.removal_error, static_cast<uint32_t>(ENOTEMPTY));
}

TEST(RealPlatformTest, AlreadyExistsAndNotFoundAreTheErrorsToldApart) {
    char path[] = "/tmp/orvenna-exists-XXXXXX";
    ASSERT_NE(mkdtemp(path), nullptr);
    EXPECT_EQ(os_create_directory(path), 0);
    EXPECT_EQ(os_last_error(), OS_ERROR_ALREADY_EXISTS);
    EXPECT_EQ(os_remove_directory(path), 1);
    EXPECT_EQ(os_remove_directory(path), 0);
    EXPECT_EQ(os_last_error(), OS_ERROR_NOT_FOUND);
}

TEST(RealPlatformTest, CurrentDirectoryHonoursTheCapacity) {
    char buffer[PATH_CAPACITY];
    const uint32_t length = os_get_current_directory(PATH_CAPACITY, buffer);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, PATH_CAPACITY);
    EXPECT_EQ(strlen(buffer), length);
    EXPECT_GE(os_get_current_directory(2, buffer), 2u) << "a path that does not fit";
}

TEST(RealPlatformTest, EventIsAutoReset) {
    EventHandle event = os_create_event();
    ASSERT_NE(event, nullptr);
    os_set_event(event);
    EXPECT_EQ(os_wait_forever(event), OS_WAIT_SIGNALLED);
    os_set_event(event);
    EXPECT_EQ(os_wait_forever(event), OS_WAIT_SIGNALLED);
    EXPECT_EQ(os_close_handle(event), 1);
}

}  // namespace
