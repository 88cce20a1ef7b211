#include "workspace/leftovers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "driver/benchmark.h"
#include "driver/state.h"
#include "tests/expected_text.h"
#include "tests/fake_platform.h"

namespace {

const std::string START = "/home/user/";

class LeftoversTest : public ::testing::Test {
  protected:
    void SetUp() override { fake_reset(); }

    void add(const std::vector<std::string>& directories, const std::vector<std::string>& files = {}) {
        for (const std::string& directory : directories) fake.directories.insert(START + directory);
        for (const std::string& file : files) fake.files.insert(START + file);
    }

    // Start-up runs in full; the first thread then fails so that the run stops early.
    void run_start_up() {
        fake_fail(FAKE_CREATE_THREAD, 1, 1, FAKE_ERROR_NOT_ENOUGH_MEMORY);
        fake_run(run_benchmark);
    }

    std::string workspace() const { return START + state.workspace_name + "/"; }

    static std::string removed_line(const std::string& name) {
        return ".DIAG. Removed " + name + ", left behind by an earlier run.\r\n";
    }
};

// A directory of the start directory, `candidate`, with what it holds: removed
// only when it is named like a workspace and holds cycle directories and nothing else.
struct LeftoverCase {
    const char* label;
    std::string candidate;
    std::vector<std::string> directories;  // below the candidate
    std::vector<std::string> files;        // below the candidate
    bool removed;
};

class LeftoverCaseTest : public LeftoversTest, public ::testing::WithParamInterface<LeftoverCase> {};

TEST_P(LeftoverCaseTest, RemovesOnlyAnEarlierRunsWorkspace) {
    const LeftoverCase& test_case = GetParam();
    std::vector<std::string> directories = {test_case.candidate}, files;
    for (const std::string& directory : test_case.directories)
        directories.push_back(test_case.candidate + "/" + directory);
    for (const std::string& file : test_case.files) files.push_back(test_case.candidate + "/" + file);
    add(directories, files);
    const FakePaths before_directories = fake.directories, before_files = fake.files;
    run_start_up();
    const std::string announced = expected::announcement(workspace()) + expected::start_banner();
    if (test_case.removed) {
        EXPECT_EQ(fake.output.rfind(removed_line(test_case.candidate) + announced, 0), 0u) << fake.output;
        EXPECT_TRUE(fake_directories_starting_with(START + test_case.candidate).empty());
    } else {
        EXPECT_EQ(fake.output.rfind(announced, 0), 0u) << fake.output;
        for (const std::string& directory : before_directories)
            EXPECT_EQ(fake.directories.count(directory), 1u) << directory;
    }
    EXPECT_EQ(fake.file_removal_attempts, 0u) << "no file is ever asked to go";
    EXPECT_EQ(fake.claims, (FakePaths{workspace().substr(0, workspace().size() - 1)}))
        << "only the run's own workspace stays claimed";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LeftoverCaseTest,
    ::testing::Values(
        LeftoverCase{"CycleDirectoriesOfSeveralCycles", "qwert5", {"a00001", "a92160", "g00001"}, {}, true},
        LeftoverCase{"OneCycleDirectory", "qwert5", {"b00042"}, {}, true},
        LeftoverCase{"Empty", "qwert5", {}, {}, false},
        LeftoverCase{"AFileBeside", "qwert5", {"a00001"}, {"notes"}, false},
        LeftoverCase{"AFileInsideACycleDirectory", "qwert5", {"a00001"}, {"a00001/x"}, false},
        LeftoverCase{"ADirectoryInsideACycleDirectory", "qwert5", {"a00001", "a00001/b00001"}, {}, false},
        LeftoverCase{"AnotherDirectoryBeside", "qwert5", {"a00001", "photos"}, {}, false},
        LeftoverCase{"LetterPastTheSeventhCycle", "qwert5", {"h00001"}, {}, false},
        LeftoverCase{"FourDigits", "qwert5", {"a0001"}, {}, false},
        LeftoverCase{"SixDigits", "qwert5", {"a000001"}, {}, false},
        LeftoverCase{"CapitalCycleLetter", "qwert5", {"A00001"}, {}, false},
        LeftoverCase{"CapitalInTheName", "Qwert5", {"a00001"}, {}, false},
        LeftoverCase{"FourLettersAndADigit", "qwer5", {"a00001"}, {}, false},
        LeftoverCase{"TwoDigits", "qwert55", {"a00001"}, {}, false},
        LeftoverCase{"NoDigit", "qwerty", {"a00001"}, {}, false}),
    [](const ::testing::TestParamInfo<LeftoverCase>& info) { return std::string(info.param.label); });

TEST_F(LeftoversTest, AFileNamedLikeAWorkspaceIsNoLeftover) {
    add({}, {"qwert5"});
    run_start_up();
    EXPECT_EQ(fake.files.count(START + "qwert5"), 1u);
    EXPECT_EQ(fake.output.find("Removed"), std::string::npos);
}

// How a run that may still be going shows, wherever it runs.
struct LiveRunCase {
    const char* label;
    FakePaths FakePlatform::*shown_in;  // null: by its stamp that cannot be read
};

class LiveRunTest : public LeftoversTest, public ::testing::WithParamInterface<LiveRunCase> {};

TEST_P(LiveRunTest, ItsWorkspaceIsNeitherOpenedNorTouched) {
    add({"qwert5", "qwert5/a00001", "qwert5/a00002"});
    if (GetParam().shown_in != nullptr)
        (fake.*GetParam().shown_in).insert(START + "qwert5");
    else
        fake_fail(FAKE_MODIFICATION_STAMP, 1, 2, FAKE_ERROR_ACCESS_DENIED);
    run_start_up();
    EXPECT_EQ(fake_directories_starting_with(START + "qwert5").size(), 3u);
    for (const std::string& listed : fake.listed) EXPECT_NE(listed.rfind(START + "qwert5", 0), 0u) << listed;
    EXPECT_EQ(fake.output.find("Removed"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Cases, LiveRunTest,
                         ::testing::Values(LiveRunCase{"ClaimedHere", &FakePlatform::claimed_elsewhere},
                                           LiveRunCase{"MarkedInUseBeyondTheClaim", &FakePlatform::in_use_elsewhere},
                                           LiveRunCase{"StillChanging", &FakePlatform::changing},
                                           LiveRunCase{"StampUnreadable", nullptr}),
                         [](const ::testing::TestParamInfo<LiveRunCase>& info) {
                             return std::string(info.param.label);
                         });

TEST_F(LeftoversTest, ALeftoverIsOpenedOnlyAfterItStayedUnchangedForThreeSeconds) {
    add({"qwert5", "qwert5/a00001"});
    memcpy(state.workspace_path, START.c_str(), START.size() + 1);
    remove_leftovers(START.size());
    EXPECT_EQ(fake.output, removed_line("qwert5"));
    EXPECT_EQ(fake.events, std::vector<std::string>(60, "sleep 50"));
    EXPECT_EQ(fake.calls[FAKE_MODIFICATION_STAMP], 2u) << "before and after the wait";
}

TEST_F(LeftoversTest, ALookAlikeHoldingNoDirectoryIsPassedOverWithoutAWait) {
    add({"qwert5", "zxcvb0"}, {"qwert5/notes"});
    memcpy(state.workspace_path, START.c_str(), START.size() + 1);
    remove_leftovers(START.size());
    EXPECT_TRUE(fake.events.empty()) << "no wait";
    EXPECT_EQ(fake.calls[FAKE_MODIFICATION_STAMP], 0u);
    EXPECT_EQ(fake.listed, (std::vector<std::string>{"/home/user"})) << "neither opened";
    EXPECT_EQ(fake.directories.count(START + "zxcvb0"), 1u);
}

TEST_F(LeftoversTest, AStopWhileWaitingForALeftoverToStayStillEndsTheRunAtOnce) {
    add({"qwert5", "qwert5/a00001"});
    const FakePaths before = fake.directories;
    fake_stop_before(FAKE_SLEEP, 5);
    EXPECT_EQ(fake_run(run_benchmark), FAKE_ENDED_BY_STOP);
    EXPECT_EQ(fake.output, expected::STOPPING_WITH_NOTHING_MADE + expected::STOPPED_BEFORE_THE_WORKSPACE);
    EXPECT_EQ(fake.calls[FAKE_SLEEP], 5u);
    EXPECT_EQ(fake.listed, (std::vector<std::string>{"/home/user"})) << "qwert5 never opened";
    EXPECT_EQ(fake.directories, before);
}

TEST_F(LeftoversTest, EachLeftoverGetsItsLineBeforeTheWorkspaceLine) {
    add({"asdfg1", "asdfg1/c00007", "qwert5", "qwert5/a00001", "zxcvb0"});
    run_start_up();
    EXPECT_EQ(
        fake.output.rfind(removed_line("asdfg1") + removed_line("qwert5") + expected::announcement(workspace()), 0), 0u)
        << fake.output;
    EXPECT_EQ(fake.directories.count(START + "zxcvb0"), 1u) << "an empty look-alike stays";
}

TEST_F(LeftoversTest, AStopDuringTheScanEndsTheRunBeforeItMakesItsWorkspace) {
    add({"asdfg1", "asdfg1/c00007", "qwert5", "qwert5/a00001"});
    const FakePaths before = fake.directories;
    // The start directory is listed first; the stop comes as asdfg1 is looked into.
    fake_stop_before(FAKE_LIST_DIRECTORY, 2);
    EXPECT_EQ(fake_run(run_benchmark), FAKE_ENDED_BY_STOP);
    EXPECT_EQ(fake.output, expected::STOPPING_WITH_NOTHING_MADE + expected::STOPPED_BEFORE_THE_WORKSPACE);
    EXPECT_EQ(fake.listed, (std::vector<std::string>{"/home/user", START + "asdfg1"})) << "qwert5 not looked into";
    EXPECT_EQ(fake.calls[FAKE_CREATE_DIRECTORY], 0u) << "no workspace made";
    EXPECT_EQ(fake.directories, before) << "the leftovers stay for the next run";
}

TEST_F(LeftoversTest, TheRunsOwnClaimWaitsForAnotherRunThatIsLookingAtIt) {
    // No leftovers: every claim is the workspace's; another run holds it for three tries.
    fake_fail(FAKE_CLAIM_DIRECTORY, 1, 3, 0);
    run_start_up();
    EXPECT_EQ(fake.calls[FAKE_CLAIM_DIRECTORY], 4u);
    EXPECT_EQ(std::count(fake.events.begin(), fake.events.end(), "sleep 1"), 3);
    EXPECT_EQ(fake.claims.count(workspace().substr(0, workspace().size() - 1)), 1u);
}

TEST_F(LeftoversTest, ARunThatCannotClaimItsWorkspaceTriesForASecondThenGoesOnMarked) {
    fake_fail(FAKE_CLAIM_DIRECTORY, 1, UINT64_MAX, 0);
    run_start_up();
    // The fake's counter moves by one a read, at 1,000 a second.
    EXPECT_GE(fake.calls[FAKE_CLAIM_DIRECTORY], 1000u);
    EXPECT_LE(fake.calls[FAKE_CLAIM_DIRECTORY], 1002u);
    EXPECT_EQ(fake.output.rfind(expected::announcement(workspace()) + expected::start_banner(), 0), 0u) << fake.output;
    EXPECT_TRUE(fake.claims.empty());
    EXPECT_EQ(fake.marked_in_use, (FakePaths{workspace().substr(0, workspace().size() - 1)}));
}

TEST_F(LeftoversTest, AStopDuringTheClaimTriesEndsThem) {
    fake_fail(FAKE_CLAIM_DIRECTORY, 1, UINT64_MAX, 0);
    fake_stop_before(FAKE_CLAIM_DIRECTORY, 3);
    EXPECT_EQ(fake_run(run_benchmark), FAKE_ENDED_BY_STOP);
    EXPECT_EQ(fake.calls[FAKE_CLAIM_DIRECTORY], 3u);
    EXPECT_EQ(fake.output,
              expected::announcement(workspace()) + expected::STOPPING_WITH_NOTHING_MADE + expected::STOPPED);
    EXPECT_TRUE(fake_directories_starting_with(START).empty()) << "the workspace removed";
}

}  // namespace
