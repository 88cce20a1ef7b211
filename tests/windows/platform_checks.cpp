// Runs inside Windows (or Wine): the version record of orvenna.exe and the
// platform operations on real Win32 semantics, a real cycle's pool included.
// Usage: platform_checks PATH_TO_ORVENNA_EXE
// (It starts itself as "platform_checks hold DIRECTORY" for a second process.)

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "driver/cycle_loop.h"
#include "driver/state.h"
#include "timing/cycle_timing.h"
#include "version.h"
#include "workload/cycle_failures.h"
#include "workload/deletion_pass.h"
#include "workload/directory_worker.h"
#include "workload/worker_pool.h"

static int passed = 0;
static int failed = 0;

static void check(bool condition, const char* what) {
    if (condition) {
        ++passed;
    } else {
        ++failed;
        printf("FAIL %s\n", what);
    }
}

static void check_version_record(const char* executable) {
    static char record[8192];
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(executable, &ignored);
    check(size > 0 && size <= sizeof record, "the executable has a version record");
    if (size == 0 || size > sizeof record || !GetFileVersionInfoA(executable, 0, size, record)) return;

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    check(VerQueryValueA(record, "\\", reinterpret_cast<void**>(&fixed), &length) && fixed != nullptr,
          "fixed file info");
    if (fixed != nullptr) {
        const WORD parts[] = {ORVENNA_VERSION_PARTS};
        const DWORD most = MAKELONG(parts[1], parts[0]);
        const DWORD least = MAKELONG(parts[3], parts[2]);
        check(fixed->dwFileVersionMS == most && fixed->dwFileVersionLS == least, "file version " ORVENNA_VERSION);
        check(fixed->dwProductVersionMS == most && fixed->dwProductVersionLS == least,
              "product version " ORVENNA_VERSION);
        check(fixed->dwFileType == VFT_APP, "an application");
    }
    const char* expected[][2] = {{"ProductName", "Orvenna"},       {"InternalName", "Orvenna"},
                                 {"FileDescription", "Orvenna"},   {"Comments", "Windows Orvenna"},
                                 {"FileVersion", ORVENNA_VERSION}, {"ProductVersion", ORVENNA_VERSION}};
    for (const auto& entry : expected) {
        char query[128];
        snprintf(query, sizeof query, "\\StringFileInfo\\040904b0\\%s", entry[0]);
        char* value = nullptr;
        const bool found = VerQueryValueA(record, query, reinterpret_cast<void**>(&value), &length) && value;
        check(found && strcmp(value, entry[1]) == 0, entry[0]);
    }
    HMODULE image = LoadLibraryExA(executable, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    check(image != nullptr && FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(14)) != nullptr,
          "the executable carries an icon");
    if (image != nullptr) FreeLibrary(image);
}

static void check_directories_and_errors(const char* scratch) {
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s\\probe", scratch);
    check(os_create_directory(path) == 1, "CreateDirectoryA creates");
    check(os_create_directory(path) == 0 && os_last_error() == OS_ERROR_ALREADY_EXISTS, "second create: error 183");
    check(OS_ERROR_ALREADY_EXISTS == 183, "already exists is 183");
    check(os_remove_directory(path) == 1, "RemoveDirectoryA removes");
    check(os_remove_directory(path) == 0, "removing twice fails");

    char current[PATH_CAPACITY];
    const uint32_t length = os_get_current_directory(PATH_CAPACITY, current);
    check(length > 0 && length < PATH_CAPACITY && strlen(current) == length, "current directory and its length");
    check(os_get_current_directory(3, current) >= 3, "a current directory that does not fit reports its size");
}

static void check_event_and_counter() {
    EventHandle event = os_create_event();
    check(event != nullptr, "CreateEventA");
    check(WaitForSingleObject(event, 0) == WAIT_TIMEOUT, "the event starts unsignalled");
    os_set_event(event);
    check(os_wait_forever(event) == OS_WAIT_SIGNALLED, "a set event releases the wait");
    check(WaitForSingleObject(event, 0) == WAIT_TIMEOUT, "the event resets itself");
    check(os_close_handle(event) == 1, "CloseHandle on the event");

    uint64_t frequency = 0, first = 0, second = 0;
    check(os_query_counter_frequency(&frequency) == 1 && frequency > 0, "counter frequency");
    check(os_query_counter(&first) == 1, "counter read");
    os_sleep(20);
    check(os_query_counter(&second) == 1 && second > first, "counter advances");
    check(os_read_time_stamp_counter() != os_read_time_stamp_counter(), "time-stamp counter runs");
}

static bool close_requested = false;

