// The platform operations on the real Windows calls.

// windows.h comes first: the other Windows headers build on it.
#include <windows.h>

#include <conio.h>
#include <fcntl.h>
#include <intrin.h>
#include <io.h>
#include <shellapi.h>

#include <cstdarg>
#include <cstdio>

#include "platform/platform.h"

const uint32_t OS_ERROR_ALREADY_EXISTS = ERROR_ALREADY_EXISTS;
const uint32_t OS_ERROR_NOT_FOUND = ERROR_FILE_NOT_FOUND;

static_assert(sizeof(ThreadExitCode) == sizeof(DWORD), "thread routine returns a DWORD");

// The exit status of a console program ended by Ctrl-C.
constexpr UINT STOPPED_EXIT_CODE = 0xC000013A;
constexpr int CTRL_C_KEY = 3;

static StopHandler stop_handler = nullptr;

// Runs on a thread of its own that the system starts for each event.
static BOOL WINAPI on_console_control(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    stop_handler();
    return TRUE;
}

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
    va_list arguments;
    va_start(arguments, format);
    vprintf(format, arguments);
    va_end(arguments);
}

int os_read_key() {
    fflush(stdout);
    // _getch reads the console raw, so Ctrl-C arrives as a key: it is a stop all the same.
    const int key = _getch();
    if (key == CTRL_C_KEY && stop_handler != nullptr) stop_handler();
    return key;
}

void os_watch_stops(StopHandler handler) {
    stop_handler = handler;
    SetConsoleCtrlHandler(on_console_control, TRUE);
}

void os_end_by_stop() {
    ExitProcess(STOPPED_EXIT_CODE);
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
    return WaitForSingleObject(event, INFINITE);
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
