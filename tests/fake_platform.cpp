#include "tests/fake_platform.h"

#include <algorithm>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "driver/state.h"

FakePlatform fake;
const uint32_t OS_ERROR_ALREADY_EXISTS = FAKE_ERROR_ALREADY_EXISTS;
const uint32_t OS_ERROR_NOT_FOUND = FAKE_ERROR_FILE_NOT_FOUND;

namespace {

jmp_buf exit_point;
bool exit_point_set = false;
char event_object;
constexpr uintptr_t FIRST_THREAD_HANDLE = 0x10000;
constexpr uintptr_t FIRST_WINDOW_HANDLE = 0x20000;

// Counts the call and delivers the stop requests scripted for it.
uint64_t count_call(FakeOperation operation) {
    const uint64_t call = ++fake.calls[operation];
    for (const FakeStop& stop : fake.stops)
        if (stop.operation == operation && stop.call == call && fake.stop_handler != nullptr)
            fake.stop_handler(stop.cause);
    return call;
}

// Counts the call; true when it is scripted to fail (last_error then holds the error).
bool call_fails(FakeOperation operation) {
    const uint64_t call = count_call(operation);
    for (const FakeFailure& failure : fake.failures) {
        if (failure.operation == operation && call >= failure.first_call && call <= failure.last_call) {
            fake.last_error = failure.error;
            return true;
        }
    }
    return false;
}

std::string_view without_final_separator(std::string_view path) {
    if (path.size() > 1 && path.back() == PATH_SEPARATOR) path.remove_suffix(1);
    return path;
}

std::string_view parent_of(std::string_view path) {
    const size_t separator = path.find_last_of(PATH_SEPARATOR);
    if (separator == std::string_view::npos) return {};
    return path.substr(0, separator == 0 ? 1 : separator);
}

// The path with a final separator, in a buffer kept between calls: a full
// run makes and removes over a million directories.
const std::string& as_prefix(std::string_view directory) {
    static std::string prefix;
    prefix.assign(directory);
    if (prefix != "/") prefix += PATH_SEPARATOR;
    return prefix;
}

bool has_entry_under(const FakePaths& paths, std::string_view prefix) {
    auto next = paths.lower_bound(prefix);
    return next != paths.end() && next->compare(0, prefix.size(), prefix) == 0;
}

bool has_children(std::string_view directory) {
    const std::string& prefix = as_prefix(directory);
    return has_entry_under(fake.directories, prefix) || has_entry_under(fake.files, prefix);
}

size_t window_index(WindowHandle window) {
    return reinterpret_cast<uintptr_t>(window) - FIRST_WINDOW_HANDLE;
}

FakeWindow* window_of(WindowHandle window) {
    const size_t index = window_index(window);
    return window != nullptr && index < fake.windows.size() ? &fake.windows[index] : nullptr;
}

uint32_t copy_text(const std::string& text, char* buffer, uint32_t capacity) {
    const size_t length = std::min<size_t>(text.size(), capacity - 1);
    memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<uint32_t>(length);
}

std::string window_name(WindowHandle window) {
    return window == nullptr ? "null" : std::to_string(window_index(window));
}

}  // namespace

void fake_reset() {
    state.~BenchmarkState();
    new (&state) BenchmarkState();
    fake = FakePlatform();
    fake_add_directory_tree(fake.current_directory);
}

void fake_fail(FakeOperation operation, uint64_t first_call, uint64_t last_call, uint32_t error) {
    fake.failures.push_back({operation, first_call, last_call, error});
}

void fake_stop_before(FakeOperation operation, uint64_t call, StopCause cause) {
    fake.stops.push_back({operation, call, cause});
}

void fake_add_directory_tree(const std::string& path) {
    for (std::string_view directory = without_final_separator(path); !directory.empty();
         directory = directory.size() > 1 ? parent_of(directory) : std::string_view())
        fake.directories.emplace(directory);
}

FakePaths fake_directories_starting_with(std::string_view prefix, const FakePaths& paths) {
    FakePaths found;
    for (auto next = paths.lower_bound(prefix); next != paths.end() && next->compare(0, prefix.size(), prefix) == 0;
         ++next)
        found.insert(*next);
    return found;
}

int fake_run(void (*body)()) {
    exit_point_set = true;
    if (setjmp(exit_point) == 0) {
        body();
        exit_point_set = false;
        return -1;
    }
    exit_point_set = false;
    return fake.exit_code;
}

WindowHandle fake_window_handle(size_t index) {
    return reinterpret_cast<WindowHandle>(FIRST_WINDOW_HANDLE + index);
}

void os_initialize() {}

// Where the process would end: back to fake_run with its exit code.
[[noreturn]] static void leave_process(int exit_code) {
    fake.exit_code = exit_code;
    if (!exit_point_set) {
        fprintf(stderr, "the process ended outside fake_run\n");
        abort();
    }
    longjmp(exit_point, 1);
}

void os_exit_process(uint32_t exit_code) {
    leave_process(static_cast<int>(exit_code));
}

