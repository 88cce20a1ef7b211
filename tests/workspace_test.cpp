#include "workspace/workspace.h"

#include <gtest/gtest.h>

#include <cstring>

#include "driver/state.h"
#include "tests/fake_platform.h"

namespace {

const std::string BASE = "/home/user/";

class WorkspaceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake_reset();
        memcpy(state.workspace_path, BASE.c_str(), BASE.size() + 1);
    }

    void seed_with(uint64_t counter, uint64_t time_stamp) {
        fake.counter_values = {counter};
        fake.time_stamp_counter = time_stamp;
    }
};

TEST_F(WorkspaceTest, GeneratorFollowsXorshift64) {
    state.rng_state = 1;
    EXPECT_EQ(xorshift64_next(), 1082269761u);
    EXPECT_EQ(xorshift64_next(), 1152992998833853505u);
    EXPECT_EQ(state.rng_state, 1152992998833853505u);
}

TEST_F(WorkspaceTest, SeedIsCounterXorTimeStampCounter) {
    seed_with(0x0123456789abcdef, 0xfedcba9876543210);
    ASSERT_EQ(create_workspace(BASE.size()), WORKSPACE_CREATED);
    EXPECT_STREQ(state.workspace_name, "ilczy2");
    EXPECT_EQ(std::string(state.workspace_path), BASE + "ilczy2/");
    EXPECT_EQ(state.workspace_length, BASE.size() + 7);
    EXPECT_EQ(fake.output, ".DIAG. Workspace directory: " + BASE + "ilczy2/\r\n");
    EXPECT_EQ(fake.directories.count(BASE + "ilczy2"), 1u);
}

TEST_F(WorkspaceTest, ExistingNameMovesOnToSixNewCharacters) {
    seed_with(0x0123456789abcdef, 0xfedcba9876543210);
    fake.directories.insert(BASE + "ilczy2");
    ASSERT_EQ(create_workspace(BASE.size()), WORKSPACE_CREATED);
    EXPECT_STREQ(state.workspace_name, "domcr0");
    EXPECT_EQ(fake.calls[FAKE_CREATE_DIRECTORY], 2u);
    EXPECT_EQ(state.name_attempts_left, 255u);
}

TEST_F(WorkspaceTest, ZeroSeedDrawsTheSameNameEveryTime) {
    seed_with(0, 0);
    fake.directories.insert(BASE + "aaaaa0");
    EXPECT_EQ(create_workspace(BASE.size()), WORKSPACE_NO_FREE_NAME);
    EXPECT_STREQ(state.workspace_name, "aaaaa0");
    EXPECT_EQ(fake.calls[FAKE_CREATE_DIRECTORY], 256u);
    EXPECT_EQ(state.workspace_length, 0u);
    EXPECT_EQ(fake.output, "");
}

TEST_F(WorkspaceTest, NamesAreFiveLowercaseLettersAndADigit) {
    for (uint64_t seed = 1; seed <= 200; ++seed) {
        fake_reset();
        memcpy(state.workspace_path, BASE.c_str(), BASE.size() + 1);
        seed_with(seed * 0x9e3779b97f4a7c15u, 0);
        ASSERT_EQ(create_workspace(BASE.size()), WORKSPACE_CREATED);
        for (int position = 0; position < 5; ++position)
            EXPECT_TRUE(state.workspace_name[position] >= 'a' && state.workspace_name[position] <= 'z');
        EXPECT_TRUE(state.workspace_name[5] >= '0' && state.workspace_name[5] <= '9');
        EXPECT_EQ(state.workspace_name[6], '\0');
    }
}

struct AttemptCase {
    const char* label;
    uint64_t already_exists_failures;
    uint32_t final_error;  // 0: the next attempt succeeds
    WorkspaceResult result;
    uint64_t attempts;
};

class AttemptTest : public WorkspaceTest, public ::testing::WithParamInterface<AttemptCase> {};

TEST_P(AttemptTest, OnlyAlreadyExistsIsRetried) {
    const AttemptCase& test_case = GetParam();
    if (test_case.already_exists_failures > 0)
        fake_fail(FAKE_CREATE_DIRECTORY, 1, test_case.already_exists_failures, FAKE_ERROR_ALREADY_EXISTS);
    if (test_case.final_error != 0)
        fake_fail(FAKE_CREATE_DIRECTORY, test_case.already_exists_failures + 1, test_case.already_exists_failures + 1,
                  test_case.final_error);
    EXPECT_EQ(create_workspace(BASE.size()), test_case.result);
    EXPECT_EQ(fake.calls[FAKE_CREATE_DIRECTORY], test_case.attempts);
}

INSTANTIATE_TEST_SUITE_P(Attempts, AttemptTest,
                         ::testing::Values(AttemptCase{"first_name_free", 0, 0, WORKSPACE_CREATED, 1},
                                           AttemptCase{"free_after_255_collisions", 255, 0, WORKSPACE_CREATED, 256},
                                           AttemptCase{"256_collisions", 256, 0, WORKSPACE_NO_FREE_NAME, 256},
                                           AttemptCase{"access_denied_stops_at_once", 0, FAKE_ERROR_ACCESS_DENIED,
                                                       WORKSPACE_CREATION_FAILED, 1},
                                           AttemptCase{"other_error_after_collisions", 3, FAKE_ERROR_PATH_NOT_FOUND,
                                                       WORKSPACE_CREATION_FAILED, 4}),
                         [](const ::testing::TestParamInfo<AttemptCase>& info) {
                             return std::string(info.param.label);
                         });

class RemovalTest : public WorkspaceTest {
  protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        ASSERT_EQ(create_workspace(BASE.size()), WORKSPACE_CREATED);
        workspace = std::string(state.workspace_path);
        fake.output.clear();
    }
    std::string workspace;
};

TEST_F(RemovalTest, ReportedFormTrimsTheSeparator) {
    remove_workspace(true);
    EXPECT_EQ(fake.last_removal, workspace.substr(0, workspace.size() - 1));
    EXPECT_EQ(fake.directories.count(fake.last_removal), 0u);
    EXPECT_EQ(state.workspace_length, workspace.size());
    EXPECT_EQ(fake.output, "");
}

TEST_F(RemovalTest, ReportedFormPrintsFailure) {
    fake.directories.insert(workspace + "a00001");
    remove_workspace(true);
    EXPECT_EQ(fake.output, "\r\n[ERROR] Unable to remove random workspace directory.\r\n");
    EXPECT_EQ(fake.directories.count(workspace + "a00001"), 1u);
}

TEST_F(RemovalTest, ReportedFormDoesNothingWithoutWorkspace) {
    state.workspace_length = 0;
    remove_workspace(true);
    EXPECT_EQ(fake.calls[FAKE_REMOVE_DIRECTORY], 0u);
    EXPECT_EQ(fake.output, "");
}

TEST_F(RemovalTest, SilentFormKeepsTheSeparatorAndPrintsNothing) {
    remove_workspace(false);
    EXPECT_EQ(fake.last_removal, workspace);
    EXPECT_EQ(fake.directories.count(workspace.substr(0, workspace.size() - 1)), 0u);

    fake_fail(FAKE_REMOVE_DIRECTORY, 2, 2, FAKE_ERROR_ACCESS_DENIED);
    remove_workspace(false);
    EXPECT_EQ(fake.output, "");
}

}  // namespace
