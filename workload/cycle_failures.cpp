#include "workload/cycle_failures.h"

#include "driver/state.h"

void reset_cycle_failures() {
    for (CreationTally& tally : state.creation_tallies) tally = CreationTally{};
    state.directories_removed = 0;
    state.first_removal_error = 0;
    state.creation_failures = 0;
    state.creation_error = 0;
    state.removal_failures = 0;
    state.removal_error = 0;
}

void count_cycle_failures() {
    for (const CreationTally& tally : state.creation_tallies) {
        if (tally.failures == 0) continue;
        if (state.creation_failures == 0) state.creation_error = tally.first_error;
        state.creation_failures += tally.failures;
    }
    // A name that was never created cannot be removed either; only what the
    // cycle created and left behind is a removal failure. When no removal
    // failed for another reason, created directories vanished under the run:
    // "not found" is then their error.
    const uint64_t created = DIRECTORIES_PER_CYCLE - state.creation_failures;
    if (state.directories_removed < created) {
        state.removal_failures = created - state.directories_removed;
        state.removal_error = state.first_removal_error != 0 ? state.first_removal_error : OS_ERROR_NOT_FOUND;
    }
}
