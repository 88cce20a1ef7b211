#include <gtest/gtest.h>

#include <vector>

#include "driver/benchmark.h"
#include "driver/state.h"
#include "tests/expected_text.h"
#include "tests/fake_platform.h"

namespace {

// Cycle k lasts DURATIONS_MS[k - 1]; the rounded seconds and the average follow.
const uint64_t DURATIONS_MS[7] = {12650, 12750, 1000, 700, 701, 999, 0};
const uint64_t DURATIONS_SECONDS[7] = {12, 13, 1, 0, 1, 1, 0};
const uint64_t AVERAGE_SECONDS = 4;  // 28,800 ms / 7 = 4,114 ms

constexpr uint64_t SEED_READS = 1;
constexpr uint64_t PROBE_ENUMERATIONS = 100;

class CycleLoopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake_reset();
        fake.frequency = 1000;
        fake.counter_values = {0x0123456789abcdef};
        fake.time_stamp_counter = 0xfedcba9876543210;  // the workspace is called ilczy2
        for (uint64_t cycle = 0; cycle < 7; ++cycle) {
            const uint64_t start = 1000000 * (cycle + 1);
            fake.counter_values.push_back(start);
            fake.counter_values.push_back(start + DURATIONS_MS[cycle]);
        }
        fake.keys = {'x', 'y'};
    }

    int run() { return fake_run(run_benchmark); }

    std::string start_up_text() const { return expected::announcement(WORKSPACE) + expected::start_banner(); }

    std::string completed_cycles(uint64_t count) const {
        std::string text;
        for (uint64_t cycle = 1; cycle <= count; ++cycle)
            text += expected::cycle_until_report(cycle, DURATIONS_SECONDS) + expected::PREPARING_NEXT;
        return text;
    }

    // What a cycle prints before the step named by last_line fails.
    static std::string cycle_prefix(uint64_t cycle, const std::string& last_line) {
        const std::string full = expected::cycle_until_report(cycle, DURATIONS_SECONDS);
        return full.substr(0, full.find(last_line) + last_line.size());
    }

    size_t count_under_workspace(char letter) const {
        return fake_directories_starting_with(WORKSPACE + letter).size();
    }

    bool workspace_exists() const { return fake.directories.count(WORKSPACE_DIRECTORY) == 1; }

    const std::string WORKSPACE_DIRECTORY = "/home/user/ilczy2";
    const std::string WORKSPACE = WORKSPACE_DIRECTORY + "/";
};

TEST_F(CycleLoopTest, CompleteRunPrintsEveryCycleAndTheAverage) {
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(std::string(state.workspace_path), WORKSPACE_DIRECTORY) << "the final removal trims the separator";
    EXPECT_EQ(fake.output, start_up_text() + completed_cycles(7) + expected::average_banner(AVERAGE_SECONDS) +
                               expected::CLOSING_PROMPT);
    EXPECT_FALSE(workspace_exists());
    EXPECT_EQ(fake.directories, (FakePaths{"/", "/home", "/home/user"}));
    EXPECT_EQ(fake.keys.size(), 1u);
    EXPECT_EQ(state.cycle_letter, 'g');
    EXPECT_EQ(state.completion_event, nullptr);
    EXPECT_EQ(fake.calls[FAKE_CLOSE_HANDLE], 7 * WORKER_COUNT + 1) << "thread handles and the event";
    EXPECT_EQ(fake.calls[FAKE_CREATE_DIRECTORY], 1 + 7 * DIRECTORIES_PER_CYCLE);
    EXPECT_EQ(fake.calls[FAKE_REMOVE_DIRECTORY], 7 * DIRECTORIES_PER_CYCLE + 1);
}

