// The platform operations on POSIX. There is no window system here: no window
// is ever in the foreground or found, and opening a folder shows nothing.

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

#include <atomic>
#include <climits>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

const uint32_t OS_ERROR_ALREADY_EXISTS = EEXIST;
const uint32_t OS_ERROR_NOT_FOUND = ENOENT;

namespace {

// An auto-reset event. The run needs exactly one, so it lives here statically.
struct PosixEvent {
    pthread_mutex_t mutex;
    pthread_cond_t condition;
    bool signalled;
    bool in_use;
};

PosixEvent the_event = {PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER, false, false};

// What a stop needs from a signal handler: the latest request's signal (0:
// none yet), and the terminal's settings while a key wait has changed them.
const int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
// Atomics: two requests may be handled on two threads at once.
StopHandler stop_handler = nullptr;
std::atomic<int> stop_signal{0};
termios saved_terminal;
std::atomic<bool> terminal_changed{false};
// Once the output's reader has gone, nothing more is printed.
bool output_gone = false;

int workspace_watch = -1;
// The start directory while the workspace's in-use lock is held in it.
int in_use_parent = -1;

void on_stop_signal(int signal_number) {
    stop_signal = signal_number;
    stop_handler(STOP_BY_USER);
}

void note_output_gone() {
    output_gone = true;
    // A signal the user sent first stays the one the process ends by.
    int no_signal = 0;
    stop_signal.compare_exchange_strong(no_signal, SIGPIPE);
    if (stop_handler != nullptr) stop_handler(STOP_BY_OUTPUT_GONE);
}

// A pipe whose reader has gone shows an error, a socket a hang-up, without
// anything written to it.
void check_output() {
    pollfd output = {STDOUT_FILENO, 0, 0};
    if (!output_gone && poll(&output, 1, 0) == 1 && (output.revents & (POLLERR | POLLHUP)) != 0) note_output_gone();
}

// How often a wait looks at the output.
constexpr long OUTPUT_CHECK_NS = 250000000;

// Room for a few entries at a time; listings nest three deep at most.
constexpr size_t LISTING_BUFFER_SIZE = 2048;

}  // namespace

void os_initialize() {
    setvbuf(stdout, nullptr, _IONBF, 0);
}

void os_exit_process(uint32_t exit_code) {
    fflush(stdout);
    _exit(static_cast<int>(exit_code));
}

void os_print(const char* format, ...) {
    if (output_gone) return;
    va_list arguments;
    va_start(arguments, format);
    const int printed = vprintf(format, arguments);
    va_end(arguments);
    if (printed < 0 && errno == EPIPE) note_output_gone();
}

int os_read_key() {
    fflush(stdout);
    const bool terminal = tcgetattr(STDIN_FILENO, &saved_terminal) == 0;
    if (terminal) {
        // Ctrl-C still signals (ISIG stays on).
        termios raw = saved_terminal;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        terminal_changed = true;
        tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    }
    unsigned char key = 0;
    ssize_t got;
    do {
        got = read(STDIN_FILENO, &key, 1);
    } while (got < 0 && errno == EINTR);
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
        terminal_changed = false;
    }
    return got == 1 ? key : -1;
}

