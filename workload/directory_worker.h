#pragma once

#include "platform/platform.h"

// Gives worker i indices i * 90 + 1 to i * 90 + 90.
void prepare_slices();
// Thread routine: creates the directories of the WorkSlice it is given and
// counts, without a word, those it could not create.
ThreadExitCode OS_CALLBACK directory_worker(void* slice);
