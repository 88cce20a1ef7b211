#pragma once

#include "platform/platform.h"

// Nothing may read the workspace while the benchmark runs: the start-up probe
// closes the File Explorer window that opening it produced, and the guard
// check after every cycle invalidates the run if such a window is open or
// (where the platform watches directories) anything opened or listed it.
bool window_shows_workspace(WindowHandle window);
void probe_workspace_window();
void minimize_workspace_window();
void check_workspace_opened();
