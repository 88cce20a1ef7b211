#include <gtest/gtest.h>

#include <cstring>

#include "driver/cycle_loop.h"
#include "driver/state.h"
#include "tests/fake_platform.h"
#include "workload/cycle_failures.h"
#include "workload/deletion_pass.h"
#include "workload/directory_path.h"
#include "workload/directory_worker.h"
#include "workload/worker_pool.h"

namespace {

const std::string WORKSPACE = "/home/user/qmxeb4/";

std::string directory_name(char letter, uint32_t index) {
    char name[8];
    snprintf(name, sizeof name, "%c%05u", letter, index);
    return name;
}

class WorkloadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake_reset();
        use_workspace(WORKSPACE);
    }

    void use_workspace(const std::string& path) {
        strcpy(state.workspace_path, path.c_str());
        state.workspace_length = path.size();
        fake_add_directory_tree(path);
    }

    // The cycle loop's preparation of the workers, for the cycle of the given letter.
    void prepare_cycle(char letter) {
        if (state.completion_event == nullptr) state.completion_event = os_create_event();
        state.cycle_number = static_cast<uint64_t>(letter - 'a' + 1);
        begin_cycle();
    }

    // One cycle of the given letter through the pool and the removal pass.
    void run_cycle(char letter) {
        prepare_cycle(letter);
        ASSERT_EQ(launch_workers(), 1);
        ASSERT_EQ(wait_for_workers(), 1);
        ASSERT_EQ(close_worker_handles(), 1);
        delete_cycle_directories();
    }

    size_t count_under(const std::string& workspace) { return fake_directories_starting_with(workspace).size(); }

    size_t filled_slots() {
        size_t filled = 0;
        for (ThreadHandle handle : state.worker_handles) filled += handle != nullptr;
        return filled;
    }
};

TEST_F(WorkloadTest, SlicesCoverEveryIndexOnce) {
    prepare_slices();
    std::vector<int> owners(DIRECTORIES_PER_CYCLE + 1, 0);
    for (uint32_t worker = 0; worker < WORKER_COUNT; ++worker) {
        ASSERT_EQ(state.slices[worker].count, 90u);
        for (uint32_t offset = 0; offset < state.slices[worker].count; ++offset)
            ++owners.at(state.slices[worker].first_index + offset);
    }
    EXPECT_EQ(owners[0], 0);
    for (uint32_t index = 1; index <= DIRECTORIES_PER_CYCLE; ++index) ASSERT_EQ(owners[index], 1) << index;
    EXPECT_EQ(state.slices[0].first_index, 1u);
    EXPECT_EQ(state.slices[1].first_index, 91u);
    EXPECT_EQ(state.slices[1023].first_index, 92071u);
}

struct PathCase {
    char letter;
    uint32_t index;
    const char* name;
};

class DirectoryPathTest : public WorkloadTest, public ::testing::WithParamInterface<PathCase> {};

