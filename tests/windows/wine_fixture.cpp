// Preloaded into every Wine process of a test session (LD_PRELOAD), Linux side.
//
// Why it exists: before Wine creates a name that is a legal 8.3 name, it reads
// the whole parent directory looking for a case-insensitive or short-name
// match, so 92,160 creations in one directory take hours. Streams of the
// current run's workspace (the latest directory named like a workspace, five
// letters and a digit, made under ORVENNA_FIXTURE_ROOT since the counts were
// reset) read as empty here, which takes that cost away. orvenna.exe never
// lists its own workspace, so it sees no difference; other directories under
// the root, an earlier run's leftover workspace among them, list as they are.
//
// It also records what really happened on the disk: wineserver, not the
// program, makes and removes the directories, and it lives on after the
// program (the folder window opened at start-up keeps it alive), so every
// successful mkdir/rmdir under the root is counted at once in a shared mapping
// of ORVENNA_FIXTURE_COUNTS (FixtureCounts below, native 64-bit words). Each
// cycle's span, from its first directory made to its last removed, is taken
// there too, by one clock for every program: the overhead bench compares
// orvenna.exe with a minimal program by it.
//
// It injects a real fault below Wine: with ORVENNA_FIXTURE_FAIL_THREAD=N,
// the Nth pthread_create made by the main thread of orvenna.exe fails with
// EAGAIN, which Wine's CreateThread rests on.
//
// And it holds orvenna.exe at a known point until the test lets it go
// (ORVENNA_FIXTURE_RELEASE=FILE exists), so that what the test does meanwhile
// has surely happened before the program goes on:
//   ORVENNA_FIXTURE_HOLD=open      its first process start once its workspace
//                                  exists: opening the folder at start-up
//   ORVENNA_FIXTURE_HOLD=thread:N  its main thread's Nth pthread_create
// The counts show the hold, and how many threads started during it have ended.

#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int CYCLE_LETTERS = 7;

struct FixtureCounts {
    uint64_t created[CYCLE_LETTERS];  // a00001 … g92160, per letter
    uint64_t removed[CYCLE_LETTERS];
    uint64_t other_created;  // anything else under the root: the workspace itself
    uint64_t other_removed;
    uint64_t main_thread_creations;            // pthread_create calls of orvenna.exe's main thread
    uint64_t held;                             // 1 while orvenna.exe is held
    uint64_t ended_while_held;                 // threads started during the hold that have ended
    uint64_t first_created_ns[CYCLE_LETTERS];  // CLOCK_MONOTONIC at a letter's first mkdir
    uint64_t last_removed_ns[CYCLE_LETTERS];   // and at its latest rmdir
    char current_workspace[256];               // below the root: the latest workspace made, or empty
};

FixtureCounts* counts = nullptr;
const char* root = nullptr;
uint64_t failing_thread = 0;
bool in_program = false;
std::atomic<uint64_t> main_thread_creations{0};
const char* release_file = nullptr;
bool hold_at_open = false;
uint64_t held_thread = 0;
std::atomic<bool> holding{false};
pthread_key_t ended_key;

// The streams that read as empty. A handful are open at a time.
constexpr int EMPTY_SLOTS = 256;
std::atomic<DIR*> empty_streams[EMPTY_SLOTS];

