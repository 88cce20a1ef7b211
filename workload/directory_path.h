#pragma once

#include <cstdint>

// Writes workspace path + cycle letter + the index as five zero-padded digits
// into buffer. Workers and the deletion pass name a directory the same way.
void build_directory_path(char* buffer, uint32_t index);
