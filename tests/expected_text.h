#pragma once

// The console text as the benchmark defines it, assembled independently of
// the program so that whole transcripts can be compared byte for byte.

#include <cstdint>
#include <string>

#include "version.h"

namespace expected {

inline std::string rule() {
    return std::string(66, '=') + "\r\n";
}

inline std::string announcement(const std::string& workspace_path) {
    return ".DIAG. Workspace directory: " + workspace_path + "\r\n";
}

inline std::string start_banner() {
    return "\r\n" + rule() + std::string(21, ' ') + "Orvenna V" ORVENNA_VERSION "\r\n" + rule() + "\r\n";
}

inline std::string cycle_header(uint64_t cycle) {
    return "\r\n" + rule() + std::string(16, ' ') + "Orvenna " + std::to_string(cycle) + "/7\r\n" + rule();
}

inline std::string duration_line(uint64_t cycle, uint64_t seconds) {
    return ".DIAG. Benchmark " + std::to_string(cycle) + " duration: " + std::to_string(seconds) + " Seconds\r\n";
}

inline std::string average_banner(uint64_t seconds) {
    return "\r\n" + rule() + "Your Record Average:" + std::string(9, ' ') + std::to_string(seconds) +
           " Seconds (Lower is better)\r\n" + rule();
}

inline const std::string ANY_KEY = "\r\nPress any key to exit....\r\n";
inline const std::string CLOSING_PROMPT = "\r\nPress [a] for About or any other key to exit....\r\n";
inline const std::string CREATE_THREAD_FAILED = "\r\n[ERROR] CreateThread failed.\r\nWin32 error code: ";
inline const std::string INTERRUPTED =
    "\r\n[ERROR] Orvenna interrupted...\r\nThe program will NOT close immediately.\r\n";
inline std::string invalidated(const std::string& reasons) {
    return "\r\n.DIAG. Orvenna invalidated...\r\n" + reasons + ".DIAG. The result is no longer valid.\r\n";
}

inline const std::string EXPLORER_REASON =
    ".DIAG. The random workspace was opened in File Explorer during the benchmark.\r\n";
inline const std::string INVALIDATED = invalidated(EXPLORER_REASON);

inline std::string failed_directories(uint64_t count, const std::string& verb, uint32_t error) {
    return ".DIAG. " + std::to_string(count) + " of 92160 directories could not be " + verb +
           " in this cycle (Win32 error code: " + std::to_string(error) + ").\r\n";
}

inline std::string about_block() {
    const char* lines[] = {"Orvenna V" ORVENNA_VERSION,
                           "Windows Orvenna",
                           "Created by the Orvenna developers",
                           "E-Mail developers@orvenna.example",
                           "Youtube https://www.youtube.com/@orvenna",
                           "Make your record with this Orvenna",
                           "Orvenna create 645120 folder in 7 cycles",
                           "with 1024 thread every time.",
                           "Have Fun !"};
    std::string block = "\r\n";
    for (const char* line : lines) block += std::string(".DIAG.  ") + line + "\r\n";
    return block;
}

// One cycle from its header to its report, durations_seconds[k] being cycle k + 1's.
inline std::string cycle_until_report(uint64_t cycle, const uint64_t* durations_seconds) {
    std::string text = cycle_header(cycle) +
                       ".DIAG. Benchmark initialization.\r\n"
                       ".DIAG. Creating 92160 directories with 1024 threads.\r\n"
                       ".DIAG. Waiting for threads....\r\n"
                       ".DIAG. All 1024 threads have finished.\r\n"
                       ".DIAG. Handles closed.\r\n"
                       ".DIAG. Deleting this cycle directories....\r\n";
    for (uint64_t k = cycle; k >= 1; --k) text += duration_line(k, durations_seconds[k - 1]);
    return text + ".DIAG. Result saved.\r\n";
}

inline const std::string STOPPING = "\r\n.DIAG. Orvenna stopping... Removing the directories created so far.\r\n";
// A stop when no cycle has directories: before the first, between cycles.
inline const std::string STOPPING_WITH_NOTHING_MADE = "\r\n.DIAG. Orvenna stopping...\r\n";
inline const std::string STOPPED = "\r\n.DIAG. Orvenna stopped. The workspace was removed.\r\n";
inline const std::string STOPPED_BEFORE_THE_WORKSPACE = "\r\n.DIAG. Orvenna stopped.\r\n";
inline const std::string READER_REASON =
    ".DIAG. The random workspace was opened by another program during the benchmark.\r\n";

inline const std::string PREPARING_NEXT = ".DIAG. Preparing next benchmark.\r\n";

}  // namespace expected
