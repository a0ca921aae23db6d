// Finds the end of a multi-line POP3 answer (LIST, UIDL, TOP, RETR): the line "." after the status line. The
// relay passes such an answer on in whole received blocks instead of line by line, so it only needs to know where
// the answer stops; the blocks arrive in any sizes, and the end may be split between two of them.
#pragma once

#include <cstddef>
#include <string_view>

class MultiLineEnd {
public:
    // Looks at the next octets of the answer, in the order received. Returns how many of them belong to the
    // answer when it ends among them (up to and with the CR LF of its "."), npos when it goes on.
    std::size_t Find(std::string_view octets);

private:
    // The last octets looked at (at most four), where an end split between two blocks begins. The answer's data
    // follows the CR LF of its status line, so a "." line at once ends it.
    char recent[4] = {'\r', '\n'};
    std::size_t recentLength = 2;
};

// How many octets of pending make complete lines: up to and with its last CR LF. held is what came just before
// pending (a line begun in an earlier block), whose last octet may be the CR of a CR LF split between the two.
std::size_t CompleteLinesLength(std::string_view held, std::string_view pending);
