#pragma once

// The only door to the operating system. win32.cpp, posix.cpp and the tests'
// fake each implement every operation below; nothing else includes an OS header.
//
// Contracts, the same on every platform unless a line says otherwise. "Sets
// the error" means that os_last_error() on the same thread then tells why the
// call failed; an operation that does not say so leaves it undefined.

#include <cstdint>

typedef void* ThreadHandle;
typedef void* EventHandle;
typedef void* WindowHandle;

#if defined(_WIN32)
#define OS_CALLBACK __stdcall
typedef unsigned long ThreadExitCode;  // the kernel's DWORD
constexpr char PATH_SEPARATOR = '\\';
#else
#define OS_CALLBACK
typedef void* ThreadExitCode;
constexpr char PATH_SEPARATOR = '/';
#endif

// Shaped like the platform's own callbacks so that they are handed over as they are.
typedef ThreadExitCode(OS_CALLBACK* ThreadRoutine)(void* parameter);
typedef int(OS_CALLBACK* WindowVisitor)(WindowHandle window, intptr_t parameter);

// The last-error values that callers tell apart: the name is taken, and
// there is nothing by that name (ERROR_FILE_NOT_FOUND, ENOENT).
extern const uint32_t OS_ERROR_ALREADY_EXISTS;
extern const uint32_t OS_ERROR_NOT_FOUND;
constexpr uint32_t OS_WAIT_SIGNALLED = 0;

// Process and console
// Once, first thing: console output in binary mode (CR LF stays CR LF).
void os_initialize();
// Ends the process at once with exit_code, whatever other threads are doing.
[[noreturn]] void os_exit_process(uint32_t exit_code);
// printf's conversions; the bytes reach stdout in order before the next key wait.
void os_print(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Waits for one key and returns its character, without echo; -1 when the input has ended.
int os_read_key();

// Kernel
// The current directory into buffer, terminated; returns its length. Returns 0
// on failure, and capacity or more (buffer unspecified) when it does not fit.
uint32_t os_get_current_directory(uint32_t capacity, char* buffer);
// Nonzero when the directory was made (removed); 0 sets the error.
int os_create_directory(const char* path);
int os_remove_directory(const char* path);
// The calling thread's error of its latest failed operation.
uint32_t os_last_error();
// Starts routine(parameter) at once with the default stack; null sets the error.
ThreadHandle os_create_thread(ThreadRoutine routine, void* parameter);
// Auto-reset, not signalled, unnamed; null on failure. The run needs one at a time.
EventHandle os_create_event();
// Signals the event, releasing one waiter.
void os_set_event(EventHandle event);
// Blocks until the event is signalled: OS_WAIT_SIGNALLED, or any other value on failure.
uint32_t os_wait_forever(EventHandle event);
// Nonzero on success; 0 sets the error. For a thread handle this only lets go
// of the handle (Windows: CloseHandle; POSIX: detach): the thread runs on.
int os_close_handle(void* handle);
// Counter ticks per second, and the counter now (monotonic, comparable across
// threads); each returns 0 on failure and leaves its output unchanged.
int os_query_counter_frequency(uint64_t* frequency);
int os_query_counter(uint64_t* counter);
void os_sleep(uint32_t milliseconds);
// The processor's time-stamp counter, for seeding only.
uint64_t os_read_time_stamp_counter();

// Window manager and shell; on POSIX there is no window system: no window is
// in the foreground or ever enumerated, and opening a folder shows nothing.
// The window in the foreground, or null.
WindowHandle os_foreground_window();
// Moves and sizes window without activating it or changing its z-order.
void os_place_window(WindowHandle window, int x, int y, int width, int height);
// Opens the folder in File Explorer, without waiting for the window.
void os_open_folder(const char* path);
// Calls visitor for each top-level window until it returns 0.
void os_enum_windows(WindowVisitor visitor, intptr_t parameter);
// The window's class or title into buffer, terminated, cut to capacity;
// returns its length, 0 when it cannot be read (or the title is empty).
uint32_t os_window_class(WindowHandle window, char* buffer, uint32_t capacity);
uint32_t os_window_title(WindowHandle window, char* buffer, uint32_t capacity);
// Each is a no-op for null or a window that no longer exists; close does not wait.
void os_minimize_window(WindowHandle window);
void os_post_close(WindowHandle window);