static LRESULT CALLBACK check_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_CLOSE) {
        close_requested = true;
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

static WindowHandle wanted_window = nullptr;
static bool wanted_window_seen = false;
static int visits_after_stop = 0;

static int OS_CALLBACK stop_at_wanted_window(WindowHandle window, intptr_t) {
    if (wanted_window_seen) ++visits_after_stop;
    if (window != wanted_window) return 1;
    wanted_window_seen = true;
    return 0;
}

static int OS_CALLBACK count_windows(WindowHandle, intptr_t count) {
    ++*reinterpret_cast<int*>(count);
    return 1;
}

// The window-manager operations on a window of our own.
static void check_window_operations() {
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = check_window_procedure;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "OrvennaCheck";
    RegisterClassA(&window_class);
    HWND window = CreateWindowA("OrvennaCheck", "C:\\work\\qmxeb4", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr,
                                nullptr, window_class.hInstance, nullptr);
    check(window != nullptr, "a window to work on");
    if (window == nullptr) return;
    ShowWindow(window, SW_SHOWNORMAL);

    char text[TITLE_CAPACITY];
    check(os_window_class(window, text, CLASS_NAME_CAPACITY) == 12 && strcmp(text, "OrvennaCheck") == 0,
          "GetClassNameA");
    check(os_window_title(window, text, TITLE_CAPACITY) == 14 && strcmp(text, "C:\\work\\qmxeb4") == 0,
          "GetWindowTextA");

    int all_windows = 0;
    os_enum_windows(count_windows, reinterpret_cast<intptr_t>(&all_windows));
    wanted_window = window;
    os_enum_windows(stop_at_wanted_window, 0);
    check(all_windows > 0, "EnumWindows visits the top-level windows");
    check(wanted_window_seen && visits_after_stop == 0, "EnumWindows stops when the visitor returns 0");

    os_place_window(window, 250, 250, 900, 700);
    RECT placed;
    GetWindowRect(window, &placed);
    check(placed.left == 250 && placed.top == 250 && placed.right == 1150 && placed.bottom == 950,
          "SetWindowPos places and sizes");

    os_minimize_window(window);
    check(IsIconic(window), "ShowWindow minimizes");
    os_minimize_window(nullptr);

    os_post_close(window);
    MSG message;
    for (int pump = 0; pump < 100 && !close_requested; ++pump) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        Sleep(10);
    }
    check(close_requested, "PostMessageA delivers WM_CLOSE");
    DestroyWindow(window);
}

// The console control handler as Windows calls it; Wine delivers no
// CTRL_CLOSE_EVENT (closing its console window leaves the program running).
BOOL WINAPI on_console_control(DWORD event);

static std::atomic<int> stop_requests{0};
static std::atomic<int> last_cause{-1};

static void record_stop(StopCause cause) {
    last_cause = cause;
    ++stop_requests;
}

static DWORD WINAPI close_console(void*) {
    return on_console_control(CTRL_CLOSE_EVENT);
}

static void check_console_events() {
    os_watch_stops(record_stop);
    check(on_console_control(CTRL_C_EVENT) == TRUE && stop_requests == 1 && last_cause == STOP_BY_USER,
          "Ctrl-C is a stop request by the user, handled");
    check(on_console_control(CTRL_BREAK_EVENT) == TRUE && stop_requests == 2, "Ctrl-Break too");
    check(on_console_control(CTRL_LOGOFF_EVENT) == FALSE && stop_requests == 2, "other events are left to Windows");
    HANDLE closing = CreateThread(nullptr, 0, close_console, nullptr, 0, nullptr);
    while (stop_requests < 3) Sleep(1);
    check(last_cause == STOP_BY_USER, "a closed console window is a stop request by the user");
    // Windows ends the process once the handler returns: it must not, so the
    // main thread can remove what the run made. A handler that returns does so
    // at once: two seconds are far more than it could take.
    check(WaitForSingleObject(closing, 2000) == WAIT_TIMEOUT, "the close handler does not return");
    TerminateThread(closing, 0);
    CloseHandle(closing);
}

static EventHandle gone_event = nullptr;

// Sets the event once the output's reader was seen gone, or after ten seconds.
static DWORD WINAPI set_once_output_gone(void*) {
    for (int waited = 0; waited < 10000 && last_cause != STOP_BY_OUTPUT_GONE; waited += 10) Sleep(10);
    os_set_event(gone_event);
    return 0;
}

