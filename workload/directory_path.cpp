#include "workload/directory_path.h"

#include <cstring>

#include "driver/state.h"

constexpr uint32_t INDEX_DIGITS = 5;

void build_directory_path(char* buffer, uint32_t index) {
    memcpy(buffer, state.workspace_path, state.workspace_length);
    char* name = buffer + state.workspace_length;
    name[0] = state.cycle_letter;
    for (uint32_t digit = INDEX_DIGITS; digit > 0; --digit) {
        name[digit] = static_cast<char>('0' + index % 10);
        index /= 10;
    }
    name[INDEX_DIGITS + 1] = '\0';
}
