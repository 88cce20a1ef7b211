// The POSIX platform's directory listing, claims, in-use marks and stamps on a
// real file system and between real processes.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "platform/platform.h"

namespace {

class PosixPlatformTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/dev/shm/orvenna-platform-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        scratch = pattern;
    }

    void TearDown() override { ASSERT_EQ(system(("rm -rf '" + scratch + "'").c_str()), 0); }

    std::string scratch;
};

void remember_entry(const char* name, bool is_directory, intptr_t entries) {
    (*reinterpret_cast<std::map<std::string, bool>*>(entries))[name] = is_directory;
}

TEST_F(PosixPlatformTest, ListsEveryEntryWithItsKind) {
    std::map<std::string, bool> expected;
    // More entries than one read of the listing holds.
    for (int index = 0; index < 300; ++index) {
        char name[16];
        snprintf(name, sizeof name, "a%05d", index);
        ASSERT_EQ(mkdir((scratch + "/" + name).c_str(), 0700), 0);
        expected[name] = true;
    }
    ASSERT_EQ(system(("echo x > '" + scratch + "/file' && ln -s a00001 '" + scratch + "/link'").c_str()), 0);
    expected["file"] = false;
    expected["link"] = false;  // a link to a directory is not one
    std::map<std::string, bool> listed;
    EXPECT_TRUE(os_list_directory(scratch.c_str(), remember_entry, reinterpret_cast<intptr_t>(&listed)));
    EXPECT_EQ(listed, expected);
}

TEST_F(PosixPlatformTest, ListingWhatIsNoDirectoryFails) {
    std::map<std::string, bool> listed;
    EXPECT_FALSE(
        os_list_directory((scratch + "/missing").c_str(), remember_entry, reinterpret_cast<intptr_t>(&listed)));
    ASSERT_EQ(system(("echo x > '" + scratch + "/file'").c_str()), 0);
    EXPECT_FALSE(os_list_directory((scratch + "/file").c_str(), remember_entry, reinterpret_cast<intptr_t>(&listed)));
    EXPECT_TRUE(listed.empty());
}

