// A plain POP3 client for tests on a blocking loopback connection: every read is bounded by a deadline, so a
// test waiting for an answer that never comes fails instead of hanging. Reads return raw bytes.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class Pop3TestClient {
public:
    // Each read gives up after this many milliseconds without the awaited bytes.
    static constexpr int kDefaultTimeoutMs = 20000;

    Pop3TestClient() = default;
    explicit Pop3TestClient(std::uint16_t port, int timeoutMs = kDefaultTimeoutMs);
    // Takes over an already connected socket (the server side of a scripted peer).
    static Pop3TestClient Adopt(int connectedFd, int timeoutMs = kDefaultTimeoutMs);
    ~Pop3TestClient();
    Pop3TestClient(Pop3TestClient&& other) noexcept;
    Pop3TestClient& operator=(Pop3TestClient&& other) noexcept;
    Pop3TestClient(const Pop3TestClient&) = delete;
    Pop3TestClient& operator=(const Pop3TestClient&) = delete;

    bool IsConnected() const { return fd >= 0; }
    // Whether a read has found the connection closed (or reset) by the peer.
    bool PeerClosed() const { return peerClosed; }
    // Sends the bytes as they are (no line end added). False when the connection is gone.
    bool SendRaw(std::string_view bytes);
    bool SendLine(std::string_view line) { return SendRaw(std::string(line) + "\r\n"); }
    // One line including its CR LF; nullopt on timeout or when the peer closed first.
    std::optional<std::string> ReadLine();
    // The status line and, when it is positive, every line up to and including ".\r\n", as received.
    std::optional<std::string> ReadMultiLine();
    std::optional<std::string> Command(std::string_view line) {
        return SendLine(line) ? ReadLine() : std::nullopt;
    }
    std::optional<std::string> MultiLineCommand(std::string_view line) {
        return SendLine(line) ? ReadMultiLine() : std::nullopt;
    }
    // Logs in with USER and PASS after reading the greeting; true when both were answered "+OK".
    bool Login(std::string_view user, std::string_view password);
    // Waits until the peer closes; true when it did (and nothing else arrived) before the deadline.
    bool WaitForClose();
    // Reads whatever arrives until the peer closes or the deadline passes.
    std::string ReadUntilClose();
    // Reads exactly count bytes, or fewer when the peer closes or the deadline passes.
    std::string ReadBytes(std::size_t count);
    void Close();
    // Closes with a connection reset (RST) instead of an orderly end (FIN).
    void Reset();
    // Shuts the sending side down (a half-close): the relay sees the end of the client's commands.
    void ShutdownSending();

private:
    // Waits until the deadline for more bytes and appends them to pending; false on timeout, close or error.
    bool Fill();

    int fd = -1;
    int timeoutMs = kDefaultTimeoutMs;
    std::string pending;
    bool peerClosed = false;
};

// A port of 127.0.0.1 where nothing listens (a socket was bound there and closed again).
std::uint16_t UnusedLoopbackPort();
// Whether a TCP connection to host (dotted IPv4 address) and port is accepted.
bool CanConnect(const char* host, std::uint16_t port);
