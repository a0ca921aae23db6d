#include "integration/Pop3TestClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <utility>

namespace {
sockaddr_in Ipv4Address(const char* host, std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, host, &address.sin_addr);
    return address;
}
}  // namespace

Pop3TestClient::Pop3TestClient(std::uint16_t port, int timeoutMs)
    : Pop3TestClient(Adopt(::socket(AF_INET, SOCK_STREAM, 0), timeoutMs)) {
    sockaddr_in address = Ipv4Address("127.0.0.1", port);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        Close();
    }
}

Pop3TestClient Pop3TestClient::Adopt(int connectedFd, int timeoutMs) {
    Pop3TestClient peer;
    peer.fd = connectedFd;
    peer.timeoutMs = timeoutMs;
    int on = 1;
    ::setsockopt(peer.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return peer;
}

Pop3TestClient::~Pop3TestClient() {
    Close();
}

Pop3TestClient::Pop3TestClient(Pop3TestClient&& other) noexcept {
    *this = std::move(other);
}

Pop3TestClient& Pop3TestClient::operator=(Pop3TestClient&& other) noexcept {
    if (this != &other) {
        Close();
        fd = std::exchange(other.fd, -1);
        timeoutMs = other.timeoutMs;
        pending = std::move(other.pending);
        peerClosed = other.peerClosed;
    }
    return *this;
}

void Pop3TestClient::Close() {
    if (fd >= 0) {
        ::close(std::exchange(fd, -1));
    }
}

void Pop3TestClient::Reset() {
    if (fd >= 0) {
        const linger abort{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        Close();
    }
}

void Pop3TestClient::ShutdownSending() {
    if (fd >= 0) {
        ::shutdown(fd, SHUT_WR);
    }
}

bool Pop3TestClient::SendRaw(std::string_view bytes) {
    while (fd >= 0 && !bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return fd >= 0;
}

bool Pop3TestClient::Fill() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (fd >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd watch{fd, POLLIN, 0};
        const int ready = left.count() > 0 ? ::poll(&watch, 1, static_cast<int>(left.count())) : 0;
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return false;
        }
        char chunk[65536];
        const ssize_t received = ::recv(fd, chunk, sizeof chunk, 0);
        if (received < 0 && errno == EINTR) {
            continue;
        }
        if (received <= 0) {
            peerClosed = true;
            return false;
        }
        pending.append(chunk, static_cast<std::size_t>(received));
        return true;
    }
    return false;
}

std::optional<std::string> Pop3TestClient::ReadLine() {
    for (std::size_t searched = 0;;) {
        if (const std::size_t end = pending.find("\r\n", searched); end != std::string::npos) {
            return ReadBytes(end + 2);
        }
        searched = pending.empty() ? 0 : pending.size() - 1;  // a CR may end what came so far
        if (!Fill()) {
            return std::nullopt;
        }
    }
}

std::optional<std::string> Pop3TestClient::ReadMultiLine() {
    std::optional<std::string> answer = ReadLine();
    std::optional<std::string> line;
    while (answer && answer->starts_with("+") && line != ".\r\n") {
        if (!(line = ReadLine())) {
            return std::nullopt;
        }
        *answer += *line;
    }
    return answer;
}

bool Pop3TestClient::Login(std::string_view user, std::string_view password) {
    const auto positive = [](const std::optional<std::string>& answer) {
        return answer.value_or("").starts_with("+OK");
    };
    return positive(ReadLine()) && positive(Command("USER " + std::string(user))) &&
           positive(Command("PASS " + std::string(password)));
}

bool Pop3TestClient::WaitForClose() {
    return ReadUntilClose().empty() && peerClosed;
}

std::string Pop3TestClient::ReadUntilClose() {
    while (Fill()) {
    }
    return std::exchange(pending, std::string());
}

std::string Pop3TestClient::ReadBytes(std::size_t count) {
    while (pending.size() < count && Fill()) {
    }
    std::string bytes = pending.substr(0, count);
    pending.erase(0, bytes.size());
    return bytes;
}

std::uint16_t UnusedLoopbackPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Ipv4Address("127.0.0.1", 0);
    socklen_t length = sizeof address;
    std::uint16_t port = 0;
    if (s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(s);  // harmless when the socket was never made
    return port;
}

bool CanConnect(const char* host, std::uint16_t port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Ipv4Address(host, port);
    const bool connected = s >= 0 && ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(s);  // harmless when the socket was never made
    return connected;
}
