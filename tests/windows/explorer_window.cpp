// Stands in for a File Explorer folder window: a top-level window of class
// "CabinetWClass". It writes what happens to it to a log file.
//
//   explorer_window await BASE_DIRECTORY LOG   show the window, titled with the
//       new workspace's path, as soon as a workspace appears under BASE_DIRECTORY
//   explorer_window later BASE_DIRECTORY LOG DELAY_MS   the same, DELAY_MS after
//       the workspace appears
// Either closes when asked to.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

static FILE* log_file = nullptr;

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

// Waits for a directory shaped like a workspace name under base; writes its path.
static void await_workspace(const char* base, char* workspace, size_t capacity) {
    char pattern[MAX_PATH];
    snprintf(pattern, sizeof pattern, "%s\\*", base);
    for (;;) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(pattern, &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && is_workspace_name(found.cFileName)) {
                    FindClose(search);
                    snprintf(workspace, capacity, "%s\\%s", base, found.cFileName);
                    return;
                }
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        Sleep(5);
    }
}

static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_SIZE:
            if (wparam == SIZE_MINIMIZED) log_line("minimized");
            break;
        case WM_CLOSE:
            log_line("close requested");
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

int main(int argc, char** argv) {
    const bool later = argc == 5 && strcmp(argv[1], "later") == 0;
    if (!later && !(argc == 4 && strcmp(argv[1], "await") == 0)) return 2;
    log_file = fopen(argv[3], "w");
    if (log_file == nullptr) return 2;

    log_line("waiting");
    char workspace[MAX_PATH];
    await_workspace(argv[2], workspace, sizeof workspace);
    if (later) Sleep(static_cast<DWORD>(atoi(argv[4])));

    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "CabinetWClass";
    RegisterClassA(&window_class);
    HWND window = CreateWindowA("CabinetWClass", workspace, WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                window_class.hInstance, nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    log_line("shown");

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    log_line("closed");
    return 0;
}
