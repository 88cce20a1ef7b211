// The Windows workload without the product: per cycle 1,024 CreateThread
// workers × 90 CreateDirectoryA, one wait on an event set by the last, a
// serial RemoveDirectoryA of 1 … 92,160. Prints the mean cycle time, from the
// first CreateThread to the last removal, in milliseconds.
//
//   win32_minimal CYCLES     in the current directory, in a workspace of its own
//                            named like the product's (the Wine fixture knows that shape)

#include <windows.h>

#include <cstdio>
#include <cstdlib>

static char workspace[MAX_PATH];
static char letter;
static volatile LONG remaining;
static HANDLE done;

static DWORD WINAPI worker(void* parameter) {
    const long first = static_cast<long>(reinterpret_cast<intptr_t>(parameter));
    char path[MAX_PATH + 16];
    for (long index = first; index < first + 90; ++index) {
        snprintf(path, sizeof path, "%s%c%05ld", workspace, letter, index);
        CreateDirectoryA(path, nullptr);
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
    done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    static HANDLE threads[1024];
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    double total_ms = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        letter = static_cast<char>('a' + cycle % 7);
        remaining = 1024;
        QueryPerformanceCounter(&start);
        for (intptr_t thread = 0; thread < 1024; ++thread) {
            threads[thread] = CreateThread(nullptr, 0, worker, reinterpret_cast<void*>(thread * 90 + 1), 0, nullptr);
            if (threads[thread] == nullptr) return 1;
        }
        WaitForSingleObject(done, INFINITE);
        for (HANDLE thread : threads) CloseHandle(thread);
        char path[MAX_PATH + 16];
        for (long index = 1; index <= 92160; ++index) {
            snprintf(path, sizeof path, "%s%c%05ld", workspace, letter, index);
            RemoveDirectoryA(path);
        }
        QueryPerformanceCounter(&end);
        total_ms +=
            static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
    }
    RemoveDirectoryA(workspace);
    printf("%.0f\n", total_ms / cycles);
    return 0;
}