void os_print(const char* format, ...) {
    const uint64_t call = count_call(FAKE_PRINT);
    if (fake.output_gone_at_print != 0 && call >= fake.output_gone_at_print) {
        if (call == fake.output_gone_at_print && fake.stop_handler != nullptr) fake.stop_handler(STOP_BY_OUTPUT_GONE);
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    va_list measuring;
    va_copy(measuring, arguments);
    const int length = vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    vsnprintf(text.data(), text.size(), format, arguments);
    va_end(arguments);
    fake.output.append(text.data(), static_cast<size_t>(length));
    fake.removals_at_print.push_back(fake.calls[FAKE_REMOVE_DIRECTORY]);
}

int os_read_key() {
    count_call(FAKE_READ_KEY);
    fake.events.push_back("key");
    if (fake.keys.empty()) return -1;
    const int key = fake.keys.front();
    fake.keys.pop_front();
    return key;
}

void os_watch_stops(StopHandler handler) {
    fake.stop_handler = handler;
}

void os_end_by_stop() {
    leave_process(FAKE_ENDED_BY_STOP);
}

uint32_t os_get_current_directory(uint32_t capacity, char* buffer) {
    if (call_fails(FAKE_GET_CURRENT_DIRECTORY)) return 0;
    const std::string& path = fake.current_directory;
    if (path.size() >= capacity) return static_cast<uint32_t>(path.size() + 1);
    return copy_text(path, buffer, capacity);
}

int os_create_directory(const char* path) {
    if (call_fails(FAKE_CREATE_DIRECTORY)) return 0;
    const std::string_view directory = without_final_separator(path);
    const auto place = fake.directories.lower_bound(directory);
    if (place != fake.directories.end() && *place == directory) {
        fake.last_error = FAKE_ERROR_ALREADY_EXISTS;
        return 0;
    }
    if (fake.directories.count(parent_of(directory)) == 0) {
        fake.last_error = FAKE_ERROR_PATH_NOT_FOUND;
        return 0;
    }
    fake.directories.emplace_hint(place, directory);
    return 1;
}

int os_remove_directory(const char* path) {
    fake.last_removal = path;
    if (fake.files.count(without_final_separator(path)) != 0) ++fake.file_removal_attempts;
    if (call_fails(FAKE_REMOVE_DIRECTORY)) return 0;
    const std::string_view directory = without_final_separator(path);
    const auto found = fake.directories.find(directory);
    if (found == fake.directories.end()) {
        fake.last_error = FAKE_ERROR_FILE_NOT_FOUND;
        return 0;
    }
    if (has_children(directory)) {
        fake.last_error = FAKE_ERROR_DIR_NOT_EMPTY;
        return 0;
    }
    // As on Windows, where the run holds its workspace open without FILE_SHARE_DELETE.
    if (fake.marked_in_use.count(directory) != 0) {
        fake.last_error = FAKE_ERROR_SHARING_VIOLATION;
        return 0;
    }
    fake.directories.erase(found);
    return 1;
}

uint32_t os_last_error() {
    return fake.last_error;
}

ThreadHandle os_create_thread(ThreadRoutine routine, void* parameter) {
    if (call_fails(FAKE_CREATE_THREAD)) return nullptr;
    ThreadHandle handle = reinterpret_cast<ThreadHandle>(FIRST_THREAD_HANDLE + fake.threads_created++);
    routine(parameter);
    return handle;
}

EventHandle os_create_event() {
    if (call_fails(FAKE_CREATE_EVENT)) return nullptr;
    fake.event_signalled = false;
    return &event_object;
}

void os_set_event(EventHandle event) {
    if (event == &event_object) fake.event_signalled = true;
}

uint32_t os_wait_forever(EventHandle event) {
    if (call_fails(FAKE_WAIT)) return fake.last_error;
    // A real wait on an unsignalled event would never return.
    if (event != &event_object || !fake.event_signalled) return FAKE_WAIT_FAILED;
    fake.event_signalled = false;
    return OS_WAIT_SIGNALLED;
}

int os_close_handle(void* handle) {
    if (call_fails(FAKE_CLOSE_HANDLE)) return 0;
    fake.closed_handles.push_back(handle);
    return 1;
}

int os_query_counter_frequency(uint64_t* frequency) {
    if (call_fails(FAKE_QUERY_FREQUENCY)) return 0;
    *frequency = fake.frequency;
    return 1;
}

int os_query_counter(uint64_t* counter) {
    if (call_fails(FAKE_QUERY_COUNTER)) return 0;
    if (!fake.counter_values.empty()) {
        fake.counter_now = fake.counter_values.front();
        fake.counter_values.pop_front();
    } else {
        ++fake.counter_now;
    }
    *counter = fake.counter_now;
    return 1;
}

void os_sleep(uint32_t milliseconds) {
    count_call(FAKE_SLEEP);
    fake.events.push_back("sleep " + std::to_string(milliseconds));
}

uint64_t os_read_time_stamp_counter() {
    return fake.time_stamp_counter;
}

bool os_list_directory(const char* path, EntryVisitor visitor, intptr_t parameter) {
    count_call(FAKE_LIST_DIRECTORY);
    const std::string_view directory = without_final_separator(path);
    fake.listed.emplace_back(directory);
    if (fake.directories.count(directory) == 0) return false;
    // Taken first: the visitor may remove what it is shown.
    std::vector<std::pair<std::string, bool>> entries;
    const std::string prefix = as_prefix(directory);  // a copy: the visitor's removals reuse the buffer
    for (const auto* paths : {&fake.directories, &fake.files}) {
        for (const std::string& entry : fake_directories_starting_with(prefix, *paths))
            if (entry.size() > prefix.size() && entry.find(PATH_SEPARATOR, prefix.size()) == std::string::npos)
                entries.emplace_back(entry.substr(prefix.size()), paths == &fake.directories);
    }
    for (const auto& [name, is_directory] : entries) visitor(name.c_str(), is_directory, parameter);
    return true;
}

ClaimHandle os_claim_directory(const char* path) {
    if (call_fails(FAKE_CLAIM_DIRECTORY)) return nullptr;
    const std::string directory(without_final_separator(path));
    if (fake.directories.count(directory) == 0 || fake.claimed_elsewhere.count(directory) != 0 ||
        !fake.claims.insert(directory).second)
        return nullptr;
    return const_cast<std::string*>(&*fake.claims.find(directory));
}

void os_release_claim(ClaimHandle claim) {
    if (claim != nullptr) fake.claims.erase(*static_cast<std::string*>(claim));
}

bool os_mark_in_use(const char* path) {
    os_release_in_use();
    if (call_fails(FAKE_MARK_IN_USE)) return false;
    const std::string directory(without_final_separator(path));
    if (fake.directories.count(directory) == 0) return false;
    fake.marked_in_use.insert(directory);
    return true;
}

void os_release_in_use() {
    fake.marked_in_use.clear();
}

bool os_in_use_elsewhere(const char* path) {
    return fake.in_use_elsewhere.count(without_final_separator(path)) != 0;
}

bool os_holds_no_directory(const char* path) {
    const std::string_view directory = without_final_separator(path);
    return fake.directories.count(directory) != 0 && !has_entry_under(fake.directories, as_prefix(directory));
}

bool os_modification_stamp(const char* path, uint64_t* stamp) {
    const uint64_t call = fake.calls[FAKE_MODIFICATION_STAMP] + 1;
    if (call_fails(FAKE_MODIFICATION_STAMP)) return false;
    const std::string_view directory = without_final_separator(path);
    if (fake.directories.count(directory) == 0) return false;
    *stamp = fake.changing.count(directory) != 0 ? call : 0;
    return true;
}

void os_watch_directory(const char* path) {
    fake.watched_directory = path;
}

bool os_directory_was_read() {
    return !fake.watched_directory.empty() && ++fake.watch_checks == fake.directory_read_at_check;
}

bool os_has_window_system() {
    return fake.has_window_system;
}

WindowHandle os_foreground_window() {
    return fake.foreground_window;
}

void os_place_window(WindowHandle window, int x, int y, int width, int height) {
    fake.events.push_back("place " + window_name(window) + " " + std::to_string(x) + " " + std::to_string(y) + " " +
                          std::to_string(width) + " " + std::to_string(height));
}

void os_open_folder(const char* path) {
    fake.events.push_back(std::string("open ") + path);
}

void os_enum_windows(WindowVisitor visitor, intptr_t parameter) {
    const uint64_t enumeration = count_call(FAKE_ENUM_WINDOWS);
    for (size_t index = 0; index < fake.windows.size(); ++index) {
        const FakeWindow& window = fake.windows[index];
        if (window.closed || window.visible_from_enum > enumeration) continue;
        if (visitor(fake_window_handle(index), parameter) == 0) return;
    }
}

uint32_t os_window_class(WindowHandle window, char* buffer, uint32_t capacity) {
    const FakeWindow* fake_window = window_of(window);
    if (fake_window == nullptr || !fake_window->class_readable) return 0;
    return copy_text(fake_window->class_name, buffer, capacity);
}

uint32_t os_window_title(WindowHandle window, char* buffer, uint32_t capacity) {
    const FakeWindow* fake_window = window_of(window);
    if (fake_window == nullptr || !fake_window->title_readable) return 0;
    return copy_text(fake_window->title, buffer, capacity);
}

void os_minimize_window(WindowHandle window) {
    fake.events.push_back("minimize " + window_name(window));
    FakeWindow* fake_window = window_of(window);
    if (fake_window != nullptr && !fake_window->closed) fake_window->minimized = true;
}

void os_post_close(WindowHandle window) {
    fake.events.push_back("close " + window_name(window));
    FakeWindow* fake_window = window_of(window);
    if (fake_window != nullptr && fake_window->closes_on_request) fake_window->closed = true;
}