void os_watch_stops(StopHandler handler) {
    stop_handler = handler;
    // A reader that goes away shows as EPIPE from the next print instead.
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
    struct sigaction action = {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    // Interrupted calls resume: a stop is acted on at the program's own safe points.
    action.sa_flags = SA_RESTART;
    for (int signal_number : STOP_SIGNALS) {
        // A signal ignored from the start (nohup, a background job) stays ignored.
        struct sigaction inherited = {};
        sigaction(signal_number, nullptr, &inherited);
        if (inherited.sa_handler != SIG_IGN) sigaction(signal_number, &action, nullptr);
    }
}

// Only async-signal-safe calls: it may run inside the signal handler.
void os_end_by_stop() {
    if (terminal_changed) tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
    const int signal_number = stop_signal != 0 ? stop_signal.load() : SIGINT;
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
    sigset_t only_this;
    sigemptyset(&only_this);
    sigaddset(&only_this, signal_number);
    pthread_sigmask(SIG_UNBLOCK, &only_this, nullptr);
    raise(signal_number);
    _exit(128 + signal_number);
}

uint32_t os_get_current_directory(uint32_t capacity, char* buffer) {
    if (getcwd(buffer, capacity) != nullptr) return static_cast<uint32_t>(strlen(buffer));
    // Like the Windows call: a path that does not fit reports a length of at least the capacity.
    return errno == ERANGE ? capacity : 0;
}

int os_create_directory(const char* path) {
    return mkdir(path, 0777) == 0;
}

int os_remove_directory(const char* path) {
    return rmdir(path) == 0;
}

uint32_t os_last_error() {
    return static_cast<uint32_t>(errno);
}

// Workers never take a stop signal: the main thread does, before it runs on,
// so a request is acted on at the first safe point the main thread reaches.
static const pthread_attr_t* worker_attributes() {
    static pthread_attr_t attributes;
    static bool ready = false;
    if (!ready) {
        sigset_t stops;
        sigemptyset(&stops);
        for (int signal_number : STOP_SIGNALS) sigaddset(&stops, signal_number);
        pthread_attr_init(&attributes);
        pthread_attr_setsigmask_np(&attributes, &stops);
        ready = true;
    }
    return &attributes;
}

ThreadHandle os_create_thread(ThreadRoutine routine, void* parameter) {
    pthread_t thread;
    const int error = pthread_create(&thread, worker_attributes(), routine, parameter);
    if (error != 0) {
        errno = error;
        return nullptr;
    }
    // The handle slot holds the pthread_t itself.
    return reinterpret_cast<ThreadHandle>(thread);  // NOLINT(performance-no-int-to-ptr)
}

EventHandle os_create_event() {
    if (the_event.in_use) {
        errno = EMFILE;
        return nullptr;
    }
    the_event.in_use = true;
    the_event.signalled = false;
    return &the_event;
}

void os_set_event(EventHandle event) {
    PosixEvent* posix_event = static_cast<PosixEvent*>(event);
    pthread_mutex_lock(&posix_event->mutex);
    posix_event->signalled = true;
    pthread_cond_signal(&posix_event->condition);
    pthread_mutex_unlock(&posix_event->mutex);
}

uint32_t os_wait_forever(EventHandle event) {
    PosixEvent* posix_event = static_cast<PosixEvent*>(event);
    pthread_mutex_lock(&posix_event->mutex);
    while (!posix_event->signalled) {
        timespec until;
        clock_gettime(CLOCK_MONOTONIC, &until);
        until.tv_nsec += OUTPUT_CHECK_NS;
        if (until.tv_nsec >= 1000000000) {
            until.tv_nsec -= 1000000000;
            ++until.tv_sec;
        }
        if (pthread_cond_clockwait(&posix_event->condition, &posix_event->mutex, CLOCK_MONOTONIC, &until) == 0)
            continue;
        pthread_mutex_unlock(&posix_event->mutex);
        check_output();
        pthread_mutex_lock(&posix_event->mutex);
    }
    posix_event->signalled = false;
    pthread_mutex_unlock(&posix_event->mutex);
    return OS_WAIT_SIGNALLED;
}

int os_close_handle(void* handle) {
    if (handle == &the_event) {
        the_event.in_use = false;
        return 1;
    }
    // A thread handle: letting the thread go is all that closing means here.
    const int error = pthread_detach(reinterpret_cast<pthread_t>(handle));
    if (error != 0) {
        errno = error;
        return 0;
    }
    return 1;
}

int os_query_counter_frequency(uint64_t* frequency) {
    *frequency = 1000000000;
    return 1;
}

int os_query_counter(uint64_t* counter) {
    timespec now;
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) return 0;
    *counter = static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
    return 1;
}

void os_sleep(uint32_t milliseconds) {
    timespec pause = {static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

// The processor's own free-running counter where there is one: it only seeds the name.
uint64_t os_read_time_stamp_counter() {
#if defined(__x86_64__) || defined(__i386__)
    return __rdtsc();
#elif defined(__aarch64__)
    uint64_t ticks;
    asm volatile("mrs %0, cntvct_el0" : "=r"(ticks));
    return ticks;
#else
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
#endif
}

bool os_list_directory(const char* path, EntryVisitor visitor, intptr_t parameter) {
    const int directory = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) return false;
    alignas(dirent64) char entries[LISTING_BUFFER_SIZE];
    ssize_t got;
    while ((got = getdents64(directory, entries, sizeof entries)) > 0) {
        for (ssize_t offset = 0; offset < got;) {
            const dirent64* entry = reinterpret_cast<const dirent64*>(entries + offset);
            offset += entry->d_reclen;
            const char* name = entry->d_name;
            if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
            bool is_directory = entry->d_type == DT_DIR;
            if (entry->d_type == DT_UNKNOWN) {
                struct stat status;
                is_directory = fstatat(directory, name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode);
            }
            visitor(name, is_directory, parameter);
        }
    }
    close(directory);
    return got == 0;
}

// The claim is an abstract socket's name: it needs no file, and it is gone
// with the process, however the process ends.
ClaimHandle os_claim_directory(const char* path) {
    struct stat status;
    if (stat(path, &status) != 0 || !S_ISDIR(status.st_mode)) return nullptr;
    const int claim = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (claim < 0) return nullptr;
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    // The leading NUL makes the name abstract.
    const int length =
        snprintf(address.sun_path + 1, sizeof address.sun_path - 1, "orvenna-%llx-%llx",
                 static_cast<unsigned long long>(status.st_dev), static_cast<unsigned long long>(status.st_ino));
    const socklen_t size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + static_cast<size_t>(length));
    if (bind(claim, reinterpret_cast<const sockaddr*>(&address), size) != 0) {
        close(claim);
        return nullptr;
    }
    return reinterpret_cast<ClaimHandle>(static_cast<intptr_t>(claim) + 1);  // NOLINT(performance-no-int-to-ptr)
}