TEST_F(CycleLoopTest, ProbeWindowLeftOpenIsMinimizedThenInvalidatesCycleOne) {
    FakeWindow explorer{"CabinetWClass", "ilczy2"};
    explorer.closes_on_request = false;
    fake.windows.push_back(explorer);
    run();
    EXPECT_EQ(fake.output, start_up_text() + expected::cycle_until_report(1, DURATIONS_SECONDS) +
                               expected::INVALIDATED + expected::CLOSING_PROMPT);
    size_t minimizes = 0;
    for (const std::string& event : fake.events) minimizes += event == "minimize 0";
    EXPECT_EQ(minimizes, 2u) << "once by the probe, once before cycle 1, which it then invalidates";
}

// Each way out: what is scripted, the exact bytes after start-up, and what stays on disk.
class WayOutTest : public CycleLoopTest {};

TEST_F(WayOutTest, ThreadCreationFailsInCycleTwo) {
    fake_fail(FAKE_CREATE_THREAD, WORKER_COUNT + 6, WORKER_COUNT + 6, FAKE_ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(fake.output, start_up_text() + completed_cycles(1) + cycle_prefix(2, "with 1024 threads.\r\n") +
                               expected::CREATE_THREAD_FAILED + "8\r\n" + expected::INTERRUPTED + expected::ANY_KEY);
    EXPECT_EQ(count_under_workspace('b'), 5 * 90u) << "the five started workers' directories stay";
    EXPECT_EQ(count_under_workspace('a'), 0u);
    EXPECT_EQ(fake.closed_handles.size(), WORKER_COUNT + 5);
    EXPECT_EQ(fake.keys.size(), 1u);
}

TEST_F(WayOutTest, WaitFails) {
    fake_fail(FAKE_WAIT, 1, 1, FAKE_WAIT_FAILED);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(fake.output, start_up_text() + cycle_prefix(1, "Waiting for threads....\r\n") +
                               "\r\n[ERROR] WaitForSingleObject.\r\nReturn code: 4294967295\r\n" +
                               expected::INTERRUPTED + expected::ANY_KEY);
    EXPECT_EQ(count_under_workspace('a'), DIRECTORIES_PER_CYCLE);
    EXPECT_EQ(fake.closed_handles.size(), WORKER_COUNT);
}

TEST_F(WayOutTest, StartReadFailsInCycleThree) {
    fake_fail(FAKE_QUERY_COUNTER, SEED_READS + 2 * 2 + 1, SEED_READS + 2 * 2 + 1, 1);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(fake.output, start_up_text() + completed_cycles(2) + cycle_prefix(3, "Waiting for threads....\r\n") +
                               expected::INTERRUPTED + expected::ANY_KEY);
    EXPECT_EQ(count_under_workspace('c'), DIRECTORIES_PER_CYCLE - 90);
    EXPECT_EQ(fake.closed_handles.size(), 3 * WORKER_COUNT);
}

TEST_F(WayOutTest, HandleCloseFails) {
    fake_fail(FAKE_CLOSE_HANDLE, 11, 11, 6);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(fake.output, start_up_text() + cycle_prefix(1, "All 1024 threads have finished.\r\n") +
                               "\r\n[ERROR] CloseHandle failed.\r\nWin32 error code: 6\r\n" + expected::INTERRUPTED +
                               expected::ANY_KEY);
    EXPECT_EQ(count_under_workspace('a'), DIRECTORIES_PER_CYCLE) << "no deletion pass ran";
    EXPECT_EQ(fake.calls[FAKE_CLOSE_HANDLE], WORKER_COUNT) << "the second close finds every slot empty";
}

TEST_F(WayOutTest, EndReadFails) {
    fake_fail(FAKE_QUERY_COUNTER, SEED_READS + 2, SEED_READS + 2, 1);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(fake.output, start_up_text() + cycle_prefix(1, "Deleting this cycle directories....\r\n") +
                               "\r\n[ERROR] QueryPerformanceCounter END\r\n" + expected::ANY_KEY);
    EXPECT_TRUE(workspace_exists());
    EXPECT_EQ(count_under_workspace('a'), 0u);
}

class InvalidationTest : public CycleLoopTest, public ::testing::WithParamInterface<uint64_t> {};

TEST_P(InvalidationTest, WindowAfterCycleEndsTheRunWithoutAverage) {
    const uint64_t cycle = GetParam();
    FakeWindow explorer{"CabinetWClass", "C:\\Users\\me\\ilczy2"};
    explorer.visible_from_enum = PROBE_ENUMERATIONS + cycle;
    fake.windows.push_back(explorer);
    fake.keys = {'a', 'z'};
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(fake.output, start_up_text() + completed_cycles(cycle - 1) +
                               expected::cycle_until_report(cycle, DURATIONS_SECONDS) + expected::INVALIDATED +
                               expected::CLOSING_PROMPT + expected::about_block() + expected::ANY_KEY);
    EXPECT_EQ(fake.last_removal, WORKSPACE) << "removed with its separator";
    EXPECT_FALSE(workspace_exists());
    EXPECT_NE(state.completion_event, nullptr) << "left to process exit";
}

INSTANTIATE_TEST_SUITE_P(AfterCycle, InvalidationTest, ::testing::Values(1u, 4u, 7u));

// Directories that a cycle could not create or remove: that cycle is
// reported, then the run is invalidated with the counts and first errors.
struct FailedWorkCase {
    const char* label;
    uint64_t cycle;  // the cycle whose work fails
    std::vector<FakeFailure> failures;
    std::string reasons;
    size_t left_in_workspace;  // the cycle's directories that stay
};

constexpr uint64_t CREATIONS_BEFORE(uint64_t cycle) {
    return 1 + (cycle - 1) * DIRECTORIES_PER_CYCLE;  // the workspace, then whole cycles
}
constexpr uint64_t REMOVALS_BEFORE(uint64_t cycle) {
    return (cycle - 1) * DIRECTORIES_PER_CYCLE;
}

class FailedWorkTest : public CycleLoopTest, public ::testing::WithParamInterface<FailedWorkCase> {};

TEST_P(FailedWorkTest, CycleIsReportedThenTheRunIsInvalidated) {
    const FailedWorkCase& test_case = GetParam();
    for (const FakeFailure& failure : test_case.failures) fake.failures.push_back(failure);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(fake.output, start_up_text() + completed_cycles(test_case.cycle - 1) +
                               expected::cycle_until_report(test_case.cycle, DURATIONS_SECONDS) +
                               expected::invalidated(test_case.reasons) + expected::CLOSING_PROMPT);
    EXPECT_EQ(fake.calls[FAKE_REMOVE_DIRECTORY], test_case.cycle * DIRECTORIES_PER_CYCLE + 1)
        << "every name visited, then the workspace";
    const char letter = static_cast<char>('a' + test_case.cycle - 1);
    EXPECT_EQ(count_under_workspace(letter), test_case.left_in_workspace);
    EXPECT_EQ(workspace_exists(), test_case.left_in_workspace != 0);
    EXPECT_EQ(fake.keys.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedWorkTest,
    ::testing::Values(
        FailedWorkCase{"EveryCreationInCycleOne",
                       1,
                       {{FAKE_CREATE_DIRECTORY, 2, CREATIONS_BEFORE(2), FAKE_ERROR_FILENAME_EXCED_RANGE}},
                       expected::failed_directories(92160, "created", FAKE_ERROR_FILENAME_EXCED_RANGE),
                       0},
        FailedWorkCase{"ThreeInOneWorker",
                       1,
                       {{FAKE_CREATE_DIRECTORY, CREATIONS_BEFORE(1) + 7 * 90 + 4, CREATIONS_BEFORE(1) + 7 * 90 + 6,
                         FAKE_ERROR_DISK_FULL}},
                       expected::failed_directories(3, "created", FAKE_ERROR_DISK_FULL),
                       0},
        FailedWorkCase{"OnlyCycleFourFirstErrorKept",
                       4,
                       {{FAKE_CREATE_DIRECTORY, CREATIONS_BEFORE(4) + 1, CREATIONS_BEFORE(4) + 2, FAKE_ERROR_DISK_FULL},
                        {FAKE_CREATE_DIRECTORY, CREATIONS_BEFORE(4) + 50000, CREATIONS_BEFORE(4) + 50009,
                         FAKE_ERROR_ACCESS_DENIED}},
                       expected::failed_directories(12, "created", FAKE_ERROR_DISK_FULL),
                       0},
        FailedWorkCase{
            "RemovalsInCycleTwo",
            2,
            {{FAKE_REMOVE_DIRECTORY, REMOVALS_BEFORE(2) + 5, REMOVALS_BEFORE(2) + 6, FAKE_ERROR_ACCESS_DENIED}},
            expected::failed_directories(2, "removed", FAKE_ERROR_ACCESS_DENIED),
            2},
        FailedWorkCase{
            "BothAndUncreatedNamesAreNoSecondFault",
            3,
            {{FAKE_CREATE_DIRECTORY, CREATIONS_BEFORE(3) + 1, CREATIONS_BEFORE(3) + 90, FAKE_ERROR_DISK_FULL},
             {FAKE_REMOVE_DIRECTORY, REMOVALS_BEFORE(3) + 92160, REMOVALS_BEFORE(3) + 92160, FAKE_ERROR_DIR_NOT_EMPTY}},
            expected::failed_directories(90, "created", FAKE_ERROR_DISK_FULL) +
                expected::failed_directories(1, "removed", FAKE_ERROR_DIR_NOT_EMPTY),
            1}),
    [](const ::testing::TestParamInfo<FailedWorkCase>& info) { return std::string(info.param.label); });

TEST_F(CycleLoopTest, FailedWorkIsJudgedBeforeTheExplorerWindow) {
    FakeWindow explorer{"CabinetWClass", "ilczy2"};
    explorer.visible_from_enum = PROBE_ENUMERATIONS + 1;
    fake.windows.push_back(explorer);
    fake_fail(FAKE_CREATE_DIRECTORY, 2, 2, FAKE_ERROR_ACCESS_DENIED);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(fake.output, start_up_text() + expected::cycle_until_report(1, DURATIONS_SECONDS) +
                               expected::invalidated(expected::failed_directories(1, "created", 5)) +
                               expected::CLOSING_PROMPT);
    EXPECT_EQ(fake.calls[FAKE_ENUM_WINDOWS], PROBE_ENUMERATIONS) << "no guard check after failed work";
}

TEST_F(WayOutTest, FinalRemovalFailsButTheRunEndsNormally) {
    fake_fail(FAKE_REMOVE_DIRECTORY, 7 * DIRECTORIES_PER_CYCLE + 1, 7 * DIRECTORIES_PER_CYCLE + 1,
              FAKE_ERROR_ACCESS_DENIED);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(fake.output, start_up_text() + completed_cycles(7) + expected::average_banner(AVERAGE_SECONDS) +
                               "\r\n[ERROR] Unable to remove random workspace directory.\r\n" +
                               expected::CLOSING_PROMPT);
    EXPECT_TRUE(workspace_exists());
}

TEST_F(WayOutTest, ProbeWindowThatClosesDoesNotInvalidate) {
    fake.windows.push_back(FakeWindow{"CabinetWClass", "ilczy2"});
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(fake.output, start_up_text() + completed_cycles(7) + expected::average_banner(AVERAGE_SECONDS) +
                               expected::CLOSING_PROMPT);
    EXPECT_EQ(state.explorer_window, fake_window_handle(0));
}

}  // namespace

namespace {

// A stop request at a given moment: what the run printed, how it ended and
// what it left. The output is the start-up text, `completed` whole cycles,
// cycle `partial` up to the line `until` (none when 0), then `tail`.
struct StopCase {
    const char* label;
    std::vector<FakeStop> stops;
    std::vector<FakeFailure> failures;
    bool banner;
    uint64_t completed;
    uint64_t partial;
    const char* until;
    std::string tail;
    int exit_code;
    bool workspace_left;
};

const char DELETING[] = "Deleting this cycle directories....\r\n";
const char WAITING[] = "Waiting for threads....\r\n";
const std::string STOPPED = expected::STOPPING + expected::STOPPED;
const std::string STOPPED_WITH_NOTHING_MADE = expected::STOPPING_WITH_NOTHING_MADE + expected::STOPPED;
// A stop before cycle 1's tenth creation call: worker 0 has tried nine names.
constexpr uint64_t NAMES_TRIED_BEFORE_THE_STOP = 9;

class StopTest : public CycleLoopTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopTest, CleansUpAtTheNextSafePoint) {
    const StopCase& test_case = GetParam();
    for (const FakeStop& stop : test_case.stops) fake.stops.push_back(stop);
    for (const FakeFailure& failure : test_case.failures) fake.failures.push_back(failure);
    EXPECT_EQ(run(), test_case.exit_code);
    std::string text = expected::announcement(WORKSPACE);
    if (test_case.banner) text += expected::start_banner();
    text += completed_cycles(test_case.completed);
    if (test_case.partial != 0) text += cycle_prefix(test_case.partial, test_case.until);
    EXPECT_EQ(fake.output, text + test_case.tail);
    EXPECT_EQ(workspace_exists(), test_case.workspace_left);
    if (!test_case.workspace_left) {
        EXPECT_EQ(fake.directories, (FakePaths{"/", "/home", "/home/user"})) << "nothing left behind";
    }
}

constexpr uint64_t CREATIONS_IN_CYCLE_2 = 1 + DIRECTORIES_PER_CYCLE;

INSTANTIATE_TEST_SUITE_P(
    Moments, StopTest,
    ::testing::Values(StopCase{"DuringStartUp",
                               {{FAKE_CREATE_DIRECTORY, 1}},
                               {},
                               false,
                               0,
                               0,
                               "",
                               STOPPED_WITH_NOTHING_MADE,
                               FAKE_ENDED_BY_STOP,
                               false},
                      StopCase{"DuringTheProbe",
                               {{FAKE_ENUM_WINDOWS, 3}},
                               {},
                               false,
                               0,
                               0,
                               "",
                               STOPPED_WITH_NOTHING_MADE,
                               FAKE_ENDED_BY_STOP,
                               false},
                      StopCase{"DuringCreation",
                               {{FAKE_CREATE_DIRECTORY, CREATIONS_IN_CYCLE_2 + 500}},
                               {},
                               true,
                               1,
                               2,
                               WAITING,
                               STOPPED,
                               FAKE_ENDED_BY_STOP,
                               false},
                      StopCase{"DuringTheRemovalPass",
                               {{FAKE_REMOVE_DIRECTORY, 2 * DIRECTORIES_PER_CYCLE + 7}},
                               {},
                               true,
                               2,
                               3,
                               DELETING,
                               STOPPED,
                               FAKE_ENDED_BY_STOP,
                               false},
                      StopCase{"BetweenCycles",
                               {{FAKE_ENUM_WINDOWS, PROBE_ENUMERATIONS + 1}},
                               {},
                               true,
                               1,
                               0,
                               "",
                               STOPPED_WITH_NOTHING_MADE,
                               FAKE_ENDED_BY_STOP,
                               false},
                      StopCase{"WorkspaceCannotBeRemoved",
                               {{FAKE_CREATE_DIRECTORY, 10}},
                               // The workspace's removal follows the removal of the names tried.
                               {{FAKE_REMOVE_DIRECTORY, NAMES_TRIED_BEFORE_THE_STOP + 1,
                                 NAMES_TRIED_BEFORE_THE_STOP + 1, FAKE_ERROR_ACCESS_DENIED}},
                               true,
                               0,
                               1,
                               WAITING,
                               expected::STOPPING + "\r\n[ERROR] Unable to remove random workspace directory.\r\n",
                               FAKE_ENDED_BY_STOP,
                               true},
                      StopCase{"SecondRequestEndsAtOnce",
                               {{FAKE_CREATE_DIRECTORY, 10}, {FAKE_REMOVE_DIRECTORY, NAMES_TRIED_BEFORE_THE_STOP - 4}},
                               {},
                               true,
                               0,
                               1,
                               WAITING,
                               expected::STOPPING,
                               FAKE_ENDED_BY_STOP,
                               true},
                      StopCase{"AtTheClosingPrompt",
                               {{FAKE_READ_KEY, 1}},
                               {},
                               true,
                               7,
                               0,
                               "",
                               expected::average_banner(AVERAGE_SECONDS) + expected::CLOSING_PROMPT,
                               FAKE_ENDED_BY_STOP,
                               false},
                      StopCase{"AtAnErrorPrompt",
                               {{FAKE_READ_KEY, 1}},
                               {{FAKE_QUERY_FREQUENCY, 1, 1, 1}},
                               true,
                               0,
                               0,
                               "",
                               "\r\n[ERROR] QueryPerformanceFrequency\r\n" + expected::ANY_KEY,
                               FAKE_ENDED_BY_STOP,
                               true},
                      StopCase{"NeverRequested",
                               {},
                               {},
                               true,
                               7,
                               0,
                               "",
                               expected::average_banner(AVERAGE_SECONDS) + expected::CLOSING_PROMPT,
                               0,
                               false}),
    [](const ::testing::TestParamInfo<StopCase>& info) { return std::string(info.param.label); });

TEST_F(CycleLoopTest, AStopDuringTheRemovalPassIsSaidAtOnceAndThePassRunsOn) {
    // Cycle 2's pass follows cycle 1's 92,160 removals; the stop comes before its 7th.
    const uint64_t stop_before = 2 * DIRECTORIES_PER_CYCLE + 7;
    fake_stop_before(FAKE_REMOVE_DIRECTORY, stop_before);
    EXPECT_EQ(run(), FAKE_ENDED_BY_STOP);
    const size_t acknowledgement = fake.output.rfind(expected::STOPPING);
    ASSERT_NE(acknowledgement, std::string::npos) << fake.output;
    EXPECT_EQ(fake.removals_at_print.rbegin()[1], stop_before) << "said before the next name";
    EXPECT_EQ(fake.calls[FAKE_REMOVE_DIRECTORY], 3 * DIRECTORIES_PER_CYCLE + 1) << "every name, then the workspace";
}

TEST_F(CycleLoopTest, StopEndsTheCreatingAtOnceAndRemovesOnlyTheNamesTried) {
    fake_stop_before(FAKE_CREATE_DIRECTORY, CREATIONS_IN_CYCLE_2 + 500);
    EXPECT_EQ(run(), FAKE_ENDED_BY_STOP);
    EXPECT_EQ(fake.calls[FAKE_CREATE_DIRECTORY], CREATIONS_IN_CYCLE_2 + 500) << "no worker made another one";
    EXPECT_EQ(fake.threads_created, 2 * WORKER_COUNT) << "the rest of the workers still counted themselves out";
    EXPECT_EQ(fake.calls[FAKE_REMOVE_DIRECTORY], DIRECTORIES_PER_CYCLE + 500 + 1)
        << "cycle 1's whole pass, cycle 2's 500 names tried, the workspace";
    EXPECT_EQ(fake.closed_handles.size(), 2 * WORKER_COUNT);
}

TEST_F(CycleLoopTest, StopDuringTheProbeEndsItsPolling) {
    fake_stop_before(FAKE_ENUM_WINDOWS, 3);
    EXPECT_EQ(run(), FAKE_ENDED_BY_STOP);
    EXPECT_EQ(fake.calls[FAKE_ENUM_WINDOWS], 3u);
}

// The output's reader goes away at a given print: nothing more is printed, the
// run cleans up as for any stop, and it never counts as the user asking again.
// The output is the start-up text, `completed` whole cycles, then cycle
// `partial` up to the line `until` (none when 0).
struct OutputGoneCase {
    const char* label;
    uint64_t gone_at_print;
    std::vector<FakeStop> stops;
    uint64_t completed;
    uint64_t partial;
    const char* until;
    uint64_t creations;
};

class OutputGoneTest : public CycleLoopTest, public ::testing::WithParamInterface<OutputGoneCase> {};

TEST_P(OutputGoneTest, CleansUpSilently) {
    const OutputGoneCase& test_case = GetParam();
    fake.output_gone_at_print = test_case.gone_at_print;
    for (const FakeStop& stop : test_case.stops) fake.stops.push_back(stop);
    EXPECT_EQ(run(), FAKE_ENDED_BY_STOP);
    std::string text = start_up_text() + completed_cycles(test_case.completed);
    if (test_case.partial != 0) text += cycle_prefix(test_case.partial, test_case.until);
    EXPECT_EQ(fake.output, text);
    EXPECT_EQ(fake.calls[FAKE_CREATE_DIRECTORY], test_case.creations);
    EXPECT_EQ(fake.directories, (FakePaths{"/", "/home", "/home/user"})) << "nothing left behind";
}

// Prints: 1 the workspace line, 2 the banner, then one per line of cycle 1 from
// its header (3) to "Preparing next benchmark." (12), cycle 2's header 13.
INSTANTIATE_TEST_SUITE_P(
    Cases, OutputGoneTest,
    ::testing::Values(OutputGoneCase{"AtCycleTwosHeader", 13, {}, 1, 0, "", 1 + DIRECTORIES_PER_CYCLE},
                      OutputGoneCase{"AfterTheUserAsked", 6, {{FAKE_CREATE_DIRECTORY, 10}}, 0, 1, "threads.\r\n", 10},
                      OutputGoneCase{
                          "BeforeTheUserAsked", 5, {{FAKE_REMOVE_DIRECTORY, 10}}, 0, 1, "initialization.\r\n", 1}),
    [](const ::testing::TestParamInfo<OutputGoneCase>& info) { return std::string(info.param.label); });

TEST_F(CycleLoopTest, StopAfterAnIgnoredKeyWaitIsNoLongerAtThePrompt) {
    // A request that arrives at the About screen's second key wait ends it too.
    fake.keys = {'a', 'x'};
    fake_stop_before(FAKE_READ_KEY, 2);
    EXPECT_EQ(run(), FAKE_ENDED_BY_STOP);
    EXPECT_EQ(fake.output.substr(fake.output.size() - expected::ANY_KEY.size()), expected::ANY_KEY);
    EXPECT_EQ(fake.keys.size(), 1u) << "the second key was never read";
}

TEST_F(CycleLoopTest, ReaderOfTheWorkspaceInvalidatesTheRun) {
    fake.directory_read_at_check = 2;
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(fake.watched_directory, WORKSPACE) << "watched from its creation on";
    EXPECT_EQ(fake.output, start_up_text() + completed_cycles(1) + expected::cycle_until_report(2, DURATIONS_SECONDS) +
                               expected::invalidated(expected::READER_REASON) + expected::CLOSING_PROMPT);
    EXPECT_FALSE(workspace_exists());
}

TEST_F(CycleLoopTest, WithoutWindowSystemTheProbeDoesNotPoll) {
    fake.has_window_system = false;
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(fake.output, start_up_text() + completed_cycles(7) + expected::average_banner(AVERAGE_SECONDS) +
                               expected::CLOSING_PROMPT);
    EXPECT_EQ(fake.calls[FAKE_ENUM_WINDOWS], 7u) << "only the guard checks";
    for (const std::string& event : fake.events) EXPECT_NE(event.rfind("sleep", 0), 0u) << event;
}

}  // namespace