TEST_F(PosixPlatformTest, AClaimIsHeldUntilReleased) {
    const std::string first = scratch + "/first", second = scratch + "/second";
    ASSERT_EQ(mkdir(first.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(second.c_str(), 0700), 0);
    ClaimHandle claim = os_claim_directory(first.c_str());
    ASSERT_NE(claim, nullptr);
    EXPECT_EQ(os_claim_directory(first.c_str()), nullptr) << "held already";
    EXPECT_EQ(os_claim_directory((first + "/").c_str()), nullptr) << "the same directory by another path";
    ClaimHandle other = os_claim_directory(second.c_str());
    EXPECT_NE(other, nullptr) << "each directory has a claim of its own";
    os_release_claim(claim);
    os_release_claim(other);
    claim = os_claim_directory(first.c_str());
    EXPECT_NE(claim, nullptr) << "free again once released";
    os_release_claim(claim);
    EXPECT_EQ(os_claim_directory((scratch + "/missing").c_str()), nullptr);
}

TEST_F(PosixPlatformTest, AMarkIsForOneNameAndGoneOnceReleased) {
    const std::string marked = scratch + "/marked", beside = scratch + "/beside";
    ASSERT_EQ(mkdir(marked.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(beside.c_str(), 0700), 0);
    ASSERT_TRUE(os_mark_in_use(marked.c_str()));
    EXPECT_TRUE(os_in_use_elsewhere(marked.c_str())) << "another opening of the parent sees it, even here";
    EXPECT_FALSE(os_in_use_elsewhere(beside.c_str())) << "a mark is for one name";
    os_release_in_use();
    EXPECT_FALSE(os_in_use_elsewhere(marked.c_str())) << "free once released";
}

// How a going run holds its workspace, and how another process sees that.
struct HoldCase {
    const char* label;
    bool (*hold)(const char* path);
    bool (*seen_held)(const char* path);
};

bool claim(const char* path) {
    return os_claim_directory(path) != nullptr;
}

bool cannot_claim(const char* path) {
    ClaimHandle claim = os_claim_directory(path);
    os_release_claim(claim);
    return claim == nullptr;
}

class HoldTest : public PosixPlatformTest, public ::testing::WithParamInterface<HoldCase> {};

TEST_P(HoldTest, AnotherProcessHoldsUntilItEndsHoweverItEnds) {
    const std::string directory = scratch + "/held";
    ASSERT_EQ(mkdir(directory.c_str(), 0700), 0);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    ASSERT_NE(holder, -1);
    if (holder == 0) {
        const char held = GetParam().hold(directory.c_str()) ? 'y' : 'n';
        if (write(ready[1], &held, 1) != 1) _exit(1);
        for (;;) pause();
    }
    char held = 0;
    ASSERT_EQ(read(ready[0], &held, 1), 1);
    EXPECT_EQ(held, 'y');
    EXPECT_TRUE(GetParam().seen_held(directory.c_str())) << "held by a live process";
    kill(holder, SIGSTOP);
    int status = 0;
    ASSERT_EQ(waitpid(holder, &status, WUNTRACED), holder);
    EXPECT_TRUE(GetParam().seen_held(directory.c_str())) << "held by a suspended process";
    kill(holder, SIGKILL);
    ASSERT_EQ(waitpid(holder, &status, 0), holder);
    EXPECT_FALSE(GetParam().seen_held(directory.c_str())) << "free once the holder was killed";
    close(ready[0]);
    close(ready[1]);
}

INSTANTIATE_TEST_SUITE_P(Ways, HoldTest,
                         ::testing::Values(HoldCase{"Claim", claim, cannot_claim},
                                           HoldCase{"Mark", os_mark_in_use, os_in_use_elsewhere}),
                         [](const ::testing::TestParamInfo<HoldCase>& info) { return std::string(info.param.label); });

TEST_F(PosixPlatformTest, ADirectoryHoldingNoDirectoryIsToldByItsLinkCount) {
    const std::string directory = scratch + "/look-alike";
    ASSERT_EQ(mkdir(directory.c_str(), 0700), 0);
    EXPECT_TRUE(os_holds_no_directory(directory.c_str())) << "empty";
    ASSERT_EQ(system(("echo mine > '" + directory + "/notes'").c_str()), 0);
    EXPECT_TRUE(os_holds_no_directory(directory.c_str())) << "a file only";
    ASSERT_EQ(mkdir((directory + "/a00001").c_str(), 0700), 0);
    EXPECT_FALSE(os_holds_no_directory(directory.c_str())) << "a directory inside";
    EXPECT_FALSE(os_holds_no_directory((scratch + "/missing").c_str()));
}

TEST_F(PosixPlatformTest, AStampMovesWithEveryChangeAndNeverOpensTheDirectory) {
    const std::string directory = scratch + "/candidate";
    ASSERT_EQ(mkdir(directory.c_str(), 0700), 0);
    const int watch = inotify_init1(IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, directory.c_str(), IN_OPEN | IN_ACCESS), 0);
    uint64_t first = 0, again = 0, changed = 0;
    ASSERT_TRUE(os_modification_stamp(directory.c_str(), &first));
    ASSERT_TRUE(os_modification_stamp(directory.c_str(), &again));
    EXPECT_EQ(again, first);
    ASSERT_EQ(mkdir((directory + "/a00001").c_str(), 0700), 0);
    ASSERT_TRUE(os_modification_stamp(directory.c_str(), &changed));
    EXPECT_NE(changed, first) << "a directory made inside changes it (to the nanosecond here)";
    char event[sizeof(inotify_event) + 256];
    EXPECT_LT(read(watch, event, sizeof event), 0) << "the directory was opened or read";
    close(watch);
    EXPECT_FALSE(os_modification_stamp((scratch + "/missing").c_str(), &first));
}

}  // namespace