template <typename Function>
Function real(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

bool under_root(const char* path) {
    // Wine may reach the root through its drive links (…/dosdevices/z:/…).
    return root != nullptr && path != nullptr && strstr(path, root) != nullptr;
}

// The part of path below the root, without final separators, into below.
void below_root(const char* path, char* below, size_t capacity) {
    const char* rest = strstr(path, root) + strlen(root);
    size_t length = strlen(rest);
    while (length > 0 && rest[length - 1] == '/') --length;
    if (length >= capacity) length = capacity - 1;
    memcpy(below, rest, length);
    below[length] = '\0';
}

bool is_workspace(const char* path) {
    size_t length = strlen(path);
    while (length > 0 && path[length - 1] == '/') --length;
    if (length < 7 || path[length - 7] != '/') return false;
    const char* name = path + length - 6;
    for (int position = 0; position < 5; ++position)
        if (name[position] < 'a' || name[position] > 'z') return false;
    return name[5] >= '0' && name[5] <= '9';
}

bool program_is_orvenna() {
    char command_line[4096];
    const int file = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
    if (file < 0) return false;
    const ssize_t length = read(file, command_line, sizeof command_line - 1);
    close(file);
    if (length <= 0) return false;
    for (ssize_t position = 0; position < length; ++position)
        if (command_line[position] == '\0') command_line[position] = ' ';
    command_line[length] = '\0';
    return strstr(command_line, "orvenna.exe") != nullptr;
}

void count_ended_thread(void*);

__attribute__((constructor)) void load_fixture() {
    root = getenv("ORVENNA_FIXTURE_ROOT");
    if (root != nullptr && *root == '\0') root = nullptr;
    const char* counts_path = getenv("ORVENNA_FIXTURE_COUNTS");
    if (counts_path != nullptr) {
        const int file = open(counts_path, O_RDWR | O_CLOEXEC);
        if (file >= 0) {
            void* mapping = mmap(nullptr, sizeof(FixtureCounts), PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
            if (mapping != MAP_FAILED) counts = static_cast<FixtureCounts*>(mapping);
            close(file);
        }
    }
    const char* failing = getenv("ORVENNA_FIXTURE_FAIL_THREAD");
    if (failing != nullptr) failing_thread = strtoull(failing, nullptr, 10);
    in_program = program_is_orvenna();
    release_file = getenv("ORVENNA_FIXTURE_RELEASE");
    const char* hold = getenv("ORVENNA_FIXTURE_HOLD");
    if (in_program && release_file != nullptr && hold != nullptr) {
        hold_at_open = strcmp(hold, "open") == 0;
        if (strncmp(hold, "thread:", 7) == 0) held_thread = strtoull(hold + 7, nullptr, 10);
        pthread_key_create(&ended_key, count_ended_thread);
    }
}

void add(uint64_t* counter) {
    if (counts != nullptr) __atomic_fetch_add(counter, 1, __ATOMIC_RELAXED);
}

uint64_t now_ns() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

// The first mkdir of a letter sets its start; every rmdir moves its end.
void stamp_cycle(int letter, bool created) {
    if (created) {
        uint64_t unset = 0;
        __atomic_compare_exchange_n(&counts->first_created_ns[letter], &unset, now_ns(), false, __ATOMIC_RELAXED,
                                    __ATOMIC_RELAXED);
    } else {
        __atomic_store_n(&counts->last_removed_ns[letter], now_ns(), __ATOMIC_RELAXED);
    }
}

// The letter's slot for a cycle directory (…/x/a00001), -1 for anything else.
int cycle_letter_of(const char* path) {
    const char* name = strrchr(path, '/');
    name = name == nullptr ? path : name + 1;
    if (strlen(name) != 6 || name[0] < 'a' || name[0] >= 'a' + CYCLE_LETTERS) return -1;
    for (int digit = 1; digit < 6; ++digit)
        if (name[digit] < '0' || name[digit] > '9') return -1;
    return name[0] - 'a';
}

void count_change(const char* path, bool created) {
    if (counts == nullptr || !under_root(path)) return;
    const int letter = cycle_letter_of(path);
    if (letter < 0) {
        add(created ? &counts->other_created : &counts->other_removed);
    } else {
        add(created ? &counts->created[letter] : &counts->removed[letter]);
        stamp_cycle(letter, created);
    }
    if (created && is_workspace(path)) below_root(path, counts->current_workspace, sizeof counts->current_workspace);
}

void hold_until_released() {
    holding = true;
    if (counts != nullptr) counts->held = 1;
    while (access(release_file, F_OK) != 0) usleep(1000);
    if (counts != nullptr) counts->held = 0;
    holding = false;
}

void count_ended_thread(void*) {
    if (counts != nullptr) add(&counts->ended_while_held);
}

// A thread started during a hold: its end is counted (a key's destructor runs
// however a thread ends).
struct HeldStart {
    void* (*routine)(void*);
    void* argument;
};

void* start_counted_thread(void* raw) {
    const HeldStart start = *static_cast<HeldStart*>(raw);
    free(raw);
    pthread_setspecific(ended_key, &ended_key);
    return start.routine(start.argument);
}

bool is_current_workspace(const char* path) {
    if (counts == nullptr || counts->current_workspace[0] == '\0') return false;
    char below[sizeof counts->current_workspace];
    below_root(path, below, sizeof below);
    return strcmp(below, counts->current_workspace) == 0;
}

bool reads_as_empty(DIR* stream) {
    for (std::atomic<DIR*>& slot : empty_streams)
        if (slot.load() == stream) return true;
    return false;
}

}  // namespace

extern "C" {

DIR* opendir(const char* name) {
    DIR* stream = real<DIR* (*)(const char*)>("opendir")(name);
    if (stream == nullptr || !under_root(name) || !is_current_workspace(name)) return stream;
    for (std::atomic<DIR*>& slot : empty_streams) {
        DIR* free_slot = nullptr;
        if (slot.compare_exchange_strong(free_slot, stream)) break;
    }
    return stream;
}

dirent* readdir(DIR* stream) {
    if (reads_as_empty(stream)) return nullptr;
    return real<dirent* (*)(DIR*)>("readdir")(stream);
}

dirent64* readdir64(DIR* stream) {
    if (reads_as_empty(stream)) return nullptr;
    return real<dirent64* (*)(DIR*)>("readdir64")(stream);
}

int closedir(DIR* stream) {
    for (std::atomic<DIR*>& slot : empty_streams) {
        DIR* expected = stream;
        if (slot.compare_exchange_strong(expected, nullptr)) break;
    }
    return real<int (*)(DIR*)>("closedir")(stream);
}

int mkdir(const char* path, mode_t mode) {
    const int result = real<int (*)(const char*, mode_t)>("mkdir")(path, mode);
    if (result == 0) count_change(path, true);
    return result;
}

int rmdir(const char* path) {
    const int result = real<int (*)(const char*)>("rmdir")(path);
    if (result == 0) count_change(path, false);
    return result;
}

int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*routine)(void*), void* argument) {
    const auto create = real<int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*)>("pthread_create");
    if (holding) {
        HeldStart* start = static_cast<HeldStart*>(malloc(sizeof(HeldStart)));
        if (start != nullptr) {
            *start = HeldStart{routine, argument};
            const int result = create(thread, attributes, start_counted_thread, start);
            if (result != 0) free(start);
            return result;
        }
    }
    if (in_program && syscall(SYS_gettid) == getpid()) {
        const uint64_t creation = ++main_thread_creations;
        if (counts != nullptr) counts->main_thread_creations = creation;
        if (creation == failing_thread) return EAGAIN;
        if (creation == held_thread) hold_until_released();
    }
    return create(thread, attributes, routine, argument);
}

pid_t fork() {
    if (hold_at_open && counts != nullptr && counts->current_workspace[0] != '\0') {
        hold_at_open = false;
        hold_until_released();
    }
    return real<pid_t (*)()>("fork")();
}
}
