#pragma once

#include <cstdint>

#include "platform/platform.h"

enum WorkspaceResult { WORKSPACE_CREATED, WORKSPACE_NO_FREE_NAME, WORKSPACE_CREATION_FAILED };

// Seeds the generator, creates base path + random name, marks it in use and
// claims it for the run's life, watches it for readers and announces it. The base path, final
// separator included, is already in workspace_path.
WorkspaceResult create_workspace(uint64_t base_length);
uint64_t xorshift64_next();
// Lets go of the workspace's claim and mark, then, with report_failure: trims the final
// separator, removes the workspace and prints a failure; returns 1 when it was
// removed. Without: one silent attempt on the path as it stands, returning 1.
int remove_workspace(bool report_failure);
