// The listening socket of a peer written for the tests (a scripted or misbehaving mail server): plain POSIX, so
// the peer shares no code with the platform layer it is tested against.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

// Listens on 127.0.0.1 at a port the system chooses and stores it in port; the descriptor, or -1 when a step
// fails (nothing is left open then).
inline int ListenForPeers(std::uint16_t& port, int backlog)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, backlog) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listener >= 0) {
            ::close(listener);
        }
        return -1;
    }
    port = ntohs(address.sin_port);
    return listener;
}
