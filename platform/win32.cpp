// The platform operations on the real Windows calls.

// windows.h comes first: the other Windows headers build on it.
#include <windows.h>
#include <winternl.h>

#include <conio.h>
#include <fcntl.h>
#include <intrin.h>
#include <io.h>
#include <shellapi.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

const uint32_t OS_ERROR_ALREADY_EXISTS = ERROR_ALREADY_EXISTS;
const uint32_t OS_ERROR_NOT_FOUND = ERROR_FILE_NOT_FOUND;

static_assert(sizeof(ThreadExitCode) == sizeof(DWORD), "thread routine returns a DWORD");

// The exit status of a console program ended by Ctrl-C; a program whose
// output's reader went away, and nobody else asked, ends with the pipe's error.
constexpr UINT STOPPED_EXIT_CODE = 0xC000013A;
constexpr UINT OUTPUT_GONE_EXIT_CODE = ERROR_BROKEN_PIPE;
constexpr int CTRL_C_KEY = 3;

static StopHandler stop_handler = nullptr;
static std::atomic<bool> user_asked{false};
// Once the output's reader has gone, nothing more is printed.
static bool output_gone = false;

static void note_output_gone() {
    output_gone = true;
    if (stop_handler != nullptr) stop_handler(STOP_BY_OUTPUT_GONE);
}

// Into a pipe, whether its reader has gone shows without writing: the
// pipe's state, as the kernel keeps it for this end, is "closing". Asked of
// ntdll, found at run time: the program imports nothing from it. A console
// or a file tells nothing before a write.
constexpr ULONG PIPE_CLOSING_STATE = 4;  // FILE_PIPE_CLOSING_STATE

static void check_output() {
    typedef LONG(NTAPI * QueryFile)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, FILE_INFORMATION_CLASS);
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output_gone || GetFileType(output) != FILE_TYPE_PIPE) return;
    // Looked up each time: a function's static would bring in the C++ runtime's guards.
    const QueryFile query_file = reinterpret_cast<QueryFile>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationFile")));
    if (query_file == nullptr) return;
    IO_STATUS_BLOCK status;
    FILE_PIPE_LOCAL_INFORMATION pipe;
    if (query_file(output, &status, &pipe, sizeof pipe, FilePipeLocalInformation) != 0) return;
    if (pipe.NamedPipeState == PIPE_CLOSING_STATE) note_output_gone();
}

// How often a wait looks at the output, in milliseconds.
constexpr DWORD OUTPUT_CHECK_MS = 250;

static void user_stop_request() {
    user_asked = true;
    stop_handler(STOP_BY_USER);
}

// Runs on a thread of its own that the system starts for each event. Not
// static: the platform checks call it with the events Wine does not deliver.
BOOL WINAPI on_console_control(DWORD event);
BOOL WINAPI on_console_control(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            user_stop_request();
            return TRUE;
        case CTRL_CLOSE_EVENT:
            user_stop_request();
            // Windows ends the process as soon as this returns, and about five
            // seconds after the event in any case. Meanwhile the main thread
            // removes what it can; a later run removes the rest.
            Sleep(INFINITE);
            return TRUE;
        default:
            return FALSE;
    }
}

// The run's workspace, held open while it is marked in use.
static HANDLE workspace_in_use = INVALID_HANDLE_VALUE;

// "path\*", for FindFirstFileA: needed only during that call, so one serves every listing.
static char search_pattern[MAX_PATH + 8];

void os_initialize() {
    // Text mode would turn each "\r\n" into CR CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    setvbuf(stdout, nullptr, _IONBF, 0);
}

void os_exit_process(uint32_t exit_code) {
    fflush(stdout);
    ExitProcess(exit_code);
}

void os_print(const char* format, ...) {
    if (output_gone) return;
    va_list arguments;
    va_start(arguments, format);
    const int printed = vprintf(format, arguments);
    va_end(arguments);
    // A broken pipe, or a console that is no more. The runtime may count the
    // bytes formatted and only mark the stream when the write behind them fails.
    if (printed < 0 || ferror(stdout)) note_output_gone();
}

int os_read_key() {
    fflush(stdout);
    // _getch reads the console raw, so Ctrl-C arrives as a key: it is a stop all the same.
    const int key = _getch();
    if (key == CTRL_C_KEY && stop_handler != nullptr) user_stop_request();
    return key;
}

void os_watch_stops(StopHandler handler) {
    stop_handler = handler;
    SetConsoleCtrlHandler(on_console_control, TRUE);
}

void os_end_by_stop() {
    ExitProcess(user_asked || !output_gone ? STOPPED_EXIT_CODE : OUTPUT_GONE_EXIT_CODE);
}

uint32_t os_get_current_directory(uint32_t capacity, char* buffer) {
    return GetCurrentDirectoryA(capacity, buffer);
}

int os_create_directory(const char* path) {
    return CreateDirectoryA(path, nullptr);
}

int os_remove_directory(const char* path) {
    return RemoveDirectoryA(path);
}

uint32_t os_last_error() {
    return GetLastError();
}

ThreadHandle os_create_thread(ThreadRoutine routine, void* parameter) {
    return CreateThread(nullptr, 0, routine, parameter, 0, nullptr);
}

