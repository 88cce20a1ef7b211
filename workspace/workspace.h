#pragma once

#include <cstdint>

#include "platform/platform.h"

enum WorkspaceResult { WORKSPACE_CREATED, WORKSPACE_NO_FREE_NAME, WORKSPACE_CREATION_FAILED };

// Seeds the generator, creates base path + random name and announces it.
// The base path, final separator included, is already in workspace_path.
WorkspaceResult create_workspace(uint64_t base_length);
uint64_t xorshift64_next();
void remove_workspace(bool report_failure);