TEST_P(DirectoryPathTest, LetterAndFiveDigits) {
    char buffer[WORKER_PATH_CAPACITY];
    memset(buffer, '#', sizeof buffer);
    state.cycle_letter = GetParam().letter;
    build_directory_path(buffer, GetParam().index);
    EXPECT_EQ(std::string(buffer), WORKSPACE + GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Names, DirectoryPathTest,
                         ::testing::Values(PathCase{'a', 1, "a00001"}, PathCase{'a', 90, "a00090"},
                                           PathCase{'c', 407, "c00407"}, PathCase{'d', 12345, "d12345"},
                                           PathCase{'g', 92160, "g92160"}),
                         [](const ::testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

class CycleLetterTest : public WorkloadTest, public ::testing::WithParamInterface<char> {};

TEST_P(CycleLetterTest, WorkersCreateEveryDirectoryOfTheCycle) {
    const char letter = GetParam();
    prepare_cycle(letter);
    ASSERT_EQ(launch_workers(), 1);
    ASSERT_EQ(wait_for_workers(), 1);
    EXPECT_EQ(count_under(WORKSPACE), DIRECTORIES_PER_CYCLE);
    for (uint32_t index = 1; index <= DIRECTORIES_PER_CYCLE; ++index)
        ASSERT_EQ(fake.directories.count(WORKSPACE + directory_name(letter, index)), 1u) << index;
    EXPECT_EQ(state.workers_remaining.load(), 0u);
    EXPECT_EQ(state.cycle_start, 1u) << "the start is read once, before directory 1";
    EXPECT_EQ(fake.calls[FAKE_QUERY_COUNTER], 1u);
    EXPECT_EQ(std::string(state.worker_paths[1023]), WORKSPACE + directory_name(letter, 92160));
    EXPECT_EQ(fake.output, "");
}

INSTANTIATE_TEST_SUITE_P(Letters, CycleLetterTest, ::testing::Values('a', 'g'));

TEST_F(WorkloadTest, LongestWorkspacePathStillCompletesTheCycle) {
    const std::string long_workspace = "/" + std::string(251, 'p') + "/qmxeb4/";
    ASSERT_EQ(long_workspace.size(), 260u);
    use_workspace(long_workspace);
    prepare_cycle('a');
    ASSERT_EQ(launch_workers(), 1);
    ASSERT_EQ(wait_for_workers(), 1);
    EXPECT_EQ(strlen(state.worker_paths[0]), 266u);
    EXPECT_EQ(std::string(state.worker_paths[0]), long_workspace + "a00090");
    EXPECT_EQ(count_under(long_workspace), DIRECTORIES_PER_CYCLE);
}

TEST_F(WorkloadTest, EveryCreationFailingStillCompletesTheCycle) {
    fake_fail(FAKE_CREATE_DIRECTORY, 1, DIRECTORIES_PER_CYCLE, FAKE_ERROR_ACCESS_DENIED);
    prepare_cycle('a');
    ASSERT_EQ(launch_workers(), 1);
    EXPECT_EQ(wait_for_workers(), 1);
    EXPECT_EQ(fake.calls[FAKE_CREATE_DIRECTORY], DIRECTORIES_PER_CYCLE);
    EXPECT_EQ(count_under(WORKSPACE), 0u);
    EXPECT_EQ(state.abort_flag, 0u);
    EXPECT_EQ(fake.output, "") << "workers count their failures without a word";
    for (const CreationTally& tally : state.creation_tallies) {
        ASSERT_EQ(tally.failures, DIRECTORIES_PER_WORKER);
        ASSERT_EQ(tally.first_error, FAKE_ERROR_ACCESS_DENIED);
    }
    delete_cycle_directories();
    count_cycle_failures();
    EXPECT_EQ(state.creation_failures, DIRECTORIES_PER_CYCLE);
    EXPECT_EQ(state.creation_error, FAKE_ERROR_ACCESS_DENIED);
    EXPECT_EQ(state.removal_failures, 0u) << "names never created are no removal failures";
}

TEST_F(WorkloadTest, DirectoriesThatVanishUnderTheRunAreFailuresWithARealError) {
    fake_fail(FAKE_CREATE_DIRECTORY, 1, 1, FAKE_ERROR_DISK_FULL);
    prepare_cycle('a');
    ASSERT_EQ(launch_workers(), 1);
    ASSERT_EQ(wait_for_workers(), 1);
    const std::string vanished[] = {WORKSPACE + directory_name('a', 2), WORKSPACE + directory_name('a', 92160)};
    for (const std::string& path : vanished)
        ASSERT_EQ(fake.directories.erase(path), 1u) << "removed by another program";
    delete_cycle_directories();
    count_cycle_failures();
    EXPECT_EQ(state.creation_failures, 1u);
    EXPECT_EQ(state.removal_failures, 2u) << "made, then gone before the removal pass";
    EXPECT_EQ(state.removal_error, FAKE_ERROR_FILE_NOT_FOUND) << "the code of what happened, never 0";
}

TEST_F(WorkloadTest, NextCycleStartsWithCleanCounts) {
    fake_fail(FAKE_CREATE_DIRECTORY, 1, 1, FAKE_ERROR_DISK_FULL);
    fake_fail(FAKE_REMOVE_DIRECTORY, 2, 2, FAKE_ERROR_ACCESS_DENIED);
    const uint64_t expected_failures[] = {1, 0};  // cycle a, then b
    for (char letter : {'a', 'b'}) {
        ASSERT_NO_FATAL_FAILURE(run_cycle(letter));
        count_cycle_failures();
        const uint64_t expected = expected_failures[letter - 'a'];
        EXPECT_EQ(state.creation_failures, expected) << letter;
        EXPECT_EQ(state.creation_error, expected ? FAKE_ERROR_DISK_FULL : 0u) << letter;
        EXPECT_EQ(state.removal_failures, expected) << letter;
        EXPECT_EQ(state.removal_error, expected ? FAKE_ERROR_ACCESS_DENIED : 0u) << letter;
    }
}

TEST_F(WorkloadTest, FailedStartReadAbortsWorkerZeroOnly) {
    fake_fail(FAKE_QUERY_COUNTER, 1, 1, 1);
    prepare_cycle('a');
    state.cycle_start = 77;
    ASSERT_EQ(launch_workers(), 1);
    EXPECT_EQ(wait_for_workers(), 1) << "the event is still set";
    EXPECT_EQ(state.abort_flag, 1u);
    EXPECT_EQ(state.cycle_start, 0u);
    EXPECT_EQ(count_under(WORKSPACE), DIRECTORIES_PER_CYCLE - 90);
    for (uint32_t index = 1; index <= 90; ++index)
        EXPECT_EQ(fake.directories.count(WORKSPACE + directory_name('a', index)), 0u);
    EXPECT_EQ(fake.directories.count(WORKSPACE + directory_name('a', 91)), 1u);
    EXPECT_EQ(fake.output, "");
}

class LaunchFailureTest : public WorkloadTest, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(LaunchFailureTest, StopsAtTheFailingWorkerAndClosesTheStartedOnes) {
    const uint32_t failing_worker = GetParam();
    fake_fail(FAKE_CREATE_THREAD, failing_worker + 1, failing_worker + 1, FAKE_ERROR_NOT_ENOUGH_MEMORY);
    prepare_cycle('a');
    EXPECT_EQ(launch_workers(), 0);
    EXPECT_EQ(fake.output, "\r\n[ERROR] CreateThread failed.\r\nWin32 error code: 8\r\n");
    for (uint32_t worker = 0; worker < WORKER_COUNT; ++worker)
        EXPECT_EQ(state.worker_handles[worker] != nullptr, worker < failing_worker) << worker;
    EXPECT_EQ(fake.calls[FAKE_CREATE_THREAD], failing_worker + 1);

    EXPECT_EQ(close_worker_handles(), 1);
    EXPECT_EQ(fake.closed_handles.size(), failing_worker);
    EXPECT_EQ(filled_slots(), 0u);
}

INSTANTIATE_TEST_SUITE_P(FailingWorker, LaunchFailureTest, ::testing::Values(0u, 511u, 1023u));

class CloseFailureTest : public WorkloadTest, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(CloseFailureTest, VisitsEverySlotAndReportsFailure) {
    const uint32_t failing_slot = GetParam();
    prepare_cycle('a');
    ASSERT_EQ(launch_workers(), 1);
    fake_fail(FAKE_CLOSE_HANDLE, failing_slot + 1, failing_slot + 1, 6);
    EXPECT_EQ(close_worker_handles(), 0);
    EXPECT_EQ(fake.output, "\r\n[ERROR] CloseHandle failed.\r\nWin32 error code: 6\r\n");
    EXPECT_EQ(fake.calls[FAKE_CLOSE_HANDLE], WORKER_COUNT);
    EXPECT_EQ(fake.closed_handles.size(), WORKER_COUNT - 1);
    EXPECT_EQ(filled_slots(), 0u);
}

INSTANTIATE_TEST_SUITE_P(FailingSlot, CloseFailureTest, ::testing::Values(0u, 1023u));

TEST_F(WorkloadTest, WaitFailurePrintsItsReturnCode) {
    fake_fail(FAKE_WAIT, 1, 1, FAKE_WAIT_FAILED);
    prepare_cycle('a');
    ASSERT_EQ(launch_workers(), 1);
    EXPECT_EQ(wait_for_workers(), 0);
    EXPECT_EQ(fake.output, "\r\n[ERROR] WaitForSingleObject.\r\nReturn code: 4294967295\r\n");
}

TEST_F(WorkloadTest, ConsecutiveCyclesReuseOneEvent) {
    for (char letter : {'a', 'b'}) ASSERT_NO_FATAL_FAILURE(run_cycle(letter));
    EXPECT_EQ(fake.calls[FAKE_CREATE_EVENT], 1u);
    EXPECT_EQ(fake.calls[FAKE_WAIT], 2u);
    EXPECT_EQ(fake.closed_handles.size(), 2 * WORKER_COUNT);
    EXPECT_EQ(count_under(WORKSPACE), 0u);
}

TEST_F(WorkloadTest, DeletionVisitsEveryNameAndSparesOtherLetters) {
    state.cycle_letter = 'b';
    for (uint32_t index = 1; index <= DIRECTORIES_PER_CYCLE; index += 2)
        fake.directories.insert(WORKSPACE + directory_name('b', index));
    fake.directories.insert(WORKSPACE + directory_name('a', 1));
    fake.directories.insert(WORKSPACE + directory_name('c', 92160));
    fake.directories.insert(WORKSPACE + "b00004x");
    fake.directories.insert(WORKSPACE + directory_name('b', 6));
    fake.directories.insert(WORKSPACE + directory_name('b', 6) + "/inner");

    delete_cycle_directories();
    EXPECT_EQ(fake.calls[FAKE_REMOVE_DIRECTORY], DIRECTORIES_PER_CYCLE);
    EXPECT_EQ(fake.last_removal, WORKSPACE + "b92160");
    const FakePaths left = {WORKSPACE + "a00001", WORKSPACE + "b00004x", WORKSPACE + "b00006",
                            WORKSPACE + "b00006/inner", WORKSPACE + "c92160"};
    EXPECT_EQ(fake_directories_starting_with(WORKSPACE), left);
    EXPECT_EQ(fake.output, "");
}

}  // namespace
