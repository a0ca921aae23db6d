// What the test process holds, read from /proc: descriptors and threads. Tests compare them before and after
// a session to show that nothing of it is left behind.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/Eventually.h"

// The threads of the process; -1 when /proc does not say.
inline long ThreadCount() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("Threads:")) {
            return std::stol(line.substr(8));
        }
    }
    return -1;
}

inline int OpenDescriptorCount() {
    std::error_code error;
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd", error), {}));
}

// Waits (bounded) until the process holds no more descriptors and threads than the counts taken before. Fewer
// is no fault: threads of an earlier session may still have been ending when those counts were taken.
inline bool DescriptorsAndThreadsBackTo(int descriptors, long threads) {
    return Eventually([&] { return OpenDescriptorCount() <= descriptors && ThreadCount() <= threads; });
}
