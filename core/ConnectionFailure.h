// The connection failure exception: a character string with empty text, thrown by value by every failed socket
// or forwarding step of the POP3 layer and caught by the catch-all handlers of the thread hooks.
#pragma once

#include <string>

class ConnectionFailure : public std::string {
public:
    ConnectionFailure() = default;
};
