#pragma once

// The only door to the operating system. win32.cpp, posix.cpp and the tests'
// fake each implement every operation below; nothing else includes an OS header.

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

// The one last-error value that callers tell apart.
extern const uint32_t OS_ERROR_ALREADY_EXISTS;
constexpr uint32_t OS_WAIT_SIGNALLED = 0;

// Process and console
void os_initialize();
[[noreturn]] void os_exit_process(uint32_t exit_code);
void os_print(const char* format, ...) __attribute__((format(printf, 1, 2)));
int os_read_key();  // the key's character, without echo; -1 when there is no input

// Kernel
uint32_t os_get_current_directory(uint32_t capacity, char* buffer);
int os_create_directory(const char* path);
int os_remove_directory(const char* path);
uint32_t os_last_error();
ThreadHandle os_create_thread(ThreadRoutine routine, void* parameter);
EventHandle os_create_event();  // auto-reset, not signalled, unnamed
void os_set_event(EventHandle event);
uint32_t os_wait_forever(EventHandle event);
int os_close_handle(void* handle);
int os_query_counter_frequency(uint64_t* frequency);
int os_query_counter(uint64_t* counter);
void os_sleep(uint32_t milliseconds);
uint64_t os_read_time_stamp_counter();

// Window manager and shell
WindowHandle os_foreground_window();
void os_place_window(WindowHandle window, int x, int y, int width, int height);
void os_open_folder(const char* path);
void os_enum_windows(WindowVisitor visitor, intptr_t parameter);
uint32_t os_window_class(WindowHandle window, char* buffer, uint32_t capacity);
uint32_t os_window_title(WindowHandle window, char* buffer, uint32_t capacity);
void os_minimize_window(WindowHandle window);
void os_post_close(WindowHandle window);
