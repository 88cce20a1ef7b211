// Stands in for File Explorer's folder windows: top-level windows of class
// "CabinetWClass", titled with the workspace's path. What happens to them is
// written to a log file, one line an event.
//
//   explorer_window probe BASE_DIRECTORY LOG
//       opens a window as soon as a workspace appears under BASE_DIRECTORY, as
//       opening the folder in File Explorer would; it closes when asked to.
//   explorer_window during BASE_DIRECTORY LOG
//       the same window, but asked to close it restores itself and stays; when
//       it is next minimized (the start of a cycle) a second window for the
//       workspace opens, as a user opening the folder during the benchmark would.
//       It logs which cycle is starting, from the Wine fixture's counts: the
//       first when cycle 1 has made nothing yet, else the second.
//   explorer_window while BASE_DIRECTORY LOG NAME
//       like probe, then a second window for the workspace opens as soon as the
//       workspace holds NAME (b00001: while cycle 2's directories exist).
//
// The program only posts the close request and moves on, so a window that is
// slow to close may still be open at the first guard check. To keep the tests
// exact, the window drops the name from its title as soon as the start-up
// probe minimizes it: the minimize is sent, so it is done before the probe goes on.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

static FILE* log_file = nullptr;
static bool stays_when_asked_to_close = false;
static bool name_dropped = false;
static HWND second_window = nullptr;
static char workspace[MAX_PATH];
static char awaited_path[MAX_PATH];  // while mode: the directory that opens the second window

static void log_line(const char* text) {
    fprintf(log_file, "%s\n", text);
    fflush(log_file);
}

static bool is_workspace_name(const char* name) {
    if (strlen(name) != 6) return false;
    for (int position = 0; position < 5; ++position)
        if (name[position] < 'a' || name[position] > 'z') return false;
    return name[5] >= '0' && name[5] <= '9';
}

// Waits for a new directory shaped like a workspace name under base (the
// user's own such directories, there from the start, do not count); keeps its path.
static void await_workspace(const char* base) {
    constexpr int MOST_EXISTING = 16;
    char existing[MOST_EXISTING][8] = {};
    int existing_count = 0;
    char pattern[MAX_PATH];
    snprintf(pattern, sizeof pattern, "%s\\*", base);
    for (bool first_look = true;; first_look = false) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(pattern, &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !is_workspace_name(found.cFileName))
                    continue;
                bool seen = false;
                for (int index = 0; index < existing_count; ++index)
                    seen = seen || strcmp(existing[index], found.cFileName) == 0;
                if (first_look && existing_count < MOST_EXISTING) {
                    snprintf(existing[existing_count++], sizeof existing[0], "%s", found.cFileName);
                } else if (!seen) {
                    FindClose(search);
                    snprintf(workspace, sizeof workspace, "%s\\%s", base, found.cFileName);
                    return;
                }
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        Sleep(5);
    }
}

// Whether cycle 1 has made a directory, from the fixture's count of a00001…a92160
// (the first word of ORVENNA_FIXTURE_COUNTS, a Unix path: on drive Z:).
static bool cycle_one_has_begun() {
    char path[MAX_PATH];
    const char* counts = getenv("ORVENNA_FIXTURE_COUNTS");
    if (counts == nullptr) return false;
    snprintf(path, sizeof path, "Z:%s", counts);
    FILE* file = fopen(path, "rb");
    if (file == nullptr) return false;
    unsigned long long created = 0;
    const bool read = fread(&created, sizeof created, 1, file) == 1;
    fclose(file);
    return read && created != 0;
}

static HWND open_folder_window() {
    HWND window = CreateWindowA("CabinetWClass", workspace, WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    return window;
}

static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_SIZE:
            if (wparam != SIZE_MINIMIZED) break;
            log_line("minimized");
            if (!name_dropped) {
                SetWindowTextA(window, "Stand-in folder window");
                name_dropped = true;
            } else if (second_window == nullptr) {
                const char* cycle =
                    cycle_one_has_begun() ? "opened during the run, at cycle 2" : "opened during the run, at cycle 1";
                second_window = open_folder_window();
                log_line(cycle);
            }
            break;
        case WM_CLOSE:
            log_line("close requested");
            if (!stays_when_asked_to_close) {
                DestroyWindow(window);
                return 0;
            }
            ShowWindow(window, SW_RESTORE);
            return 0;
        case WM_DESTROY:
            if (awaited_path[0] == '\0') PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

// Opens the second window once the awaited directory exists; run by a timer.
static void CALLBACK look_for_awaited(HWND, UINT, UINT_PTR timer, DWORD) {
    if (second_window != nullptr || GetFileAttributesA(awaited_path) == INVALID_FILE_ATTRIBUTES) return;
    second_window = open_folder_window();
    KillTimer(nullptr, timer);
    log_line("opened while the directory existed");
}

int main(int argc, char** argv) {
    const bool while_mode = argc == 5 && strcmp(argv[1], "while") == 0;
    if (!while_mode && (argc != 4 || (strcmp(argv[1], "probe") != 0 && strcmp(argv[1], "during") != 0))) return 2;
    stays_when_asked_to_close = strcmp(argv[1], "during") == 0;
    log_file = fopen(argv[3], "w");
    if (log_file == nullptr) return 2;

    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "CabinetWClass";
    RegisterClassA(&window_class);

    log_line("waiting");
    await_workspace(argv[2]);
    open_folder_window();
    log_line("shown");
    if (while_mode) {
        snprintf(awaited_path, sizeof awaited_path, "%s\\%s", workspace, argv[4]);
        SetTimer(nullptr, 0, 5, look_for_awaited);
    }

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    log_line("closed");
    return 0;
}
