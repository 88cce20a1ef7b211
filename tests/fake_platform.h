#pragma once

// A scriptable stand-in for the operating system: an in-memory directory tree,
// recorded output and calls, scripted failures, windows, keys and counters.
// Threads run to completion inside os_create_thread, so every run is repeatable.

#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

enum FakeOperation {
    FAKE_GET_CURRENT_DIRECTORY,
    FAKE_CREATE_DIRECTORY,
    FAKE_REMOVE_DIRECTORY,
    FAKE_CREATE_THREAD,
    FAKE_CREATE_EVENT,
    FAKE_WAIT,
    FAKE_CLOSE_HANDLE,
    FAKE_QUERY_FREQUENCY,
    FAKE_QUERY_COUNTER,
    FAKE_ENUM_WINDOWS,
    FAKE_READ_KEY,
    FAKE_PRINT,
    FAKE_LIST_DIRECTORY,
    FAKE_CLAIM_DIRECTORY,
    FAKE_MARK_IN_USE,
    FAKE_MODIFICATION_STAMP,
    FAKE_SLEEP,
    FAKE_OPERATION_COUNT
};

// Windows' own numbers, so that fake failures read like real ones.
constexpr uint32_t FAKE_ERROR_FILE_NOT_FOUND = 2;
constexpr uint32_t FAKE_ERROR_PATH_NOT_FOUND = 3;
constexpr uint32_t FAKE_ERROR_ACCESS_DENIED = 5;
constexpr uint32_t FAKE_ERROR_SHARING_VIOLATION = 32;
constexpr uint32_t FAKE_ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr uint32_t FAKE_ERROR_DISK_FULL = 112;
constexpr uint32_t FAKE_ERROR_DIR_NOT_EMPTY = 145;
constexpr uint32_t FAKE_ERROR_ALREADY_EXISTS = 183;
constexpr uint32_t FAKE_ERROR_FILENAME_EXCED_RANGE = 206;
constexpr uint32_t FAKE_WAIT_FAILED = 0xFFFFFFFF;

struct FakeWindow {
    std::string class_name;
    std::string title;
    bool class_readable = true;
    bool title_readable = true;
    uint64_t visible_from_enum = 1;  // the window appears at this enumeration (1-based)
    bool closes_on_request = true;
    bool closed = false;
    bool minimized = false;
};

struct FakeFailure {
    FakeOperation operation;
    uint64_t first_call;  // 1-based, inclusive
    uint64_t last_call;
    uint32_t error;  // the last error; for waits, the returned code
};

// A stop request delivered just before the given call of an operation.
struct FakeStop {
    FakeOperation operation;
    uint64_t call;  // 1-based
    StopCause cause = STOP_BY_USER;
};

// The exit code that fake_run reports for a process ended by a stop request.
constexpr int FAKE_ENDED_BY_STOP = -2;

// Sorted paths, looked up without copying: a full run makes and removes over a
// million directories.
using FakePaths = std::set<std::string, std::less<>>;

struct FakePlatform {
    std::string current_directory = "/home/user";
    FakePaths directories;               // full paths without a final separator
    FakePaths files;                     // full paths; a directory holding one is not empty
    FakePaths claimed_elsewhere;         // directories that another live process holds
    FakePaths claims;                    // directories this process holds
    FakePaths marked_in_use;             // by this process: as on Windows, they cannot be removed
    FakePaths in_use_elsewhere;          // directories that another process, beyond any claim, has marked
    FakePaths changing;                  // directories that change between any two looks at their stamp
    uint64_t file_removal_attempts = 0;  // removals asked of a path that is a file
    std::vector<std::string> listed;     // every directory listed, in order
    std::string output;
    std::vector<uint64_t> removals_at_print;  // for each print, the remove calls made before it
    uint64_t output_gone_at_print = 0;        // the reader goes away at this print (1-based); 0: never
    std::deque<int> keys;
    std::vector<FakeFailure> failures;
    std::vector<FakeStop> stops;
    StopHandler stop_handler = nullptr;
    bool has_window_system = true;
    std::string watched_directory;
    uint64_t directory_read_at_check = 0;  // the watch reports a reader at this guard check (1-based); 0: never
    uint64_t watch_checks = 0;
    uint64_t calls[FAKE_OPERATION_COUNT] = {};
    std::vector<std::string> events;  // window, shell and sleep calls in order
    std::string last_removal;         // the path of the latest remove call
    std::vector<FakeWindow> windows;
    WindowHandle foreground_window = nullptr;
    uint64_t frequency = 1000;
    std::deque<uint64_t> counter_values;  // then the counter steps by one per read
    uint64_t counter_now = 0;
    uint64_t time_stamp_counter = 0;
    uint32_t last_error = 0;
    bool event_signalled = false;
    uint64_t threads_created = 0;
    std::vector<ThreadHandle> closed_handles;
    int exit_code = -1;
};

extern FakePlatform fake;

// Zeroes the benchmark state and the fake; the fake then holds current_directory.
void fake_reset();
void fake_fail(FakeOperation operation, uint64_t first_call, uint64_t last_call, uint32_t error);
void fake_stop_before(FakeOperation operation, uint64_t call, StopCause cause = STOP_BY_USER);
void fake_add_directory_tree(const std::string& path);
// The directories (or other paths) whose full path begins with prefix.
FakePaths fake_directories_starting_with(std::string_view prefix, const FakePaths& paths = fake.directories);
// Runs body until the process would exit; returns the exit code, -1 if it returned.
int fake_run(void (*body)());
WindowHandle fake_window_handle(size_t index);
