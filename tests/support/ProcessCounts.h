// What the test process holds, read from /proc: descriptors, sockets, threads. Tests compare them before and after
// a session to show that nothing of it is left behind.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "support/Eventually.h"

// A field of /proc/self/status (VmRSS in KiB, Threads); -1 when missing.
inline long StatusField(const std::string& name)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(name + ":")) {
            return std::stol(line.substr(name.size() + 1));
        }
    }
    return -1;
}

inline long ThreadCount()
{
    return StatusField("Threads");
}

// Counts the open descriptors whose target starts with prefix (all of them for an empty prefix).
inline int OpenDescriptorCount(const std::string& prefix = {})
{
    int count = 0;
    std::error_code error;
    for (auto entry = std::filesystem::directory_iterator("/proc/self/fd", error);
         !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        count += prefix.empty() || std::filesystem::read_symlink(entry->path(), error).string().starts_with(prefix);
    }
    return count;
}

// The sockets the process has open.
inline int SocketCount()
{
    return OpenDescriptorCount("socket:");
}

// The open descriptors by kind ("socket 3 anon_inode 2 pipe 4 "), for a failure message.
inline std::string DescriptorKinds()
{
    std::map<std::string, int> kinds;
    std::error_code error;
    for (auto entry = std::filesystem::directory_iterator("/proc/self/fd", error);
         !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        const std::string target = std::filesystem::read_symlink(entry->path(), error).string();
        ++kinds[target.substr(0, target.find_first_of(":["))];
    }
    std::string text;
    for (const auto& [kind, count] : kinds) {
        text += kind + " " + std::to_string(count) + " ";
    }
    return text;
}

// Waits (at most 10 s) until the process holds no more sockets and threads than the counts taken before. Fewer is
// no fault: threads and sockets of an earlier session may still have been ending when those counts were taken.
inline bool SocketsAndThreadsBackTo(int sockets, long threads)
{
    return Eventually([&] { return SocketCount() <= sockets && ThreadCount() <= threads; });
}