EventHandle os_create_event() {
    return CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

void os_set_event(EventHandle event) {
    SetEvent(event);
}

uint32_t os_wait_forever(EventHandle event) {
    DWORD result;
    while ((result = WaitForSingleObject(event, OUTPUT_CHECK_MS)) == WAIT_TIMEOUT) check_output();
    return result;
}

int os_close_handle(void* handle) {
    return CloseHandle(handle);
}

int os_query_counter_frequency(uint64_t* frequency) {
    LARGE_INTEGER value;
    if (!QueryPerformanceFrequency(&value)) return 0;
    *frequency = static_cast<uint64_t>(value.QuadPart);
    return 1;
}

int os_query_counter(uint64_t* counter) {
    LARGE_INTEGER value;
    if (!QueryPerformanceCounter(&value)) return 0;
    *counter = static_cast<uint64_t>(value.QuadPart);
    return 1;
}

void os_sleep(uint32_t milliseconds) {
    Sleep(milliseconds);
}

uint64_t os_read_time_stamp_counter() {
    return __rdtsc();
}

bool os_list_directory(const char* path, EntryVisitor visitor, intptr_t parameter) {
    const size_t length = strlen(path);
    const bool separated = length > 0 && path[length - 1] == '\\';
    if (length + 3 > sizeof search_pattern) return false;
    memcpy(search_pattern, path, length);
    memcpy(search_pattern + length, separated ? "*" : "\\*", separated ? 2 : 3);
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(search_pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) return false;
    do {
        if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0) continue;
        // A link or junction to a directory is not a directory of ours.
        const DWORD attributes = entry.dwFileAttributes;
        const bool is_directory =
            (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
        visitor(entry.cFileName, is_directory, parameter);
    } while (FindNextFileA(search, &entry));
    const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(search);
    return complete;
}

// Through a handle opened for attributes only, sharing everything (nobody is
// kept from anything): a file server's client answers a path query from its
// cache, an open goes to the server.
static bool read_information(const char* path, BY_HANDLE_FILE_INFORMATION* information) {
    HANDLE directory = CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (directory == INVALID_HANDLE_VALUE) return false;
    const bool read = GetFileInformationByHandle(directory, information);
    CloseHandle(directory);
    return read;
}

ClaimHandle os_claim_directory(const char* path) {
    BY_HANDLE_FILE_INFORMATION identity;
    if (!read_information(path, &identity)) return nullptr;
    char name[64];
    snprintf(name, sizeof name, "Global\\orvenna-%lx-%lx-%lx",
             static_cast<unsigned long>(identity.dwVolumeSerialNumber),
             static_cast<unsigned long>(identity.nFileIndexHigh), static_cast<unsigned long>(identity.nFileIndexLow));
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
    if (mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return nullptr;
    }
    return mutex;
}

void os_release_claim(ClaimHandle claim) {
    if (claim != nullptr) CloseHandle(claim);
}

bool os_mark_in_use(const char* path) {
    os_release_in_use();
    // Listing access is enough to hold it; without FILE_SHARE_DELETE nobody
    // else may open it to delete, here or through a file server.
    workspace_in_use = CreateFileA(path, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    return workspace_in_use != INVALID_HANDLE_VALUE;
}

void os_release_in_use() {
    if (workspace_in_use != INVALID_HANDLE_VALUE) CloseHandle(workspace_in_use);
    workspace_in_use = INVALID_HANDLE_VALUE;
}

bool os_in_use_elsewhere(const char* path) {
    HANDLE directory = CreateFileA(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (directory != INVALID_HANDLE_VALUE) {
        CloseHandle(directory);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

bool os_holds_no_directory(const char*) {
    return false;
}

bool os_modification_stamp(const char* path, uint64_t* stamp) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!read_information(path, &information)) return false;
    *stamp = (static_cast<uint64_t>(information.ftLastWriteTime.dwHighDateTime) << 32) |
             information.ftLastWriteTime.dwLowDateTime;
    return true;
}

void os_watch_directory(const char*) {}

bool os_directory_was_read() {
    return false;
}

bool os_has_window_system() {
    return true;
}

WindowHandle os_foreground_window() {
    return GetForegroundWindow();
}

void os_place_window(WindowHandle window, int x, int y, int width, int height) {
    SetWindowPos(static_cast<HWND>(window), nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void os_open_folder(const char* path) {
    ShellExecuteA(nullptr, "open", path, nullptr, nullptr, SW_SHOWNORMAL);
}

void os_enum_windows(WindowVisitor visitor, intptr_t parameter) {
    // Same shape as WNDENUMPROC: HWND is a pointer, BOOL an int, LPARAM an intptr_t.
    EnumWindows(reinterpret_cast<WNDENUMPROC>(visitor), parameter);
}

uint32_t os_window_class(WindowHandle window, char* buffer, uint32_t capacity) {
    return GetClassNameA(static_cast<HWND>(window), buffer, static_cast<int>(capacity));
}

uint32_t os_window_title(WindowHandle window, char* buffer, uint32_t capacity) {
    return GetWindowTextA(static_cast<HWND>(window), buffer, static_cast<int>(capacity));
}

void os_minimize_window(WindowHandle window) {
    ShowWindow(static_cast<HWND>(window), SW_MINIMIZE);
}

void os_post_close(WindowHandle window) {
    PostMessageA(static_cast<HWND>(window), WM_CLOSE, 0, 0);
}