void os_release_claim(ClaimHandle claim) {
    if (claim != nullptr) close(static_cast<int>(reinterpret_cast<intptr_t>(claim) - 1));
}

namespace {

// The byte of the parent directory that stands for the entry's name (FNV-1a,
// kept well inside the range a lock can reach).
off_t lock_byte_of(const char* name) {
    uint64_t hash = 14695981039346656037ull;
    for (const char* character = name; *character != '\0'; ++character)
        hash = (hash ^ static_cast<unsigned char>(*character)) * 1099511628211ull;
    return static_cast<off_t>(hash >> 2);
}

// Opens the parent directory of path (given without a final separator) and
// points name at the last component; -1 when it cannot be opened.
int open_parent(const char* path, const char** name) {
    const char* separator = strrchr(path, '/');
    if (separator == nullptr || separator[1] == '\0') return -1;
    *name = separator + 1;
    char parent[PATH_MAX];
    const size_t length = separator == path ? 1 : static_cast<size_t>(separator - path);
    if (length >= sizeof parent) return -1;
    memcpy(parent, path, length);
    parent[length] = '\0';
    return open(parent, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

flock lock_of(short type, const char* name) {
    flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = lock_byte_of(name);
    lock.l_len = 1;
    return lock;
}

}  // namespace

bool os_mark_in_use(const char* path) {
    os_release_in_use();
    const char* name = nullptr;
    in_use_parent = open_parent(path, &name);
    if (in_use_parent < 0) return false;
    // A read lock: any number may share a byte, and a test for a write lock sees every one of them.
    flock lock = lock_of(F_RDLCK, name);
    if (fcntl(in_use_parent, F_OFD_SETLK, &lock) == 0) return true;
    os_release_in_use();
    return false;
}

void os_release_in_use() {
    if (in_use_parent >= 0) close(in_use_parent);
    in_use_parent = -1;
}

bool os_in_use_elsewhere(const char* path) {
    const char* name = nullptr;
    const int parent = open_parent(path, &name);
    if (parent < 0) return false;
    flock lock = lock_of(F_WRLCK, name);
    const bool held = fcntl(parent, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    close(parent);
    return held;
}

bool os_holds_no_directory(const char* path) {
    struct stat status;
    return stat(path, &status) == 0 && S_ISDIR(status.st_mode) && status.st_nlink == 2;
}

bool os_modification_stamp(const char* path, uint64_t* stamp) {
    struct statx status;
    // Forced: a network file system's client must not answer from its cache.
    if (statx(AT_FDCWD, path, AT_STATX_FORCE_SYNC, STATX_MTIME, &status) != 0 || !(status.stx_mask & STATX_MTIME))
        return false;
    *stamp = static_cast<uint64_t>(status.stx_mtime.tv_sec) * 1000000000u + status.stx_mtime.tv_nsec;
    return true;
}

void os_watch_directory(const char* path) {
    // Opens and listings only: the cycles' own creations and removals must not fill the queue.
    workspace_watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (workspace_watch < 0) return;
    if (inotify_add_watch(workspace_watch, path, IN_OPEN | IN_ACCESS | IN_ONLYDIR) < 0) {
        close(workspace_watch);
        workspace_watch = -1;
    }
}

bool os_directory_was_read() {
    if (workspace_watch < 0) return false;
    alignas(inotify_event) char events[sizeof(inotify_event) + 256];
    ssize_t got;
    do {
        got = read(workspace_watch, events, sizeof events);
    } while (got < 0 && errno == EINTR);
    return got > 0;
}

bool os_has_window_system() {
    return false;
}

WindowHandle os_foreground_window() {
    return nullptr;
}

void os_place_window(WindowHandle, int, int, int, int) {}

void os_open_folder(const char*) {}

void os_enum_windows(WindowVisitor, intptr_t) {}

uint32_t os_window_class(WindowHandle, char* buffer, uint32_t) {
    buffer[0] = '\0';
    return 0;
}

uint32_t os_window_title(WindowHandle, char* buffer, uint32_t) {
    buffer[0] = '\0';
    return 0;
}

void os_minimize_window(WindowHandle) {}

void os_post_close(WindowHandle) {}
