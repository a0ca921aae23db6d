#include "pop3/MultiLineEnd.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {
// The end of an answer: a line "." right after a line end.
constexpr std::string_view kEnd = "\r\n.\r\n";

// Sixteen octets compared at once (GCC and Clang vector extension; SSE2 on x86-64): the end of an answer needs a
// line starting with ".", which is rare in mail, so blocks without one are passed over at memory speed.
using Octets16 = char __attribute__((vector_size(16)));
constexpr std::size_t kBlock = sizeof(Octets16);

// Whether any of the sixteen octets from `at` is an LF followed by a ".".
bool AnyLineStartsWithDot(const char* at)
{
    Octets16 here;
    Octets16 next;
    std::memcpy(&here, at, kBlock);
    std::memcpy(&next, at + 1, kBlock);
    const Octets16 found = (here == '\n') & (next == '.');
    std::uint64_t halves[2];
    std::memcpy(halves, &found, sizeof halves);
    return (halves[0] | halves[1]) != 0;
}

// Whether the end of an answer lies wholly in octets with its LF at lineFeed (LF followed by "." there).
bool EndsAt(std::string_view octets, std::size_t lineFeed)
{
    return lineFeed >= 1 && lineFeed + 4 <= octets.size() && octets.substr(lineFeed - 1, kEnd.size()) == kEnd;
}
}  // namespace

std::size_t MultiLineEnd::Find(std::string_view octets)
{
    // An end that begins among the recent octets and finishes within the first four new ones.
    char seam[8];
    const std::size_t fromNew = std::min<std::size_t>(octets.size(), 4);
    std::memcpy(seam, recent, recentLength);
    std::memcpy(seam + recentLength, octets.data(), fromNew);
    const std::string_view joined(seam, recentLength + fromNew);
    for (std::size_t start = 0; start < recentLength; ++start) {
        if (joined.substr(start, kEnd.size()) == kEnd) {
            return start + kEnd.size() - recentLength;
        }
    }
    // Ends wholly within the new octets, sixteen candidate positions at a time.
    const char* data = octets.data();
    std::size_t at = 0;
    for (; at + kBlock + 1 <= octets.size(); at += kBlock) {
        if (AnyLineStartsWithDot(data + at)) {
            for (std::size_t lineFeed = at; lineFeed < at + kBlock; ++lineFeed) {
                if (EndsAt(octets, lineFeed)) {
                    return lineFeed + 4;
                }
            }
        }
    }
    for (; at + 1 < octets.size(); ++at) {
        if (EndsAt(octets, at)) {
            return at + 4;
        }
    }
    // Keep the last four octets seen, for an end split between this block and the next.
    const std::size_t keep = std::min(recentLength + octets.size(), sizeof recent);
    if (octets.size() >= keep) {
        std::memcpy(recent, octets.data() + octets.size() - keep, keep);
    } else {
        const std::size_t old = keep - octets.size();
        std::memmove(recent, recent + recentLength - old, old);
        std::memcpy(recent + old, octets.data(), octets.size());
    }
    recentLength = keep;
    return std::string_view::npos;
}

std::size_t CompleteLinesLength(std::string_view held, std::string_view pending)
{
    for (std::size_t before = pending.size(); before > 0;) {
        const std::size_t lineFeed = pending.rfind('\n', before - 1);
        if (lineFeed == std::string_view::npos) {
            return 0;
        }
        const char previous = lineFeed > 0 ? pending[lineFeed - 1] : (held.empty() ? '\0' : held.back());
        if (previous == '\r') {
            return lineFeed + 1;
        }
        before = lineFeed;
    }
    return 0;
}
