#include "SegmentedClient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

SegmentedSession RunSegmentedSession(std::uint16_t port, std::chrono::milliseconds timeout, std::string_view bytes,
                                     std::span<const std::uint8_t> sizes)
{
    SegmentedSession result;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    result.connected = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (!result.connected) {
        ::close(fd);
        return result;
    }
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    // Waits for the events until the deadline; false when it has passed.
    const auto await = [&](short events) {
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd watch{fd, events, 0};
            if (left.count() <= 0) {
                return false;
            }
            const int ready = ::poll(&watch, 1, static_cast<int>(left.count()));
            if (ready > 0 || (ready < 0 && errno != EINTR)) {
                return true;
            }
        }
    };
    // Takes whatever has arrived; notes the end of the connection.
    const auto receive = [&] {
        char chunk[65536];
        while (!result.ended) {
            const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
            if (got > 0) {
                result.answers.append(chunk, static_cast<std::size_t>(got));
            } else if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                result.ended = true;  // closed, or reset because commands after QUIT were left unread
            } else {
                return;
            }
        }
    };
    bool sending = true;
    bool timedOut = false;
    for (std::size_t turn = 0; !bytes.empty() && sending && !timedOut; ++turn) {
        const std::uint8_t size = sizes.empty() ? 0 : sizes[turn % sizes.size()];
        std::string_view segment = bytes.substr(0, size == 0 ? bytes.size() : size);
        bytes.remove_prefix(segment.size());
        while (!segment.empty() && sending && !result.ended && !timedOut) {
            const ssize_t sent = ::send(fd, segment.data(), segment.size(), MSG_NOSIGNAL);
            if (sent > 0) {
                segment.remove_prefix(static_cast<std::size_t>(sent));
            } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                timedOut = !await(POLLIN | POLLOUT);
            } else if (sent < 0 && errno != EINTR) {
                sending = false;  // the server has closed (after QUIT); what it sent is still read
            }
            receive();
        }
    }
    ::shutdown(fd, SHUT_WR);
    while (!result.ended && await(POLLIN)) {
        receive();
    }
    ::close(fd);
    return result;
}
