#pragma once

// From process start to the first cycle: console, base path, workspace,
// Explorer probe, banner, counter frequency and completion event. Every
// failure ends the process with exit code 1.
void start_up();
