// A mail server on 127.0.0.1 that misbehaves on purpose: the second connection it accepts meets the chosen fault,
// every other connection a well-behaved POP3 server, so a test sees both the fault and the next client served.
// Each connection runs on a thread of its own; every wait ends when the peer closes or the server is destroyed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class Pop3TestClient;

class HostilePop3Server {
public:
    enum class Fault {
        None,                // every connection is served well
        NeverGreets,         // accepts, then sends nothing at all
        StallsAfterGreeting, // greets, then never answers
        StallsInRetr,        // sends the start of a mail, then nothing more
        LongLine,            // answers RETR with 64 MiB without a line end, then closes
        BareLfAndNul,        // answers RETR with bare LFs and NUL bytes in a well-ended mail
        ClosesMidLine,       // closes in the middle of a line of the mail
        Garbage,             // answers the first command with binary garbage, then closes
        Resets,              // answers the first command with a connection reset
    };
    static constexpr std::size_t kLongLineSize = 64u << 20;
    // Well-behaved sessions answer "RETR 2" with a mail of this many lines of 1 KiB.
    static constexpr std::size_t kLargeMailLines = 32 * 1024;
    // The answer to RETR of the BareLfAndNul fault.
    static const std::string kOddMail;

    explicit HostilePop3Server(Fault fault);
    ~HostilePop3Server();
    HostilePop3Server(const HostilePop3Server&) = delete;
    HostilePop3Server& operator=(const HostilePop3Server&) = delete;

    std::uint16_t Port() const { return port; }
    // Waits (bounded) until no connection is being served; true when none is.
    bool WaitUntilIdle();
    // How many large mails were sent whole (taken by the peer's socket).
    int LargeMailsSent() const { return largeMailsSent; }

private:
    void AcceptLoop();
    void Serve(Pop3TestClient& peer, int connection, bool hostile);
    // Waits until the peer closes or the server stops, ignoring whatever it sends.
    void Stall(Pop3TestClient& peer);
    // One command line without its CR LF; nullopt when the peer closed or the server stops.
    std::optional<std::string> ReadCommand(Pop3TestClient& peer);

    Fault fault;
    int listener = -1;
    std::uint16_t port = 0;
    std::atomic<bool> stopping{false};
    int accepted = 0;  // accept thread only
    std::atomic<int> largeMailsSent{0};
    std::thread acceptThread;
    // Sessions run detached, so that thousands of short connections leave no thread behind; the destructor waits
    // until none is left.
    std::mutex lock;
    std::condition_variable sessionEnded;
    int liveSessions = 0;  // guarded by lock
};
