// The client of one fuzzed session: a non-blocking loopback TCP connection that sends the client's bytes in
// segments of chosen sizes, takes in the answers between the segments (so neither side can block the other),
// closes its sending side and reads until the server closes. Used by the fuzz thread only.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

struct SegmentedSession {
    bool connected = false;
    bool ended = false;   // the server closed the connection before the deadline
    std::string answers;  // everything the server sent
};

// Connects to 127.0.0.1:port and sends bytes as segments whose sizes are taken from sizes in turn (0: all the rest
// at once), then reads until the server closes or the timeout has passed.
SegmentedSession RunSegmentedSession(std::uint16_t port, std::chrono::milliseconds timeout, std::string_view bytes,
                                     std::span<const std::uint8_t> sizes);
