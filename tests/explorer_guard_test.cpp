#include "workspace/explorer_guard.h"

#include <gtest/gtest.h>

#include <cstring>

#include "driver/state.h"
#include "tests/fake_platform.h"

namespace {

class ExplorerGuardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake_reset();
        strcpy(state.workspace_name, "qmxeb4");
        strcpy(state.workspace_path, "/home/user/qmxeb4/");
    }

    size_t add_window(const std::string& class_name, const std::string& title) {
        FakeWindow window;
        window.class_name = class_name;
        window.title = title;
        fake.windows.push_back(window);
        return fake.windows.size() - 1;
    }

    size_t count_events(const std::string& prefix) {
        size_t count = 0;
        for (const std::string& event : fake.events) count += event.rfind(prefix, 0) == 0;
        return count;
    }
};

struct WindowCase {
    const char* label;
    std::string class_name;
    std::string title;
    bool class_readable;
    bool title_readable;
    bool shows_workspace;
};

class WindowTest : public ExplorerGuardTest, public ::testing::WithParamInterface<WindowCase> {};

TEST_P(WindowTest, MatchesExplorerWindowsShowingTheName) {
    const WindowCase& test_case = GetParam();
    const size_t index = add_window(test_case.class_name, test_case.title);
    fake.windows[index].class_readable = test_case.class_readable;
    fake.windows[index].title_readable = test_case.title_readable;
    EXPECT_EQ(window_shows_workspace(fake_window_handle(index)), test_case.shows_workspace);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, WindowTest,
    ::testing::Values(WindowCase{"bare_name", "CabinetWClass", "qmxeb4", true, true, true},
                      WindowCase{"full_path", "CabinetWClass", "C:\\Users\\me\\qmxeb4\\", true, true, true},
                      WindowCase{"name_at_the_end", "CabinetWClass", "Folder qmxeb4", true, true, true},
                      WindowCase{"first_character_many_times", "CabinetWClass", "qqqmqmxqmxeqmxebqmxeb4", true, true,
                                 true},
                      WindowCase{"other_name", "CabinetWClass", "qmxeb5", true, true, false},
                      WindowCase{"name_cut_short", "CabinetWClass", "xx qmxeb", true, true, false},
                      WindowCase{"upper_case_title", "CabinetWClass", "QMXEB4", true, true, false},
                      WindowCase{"empty_title", "CabinetWClass", "", true, true, false},
                      WindowCase{"lower_case_class", "cabinetwclass", "qmxeb4", true, true, false},
                      WindowCase{"class_with_suffix", "CabinetWClassX", "qmxeb4", true, true, false},
                      WindowCase{"class_prefix", "CabinetW", "qmxeb4", true, true, false},
                      WindowCase{"wine_explorer", "ExplorerWClass", "/home/user/qmxeb4/", true, true, false},
                      WindowCase{"console_showing_path", "ConsoleWindowClass", "C:\\x\\qmxeb4", true, true, false},
                      WindowCase{"class_unreadable", "CabinetWClass", "qmxeb4", false, true, false},
                      WindowCase{"title_unreadable", "CabinetWClass", "qmxeb4", true, false, false}),
    [](const ::testing::TestParamInfo<WindowCase>& info) { return std::string(info.param.label); });

TEST_F(ExplorerGuardTest, ProbeFindsMinimizesAndClosesTheWindow) {
    add_window("ConsoleWindowClass", "qmxeb4");
    const size_t explorer = add_window("CabinetWClass", "qmxeb4");
    fake.windows[explorer].visible_from_enum = 3;
    probe_workspace_window();

    const std::vector<std::string> expected_events = {"open /home/user/qmxeb4/", "sleep 50", "sleep 50", "minimize 1",
                                                      "close 1"};
    EXPECT_EQ(fake.events, expected_events);
    EXPECT_EQ(state.explorer_window, fake_window_handle(explorer));
    EXPECT_TRUE(fake.windows[explorer].closed);
    EXPECT_EQ(fake.calls[FAKE_ENUM_WINDOWS], 3u);
    EXPECT_EQ(fake.output, "");
}

TEST_F(ExplorerGuardTest, ProbeGivesUpAfterOneHundredPolls) {
    add_window("ExplorerWClass", "qmxeb4");
    probe_workspace_window();
    EXPECT_EQ(fake.calls[FAKE_ENUM_WINDOWS], 100u);
    EXPECT_EQ(count_events("sleep 50"), 100u);
    EXPECT_EQ(count_events("minimize"), 0u);
    EXPECT_EQ(count_events("close"), 0u);
    EXPECT_EQ(state.explorer_window, nullptr);
}

TEST_F(ExplorerGuardTest, MinimizeWithoutWindowIsHarmless) {
    minimize_workspace_window();
    EXPECT_EQ(fake.events, std::vector<std::string>{"minimize null"});

    const size_t explorer = add_window("CabinetWClass", "qmxeb4");
    fake.windows[explorer].closed = true;
    state.explorer_window = fake_window_handle(explorer);
    minimize_workspace_window();
    EXPECT_FALSE(fake.windows[explorer].minimized);
    EXPECT_EQ(fake.output, "");
}

TEST_F(ExplorerGuardTest, GuardInvalidatesOnlyWhileAWindowShowsTheWorkspace) {
    add_window("ExplorerWClass", "qmxeb4");
    const size_t explorer = add_window("CabinetWClass", "C:\\qmxeb4");
    fake.windows[explorer].visible_from_enum = 2;

    check_workspace_opened();
    EXPECT_EQ(state.invalidated, 0u);
    check_workspace_opened();
    EXPECT_EQ(state.invalidated, 1u);

    fake.windows[explorer].closed = true;
    check_workspace_opened();
    EXPECT_EQ(state.invalidated, 1u) << "an invalidation is never taken back";
}

TEST_F(ExplorerGuardTest, ProbeWindowThatStaysOpenInvalidatesLater) {
    const size_t explorer = add_window("CabinetWClass", "qmxeb4");
    fake.windows[explorer].closes_on_request = false;
    probe_workspace_window();
    check_workspace_opened();
    EXPECT_EQ(state.invalidated, 1u);
}

}  // namespace
