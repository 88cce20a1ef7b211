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
// Why the run is asked to stop: the user asked (Ctrl-C, a signal, the console
// window closed), or the output's reader has gone (a broken pipe).
enum StopCause { STOP_BY_USER, STOP_BY_OUTPUT_GONE };
// Called for each stop request, on whatever thread the platform delivers it
// (inside a signal handler on POSIX): it may only set atomic flags or end the process.
typedef void (*StopHandler)(StopCause cause);
// Called for each entry of a listed directory.
typedef void (*EntryVisitor)(const char* name, bool is_directory, intptr_t parameter);
typedef void* ClaimHandle;

// The last-error values that callers tell apart: the name is taken, and
// there is nothing by that name (ERROR_FILE_NOT_FOUND, ENOENT).
extern const uint32_t OS_ERROR_ALREADY_EXISTS;
extern const uint32_t OS_ERROR_NOT_FOUND;
constexpr uint32_t OS_WAIT_SIGNALLED = 0;

// Process and console
// Once, first thing: console output unbuffered, so every line shows as it is
// printed, also into a pipe or a file, and in binary mode (CR LF stays CR LF).
void os_initialize();
// Ends the process at once with exit_code, whatever other threads are doing.
[[noreturn]] void os_exit_process(uint32_t exit_code);
// printf's conversions; the bytes reach stdout at once, in order. When the
// output's reader has gone (EPIPE; on Windows any failed write), that is a
// stop request (STOP_BY_OUTPUT_GONE) and nothing is printed from then on.
void os_print(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Waits for one key and returns its character, without echo; -1 when the input has ended.
// Ctrl-C at the key wait is a stop request, not a key.
int os_read_key();
// From now on the user's stop requests (Windows: Ctrl-C, Ctrl-Break, the
// console window closed; POSIX: SIGINT, SIGTERM, SIGHUP) call handler instead
// of ending the process, and so does a broken output (POSIX ignores SIGPIPE).
// A closed console window gives the process about five seconds: Windows ends
// it then, whatever the handler does. The handler's thread waits meanwhile, so
// that the main thread can remove what it can; a later run in the same
// directory removes whatever is left.
void os_watch_stops(StopHandler handler);
// Ends the process as the stop request would have: on POSIX by the latest
// request's own signal, SIGPIPE for a broken output (the terminal restored
// first); on Windows with STATUS_CONTROL_C_EXIT, or ERROR_BROKEN_PIPE when
// only the output's reader asked.
[[noreturn]] void os_end_by_stop();

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
// Blocks until the event is signalled: OS_WAIT_SIGNALLED, or any other value on
// failure. Meanwhile, four times a second, it looks whether the output's
// reader has gone (into a pipe; a file or a terminal tells nothing before a
// write): that is a stop request (STOP_BY_OUTPUT_GONE), as at a print.
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

// Calls visitor for each entry of the directory but "." and "..", in the
// platform's order; false when the directory cannot be listed.
bool os_list_directory(const char* path, EntryVisitor visitor, intptr_t parameter);
// Claims the directory for this process until the claim is released or the
// process ends, however it ends, by a name derived from the directory's
// identity (POSIX: an abstract socket after its device and inode; Windows: a
// named mutex after its volume and file index) that another process can test
// without opening the directory. It holds within one network namespace
// (POSIX) or one machine (Windows). Null when another process holds it, or
// when no claim can be made.
ClaimHandle os_claim_directory(const char* path);
void os_release_claim(ClaimHandle claim);

// Marks the directory (the run's own workspace, one at a time) as in use by
// this process until the mark is released or the process ends, for whoever
// shares the file system. POSIX: a lock in the parent directory, at a byte
// named after the directory's name (an OFD lock: it holds across namespaces,
// and the parent is opened, never the directory). Windows: the directory held
// open without FILE_SHARE_DELETE, which the file server enforces for every
// client. False when no mark can be made.
bool os_mark_in_use(const char* path);
void os_release_in_use();
// True when another process has marked the directory in use, as far as this
// process can see. POSIX tests the lock; Windows asks for delete access,
// which the holder's sharing refuses.
bool os_in_use_elsewhere(const char* path);
// True when the directory surely holds no directory: POSIX, by a link count of
// 2 (a file system that keeps no such count, as btrfs, says 1: false).
// Windows has no such count: false. Neither opens the directory.
bool os_holds_no_directory(const char* path);
// The directory's last modification time, fresh from the file system (no
// cached attributes), in its own units; false when it cannot be read.
// POSIX does not open the directory for it.
bool os_modification_stamp(const char* path, uint64_t* stamp);

// Watches the directory for being opened or listed by anyone, from now on;
// a watch that cannot be set up watches nothing. Windows has its Explorer
// guard instead and watches nothing here.
void os_watch_directory(const char* path);
// True when the watched directory was opened or listed since the watch began.
bool os_directory_was_read();

// Window manager and shell; on POSIX there is no window system: no window is
// in the foreground or ever enumerated, and opening a folder shows nothing.
// False where no window can ever appear.
bool os_has_window_system();
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
