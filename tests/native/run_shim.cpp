// Preloaded into the native program (LD_PRELOAD) by the tests of runs that
// share a start directory, to put a run where a test needs it:
//
//   ORVENNA_SHIM_REFUSE_UNIX_SOCKETS=1
//       socket(AF_UNIX, ...) fails with EACCES, as in a sandbox that allows no
//       such sockets: the run's claim cannot be made.
//   ORVENNA_SHIM_HOLD_REMOVAL=FILE
//       at the first removal of a00001 (cycle 1's removal pass begins, all its
//       directories made), the run writes FILE.holding and then keeps
//       removing and making a00001 again every 10 ms until FILE exists: a run
//       that is going, and changing its workspace, for as long as the test needs.
//   ORVENNA_SHIM_COUNT_CREATIONS=FILE
//       every directory made is counted in FILE (one native 64-bit word,
//       shared, there beforehand): what a run made, however it ended.
//   ORVENNA_SHIM_HOLD_CREATION=1
//       the mkdir of a00001 (the first worker's first directory) waits until
//       the program has polled its standard output and found its reader gone:
//       the cycle cannot end before the program has noticed, while it waits.

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

template <typename Function>
Function real(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// What the test asked for, read once: the calls below run for every directory.
bool refuse_unix_sockets = false;
const char* removal_release = nullptr;  // ORVENNA_SHIM_HOLD_REMOVAL
bool hold_creation = false;
uint64_t* creations = nullptr;

bool removal_held = false;
std::atomic<bool> reader_gone_seen{false};

bool is_set(const char* variable) {
    const char* value = getenv(variable);
    return value != nullptr && strcmp(value, "1") == 0;
}

__attribute__((constructor)) void read_the_request() {
    refuse_unix_sockets = is_set("ORVENNA_SHIM_REFUSE_UNIX_SOCKETS");
    removal_release = getenv("ORVENNA_SHIM_HOLD_REMOVAL");
    hold_creation = is_set("ORVENNA_SHIM_HOLD_CREATION");
    const char* counts = getenv("ORVENNA_SHIM_COUNT_CREATIONS");
    if (counts == nullptr) return;
    const int file = open(counts, O_RDWR | O_CLOEXEC);
    if (file < 0) return;
    void* mapping = mmap(nullptr, sizeof *creations, PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
    if (mapping != MAP_FAILED) creations = static_cast<uint64_t*>(mapping);
    close(file);
}

bool ends_with(const char* text, const char* end) {
    const size_t length = strlen(text), end_length = strlen(end);
    return length >= end_length && strcmp(text + length - end_length, end) == 0;
}

}  // namespace

extern "C" {

int socket(int domain, int type, int protocol) {
    if (domain == AF_UNIX && refuse_unix_sockets) {
        errno = EACCES;
        return -1;
    }
    return real<int (*)(int, int, int)>("socket")(domain, type, protocol);
}

int poll(pollfd* descriptors, nfds_t count, int timeout) {
    const int result = real<int (*)(pollfd*, nfds_t, int)>("poll")(descriptors, count, timeout);
    for (nfds_t index = 0; result > 0 && index < count; ++index)
        if (descriptors[index].fd == STDOUT_FILENO && (descriptors[index].revents & (POLLERR | POLLHUP)) != 0)
            reader_gone_seen = true;
    return result;
}

int mkdir(const char* path, mode_t mode) {
    if (hold_creation && ends_with(path, "/a00001"))
        while (!reader_gone_seen) usleep(1000);
    const int result = real<int (*)(const char*, mode_t)>("mkdir")(path, mode);
    if (result == 0 && creations != nullptr) __atomic_fetch_add(creations, 1, __ATOMIC_RELAXED);
    return result;
}

int rmdir(const char* path) {
    const auto remove = real<int (*)(const char*)>("rmdir");
    if (removal_release != nullptr && !removal_held && ends_with(path, "/a00001")) {
        removal_held = true;
        const int marker =
            open((std::string(removal_release) + ".holding").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        if (marker >= 0) close(marker);
        const auto make = real<int (*)(const char*, mode_t)>("mkdir");
        while (access(removal_release, F_OK) != 0) {
            remove(path);
            make(path, 0700);
            usleep(10000);
        }
    }
    return remove(path);
}
}