// Standard output is a pipe whose reader has gone while the main thread waits.
static void check_output_gone_during_a_wait() {
    HANDLE reading = nullptr, writing = nullptr;
    CreatePipe(&reading, &writing, nullptr, 0);
    HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, writing);
    CloseHandle(reading);
    last_cause = -1;
    gone_event = os_create_event();
    HANDLE helper = CreateThread(nullptr, 0, set_once_output_gone, nullptr, 0, nullptr);
    check(os_wait_forever(gone_event) == OS_WAIT_SIGNALLED && last_cause == STOP_BY_OUTPUT_GONE,
          "a wait notices that the output's reader has gone, without a write");
    WaitForSingleObject(helper, INFINITE);
    CloseHandle(helper);
    os_close_handle(gone_event);
    SetStdHandle(STD_OUTPUT_HANDLE, saved);
    CloseHandle(writing);
}

static void remember_entry(const char* name, bool is_directory, intptr_t listing) {
    char* text = reinterpret_cast<char*>(listing);
    strcat(text, name);
    strcat(text, is_directory ? "/ " : " ");
}

static void check_listing_and_claims(const char* scratch) {
    char directory[MAX_PATH], entry[MAX_PATH];
    snprintf(directory, sizeof directory, "%s\\claimed", scratch);
    check(CreateDirectoryA(directory, nullptr), "a directory to claim");
    snprintf(entry, sizeof entry, "%s\\a00001", directory);
    CreateDirectoryA(entry, nullptr);
    snprintf(entry, sizeof entry, "%s\\notes", directory);
    CloseHandle(CreateFileA(entry, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    char listing[256] = "";
    check(os_list_directory(directory, remember_entry, reinterpret_cast<intptr_t>(listing)) &&
              strcmp(listing, "a00001/ notes ") == 0,
          "a listing names each entry and tells directories");
    strcat(directory, "\\");
    listing[0] = '\0';
    check(os_list_directory(directory, remember_entry, reinterpret_cast<intptr_t>(listing)) &&
              strcmp(listing, "a00001/ notes ") == 0,
          "also with a final separator");
    directory[strlen(directory) - 1] = '\0';
    check(!os_list_directory(entry, remember_entry, 0), "a file cannot be listed");
    DeleteFileA(entry);
    snprintf(entry, sizeof entry, "%s\\a00001", directory);
    RemoveDirectoryA(entry);

    ClaimHandle held = os_claim_directory(directory);
    check(held != nullptr, "a claim is made");
    check(os_claim_directory(directory) == nullptr, "a claimed directory cannot be claimed again");
    check(RemoveDirectoryA(directory), "a claim holds nothing open: it does not stop a removal");
    os_release_claim(held);
    check(os_claim_directory(directory) == nullptr, "a directory that is not there cannot be claimed");
}

// Another process, as a run that is going: it marks the directory in use and
// claims it, says "held" and waits to be ended.
static int hold_directory(const char* directory) {
    if (!os_mark_in_use(directory) || os_claim_directory(directory) == nullptr) return 1;
    printf("held\n");
    fflush(stdout);
    Sleep(INFINITE);
    return 0;
}

static void check_a_run_beside_another(const char* scratch, const char* self) {
    char directory[MAX_PATH], inside[MAX_PATH + 8], command[2 * MAX_PATH];
    snprintf(directory, sizeof directory, "%s\\going", scratch);
    CreateDirectoryA(directory, nullptr);
    uint64_t before = 0, after = 0;
    check(os_modification_stamp(directory, &before), "a directory's stamp is read");
    snprintf(inside, sizeof inside, "%s\\a00001", directory);
    CreateDirectoryA(inside, nullptr);
    check(os_modification_stamp(directory, &after) && after != before, "a directory made inside moves it");
    RemoveDirectoryA(inside);

    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    HANDLE reading = nullptr, writing = nullptr;
    CreatePipe(&reading, &writing, &inherited, 0);
    SetHandleInformation(reading, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writing;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION holder = {};
    snprintf(command, sizeof command, "\"%s\" hold \"%s\"", self, directory);
    check(CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &holder),
          "a holding process is started");
    CloseHandle(writing);
    char said[8] = {};
    DWORD got = 0;
    ReadFile(reading, said, sizeof said - 1, &got, nullptr);
    check(strncmp(said, "held", 4) == 0, "it has marked and claimed the directory");
    check(os_claim_directory(directory) == nullptr, "a new run cannot claim a going run's workspace");
    check(os_in_use_elsewhere(directory), "and sees it marked in use");
    check(!RemoveDirectoryA(directory) && GetLastError() == ERROR_SHARING_VIOLATION,
          "a directory marked in use cannot be removed");
    TerminateProcess(holder.hProcess, 1);
    WaitForSingleObject(holder.hProcess, INFINITE);
    CloseHandle(holder.hProcess);
    CloseHandle(holder.hThread);
    CloseHandle(reading);
    ClaimHandle claim = os_claim_directory(directory);
    check(claim != nullptr && !os_in_use_elsewhere(directory), "free once the holder was ended");
    os_release_claim(claim);
    check(RemoveDirectoryA(directory), "and removable");
}

static void use_workspace(const char* path) {
    strcpy(state.workspace_path, path);
    state.workspace_length = strlen(path);
    CreateDirectoryA(path, nullptr);
}

// Creates scratch\lll…\lll, exactly 252 characters long, one level at a time.
static void make_directory_of_252(const char* scratch, char* path) {
    size_t length = static_cast<size_t>(snprintf(path, PATH_CAPACITY, "%s", scratch));
    while (length < 252) {
        size_t part = 252 - length - 1;  // a separator, then the name
        if (part > 100) part = part - 100 < 2 ? 90 : 100;
        path[length++] = '\\';
        memset(path + length, 'l', part);
        length += part;
        path[length] = '\0';
        CreateDirectoryA(path, nullptr);
    }
}

// The whole pool over a workspace whose directory paths are too long to create.
static void check_full_pool_cycle(const char* long_workspace) {
    use_workspace(long_workspace);
    state.cycle_number = 1;
    begin_cycle();
    check(launch_workers() == 1, "1,024 CreateThread calls");
    check(wait_for_workers() == 1, "the last worker's SetEvent ends the wait");
    check(state.workers_remaining.load() == 0 && state.abort_flag == 0, "every worker counted itself out");
    check(close_worker_handles() == 1, "every thread handle closed");
    delete_cycle_directories();
    check(finish_cycle_timing() == 1 && state.cycle_start > 0, "the cycle is timed from worker 0");
    check(strlen(state.worker_paths[0]) == 266, "paths of 266 characters");
    count_cycle_failures();
    check(state.creation_failures == DIRECTORIES_PER_CYCLE && state.creation_error == ERROR_FILENAME_EXCED_RANGE,
          "every creation counted as failed with ERROR_FILENAME_EXCED_RANGE");
    check(state.removal_failures == 0, "names never created are no removal failures");
    char pattern[PATH_CAPACITY + 8];
    snprintf(pattern, sizeof pattern, "%s*", long_workspace);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    int entries = 0;
    if (search != INVALID_HANDLE_VALUE) {
        do entries += found.cFileName[0] != '.';
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    check(entries == 0, "nothing was created past MAX_PATH");
}

// A handful of real workers with real directories, counted out by the event.
static void check_small_real_cycle(const char* workspace) {
    constexpr uint32_t WORKERS = 4;
    use_workspace(workspace);
    state.cycle_number = 3;
    begin_cycle();
    state.workers_remaining = WORKERS;
    ThreadHandle threads[WORKERS];
    for (uint32_t worker = 0; worker < WORKERS; ++worker)
        threads[worker] = os_create_thread(directory_worker, &state.slices[worker]);
    check(os_wait_forever(state.completion_event) == OS_WAIT_SIGNALLED, "four workers signal completion");
    for (ThreadHandle thread : threads) check(thread != nullptr && os_close_handle(thread) == 1, "worker handle");

    char path[PATH_CAPACITY + 8];
    int present = 0;
    for (uint32_t index = 1; index <= WORKERS * DIRECTORIES_PER_WORKER; ++index) {
        snprintf(path, sizeof path, "%sc%05u", workspace, index);
        present += (GetFileAttributesA(path) & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                   GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
        os_remove_directory(path);
    }
    check(present == WORKERS * DIRECTORIES_PER_WORKER, "360 real directories c00001..c00360");
    snprintf(path, sizeof path, "%sc00001", workspace);
    check(GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES, "and they are removed again");
}

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "hold") == 0) return hold_directory(argv[2]);
    if (argc != 2) {
        printf("usage: platform_checks PATH_TO_ORVENNA_EXE\n");
        return 2;
    }
    check_version_record(argv[1]);

    char scratch[MAX_PATH];
    GetCurrentDirectoryA(sizeof scratch, scratch);
    check_directories_and_errors(scratch);
    check_listing_and_claims(scratch);
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    check_a_run_beside_another(scratch, self);
    check_event_and_counter();
    check_window_operations();

    os_query_counter_frequency(&state.counter_frequency);
    state.completion_event = os_create_event();
    char long_workspace[PATH_CAPACITY + 1];
    make_directory_of_252(scratch, long_workspace);
    check(strlen(long_workspace) == 252, "a base directory of 252 characters");
    strcat(long_workspace, "\\qmxeb4\\");
    check_full_pool_cycle(long_workspace);

    char short_workspace[MAX_PATH];
    snprintf(short_workspace, sizeof short_workspace, "%s\\small\\", scratch);
    check_small_real_cycle(short_workspace);

    check_console_events();
    check_output_gone_during_a_wait();

    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
