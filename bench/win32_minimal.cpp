// The Windows workload without the product: per cycle 1,024 CreateThread
// workers × 90 CreateDirectoryA, one wait on an event set by the last, a
// serial RemoveDirectoryA of 1 … 92,160. Linked with the product's stack
// declaration, so that Wine gives both programs' threads the same stacks.
//
//   win32_minimal CYCLES     in the current directory, in a workspace of its own
//                            named like the product's (the Wine fixture knows that shape)
//
// Prints "begin" once the workspace exists and "end CREATION_FAILURES
// REMOVAL_FAILURES" once it is gone again, each line flushed as it is printed:
// whoever measures it times the span between them, as it times the product's
// banner and closing prompt. Exits with 1 if any call failed.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

static char workspace[MAX_PATH];
static char letter;
static volatile LONG remaining;
static volatile LONG creation_failures;
static HANDLE done;

// The workspace's path, the cycle letter and five digits, as the product writes it.
static void directory_path(char* path, long index) {
    char* name = path + strlen(workspace);
    memcpy(path, workspace, static_cast<size_t>(name - path));
    name[0] = letter;
    for (int digit = 5; digit > 0; --digit, index /= 10) name[digit] = static_cast<char>('0' + index % 10);
    name[6] = '\0';
}

static DWORD WINAPI worker(void* parameter) {
    const long first = static_cast<long>(reinterpret_cast<intptr_t>(parameter));
    char path[MAX_PATH + 16];
    for (long index = first; index < first + 90; ++index) {
        directory_path(path, index);
        if (!CreateDirectoryA(path, nullptr)) InterlockedIncrement(&creation_failures);
    }
    if (InterlockedDecrement(&remaining) == 0) SetEvent(done);
    return 0;
}

int main(int argc, char** argv) {
    const int cycles = argc > 1 ? atoi(argv[1]) : 7;
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof current, current);
    snprintf(workspace, sizeof workspace, "%s\\minim0\\", current);
    if (!CreateDirectoryA(workspace, nullptr)) return 1;
    printf("begin\r\n");
    fflush(stdout);
    done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    static HANDLE threads[1024];
    long removal_failures = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        letter = static_cast<char>('a' + cycle % 7);
        remaining = 1024;
        for (intptr_t thread = 0; thread < 1024; ++thread) {
            threads[thread] = CreateThread(nullptr, 0, worker, reinterpret_cast<void*>(thread * 90 + 1), 0, nullptr);
            if (threads[thread] == nullptr) return 1;
        }
        WaitForSingleObject(done, INFINITE);
        for (HANDLE thread : threads) CloseHandle(thread);
        char path[MAX_PATH + 16];
        for (long index = 1; index <= 92160; ++index) {
            directory_path(path, index);
            if (!RemoveDirectoryA(path)) ++removal_failures;
        }
    }
    if (!RemoveDirectoryA(workspace)) ++removal_failures;
    printf("end %ld %ld\r\n", static_cast<long>(creation_failures), removal_failures);
    fflush(stdout);
    return creation_failures == 0 && removal_failures == 0 ? 0 : 1;
}
