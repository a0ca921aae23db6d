// A mail server on 127.0.0.1 that misbehaves on purpose: the second connection it accepts meets the chosen fault,
// every other connection a well-behaved POP3 server, so a test sees both the fault and the next client served.
// It is the scripted peer with the faults as its script; every wait ends when the peer closes or the server stops.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "support/ScriptedPop3Server.h"

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

    std::uint16_t Port() const { return server.Port(); }
    // Waits (bounded) until no connection is being served; true when none is.
    bool WaitUntilIdle() { return server.WaitUntilIdle(); }
    // How many large mails were sent whole (taken by the peer's socket).
    int LargeMailsSent() const { return largeMailsSent; }

private:
    void Serve(Pop3TestClient& peer, bool hostile);
    // One command line without its CR LF; nullopt when the peer closed or the server stops.
    std::optional<std::string> ReadCommand(Pop3TestClient& peer);

    Fault fault;
    std::atomic<int> sessions{0};
    std::atomic<int> largeMailsSent{0};
    ScriptedPop3Server server;  // last: its sessions end before the members above go
};
