#include "driver/benchmark.h"
#include "driver/exits.h"

#include <gtest/gtest.h>

#include "driver/state.h"
#include "tests/expected_text.h"
#include "tests/fake_platform.h"

namespace {

const std::string CURRENT_DIRECTORY_ERROR = "\r\n[ERROR] GetCurrentDirectoryA\r\n";

// A directory path of exactly length characters, under /d.
std::string directory_of_length(size_t length) {
    return "/d" + std::string(length - 2, 'x');
}

class StartupTest : public ::testing::Test {
  protected:
    void SetUp() override { fake_reset(); }

    void use_current_directory(const std::string& path) {
        fake.current_directory = path;
        fake_add_directory_tree(path);
    }

    // Start-up runs in full; the first thread then fails so that the run stops early.
    int run_start_up() {
        fake_fail(FAKE_CREATE_THREAD, 1, 1, FAKE_ERROR_NOT_ENOUGH_MEMORY);
        return fake_run(run_benchmark);
    }
};

struct BasePathCase {
    const char* label;
    std::string current_directory;
    std::string expected_parent;  // where the workspace lands; empty when refused
};

class BasePathTest : public StartupTest, public ::testing::WithParamInterface<BasePathCase> {};

TEST_P(BasePathTest, PlacesWorkspaceOrRefuses) {
    const BasePathCase& test_case = GetParam();
    use_current_directory(test_case.current_directory);
    const int exit_code = run_start_up();
    if (test_case.expected_parent.empty()) {
        EXPECT_EQ(exit_code, 1);
        EXPECT_EQ(fake.output, CURRENT_DIRECTORY_ERROR + expected::ANY_KEY);
        EXPECT_EQ(fake.calls[FAKE_CREATE_DIRECTORY], 0u);
        return;
    }
    const std::string workspace = test_case.expected_parent + state.workspace_name + "/";
    EXPECT_EQ(std::string(state.workspace_path), workspace);
    EXPECT_EQ(state.workspace_length, workspace.size());
    EXPECT_EQ(fake.output.rfind(expected::announcement(workspace) + expected::start_banner(), 0), 0u) << fake.output;
    EXPECT_EQ(fake.directories.count(workspace.substr(0, workspace.size() - 1)), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    CurrentDirectories, BasePathTest,
    ::testing::Values(BasePathCase{"plain", "/home/user", "/home/user/"},
                      BasePathCase{"root_already_ends_in_separator", "/", "/"},
                      BasePathCase{"length_252_fits", directory_of_length(252), directory_of_length(252) + "/"},
                      BasePathCase{"length_253_refused", directory_of_length(253), ""},
                      BasePathCase{"length_259_refused", directory_of_length(259), ""},
                      BasePathCase{"length_260_does_not_fit", directory_of_length(260), ""},
                      BasePathCase{"length_400_does_not_fit", directory_of_length(400), ""}),
    [](const ::testing::TestParamInfo<BasePathCase>& info) { return std::string(info.param.label); });

TEST_F(StartupTest, CurrentDirectoryUnavailableIsRefused) {
    fake_fail(FAKE_GET_CURRENT_DIRECTORY, 1, 1, FAKE_ERROR_ACCESS_DENIED);
    EXPECT_EQ(fake_run(run_benchmark), 1);
    EXPECT_EQ(fake.output, CURRENT_DIRECTORY_ERROR + expected::ANY_KEY);
}

struct StartupFailureCase {
    const char* label;
    FakeOperation operation;
    uint64_t first_call;
    uint64_t last_call;
    uint32_t error;
    bool workspace_announced;
    std::string message;
};

class StartupFailureTest : public StartupTest, public ::testing::WithParamInterface<StartupFailureCase> {};

TEST_P(StartupFailureTest, PrintsMessageWaitsForKeyAndExitsWithOne) {
    const StartupFailureCase& test_case = GetParam();
    fake_fail(test_case.operation, test_case.first_call, test_case.last_call, test_case.error);
    fake.keys = {'x', 'y'};
    EXPECT_EQ(fake_run(run_benchmark), 1);

    std::string expected_output;
    if (test_case.workspace_announced)
        expected_output = expected::announcement(state.workspace_path) + expected::start_banner();
    EXPECT_EQ(fake.output, expected_output + test_case.message + expected::ANY_KEY);
    EXPECT_EQ(fake.keys.size(), 1u) << "exactly one key is read";
    EXPECT_EQ(fake.calls[FAKE_CREATE_THREAD], 0u);
    // A workspace made before the failure stays; none is made otherwise.
    EXPECT_EQ(fake.directories.size(), test_case.workspace_announced ? 4u : 3u);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, StartupFailureTest,
    ::testing::Values(StartupFailureCase{"workspace_creation_denied", FAKE_CREATE_DIRECTORY, 1, 1,
                                         FAKE_ERROR_ACCESS_DENIED, false,
                                         "\r\n[ERROR] Unable to create random workspace directory.\r\n"},
                      StartupFailureCase{"no_free_name", FAKE_CREATE_DIRECTORY, 1, 256, FAKE_ERROR_ALREADY_EXISTS,
                                         false, "\r\n[ERROR] Unable to find a free random workspace name.\r\n"},
                      StartupFailureCase{"counter_frequency", FAKE_QUERY_FREQUENCY, 1, 1, 1, true,
                                         "\r\n[ERROR] QueryPerformanceFrequency\r\n"},
                      StartupFailureCase{"event_creation", FAKE_CREATE_EVENT, 1, 1, FAKE_ERROR_NOT_ENOUGH_MEMORY, true,
                                         "\r\n[ERROR] CreateEventA failed\r\n"}),
    [](const ::testing::TestParamInfo<StartupFailureCase>& info) { return std::string(info.param.label); });

TEST_F(StartupTest, MovesForegroundWindowOnlyWhenThereIsOne) {
    fake.foreground_window = fake_window_handle(7);
    run_start_up();
    ASSERT_FALSE(fake.events.empty());
    EXPECT_EQ(fake.events.front(), "place 7 250 250 900 700");

    fake_reset();
    run_start_up();
    for (const std::string& event : fake.events) EXPECT_NE(event.rfind("place", 0), 0u) << event;
}

TEST_F(StartupTest, OpensWorkspaceInExplorerBeforeTheBanner) {
    run_start_up();
    ASSERT_FALSE(fake.events.empty());
    EXPECT_EQ(fake.events.front(), std::string("open ") + state.workspace_path);
    EXPECT_EQ(fake.calls[FAKE_ENUM_WINDOWS], 100u);
    EXPECT_EQ(fake.calls[FAKE_CREATE_EVENT], 1u);
    EXPECT_NE(state.completion_event, nullptr);
    EXPECT_EQ(state.counter_frequency, fake.frequency);
}

struct ClosingKeyCase {
    const char* label;
    int key;
    bool shows_about;
};

class ClosingPromptTest : public StartupTest, public ::testing::WithParamInterface<ClosingKeyCase> {};

TEST_P(ClosingPromptTest, AboutOnlyForTheLetterA) {
    const ClosingKeyCase& test_case = GetParam();
    fake.keys = {test_case.key, 'z'};
    EXPECT_EQ(fake_run(closing_prompt), 0);
    std::string expected_output = expected::CLOSING_PROMPT;
    if (test_case.shows_about) expected_output += expected::about_block() + expected::ANY_KEY;
    EXPECT_EQ(fake.output, expected_output);
    EXPECT_EQ(fake.keys.size(), test_case.shows_about ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(Keys, ClosingPromptTest,
                         ::testing::Values(ClosingKeyCase{"lower_a", 'a', true}, ClosingKeyCase{"upper_a", 'A', true},
                                           ClosingKeyCase{"b", 'b', false}, ClosingKeyCase{"enter", '\r', false},
                                           ClosingKeyCase{"end_of_input", -1, false}),
                         [](const ::testing::TestParamInfo<ClosingKeyCase>& info) {
                             return std::string(info.param.label);
                         });

TEST_F(StartupTest, FatalExitPrintsMessageThenAnyKeyLine) {
    fake.keys = {'q'};
    EXPECT_EQ(fake_run([] { fatal_exit("\r\n[ERROR] something\r\n", 1); }), 1);
    EXPECT_EQ(fake.output, "\r\n[ERROR] something\r\n" + expected::ANY_KEY);
    EXPECT_TRUE(fake.keys.empty());
}

}  // namespace
